#pragma once
// Shared pieces of the export tests: running ffprobe and ffmpeg, and small recordings.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "media/vvf_builder.h"
#include "run_command.h"
#include "sim/picture_encoder.h"

namespace tamlorex::test {

// The streams of a file as ffprobe reads them (frames and packets counted), in one run: fields
// under "<index>.<field>" and, for the first video and sound streams, "v.<field>" and "a.<field>".
// Missing fields read as "".
class ProbeResult {
public:
    explicit ProbeResult(const std::string& file)
    {
        const std::string out = RunCommand(
            "ffprobe -v error -count_frames -count_packets -show_entries "
            "stream=index,codec_type,codec_name,codec_tag_string,width,height,pix_fmt,r_frame_rate,sample_rate,"
            "channels,bits_per_sample,nb_read_frames,nb_read_packets,duration:format=format_name,duration "
            "-of flat '" + file + "' 2>/dev/null");
        std::istringstream in(out);
        std::map<std::string, std::string> byIndex;
        for (std::string line; std::getline(in, line);) {
            // streams.stream.N.field="value" or =value; format.field: the file's as "f.<field>"
            const std::string prefix = "streams.stream.";
            const bool format = line.rfind("format.", 0) == 0;
            if (line.rfind(prefix, 0) != 0 && !format) continue;
            const std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
            if (format) byIndex["f." + line.substr(7, eq - 7)] = value;
            else byIndex[line.substr(prefix.size(), eq - prefix.size())] = value;
        }
        fields_ = byIndex;
        for (const char* kind : {"video", "audio"}) {
            for (int i = 0; i < 8; ++i) {
                auto type = byIndex.find(std::to_string(i) + ".codec_type");
                if (type == byIndex.end() || type->second != kind) continue;
                const std::string from = std::to_string(i) + ".";
                const std::string to = kind[0] == 'v' ? "v." : "a.";
                for (const auto& [key, value] : byIndex)
                    if (key.rfind(from, 0) == 0) fields_[to + key.substr(from.size())] = value;
                break;
            }
        }
    }
    std::string operator[](const std::string& key) const
    {
        auto it = fields_.find(key);
        return it == fields_.end() ? std::string() : it->second;
    }
    // A field read as a number of seconds (or a count); -1 when it is missing or not a number.
    double Number(const std::string& key) const
    {
        const std::string text = (*this)[key];
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        return text.empty() || *end != '\0' ? -1.0 : value;
    }

private:
    std::map<std::string, std::string> fields_;
};

// Key-frame flags (AVIIF_KEYFRAME) of the video chunks in the file's idx1 index, in order.
inline std::string IndexKeyFlags(const std::string& file)
{
    const Bytes bytes = ReadFile(file);
    std::string flags;
    for (std::size_t i = 0; i + 8 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "idx1", 4) != 0) continue;
        const std::size_t size = bytes[i + 4] | (bytes[i + 5] << 8) | (bytes[i + 6] << 16) | (std::size_t{bytes[i + 7]} << 24);
        for (std::size_t e = i + 8; e + 16 <= bytes.size() && e < i + 8 + size; e += 16)
            if (bytes[e + 2] == 'd' && bytes[e + 3] == 'c') flags += (bytes[e + 4] & 0x10) ? 'K' : '_';
        break;
    }
    return flags;
}

// True when ffprobe reads the whole file (headers, index and every packet) without complaint.
inline bool ReadsCleanly(const std::string& file)
{
    int status = -1;
    const std::string errors = RunCommand("ffmpeg -v error -i '" + file + "' -f null - 2>&1", &status);
    return status == 0 && errors.empty();
}

// Picture `n` (0-based) of the file's video as top-down BGR24, as ffmpeg decodes it.
inline std::vector<std::uint8_t> DecodeFrame(const std::string& file, int n, const std::string& scratch)
{
    const std::string command = "ffmpeg -v error -y -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(n) +
                                ")' -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + scratch + "'";
    int status = -1;
    RunCommand(command, &status);
    if (status != 0) return {};
    return ReadFile(scratch);
}

// A picture record of the recorder's format: a flat picture of luma y on `channel`.
inline Bytes PictureRecord(int channel, int height, std::uint8_t y = 100, bool full = true)
{
    sim::PictureHeader header;
    header.channel = channel;
    header.full = full;
    sim::YuvImage picture(sim::kPictureWidth, height, y);
    return sim::EncodePicture(header, picture).record;
}

}  // namespace tamlorex::test
