#pragma once
// Sample recordings: several channels of synthetic scenes, a test tone on audio channel 0,
// full pictures every few seconds per channel and update pictures between them, laid into
// 4096-byte pages whose headers advance with the recording's time.
#include <cstdint>
#include <string>

#include "sim/page_writer.h"
#include "sim/picture_encoder.h"

namespace tamlorex::sim {

inline constexpr std::uint32_t kDefaultStartTime = 1773480413;  // 2026-03-14 09:26:53 UTC

struct SampleOptions {
    int channels = 8;           // 1..16 (model 0 holds 4 at most, model 2 one)
    double seconds = 20;
    int modelType = 4;
    int height = kShortHeight;  // 224 or 272
    std::uint32_t startTime = kDefaultStartTime;
    double fullPictureEvery = 2.0;  // seconds between full pictures of one channel
    int quantiserScale = 4;
    double toneHz = 1000;
    // The pages' frame interval: a picture (of any channel) every interval + 1 frame periods,
    // 0..127; -1 picks about fifteen pictures a second.
    int interval = -1;
};

struct SampleSummary {
    int channels = 0;
    int pictures = 0;
    int fullPictures = 0;
    int updatePictures = 0;
    int audioRecords = 0;
    std::uint64_t audioSamples = 0;
    std::uint64_t pages = 0;
    std::uint64_t bytes = 0;
    int interval = 0;            // frame periods between pictures, minus one
    int framePeriodMicros = 0;   // the player's frame period for this model and height
    int adjustments = 0;         // blocks changed to keep start codes out of pictures
    int coarserPictures = 0;     // pictures re-quantised to fit the record buffer
};

// The player's frame period: 640 x 224 pictures 33333 us for model types 0 and 2, 16666 us
// otherwise; 640 x 272 pictures 25000 us and 12500 us.
int FramePeriodMicros(int modelType, int height);

// Writes the recording's pages to `sink`. False (with `error`) on bad options or a failed write.
bool MakeSample(const SampleOptions& options, const PageWriter::Sink& sink, SampleSummary& summary, std::string& error);
bool MakeSampleFile(const std::string& path, const SampleOptions& options, SampleSummary& summary, std::string& error);

}  // namespace tamlorex::sim
