// The INI profile, the settings section and the command line.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app/command_line.h"
#include "app/ini_file.h"
#include "app/settings.h"

using namespace tamlorex::app;

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void defaultsOnFirstStart();
    void savingMakesTheFolderAndSaysWhenItCannot();
    void everyKeyRoundTripsInOrder();
    void keysAreWrittenByteForByte();
    void otherSectionsAndKeysStay();
    void unreadableIntegerReadsAsLeadingDigits();
    void quotedAndPaddedValues();
    void profileFileName();
    void commandLineOptions();
    void commandLineValuesAreCut();
    void commandLineAddressAlone();
    void commandLineHelpAndUnknownOptions();
};

void SettingsTest::defaultsOnFirstStart()
{
    IniFile ini;
    QVERIFY(!ini.Load("/nonexistent/folder/viewer.INI"));
    ViewerSettings s;
    s.Load(ini);
    QCOMPARE(s.videoWidth, 640);
    QCOMPARE(s.videoHeight, 448);
    QCOMPARE(s.showTime, 1);
    QCOMPARE(s.useDDraw, 1);
    QCOMPARE(s.volume, 32768);
    QCOMPARE(s.mute, 0);
    QCOMPARE(s.port, 8841);
    QCOMPARE(s.ddnsPort, 1800);
    QCOMPARE(s.timeout, 7);
    QCOMPARE(s.mouseMode, 1);
    QCOMPARE(s.dvrName, std::string("DVR000"));
    QCOMPARE(s.timeFormat, std::string("%Y/%m/%d %H:%M:%S"));
    QCOMPARE(s.capturePath, DefaultCaptureFolder());
    QVERIFY(s.capturePath.find("~") == std::string::npos);
    QVERIFY(s.capturePath.size() > 8 && s.capturePath.substr(s.capturePath.size() - 8) == "/Capture");
}

// A first run without ~/.config: the folder is made. A profile that cannot be written says why
// and the old one stays whole; a profile kept as a link is written where the link points.
void SettingsTest::savingMakesTheFolderAndSaysWhenItCannot()
{
    QTemporaryDir dir;
    IniFile ini;
    ViewerSettings::Defaults().Save(ini);
    const std::string fresh = dir.filePath("home/.config/tamlorex-viewer.INI").toStdString();
    std::string error;
    QVERIFY(ini.Save(fresh, &error));
    IniFile back;
    QVERIFY(back.Load(fresh));
    QCOMPARE(back.Text(), ini.Text());

    // A folder where the file should be: refused, nothing left behind.
    QVERIFY(QDir(dir.path()).mkpath("taken.INI"));
    QVERIFY(!ini.Save(dir.filePath("taken.INI").toStdString(), &error));
    QVERIFY(!error.empty());
    QCOMPARE(QDir(dir.path()).entryList({"taken.INI.*"}).size(), 0);
    // A file where the folder should be.
    QVERIFY(!ini.Save(fresh + "/x.INI", &error));

    const std::string target = dir.filePath("elsewhere.INI").toStdString();
    QVERIFY(QFile::link(QString::fromStdString(target), dir.filePath("linked.INI")));
    QVERIFY(ini.Save(dir.filePath("linked.INI").toStdString()));
    QVERIFY(QFileInfo(dir.filePath("linked.INI")).isSymLink());
    QVERIFY(back.Load(target));
}

void SettingsTest::everyKeyRoundTripsInOrder()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("viewer.INI").toStdString();
    ViewerSettings s = ViewerSettings::Defaults();
    s.capturePath = "/data/stills";
    s.alwaysOnTop = 1;
    s.showTime = 0;
    s.videoWidth = 800;
    s.videoHeight = 600;
    s.repeat = 1;
    s.timeFormat = "%d.%m.%Y %H:%M";
    s.volume = 1234;
    s.mute = 1;
    s.ipAddress = "10.1.2.3";
    s.port = 9000;
    s.dynamicIp = 1;
    s.useDDraw = 0;
    s.autoReconnection = 0;
    s.timeout = 0;
    s.ddnsIp = "10.9.9.9";
    s.ddnsPort = 1900;
    s.localRecordingPath = "/data/rec";
    s.dvrName = "SHOP01";
    s.mouseMode = 2;
    IniFile out;
    s.Save(out);
    QVERIFY(out.Save(path));

    IniFile in;
    QVERIFY(in.Load(path));
    ViewerSettings r;
    r.Load(in);
    QCOMPARE(r.capturePath, s.capturePath);
    QCOMPARE(r.alwaysOnTop, 1);
    QCOMPARE(r.showTime, 0);
    QCOMPARE(r.videoWidth, 800);
    QCOMPARE(r.videoHeight, 600);
    QCOMPARE(r.repeat, 1);
    QCOMPARE(r.timeFormat, s.timeFormat);
    QCOMPARE(r.volume, 1234);
    QCOMPARE(r.mute, 1);
    QCOMPARE(r.ipAddress, s.ipAddress);
    QCOMPARE(r.port, 9000);
    QCOMPARE(r.dynamicIp, 1);
    QCOMPARE(r.useDDraw, 0);
    QCOMPARE(r.autoReconnection, 0);
    QCOMPARE(r.timeout, 0);
    QCOMPARE(r.ddnsIp, s.ddnsIp);
    QCOMPARE(r.ddnsPort, 1900);
    QCOMPARE(r.localRecordingPath, s.localRecordingPath);
    QCOMPARE(r.dvrName, s.dvrName);
    QCOMPARE(r.mouseMode, 2);

    // The keys stand in the file in the order of the table.
    const QString text = QString::fromStdString(out.Text());
    const QStringList keys = {"Capture Path", "AlwaysOnTop", "Show Time", "Video Width", "Video Height", "Repeat",
                              "Time Format", "Volume", "Mute", "IP Address", "Port", "DynamicIp", "Use DDraw",
                              "Auto Reconnection", "Timeout", "Ddns Ip", "Ddns Port", "Local Recording Path",
                              "DvrName", "Enable && Hidden cusor on DVR side"};
    int at = text.indexOf("[Tamlorex Viewer]");
    QVERIFY(at >= 0);
    for (const QString& key : keys) {
        const int next = text.indexOf("\n" + key + "=", at);
        QVERIFY2(next > at, qPrintable(key));
        at = next;
    }
}

void SettingsTest::keysAreWrittenByteForByte()
{
    IniFile ini;
    ViewerSettings::Defaults().Save(ini);
    const std::string text = ini.Text();
    QVERIFY(text.find("\nEnable && Hidden cusor on DVR side=1\n") != std::string::npos);
    QVERIFY(text.find("\nVolume=32768\n") != std::string::npos);
    QVERIFY(text.find("\nTime Format=%Y/%m/%d %H:%M:%S\n") != std::string::npos);
}

void SettingsTest::otherSectionsAndKeysStay()
{
    IniFile ini;
    ini.Parse("; kept comment\n[Other]\nA=1\n[tamlorex viewer]\nvolume=5\nExtra=x\n");
    // Keys match without regard to case, and are then written as we name them.
    QCOMPARE(ini.GetInt(kSettingsSection, "Volume", 0), 5);
    ini.SetInt(kSettingsSection, "Volume", 7);
    ini.SetInt(kSettingsSection, "Mute", 1);
    const std::string text = ini.Text();
    QCOMPARE(text, std::string("; kept comment\n[Other]\nA=1\n[tamlorex viewer]\nVolume=7\nExtra=x\nMute=1\n"));
}

void SettingsTest::unreadableIntegerReadsAsLeadingDigits()
{
    QCOMPARE(IniFile::LeadingInt("42abc"), 42);
    QCOMPARE(IniFile::LeadingInt("abc"), 0);
    QCOMPARE(IniFile::LeadingInt(""), 0);
    QCOMPARE(IniFile::LeadingInt("  17 "), 17);
    QCOMPARE(IniFile::LeadingInt("99999999999"), 0x7FFFFFFF);
    IniFile ini;
    ini.Parse("[Tamlorex Viewer]\nVideo Width=800px\nPort=\nVolume=loud\n");
    ViewerSettings s;
    s.Load(ini);
    QCOMPARE(s.videoWidth, 800);
    QCOMPARE(s.port, 0);  // present but empty: 0, not the default
    QCOMPARE(s.volume, 0);
    QCOMPARE(s.videoHeight, 448);  // missing: the default
}

void SettingsTest::quotedAndPaddedValues()
{
    IniFile ini;
    ini.Parse("[Tamlorex Viewer]\r\nDvrName = \"My DVR\" \r\nCapture Path=  /tmp/x  \r\n");
    QCOMPARE(ini.GetString(kSettingsSection, "DvrName", ""), std::string("My DVR"));
    QCOMPARE(ini.GetString(kSettingsSection, "Capture Path", ""), std::string("/tmp/x"));
}

void SettingsTest::profileFileName()
{
    qputenv("XDG_CONFIG_HOME", "/cfg");
    QCOMPARE(SettingsFilePath("/usr/bin/tamlorex-viewer", ""), std::string("/cfg/tamlorex-viewer.INI"));
    QCOMPARE(SettingsFilePath("./viewer.bin", ""), std::string("/cfg/viewer.INI"));
    QCOMPARE(SettingsFilePath("/usr/bin/tamlorex-viewer", "/tmp/mine.ini"), std::string("/tmp/mine.ini"));
    qputenv("XDG_CONFIG_HOME", "");
    qputenv("HOME", "/home/someone");
    QCOMPARE(SettingsFilePath("tamlorex-viewer", ""), std::string("/home/someone/.config/tamlorex-viewer.INI"));
}

void SettingsTest::commandLineOptions()
{
    const CommandLine line = ParseCommandLine({"/IP:10.0.0.5", "/data/a.vvf", "/PORT:8841", "/data/b.vvf"});
    QCOMPARE(line.path, std::string("/data/a.vvf"));
    QCOMPARE(line.address, std::string("10.0.0.5"));
    QCOMPARE(line.port, std::string("8841"));
    QVERIFY(line.AutoConnect());
    const CommandLine config = ParseCommandLine({"--config", "/tmp/v.ini", "rec.vvf"});
    QCOMPARE(config.configPath, std::string("/tmp/v.ini"));
    QCOMPARE(config.path, std::string("rec.vvf"));
}

void SettingsTest::commandLineValuesAreCut()
{
    const std::string longName(40, 'a');
    const CommandLine line = ParseCommandLine({"/IP:" + longName, "/PORT:" + std::string(35, '1')});
    QCOMPARE(line.address, std::string(31, 'a'));
    QCOMPARE(line.port, std::string(31, '1'));
}

void SettingsTest::commandLineAddressAlone()
{
    const CommandLine line = ParseCommandLine({"/IP:10.0.0.5"});
    QVERIFY(!line.AutoConnect());
    QVERIFY(line.path.empty());
    QVERIFY(!ParseCommandLine({"/IP:10.0.0.5", "/PORT:"}).AutoConnect());
}

void SettingsTest::commandLineHelpAndUnknownOptions()
{
    QVERIFY(ParseCommandLine({"--help"}).help);
    const CommandLine shortHelp = ParseCommandLine({"rec.vvf", "-h"});
    QVERIFY(shortHelp.help);
    QVERIFY(shortHelp.error.empty());
    QVERIFY(!ParseCommandLine({"rec.vvf", "/IP:10.0.0.5", "/PORT:8841", "--config", "v.ini"}).help);

    const CommandLine unknown = ParseCommandLine({"--x", "rec.vvf", "-y"});
    QCOMPARE(unknown.error, std::string("tamlorex-viewer: unknown option \"--x\"; see tamlorex-viewer --help"));
    QCOMPARE(unknown.path, std::string("rec.vvf"));
    QVERIFY(!unknown.help);
    // --config without its file is refused, not taken for a recording.
    const CommandLine config = ParseCommandLine({"--config"});
    QVERIFY(!config.error.empty());
    QVERIFY(config.path.empty());
    QVERIFY(config.configPath.empty());

    // --version starts nothing either, wherever it stands; "-v" is no short form of it.
    const CommandLine version = ParseCommandLine({"rec.vvf", "--version"});
    QVERIFY(version.version);
    QVERIFY(version.error.empty());
    QVERIFY(!version.help);
    QVERIFY(!ParseCommandLine({"rec.vvf"}).version);
    QVERIFY(!ParseCommandLine({"-v"}).error.empty());
    QVERIFY(QRegularExpression("^tamlorex-viewer [0-9]+\\.[0-9]+\\.[0-9]+\n$").match(QString::fromStdString(ViewerVersion())).hasMatch());

    const std::string usage = ViewerUsage();
    QCOMPARE(usage.rfind("usage: tamlorex-viewer [RECORDING] [/IP:ADDRESS /PORT:N] [--config FILE]\n", 0), std::size_t{0});
    QVERIFY(usage.find("--version") != std::string::npos);
    QCOMPARE(usage.back(), '\n');
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
