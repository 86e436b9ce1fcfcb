#include "sim/audio_encode.h"

#include <algorithm>
#include <cmath>

#include "media/model_type.h"

namespace tamlorex::sim {

std::uint8_t LinearToALaw(std::int16_t sample)
{
    // 13-bit magnitude, segment by the position of its leading one, four mantissa bits;
    // even bits are inverted (XOR 0x55) and bit 7 set means positive.
    int value = sample >> 3;
    std::uint8_t mask;
    if (value >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        value = -value - 1;
    }
    int segment = 0;
    while (segment < 8 && value >= (0x20 << segment)) ++segment;
    if (segment >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    int code = segment << 4;
    code |= (segment < 2 ? (value >> 1) : (value >> segment)) & 0x0F;
    return static_cast<std::uint8_t>(code ^ mask);
}

AudioFormat AudioFormatOfModel(int modelType)
{
    AudioFormat f;
    f.alaw = ModelUsesALaw(modelType);
    f.rate = RulesFor(modelType).soundRate;
    return f;
}

ToneGenerator::ToneGenerator(AudioFormat format, double frequency, double amplitude)
    : format_(format), step_(2.0 * std::acos(-1.0) * frequency / format.rate), amplitude_(std::clamp(amplitude, 0.0, 1.0))
{
}

std::vector<std::uint8_t> ToneGenerator::Next(std::size_t samples)
{
    std::vector<std::uint8_t> out(samples);
    const double twoPi = 2.0 * std::acos(-1.0);
    for (std::size_t i = 0; i < samples; ++i) {
        const double s = amplitude_ * std::sin(phase_);
        if (format_.alaw)
            out[i] = LinearToALaw(static_cast<std::int16_t>(std::lround(s * 32767)));
        else
            out[i] = static_cast<std::uint8_t>(std::clamp(128 + std::lround(s * 127), 0L, 255L));
        phase_ = std::fmod(phase_ + step_, twoPi);
    }
    return out;
}

std::vector<std::uint8_t> MakeAudioRecord(int audioChannel, const std::vector<std::uint8_t>& samples)
{
    std::vector<std::uint8_t> r(6 + samples.size());
    r[2] = 0x01;
    r[3] = static_cast<std::uint8_t>(0xFA + std::clamp(audioChannel, 0, 3));
    r[4] = static_cast<std::uint8_t>(samples.size() >> 8);
    r[5] = static_cast<std::uint8_t>(samples.size());
    std::copy(samples.begin(), samples.end(), r.begin() + 6);
    // Changing the 01 of a stray 00 00 01 to 03 cannot form a new one: the byte stays non-zero.
    for (std::size_t k = 1; k + 2 < r.size(); ++k)
        if (r[k] == 0 && r[k + 1] == 0 && r[k + 2] == 1) r[k + 2] = 3;
    return r;
}

}  // namespace tamlorex::sim
