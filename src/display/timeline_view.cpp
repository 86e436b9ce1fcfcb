#include "display/timeline_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "media/frame_record.h"

namespace tamlorex {

void TimelineView::SetExtent(std::uint32_t first, std::uint32_t last)
{
    const bool all = !hasExtent_ || ShowsAll();
    first_ = first;
    last_ = std::max(last, first);
    hasExtent_ = true;
    if (all)
        ShowAll();
    else
        Clamp();
}

double TimelineView::Whole() const
{
    return std::max(last_ - first_, 1.0);
}

double TimelineView::MinSpan() const
{
    return std::min(kMinSpan, Whole());
}

bool TimelineView::ShowsAll() const
{
    return start_ <= first_ && end_ >= first_ + Whole();
}

void TimelineView::ShowAll()
{
    start_ = first_;
    end_ = first_ + Whole();
}

void TimelineView::Clamp()
{
    const double whole = Whole();
    const double span = std::clamp(end_ - start_, MinSpan(), whole);
    const double start = std::clamp(start_, first_, first_ + whole - span);
    start_ = start;
    end_ = start + span;
}

void TimelineView::Zoom(double factor, double anchor)
{
    if (!hasExtent_ || !(factor > 0)) return;
    const double span = std::clamp((end_ - start_) / factor, MinSpan(), Whole());
    // The anchor keeps its fraction of the view.
    const double fraction = end_ > start_ ? std::clamp((anchor - start_) / (end_ - start_), 0.0, 1.0) : 0.5;
    start_ = anchor - fraction * span;
    end_ = start_ + span;
    Clamp();
}

void TimelineView::Pan(double seconds)
{
    start_ += seconds;
    end_ += seconds;
    Clamp();
}

double TimelineView::TimeAt(double x, int width) const
{
    if (width <= 0) return start_;
    return start_ + (x + 0.5) * (end_ - start_) / width;
}

double TimelineView::XAt(double time, int width) const
{
    if (end_ <= start_) return 0;
    return (time - start_) * width / (end_ - start_) - 0.5;
}

double TimelineView::LabelStep(double span, int width, int minPixels)
{
    static const double kSteps[] = {1, 5, 10, 15, 30, 60, 300, 600, 900, 1800, 3600, 10800, 21600, 43200, 86400};
    if (width <= 0 || span <= 0) return kSteps[0];
    const double perPixel = span / width;
    for (double step : kSteps)
        if (step / perPixel >= minPixels) return step;
    // Whole days beyond.
    return std::ceil(minPixels * perPixel / 86400.0) * 86400.0;
}

std::string TimelineView::Label(std::uint32_t time, double step)
{
    const CalendarTime c = CalendarFromPageTime(time);
    char text[32];
    if (step < 60)
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", c.hour, c.minute, c.second);
    else if (step < 86400)
        std::snprintf(text, sizeof text, "%02u:%02u", c.hour, c.minute);
    else
        std::snprintf(text, sizeof text, "%02u-%02u", c.month, c.day);
    return text;
}

}  // namespace tamlorex
