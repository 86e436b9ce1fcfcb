// The Export To AVI dialog and the compressor choice: the export of a recording's channels through
// the dialog, Cancel in the choice, and a stop in the middle of an export.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

#include "app/compressor_dialog.h"
#include "app/export_dialog.h"
#include "app/fake_prompts.h"
#include "app/user_prompts.h"
#include "export/compress_options.h"

using namespace tamlorex;
using namespace tamlorex::app;

namespace {

// Answers the compressor choice through `onCompressor` (Cancel without one).
class Prompts : public test::FakePrompts {
public:
    Prompts() { yes = false; }
    bool RunDialog(QDialog& dialog) override
    {
        auto* choice = qobject_cast<CompressorDialog*>(&dialog);
        if (choice == nullptr) qFatal("not the compressor choice");
        ++choices;
        return onCompressor && onCompressor(*choice);
    }

    int choices = 0;
    std::function<bool(CompressorDialog&)> onCompressor;
};

using test::Find;

template <typename W>
W* Find(QWidget& parent, const char* name)
{
    W* widget = parent.findChild<W*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget;
}

// Picks `handler` in the choice; false when the list lacks it.
bool Pick(CompressorDialog& dialog, const std::string& handler)
{
    const std::vector<Compressor>& list = ListCompressors();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].handler != handler) continue;
        Find<QComboBox>(dialog, kCompressorList)->setCurrentIndex(static_cast<int>(i));
        return true;
    }
    return false;
}

// Makes a recording of model type 4; the number of pictures it holds in `pictures`.
bool MakeSample(const QString& path, int channels, int seconds, int* pictures = nullptr)
{
    QProcess sim;
    sim.start(TAMLOREX_SIM_PATH, {"make-sample", path, "--channels", QString::number(channels), "--seconds",
                                  QString::number(seconds), "--model", "4"});
    if (!sim.waitForFinished(30000) || sim.exitCode() != 0) return false;
    // "...: model 4, 2 channels, 20.0 s, 640x224, 301 pictures (...), ..."
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("(\\d+) pictures")).match(QString::fromUtf8(sim.readAllStandardOutput()));
    if (pictures) *pictures = match.hasMatch() ? match.captured(1).toInt() : 0;
    return true;
}

// ffprobe's csv lines for the given stream entries of the file; with `video`, of its video only.
QString Probe(const QString& path, const QString& entries, bool video = false)
{
    QProcess probe;
    QStringList args{"-v", "error"};
    if (video) args << "-count_frames" << "-select_streams" << "v";
    args << "-show_entries" << entries << "-of" << "csv=p=0" << path;
    probe.start("ffprobe", args);
    if (!probe.waitForFinished(30000)) return {};
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

// The whole file decodes without a complaint.
bool ReadsCleanly(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return false;
    return ffmpeg.readAllStandardError().trimmed().isEmpty();
}

bool Contains(const std::vector<std::string>& list, const std::string& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

class ExportDialogTest : public QObject {
    Q_OBJECT
private slots:
    void exportWritesAPlayableFilePerChosenChannel();
    void compressorChoice();
    void stopDuringExportLeavesReadableFiles();
    void marksAndMosaicMakeOneMp4OfTheSpan();
};

void ExportDialogTest::exportWritesAPlayableFilePerChosenChannel()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("rec.vvf");
    QVERIFY(MakeSample(source, 3, 4));
    Prompts prompts;
    ExportDialog dialog(nullptr, prompts, source.toStdString(), false);

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Export To AVI"));
    for (int c = 1; c <= 16; ++c) {
        auto* box = Find<QCheckBox>(dialog, ExportChannelBoxId(c));
        QCOMPARE(box->isChecked(), c <= 8);
        QCOMPARE(box->isHidden(), c > 8);
    }
    QVERIFY(Find<QCheckBox>(dialog, kExportAudioBox)->isChecked());
    QCOMPARE(Find<QLineEdit>(dialog, kExportInputEdit)->text(), source);
    QCOMPARE(Find<QLineEdit>(dialog, kExportOutputEdit)->text(), dir.filePath("rec.AVI"));
    QCOMPARE(Find<QLabel>(dialog, kExportPercent)->text(), QStringLiteral("0%"));
    auto* ok = Find<QPushButton>(dialog, kExportOk);
    QVERIFY(!ok->isEnabled());

    // A recorder's disk is offered as the input, but suggests no output beside the device.
    {
        ExportDialog driveDialog(nullptr, prompts, "/dev/sdz", true);
        QCOMPARE(Find<QLineEdit>(driveDialog, kExportInputEdit)->text(), QStringLiteral("/dev/sdz"));
        QVERIFY(Find<QLineEdit>(driveDialog, kExportOutputEdit)->text().isEmpty());
    }

    prompts.onCompressor = [](CompressorDialog& choice) {
        // The export's choice has no key-frame or data-rate fields.
        if (!Find<QSpinBox>(choice, kCompressorKeyFrames)->isHidden()) return false;
        if (!Pick(choice, "mjpeg")) return false;
        Find<QSpinBox>(choice, kCompressorQuality)->setValue(80);
        return true;
    };
    Find<QPushButton>(dialog, kExportSelect)->click();
    QCOMPARE(GetCompressOptions().handler, std::string("mjpeg"));
    QCOMPARE(GetCompressOptions().quality, 8000);
    QCOMPARE(Find<QLineEdit>(dialog, kExportCompressionEdit)->text().toStdString(), DescribeCompressor());
    QVERIFY(!DescribeCompressor().empty());
    QVERIFY(ok->isEnabled());

    // An output whose channel name is the input itself is refused; the recording stays.
    const QString named = dir.filePath("cam-CH1.vvf");
    QVERIFY(QFile::copy(source, named));
    Find<QLineEdit>(dialog, kExportInputEdit)->setText(named);
    Find<QLineEdit>(dialog, kExportOutputEdit)->setText(dir.filePath("cam.vvf"));
    ok->click();
    QVERIFY(!dialog.Busy());
    QCOMPARE(prompts.messages.size(), std::size_t{1});
    QVERIFY(prompts.messages[0].find("is the recording itself") != std::string::npos);
    QCOMPARE(QFileInfo(named).size(), QFileInfo(source).size());
    prompts.messages.clear();

    const QString output = dir.filePath("out.avi");
    Find<QLineEdit>(dialog, kExportInputEdit)->setText(source);
    Find<QLineEdit>(dialog, kExportOutputEdit)->setText(output);
    Find<QCheckBox>(dialog, ExportChannelBoxId(2))->setChecked(false);
    ok->click();
    // The counting pass runs off the dialog's thread: the click returns while it counts.
    QVERIFY(dialog.Busy());
    QCOMPARE(Find<QLabel>(dialog, kExportPercent)->text(), QStringLiteral("Counting..."));
    QVERIFY(!Find<QPushButton>(dialog, kExportSelect)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(Contains(prompts.messages, "Export Complete"), 60000);
    QCOMPARE(prompts.messages, std::vector<std::string>{"Export Complete"});
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.Busy());
    QVERIFY(!Find<QLabel>(dialog, kExportPicture)->pixmap().isNull());

    // Channels 1 and 3, each with its pictures and the sound; no file for the unchecked channel
    // nor for the checked channels the recording lacks.
    for (const char* name : {"out-CH1.avi", "out-CH3.avi"}) {
        const QString file = dir.filePath(name);
        const QString video = Probe(file, "stream=codec_name,width,height,nb_read_frames", true);
        const QStringList fields = video.split(',');
        QVERIFY2(fields.size() == 4, qPrintable(video));
        QCOMPARE(fields[0], QStringLiteral("mjpeg"));
        QCOMPARE(fields[1], QStringLiteral("640"));
        QCOMPARE(fields[2], QStringLiteral("448"));
        QVERIFY2(fields[3].toInt() > 0, qPrintable(video));
        QVERIFY2(Probe(file, "stream=codec_type").contains("audio"), name);
        QVERIFY(ReadsCleanly(file));
    }
    for (const char* name : {"out-CH2.avi", "out-CH4.avi"}) QVERIFY2(!QFileInfo::exists(dir.filePath(name)), name);
}

void ExportDialogTest::compressorChoice()
{
    Prompts prompts;
    CompressOptions given;
    given.type = "vids";
    given.handler = "mpeg4";
    given.keyFrameEvery = 7;
    given.quality = 5000;
    given.bytesPerSecond = 2048 * 1024;

    // Cancel: the options stay as they were, whatever was changed in the dialog.
    QString preselected;
    int quality = 0, keyFrames = 0, dataRate = 0;
    prompts.onCompressor = [&](CompressorDialog& choice) {
        preselected = Find<QComboBox>(choice, kCompressorList)->currentText();
        quality = Find<QSpinBox>(choice, kCompressorQuality)->value();
        keyFrames = Find<QSpinBox>(choice, kCompressorKeyFrames)->value();
        dataRate = Find<QSpinBox>(choice, kCompressorDataRate)->value();
        Pick(choice, kUncompressedHandler);
        Find<QCheckBox>(choice, kCompressorKeyFrameBox)->setChecked(false);
        return false;
    };
    CompressOptions options = given;
    QVERIFY(!RunCompressorChoice(nullptr, prompts, options, true));
    QCOMPARE(options.handler, given.handler);
    QCOMPARE(options.keyFrameEvery, given.keyFrameEvery);
    QCOMPARE(options.quality, given.quality);
    QCOMPARE(options.bytesPerSecond, given.bytesPerSecond);
    std::string mpeg4;
    for (const Compressor& c : ListCompressors())
        if (c.handler == "mpeg4") mpeg4 = c.description;
    QVERIFY(!mpeg4.empty());
    QCOMPARE(preselected.toStdString(), mpeg4);
    QCOMPARE(quality, 50);
    QCOMPARE(keyFrames, 7);
    QCOMPARE(dataRate, 2048);

    // OK fills in what the chosen compressor uses.
    prompts.onCompressor = [](CompressorDialog& choice) {
        Find<QSpinBox>(choice, kCompressorQuality)->setValue(30);
        Find<QSpinBox>(choice, kCompressorKeyFrames)->setValue(12);
        Find<QCheckBox>(choice, kCompressorDataRateBox)->setChecked(false);
        return true;
    };
    QVERIFY(RunCompressorChoice(nullptr, prompts, options, true));
    QCOMPARE(options.handler, std::string("mpeg4"));
    QCOMPARE(options.quality, 3000);
    QCOMPARE(options.keyFrameEvery, 12u);
    QCOMPARE(options.bytesPerSecond, 0u);

    // A name the list lacks preselects "DIB ", which has nothing to set; without the key-frame
    // and data-rate fields their values stay.
    options = given;
    options.handler = "no-such-encoder";
    bool qualityEnabled = true;
    prompts.onCompressor = [&](CompressorDialog& choice) {
        preselected = QString::fromStdString(choice.Selected() ? choice.Selected()->handler : "");
        qualityEnabled = Find<QSpinBox>(choice, kCompressorQuality)->isEnabled();
        return true;
    };
    QVERIFY(RunCompressorChoice(nullptr, prompts, options, false));
    QCOMPARE(preselected, QStringLiteral("DIB "));
    QVERIFY(!qualityEnabled);
    QCOMPARE(options.handler, std::string("DIB "));
    QCOMPARE(options.keyFrameEvery, 7u);
    QCOMPARE(options.bytesPerSecond, given.bytesPerSecond);

    // Cleared options ("Save AVI"'s choice names nothing yet) preselect "DIB ".
    CompressOptions cleared;
    prompts.onCompressor = [&](CompressorDialog& choice) {
        preselected = QString::fromStdString(choice.Selected() ? choice.Selected()->handler : "");
        return Pick(choice, "mjpeg");
    };
    QVERIFY(RunCompressorChoice(nullptr, prompts, cleared, true));
    QCOMPARE(preselected, QStringLiteral("DIB "));
    QCOMPARE(cleared.handler, std::string("mjpeg"));

    // Cancel in the dialog's "Select...": nothing chosen, OK stays disabled.
    ResetCompressOptions();
    ExportDialog dialog(nullptr, prompts, "/tmp/rec.vvf", false);
    prompts.onCompressor = [](CompressorDialog& choice) { return !Pick(choice, "mjpeg"); };
    const int before = prompts.choices;
    Find<QPushButton>(dialog, kExportSelect)->click();
    QCOMPARE(prompts.choices, before + 1);
    QCOMPARE(GetCompressOptions().handler, std::string("DIB "));
    QVERIFY(Find<QLineEdit>(dialog, kExportCompressionEdit)->text().isEmpty());
    QVERIFY(!Find<QPushButton>(dialog, kExportOk)->isEnabled());
}

void ExportDialogTest::stopDuringExportLeavesReadableFiles()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("long.vvf");
    int pictures = 0;
    QVERIFY(MakeSample(source, 2, 20, &pictures));
    QVERIFY(pictures > 100);
    Prompts prompts;
    ExportDialog dialog(nullptr, prompts, source.toStdString(), false);
    prompts.onCompressor = [](CompressorDialog&) { return true; };  // confirms "DIB "
    Find<QPushButton>(dialog, kExportSelect)->click();
    QCOMPARE(GetCompressOptions().handler, std::string("DIB "));
    auto* ok = Find<QPushButton>(dialog, kExportOk);
    auto* cancel = Find<QPushButton>(dialog, kExportCancel);

    // Cancel while counting: the dialog closes when the count ends, and the files it made,
    // which hold nothing yet, are gone.
    {
        Prompts early;
        early.onCompressor = prompts.onCompressor;
        ExportDialog counting(nullptr, early, source.toStdString(), false);
        Find<QPushButton>(counting, kExportSelect)->click();
        Find<QLineEdit>(counting, kExportOutputEdit)->setText(dir.filePath("early.avi"));
        Find<QPushButton>(counting, kExportOk)->click();
        QVERIFY(counting.Busy());
        Find<QPushButton>(counting, kExportCancel)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!counting.Busy(), 30000);
        QCOMPARE(counting.result(), int(QDialog::Rejected));
        QVERIFY(early.messages.empty());
        QVERIFY(!QFileInfo::exists(dir.filePath("early-CH1.avi")));
        QVERIFY(!QFileInfo::exists(dir.filePath("early-CH2.avi")));
    }

    const QString output = dir.filePath("cut.avi");
    Find<QLineEdit>(dialog, kExportOutputEdit)->setText(output);
    ok->click();
    // Stop once pictures are being written.
    QTRY_VERIFY_WITH_TIMEOUT(!Find<QLabel>(dialog, kExportPicture)->pixmap().isNull(), 30000);
    QVERIFY(dialog.Busy());
    cancel->click();
    QVERIFY(!dialog.Busy());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(prompts.messages.empty());

    for (const char* name : {"cut-CH1.avi", "cut-CH2.avi"}) {
        const QString file = dir.filePath(name);
        QVERIFY2(QFileInfo::exists(file), name);
        QVERIFY2(ReadsCleanly(file), name);
    }
    const QString video = Probe(dir.filePath("cut-CH1.avi"), "stream=codec_name,nb_read_frames", true);
    const QStringList fields = video.split(',');
    QVERIFY2(fields.size() == 2 && fields[0] == "rawvideo", qPrintable(video));
    // Some pictures, far fewer than the channel's share of the recording.
    QVERIFY2(fields[1].toInt() > 0 && fields[1].toInt() < pictures / 4, qPrintable(video));
}

void ExportDialogTest::marksAndMosaicMakeOneMp4OfTheSpan()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("rec.vvf");
    int pictures = 0;
    QVERIFY(MakeSample(source, 3, 6, &pictures));
    Prompts prompts;
    ExportDialog dialog(nullptr, prompts, source.toStdString(), false);
    auto* marks = Find<QCheckBox>(dialog, kExportMarksBox);
    QCOMPARE(marks->text(), QStringLiteral("Only between the marks"));
    QVERIFY(!marks->isEnabled());
    dialog.SetMarks(500, 500);  // no span
    QVERIFY(!marks->isEnabled());
    const qint64 size = QFileInfo(source).size();
    dialog.SetMarks(static_cast<std::uint64_t>(size / 4), static_cast<std::uint64_t>(size * 3 / 4));
    QVERIFY(marks->isEnabled());
    QVERIFY(marks->isChecked());

    prompts.onCompressor = [](CompressorDialog& choice) { return Pick(choice, kUncompressedHandler); };
    Find<QPushButton>(dialog, kExportSelect)->click();
    Find<QCheckBox>(dialog, kExportMosaicBox)->setChecked(true);
    const QString output = dir.filePath("grid.mp4");
    Find<QLineEdit>(dialog, kExportOutputEdit)->setText(output);
    Find<QPushButton>(dialog, kExportOk)->click();
    QTRY_VERIFY_WITH_TIMEOUT(Contains(prompts.messages, "Export Complete"), 60000);
    QCOMPARE(prompts.messages, std::vector<std::string>{"Export Complete"});

    // One file of the three channels side by side, H.264 in MP4, with about half the pictures.
    QVERIFY(!QFileInfo::exists(dir.filePath("grid-CH1.mp4")));
    const QStringList fields = Probe(output, "stream=codec_name,width,height,nb_read_frames", true).split(',');
    QVERIFY2(fields.size() == 4, qPrintable(fields.join(',')));
    QCOMPARE(fields[0], QStringLiteral("h264"));
    QCOMPARE(fields[1], QStringLiteral("1280"));
    QCOMPARE(fields[2], QStringLiteral("896"));
    QVERIFY2(fields[3].toInt() > pictures / 4 && fields[3].toInt() < pictures * 3 / 4, qPrintable(fields[3]));
    QVERIFY(ReadsCleanly(output));

    // From and To: local clock times of the sample's third and fourth seconds; a bad time is refused.
    ExportDialog timed(nullptr, prompts, source.toStdString(), false);
    Find<QPushButton>(timed, kExportSelect)->click();
    auto clock = [](std::time_t t) {
        std::tm local{};
        localtime_r(&t, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        return QString::fromLatin1(text);
    };
    const std::time_t first = 1773480413;  // the sample maker's first page time
    Find<QLineEdit>(timed, kExportOutputEdit)->setText(dir.filePath("part.avi"));
    Find<QLineEdit>(timed, kExportFromEdit)->setText(QStringLiteral("2026-03-14 9:26"));
    prompts.messages.clear();
    Find<QPushButton>(timed, kExportOk)->click();
    QVERIFY(!timed.Busy());
    QCOMPARE(prompts.messages, std::vector<std::string>{"Enter the times From and To as YYYY-MM-DD HH:MM:SS."});
    prompts.messages.clear();
    Find<QLineEdit>(timed, kExportFromEdit)->setText(clock(first + 2));
    Find<QLineEdit>(timed, kExportToEdit)->setText(clock(first + 3));
    Find<QPushButton>(timed, kExportOk)->click();
    QTRY_VERIFY_WITH_TIMEOUT(Contains(prompts.messages, "Export Complete"), 60000);
    const double seconds = Probe(dir.filePath("part-CH1.avi"), "format=duration").toDouble();
    QVERIFY2(seconds > 1.9 && seconds < 2.1, qPrintable(QString::number(seconds)));
}

QTEST_MAIN(ExportDialogTest)
#include "export_dialog_test.moc"
