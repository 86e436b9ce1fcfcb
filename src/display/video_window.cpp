#include "display/video_window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "display/mouse_report.h"

namespace tamlorex {
namespace {

// A stored picture: luma from offset 0, chroma after it; the buffer holds the largest size.
constexpr int kDefaultPictureWidth = 640;
constexpr int kDefaultPictureHeight = 224;
constexpr std::size_t kDefaultLumaSize = std::size_t{kDefaultPictureWidth} * kDefaultPictureHeight;

constexpr std::uint32_t kDefaultTextColor = 0x80FFFF;
constexpr std::uint32_t kDefaultOutlineColor = 0x141414;
// Black would be the transparent colour of some surfaces, so it is drawn as a near black.
constexpr std::uint32_t kNearBlack = 0x050505;

constexpr std::size_t kMaxOsdTimeChars = 128;
constexpr int kOsdLeftInset = 4;
constexpr int kOsdTopInset = 2;
// The outline passes around the text position, in drawing order.
constexpr int kOutlineOffsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};

constexpr int kModePlayer = 1;

bool IsSplit(int split) { return split == 1 || split == 4 || split == 9 || split == 16; }
bool IsPictureWidth(int width) { return width == 320 || width == 640; }
bool IsPictureHeight(int height) { return height == 112 || height == 136 || height == 224 || height == 272; }
bool IsSlot(int slot) { return slot >= 0 && slot < kMaxChannels; }

std::uint32_t StoredColor(std::uint32_t color) { return color == 0 ? kNearBlack : color; }

int GridSide(int split)
{
    int d = 0;
    while ((d + 1) * (d + 1) <= split) ++d;
    if (d == 0 || d * d != split) ++d;
    return d;
}

bool TimeFieldsInRange(const CalendarTime& t)
{
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour <= 23 && t.minute <= 59 &&
           t.second <= 59;
}

// The record's fields read as local time and formatted back from local time; empty on failure.
std::string FormatLocalTime(const CalendarTime& t, const std::string& format)
{
    std::time_t when = 0;
    if (t.year >= 1900) {
        std::tm fields{};
        fields.tm_year = t.year - 1900;
        fields.tm_mon = t.month - 1;
        fields.tm_mday = t.day;
        fields.tm_hour = t.hour;
        fields.tm_min = t.minute;
        fields.tm_sec = t.second;
        fields.tm_isdst = -1;
        when = std::mktime(&fields);
        if (when == static_cast<std::time_t>(-1)) return {};
    }
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return {};
    char text[kMaxOsdTimeChars + 1];
    const std::size_t length = std::strftime(text, sizeof text, format.c_str(), &local);
    if (length == 0) return {};
    return std::string(text, length);
}

}  // namespace

struct VideoWindow::Impl {
    Renderer* renderer = nullptr;
    int clientWidth = 0;
    int clientHeight = 0;
    int mode = kModePlayer;

    int channelCount = 1;
    int split = 1;
    int page = 0;
    int lastMultiSplit = 1;
    int lastMultiPage = 0;

    bool showTime = true;
    std::string timeFormat = "%Y/%m/%d %H:%M:%S";
    OsdFont font;
    std::uint32_t textColor = kDefaultTextColor;
    std::uint32_t outlineColor = kDefaultOutlineColor;

    std::array<Rect, kMaxChannels> panes{};
    std::array<bool, kMaxChannels> onPage{};
    std::array<bool, kMaxChannels> hasPicture{};
    std::vector<std::uint8_t> pictures;  // kMaxChannels x kStoredPictureSize
    std::array<int, kMaxChannels> pictureWidth{};
    std::array<int, kMaxChannels> pictureHeight{};
    std::array<CalendarTime, kMaxChannels> pictureTime{};
    std::array<PaneZoom, kMaxChannels> zoom{};
    std::vector<std::string> notice;
    int panSlot = -1;  // the zoomed pane a left drag is panning
    int panX = 0;
    int panY = 0;

    Impl() : pictures(kMaxChannels * kStoredPictureSize)
    {
        // Every channel starts as a black 640 x 224 picture: luma 0, chroma 128 after it.
        for (int c = 0; c < kMaxChannels; ++c) {
            std::uint8_t* picture = Picture(c);
            std::memset(picture, 0, kDefaultLumaSize);
            std::memset(picture + kDefaultLumaSize, 128, kStoredPictureSize - kDefaultLumaSize);
        }
        pictureWidth.fill(kDefaultPictureWidth);
        pictureHeight.fill(kDefaultPictureHeight);
    }

    std::uint8_t* Picture(int slot) { return pictures.data() + static_cast<std::size_t>(slot) * kStoredPictureSize; }
    const std::uint8_t* Picture(int slot) const
    {
        return pictures.data() + static_cast<std::size_t>(slot) * kStoredPictureSize;
    }
    static std::size_t PictureBytes(int width, int height)
    {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2;
    }

    int PageCount(int forSplit) const { return (channelCount + forSplit - 1) / forSplit; }

    // Places every slot of every page; slots beyond the channel count get no pane.
    void Layout()
    {
        panes.fill(Rect{});
        onPage.fill(false);
        const int d = GridSide(split);
        const int w = clientWidth / d;
        const int h = clientHeight / d;
        const int rw = clientWidth % d;
        const int rh = clientHeight % d;
        const int pages = PageCount(split);
        for (int j = 0; j < pages; ++j) {
            for (int k = 0; k < split; ++k) {
                const int slot = j * split + k;
                if (slot >= channelCount) break;
                const int r = k / d;
                const int c = k % d;
                Rect& pane = panes[slot];
                pane.left = w * c + std::min(rw, c);
                pane.right = pane.left + w + (c < rw ? 1 : 0);
                pane.top = h * r + std::min(rh, r);
                pane.bottom = pane.top + h + (r < rh ? 1 : 0);
                onPage[slot] = (page == j);
            }
        }
    }

    std::string OsdText(int slot) const
    {
        char label[16];
        std::snprintf(label, sizeof label, "CH%d ", slot + 1);
        std::string text = label;
        const CalendarTime& t = pictureTime[slot];
        if (showTime && hasPicture[slot] && t.year != 0 && TimeFieldsInRange(t)) text += FormatLocalTime(t, timeFormat);
        return text;
    }

    void DrawOsd(int slot) const
    {
        const std::string text = OsdText(slot);
        const int x = panes[slot].left + kOsdLeftInset;
        const int y = panes[slot].top + kOsdTopInset;
        for (const auto& offset : kOutlineOffsets)
            renderer->DrawText(x + offset[0], y + offset[1], text, outlineColor, font);
        renderer->DrawText(x, y, text, textColor, font);
    }

    // The pane's picture (or black), the notice and its OSD, without presenting.
    void DrawPane(int slot) const
    {
        if (hasPicture[slot] && zoom[slot].Zoomed())
            renderer->DrawPictureView(panes[slot], Picture(slot), pictureWidth[slot], pictureHeight[slot],
                                      zoom[slot].View());
        else if (hasPicture[slot])
            renderer->DrawPicture(panes[slot], Picture(slot), pictureWidth[slot], pictureHeight[slot]);
        else
            renderer->DrawEmpty(panes[slot]);
        if (!notice.empty()) renderer->DrawNotice(panes[slot], notice);
        DrawOsd(slot);
    }

    void RedrawPane(int slot) const
    {
        if (renderer == nullptr || !onPage[slot]) return;
        DrawPane(slot);
        renderer->Present(panes[slot]);
    }

    int SlotAt(int x, int y) const
    {
        for (int slot = 0; slot < kMaxChannels; ++slot)
            if (onPage[slot] && panes[slot].Contains(x, y)) return slot;
        return -1;
    }

    // Where the recorder is told the pointer is: over a zoomed pane, the picture point's place
    // in the unzoomed pane.
    void ToRecorder(int x, int y, int& outX, int& outY) const
    {
        const int slot = SlotAt(x, y);
        if (slot < 0) {
            outX = x;
            outY = y;
            return;
        }
        zoom[slot].ToUnzoomed(panes[slot], x, y, outX, outY);
    }

    void FullRedraw()
    {
        Layout();
        if (renderer == nullptr) return;
        for (int slot = 0; slot < kMaxChannels; ++slot)
            if (onPage[slot]) DrawPane(slot);
        renderer->Present(Rect{0, 0, clientWidth, clientHeight});
    }
};

VideoWindow::VideoWindow() : impl_(std::make_unique<Impl>()) {}

VideoWindow::~VideoWindow() = default;

void VideoWindow::SetRenderer(Renderer* renderer)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->renderer = renderer;
}

void VideoWindow::SetClientSize(int width, int height)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->clientWidth = std::max(width, 0);
    impl_->clientHeight = std::max(height, 0);
    impl_->Layout();
    if (impl_->clientWidth == 0 || impl_->clientHeight == 0) return;
    if (impl_->renderer != nullptr) impl_->renderer->Reset(impl_->clientWidth, impl_->clientHeight);
    impl_->FullRedraw();
}

int VideoWindow::ClientWidth() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->clientWidth;
}

int VideoWindow::ClientHeight() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->clientHeight;
}

void VideoWindow::SetMode(int mode)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (impl_->mode != mode) {
        // The channels of the other mode are other cameras: their zoom does not carry over.
        for (PaneZoom& zoom : impl_->zoom) zoom.Reset();
        impl_->panSlot = -1;
        impl_->notice.clear();
    }
    impl_->mode = mode;
}

int VideoWindow::GetMode() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->mode;
}

void VideoWindow::SetChannelCount(int count)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->channelCount = std::clamp(count, 1, kMaxChannels);
    impl_->Layout();
}

int VideoWindow::GetChannelCount() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->channelCount;
}

bool VideoWindow::SetSplit(int split, int page)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    if (!IsSplit(split) || split > w.channelCount) return false;
    int newPage = page;
    if (page < 0) {
        newPage = 0;
        if (split == w.split) {
            newPage = w.page + 1;
            if (newPage >= w.PageCount(split)) newPage = 0;
        }
    }
    w.split = split;
    w.page = newPage;
    if (split != 1) {
        w.lastMultiSplit = split;
        w.lastMultiPage = newPage;
    }
    w.Layout();
    if (w.renderer != nullptr) w.renderer->Reset(w.clientWidth, w.clientHeight);
    w.FullRedraw();
    return true;
}

int VideoWindow::GetSplit() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->split;
}

int VideoWindow::GetPage() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->page;
}

int VideoWindow::SelectedChannel() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (impl_->split != 1 || impl_->page >= impl_->channelCount) return -1;
    return impl_->page;
}

bool VideoWindow::ShowPicture(int channel, const CalendarTime& time, const std::uint8_t* yuv, int width, int height)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    if (channel < 0 || channel >= w.channelCount) return false;
    if (!IsPictureWidth(width) || !IsPictureHeight(height) || yuv == nullptr) return false;

    w.pictureWidth[channel] = width;
    w.pictureHeight[channel] = height;
    w.hasPicture[channel] = true;
    std::memcpy(w.Picture(channel), yuv, Impl::PictureBytes(width, height));
    w.pictureTime[channel] = time;

    w.Layout();
    if (w.renderer != nullptr && w.onPage[channel]) {
        w.DrawPane(channel);
        w.renderer->Present(w.panes[channel]);
    }
    return true;
}

void VideoWindow::Clear()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->hasPicture.fill(false);
    if (impl_->renderer != nullptr) impl_->renderer->PicturesCleared();
    impl_->FullRedraw();
}

void VideoWindow::Redraw()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->FullRedraw();
}

void VideoWindow::SetShowTime(bool show)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->showTime = show;
}

bool VideoWindow::GetShowTime() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->showTime;
}

void VideoWindow::SetTimeFormat(const std::string& format)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->timeFormat = format;
}

std::string VideoWindow::FormatOsdTime(const CalendarTime& time) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (time.year == 0 || !TimeFieldsInRange(time)) return {};
    return FormatLocalTime(time, impl_->timeFormat);
}

std::string VideoWindow::GetTimeFormat() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->timeFormat;
}

void VideoWindow::SetFont(int height, int width, int weight, bool italic, const std::string& face)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->font = OsdFont{height, width, weight, italic, face};
}

OsdFont VideoWindow::GetFont() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->font;
}

void VideoWindow::SetTextColor(std::uint32_t color)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->textColor = StoredColor(color);
}

void VideoWindow::SetOutlineColor(std::uint32_t color)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->outlineColor = StoredColor(color);
}

std::uint32_t VideoWindow::GetTextColor() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->textColor;
}

std::uint32_t VideoWindow::GetOutlineColor() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->outlineColor;
}

std::string VideoWindow::OsdText(int slot) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!IsSlot(slot)) return {};
    return impl_->OsdText(slot);
}

Rect VideoWindow::PaneRect(int slot) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return IsSlot(slot) ? impl_->panes[slot] : Rect{};
}

bool VideoWindow::PaneOnPage(int slot) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return IsSlot(slot) && impl_->onPage[slot];
}

bool VideoWindow::HasPicture(int slot) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return IsSlot(slot) && impl_->hasPicture[slot];
}

bool VideoWindow::GetPicture(int slot, std::vector<std::uint8_t>& yuv, int& width, int& height,
                             CalendarTime& time) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!IsSlot(slot) || !impl_->hasPicture[slot]) return false;
    width = impl_->pictureWidth[slot];
    height = impl_->pictureHeight[slot];
    time = impl_->pictureTime[slot];
    const std::uint8_t* picture = impl_->Picture(slot);
    yuv.assign(picture, picture + Impl::PictureBytes(width, height));
    return true;
}

bool VideoWindow::WheelZoom(int x, int y, double notches)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    w.Layout();
    const int slot = w.SlotAt(x, y);
    if (slot < 0 || !w.zoom[slot].Wheel(w.panes[slot], x, y, notches)) return false;
    w.RedrawPane(slot);
    return true;
}

bool VideoWindow::ResetZoomAt(int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    w.Layout();
    const int slot = w.SlotAt(x, y);
    if (slot < 0 || !w.zoom[slot].Zoomed()) return false;
    ResetZoom(slot);
    return true;
}

void VideoWindow::ResetZoom(int slot)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    if (slot == -1) {
        for (PaneZoom& zoom : w.zoom) zoom.Reset();
        w.panSlot = -1;
        w.FullRedraw();
        return;
    }
    if (!IsSlot(slot)) return;
    w.zoom[slot].Reset();
    if (w.panSlot == slot) w.panSlot = -1;
    w.Layout();
    w.RedrawPane(slot);
}

double VideoWindow::ZoomOf(int slot) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return IsSlot(slot) ? impl_->zoom[slot].Zoom() : kMinZoom;
}

PictureView VideoWindow::ViewOf(int slot) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return IsSlot(slot) ? impl_->zoom[slot].View() : PictureView{};
}

int VideoWindow::SlotAt(int x, int y) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->SlotAt(x, y);
}

bool VideoWindow::Panning() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->panSlot >= 0;
}

void VideoWindow::SetNotice(const std::vector<std::string>& lines)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (impl_->notice == lines) return;
    impl_->notice = lines;
    impl_->FullRedraw();
}

std::vector<std::string> VideoWindow::GetNotice() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->notice;
}

void VideoWindow::MouseMove(int x, int y, unsigned flags)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    if (w.panSlot >= 0) {
        if ((flags & kMouseLeftFlag) != 0) {
            if (w.zoom[w.panSlot].Pan(w.panes[w.panSlot], x - w.panX, y - w.panY)) w.RedrawPane(w.panSlot);
            w.panX = x;
            w.panY = y;
            return;
        }
        w.panSlot = -1;  // the release happened elsewhere
    }
    w.ToRecorder(x, y, x, y);
    int code = 0;
    if (flags == kMouseLeftFlag)
        code = 1;
    else if (flags == kMouseRightFlag)
        code = 2;
    else if (flags != 0)
        return;  // other keys or both buttons held: the recorder has no code for them
    PendingMouse().Put(MouseReport{code, x, y, impl_->clientWidth, impl_->clientHeight});
}

void VideoWindow::MouseDown(MouseButton button, int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    const int slot = w.SlotAt(x, y);
    if (button == MouseButton::Left && slot >= 0 && w.zoom[slot].Zoomed()) {
        w.panSlot = slot;
        w.panX = x;
        w.panY = y;
        return;
    }
    w.ToRecorder(x, y, x, y);
    const int code = button == MouseButton::Left ? 1 : 2;
    PendingMouse().Put(MouseReport{code, x, y, impl_->clientWidth, impl_->clientHeight});
}

void VideoWindow::MouseUp(MouseButton button, int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (button == MouseButton::Left && impl_->panSlot >= 0) {
        impl_->panSlot = -1;
        return;
    }
    impl_->ToRecorder(x, y, x, y);
    PendingMouse().PutRelease(x, y, impl_->clientWidth, impl_->clientHeight);
}

void VideoWindow::MouseDoubleClick(MouseButton button, int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl& w = *impl_;
    int rx = x, ry = y;
    w.ToRecorder(x, y, rx, ry);
    if (button == MouseButton::Right) {
        PendingMouse().Put(MouseReport{4, rx, ry, w.clientWidth, w.clientHeight});
        return;
    }
    const int zoomed = w.SlotAt(x, y);
    if (zoomed >= 0 && w.zoom[zoomed].Zoomed()) {
        // The second press of a double click on a zoomed pane is a pan press, like the first.
        w.panSlot = zoomed;
        w.panX = x;
        w.panY = y;
    } else {
        // The second press of a left double click reaches the recorder as a press.
        PendingMouse().Put(MouseReport{1, rx, ry, w.clientWidth, w.clientHeight});
    }

    if (w.split == 1) {
        SetSplit(w.lastMultiSplit, w.lastMultiPage);
        return;
    }
    w.Layout();
    for (int slot = 0; slot < kMaxChannels; ++slot) {
        if (w.onPage[slot] && w.panes[slot].Contains(x, y)) {
            SetSplit(1, slot);
            return;
        }
    }
}

}  // namespace tamlorex
