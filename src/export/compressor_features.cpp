#include "export/compressor_features.h"

#include "export/compress_options.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tamlorex {

CompressorFeatures FeaturesOf(const std::string& handler)
{
    CompressorFeatures features;
    if (handler.empty() || handler == kUncompressedHandler) return features;
    const AVCodec* codec = avcodec_find_encoder_by_name(handler.c_str());
    if (!codec) return features;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->id);
    const int props = descriptor ? descriptor->props : 0;
    // A codec that declares neither is taken as lossy.
    const bool lossy = (props & AV_CODEC_PROP_LOSSY) || !(props & AV_CODEC_PROP_LOSSLESS);
    features.quality = lossy;
    features.dataRate = lossy;
    features.keyFrames = !(props & AV_CODEC_PROP_INTRA_ONLY);
    return features;
}

}  // namespace tamlorex
