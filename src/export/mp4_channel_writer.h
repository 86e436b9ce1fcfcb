#pragma once
// One output file of an export as MP4: H.264 (libx264 when the linked FFmpeg has it, MPEG-4
// Part 2 otherwise) or a chosen encoder of either, with AAC sound (PCM when this build has no
// AAC encoder and the muxer takes it; none when neither). The index goes to the front of the file
// when it is finished, so that a player can start before the whole file has arrived. Room for the
// index is claimed with every packet: on a full disk or at a file-size limit the packet is refused
// whole and the file is still finished with every frame before it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "export/claimed_output.h"
#include "export/compress_options.h"
#include "export/export_writer.h"

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace tamlorex {

// The video encoder an MP4 export uses for `handler`: the handler itself when it names an H.264
// or MPEG-4 Part 2 encoder this build has, else "libx264" when present, else "mpeg4" ("" when
// neither is).
std::string Mp4VideoEncoder(const std::string& handler);
// The sound encoder of an MP4 export: "aac", else "pcm_s16le" when the muxer takes it, else "".
std::string Mp4SoundEncoder();

class Mp4ChannelWriter : public ExportWriter {
public:
    Mp4ChannelWriter() = default;
    ~Mp4ChannelWriter() override;
    Mp4ChannelWriter(const Mp4ChannelWriter&) = delete;
    Mp4ChannelWriter& operator=(const Mp4ChannelWriter&) = delete;

    // Creates the file with a video stream of `video`'s size (24 bits, bottom-up) at rate / scale
    // frames per second through Mp4VideoEncoder(options.handler), and a sound stream when `sound`
    // (and this build can code sound for MP4). False, with nothing left behind, when any step
    // fails.
    bool Open(const std::string& path, const BitmapFormat& video, std::uint64_t rate, std::uint64_t scale,
              bool sound, const CompressOptions& options, int threads);

    bool IsOpen() const override { return context_ != nullptr; }
    bool WriteFrame(std::int64_t index, const std::uint8_t* picture) override;
    bool WriteSound(const std::uint8_t* bytes, std::size_t length) override;
    bool CloseFile() override;
    void DiscardFile() override;
    const BitmapFormat& VideoFormat() const override { return format_; }
    std::int64_t FramesWritten() const override { return framesWritten_; }
    int LastErrno() const override { return lastErrno_; }

    bool SoundEnabled() const { return soundEncoder_ != nullptr; }
    const std::string& VideoEncoderName() const { return videoName_; }
    const std::string& SoundEncoderName() const { return soundName_; }

private:
    bool OpenVideo(const CompressOptions& options, int threads, std::uint64_t rate, std::uint64_t scale);
    bool OpenSound();
    // Sends the gathered samples (all, or whole encoder frames only) to the sound encoder.
    bool FlushSound(bool all);
    bool Drain(AVCodecContext* encoder, AVStream* stream);
    void Fail(int averror);
    void Free();

    AVFormatContext* context_ = nullptr;
    // The file, with room claimed for each packet and for the index written at the end.
    ClaimedOutput out_;
    std::uint64_t headerEnd_ = 0;  // bytes before the first packet
    std::uint64_t payload_ = 0;    // bytes of the packets handed to the muxer
    std::uint64_t packets_ = 0;
    AVStream* videoStream_ = nullptr;
    AVStream* soundStream_ = nullptr;
    AVCodecContext* videoEncoder_ = nullptr;
    AVCodecContext* soundEncoder_ = nullptr;
    SwsContext* scaler_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* soundFrame_ = nullptr;
    AVPacket* packet_ = nullptr;
    BitmapFormat format_;
    std::string path_;
    std::string videoName_;
    std::string soundName_;
    std::vector<std::uint8_t> pending_;  // 8-bit samples not yet coded
    std::int64_t soundSamples_ = 0;       // samples handed to the sound encoder
    std::int64_t framesWritten_ = 0;
    std::int64_t lastIndex_ = -1;
    bool headerWritten_ = false;
    bool failed_ = false;
    int lastErrno_ = 0;
};

}  // namespace tamlorex
