#pragma once
// What the simulated recorder shows on its monitor output, and so in the live stream: one
// channel or a split screen, a menu, the recording mark, the last key pressed and, when the
// client asks for it, the remote mouse pointer. Keys change it exactly as the front panel would.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/picture_encoder.h"

namespace tamlorex::sim {

// Key codes of the recorder's front panel.
namespace dvrkey {
inline constexpr int kChannel1 = 0x01;
inline constexpr int kChannel4 = 0x04;
inline constexpr int kDelete = 0x05;
inline constexpr int kRecord = 0x06;
inline constexpr int kRewind = 0x07;
inline constexpr int kStop = 0x08;
inline constexpr int kPause = 0x09;
inline constexpr int kFastForward = 0x0A;
inline constexpr int kPlay = 0x0B;
inline constexpr int kMenu = 0x0C;
inline constexpr int kUp = 0x0D;
inline constexpr int kDown = 0x0E;
inline constexpr int kSelect = 0x0F;  // also Split 4 and Sequence
inline constexpr int kChannel5 = 0x15;
inline constexpr int kChannel9 = 0x19;
inline constexpr int kSplit9 = 0x84;
inline constexpr int kF4 = 0x87;
inline constexpr int kF1 = 0x88;
inline constexpr int kF3 = 0x8A;
}  // namespace dvrkey

// A readable name for a key code ("CHANNEL 5", "SELECT", "KEY 65" for a plain character).
std::string KeyName(int key);
// Channel 1..9 of a channel key, 0 for any other key.
int ChannelOfKey(int key);

class LiveView {
public:
    static constexpr int kMenuItems = 4;

    // channels: how many cameras the recorder has (1..16).
    explicit LiveView(int channels);

    // Applies a front-panel key; returns what it did, for the log ("channel 3", "menu open").
    std::string HandleKey(int key, double seconds);
    // A mouse report: event code (0x100 added when the pointer is to be drawn), the client's
    // window size and the position in it.
    void HandleMouse(int event, int width, int height, int x, int y);

    int Channels() const { return channels_; }
    int Split() const { return split_; }             // 1, 4 or 9 panes
    int Channel() const { return channel_; }         // 0-based channel of the single view
    int FirstPaneChannel() const { return first_; }  // channel in the first pane of a split
    bool MenuOpen() const { return menuOpen_; }
    int MenuItem() const { return menuItem_; }
    bool Recording() const { return recording_; }
    bool PointerShown() const { return pointerShown_; }
    // Whether anything is drawn over the pictures at `seconds` (menu, banner, marks, pointer).
    bool HasOverlay(double seconds) const;
    // A number that changes whenever the layout (panes and their channels) changes.
    std::uint32_t LayoutGeneration() const { return generation_; }
    // Status value sent in the recorder's status messages.
    std::uint16_t StatusValue() const;

    // Supplies the picture of a camera at the asked size; false when that camera has none.
    using CameraSource = std::function<bool(int channel, int width, int height, YuvImage& out)>;
    // Draws the monitor output at `seconds` into `out` (which has the stream's size).
    void Render(double seconds, const CameraSource& cameras, YuvImage& out) const;

private:
    void DrawOverlay(double seconds, YuvImage& out) const;

    int channels_;
    int split_ = 1;
    int channel_ = 0;
    int first_ = 0;
    bool menuOpen_ = false;
    int menuItem_ = 0;
    bool recording_ = false;
    std::string banner_;
    double bannerUntil_ = -1;
    bool pointerShown_ = false;
    int pointerX_ = 0, pointerY_ = 0, pointerW_ = 1, pointerH_ = 1;
    std::uint32_t generation_ = 0;
};

// Copies `pane` into `out` with its top-left corner at (x, y), clipped; x and y should be even
// so that the chroma lines up.
void BlitPicture(const YuvImage& pane, int x, int y, YuvImage& out);

}  // namespace tamlorex::sim
