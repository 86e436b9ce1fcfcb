#pragma once
// The timeline above the position slider: clock labels for the visible stretch, one thin row per
// recorded channel showing where it has pictures, the marks In and Out and the play position. The
// wheel zooms between the whole recording and one minute around the pointer, dragging pans,
// hovering shows the clock time under the pointer, a click asks to go to that time.
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "display/timeline_view.h"
#include "engine/activity_scan.h"

namespace tamlorex::controls {

class TimelineWidget : public QWidget {
    Q_OBJECT
public:
    explicit TimelineWidget(QWidget* parent);

    // What the scan knows so far; an empty snapshot clears the timeline.
    void SetActivity(const ActivityScan::Snapshot& snapshot);
    // The clock time on screen (page seconds); nothing when nothing plays.
    void SetPlayTime(std::optional<std::uint32_t> time);
    void SetMarks(std::optional<std::uint32_t> in, std::optional<std::uint32_t> out);
    void Clear();

    const TimelineView& View() const { return view_; }
    TimelineView& View() { return view_; }
    // The channels that have a row, in order.
    const std::vector<int>& Rows() const { return rows_; }
    // The time under the pointer while it hovers, as drawn.
    std::optional<std::uint32_t> HoverTime() const { return hover_; }
    QString HoverText() const;
    // Whether a channel's row is lit at a column.
    bool RowLitAt(int channel, int x) const;

    // Zoom per wheel notch (120 units).
    static constexpr double kZoomPerNotch = 1.5;

signals:
    // A click at a clock time (page seconds).
    void seekRequested(std::uint32_t time);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int RowTop() const;
    int RowHeight() const;
    std::uint32_t TimeAtX(double x) const;
    void SetHover(std::optional<double> x);

    TimelineView view_;
    std::vector<int> rows_;
    std::vector<std::vector<ActivityRun>> runs_;  // by channel 0..15
    std::optional<std::uint32_t> play_, markIn_, markOut_, hover_;
    double hoverX_ = 0;
    bool pressed_ = false, dragged_ = false;
    double pressX_ = 0, lastX_ = 0;
    bool scanning_ = false;
};

}  // namespace tamlorex::controls
