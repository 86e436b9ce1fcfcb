#include "sim/yuv_records.h"

#include <cstdio>
#include <memory>

#include "sim/scene.h"

namespace tamlorex::sim {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f != stdin && f != stdout) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::string& path, bool write)
{
    if (path == "-") return File(write ? stdout : stdin);
    return File(std::fopen(path.c_str(), write ? "wb" : "rb"));
}

bool Fail(std::string& error, std::string text)
{
    error = std::move(text);
    return false;
}

// Closes a written file and reports a failed flush, which is where a full disk shows.
bool Finish(File file, const std::string& path, std::string& error)
{
    std::FILE* f = file.release();
    const bool ok = f == stdout ? std::fflush(f) == 0 : std::fclose(f) == 0;
    return ok || Fail(error, "cannot write " + path);
}

bool CheckSize(int width, int height, std::string& error)
{
    if (width != kPictureWidth || (height != kShortHeight && height != kTallHeight))
        return Fail(error, "size must be 640x224 or 640x272");
    return true;
}

}  // namespace

void AppendRecord(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> record)
{
    const auto length = static_cast<std::uint32_t>(record.size());
    for (std::size_t i = 0; i < kRecordLengthBytes; ++i) out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    out.insert(out.end(), record.begin(), record.end());
}

bool SplitRecords(std::span<const std::uint8_t> file, std::vector<std::vector<std::uint8_t>>& records, std::string& error)
{
    records.clear();
    std::size_t at = 0;
    while (at < file.size()) {
        if (file.size() - at < kRecordLengthBytes)
            return Fail(error, "length prefix cut off at byte " + std::to_string(at));
        std::uint32_t length = 0;
        for (std::size_t i = 0; i < kRecordLengthBytes; ++i) length |= std::uint32_t{file[at + i]} << (8 * i);
        at += kRecordLengthBytes;
        if (file.size() - at < length)
            return Fail(error, "record " + std::to_string(records.size()) + " cut off at byte " + std::to_string(at));
        records.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                             file.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return true;
}

bool WriteSceneFrames(const std::string& path, const SceneFramesOptions& o, std::string& error)
{
    if (!CheckSize(o.width, o.height, error)) return false;
    if (o.frames < 1) return Fail(error, "frames must be at least 1");
    if (o.channels < 1 || o.channels > 16) return Fail(error, "channels must be 1..16");
    if (!(o.framesPerSecond > 0)) return Fail(error, "frame rate must be above 0");
    File file = Open(path, true);
    if (!file) return Fail(error, "cannot create " + path);

    std::vector<Scene> scenes;
    for (int c = 0; c < o.channels; ++c) scenes.emplace_back(c, o.width, o.height);
    YuvImage picture;
    for (int i = 0; i < o.frames; ++i) {
        const double seconds = i / o.framesPerSecond;
        scenes[static_cast<std::size_t>(i % o.channels)].Render(seconds, 9 * 3600 + static_cast<std::uint32_t>(seconds), picture);
        if (std::fwrite(picture.data.data(), 1, picture.data.size(), file.get()) != picture.data.size())
            return Fail(error, "cannot write " + path);
    }
    return Finish(std::move(file), path, error);
}

bool EncodeYuvFile(const std::string& in, const std::string& out, const YuvEncodeOptions& o, YuvEncodeSummary& s,
                   std::string& error)
{
    s = YuvEncodeSummary{};
    if (!CheckSize(o.width, o.height, error)) return false;
    if (o.quantiserScale < 1 || o.quantiserScale > kMaxQuantiserScale) return Fail(error, "quantiser scale must be 1..14");
    File input = Open(in, false);
    if (!input) return Fail(error, "cannot open " + in);
    File output = Open(out, true);
    if (!output) return Fail(error, "cannot create " + out);

    PictureHeader header;
    header.modelType = o.modelType;
    header.channel = o.channel;
    header.quantiserScale = o.quantiserScale;
    header.full = true;
    YuvImage picture(o.width, o.height);
    std::vector<std::uint8_t> framed;
    for (;;) {
        const std::size_t got = std::fread(picture.data.data(), 1, picture.data.size(), input.get());
        if (got == 0 && std::feof(input.get())) break;
        if (got != picture.data.size())
            return Fail(error, std::ferror(input.get()) ? "cannot read " + in
                                                        : "partial frame " + std::to_string(s.pictures) + " in " + in);
        const EncodeResult result = EncodePicture(header, picture);
        if (result.record.empty()) return Fail(error, "frame " + std::to_string(s.pictures) + " could not be encoded");
        framed.clear();
        AppendRecord(framed, result.record);
        if (std::fwrite(framed.data(), 1, framed.size(), output.get()) != framed.size())
            return Fail(error, "cannot write " + out);
        ++s.pictures;
        s.recordBytes += result.record.size();
        s.adjustments += result.adjustments;
    }
    return Finish(std::move(output), out, error);
}

}  // namespace tamlorex::sim
