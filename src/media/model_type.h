#pragma once
// The recorder variants (model types 0..6) and every rule that depends on one, in one table:
// the picture-header layout, the page byte order, the channel bits, how the writer stores live
// records, the sound coding, rate and output width, the frame periods and the capture rates.
#include <cstdint>

namespace tamlorex {

// Recorder variant 0..6; other values are accepted and follow kUnknownModel.
using ModelType = std::int32_t;

// Picture-header layouts: A (3-bit channel, kind in byte 4), B (4-bit channel, kind in the type
// byte), C (the live layout: no channel, a 16-bit frame number), D (B plus the dual-picture byte).
enum class HeaderLayout : std::uint8_t { kA, kB, kC, kD, kNone };
enum class SoundCoding : std::uint8_t { kALaw, kLinear8 };
// Which audio channel a player plays: all of them, the one of the selected pane, or channel 0.
enum class PlayedAudio : std::uint8_t { kEvery, kSelectedPane, kChannelZero };

struct ModelRules {
    HeaderLayout layout;
    bool bigEndianPages;       // page time and channel mask stored most significant byte first
    std::uint8_t channelBits;  // bits of record byte 4 that the readers take as the channel
    bool calendarPages;        // the writer lays calendar page headers, which carry no checksum
    bool storedKindInType;     // the writer moves a live record's picture kind into the type byte
    SoundCoding sound;
    int soundRate;             // samples per second
    int outputBits;            // bits per sample at the sound output (A-law expands to 16)
    PlayedAudio played;
    int framePeriodShortUs;    // one frame period for 224-line pictures
    int framePeriodTallUs;     // for pictures of any other height
    int captureFpsShort;       // pictures per second the recorder takes over all channels
    int captureFpsTall;
    int jumpInterval;          // pictures shown between the jumps of fast forward and rewind
    int maxChannels;           // channels the layout can name
};

inline constexpr ModelRules kModelRules[] = {
    // layout          big    bits  cal    kind   sound                 rate   bits played                     short  tall   fps      jump ch
    {HeaderLayout::kA, false, 0x07, true,  false, SoundCoding::kALaw,    8000, 16, PlayedAudio::kEvery,        33333, 25000, 30, 25,  4,  4},
    {HeaderLayout::kB, false, 0x0F, false, true,  SoundCoding::kALaw,    8000, 16, PlayedAudio::kEvery,        16666, 12500, 60, 50,  9, 16},
    {HeaderLayout::kC, false, 0x0F, false, false, SoundCoding::kALaw,    8000, 16, PlayedAudio::kEvery,        33333, 25000, 30, 25,  9,  1},
    {HeaderLayout::kB, false, 0x0F, false, true,  SoundCoding::kALaw,   13183, 16, PlayedAudio::kEvery,        16666, 12500, 60, 50,  9, 16},
    {HeaderLayout::kB, false, 0x0F, false, true,  SoundCoding::kLinear8, 8000,  8, PlayedAudio::kEvery,        16666, 12500, 60, 50,  9, 16},
    {HeaderLayout::kD, false, 0x0F, false, true,  SoundCoding::kLinear8,16000,  8, PlayedAudio::kSelectedPane, 16666, 12500, 120, 100, 9, 16},
    {HeaderLayout::kB, true,  0x0F, false, true,  SoundCoding::kLinear8,16000,  8, PlayedAudio::kChannelZero,  16666, 12500, 60, 50,  9, 16},
};
inline constexpr int kModelTypeCount = static_cast<int>(sizeof kModelRules / sizeof kModelRules[0]);
// A model type outside 0..6: no header is read, A-law sound at 8000 Hz.
inline constexpr ModelRules kUnknownModel = {
    HeaderLayout::kNone, false, 0x0F, false, false, SoundCoding::kALaw, 8000, 16, PlayedAudio::kEvery,
    16666, 12500, 60, 50, 9, 16};

// The live stream of Client mode is always in the header layout of this model type.
inline constexpr ModelType kLiveModelType = 2;

constexpr const ModelRules& RulesFor(ModelType model)
{
    return model >= 0 && model < kModelTypeCount ? kModelRules[model] : kUnknownModel;
}

constexpr bool IsKnownModel(ModelType model) { return model >= 0 && model < kModelTypeCount; }
constexpr bool ModelUsesALaw(ModelType model) { return RulesFor(model).sound == SoundCoding::kALaw; }
constexpr bool IsBigEndianModel(ModelType model) { return RulesFor(model).bigEndianPages; }
// One frame period in microseconds for a decoded picture height.
constexpr int FramePeriodFor(int height, ModelType model)
{
    return height == 224 ? RulesFor(model).framePeriodShortUs : RulesFor(model).framePeriodTallUs;
}

}  // namespace tamlorex
