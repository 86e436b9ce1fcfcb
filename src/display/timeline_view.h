#pragma once
// The visible stretch of the timeline, in page seconds: the whole recording at most, one minute at
// least (or the whole of a shorter recording); zoomed around a point that stays where it is, panned
// within the recording. Pixels map to times linearly over a given width.
#include <cstdint>
#include <string>

namespace tamlorex {

class TimelineView {
public:
    static constexpr double kMinSpan = 60.0;

    // The whole recording [first, last]; the view shows it all when it showed it all before (or
    // when nothing was set), else keeps its stretch clamped into the new extent.
    void SetExtent(std::uint32_t first, std::uint32_t last);
    bool HasExtent() const { return hasExtent_; }
    double Start() const { return start_; }
    double End() const { return end_; }
    double Span() const { return end_ - start_; }
    double ExtentStart() const { return first_; }
    double ExtentEnd() const { return last_; }
    bool ShowsAll() const;

    // Zooms in by `factor` (> 1) or out (< 1) keeping `anchor` (a time) at the same place.
    void Zoom(double factor, double anchor);
    // Moves the view by `seconds` (later for positive), stopping at the recording's ends.
    void Pan(double seconds);
    void ShowAll();

    // Time at pixel column x (0..width-1, the centre of the column) and the column of a time (may
    // lie outside 0..width-1).
    double TimeAt(double x, int width) const;
    double XAt(double time, int width) const;

    // The step in seconds between clock labels for the visible span: the smallest of 1, 5, 10, 15,
    // 30 seconds, 1, 5, 10, 15, 30 minutes, 1, 3, 6, 12 hours, 1 day and whole days that keeps
    // labels at least `minPixels` apart.
    static double LabelStep(double span, int width, int minPixels);
    // The label at a page time for a step: "HH:MM:SS" under a minute, "HH:MM" under a day, else
    // "MM-DD".
    static std::string Label(std::uint32_t time, double step);

private:
    void Clamp();
    double Whole() const;    // the recording's span, one second at least
    double MinSpan() const;  // one minute, or the whole of a shorter recording

    bool hasExtent_ = false;
    double first_ = 0, last_ = 0;
    double start_ = 0, end_ = 0;
};

}  // namespace tamlorex
