// tamlorex decode: every picture of a recording decoded, as JSON lines with the MD5 of each
// picture in the chosen output format.
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/source.h"
#include "codec/color_convert.h"
#include "codec/record_pipeline.h"
#include "codec/yuv_picture.h"
#include "media/vvf_reader.h"
#include "platform/md5.h"
#include "platform/png_writer.h"

namespace tamlorex::cli {
namespace {

const char kDecodeHelp[] =
    "usage: tamlorex decode FILE [--model N] [--idct plain|accel] [--format FORMAT] [--dump DIR]\n"
    "Decodes every picture of a recording and prints one JSON line per picture record.\n"
    "  --model N      recorder model type 0..6 (default 4)\n"
    "  --idct PATH    inverse transform: plain or accel (default: what the processor suits)\n"
    "  --format F     yuv, rgb555, rgb565, bgr565, rgb24, rgb32, dib24 or dib24x2 (default yuv)\n"
    "  --dump DIR     also write each decoded picture as a PNG file into DIR\n";

bool DumpPicture(const std::string& dir, int index, int channel, const std::uint8_t* yuv, int width, int height)
{
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
    if (!ConvertToRgb24(bgr.data(), yuv, width, height)) return false;
    for (std::size_t i = 0; i < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
    char name[64];
    std::snprintf(name, sizeof name, "/%06d-ch%02d.png", index, channel);
    return WritePng(dir + name, bgr.data(), width, height);
}

}  // namespace

int RunDecode(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--model", "--idct", "--format", "--dump"}, {"--drive"});
    if (const int status = HelpOrRefusal(args, kDecodeHelp); status >= 0) return status;
    long long model = 4;
    if (!args.Integer("--model", 4, 0, 6, model)) return Usage(kDecodeHelp, args.Error());
    if (args.Positional().size() != 1) return Usage(kDecodeHelp, "expected one FILE");
    const std::string idct = args.Value("--idct", "auto");
    DecodePathOverride path = DecodePathOverride::kAuto;
    if (idct == "plain") path = DecodePathOverride::kPlain;
    else if (idct == "accel") path = DecodePathOverride::kAccel;
    else if (idct != "auto") return Usage(kDecodeHelp, "--idct must be plain or accel");
    const std::string format = args.Value("--format", "yuv");
    std::vector<std::uint8_t> converted;
    {
        std::vector<std::uint8_t> probe(YuvPictureSize(16, 16), 0);
        if (!ConvertPictureForFormat(format, probe.data(), 16, 16, converted))
            return Usage(kDecodeHelp, "unknown --format " + format);
    }
    const std::string dump = args.Value("--dump");
    if (!dump.empty()) {
        struct stat st {};
        if (stat(dump.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "tamlorex: --dump needs an existing folder: %s\n", dump.c_str());
            return 2;
        }
    }

    VvfReader reader;
    StderrAlerts alerts;
    if (!OpenSource(reader, alerts, args.Positional()[0], args.Has("--drive"), static_cast<int>(model))) return 2;
    RecordPipeline pipeline;
    pipeline.SetDecodePathOverride(path);
    pipeline.Init(static_cast<ModelType>(model));
    const VideoDecoder& decoder = pipeline.Decoder();
    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    int index = -1;
    for (int empty = 0; empty < kEmptyReadsToStop;) {
        const std::uint32_t length = reader.ReadNext(buffer.get());
        if (length == 0) {
            ++empty;
            continue;
        }
        empty = 0;
        ++index;
        if (reader.IsAudio()) continue;
        if (!pipeline.Parse(buffer.get(), length)) {
            std::printf("{\"i\":%d,\"rejected\":1}\n", index);
            continue;
        }
        const std::uint32_t width = decoder.Width(), height = decoder.Height();
        pipeline.Decode(buffer.get(), length);
        const ConstYuvPicture picture = pipeline.Picture(decoder.Channel());
        const int w = static_cast<int>(width), h = static_cast<int>(height);
        ConvertPictureForFormat(format, picture.data(), w, h, converted);
        std::printf("{\"i\":%d,\"channel\":%d,\"width\":%u,\"height\":%u,\"full\":%d,\"q\":%u,\"slices\":%u", index,
                    decoder.Channel(), width, height, decoder.FullPicture() ? 1 : 0, decoder.QuantiserScale(),
                    decoder.SliceCount());
        if (RulesFor(static_cast<ModelType>(model)).layout == HeaderLayout::kD)
            std::printf(",\"dual\":%d,\"left\":%d,\"right\":%d,\"lhide\":%d,\"rhide\":%d", decoder.DualFlag(),
                        decoder.DualLeftChannel(), decoder.DualRightChannel(), decoder.LeftHidden(),
                        decoder.RightHidden());
        std::printf(",\"md5\":\"%s\"}\n", Md5::Hex(converted.data(), converted.size()).c_str());
        if (!dump.empty() && !DumpPicture(dump, index, decoder.Channel(), picture.data(), w, h)) {
            std::fprintf(stderr, "tamlorex: cannot write a picture into %s\n", dump.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace tamlorex::cli
