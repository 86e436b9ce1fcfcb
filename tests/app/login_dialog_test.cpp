// The login dialog's own rules: the shared field, the check box and what "Login" stores.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/fake_prompts.h"
#include "app/login_dialog.h"

using namespace tamlorex::app;

namespace {

using test::Find;

void Prepare(LoginDialog& dialog, bool dynamicIp)
{
    dialog.SetRecorderAddress("10.0.0.7");
    dialog.SetDvrName("SHOP01");
    dialog.SetUseDynamicIp(dynamicIp);
    dialog.SetPort(8841);
    dialog.Open();
}

}  // namespace

class LoginDialogTest : public QObject {
    Q_OBJECT
private slots:
    void directFormShowsAddressAndPort();
    void dynamicFormShowsNameWithoutPort();
    void tickingDropsTypedAddress();
    void untickingShowsStoredAddress();
    void dynamicLoginChangesOnlyTheName();
    void largePortIsAccepted();
    void passwordIsMasked();
};

void LoginDialogTest::directFormShowsAddressAndPort()
{
    LoginDialog dialog;
    Prepare(dialog, false);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Login"));
    QCOMPARE(Find<QLabel>(dialog, kLoginSharedLabel)->text(), QStringLiteral("IP address:"));
    QCOMPARE(Find<QLineEdit>(dialog, kLoginSharedEdit)->text(), QStringLiteral("10.0.0.7"));
    QCOMPARE(Find<QLineEdit>(dialog, kLoginPortEdit)->text(), QStringLiteral("8841"));
    QVERIFY(!Find<QLineEdit>(dialog, kLoginPortEdit)->isHidden());
    QVERIFY(!Find<QCheckBox>(dialog, kLoginUseDynamicIp)->isChecked());
}

void LoginDialogTest::dynamicFormShowsNameWithoutPort()
{
    LoginDialog dialog;
    Prepare(dialog, true);
    QCOMPARE(Find<QLabel>(dialog, kLoginSharedLabel)->text(), QStringLiteral("Select DVR"));
    QCOMPARE(Find<QLineEdit>(dialog, kLoginSharedEdit)->text(), QStringLiteral("SHOP01"));
    QVERIFY(Find<QLineEdit>(dialog, kLoginPortEdit)->isHidden());
    QVERIFY(Find<QLabel>(dialog, kLoginPortLabel)->isHidden());
    QVERIFY(Find<QCheckBox>(dialog, kLoginUseDynamicIp)->isChecked());
}

void LoginDialogTest::tickingDropsTypedAddress()
{
    LoginDialog dialog;
    Prepare(dialog, false);
    Find<QLineEdit>(dialog, kLoginSharedEdit)->setText(QStringLiteral("10.9.9.9"));
    Find<QCheckBox>(dialog, kLoginUseDynamicIp)->click();
    QCOMPARE(Find<QLineEdit>(dialog, kLoginSharedEdit)->text(), QStringLiteral("SHOP01"));
    QCOMPARE(Find<QLabel>(dialog, kLoginSharedLabel)->text(), QStringLiteral("Select DVR"));
    QVERIFY(dialog.Login());
    QCOMPARE(dialog.RecorderAddress(), std::string("10.0.0.7"));
    QCOMPARE(dialog.DvrName(), std::string("SHOP01"));
    QVERIFY(dialog.UseDynamicIp());
}

void LoginDialogTest::untickingShowsStoredAddress()
{
    LoginDialog dialog;
    Prepare(dialog, true);
    Find<QLineEdit>(dialog, kLoginSharedEdit)->setText(QStringLiteral("OTHER"));
    Find<QCheckBox>(dialog, kLoginUseDynamicIp)->click();
    QCOMPARE(Find<QLineEdit>(dialog, kLoginSharedEdit)->text(), QStringLiteral("10.0.0.7"));
    QVERIFY(!Find<QLineEdit>(dialog, kLoginPortEdit)->isHidden());
    QVERIFY(dialog.Login());
    QCOMPARE(dialog.DvrName(), std::string("SHOP01"));
    QVERIFY(!dialog.UseDynamicIp());
}

void LoginDialogTest::dynamicLoginChangesOnlyTheName()
{
    LoginDialog dialog;
    Prepare(dialog, true);
    Find<QLineEdit>(dialog, kLoginSharedEdit)->setText(QStringLiteral("SHOP02"));
    Find<QLineEdit>(dialog, kLoginPasswordEdit)->setText(QStringLiteral("secret"));
    QVERIFY(dialog.Login());
    QCOMPARE(dialog.DvrName(), std::string("SHOP02"));
    QCOMPARE(dialog.RecorderAddress(), std::string("10.0.0.7"));
    QCOMPARE(dialog.Password(), std::string("secret"));
    QCOMPARE(dialog.Port(), 8841);
}

void LoginDialogTest::largePortIsAccepted()
{
    LoginDialog dialog;
    Prepare(dialog, false);
    Find<QLineEdit>(dialog, kLoginPortEdit)->setText(QStringLiteral("70000"));
    Find<QLineEdit>(dialog, kLoginSharedEdit)->setText(QStringLiteral("dvr.example"));
    QVERIFY(dialog.Login());
    QCOMPARE(dialog.Port(), 70000);
    QCOMPARE(dialog.RecorderAddress(), std::string("dvr.example"));
    QCOMPARE(dialog.DvrName(), std::string("SHOP01"));
}

void LoginDialogTest::passwordIsMasked()
{
    LoginDialog dialog;
    Prepare(dialog, false);
    QCOMPARE(Find<QLineEdit>(dialog, kLoginPasswordEdit)->echoMode(), QLineEdit::Password);
    QVERIFY(Find<QLineEdit>(dialog, kLoginPasswordEdit)->text().isEmpty());
}

QTEST_MAIN(LoginDialogTest)
#include "login_dialog_test.moc"
