#include "sim/live_feed.h"

#include <algorithm>
#include <cstring>

#include "media/frame_record.h"

namespace tamlorex::sim {
namespace {

constexpr double kSoundBacklogSeconds = 1.0;
constexpr double kSoundLead = 0.2;  // seconds of sound read ahead of the clock

}  // namespace

bool ToLiveLayout(const std::uint8_t* record, std::size_t length, int sourceModel, std::uint16_t frameNumber,
                  std::vector<std::uint8_t>& out)
{
    if (length < 6 || record[0] != 0 || record[1] != 0 || record[2] != 1 || (record[3] != 0xF8 && record[3] != 0xF9))
        return false;
    const HeaderLayout layout = LayoutOfModel(sourceModel);
    const std::size_t data = SliceDataOffset(layout);
    if (length < data) return false;
    bool full = false;
    unsigned quantiser = 0;
    switch (layout) {
    case HeaderLayout::kA:
    case HeaderLayout::kC:
        full = (record[4] & 0x80) != 0;
        quantiser = (record[4] >> 3) & 0x0F;
        break;
    case HeaderLayout::kB:
    case HeaderLayout::kD:
    case HeaderLayout::kNone:  // not returned by LayoutOfModel
        full = record[3] == 0xF9;
        quantiser = record[4] >> 4;
        break;
    }
    out.clear();
    out.reserve(length - data + 7);
    out.insert(out.end(), {0x00, 0x00, 0x01, static_cast<std::uint8_t>(full ? 0xF9 : 0xF8)});
    out.push_back(static_cast<std::uint8_t>((full ? 0x80 : 0) | quantiser << 3));
    out.push_back(static_cast<std::uint8_t>(frameNumber >> 8));
    out.push_back(static_cast<std::uint8_t>(frameNumber));
    out.insert(out.end(), record + data, record + length);
    return true;
}

void ScalePicture(const YuvImage& in, YuvImage& out)
{
    if (in.width <= 0 || in.height <= 0 || out.width <= 0 || out.height <= 0) return;
    for (int y = 0; y < out.height; ++y) {
        const int sy = y * in.height / out.height;
        for (int x = 0; x < out.width; ++x)
            out.Y()[static_cast<std::size_t>(y) * out.width + x] = in.Y()[static_cast<std::size_t>(sy) * in.width + x * in.width / out.width];
    }
    const int icw = in.width / 2, ich = in.height / 2, ocw = out.width / 2, och = out.height / 2;
    for (int y = 0; y < och; ++y) {
        const int sy = y * ich / och;
        for (int x = 0; x < ocw; ++x) {
            const std::size_t from = static_cast<std::size_t>(sy) * icw + x * icw / ocw;
            out.U()[static_cast<std::size_t>(y) * ocw + x] = in.U()[from];
            out.V()[static_cast<std::size_t>(y) * ocw + x] = in.V()[from];
        }
    }
}

LiveFeed::LiveFeed(const FeedOptions& options)
    : options_(options),
      height_(options.height == kTallHeight ? kTallHeight : kShortHeight),
      soundFormat_(AudioFormatOfModel(options.sourceModel)),
      tone_(soundFormat_, options.toneHz, 0.3)
{
}

LiveFeed::~LiveFeed() = default;

bool LiveFeed::Open(std::string& error)
{
    if (options_.source.empty()) return true;
    reader_ = std::make_unique<VvfReader>();
    reader_->SetModelType(options_.sourceModel);
    if (!reader_->Open(options_.source, false)) {
        error = "cannot open " + options_.source + (reader_->LastError().empty() ? "" : ": " + reader_->LastError());
        return false;
    }
    record_ = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    decoder_.Init(options_.sourceModel);
    decoded_.assign(16, YuvImage());
    // The first picture decides the stream's size; then the stream starts from the beginning.
    bool sized = false;
    for (int i = 0; i < 64 && !sized; ++i) {
        if (!ReadSourcePicture()) break;
        if (decoder_.ParseHeader(record_.get(), recordLength_) != 0) {
            height_ = static_cast<int>(decoder_.Height());
            sized = true;
        }
    }
    if (!sized) {
        error = options_.source + " holds no picture readable as model type " + std::to_string(options_.sourceModel);
        return false;
    }
    reader_->Close();
    reader_->Open(options_.source, false);
    soundBacklog_.clear();
    soundTaken_ = soundSent_ = 0;
    sourceHasSound_ = false;
    return true;
}

void LiveFeed::Restart()
{
    needFull_ = true;
    passChannel_ = -1;
    soundSent_ = soundTaken_ = 0;
    soundBacklog_.clear();
}

bool LiveFeed::Camera(int channel, int width, int height, YuvImage& out, double seconds, std::uint32_t clock)
{
    if (!reader_) {
        auto& scene = scenes_[{channel, width, height}];
        if (!scene) scene = std::make_unique<Scene>(channel, width, height);
        scene->Render(seconds, clock, out);
        return true;
    }
    if (channel < 0 || channel >= static_cast<int>(decoded_.size()) || decoded_[channel].data.empty()) return false;
    const YuvImage& picture = decoded_[channel];
    if (picture.width == width && picture.height == height) {
        out = picture;
    } else {
        out = YuvImage(width, height);
        ScalePicture(picture, out);
    }
    return true;
}

bool LiveFeed::EncodeImage(const YuvImage& picture, bool full, std::vector<std::uint8_t>& out)
{
    PictureHeader h;
    h.modelType = kLiveModelType;
    h.full = full || reference_.width != picture.width || reference_.height != picture.height;
    h.extra = ++frame_;
    h.quantiserScale = options_.quantiserScale;
    EncodeResult r;
    // Busy pictures are quantised more coarsely until they fit the client's buffer.
    for (;;) {
        r = EncodePicture(h, picture, h.full ? nullptr : &reference_);
        if ((!r.record.empty() && r.record.size() <= kLivePictureLimit) || h.quantiserScale >= kMaxQuantiserScale) break;
        h.quantiserScale = std::min(h.quantiserScale + 2, kMaxQuantiserScale);
    }
    if (r.record.empty() || r.record.size() > kLivePictureLimit) return false;
    out.insert(out.end(), r.record.begin(), r.record.end());
    reference_ = picture;
    if (h.full) needFull_ = false;
    ++encoded_;
    return true;
}

bool LiveFeed::EncodeView(double seconds, std::uint32_t clock, const LiveView& view, std::vector<std::uint8_t>& out)
{
    YuvImage picture(kPictureWidth, height_);
    view.Render(seconds, [&](int c, int w, int h, YuvImage& pane) { return Camera(c, w, h, pane, seconds, clock); }, picture);
    const bool full = needFull_ || seconds - lastFull_ >= options_.fullEvery || view.LayoutGeneration() != lastGeneration_;
    if (!EncodeImage(picture, full, out)) return false;
    if (full) lastFull_ = seconds;
    lastGeneration_ = view.LayoutGeneration();
    return true;
}

bool LiveFeed::PassThrough(double seconds, const LiveView& view) const
{
    // A camera the recording does not have (yet) is shown as the composed "no video" picture.
    const int channel = view.Channel();
    return view.Split() == 1 && !view.HasOverlay(seconds) && channel >= 0 && channel < static_cast<int>(decoded_.size()) &&
           !decoded_[channel].data.empty();
}

int LiveFeed::Pictures(double seconds, std::uint32_t clock, const LiveView& view, std::vector<std::uint8_t>& out)
{
    if (!reader_) return EncodeView(seconds, clock, view, out) ? 1 : 0;

    int sent = 0;
    if (sourceHasSound_) {
        // The recording's sound sets its pace: read until the sound is a little ahead of the clock.
        const auto target = static_cast<std::uint64_t>((seconds + kSoundLead) * soundFormat_.rate);
        for (int guard = 0; guard < 64 && soundTaken_ < target; ++guard) {
            if (!ReadSourcePicture()) break;
            sent += TakeSourcePicture(seconds, view, out);
        }
    } else if (ReadSourcePicture()) {
        sent += TakeSourcePicture(seconds, view, out);
    }
    if (!PassThrough(seconds, view)) {
        passChannel_ = -1;
        if (EncodeView(seconds, clock, view, out)) ++sent;
    }
    return sent;
}

int LiveFeed::TakeSourcePicture(double seconds, const LiveView& view, std::vector<std::uint8_t>& out)
{
    const std::uint8_t* record = record_.get();
    if (decoder_.ParseHeader(record, recordLength_) == 0) return 0;
    if (static_cast<int>(decoder_.Height()) != height_ || decoder_.Width() != static_cast<std::uint32_t>(kPictureWidth)) return 0;
    const int channel = recordChannel_ & 0x0F;
    YuvImage& picture = decoded_[channel];
    if (picture.data.empty()) picture = YuvImage(kPictureWidth, height_, 0, 128, 128);
    if (decoder_.Decode(record, recordLength_, YuvPicture(picture.data)) != 1) return 0;

    if (!PassThrough(seconds, view) || channel != view.Channel()) return 0;  // composed views are encoded once per tick
    std::vector<std::uint8_t> live;
    const bool full = decoder_.FullPicture() != 0;
    if (passChannel_ == channel || full) {
        // Stored pictures go out as they are, only their header rewritten.
        ++frame_;
        if (!ToLiveLayout(record, recordLength_, options_.sourceModel, frame_, live) || live.size() > kLivePictureLimit) return 0;
        out.insert(out.end(), live.begin(), live.end());
        passChannel_ = channel;
        reference_ = picture;
        needFull_ = false;
        ++passed_;
        return 1;
    }
    // The client holds another picture: start it off with a full picture of what this channel shows.
    if (!EncodeImage(picture, true, out)) return 0;
    passChannel_ = channel;
    return 1;
}

bool LiveFeed::ReadSourcePicture()
{
    for (int restarts = 0; restarts < 2;) {
        const std::uint32_t length = reader_->ReadNext(record_.get());
        if (length == 0) {
            // End of the recording (or a damaged page): play it again from the start.
            if (reader_->GetPosition() + kPageSize <= reader_->GetSize()) continue;
            reader_->Close();
            if (!reader_->Open(options_.source, false)) return false;
            ++restarts;
            continue;
        }
        if (reader_->IsAudio()) {
            sourceHasSound_ = true;
            TakeSourceSound(record_.get(), length);
            continue;
        }
        recordLength_ = length;
        recordChannel_ = reader_->GetChannel();
        return true;
    }
    return false;
}

void LiveFeed::TakeSourceSound(const std::uint8_t* samples, std::size_t count)
{
    // The recording is the recorder's own: its sound goes out as it was stored.
    soundBacklog_.insert(soundBacklog_.end(), samples, samples + count);
    soundTaken_ += count;
    const auto limit = static_cast<std::size_t>(kSoundBacklogSeconds * soundFormat_.rate);
    if (soundBacklog_.size() > limit)
        soundBacklog_.erase(soundBacklog_.begin(), soundBacklog_.end() - static_cast<std::ptrdiff_t>(limit));
}

void LiveFeed::Sound(std::size_t samples, std::vector<std::uint8_t>& out)
{
    std::vector<std::uint8_t> block;
    if (!reader_) {
        block = tone_.Next(samples);
    } else {
        const std::size_t n = std::min(samples, soundBacklog_.size());
        if (n == 0) return;
        block.assign(soundBacklog_.begin(), soundBacklog_.begin() + static_cast<std::ptrdiff_t>(n));
        soundBacklog_.erase(soundBacklog_.begin(), soundBacklog_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    soundSent_ += block.size();
    const std::vector<std::uint8_t> record = MakeAudioRecord(0, block);
    out.insert(out.end(), record.begin(), record.end());
}

}  // namespace tamlorex::sim
