#include "app/export_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <filesystem>

#include "app/compressor_dialog.h"
#include "app/dialog_parts.h"
#include "app/user_prompts.h"
#include "export/compress_options.h"
#include "media/time_index.h"
#include "platform/system_error.h"

namespace tamlorex::app {
namespace {

// The largest picture the preview copies (the export's pictures are 640 x 544 at most).
constexpr int kMaxPreviewSide = 4096;
constexpr int kPreviewWidth = 320;
constexpr int kPreviewHeight = 224;
constexpr int kExportModelType = 4;


QString PercentText(int percent) { return QString::asprintf("%3d%%", percent); }

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

int ExportChannelBoxId(int channel)
{
    if (channel >= 1 && channel <= 9) return kExportChannelBox1 + channel - 1;
    if (channel >= 10 && channel <= 16) return 1734 + channel - 10;
    return 0;
}

std::string SuggestedOutputName(const std::string& input)
{
    // Only the file name: a folder whose name holds "vvf" stays the folder it is.
    const std::size_t slash = input.find_last_of('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::string name = input.substr(start);
    ReplaceAll(name, "VVF", "AVI");
    ReplaceAll(name, "vvf", "AVI");
    return input.substr(0, start) + name;
}

void ExportDialog::Preview::ShowExportPicture(int, const std::uint8_t* picture, int width, int height)
{
    if (!picture || width <= 0 || height <= 0 || width > kMaxPreviewSide || height > kMaxPreviewSide) return;
    std::lock_guard<std::mutex> lock(mutex_);
    pixels_.assign(picture, picture + static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
    width_ = width;
    height_ = height;
    fresh_ = true;
}

bool ExportDialog::Preview::Take(QImage& image)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fresh_) return false;
    fresh_ = false;
    image = QImage(width_, height_, QImage::Format_BGR888);
    if (image.isNull()) return false;
    const std::size_t line = static_cast<std::size_t>(width_) * 3;
    // The pictures are stored bottom row first.
    for (int y = 0; y < height_; ++y)
        std::memcpy(image.scanLine(y), pixels_.data() + static_cast<std::size_t>(height_ - 1 - y) * line, line);
    return true;
}

ExportDialog::ExportDialog(QWidget* owner, UserPrompts& prompts, const std::string& sourcePath, bool sourceIsDrive)
    : QDialog(owner), prompts_(prompts)
{
    setWindowTitle(QString::fromLatin1(kExportTitle));

    auto* channels = new QGroupBox(QStringLiteral("Channels"), this);
    auto* channelGrid = new QGridLayout(channels);
    for (int c = 1; c <= kMaxChannels; ++c) {
        auto* box = Named(new QCheckBox(QString::number(c), channels), ExportChannelBoxId(c));
        // Channels 9..16 are not offered; their boxes are never read.
        box->setChecked(c <= 8);
        if (c > 8) box->hide();
        channelGrid->addWidget(box, (c - 1) / 8, (c - 1) % 8);
        channelBoxes_.push_back(box);
    }
    audioBox_ = Named(new QCheckBox(QStringLiteral("Audio"), channels), kExportAudioBox);
    audioBox_->setChecked(true);
    channelGrid->addWidget(audioBox_, 2, 0, 1, 8);
    marksBox_ = Named(new QCheckBox(QString::fromLatin1(kExportMarksText), channels), kExportMarksBox);
    marksBox_->setEnabled(false);
    channelGrid->addWidget(marksBox_, 3, 0, 1, 4);
    mosaicBox_ = Named(new QCheckBox(QString::fromLatin1(kExportMosaicText), channels), kExportMosaicBox);
    channelGrid->addWidget(mosaicBox_, 3, 4, 1, 2);
    speed_ = Named(new QSpinBox(channels), kExportSpeed);
    speed_->setRange(1, kMaxExportSpeed);
    speed_->setValue(1);
    speed_->setSuffix(QStringLiteral("x"));
    speed_->setToolTip(QStringLiteral("Plays this many times faster; above 1x without sound"));
    auto* speedLabel = new QLabel(QStringLiteral("Speed:"), channels);
    speedLabel->setBuddy(speed_);
    channelGrid->addWidget(speedLabel, 3, 6);
    channelGrid->addWidget(speed_, 3, 7);

    inputEdit_ = Named(new QLineEdit(this), kExportInputEdit);
    inputBrowse_ = Named(new QPushButton(QStringLiteral("Browse..."), this), kExportInputBrowse);
    outputEdit_ = Named(new QLineEdit(this), kExportOutputEdit);
    outputBrowse_ = Named(new QPushButton(QStringLiteral("Browse..."), this), kExportOutputBrowse);
    compressionEdit_ = Named(new QLineEdit(this), kExportCompressionEdit);
    compressionEdit_->setReadOnly(true);
    select_ = Named(new QPushButton(QStringLiteral("Select..."), this), kExportSelect);
    progress_ = Named(new QProgressBar(this), kExportProgress);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    percent_ = Named(new QLabel(QStringLiteral("0%"), this), kExportPercent);
    picture_ = Named(new QLabel(this), kExportPicture);
    picture_->setFixedSize(kPreviewWidth, kPreviewHeight);
    picture_->setFrameShape(QFrame::Box);
    ok_ = Named(new QPushButton(QStringLiteral("OK"), this), kExportOk);
    ok_->setDefault(true);
    cancel_ = Named(new QPushButton(QStringLiteral("Cancel"), this), kExportCancel);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Input file:"), this), 0, 0);
    grid->addWidget(inputEdit_, 0, 1);
    grid->addWidget(inputBrowse_, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Output file:"), this), 1, 0);
    grid->addWidget(outputEdit_, 1, 1);
    grid->addWidget(outputBrowse_, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Compression:"), this), 2, 0);
    grid->addWidget(compressionEdit_, 2, 1);
    grid->addWidget(select_, 2, 2);
    grid->addWidget(channels, 3, 0, 1, 3);
    fromEdit_ = Named(new QLineEdit(this), kExportFromEdit);
    toEdit_ = Named(new QLineEdit(this), kExportToEdit);
    auto* timeRow = new QHBoxLayout;
    for (auto [label, edit] : {std::pair{"From:", fromEdit_}, std::pair{"To:", toEdit_}}) {
        edit->setPlaceholderText(QString::fromLatin1(kExportTimeHint));
        timeRow->addWidget(new QLabel(QString::fromLatin1(label), this));
        timeRow->addWidget(edit, 1);
    }
    grid->addLayout(timeRow, 4, 0, 1, 3);
    grid->addWidget(picture_, 5, 0, 1, 3, Qt::AlignCenter);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(percent_);
    grid->addLayout(progressRow, 6, 0, 1, 3);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(ok_);
    buttonRow->addWidget(cancel_);
    grid->addLayout(buttonRow, 7, 0, 1, 3);

    connect(inputBrowse_, &QPushButton::clicked, this, &ExportDialog::OnBrowseInput);
    connect(outputBrowse_, &QPushButton::clicked, this, &ExportDialog::OnBrowseOutput);
    connect(select_, &QPushButton::clicked, this, &ExportDialog::OnSelect);
    connect(ok_, &QPushButton::clicked, this, &ExportDialog::OnStart);
    connect(cancel_, &QPushButton::clicked, this, &ExportDialog::reject);
    connect(outputEdit_, &QLineEdit::textChanged, this, &ExportDialog::UpdateOk);

    // The open recording is offered; a disk (or disk image) is read with its pages byte-swapped,
    // and its name suggests no output file (a device's folder is no place for one).
    sourcePath_ = sourcePath;
    if (!sourcePath.empty()) {
        inputEdit_->setText(QString::fromStdString(sourcePath));
        if (sourceIsDrive) drivePath_ = sourcePath;
        else outputEdit_->setText(QString::fromStdString(SuggestedOutputName(sourcePath)));
    }
    job_.SetModelType(kExportModelType);
    job_.SetPreview(&preview_);
    // A compressor must be chosen (or the choice confirmed) before an export can start.
    UpdateOk();

    timer_ = new QTimer(this);
    timer_->setInterval(kExportTimerMs);
    connect(timer_, &QTimer::timeout, this, &ExportDialog::OnTimer);
    timer_->start();
}

ExportDialog::~ExportDialog()
{
    timer_->stop();
    if (counter_.joinable()) {
        counter_.join();
        DropCountedFiles();
    }
    job_.Close();
}

void ExportDialog::SetMarks(std::uint64_t in, std::uint64_t out)
{
    const bool marked = out > in && !sourcePath_.empty();
    markIn_ = marked ? in : 0;
    markOut_ = marked ? out : 0;
    marksBox_->setEnabled(marked && !Busy());
    marksBox_->setChecked(marked);
}

void ExportDialog::UpdateOk() { ok_->setEnabled(chosen_ && !Busy() && !outputEdit_->text().isEmpty()); }

void ExportDialog::SetControlsEnabled(bool enabled)
{
    for (int c = 1; c <= 8; ++c) channelBoxes_[static_cast<std::size_t>(c - 1)]->setEnabled(enabled);
    audioBox_->setEnabled(enabled);
    marksBox_->setEnabled(enabled && markOut_ > markIn_);
    mosaicBox_->setEnabled(enabled);
    speed_->setEnabled(enabled);
    fromEdit_->setEnabled(enabled);
    toEdit_->setEnabled(enabled);
    inputEdit_->setEnabled(enabled);
    outputEdit_->setEnabled(enabled);
    inputBrowse_->setEnabled(enabled);
    outputBrowse_->setEnabled(enabled);
    select_->setEnabled(enabled);
    UpdateOk();
}

void ExportDialog::OnBrowseInput()
{
    const std::string path = prompts_.OpenFileName(this, kExportInputFilter);
    if (path.empty()) return;
    inputEdit_->setText(QString::fromStdString(path));
    if (outputEdit_->text().isEmpty()) outputEdit_->setText(QString::fromStdString(SuggestedOutputName(path)));
}

void ExportDialog::OnBrowseOutput()
{
    const std::string folder = FolderOf(inputEdit_->text().toStdString());
    const std::string path = prompts_.SaveFileName(this, kExportDefaultOutput, kExportOutputFilter, folder);
    if (!path.empty()) outputEdit_->setText(QString::fromStdString(path));
}

void ExportDialog::OnSelect()
{
    // The writers' shared choice, "DIB " until one is made; Cancel leaves it as it was.
    CompressOptions options = GetCompressOptions();
    if (!RunCompressorChoice(this, prompts_, options, false)) return;
    SetCompressOptions(options);
    chosen_ = true;
    compressionEdit_->setText(QString::fromStdString(DescribeCompressor()));
    compressionEdit_->setCursorPosition(0);  // a long description shows its start
    UpdateOk();
}

void ExportDialog::Fail(const std::string& text)
{
    progress_->setRange(0, 100);
    progress_->setValue(0);
    percent_->setText(QStringLiteral("0%"));
    SetControlsEnabled(true);
    prompts_.Message(this, text, kExportTitle);
}

void ExportDialog::OnStart()
{
    if (Busy()) return;
    input_ = inputEdit_->text().toStdString();
    output_ = outputEdit_->text().toStdString();
    std::uint16_t mask = 0;
    for (int c = 1; c <= 8; ++c)
        if (channelBoxes_[static_cast<std::size_t>(c - 1)]->isChecked()) mask = static_cast<std::uint16_t>(mask | (1u << (c - 1)));
    if (input_.empty() || output_.empty()) {
        prompts_.Message(this, "Choose the recording to export and the output file.", kExportTitle);
        return;
    }
    if (mask == 0) {
        prompts_.Message(this, "Choose at least one channel to export.", kExportTitle);
        return;
    }
    // A channel's file (or the mosaic) must not replace the recording it is read from.
    const bool mosaic = mosaicBox_->isChecked();
    for (int c = mosaic ? 0 : 1; c <= (mosaic ? 0 : 8); ++c) {
        if (!mosaic && !((mask >> (c - 1)) & 1)) continue;
        const std::string name = mosaic ? output_ : ChannelOutputName(output_, c);
        std::error_code error;
        if (name == input_ || std::filesystem::equivalent(name, input_, error)) {
            prompts_.Message(this, "The output file " + name + " is the recording itself; choose another output file.",
                             kExportTitle);
            return;
        }
    }
    job_.SetModelType(kExportModelType);
    job_.SetSelectedChannels(mask);
    job_.SetAudioOption(audioBox_->isChecked());
    job_.SetContainer(ContainerForName(output_));
    job_.SetMosaic(mosaic);
    job_.SetSpeed(speed_->value());
    const std::string fromText = fromEdit_->text().trimmed().toStdString();
    const std::string toText = toEdit_->text().trimmed().toStdString();
    std::uint32_t from = 0, to = 0;
    if ((!fromText.empty() && !ParseClockTime(fromText.c_str(), from)) ||
        (!toText.empty() && !ParseClockTime(toText.c_str(), to))) {
        prompts_.Message(this, std::string("Enter the times From and To as ") + kExportTimeHint + ".", kExportTitle);
        return;
    }
    if (!fromText.empty() && !toText.empty() && to < from) {
        prompts_.Message(this, "The time To is before the time From.", kExportTitle);
        return;
    }
    // The marks belong to the window's recording: another input is exported whole.
    const bool marks = marksBox_->isChecked() && markOut_ > markIn_ && input_ == sourcePath_;
    const std::uint64_t markIn = marks ? markIn_ : 0;
    const std::uint64_t markOut = marks ? markOut_ : 0;
    const bool byFrom = !fromText.empty();
    const bool byTo = !toText.empty();

    // Counting reads the whole recording: it runs on its own thread, and the timer picks up
    // its result.
    counting_ = true;
    closeAfterCounting_ = false;
    counted_.store(false);
    SetControlsEnabled(false);
    progress_->setRange(0, 0);
    percent_->setText(QString::fromLatin1(kExportCounting));
    // The disk the window had open is read as a disk as long as the input still names it.
    const bool drive = !drivePath_.empty() && input_ == drivePath_;
    counter_ = std::thread([this, input = input_, output = output_, drive, markIn, markOut, byFrom, byTo, from, to] {
        inputOpened_ = job_.OpenInput(input, drive);
        if (inputOpened_) {
            // The marks and the times together: the part that lies within both.
            std::uint64_t start = markIn, end = markOut;
            if (byFrom) {
                const auto found = job_.FindTime(from);
                start = found ? std::max(start, *found) : UINT64_MAX;  // the recording ends before
            }
            job_.SetLastTime(byTo ? to : 0);
            if (byTo && to < UINT32_MAX) {
                if (const auto after = job_.FindTime(to + 1); after && *after > start)
                    end = end > 0 ? std::min(end, *after) : *after;
            }
            job_.SetRange(start, end);
        }
        firstPassOk_ = inputOpened_ && job_.FirstPass(output);
        counted_.store(true);
    });
}

void ExportDialog::DropCountedFiles()
{
    const std::vector<ExportedFile> files = job_.Files();
    job_.Close();
    std::error_code error;
    for (const ExportedFile& file : files) std::filesystem::remove(file.path, error);
}

void ExportDialog::FinishCounting()
{
    counter_.join();
    counting_ = false;
    if (closeAfterCounting_) {
        DropCountedFiles();
        timer_->stop();
        QDialog::reject();
        return;
    }
    if (!inputOpened_) {
        job_.Close();
        Fail("The recording " + input_ + " could not be opened.");
        return;
    }
    if (!firstPassOk_) {
        job_.Close();
        Fail("The AVI files for " + output_ + " could not be created.");
        return;
    }
    if (job_.Files().empty()) {
        job_.Close();
        Fail("The recording " + input_ + " holds no pictures of the chosen channels.");
        return;
    }
    const ProgressBar bar = ScaleProgress(0, job_.Size());
    progress_->setRange(0, bar.maximum);
    progress_->setValue(0);
    percent_->setText(PercentText(0));
    if (job_.Start(ThreadPriority::Normal) != 1) {
        DropCountedFiles();
        Fail("The export could not be started.");
        return;
    }
    exporting_ = true;
}

void ExportDialog::ShowPreview()
{
    QImage image;
    if (!preview_.Take(image)) return;
    picture_->setPixmap(QPixmap::fromImage(
        image.scaled(picture_->contentsRect().size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

void ExportDialog::FinishExport()
{
    timer_->stop();
    job_.Close();
    exporting_ = false;
    progress_->setValue(progress_->maximum());
    percent_->setText(PercentText(100));
    std::string failed;
    for (const ExportedFile& file : job_.Files())
        if (file.failed) failed += "\n" + file.path + (file.error != 0 ? " (" + ErrorText(file.error) + ")" : "");
    if (!failed.empty())
        prompts_.Message(this, "Writing stopped at an error in these files; each holds the pictures before it:" + failed,
                         kExportTitle);
    prompts_.Message(this, kExportComplete, "");
    accept();
}

void ExportDialog::OnTimer()
{
    if (counting_) {
        if (!counted_.load()) return;
        FinishCounting();
        if (!exporting_) return;
    }
    ShowPreview();
    if (!exporting_) return;
    if (job_.InputOpen()) {
        const std::uint64_t position = job_.Position();
        const std::uint64_t size = job_.Size();
        percent_->setText(PercentText(ProgressPercent(position, size)));
        progress_->setValue(ScaleProgress(position, size).position);
    }
    if (job_.Done()) FinishExport();
}

void ExportDialog::reject()
{
    if (counting_) {
        // The counting pass gives up at the next page; the dialog closes as soon as it has.
        closeAfterCounting_ = true;
        job_.Cancel();
        cancel_->setEnabled(false);
        percent_->setText(QStringLiteral("Stopping..."));
        return;
    }
    timer_->stop();
    if (exporting_) {
        // The files keep the pictures written so far.
        job_.Close();
        exporting_ = false;
        ShowPreview();
    }
    QDialog::reject();
}

}  // namespace tamlorex::app
