#include "app/network_options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialog_parts.h"
#include "app/folder_chooser.h"
#include "app/login_dialog.h"
#include "app/options_dialog.h"
#include "app/user_prompts.h"

namespace tamlorex::app {
namespace {


constexpr const char* kMouseModes[] = {
    "Disable",
    "Enable && Hidden cusor on DVR side",
    "Enable && Display cusor on DVR side",
};

}  // namespace

NetworkOptionsDialog::NetworkOptionsDialog(UserPrompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts)
{
    setWindowTitle(QStringLiteral("Network Options"));

    alwaysOnTop_ = Named(new QCheckBox(QStringLiteral("Always on top"), this), kOptAlwaysOnTop);
    useDirectDraw_ = Named(new QCheckBox(QStringLiteral("Use DirectDraw"), this), kOptUseDirectDraw);
    autoReconnection_ = Named(new QCheckBox(QStringLiteral("Auto Reconnection (&C)"), this), kNetOptAutoReconnection);
    repeat_ = Named(new QCheckBox(QStringLiteral("Repeat playback (&R)"), this), kOptRepeat);

    timeout_ = Named(new QLineEdit(this), kNetOptTimeout);
    timeout_->setMaximumWidth(72);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(new QLabel(QStringLiteral("Connection Timeout:"), this));
    timeoutRow->addWidget(timeout_);
    timeoutRow->addWidget(new QLabel(QStringLiteral("sec"), this));
    timeoutRow->addStretch(1);

    auto* ddnsGroup = new QGroupBox(QStringLiteral("DDNS configuration"), this);
    ddnsAddress_ = Named(new QLineEdit(ddnsGroup), kNetOptDdnsAddress);
    ddnsPort_ = Named(new QLineEdit(ddnsGroup), kNetOptDdnsPort);
    ddnsPort_->setMaximumWidth(72);
    auto* ddnsLayout = new QHBoxLayout(ddnsGroup);
    ddnsLayout->addWidget(new QLabel(QStringLiteral("IP:"), ddnsGroup));
    ddnsLayout->addWidget(ddnsAddress_, 1);
    ddnsLayout->addSpacing(8);
    ddnsLayout->addWidget(new QLabel(QStringLiteral("Port:"), ddnsGroup));
    ddnsLayout->addWidget(ddnsPort_);

    QPushButton* browse = nullptr;
    QGroupBox* pathGroup =
        FolderGroup(this, "Path for recording file", kNetOptRecordingPath, kOptBrowse, recordingPath_, browse);

    auto* mouseGroup = new QGroupBox(QStringLiteral("Mouse Remote Control"), this);
    auto* mouseLayout = new QVBoxLayout(mouseGroup);
    mouseMode_ = new QButtonGroup(this);
    for (int mode = 0; mode < 3; ++mode) {
        auto* radio = Named(new QRadioButton(QString::fromLatin1(kMouseModes[mode]), mouseGroup), kNetOptMouseDisable + mode);
        mouseMode_->addButton(radio, mode);
        mouseLayout->addWidget(radio);
    }

    QDialogButtonBox* buttons = OkCancelButtons(*this);

    auto* checks = new QGridLayout;
    checks->addWidget(alwaysOnTop_, 0, 0);
    checks->addWidget(useDirectDraw_, 1, 0);
    checks->addWidget(autoReconnection_, 0, 1);
    checks->addWidget(repeat_, 1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(checks);
    layout->addLayout(timeoutRow);
    layout->addWidget(ddnsGroup);
    layout->addWidget(pathGroup);
    layout->addWidget(mouseGroup);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(400);

    connect(browse, &QPushButton::clicked, this, [this] { ChooseFolderInto(this, prompts_, *recordingPath_); });

    SetValues(values_);
}

void NetworkOptionsDialog::SetValues(const NetworkOptionsValues& values)
{
    values_ = values;
    alwaysOnTop_->setChecked(values.alwaysOnTop);
    useDirectDraw_->setChecked(values.useDirectDraw);
    autoReconnection_->setChecked(values.autoReconnection);
    timeout_->setText(QString::number(values.timeoutSeconds));
    ddnsAddress_->setText(QString::fromStdString(values.ddnsAddress));
    ddnsPort_->setText(QString::number(values.ddnsPort));
    recordingPath_->setText(QString::fromStdString(values.recordingPath));
    // An exclusive group cannot uncheck its last button; lift that to show "none".
    mouseMode_->setExclusive(false);
    for (QAbstractButton* radio : mouseMode_->buttons()) radio->setChecked(mouseMode_->id(radio) == values.mouseMode);
    mouseMode_->setExclusive(true);
}

bool NetworkOptionsDialog::ReadInteger(QLineEdit* field, int& value)
{
    bool ok = false;
    const int number = field->text().trimmed().toInt(&ok);
    if (!ok) {
        prompts_.Message(this, LoginDialog::kIntegerMessage, std::string());
        field->setFocus();
        field->selectAll();
        return false;
    }
    value = number;
    return true;
}

void NetworkOptionsDialog::accept()
{
    int timeout = 0, port = 0;
    if (!ReadInteger(timeout_, timeout) || !ReadInteger(ddnsPort_, port)) return;
    values_.alwaysOnTop = alwaysOnTop_->isChecked();
    values_.useDirectDraw = useDirectDraw_->isChecked();
    values_.autoReconnection = autoReconnection_->isChecked();
    values_.timeoutSeconds = timeout;
    values_.ddnsAddress = ddnsAddress_->text().toStdString();
    values_.ddnsPort = port;
    values_.recordingPath = recordingPath_->text().toStdString();
    if (mouseMode_->checkedId() >= 0) values_.mouseMode = mouseMode_->checkedId();
    QDialog::accept();
}

}  // namespace tamlorex::app
