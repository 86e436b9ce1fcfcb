#pragma once
// The panes, pages and picture store that the workers draw into; drawing goes to a Renderer.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/pane_zoom.h"
#include "display/renderer.h"
#include "media/frame_record.h"

namespace tamlorex {

inline constexpr std::size_t kStoredPictureSize = 261120;  // 640 x 272 x 3 / 2

enum class MouseButton { Left, Right };
// Key-state flags of a mouse move.
inline constexpr unsigned kMouseLeftFlag = 1;
inline constexpr unsigned kMouseRightFlag = 2;

class VideoWindow {
public:
    VideoWindow();
    ~VideoWindow();

    void SetRenderer(Renderer* renderer);  // may be null: nothing is drawn
    void SetClientSize(int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;
    // 1 Player mode, 2 Client mode.
    void SetMode(int mode);
    int GetMode() const;

    // Counts outside 1..16 are clamped into that range.
    void SetChannelCount(int count);
    int GetChannelCount() const;
    // split 1, 4, 9 or 16, not above the channel count; page -1 is the next page (wrapping), or
    // page 0 when the split changes.
    bool SetSplit(int split, int page);
    int GetSplit() const;
    int GetPage() const;
    // The channel shown alone (split 1), or -1 when several (or none) are shown.
    int SelectedChannel() const;

    // yuv holds width x height x 3 / 2 bytes of planar 4:2:0. Width 320 or 640, height 112, 136, 224
    // or 272; other sizes, channels at or above the channel count and a null picture are refused.
    bool ShowPicture(int channel, const CalendarTime& time, const std::uint8_t* yuv, int width, int height);
    void Clear();
    // Draws every pane of the current page with its OSD (paint, resize, split change).
    void Redraw();

    void SetShowTime(bool show);
    bool GetShowTime() const;
    void SetTimeFormat(const std::string& format);
    std::string GetTimeFormat() const;
    void SetFont(int height, int width, int weight, bool italic, const std::string& face);
    void SetTextColor(std::uint32_t color);
    void SetOutlineColor(std::uint32_t color);
    std::uint32_t GetTextColor() const;
    std::uint32_t GetOutlineColor() const;
    OsdFont GetFont() const;

    // The time part of the OSD for a time record (whatever the show-time flag): empty for year 0,
    // fields out of range or a failed conversion.
    std::string FormatOsdTime(const CalendarTime& time) const;
    // The OSD text of a slot: "CH%d " and, when shown, the formatted time.
    std::string OsdText(int slot) const;
    Rect PaneRect(int slot) const;
    bool PaneOnPage(int slot) const;
    bool HasPicture(int slot) const;

    // A copy of the slot's last picture, its size and time; false without a picture.
    bool GetPicture(int slot, std::vector<std::uint8_t>& yuv, int& width, int& height, CalendarTime& time) const;

    // Digital zoom, kept per channel: it survives split and page changes and new pictures. The
    // wheel over the pane at (x, y), `notches` of 120 units of angle, positive zooming in; false
    // when no pane is there or its zoom did not change. The pane is drawn again at once.
    bool WheelZoom(int x, int y, double notches);
    // Back to 1x: the pane at (x, y) (false when there is none, or it was not zoomed); a slot,
    // or every channel with -1.
    bool ResetZoomAt(int x, int y);
    void ResetZoom(int slot);
    double ZoomOf(int slot) const;
    PictureView ViewOf(int slot) const;
    // The slot whose pane on the current page holds (x, y); -1 for none.
    int SlotAt(int x, int y) const;
    // A left drag that began on a zoomed pane is panning it.
    bool Panning() const;

    // A notice drawn over every pane of the page (the live stall alert), one text a line; no lines
    // remove it. The page is drawn again.
    void SetNotice(const std::vector<std::string>& lines);
    std::vector<std::string> GetNotice() const;

    // Mouse messages, client coordinates; flags are the key-state flags of a move. A left drag
    // that begins on a zoomed pane pans it and reaches the recorder not at all; every other report
    // over a zoomed pane gives the recorder the place of the picture point under the pointer as
    // the unzoomed pane shows it.
    void MouseMove(int x, int y, unsigned flags);
    void MouseDown(MouseButton button, int x, int y);
    void MouseUp(MouseButton button, int x, int y);
    void MouseDoubleClick(MouseButton button, int x, int y);

    // Runs f under the window's lock (the GUI paints from the picture store this way).
    template <typename F>
    void WithLock(F&& f) const
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        f();
    }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    mutable std::recursive_mutex mutex_;
};

}  // namespace tamlorex
