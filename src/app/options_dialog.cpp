#include "app/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_parts.h"
#include "app/folder_chooser.h"

namespace tamlorex::app {

std::string FormatTimePreview(const std::string& format, std::time_t when)
{
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return {};
    char text[kMaxPreviewChars + 1];
    const std::size_t length = std::strftime(text, sizeof text, format.c_str(), &local);
    return std::string(text, length);
}

OptionsDialog::OptionsDialog(UserPrompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts)
{
    setWindowTitle(QStringLiteral("Options"));

    alwaysOnTop_ = Named(new QCheckBox(QStringLiteral("Always on top"), this), kOptAlwaysOnTop);
    showTime_ = Named(new QCheckBox(QStringLiteral("Show playback time"), this), kOptShowTime);
    repeat_ = Named(new QCheckBox(QStringLiteral("Repeat playback (&R)"), this), kOptRepeat);
    useDirectDraw_ = Named(new QCheckBox(QStringLiteral("Use DirectDraw"), this), kOptUseDirectDraw);

    auto* formatGroup = new QGroupBox(QStringLiteral("On screen display date/time format"), this);
    timeFormat_ = Named(new QComboBox(formatGroup), kOptTimeFormat);
    timeFormat_->setEditable(true);
    timeFormat_->setInsertPolicy(QComboBox::NoInsert);
    for (const char* format : kTimeFormats) timeFormat_->addItem(QString::fromLatin1(format));
    preview_ = Named(new QLabel(formatGroup), kOptTimePreview);
    preview_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    preview_->setMinimumHeight(preview_->fontMetrics().height() + 8);
    preview_->setMargin(2);
    auto* formatLayout = new QVBoxLayout(formatGroup);
    formatLayout->addWidget(timeFormat_);
    formatLayout->addWidget(preview_);

    QPushButton* browse = nullptr;
    QGroupBox* pathGroup = FolderGroup(this, "Path for still capture", kOptCapturePath, kOptBrowse, capturePath_, browse);
    QDialogButtonBox* buttons = OkCancelButtons(*this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(alwaysOnTop_);
    layout->addWidget(showTime_);
    layout->addWidget(repeat_);
    layout->addWidget(useDirectDraw_);
    layout->addWidget(formatGroup);
    layout->addWidget(pathGroup);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(380);

    connect(timeFormat_, &QComboBox::editTextChanged, this, &OptionsDialog::RefreshPreview);
    connect(timeFormat_, &QComboBox::currentIndexChanged, this, &OptionsDialog::RefreshPreview);
    connect(browse, &QPushButton::clicked, this, &OptionsDialog::Browse);

    SetValues(values_);
}

void OptionsDialog::SetValues(const OptionsValues& values)
{
    values_ = values;
    alwaysOnTop_->setChecked(values.alwaysOnTop);
    showTime_->setChecked(values.showTime);
    repeat_->setChecked(values.repeat);
    useDirectDraw_->setChecked(values.useDirectDraw);
    timeFormat_->setEditText(QString::fromStdString(values.timeFormat));
    capturePath_->setText(QString::fromStdString(values.capturePath));
    RefreshPreview();
}

void OptionsDialog::showEvent(QShowEvent* event)
{
    RefreshPreview();
    QDialog::showEvent(event);
}

void OptionsDialog::RefreshPreview()
{
    const std::string format = timeFormat_->currentText().toStdString();
    preview_->setText(QString::fromStdString(FormatTimePreview(format, std::time(nullptr))));
}

void OptionsDialog::Browse() { ChooseFolderInto(this, prompts_, *capturePath_); }

void OptionsDialog::accept()
{
    values_.alwaysOnTop = alwaysOnTop_->isChecked();
    values_.showTime = showTime_->isChecked();
    values_.repeat = repeat_->isChecked();
    values_.useDirectDraw = useDirectDraw_->isChecked();
    values_.timeFormat = timeFormat_->currentText().toStdString();
    values_.capturePath = capturePath_->text().toStdString();
    QDialog::accept();
}

}  // namespace tamlorex::app
