#pragma once
// "Go to Time": a date and time field, prefilled with the clock time on screen, and the span of the
// recording as a hint. The window goes to the first picture at or after the time chosen.
#include <QDialog>
#include <cstdint>
#include <optional>

#include "media/frame_record.h"

class QDateTimeEdit;

namespace tamlorex::app {

inline constexpr int kGotoTimeEdit = 1801;
inline constexpr int kGotoTimeSpan = 1802;

class GotoTimeDialog : public QDialog {
    Q_OBJECT
public:
    // `initial`: the time in the field; `first` and `last`: the recording's span (page seconds),
    // shown under the field when known.
    GotoTimeDialog(QWidget* parent, const CalendarTime& initial, std::optional<std::uint32_t> first,
                   std::optional<std::uint32_t> last);

    // The time in the field as page seconds; false when no page can hold it.
    bool Chosen(std::uint32_t& seconds) const;
    QDateTimeEdit* Edit() const { return edit_; }

private:
    QDateTimeEdit* edit_;
};

// "YYYY-MM-DD HH:MM:SS" of a page time.
std::string ClockText(std::uint32_t time);

}  // namespace tamlorex::app
