#include "net/key_map.h"

namespace tamlorex {
namespace {

struct KeyRow {
    int virtualKey;
    std::uint8_t key;
};

// Named keys come first: their codes (45 Insert, for one) must never reach the pass-through rows.
constexpr KeyRow kNamedKeys[] = {
    {8, 0x07},   {37, 0x07},              // Backspace, Left: Rewind
    {13, 0x0F},  {34, 0x0F},              // Enter, Page Down: Select
    {27, 0x0C},  {35, 0x0C},              // Escape, End: Menu
    {33, 0x06},                           // Page Up: Record
    {36, 0x08},                           // Home: Stop
    {38, 0x0D},                           // Up
    {39, 0x0A},                           // Right: Fast Forward
    {40, 0x0E},                           // Down
    {45, 0x0B},                           // Insert: Play
    {46, 0x05},                           // Delete
    {112, 0x88}, {113, 0x89}, {114, 0x8A}, {115, 0x87},  // F1..F4
};

}  // namespace

const DvrCommand* FindDvrCommand(int commandId)
{
    for (const DvrCommand& c : kDvrCommands)
        if (c.commandId == commandId) return &c;
    return nullptr;
}

std::optional<std::uint8_t> DvrKeyForCommand(int commandId)
{
    if (const DvrCommand* c = FindDvrCommand(commandId)) return c->key;
    return std::nullopt;
}

std::optional<std::uint8_t> DvrKeyForVirtualKey(int virtualKey)
{
    for (const KeyRow& row : kNamedKeys)
        if (row.virtualKey == virtualKey) return row.key;
    if (virtualKey >= 97 && virtualKey <= 122) virtualKey -= 32;
    const bool passes = virtualKey == 42 || virtualKey == 43 || virtualKey == 47 ||
                        (virtualKey >= 48 && virtualKey <= 57) || (virtualKey >= 65 && virtualKey <= 90);
    if (passes) return static_cast<std::uint8_t>(virtualKey);
    return std::nullopt;
}

}  // namespace tamlorex
