#include "app/goto_time_dialog.h"

#include <QDateTimeEdit>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/dialog_parts.h"
#include "media/time_index.h"

namespace tamlorex::app {

std::string ClockText(std::uint32_t time)
{
    char text[48];
    FormatCalendarTime(CalendarFromPageTime(time), text, sizeof text);
    return text;
}

GotoTimeDialog::GotoTimeDialog(QWidget* parent, const CalendarTime& initial, std::optional<std::uint32_t> first,
                               std::optional<std::uint32_t> last)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Go to Time"));
    // The fields as the recorder's clock shows them: no time zone is applied.
    edit_ = Named(new QDateTimeEdit(this), kGotoTimeEdit);
    edit_->setTimeSpec(Qt::UTC);
    edit_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit_->setCalendarPopup(true);
    edit_->setDateTime(QDateTime(QDate(initial.year, initial.month, initial.day),
                                 QTime(initial.hour, initial.minute, initial.second), Qt::UTC));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Date and time:"), edit_);
    auto* span = Named(new QLabel(this), kGotoTimeSpan);
    if (first && last)
        span->setText(QStringLiteral("Recorded from %1 to %2")
                          .arg(QString::fromStdString(ClockText(*first)), QString::fromStdString(ClockText(*last))));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(span);
    layout->addWidget(OkCancelButtons(*this));
    edit_->setFocus();
}

bool GotoTimeDialog::Chosen(std::uint32_t& seconds) const
{
    const QDateTime at = edit_->dateTime();
    CalendarTime c{};
    c.year = static_cast<std::uint16_t>(at.date().year());
    c.month = static_cast<std::uint16_t>(at.date().month());
    c.day = static_cast<std::uint16_t>(at.date().day());
    c.hour = static_cast<std::uint16_t>(at.time().hour());
    c.minute = static_cast<std::uint16_t>(at.time().minute());
    c.second = static_cast<std::uint16_t>(at.time().second());
    return at.isValid() && PageTimeFromCalendar(c, seconds);
}

}  // namespace tamlorex::app
