#include "export/avi_export_job.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <numeric>
#include <thread>

#include "codec/color_convert.h"
#include "codec/record_pipeline.h"
#include "codec/yuv_picture.h"
#include "export/time_text.h"
#include "media/frame_record.h"
#include "media/page_header.h"
#include "media/time_index.h"

namespace tamlorex {

std::string ChannelOutputName(const std::string& output, int channel)
{
    const std::string suffix = "-CH" + std::to_string(channel);
    const std::size_t slash = output.find_last_of('/');
    const std::size_t dot = output.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return output + suffix;
    return output.substr(0, dot) + suffix + output.substr(dot);
}

void DoubleHeight(std::uint8_t* dst, const std::uint8_t* src, int width, int height)
{
    if (width <= 0 || height <= 0) return;
    const std::size_t line = static_cast<std::size_t>(width) * 3;
    for (int k = 0; k < height; ++k) {
        const std::uint8_t* row = src + static_cast<std::size_t>(k) * line;
        std::uint8_t* even = dst + static_cast<std::size_t>(2 * k) * line;
        std::memcpy(even, row, line);
        if (k + 1 == height) {
            std::memcpy(even + line, row, line);
        } else {
            const std::uint8_t* next = row + line;
            std::uint8_t* odd = even + line;
            for (std::size_t i = 0; i < line; ++i)
                odd[i] = static_cast<std::uint8_t>((unsigned{row[i]} + unsigned{next[i]}) >> 1);
        }
    }
}

FrameRate PageFrameRate(std::uint32_t decodedHeight, std::uint16_t channelMask, std::uint8_t frameInterval)
{
    const int channels = std::max(std::popcount(channelMask), 1);
    return {decodedHeight == 272 ? 50u : 60u, static_cast<std::uint64_t>(channels) * (frameInterval + 1u)};
}

FrameRate SpreadFrameRate(std::uint64_t pictures, std::uint64_t durationMs) { return {pictures * 1000, durationMs}; }

ExportContainer ContainerForName(const std::string& output)
{
    const std::size_t slash = output.find_last_of('/');
    const std::string name = output.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() < 4) return ExportContainer::kAvi;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".mp4" ? ExportContainer::kMp4 : ExportContainer::kAvi;
}

Timelapse MakeTimelapse(FrameRate rate, int speed)
{
    Timelapse t;
    std::uint64_t r = rate.rate;
    std::uint64_t s = rate.scale;
    FitRateAndScale(r, s);
    const std::uint64_t times = static_cast<std::uint64_t>(std::max(speed, 1));
    // r x times may not fit: take what the fraction allows exactly first.
    const std::uint64_t common = std::gcd(s, times);
    s /= common;
    const unsigned __int128 faster = static_cast<unsigned __int128>(r) * (times / common);
    std::uint64_t fr = faster > UINT64_MAX ? UINT64_MAX : static_cast<std::uint64_t>(faster);
    if (faster > UINT64_MAX) s = static_cast<std::uint64_t>(static_cast<unsigned __int128>(s) * UINT64_MAX / faster);
    FitRateAndScale(fr, s);
    t.input = {fr, s};
    t.drops = static_cast<unsigned __int128>(fr) > static_cast<unsigned __int128>(s) * kMaxExportFrameRate;
    t.output = t.drops ? FrameRate{kMaxExportFrameRate, 1} : t.input;
    return t;
}

std::int64_t TimelapseFrame(const Timelapse& t, std::int64_t i)
{
    if (!t.drops || i <= 0) return i;
    // i x (output rate / input rate) = i x outRate x inScale / (outScale x inRate)
    const unsigned __int128 num = static_cast<unsigned __int128>(i) * t.output.rate * t.input.scale;
    const unsigned __int128 den = static_cast<unsigned __int128>(t.output.scale) * t.input.rate;
    return den == 0 ? i : static_cast<std::int64_t>(num / den);
}

int MosaicSide(int channels) { return channels <= 4 ? 2 : (channels <= 9 ? 3 : 4); }

void PlaceInMosaic(std::uint8_t* mosaic, int side, int cellWidth, int cellHeight, int cell,
                   const std::uint8_t* picture, int width, int height)
{
    if (side <= 0 || cell < 0 || cell >= side * side || width <= 0 || height <= 0 || width > cellWidth ||
        height > cellHeight)
        return;
    const std::size_t mosaicLine = static_cast<std::size_t>(side) * static_cast<std::size_t>(cellWidth) * 3;
    const std::size_t line = static_cast<std::size_t>(width) * 3;
    const int mosaicHeight = side * cellHeight;
    const int top = (cell / side) * cellHeight;
    const std::size_t left = static_cast<std::size_t>(cell % side) * static_cast<std::size_t>(cellWidth) * 3;
    for (int y = 0; y < height; ++y) {
        // Row y from the top of both: bottom-up, it is stored height - 1 - y rows up.
        const std::uint8_t* from = picture + static_cast<std::size_t>(height - 1 - y) * line;
        std::uint8_t* to = mosaic + static_cast<std::size_t>(mosaicHeight - 1 - (top + y)) * mosaicLine + left;
        std::memcpy(to, from, line);
    }
}

std::uint64_t SoundDurationMs(std::uint64_t bytes, std::uint32_t samplesPerSecond)
{
    if (samplesPerSecond == 0) return 0;
    return static_cast<std::uint64_t>(static_cast<unsigned __int128>(bytes) * 1000 / samplesPerSecond);
}

int ProgressPercent(std::uint64_t position, std::uint64_t size)
{
    if (size == 0) return 0;
    const unsigned __int128 percent = static_cast<unsigned __int128>(std::min(position, size)) * 100 / size;
    return static_cast<int>(percent);
}

ProgressBar ScaleProgress(std::uint64_t position, std::uint64_t size)
{
    int shift = 0;
    while ((size >> shift) > static_cast<std::uint64_t>(INT_MAX)) ++shift;
    position = std::min(position, size);
    return {static_cast<int>(position >> shift), static_cast<int>(size >> shift)};
}

// One unit of second-pass work: a picture record of a channel, or sound for every file.
struct AviExportJob::Item {
    bool sound = false;
    bool end = false;
    int channel = 0;  // 0..15
    std::vector<std::uint8_t> bytes;
    std::string time;
};

// A share of the channels with its own decoder and pictures, run on its own thread or inline.
struct AviExportJob::Lane {
    int id = 0;  // takes the channels whose index modulo the lane count is id
    RecordPipeline pipeline;
    std::array<std::int64_t, kMaxChannels> frameIndex{};  // pictures of each file so far
    std::array<std::int64_t, kMaxChannels> lastFrame = [] {
        std::array<std::int64_t, kMaxChannels> frames;
        frames.fill(-1);
        return frames;
    }();
    std::vector<std::uint8_t> rgb = std::vector<std::uint8_t>(kRgb24PictureSize);
    std::vector<std::uint8_t> doubled = std::vector<std::uint8_t>(kRgb24DoublePictureSize);

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> queue;
    std::thread thread;
    // Room for a few key frames' worth of pictures, so that a lane slowed by one does not stall the
    // reader (and with it the other lanes).
    static constexpr std::size_t kQueueLimit = 64;

    void Push(Item item)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return queue.size() < kQueueLimit; });
        queue.push_back(std::move(item));
        changed.notify_all();
    }
    Item Pop()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !queue.empty(); });
        Item item = std::move(queue.front());
        queue.pop_front();
        changed.notify_all();
        return item;
    }
};

AviExportJob::AviExportJob() { reader_.SetCancel(&cancel_); }

AviExportJob::~AviExportJob() { Close(); }

bool AviExportJob::OpenInput(const std::string& path, bool drive)
{
    reader_.Close();
    inputOpen_.store(false);
    reader_.SetModelType(modelType_);
    if (!reader_.Open(path, drive)) return false;
    position_.store(0);
    size_.store(reader_.GetSize());
    inputOpen_.store(true);
    return true;
}

std::optional<std::uint64_t> AviExportJob::FindTime(std::uint32_t seconds)
{
    if (!inputOpen_.load()) return std::nullopt;
    TimeIndex index(reader_);
    if (!index.Build()) return std::nullopt;
    return index.Seek(seconds);
}

ExportWriter& AviExportJob::Writer(int slot)
{
    const std::size_t i = static_cast<std::size_t>(slot) & (kMaxChannels - 1);
    if (container_ == ExportContainer::kMp4) return mp4Writers_[i];
    return writers_[i];
}

bool AviExportJob::StartScan()
{
    const std::uint64_t size = reader_.GetSize();
    if (rangeStart_ >= size && rangeStart_ > 0) return false;
    // Afresh: a pass that ended at the range's end leaves a record half collected.
    reader_.Rescan(rangeStart_ - rangeStart_ % kPageSize);
    const std::uint64_t end = rangeEnd_ > 0 && rangeEnd_ < size ? rangeEnd_ : size;
    size_.store(end > rangeStart_ ? end - rangeStart_ : 0);
    position_.store(0);
    return true;
}

bool AviExportJob::PastEnd() const
{
    return (rangeEnd_ > 0 && reader_.GetRecordStart() >= rangeEnd_) || (lastTime_ > 0 && reader_.GetPageTime() > lastTime_);
}

void AviExportJob::StoreProgress()
{
    const std::uint64_t at = reader_.GetPosition();
    position_.store(std::min(at > rangeStart_ ? at - rangeStart_ : 0, size_.load()));
}

bool AviExportJob::OpenFile(int slot, const std::string& path, FrameRate rate, const BitmapFormat& format, bool sound)
{
    WaveFormat soundFormat;  // 8-bit PCM, one channel, 8000 samples per second
    const std::size_t i = static_cast<std::size_t>(slot);
    if (container_ == ExportContainer::kMp4) {
        // The channels share the processors: an encoder gets the threads its file's share leaves.
        int files = 0;
        for (int index = 0; index < kMaxChannels; ++index)
            files += pictures_[index] > 0 && ((selected_ >> index) & 1) ? 1 : 0;
        const int threads = mosaic_ ? lanes_ : std::max(1, lanes_ / std::max(files, 1));
        return mp4Writers_[i].Open(path, format, rate.rate, rate.scale, sound, GetCompressOptions(), threads);
    }
    AviChannelWriter& writer = writers_[i];
    return writer.OpenFile(path) && writer.CreateStreams(static_cast<std::uint32_t>(rate.rate),
                                                         static_cast<std::uint32_t>(rate.scale), &format,
                                                         sound ? &soundFormat : nullptr);
}

bool AviExportJob::FirstPass(const std::string& output)
{
    done_.store(false);
    audioPresent_ = false;
    pictures_.fill(0);
    audioBytes_.fill(0);
    haveFormat_.fill(false);
    sharedRate_ = FrameRate{};
    {
        std::lock_guard<std::mutex> lock(filesMutex_);
        files_.clear();
    }
    for (int c = 1; c <= kMaxChannels; ++c)
        names_[c - 1] = (selected_ >> (c - 1)) & 1 ? ChannelOutputName(output, c) : std::string();

    reader_.SetModelType(modelType_);
    decoder_.Init(modelType_);
    auto buffer = std::make_unique<std::uint8_t[]>(kExportRecordBufferSize);
    const bool scan = StartScan();
    for (int empty = 0; scan && empty < kExportEmptyReadsToStop && !cancel_.load();) {
        const std::uint32_t length = reader_.ReadNext(buffer.get());
        if (length == 0) {
            ++empty;
            continue;
        }
        empty = 0;
        if (reader_.GetRecordStart() < rangeStart_) continue;
        if (PastEnd()) break;
        if (reader_.IsAudio()) {
            audioPresent_ = true;
            audioBytes_[static_cast<std::size_t>(reader_.GetChannel()) & 3] += length;
            continue;
        }
        if (!decoder_.ParseHeader(buffer.get(), length)) continue;
        const int index = decoder_.Channel() & (kMaxChannels - 1);
        ++pictures_[index];
        if (!((selected_ >> index) & 1) || haveFormat_[index]) continue;
        haveFormat_[index] = true;
        BitmapFormat& format = formats_[index];
        format.width = static_cast<std::int32_t>(decoder_.Width());
        format.height = static_cast<std::int32_t>(2 * decoder_.Height());
        format.sizeImage = 3u * decoder_.Width() * 2u * decoder_.Height();
        sharedRate_ = PageFrameRate(decoder_.Height(), reader_.GetChannelMask(), reader_.GetFrameInterval());
    }
    // The second pass reads from the start again.
    position_.store(0);
    if (cancel_.load()) return false;  // asked to give up: no file made

    const std::uint64_t duration = SoundDurationMs(audioBytes_[0]);
    // A timelapse has no sound: played faster it would only be noise.
    const bool withSound = audioOption_ && audioPresent_ && speed_ == 1;
    auto describe = [&](ExportedFile& file, int slot) {
        file.container = container_;
        if (container_ != ExportContainer::kMp4) return;
        file.videoCodec = mp4Writers_[static_cast<std::size_t>(slot)].VideoEncoderName();
        file.soundCodec = mp4Writers_[static_cast<std::size_t>(slot)].SoundEnabled()
                              ? mp4Writers_[static_cast<std::size_t>(slot)].SoundEncoderName()
                              : std::string();
        file.audio = !file.soundCodec.empty();
    };
    std::vector<ExportedFile> files;
    if (mosaic_) {
        // One file: every picture of the chosen channels is a frame of it.
        std::uint64_t total = 0;
        int count = 0;
        cellWidth_ = 0;
        cellHeight_ = 0;
        mosaicCell_.fill(-1);
        std::uint16_t channels = 0;
        for (int index = 0; index < kMaxChannels; ++index) {
            if (pictures_[index] <= 0 || !((selected_ >> index) & 1)) continue;
            mosaicCell_[index] = count++;
            channels = static_cast<std::uint16_t>(channels | (1u << index));
            total += static_cast<std::uint64_t>(pictures_[index]);
            cellWidth_ = std::max(cellWidth_, formats_[index].width);
            cellHeight_ = std::max(cellHeight_, formats_[index].height);
        }
        if (count > 0) {
            mosaicSide_ = MosaicSide(count);
            BitmapFormat format;
            format.width = mosaicSide_ * cellWidth_;
            format.height = mosaicSide_ * cellHeight_;
            format.sizeImage = 3u * static_cast<std::uint32_t>(format.width) * static_cast<std::uint32_t>(format.height);
            mosaicPicture_.assign(format.sizeImage, 0);
            FrameRate rate{sharedRate_.rate * static_cast<std::uint64_t>(count), sharedRate_.scale};
            if (audioPresent_ && duration > 0) rate = SpreadFrameRate(total, duration);
            timelapse_[0] = MakeTimelapse(rate, speed_);
            if (!OpenFile(0, output, timelapse_[0].output, format, withSound)) {
                DiscardFiles();
                return false;
            }
            ExportedFile file;
            file.channels = channels;
            file.path = output;
            file.rate = timelapse_[0].output.rate;
            file.scale = timelapse_[0].output.scale;
            file.width = format.width;
            file.height = format.height;
            file.audio = withSound;
            describe(file, 0);
            files.push_back(file);
        }
    }
    for (int index = 0; index < kMaxChannels && !mosaic_; ++index) {
        if (pictures_[index] <= 0 || !((selected_ >> index) & 1)) continue;
        FrameRate rate = sharedRate_;
        if (audioPresent_ && duration > 0) rate = SpreadFrameRate(static_cast<std::uint64_t>(pictures_[index]), duration);
        timelapse_[index] = MakeTimelapse(rate, speed_);
        rate = timelapse_[index].output;
        if (!OpenFile(index, names_[index], rate, formats_[index], withSound)) {
            DiscardFiles();
            return false;
        }
        ExportedFile file;
        file.channel = index + 1;
        file.path = names_[index];
        file.rate = rate.rate;
        file.scale = rate.scale;
        file.width = formats_[index].width;
        file.height = formats_[index].height;
        file.audio = withSound;
        describe(file, index);
        files.push_back(file);
    }
    std::lock_guard<std::mutex> lock(filesMutex_);
    files_ = std::move(files);
    return true;
}

bool AviExportJob::StartExport(const std::string& input, const std::string& output)
{
    if (input.empty() || output.empty() || IsRunning()) return false;
    Stop();  // collects a worker that has finished
    if (!OpenInput(input)) return false;
    if (!FirstPass(output)) return false;
    return Start(ThreadPriority::Normal) == 1;
}

void AviExportJob::Close()
{
    cancel_.store(true);
    Stop();
    FinishFiles();
    reader_.Close();
    inputOpen_.store(false);
    cancel_.store(false);
}

std::vector<ExportedFile> AviExportJob::Files() const
{
    std::lock_guard<std::mutex> lock(filesMutex_);
    return files_;
}

void AviExportJob::FinishFiles()
{
    std::lock_guard<std::mutex> lock(filesMutex_);
    for (ExportedFile& file : files_) {
        ExportWriter& writer = Writer(file.channel == 0 ? 0 : file.channel - 1);
        if (!writer.IsOpen()) continue;
        // Finishing the file (the compressor's last pictures, the index) fails like a write.
        file.failed = !writer.CloseFile();
        file.frames = writer.FramesWritten();
        file.error = writer.LastErrno();
    }
}

void AviExportJob::DiscardFiles()
{
    for (AviChannelWriter& writer : writers_) writer.DiscardFile();
    for (Mp4ChannelWriter& writer : mp4Writers_) writer.DiscardFile();
}

void AviExportJob::Process(Lane& lane, const Item& item)
{
    if (item.sound) {
        for (int index = 0; index < kMaxChannels; ++index)
            if (index % laneCount_ == lane.id && Writer(index).IsOpen())
                Writer(index).WriteSound(item.bytes.data(), item.bytes.size());
        return;
    }
    const std::uint8_t* record = item.bytes.data();
    const std::uint32_t length = static_cast<std::uint32_t>(item.bytes.size());
    if (!lane.pipeline.Parse(record, length)) return;
    const int index = item.channel;
    const BitmapFormat& format = mosaic_ ? formats_[index] : Writer(index).VideoFormat();
    const int width = lane.pipeline.Width();
    const int height = lane.pipeline.Height();
    // A picture of another size than the file's first one does not fit the file.
    if (width != format.width || 2 * height != format.height) return;
    if (!lane.pipeline.Decode(record, length)) return;
    if (!ConvertToDib24(lane.rgb.data(), lane.pipeline.Picture(lane.pipeline.Channel()).data(), width, height)) return;
    DoubleHeight(lane.doubled.data(), lane.rgb.data(), width, height);
    DrawTimeText(lane.doubled.data(), width, 2 * height, item.time);
    if (preview_) {
        std::lock_guard<std::mutex> lock(previewMutex_);
        preview_->ShowExportPicture(index + 1, lane.doubled.data(), width, 2 * height);
    }
    if (mosaic_) {
        PlaceInMosaic(mosaicPicture_.data(), mosaicSide_, cellWidth_, cellHeight_, mosaicCell_[index],
                      lane.doubled.data(), width, 2 * height);
        WritePicture(lane, 0, mosaicPicture_.data());
    } else {
        WritePicture(lane, index, lane.doubled.data());
    }
}

void AviExportJob::WritePicture(Lane& lane, int slot, const std::uint8_t* picture)
{
    const std::size_t i = static_cast<std::size_t>(slot);
    // A timelapse drops the pictures that fall on a frame already written.
    const std::int64_t frame = TimelapseFrame(timelapse_[i], lane.frameIndex[i]);
    ++lane.frameIndex[i];
    if (frame <= lane.lastFrame[i]) return;
    lane.lastFrame[i] = frame;
    Writer(slot).WriteFrame(frame, picture);
}

int AviExportJob::Run()
{
    abandon_.store(false);
    reader_.SetModelType(modelType_);
    decoder_.Init(modelType_);
    const bool scan = StartScan();
    auto buffer = std::make_unique<std::uint8_t[]>(kExportRecordBufferSize);

    // The mosaic's cells are filled in clock-time order: one lane.
    laneCount_ = mosaic_ ? 1 : lanes_;
    std::vector<std::unique_ptr<Lane>> lanes;
    for (int i = 0; i < laneCount_; ++i) {
        lanes.push_back(std::make_unique<Lane>());
        lanes.back()->id = i;
        lanes.back()->pipeline.Init(modelType_);
    }
    // With one lane the worker does all the work itself; otherwise each lane has a thread.
    const bool threaded = laneCount_ > 1;
    if (threaded) {
        for (auto& lane : lanes) {
            Lane* l = lane.get();
            l->thread = std::thread([this, l] {
                for (;;) {
                    Item item = l->Pop();
                    if (item.end) return;
                    if (!abandon_.load()) Process(*l, item);
                }
            });
        }
    }
    auto hand = [&](Lane& lane, Item item) {
        if (threaded) lane.Push(std::move(item));
        else Process(lane, item);
    };

    const bool withSound = audioOption_ && audioPresent_ && speed_ == 1;
    int empty = 0;
    while (scan) {
        if (recordWait_.count() > 0 ? StopEvent().Wait(recordWait_) : StopEvent().IsSet()) {
            abandon_.store(true);
            break;
        }
        const std::uint32_t length = reader_.ReadNext(buffer.get());
        StoreProgress();
        if (length == 0) {
            if (++empty >= kExportEmptyReadsToStop) break;
            continue;
        }
        empty = 0;
        if (reader_.GetRecordStart() < rangeStart_) continue;
        if (PastEnd()) break;
        Item item;
        item.time = FormatExportTime(reader_.CurrentPageTime());
        if (reader_.IsAudio()) {
            // The sound of the files is audio channel 0, whose length the frame rates follow.
            if (!withSound || reader_.GetChannel() != 0) continue;
            item.sound = true;
            item.bytes.assign(buffer.get(), buffer.get() + length);
            for (auto& lane : lanes) hand(*lane, item);
            continue;
        }
        if (!decoder_.ParseHeader(buffer.get(), length)) continue;
        const int index = decoder_.Channel() & (kMaxChannels - 1);
        if (!((selected_ >> index) & 1) || !(mosaic_ ? mosaicCell_[index] >= 0 && Writer(0).IsOpen() : Writer(index).IsOpen()))
            continue;
        item.channel = index;
        item.bytes.assign(buffer.get(), buffer.get() + length);
        hand(*lanes[static_cast<std::size_t>(index % laneCount_)], std::move(item));
    }
    if (threaded) {
        for (auto& lane : lanes) {
            Item end;
            end.end = true;
            lane->Push(std::move(end));
        }
        for (auto& lane : lanes) lane->thread.join();
    }

    FinishFiles();
    reader_.Close();
    inputOpen_.store(false);
    done_.store(true);
    return 0;
}

}  // namespace tamlorex
