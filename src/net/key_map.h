#pragma once
// The recorder's front-panel keys: the remote-control commands and the keyboard mapping.
#include <cstdint>
#include <optional>

namespace tamlorex {

// One remote-control command of the "Dvr Control" menu and its buttons.
struct DvrCommand {
    int commandId;
    const char* name;
    std::uint8_t key;
};

inline constexpr DvrCommand kDvrCommands[] = {
    {32848, "Pause", 0x09},        {32849, "Rewind", 0x07},     {32850, "Play", 0x0B},
    {32851, "Fast Forward", 0x0A}, {32852, "Stop", 0x08},       {32853, "Record", 0x06},
    {32854, "Split 9", 0x84},      {32882, "Split 4", 0x0F},    {32881, "Sequence", 0x0F},
    {32855, "Channel 1", 0x01},    {32856, "Channel 2", 0x02},  {32857, "Channel 3", 0x03},
    {32858, "Channel 4", 0x04},    {32876, "Channel 5", 0x15},  {32877, "Channel 6", 0x16},
    {32878, "Channel 7", 0x17},    {32879, "Channel 8", 0x18},  {32880, "Channel 9", 0x19},
    {32859, "Menu", 0x0C},         {32860, "Up", 0x0D},         {32861, "Down", 0x0E},
    {32862, "Select", 0x0F},
};

// The key a command sends; nothing for an id that is not a remote-control command.
std::optional<std::uint8_t> DvrKeyForCommand(int commandId);

// The key a key-down of a (Windows-numbered) virtual key sends; nothing for keys the recorder
// has no use for.
std::optional<std::uint8_t> DvrKeyForVirtualKey(int virtualKey);

// The mouse remote-control setting: 0 sends nothing, 1 the event codes as they are, 2 adds 0x100
// (the recorder then shows its cursor).
inline constexpr int kMouseModeOff = 0;
inline constexpr int kMouseModeHidden = 1;
inline constexpr int kMouseModeShown = 2;

}  // namespace tamlorex
