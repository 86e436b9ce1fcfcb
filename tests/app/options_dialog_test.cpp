// The Options and Network Options dialogs: values in and out, the time-format preview, the
// integer fields, Cancel, and "Browse..." through the folder chooser.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include "app/fake_prompts.h"
#include "app/folder_chooser.h"
#include "app/network_options_dialog.h"
#include "app/options_dialog.h"
#include "app/user_prompts.h"

using namespace tamlorex::app;

namespace {

// Answers the folder chooser with `folder` (or cancels it when empty).
class Prompts : public test::FakePrompts {
public:
    Prompts() { yes = false; }
    bool RunDialog(QDialog& dialog) override
    {
        auto* chooser = qobject_cast<FolderChooser*>(&dialog);
        if (chooser == nullptr) qFatal("not the folder chooser");
        auto* edit = chooser->findChild<QLineEdit*>(QString::number(kFolderEdit));
        chooserStart = edit->text();
        if (folder.isEmpty()) return false;
        edit->setText(folder);
        chooser->accept();
        return chooser->result() == QDialog::Accepted;
    }

    QString folder;
    QString chooserStart;
};

using test::Find;

OptionsValues SomeOptions()
{
    OptionsValues v;
    v.alwaysOnTop = true;
    v.showTime = false;
    v.repeat = true;
    v.useDirectDraw = false;
    v.timeFormat = "%y/%m/%d %H:%M:%S";
    v.capturePath = "/srv/stills";
    return v;
}

NetworkOptionsValues SomeNetworkOptions()
{
    NetworkOptionsValues v;
    v.alwaysOnTop = false;
    v.useDirectDraw = true;
    v.autoReconnection = false;
    v.timeoutSeconds = 9;
    v.ddnsAddress = "10.1.2.3";
    v.ddnsPort = 1801;
    v.recordingPath = "/srv/rec";
    v.mouseMode = 1;
    return v;
}

bool Same(const OptionsValues& a, const OptionsValues& b)
{
    return a.alwaysOnTop == b.alwaysOnTop && a.showTime == b.showTime && a.repeat == b.repeat &&
           a.useDirectDraw == b.useDirectDraw && a.timeFormat == b.timeFormat && a.capturePath == b.capturePath;
}

bool Same(const NetworkOptionsValues& a, const NetworkOptionsValues& b)
{
    return a.alwaysOnTop == b.alwaysOnTop && a.useDirectDraw == b.useDirectDraw &&
           a.autoReconnection == b.autoReconnection && a.timeoutSeconds == b.timeoutSeconds &&
           a.ddnsAddress == b.ddnsAddress && a.ddnsPort == b.ddnsPort && a.recordingPath == b.recordingPath &&
           a.mouseMode == b.mouseMode;
}

}  // namespace

class OptionsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void previewFollowsTheFormat();
    void okStoresTheControls();
    void cancelKeepsEveryValue();
    void browseReplacesOnlyThePath();
    void integerFieldsRefuseText();
};

void OptionsDialogTest::previewFollowsTheFormat()
{
    Prompts prompts;
    OptionsDialog dialog(prompts);
    dialog.SetValues(SomeOptions());
    auto* combo = Find<QComboBox>(dialog, kOptTimeFormat);
    auto* preview = Find<QLabel>(dialog, kOptTimePreview);
    QVERIFY(QRegularExpression("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(preview->text()).hasMatch());

    combo->setEditText(QStringLiteral("%H:%M"));
    QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d$").match(preview->text()).hasMatch(), qPrintable(preview->text()));
    combo->setCurrentIndex(4);  // "%b %d %H:%M:%S %Y"
    QVERIFY2(QRegularExpression("^\\w{3} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}$").match(preview->text()).hasMatch(),
             qPrintable(preview->text()));
    combo->setEditText(QString(kMaxPreviewChars + 1, QLatin1Char('x')));
    QVERIFY(preview->text().isEmpty());
    combo->setEditText(QString(kMaxPreviewChars, QLatin1Char('x')));
    QCOMPARE(preview->text().size(), qsizetype(kMaxPreviewChars));
}

void OptionsDialogTest::okStoresTheControls()
{
    Prompts prompts;
    OptionsDialog dialog(prompts);
    dialog.SetValues(SomeOptions());
    QVERIFY(Find<QCheckBox>(dialog, kOptAlwaysOnTop)->isChecked());
    QVERIFY(!Find<QCheckBox>(dialog, kOptShowTime)->isChecked());
    Find<QCheckBox>(dialog, kOptShowTime)->click();
    Find<QCheckBox>(dialog, kOptRepeat)->click();
    Find<QComboBox>(dialog, kOptTimeFormat)->setEditText(QStringLiteral("%H:%M"));
    Find<QLineEdit>(dialog, kOptCapturePath)->setText(QStringLiteral("not/checked"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    OptionsValues want = SomeOptions();
    want.showTime = true;
    want.repeat = false;
    want.timeFormat = "%H:%M";
    want.capturePath = "not/checked";
    QVERIFY(Same(dialog.Values(), want));

    NetworkOptionsDialog network(prompts);
    network.SetValues(SomeNetworkOptions());
    QVERIFY(Find<QRadioButton>(network, 1742)->isChecked());
    Find<QRadioButton>(network, 1743)->click();
    Find<QCheckBox>(network, kNetOptAutoReconnection)->click();
    Find<QCheckBox>(network, kOptRepeat)->click();  // bound to nothing
    Find<QLineEdit>(network, kNetOptTimeout)->setText(QStringLiteral(" 0 "));
    Find<QLineEdit>(network, kNetOptDdnsPort)->setText(QStringLiteral("2000"));
    Find<QLineEdit>(network, kNetOptDdnsAddress)->setText(QStringLiteral("lookup.example"));
    network.accept();
    QCOMPARE(network.result(), int(QDialog::Accepted));
    NetworkOptionsValues netWant = SomeNetworkOptions();
    netWant.mouseMode = 2;
    netWant.autoReconnection = true;
    netWant.timeoutSeconds = 0;
    netWant.ddnsPort = 2000;
    netWant.ddnsAddress = "lookup.example";
    QVERIFY(Same(network.Values(), netWant));
    QVERIFY(prompts.messages.empty());
}

void OptionsDialogTest::cancelKeepsEveryValue()
{
    Prompts prompts;
    OptionsDialog dialog(prompts);
    dialog.SetValues(SomeOptions());
    Find<QCheckBox>(dialog, kOptAlwaysOnTop)->click();
    Find<QComboBox>(dialog, kOptTimeFormat)->setCurrentIndex(0);
    Find<QLineEdit>(dialog, kOptCapturePath)->setText(QStringLiteral("/elsewhere"));
    dialog.reject();
    QVERIFY(Same(dialog.Values(), SomeOptions()));

    NetworkOptionsDialog network(prompts);
    network.SetValues(SomeNetworkOptions());
    Find<QCheckBox>(network, kOptAlwaysOnTop)->click();
    Find<QRadioButton>(network, kNetOptMouseDisable)->click();
    Find<QLineEdit>(network, kNetOptTimeout)->setText(QStringLiteral("30"));
    network.reject();
    QVERIFY(Same(network.Values(), SomeNetworkOptions()));
}

void OptionsDialogTest::browseReplacesOnlyThePath()
{
    QTemporaryDir dir;
    Prompts prompts;
    OptionsDialog dialog(prompts);
    dialog.SetValues(SomeOptions());
    Find<QCheckBox>(dialog, kOptShowTime)->click();
    Find<QLineEdit>(dialog, kOptCapturePath)->setText(dir.path());

    prompts.folder.clear();  // the chooser is cancelled: the field stays
    Find<QPushButton>(dialog, kOptBrowse)->click();
    QCOMPARE(prompts.chooserStart, dir.path());
    QCOMPARE(Find<QLineEdit>(dialog, kOptCapturePath)->text(), dir.path());

    prompts.folder = dir.path() + "/stills";
    QVERIFY(QDir().mkpath(prompts.folder));
    Find<QPushButton>(dialog, kOptBrowse)->click();
    QCOMPARE(Find<QLineEdit>(dialog, kOptCapturePath)->text(), prompts.folder);
    QVERIFY(Find<QCheckBox>(dialog, kOptShowTime)->isChecked());

    NetworkOptionsDialog network(prompts);
    network.SetValues(SomeNetworkOptions());
    Find<QLineEdit>(network, kNetOptTimeout)->setText(QStringLiteral("11"));
    Find<QPushButton>(network, kOptBrowse)->click();
    QCOMPARE(prompts.chooserStart, QStringLiteral("/srv/rec"));
    QCOMPARE(Find<QLineEdit>(network, kNetOptRecordingPath)->text(), prompts.folder);
    QCOMPARE(Find<QLineEdit>(network, kNetOptTimeout)->text(), QStringLiteral("11"));
}

void OptionsDialogTest::integerFieldsRefuseText()
{
    Prompts prompts;
    NetworkOptionsDialog network(prompts);
    network.SetValues(SomeNetworkOptions());
    auto* timeout = Find<QLineEdit>(network, kNetOptTimeout);
    auto* port = Find<QLineEdit>(network, kNetOptDdnsPort);
    timeout->setText(QStringLiteral("abc"));
    Find<QCheckBox>(network, kOptAlwaysOnTop)->click();
    network.accept();
    QCOMPARE(network.result(), int(QDialog::Rejected));
    QCOMPARE(timeout->selectedText(), QStringLiteral("abc"));

    timeout->setText(QStringLiteral("5"));
    port->setText(QStringLiteral("18x0"));
    network.accept();
    QCOMPARE(network.result(), int(QDialog::Rejected));
    QCOMPARE(port->selectedText(), QStringLiteral("18x0"));
    QCOMPARE(prompts.messages, (std::vector<std::string>{"Please enter an integer.", "Please enter an integer."}));
    QVERIFY(Same(network.Values(), SomeNetworkOptions()));
}

QTEST_MAIN(OptionsDialogTest)
#include "options_dialog_test.moc"
