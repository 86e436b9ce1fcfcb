#pragma once
// What a compressor lets the user set: a quality and a data rate only mean something to a lossy
// compressor, a key-frame distance only to one that codes pictures from earlier ones.
#include <string>

namespace tamlorex {

struct CompressorFeatures {
    bool quality = false;
    bool keyFrames = false;
    bool dataRate = false;
};

// Nothing for "DIB " (uncompressed), an empty handler or an encoder this build lacks.
CompressorFeatures FeaturesOf(const std::string& handler);

}  // namespace tamlorex
