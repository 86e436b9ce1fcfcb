#include "sim/sample_maker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "media/frame_record.h"
#include "media/model_type.h"

#include "sim/audio_encode.h"
#include "sim/picture_encoder.h"
#include "sim/scene.h"

namespace tamlorex::sim {
namespace {

// About fifteen pictures a second over all channels, as a busy recorder would store them.
constexpr double kTargetPicturesPerSecond = 15.0;

// One stream of pictures: a single channel, or a pair of channels in a dual picture (model 5).
struct Source {
    int channel = 0;
    int rightChannel = -1;  // dual pictures only
    std::unique_ptr<Scene> left;
    std::unique_ptr<Scene> right;
    YuvImage previous;      // the last picture coded, what update pictures are measured against
    double lastFull = -1e9;
};

bool Fail(std::string& error, std::string text)
{
    error = std::move(text);
    return false;
}

}  // namespace

int FramePeriodMicros(int modelType, int height) { return FramePeriodFor(height, modelType); }

bool MakeSample(const SampleOptions& o, const PageWriter::Sink& sink, SampleSummary& s, std::string& error)
{
    s = SampleSummary{};
    if (o.modelType < 0 || o.modelType > 6) return Fail(error, "model type must be 0..6");
    if (o.height != kShortHeight && o.height != kTallHeight) return Fail(error, "height must be 224 or 272");
    // Layout A holds channels 0..3; layout C holds none, so its pictures are all channel 0.
    const int maxChannels = RulesFor(o.modelType).maxChannels;
    if (o.channels < 1 || o.channels > maxChannels)
        return Fail(error, "channels must be 1.." + std::to_string(maxChannels) + " for this model type");
    if (!(o.seconds > 0) || o.seconds > 86400) return Fail(error, "seconds must be above 0 and at most 86400");
    if (o.quantiserScale < 1 || o.quantiserScale > kMaxQuantiserScale) return Fail(error, "quantiser scale must be 1..14");

    if (o.interval < -1 || o.interval > 127) return Fail(error, "interval must be 0..127");
    const int period = FramePeriodMicros(o.modelType, o.height);
    const int step = o.interval >= 0 ? o.interval + 1
                                     : std::max(1, static_cast<int>(std::lround(1e6 / kTargetPicturesPerSecond / period)));
    const double picturePeriod = step * period / 1e6;
    s.interval = step - 1;
    s.framePeriodMicros = period;
    s.channels = o.channels;

    // Model 5 records pairs of channels side by side in dual pictures.
    const bool dual = RulesFor(o.modelType).layout == HeaderLayout::kD;
    std::vector<Source> sources;
    for (int c = 0; c < o.channels; c += dual ? 2 : 1) {
        Source src;
        src.channel = c;
        if (dual) {
            src.rightChannel = c + 1 < o.channels ? c + 1 : -1;
            src.left = std::make_unique<Scene>(c, kPictureWidth / 2, o.height);
            src.right = std::make_unique<Scene>(src.rightChannel >= 0 ? src.rightChannel : c, kPictureWidth / 2, o.height);
        } else {
            src.left = std::make_unique<Scene>(c, kPictureWidth, o.height);
        }
        sources.push_back(std::move(src));
    }
    const std::uint16_t mask = static_cast<std::uint16_t>((1u << o.channels) - 1);

    const AudioFormat format = AudioFormatOfModel(o.modelType);
    ToneGenerator tone(format, o.toneHz, 0.5);
    double audioDue = 0;  // samples owed to the sound stream, fractional

    PageWriter writer(o.modelType, sink);
    const int pictures = static_cast<int>(std::ceil(o.seconds / picturePeriod));
    YuvImage picture, left, right;
    for (int i = 0; i < pictures; ++i) {
        const double t = i * picturePeriod;
        Source& src = sources[static_cast<std::size_t>(i) % sources.size()];
        const std::uint32_t now = o.startTime + static_cast<std::uint32_t>(t);
        writer.SetHeader(now, mask, static_cast<std::uint8_t>(s.interval));

        const std::uint32_t clock = now % 86400;
        if (dual) {
            src.left->Render(t, clock, left);
            src.right->Render(t, clock, right);
            picture = ComposeDual(left, right);
        } else {
            src.left->Render(t, clock, picture);
        }
        PictureHeader h;
        h.modelType = o.modelType;
        h.channel = src.channel;
        h.full = src.previous.data.empty() || t - src.lastFull >= o.fullPictureEvery - 1e-9;
        h.extra = static_cast<std::uint16_t>(i * step);  // live-stream frame number
        h.dual = dual;
        h.dualRight = src.rightChannel >= 0 ? src.rightChannel : 0;
        h.rightHidden = dual && src.rightChannel < 0;
        // Pictures too busy for the readers' record buffer are quantised more coarsely.
        EncodeResult r;
        h.quantiserScale = o.quantiserScale;
        for (;;) {
            r = EncodePicture(h, picture, h.full ? nullptr : &src.previous);
            if ((!r.record.empty() && r.record.size() <= kRecordBufferSize - 4) || h.quantiserScale == kMaxQuantiserScale) break;
            h.quantiserScale = std::min(h.quantiserScale + 2, kMaxQuantiserScale);
            ++s.coarserPictures;
        }
        if (r.record.empty()) return Fail(error, "a picture could not be encoded");
        if (r.record.size() > kRecordBufferSize - 4) return Fail(error, "a picture does not fit the record buffer");
        if (h.full) src.lastFull = t;
        src.previous = picture;
        s.adjustments += r.adjustments;
        ++s.pictures;
        ++(h.full ? s.fullPictures : s.updatePictures);
        if (!writer.Append(r.record)) return Fail(error, "write failed");

        // The sound of this picture's time slot follows the picture.
        audioDue += format.rate * picturePeriod;
        const auto n = static_cast<std::size_t>(audioDue);
        audioDue -= static_cast<double>(n);
        if (n > 0) {
            if (!writer.Append(MakeAudioRecord(0, tone.Next(n)))) return Fail(error, "write failed");
            ++s.audioRecords;
            s.audioSamples += n;
        }
    }
    // A closing start code, so that readers deliver the last record; the padding follows it.
    const std::uint8_t end[4] = {0x00, 0x00, 0x01, 0xF8};
    if (!writer.Append(end, sizeof end) || !writer.Finish()) return Fail(error, "write failed");
    s.pages = writer.Pages();
    s.bytes = s.pages * kPageSize;
    return true;
}

bool MakeSampleFile(const std::string& path, const SampleOptions& options, SampleSummary& summary, std::string& error)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return Fail(error, "cannot create " + path);
    const bool ok = MakeSample(
        options, [f](const std::uint8_t* page, std::size_t size) { return std::fwrite(page, 1, size, f) == size; }, summary,
        error);
    const bool closed = std::fclose(f) == 0;
    if (ok && !closed) return Fail(error, "cannot write " + path);
    return ok;
}

}  // namespace tamlorex::sim
