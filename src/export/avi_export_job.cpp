#include "export/avi_export_job.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

#include "codec/color_convert.h"
#include "codec/record_pipeline.h"
#include "codec/yuv_picture.h"
#include "export/time_text.h"
#include "media/frame_record.h"

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
    std::array<std::int64_t, kMaxChannels> frameIndex{};
    std::vector<std::uint8_t> rgb = std::vector<std::uint8_t>(kRgb24PictureSize);
    std::vector<std::uint8_t> doubled = std::vector<std::uint8_t>(kRgb24DoublePictureSize);

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> queue;
    std::thread thread;
    static constexpr std::size_t kQueueLimit = 16;

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

    WaveFormat sound;  // 8-bit PCM, one channel, 8000 samples per second
    reader_.SetModelType(modelType_);
    decoder_.Init(modelType_);
    auto buffer = std::make_unique<std::uint8_t[]>(kExportRecordBufferSize);
    for (int empty = 0; empty < kExportEmptyReadsToStop && !cancel_.load();) {
        const std::uint32_t length = reader_.ReadNext(buffer.get());
        if (length == 0) {
            ++empty;
            continue;
        }
        empty = 0;
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
    const bool withSound = audioOption_ && audioPresent_;
    std::vector<ExportedFile> files;
    for (int index = 0; index < kMaxChannels; ++index) {
        if (pictures_[index] <= 0 || !((selected_ >> index) & 1)) continue;
        FrameRate rate = sharedRate_;
        if (audioPresent_ && duration > 0) rate = SpreadFrameRate(static_cast<std::uint64_t>(pictures_[index]), duration);
        FitRateAndScale(rate.rate, rate.scale);
        AviChannelWriter& writer = writers_[index];
        if (!writer.OpenFile(names_[index]) ||
            !writer.CreateStreams(static_cast<std::uint32_t>(rate.rate), static_cast<std::uint32_t>(rate.scale),
                                  &formats_[index], withSound ? &sound : nullptr)) {
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
        AviChannelWriter& writer = writers_[static_cast<std::size_t>(file.channel - 1)];
        if (!writer.IsOpen()) continue;
        file.frames = writer.FramesWritten();
        // Finishing the file (the compressor's last pictures, the index) fails like a write.
        file.failed = !writer.CloseFile();
        file.error = writer.LastErrno();
    }
}

void AviExportJob::DiscardFiles()
{
    for (AviChannelWriter& writer : writers_) writer.DiscardFile();
}

void AviExportJob::Process(Lane& lane, const Item& item)
{
    if (item.sound) {
        for (int index = 0; index < kMaxChannels; ++index)
            if (index % laneCount_ == lane.id && writers_[index].IsOpen())
                writers_[index].WriteSound(item.bytes.data(), item.bytes.size());
        return;
    }
    const std::uint8_t* record = item.bytes.data();
    const std::uint32_t length = static_cast<std::uint32_t>(item.bytes.size());
    if (!lane.pipeline.Parse(record, length)) return;
    const int index = item.channel;
    const BitmapFormat& format = writers_[index].VideoFormat();
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
    writers_[index].WriteFrame(lane.frameIndex[index], lane.doubled.data());
    ++lane.frameIndex[index];
}

int AviExportJob::Run()
{
    abandon_.store(false);
    reader_.SetModelType(modelType_);
    decoder_.Init(modelType_);
    // The first pass ended on empty reads, which leave the scanner cleared.
    reader_.SetPosition(0);
    position_.store(0);
    auto buffer = std::make_unique<std::uint8_t[]>(kExportRecordBufferSize);

    laneCount_ = lanes_;
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

    const bool withSound = audioOption_ && audioPresent_;
    int empty = 0;
    for (;;) {
        if (recordWait_.count() > 0 ? StopEvent().Wait(recordWait_) : StopEvent().IsSet()) {
            abandon_.store(true);
            break;
        }
        const std::uint32_t length = reader_.ReadNext(buffer.get());
        position_.store(reader_.GetPosition());
        if (length == 0) {
            if (++empty >= kExportEmptyReadsToStop) break;
            continue;
        }
        empty = 0;
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
        if (!((selected_ >> index) & 1) || !writers_[index].IsOpen()) continue;
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
