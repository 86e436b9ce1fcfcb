#include "controls/timeline_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "media/frame_record.h"

namespace tamlorex::controls {
namespace {

constexpr int kLabelBand = 12;  // clock labels and ticks on top
constexpr int kMinLabelPixels = 64;
constexpr int kMaxRowHeight = 4;
constexpr double kDragPixels = 3;  // a press that moves less is a click

const QColor kBackground(0x10, 0x13, 0x18);
const QColor kTrack(0x22, 0x28, 0x31);
const QColor kLabel(0x9A, 0xA6, 0xB4);
const QColor kTick(0x3C, 0x46, 0x52);
const QColor kMarkColor(0xFF, 0xC8, 0x2E);
const QColor kPlayColor(0xFF, 0x4A, 0x3A);
const QColor kHoverColor(0xE8, 0xEE, 0xF5);

// One colour per channel, kept apart in hue.
QColor ChannelColor(int channel)
{
    return QColor::fromHsv((channel * 67 + 120) % 360, 150, 235);
}

QFont LabelFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(10);
    return font;
}

}  // namespace

TimelineWidget::TimelineWidget(QWidget* parent) : QWidget(parent), runs_(16)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFont(LabelFont());
}

void TimelineWidget::Clear()
{
    view_ = TimelineView{};
    rows_.clear();
    for (auto& r : runs_) r.clear();
    play_ = markIn_ = markOut_ = hover_ = std::nullopt;
    scanning_ = false;
    update();
}

void TimelineWidget::SetActivity(const ActivityScan::Snapshot& snapshot)
{
    if (snapshot.segments.empty()) {
        const auto play = play_, in = markIn_, out = markOut_;
        Clear();
        play_ = play, markIn_ = in, markOut_ = out;
        scanning_ = !snapshot.done;
        return;
    }
    std::uint32_t first = snapshot.segments.front().firstTime, last = snapshot.segments.front().lastTime;
    for (const auto& s : snapshot.segments) {
        first = std::min(first, s.firstTime);
        last = std::max(last, s.lastTime);
    }
    view_.SetExtent(first, last);
    const std::uint16_t mask = RecordedChannels(snapshot);
    rows_.clear();
    for (int c = 0; c < 16; ++c) {
        runs_[static_cast<std::size_t>(c)] = (mask >> c & 1) ? ChannelRuns(snapshot, c) : std::vector<ActivityRun>{};
        if (mask >> c & 1) rows_.push_back(c);
    }
    scanning_ = !snapshot.done;
    update();
}

void TimelineWidget::SetPlayTime(std::optional<std::uint32_t> time)
{
    if (time == play_) return;
    play_ = time;
    update();
}

void TimelineWidget::SetMarks(std::optional<std::uint32_t> in, std::optional<std::uint32_t> out)
{
    if (in == markIn_ && out == markOut_) return;
    markIn_ = in;
    markOut_ = out;
    update();
}

int TimelineWidget::RowTop() const
{
    return kLabelBand + 1;
}

int TimelineWidget::RowHeight() const
{
    if (rows_.empty()) return 0;
    const int room = height() - RowTop() - 1;
    return std::clamp(room / static_cast<int>(rows_.size()), 1, kMaxRowHeight);
}

std::uint32_t TimelineWidget::TimeAtX(double x) const
{
    const double t = std::clamp(view_.TimeAt(x, width()), view_.ExtentStart(), view_.ExtentEnd());
    return static_cast<std::uint32_t>(std::llround(t));
}

QString TimelineWidget::HoverText() const
{
    if (!hover_) return {};
    char text[48];
    FormatCalendarTime(CalendarFromPageTime(*hover_), text, sizeof text);
    return QString::fromLatin1(text);
}

bool TimelineWidget::RowLitAt(int channel, int x) const
{
    if (channel < 0 || channel > 15 || !view_.HasExtent()) return false;
    // A stretch is lit over every column it touches, one column at least.
    for (const ActivityRun& r : runs_[static_cast<std::size_t>(channel)]) {
        const double x0 = std::floor(view_.XAt(r.first, width()) + 0.5);
        const double x1 = std::max(x0, std::floor(view_.XAt(r.last, width()) + 0.5));
        if (x >= x0 && x <= x1) return true;
    }
    return false;
}

void TimelineWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const int w = width();
    if (!view_.HasExtent()) {
        p.setPen(kLabel);
        p.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   scanning_ ? QStringLiteral("Reading the recording's times...") : QString());
        return;
    }
    // Clock labels at whole steps of local time.
    const double step = TimelineView::LabelStep(view_.Span(), w, kMinLabelPixels);
    const double bias = static_cast<double>(TimeZoneBias());
    const double firstTick = std::ceil((view_.Start() - bias) / step) * step + bias;
    for (double t = firstTick; t <= view_.End(); t += step) {
        const int x = static_cast<int>(std::lround(view_.XAt(t, w)));
        p.setPen(kTick);
        p.drawLine(x, kLabelBand - 3, x, height());
        // A label that would run off the right edge is left out.
        const QString label = QString::fromStdString(TimelineView::Label(static_cast<std::uint32_t>(t), step));
        if (x + 2 + p.fontMetrics().horizontalAdvance(label) > w) continue;
        p.setPen(kLabel);
        p.drawText(x + 2, kLabelBand - 2, label);
    }
    // Channel rows.
    const int rowHeight = RowHeight();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const int channel = rows_[i];
        const int y = RowTop() + static_cast<int>(i) * rowHeight;
        const int h = std::max(1, rowHeight - (rowHeight > 2 ? 1 : 0));
        p.fillRect(0, y, w, h, kTrack);
        const QColor color = ChannelColor(channel);
        for (const ActivityRun& r : runs_[static_cast<std::size_t>(channel)]) {
            if (r.last < view_.Start() || r.first > view_.End()) continue;
            const double x0 = std::floor(view_.XAt(r.first, w) + 0.5);
            const double x1 = std::max(x0, std::floor(view_.XAt(r.last, w) + 0.5));
            const int left = static_cast<int>(std::max(x0, -1.0));
            const int right = static_cast<int>(std::min(x1, static_cast<double>(w)));
            p.fillRect(left, y, right - left + 1, h, color);
        }
    }
    // The marks, with the stretch between them shaded.
    auto column = [&](std::uint32_t t) { return static_cast<int>(std::lround(view_.XAt(t, w))); };
    if (markIn_ && markOut_ && *markOut_ > *markIn_) {
        QColor shade = kMarkColor;
        shade.setAlpha(40);
        p.fillRect(QRect(QPoint(column(*markIn_), RowTop()), QPoint(column(*markOut_), height() - 1)), shade);
    }
    for (const auto& mark : {markIn_, markOut_}) {
        if (!mark) continue;
        p.setPen(kMarkColor);
        p.drawLine(column(*mark), 0, column(*mark), height());
    }
    if (play_) {
        const int x = column(*play_);
        p.setPen(QPen(kPlayColor, 2));
        p.drawLine(x, 0, x, height());
    }
    if (hover_) {
        const int x = static_cast<int>(std::lround(hoverX_));
        p.setPen(kHoverColor);
        p.drawLine(x, kLabelBand, x, height());
        const QString text = HoverText();
        const QRect box = p.fontMetrics().boundingRect(text).adjusted(-3, -1, 3, 1);
        int left = std::clamp(x + 6, 0, std::max(0, w - box.width()));
        if (x + 6 + box.width() > w) left = std::max(0, x - 6 - box.width());
        const QRect at(left, 0, box.width(), kLabelBand);
        p.fillRect(at, QColor(0, 0, 0, 200));
        p.drawText(at, Qt::AlignCenter, text);
    }
    if (scanning_) {
        // The scan is still filling in: a thin line along the bottom.
        p.fillRect(0, height() - 1, w, 1, kTick);
    }
}

void TimelineWidget::wheelEvent(QWheelEvent* event)
{
    if (!view_.HasExtent()) return;
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    const double x = event->position().x();
    view_.Zoom(std::pow(kZoomPerNotch, notches), view_.TimeAt(x, width()));
    SetHover(x);
    event->accept();
    update();
}

void TimelineWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !view_.HasExtent()) return QWidget::mousePressEvent(event);
    pressed_ = true;
    dragged_ = false;
    pressX_ = lastX_ = event->position().x();
    event->accept();
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (pressed_) {
        if (!dragged_ && std::abs(x - pressX_) >= kDragPixels) dragged_ = true;
        if (dragged_ && width() > 0) {
            // The time under the pointer follows it.
            view_.Pan((lastX_ - x) * view_.Span() / width());
            lastX_ = x;
        }
    }
    SetHover(x);
    update();
}

void TimelineWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_) return QWidget::mouseReleaseEvent(event);
    pressed_ = false;
    if (!dragged_ && view_.HasExtent()) emit seekRequested(TimeAtX(event->position().x()));
    dragged_ = false;
    event->accept();
}

void TimelineWidget::leaveEvent(QEvent*)
{
    SetHover(std::nullopt);
    update();
}

void TimelineWidget::SetHover(std::optional<double> x)
{
    if (!x || !view_.HasExtent()) {
        hover_.reset();
        return;
    }
    hoverX_ = *x;
    hover_ = TimeAtX(*x);
}

}  // namespace tamlorex::controls
