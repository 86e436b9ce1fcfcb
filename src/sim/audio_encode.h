#pragma once
// Sound records as the recorder writes them: 8-bit A-law or 8-bit linear samples, one channel.
#include <cstdint>
#include <vector>

namespace tamlorex::sim {

// ITU-T G.711 A-law compression of one 16-bit sample.
std::uint8_t LinearToALaw(std::int16_t sample);

// Sample coding and rate of a model type's sound.
struct AudioFormat {
    int rate = 8000;
    bool alaw = true;  // otherwise 8-bit linear, unsigned with 128 as silence
};
AudioFormat AudioFormatOfModel(int modelType);

// A continuous sine tone; each call continues the phase where the last one ended.
class ToneGenerator {
public:
    ToneGenerator(AudioFormat format, double frequency, double amplitude);  // amplitude 0..1 of full scale
    std::vector<std::uint8_t> Next(std::size_t samples);

private:
    AudioFormat format_;
    double step_;
    double amplitude_;
    double phase_ = 0;
};

// An audio record: 00 00 01 (FA + audio channel), two bytes (the sample count, big-endian) and
// the samples. A sample is moved by two steps wherever it would complete a 00 00 01 sequence.
std::vector<std::uint8_t> MakeAudioRecord(int audioChannel, const std::vector<std::uint8_t>& samples);

}  // namespace tamlorex::sim
