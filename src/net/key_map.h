#pragma once
// The recorder's front-panel keys: the remote-control commands and the keyboard mapping.
#include <cstdint>
#include <optional>

namespace tamlorex {

// One remote-control command of the "Dvr Control" menu and its buttons: the one table of the
// window's menu, its buttons' tooltips and the keys sent. Rows are in menu order; a new group
// starts a new section of the menu.
struct DvrCommand {
    int commandId;
    const char* name;      // the tooltip of its button
    const char* menuText;  // its item in the "Dvr Control" menu
    int group;
    std::uint8_t key;
};

inline constexpr DvrCommand kDvrCommands[] = {
    {32848, "Pause", "Pause", 0, 0x09},
    {32849, "Rewind", "Rewind", 0, 0x07},
    {32850, "Play", "Play", 0, 0x0B},
    {32851, "Fast Forward", "Fast Forward", 0, 0x0A},
    {32852, "Stop", "Stop", 0, 0x08},
    {32853, "Record", "Record", 0, 0x06},
    {32855, "Channel 1", "Channel 1", 1, 0x01},
    {32856, "Channel 2", "Channel 2", 1, 0x02},
    {32857, "Channel 3", "Channel 3", 1, 0x03},
    {32858, "Channel 4", "Channel 4", 1, 0x04},
    {32876, "Channel 5", "Channel 5", 1, 0x15},
    {32877, "Channel 6", "Channel 6", 1, 0x16},
    {32878, "Channel 7", "Channel 7", 1, 0x17},
    {32879, "Channel 8", "Channel 8", 1, 0x18},
    {32880, "Channel 9", "Channel 9", 1, 0x19},
    {32882, "Split 4", "Split 4", 2, 0x0F},
    {32854, "Split 9", "Split 9", 2, 0x84},
    {32881, "Sequence", "Se&q", 2, 0x0F},
    {32859, "Menu", "Menu", 3, 0x0C},
    {32860, "Up", "Up", 3, 0x0D},
    {32861, "Down", "Down", 3, 0x0E},
    {32862, "Select", "Select", 3, 0x0F},
};

// The table's row of a command; null for an id that is not a remote-control command.
const DvrCommand* FindDvrCommand(int commandId);

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
