#include "app/login_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/dialog_parts.h"
#include "app/settings.h"

namespace tamlorex::app {
namespace {

constexpr char kIpLabel[] = "IP address:";
constexpr char kDvrLabel[] = "Select DVR";


}  // namespace

LoginDialog::LoginDialog(QWidget* parent) : QDialog(parent), sharedText_(kDefaultRecorderAddress)
{
    setWindowTitle(QStringLiteral("Login"));
    useDynamicIpBox_ = Named(new QCheckBox(QStringLiteral("Use dynamic ip service"), this), kLoginUseDynamicIp);
    sharedLabel_ = Named(new QLabel(kIpLabel, this), kLoginSharedLabel);
    sharedEdit_ = Named(new QLineEdit(this), kLoginSharedEdit);
    portLabel_ = Named(new QLabel(QStringLiteral("Port:"), this), kLoginPortLabel);
    portEdit_ = Named(new QLineEdit(this), kLoginPortEdit);
    passwordEdit_ = Named(new QLineEdit(this), kLoginPasswordEdit);
    passwordEdit_->setEchoMode(QLineEdit::Password);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* login = buttons->addButton(QStringLiteral("Login"), QDialogButtonBox::AcceptRole);
    login->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LoginDialog::reject);
    connect(useDynamicIpBox_, &QCheckBox::clicked, this, &LoginDialog::OnDynamicIpClicked);

    auto* grid = new QGridLayout(this);
    grid->addWidget(useDynamicIpBox_, 0, 0, 1, 2);
    grid->addWidget(sharedLabel_, 1, 0);
    grid->addWidget(sharedEdit_, 1, 1);
    grid->addWidget(portLabel_, 2, 0);
    grid->addWidget(portEdit_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Password:"), this), 3, 0);
    grid->addWidget(passwordEdit_, 3, 1);
    grid->addWidget(buttons, 4, 0, 1, 2);
}

bool LoginDialog::Exchange(bool fromControls)
{
    if (!fromControls) {
        sharedEdit_->setText(QString::fromStdString(sharedText_));
        passwordEdit_->setText(QString::fromStdString(password_));
        useDynamicIpBox_->setChecked(useDynamicIp_ != 0);
        portEdit_->setText(QString::number(port_));
        return true;
    }
    bool ok = false;
    const int port = portEdit_->text().trimmed().toInt(&ok);
    if (!ok) {
        QMessageBox::warning(this, windowTitle(), QString::fromLatin1(kIntegerMessage));
        portEdit_->setFocus();
        portEdit_->selectAll();
        return false;
    }
    sharedText_ = sharedEdit_->text().toStdString();
    password_ = passwordEdit_->text().toStdString();
    useDynamicIp_ = useDynamicIpBox_->isChecked() ? 1 : 0;
    port_ = port;
    return true;
}

void LoginDialog::ApplyForm()
{
    if (useDynamicIp_ != 0) {
        sharedText_ = dvrName_;
        sharedLabel_->setText(kDvrLabel);
        portLabel_->hide();
        portEdit_->hide();
    } else {
        sharedText_ = recorderAddress_;
        sharedLabel_->setText(kIpLabel);
        portLabel_->show();
        portEdit_->show();
    }
}

void LoginDialog::Open()
{
    opened_ = true;
    Exchange(false);
    ApplyForm();
    Exchange(false);
}

void LoginDialog::showEvent(QShowEvent* event)
{
    if (!opened_) Open();
    QDialog::showEvent(event);
}

void LoginDialog::OnDynamicIpClicked()
{
    // Text typed into the shared edit is not kept: it shows the stored value of the new form.
    if (!Exchange(true)) {
        useDynamicIpBox_->setChecked(useDynamicIp_ != 0);
        return;
    }
    ApplyForm();
    Exchange(false);
}

bool LoginDialog::Login()
{
    if (!Exchange(true)) return false;
    if (useDynamicIp_ != 0) dvrName_ = sharedText_;
    else recorderAddress_ = sharedText_;
    return true;
}

void LoginDialog::accept()
{
    if (Login()) QDialog::accept();
}

}  // namespace tamlorex::app
