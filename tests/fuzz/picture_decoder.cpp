// The picture decoder over hostile records, through the plain transform and both accelerated
// ones, then every colour conversion of the decoded picture.
//
// Input: byte 0 chooses the model type (low 7 bits modulo 7) and whether the scalar version of
// the accelerated transform runs too (bit 7), to be compared with the SSE2 one; byte 1 which
// output formats to convert to (bit i: format i of the command line's `decode --format` list).
// The rest is cut into records at the picture start codes (00 00 01 F8 / F9), as a reader
// delivers them; at most 8 of them are decoded, in turn, onto one picture per transform path
// (update pictures keep what the ones before them drew), and through the record pipeline with its
// reference picture per channel.
#include <array>
#include <vector>

#include "codec/color_convert.h"
#include "codec/record_pipeline.h"
#include "codec/video_decoder.h"
#include "codec/yuv_picture.h"
#include "fuzz_input.h"
#include "media/frame_record.h"

namespace {

using namespace tamlorex;
using tamlorex::fuzz::ExactCopy;
using tamlorex::fuzz::FuzzInput;

constexpr int kMaxRecords = 8;

struct Decoding {
    DecodePathOverride path;
    VideoDecoder decoder;
    std::unique_ptr<std::uint8_t[]> picture;  // exactly YuvPictureSize(width, height) bytes
    std::uint32_t width = 0, height = 0;
};

// Offsets of the picture start codes in data, and the end.
std::vector<std::size_t> RecordStarts(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::size_t> starts;
    if (size == 0) return starts;
    starts.push_back(0);
    for (std::size_t i = 1; i + 3 < size && starts.size() <= kMaxRecords; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && (data[i + 3] == kVideoUpdateType || data[i + 3] == kVideoFullType))
            starts.push_back(i);
    if (starts.size() > kMaxRecords) starts.resize(kMaxRecords);
    return starts;
}

std::unique_ptr<std::uint8_t[]> NewBlock(std::size_t size) { return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]()); }

using Converter = bool (*)(std::uint8_t*, const std::uint8_t*, int, int);
using ReadBack = bool (*)(std::uint8_t*, const std::uint8_t*, int, int);

struct Format {
    const char* name;
    std::size_t bytesPerPixel;  // 0: the YUV picture itself
    int lines;                  // output lines per picture line
    Converter convert;
    Converter plain;            // the table-driven twin, or nullptr
    ReadBack readBack;          // back to bottom-up 24-bit lines, or nullptr
};

const Format kFormats[] = {
    {"yuv", 0, 1, nullptr, nullptr, nullptr},
    {"rgb555", 2, 1, ConvertToRgb555, nullptr, ReadBackRgb555ToDib24},
    {"rgb565", 2, 1, ConvertToRgb565, nullptr, ReadBackRgb565ToDib24},
    {"bgr565", 2, 1, ConvertToBgr565, nullptr, ReadBackBgr565ToDib24},
    {"rgb24", 3, 1, ConvertToRgb24, ConvertToRgb24Plain, ReadBackRgb24ToDib24},
    {"rgb32", 4, 1, ConvertToRgb32, ConvertToRgb32Plain, ReadBackRgb32ToDib24},
    {"dib24", 3, 1, ConvertToDib24, ConvertToDib24Plain, nullptr},
    {"dib24x2", 3, 2, ConvertToDib24DoubleHeight, ConvertToDib24DoubleHeightPlain, nullptr},
};

// Every chosen conversion of one picture, as the command line converts by name; the table-driven
// converters give the same bytes as the ones it runs.
void ConvertAll(const std::uint8_t* yuv, int width, int height, std::uint8_t chosen)
{
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    for (std::size_t f = 0; f < std::size(kFormats); ++f) {
        if (((chosen >> f) & 1) == 0) continue;
        const Format& format = kFormats[f];
        std::vector<std::uint8_t> byName;
        const bool named = ConvertPictureForFormat(format.name, yuv, width, height, byName);
        FUZZ_CHECK(named == (width > 0 && height > 0 && width % 2 == 0 && height % 2 == 0));
        if (format.convert == nullptr || !named) continue;
        const std::size_t size = pixels * format.bytesPerPixel * format.lines;
        // A fresh vector's block is exactly the output's size, as the twin's is.
        FUZZ_CHECK(byName.size() == size);
        if (format.plain != nullptr) {
            auto twin = NewBlock(size);
            FUZZ_CHECK(format.plain(twin.get(), yuv, width, height));
            FUZZ_CHECK(std::equal(byName.begin(), byName.end(), twin.get()));
        }
        if (format.readBack != nullptr) {
            auto back = NewBlock(pixels * 3);
            FUZZ_CHECK(format.readBack(back.get(), byName.data(), width, height));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();
    const int model = (flags & 0x7F) % kModelTypeCount;
    const bool scalarToo = (flags & 0x80) != 0;
    const std::uint8_t formats = in.Byte();
    const std::uint8_t* stream = in.Rest();
    const std::size_t streamSize = in.RestSize();

    std::array<Decoding, 3> decodings{{{DecodePathOverride::kPlain, {}, {}, 0, 0},
                                       {DecodePathOverride::kAccel, {}, {}, 0, 0},
                                       {DecodePathOverride::kAccelScalar, {}, {}, 0, 0}}};
    for (Decoding& d : decodings) {
        d.decoder.SetDecodePathOverride(d.path);
        d.decoder.Init(model);
    }

    // The path playback, the live view and the export decode through: one reference per channel.
    RecordPipeline pipeline;
    pipeline.SetDecodePathOverride(DecodePathOverride::kPlain);
    pipeline.Init(model);

    const std::vector<std::size_t> starts = RecordStarts(stream, streamSize);
    for (std::size_t r = 0; r < starts.size(); ++r) {
        const std::size_t end = r + 1 < starts.size() ? starts[r + 1] : streamSize;
        const auto length = static_cast<std::uint32_t>(end - starts[r]);
        const auto record = ExactCopy(stream + starts[r], length);
        for (Decoding& d : decodings) {
            if (d.path == DecodePathOverride::kAccelScalar && !scalarToo) continue;
            const std::uint32_t stop = d.decoder.ParseHeader(record.get(), length);
            if (stop == 0) continue;
            FUZZ_CHECK(stop <= length);
            const std::uint32_t w = d.decoder.Width(), h = d.decoder.Height();
            FUZZ_CHECK(YuvPictureSize(w, h) <= kYuvPictureBufferSize);
            if (w != d.width || h != d.height || !d.picture) {
                d.width = w;
                d.height = h;
                d.picture = NewBlock(YuvPictureSize(w, h));
            }
            if (d.decoder.Decode(record.get(), length, YuvPicture(d.picture.get(), YuvPictureSize(w, h))) == 0) continue;
            if (RulesFor(model).layout == HeaderLayout::kD && d.decoder.DualFlag() != 0) {
                const std::size_t half = YuvPictureSize(w / 2, h);
                auto left = NewBlock(half), right = NewBlock(half);
                const bool split = VideoDecoder::SplitDualPicture(ConstYuvPicture(d.picture.get(), YuvPictureSize(w, h)), w,
                                                                  h, YuvPicture(left.get(), half), YuvPicture(right.get(), half));
                FUZZ_CHECK(split == (w % 4 == 0 && h % 2 == 0));
            }
        }
        if (pipeline.Parse(record.get(), length) && pipeline.Decode(record.get(), length)) {
            pipeline.ShowsAny(0xFFFF, pipeline.Channel());
            VisiblePicture shown[2];
            const int n = pipeline.Visible(shown);
            FUZZ_CHECK(n >= 0 && n <= (pipeline.Dual() ? 2 : 1));
            for (int i = 0; i < n; ++i) {
                FUZZ_CHECK(shown[i].channel >= 0 && shown[i].channel < kMaxChannels && shown[i].yuv != nullptr);
                FUZZ_CHECK(shown[i].width == (pipeline.Dual() ? pipeline.Width() / 2 : pipeline.Width()));
                FUZZ_CHECK(shown[i].height == pipeline.Height());
            }
        }
        // The two accelerated transforms share their arithmetic: same records, same pictures.
        const Decoding& sse = decodings[1];
        const Decoding& scalar = decodings[2];
        if (!scalarToo) continue;
        FUZZ_CHECK(sse.width == scalar.width && sse.height == scalar.height);
        if (sse.picture && scalar.picture)
            FUZZ_CHECK(std::equal(sse.picture.get(), sse.picture.get() + YuvPictureSize(sse.width, sse.height),
                                  scalar.picture.get()));
    }

    const Decoding& plain = decodings[0];
    if (plain.picture)
        ConvertAll(plain.picture.get(), static_cast<int>(plain.width), static_cast<int>(plain.height), formats);
    return 0;
}
