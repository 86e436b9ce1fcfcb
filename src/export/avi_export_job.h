#pragma once
// The export of a recording's channels to one AVI or MP4 file per channel, or to one file with
// all of them side by side (a mosaic). The first pass (on the caller's thread) counts pictures
// and sound and creates the files; the second pass (the job's own worker thread) decodes every
// picture of the chosen channels, doubles its height, burns the page time into it and writes it,
// with the sound, to its channel's file.
//
// The export may cover part of the recording only (a byte range, a last page time), and may play
// faster than the recording (a timelapse): the burnt-in time stays the page time, pictures are
// dropped evenly where the faster rate would exceed kMaxExportFrameRate, and the sound is left
// out.
//
// Threads: the owner (a dialog, the command-line tool) configures the job, runs the first pass
// and starts the worker; while the worker runs, the owner only reads Done, Position, Size and
// Percent, and may Stop it at any moment: the files written so far stay playable.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "codec/video_decoder.h"
#include "export/avi_channel_writer.h"
#include "export/mp4_channel_writer.h"
#include "media/vvf_reader.h"
#include "platform/worker_thread.h"

namespace tamlorex {

// Empty reads in a row that end a pass.
inline constexpr int kExportEmptyReadsToStop = 33;
// The wait between records of the dialog's export.
inline constexpr std::chrono::milliseconds kExportRecordWait{10};
inline constexpr std::uint32_t kExportSoundRate = 8000;
// A timelapse plays at most this many pictures a second.
inline constexpr std::uint64_t kMaxExportFrameRate = 30;
inline constexpr int kMaxExportSpeed = 1000;

enum class ExportContainer { kAvi, kMp4 };
// The container an output name asks for: a name ending in ".mp4" (in any case) is MP4, any other
// AVI.
ExportContainer ContainerForName(const std::string& output);

// Where the exported pictures are shown while the export runs (the dialog's preview). Called on
// the export's threads, one call at a time.
class ExportPreview {
public:
    virtual ~ExportPreview() = default;
    // A bottom-up 24-bit picture of width x height, time text included; `channel` is 1..16.
    virtual void ShowExportPicture(int channel, const std::uint8_t* picture, int width, int height) = 0;
};

// The output name with "-CH<channel>" before the last "." of its file name, or appended when the
// file name has no dot.
std::string ChannelOutputName(const std::string& output, int channel);

// Output row 2k is input row k, row 2k + 1 the byte-wise average of rows k and k + 1, the last row
// repeats input row h - 1. `dst` holds 2 x height rows of 3 x width bytes.
void DoubleHeight(std::uint8_t* dst, const std::uint8_t* src, int width, int height);

struct FrameRate {
    std::uint64_t rate = 30;
    std::uint64_t scale = 1;
};
// From the first picture of a channel: 50 (272 lines) or 60 frames per second over the
// channels of the mask (1 at least) times the frame interval plus one.
FrameRate PageFrameRate(std::uint32_t decodedHeight, std::uint16_t channelMask, std::uint8_t frameInterval);
// `pictures` spread over `durationMs` of sound: pictures x 1000 over the duration.
FrameRate SpreadFrameRate(std::uint64_t pictures, std::uint64_t durationMs);

// A file's pictures played `speed` times faster: `input` is their rate times the speed (fitted as
// FitRateAndScale does); when that exceeds kMaxExportFrameRate the file plays at that rate and
// keeps picture i as frame floor(i x output / input), the first picture of each frame.
struct Timelapse {
    FrameRate input;
    FrameRate output;
    bool drops = false;
};
Timelapse MakeTimelapse(FrameRate rate, int speed);
// The frame picture `i` (0, 1, ...) falls on.
std::int64_t TimelapseFrame(const Timelapse& timelapse, std::int64_t i);

// The side (2, 3 or 4) of the square grid a mosaic of `channels` (1..16) uses.
int MosaicSide(int channels);
// Copies a bottom-up picture of width x height into cell `cell` (row by row from the top left) of
// a bottom-up mosaic of side x side cells of cellWidth x cellHeight; nothing when it does not fit.
void PlaceInMosaic(std::uint8_t* mosaic, int side, int cellWidth, int cellHeight, int cell,
                   const std::uint8_t* picture, int width, int height);
// Sound duration in milliseconds of `bytes` 8-bit samples.
std::uint64_t SoundDurationMs(std::uint64_t bytes, std::uint32_t samplesPerSecond = kExportSoundRate);

// position x 100 / size, 0 for an empty input.
int ProgressPercent(std::uint64_t position, std::uint64_t size);
// A progress bar's range and position scaled down until both fit a signed 32-bit control.
struct ProgressBar {
    int position = 0;
    int maximum = 0;
};
ProgressBar ScaleProgress(std::uint64_t position, std::uint64_t size);

// What one channel's file holds after the export.
struct ExportedFile {
    int channel = 0;  // 1..16; 0 for a mosaic
    std::uint16_t channels = 0;  // a mosaic's channels, bit i for channel i + 1
    ExportContainer container = ExportContainer::kAvi;
    std::string videoCodec;  // MP4: the encoders used ("" for no sound)
    std::string soundCodec;
    std::string path;
    std::int64_t frames = 0;
    std::uint64_t rate = 0;
    std::uint64_t scale = 0;
    int width = 0;
    int height = 0;  // twice the decoded height
    bool audio = false;
    bool failed = false;  // a write or the finishing failed; the file holds the whole frames before it
    int error = 0;        // errno of that failure, when the file system gave one
};

class AviExportJob : public WorkerThread {
public:
    AviExportJob();
    // Stops the worker and finishes the files.
    ~AviExportJob() override;

    // Settings, before the first pass.
    void SetModelType(int modelType) { modelType_ = modelType; }
    // Bit i selects channel i + 1.
    void SetSelectedChannels(std::uint16_t mask) { selected_ = mask; }
    void SetAudioOption(bool audio) { audioOption_ = audio; }
    void SetPreview(ExportPreview* preview) { preview_ = preview; }
    // The wait for the stop event before each record (kExportRecordWait by default; 0: none).
    void SetRecordWait(std::chrono::milliseconds wait) { recordWait_ = wait; }
    // Threads that decode and write pictures in the second pass, each taking a share of the
    // channels (1 by default: all on the worker).
    void SetLanes(int lanes) { lanes_ = lanes < 1 ? 1 : (lanes > kMaxChannels ? kMaxChannels : lanes); }
    // AVI (the default) or MP4 files; MP4 takes its encoders from Mp4VideoEncoder and
    // Mp4SoundEncoder, its quality from the shared compressor choice.
    void SetContainer(ExportContainer container) { container_ = container; }
    // Only the records starting at byte offsets start .. end - 1 (end 0: to the end of the input).
    void SetRange(std::uint64_t start, std::uint64_t end)
    {
        rangeStart_ = start;
        rangeEnd_ = end;
    }
    // The export ends at the first record of a page later than `seconds` (page seconds; 0: none).
    void SetLastTime(std::uint32_t seconds) { lastTime_ = seconds; }
    // 1 (the default) .. kMaxExportSpeed; above 1 the files have no sound.
    void SetSpeed(int speed) { speed_ = speed < 1 ? 1 : (speed > kMaxExportSpeed ? kMaxExportSpeed : speed); }
    // One file, the output name itself, with the chosen channels in a grid of MosaicSide cells in
    // channel order; every picture of any of them makes a frame, the others keep their last one.
    void SetMosaic(bool mosaic) { mosaic_ = mosaic; }
    bool Mosaic() const { return mosaic_; }

    // Opens the input (closing it first): a recording file, or with `drive` a recorder's disk (or
    // its image), whose pages are byte-swapped. False when it cannot be opened.
    bool OpenInput(const std::string& path, bool drive = false);
    // After OpenInput: the offset of the first good page at or after a page time (see TimeIndex);
    // nothing when the input ends before it or has no good page.
    std::optional<std::uint64_t> FindTime(std::uint32_t seconds);
    // The first pass: counts, names, rates, and one open file per selected channel with pictures.
    // False, with every file it made removed, when a file or its streams cannot be created.
    bool FirstPass(const std::string& output);
    // Opens the input, runs the first pass and starts the second. False, silently, when the names
    // are empty, an export is running, or the input or the first pass fails.
    bool StartExport(const std::string& input, const std::string& output);
    // Stops the worker (when running), finishes every file and closes the input.
    void Close();
    // From any thread: a first pass running elsewhere (or about to run) gives up at once and
    // makes no file (it returns false); a second pass's scan stops at the next page. Close
    // clears it.
    void Cancel() { cancel_.store(true); }

    // Progress of the second pass; safe from any thread.
    bool Done() const { return done_.load(); }
    bool InputOpen() const { return inputOpen_.load(); }
    std::uint64_t Position() const { return position_.load(); }
    std::uint64_t Size() const { return size_.load(); }
    int Percent() const { return ProgressPercent(Position(), Size()); }

    // First-pass results.
    bool AudioPresent() const { return audioPresent_; }
    int PictureCount(int channel) const { return channel >= 1 && channel <= kMaxChannels ? pictures_[channel - 1] : 0; }
    std::uint64_t AudioBytes(int audioChannel) const { return audioChannel >= 0 && audioChannel < 4 ? audioBytes_[audioChannel] : 0; }
    FrameRate SharedRate() const { return sharedRate_; }
    const std::string& OutputName(int channel) const { return names_[(channel - 1) & (kMaxChannels - 1)]; }

    // One entry per file the export wrote, by channel; complete once Done.
    std::vector<ExportedFile> Files() const;

protected:
    int Run() override;

private:
    struct Lane;
    struct Item;
    void Process(Lane& lane, const Item& item);
    void FinishFiles();
    void DiscardFiles();
    ExportWriter& Writer(int slot);
    // Starts a scan at the range's start; false when the range lies beyond the input.
    bool StartScan();
    // The record just read lies after the range or the last time.
    bool PastEnd() const;
    void StoreProgress();
    bool OpenFile(int slot, const std::string& path, FrameRate rate, const BitmapFormat& format, bool sound);
    void WritePicture(Lane& lane, int slot, const std::uint8_t* picture);

    int modelType_ = 4;
    std::uint16_t selected_ = 0x00FF;
    bool audioOption_ = true;
    ExportPreview* preview_ = nullptr;
    std::mutex previewMutex_;
    std::chrono::milliseconds recordWait_ = kExportRecordWait;
    int lanes_ = 1;
    int laneCount_ = 1;  // lanes of the running second pass

    std::atomic<bool> cancel_{false};
    VvfReader reader_;
    VideoDecoder decoder_;
    std::array<AviChannelWriter, kMaxChannels> writers_;
    std::array<Mp4ChannelWriter, kMaxChannels> mp4Writers_;
    std::array<Timelapse, kMaxChannels> timelapse_{};
    ExportContainer container_ = ExportContainer::kAvi;
    std::uint64_t rangeStart_ = 0;
    std::uint64_t rangeEnd_ = 0;
    std::uint32_t lastTime_ = 0;
    int speed_ = 1;
    bool mosaic_ = false;
    // The mosaic: its side, cell size, each channel's cell (-1: none) and the picture itself.
    int mosaicSide_ = 0;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    std::array<int, kMaxChannels> mosaicCell_{};
    std::vector<std::uint8_t> mosaicPicture_;
    std::array<std::string, kMaxChannels> names_;
    std::array<int, kMaxChannels> pictures_{};
    std::array<BitmapFormat, kMaxChannels> formats_{};
    std::array<bool, kMaxChannels> haveFormat_{};
    std::array<std::uint64_t, 4> audioBytes_{};
    bool audioPresent_ = false;
    FrameRate sharedRate_;

    std::atomic<bool> done_{false};
    std::atomic<bool> inputOpen_{false};
    std::atomic<std::uint64_t> position_{0};
    std::atomic<std::uint64_t> size_{0};
    std::atomic<bool> abandon_{false};

    mutable std::mutex filesMutex_;
    std::vector<ExportedFile> files_;
};

}  // namespace tamlorex
