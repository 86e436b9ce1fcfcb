#include "export/compress_options.h"

#include <algorithm>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tamlorex {
namespace {

std::mutex& OptionsMutex()
{
    static std::mutex mutex;
    return mutex;
}

CompressOptions& SharedOptions()
{
    static CompressOptions options = DefaultCompressOptions();
    return options;
}

std::string FourccText(unsigned int tag)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

// Encoders that drive a particular device rather than run on the processor.
bool DeviceBound(const AVCodec* codec)
{
    if (codec->capabilities & AV_CODEC_CAP_HARDWARE) return true;
    if (avcodec_get_hw_config(codec, 0)) return true;
    static const char* const kDeviceSuffixes[] = {"_qsv", "_omx", "_vaapi", "_nvenc", "_v4l2m2m", "_amf",
                                                  "_mf", "_videotoolbox", "_mediacodec", "_vulkan"};
    const std::string name = codec->name;
    for (const char* suffix : kDeviceSuffixes) {
        const std::string s = suffix;
        if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) return true;
    }
    return false;
}

std::vector<Compressor> BuildList()
{
    std::vector<Compressor> list;
    list.push_back({kUncompressedHandler, "", "uncompressed 24-bit bottom-up (BI_RGB)"});
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    if (!avi) return list;
    std::vector<Compressor> encoders;
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (!av_codec_is_encoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO) continue;
        if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) || DeviceBound(codec)) continue;
        // rawvideo is "DIB " above.
        if (codec->id == AV_CODEC_ID_RAWVIDEO) continue;
        const unsigned int tag = av_codec_get_tag(avi->codec_tag, codec->id);
        if (tag == 0) continue;
        encoders.push_back({codec->name, FourccText(tag), codec->long_name ? codec->long_name : codec->name});
    }
    std::sort(encoders.begin(), encoders.end(),
              [](const Compressor& a, const Compressor& b) { return a.handler < b.handler; });
    list.insert(list.end(), encoders.begin(), encoders.end());
    return list;
}

}  // namespace

CompressOptions DefaultCompressOptions()
{
    CompressOptions options;
    options.type = "vids";
    options.handler = kUncompressedHandler;
    options.keyFrameEvery = 1;
    options.quality = kDefaultQuality;
    return options;
}

CompressOptions GetCompressOptions()
{
    std::lock_guard<std::mutex> lock(OptionsMutex());
    return SharedOptions();
}

void SetCompressOptions(const CompressOptions& options)
{
    std::lock_guard<std::mutex> lock(OptionsMutex());
    SharedOptions() = options;
}

void ResetCompressOptions() { SetCompressOptions(DefaultCompressOptions()); }

const std::vector<Compressor>& ListCompressors()
{
    static const std::vector<Compressor> list = BuildList();
    return list;
}

std::string DescribeCompressor()
{
    const std::string handler = GetCompressOptions().handler;
    for (const Compressor& c : ListCompressors())
        if (c.handler == handler) return c.description;
    return "";
}

bool ChooseCompressor(const CompressorChoice& choose)
{
    CompressOptions options;
    SetCompressOptions(options);
    if (!choose || !choose(ListCompressors(), options)) return false;
    SetCompressOptions(options);
    return true;
}

}  // namespace tamlorex
