#include "export/mp4_channel_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
#include <libswscale/swscale.h>
}

namespace tamlorex {
namespace {

constexpr int kSoundRate = 8000;
constexpr int kSoundBitRate = 32000;
// Samples per sound packet of an encoder that takes any number (PCM).
constexpr int kPcmFrameSamples = 1024;
// libx264: its speed preset and the constant rate factor of the default quality.
constexpr char kX264Preset[] = "veryfast";
constexpr int kDefaultCrf = 23;
// A key frame every two seconds of the file (at most 250 pictures apart), so that a player
// seeks without decoding far.
constexpr double kKeyFrameSeconds = 2.0;
constexpr int kMaxKeyFrameDistance = 250;
// What the finished file's index (the moov box) may need: a fixed part and, per packet, its size,
// time, composition offset, chunk offset and sample-to-chunk entries at worst.
constexpr std::uint64_t kIndexBase = 64 * 1024;
constexpr std::uint64_t kIndexPerPacket = 48;

bool IsMp4VideoCodec(const AVCodec* codec)
{
    return codec && av_codec_is_encoder(codec) &&
           (codec->id == AV_CODEC_ID_H264 || codec->id == AV_CODEC_ID_MPEG4) &&
           !(codec->capabilities & AV_CODEC_CAP_HARDWARE) && !(codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL);
}

// Compressor quality 0..10000 to MPEG-4 Part 2's quantiser 31..1; the default is quantiser 4.
int Mp4Quantiser(int quality)
{
    if (quality < 0) return 4;
    return 31 - std::min(quality, kMaxQuality) * 30 / kMaxQuality;
}

// Compressor quality 0..10000 to libx264's rate factor 51..0.
int X264RateFactor(int quality)
{
    if (quality < 0) return kDefaultCrf;
    return 51 - std::min(quality, kMaxQuality) * 51 / kMaxQuality;
}

bool TakesRate(const AVCodec* codec, int rate)
{
    if (!codec->supported_samplerates) return true;
    for (const int* r = codec->supported_samplerates; *r != 0; ++r)
        if (*r == rate) return true;
    return false;
}

AVSampleFormat SoundFormat(const AVCodec* codec)
{
    const AVSampleFormat wanted[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P};
    if (!codec->sample_fmts) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        for (const AVSampleFormat w : wanted)
            if (*f == w) return w;
    return AV_SAMPLE_FMT_NONE;
}

}  // namespace

std::string Mp4VideoEncoder(const std::string& handler)
{
    if (!handler.empty() && IsMp4VideoCodec(avcodec_find_encoder_by_name(handler.c_str()))) return handler;
    for (const char* name : {"libx264", "mpeg4"})
        if (IsMp4VideoCodec(avcodec_find_encoder_by_name(name))) return name;
    return std::string();
}

std::string Mp4SoundEncoder()
{
    const AVCodec* aac = avcodec_find_encoder_by_name("aac");
    if (aac && TakesRate(aac, kSoundRate) && SoundFormat(aac) != AV_SAMPLE_FMT_NONE) return "aac";
    const AVOutputFormat* mp4 = av_guess_format("mp4", nullptr, nullptr);
    if (mp4 && avformat_query_codec(mp4, AV_CODEC_ID_PCM_S16LE, FF_COMPLIANCE_NORMAL) == 1 &&
        avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE))
        return "pcm_s16le";
    return std::string();
}

Mp4ChannelWriter::~Mp4ChannelWriter() { CloseFile(); }

void Mp4ChannelWriter::Fail(int averror)
{
    failed_ = true;
    // FFmpeg carries the file system's errno negated.
    if (lastErrno_ == 0 && averror < 0 && -averror < 4096) lastErrno_ = -averror;
}

bool Mp4ChannelWriter::Open(const std::string& path, const BitmapFormat& video, std::uint64_t rate,
                            std::uint64_t scale, bool sound, const CompressOptions& options, int threads)
{
    // Failures come back as results; the encoders' notes would only clutter standard error.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    CloseFile();
    lastErrno_ = 0;
    framesWritten_ = 0;
    format_ = video;
    format_.bitCount = 24;
    format_.compression = kBiRgb;
    format_.sizeImage = 3u * static_cast<std::uint32_t>(video.width) * static_cast<std::uint32_t>(video.height);
    path_ = path;
    FitRateAndScale(rate, scale);
    // 4:2:0 pictures need even sides.
    if (video.width <= 0 || video.height <= 0 || video.width % 2 != 0 || video.height % 2 != 0 ||
        avformat_alloc_output_context2(&context_, nullptr, "mp4", path.c_str()) < 0 || !context_) {
        Free();
        return false;
    }
    packet_ = av_packet_alloc();
    if (!packet_ || !OpenVideo(options, threads, rate, scale) || (sound && !OpenSound())) {
        Free();
        return false;
    }
    if (!out_.Create(path)) {
        const int error = out_.LastErrno();
        Free();
        lastErrno_ = error;
        return false;
    }
    context_->pb = out_.Io();
    context_->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* flags = nullptr;
    av_dict_set(&flags, "movflags", "+faststart", 0);
    const int written = avformat_write_header(context_, &flags);
    av_dict_free(&flags);
    if (written < 0) {
        DiscardFile();
        return false;
    }
    headerWritten_ = true;
    headerEnd_ = out_.Flushed();
    payload_ = packets_ = 0;
    return true;
}

bool Mp4ChannelWriter::OpenVideo(const CompressOptions& options, int threads, std::uint64_t rate, std::uint64_t scale)
{
    videoName_ = Mp4VideoEncoder(options.handler);
    const AVCodec* codec = videoName_.empty() ? nullptr : avcodec_find_encoder_by_name(videoName_.c_str());
    if (!codec) return false;
    videoStream_ = avformat_new_stream(context_, nullptr);
    videoEncoder_ = avcodec_alloc_context3(codec);
    if (!videoStream_ || !videoEncoder_) return false;
    const AVRational frame{static_cast<int>(scale), static_cast<int>(rate)};
    AVRational base = frame;
    // MPEG-4 Part 2 counts time in 16 bits: the closest fraction that fits.
    if (codec->id == AV_CODEC_ID_MPEG4 && base.den > 65535) av_reduce(&base.num, &base.den, frame.num, frame.den, 65535);
    AVCodecContext* e = videoEncoder_;
    e->width = format_.width;
    e->height = format_.height;
    e->pix_fmt = AV_PIX_FMT_YUV420P;
    e->time_base = base;
    e->framerate = av_inv_q(base);
    e->sample_aspect_ratio = AVRational{1, 1};
    e->thread_count = std::max(threads, 1);
    const double fps = av_q2d(av_inv_q(base));
    // The export's compressor choice keys every picture, as AVI players expect; an MP4 file
    // keys every two seconds instead.
    e->gop_size = std::clamp(static_cast<int>(fps * kKeyFrameSeconds + 0.5), 1, kMaxKeyFrameDistance);
    if (context_->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (codec->id == AV_CODEC_ID_H264 && videoName_ == "libx264") {
        av_opt_set(e->priv_data, "preset", kX264Preset, 0);
        if (options.bytesPerSecond > 0) e->bit_rate = static_cast<std::int64_t>(options.bytesPerSecond) * 8;
        else av_opt_set_int(e->priv_data, "crf", X264RateFactor(options.quality), 0);
    } else if (options.bytesPerSecond > 0) {
        e->bit_rate = static_cast<std::int64_t>(options.bytesPerSecond) * 8;
    } else {
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * Mp4Quantiser(options.quality);
    }
    if (avcodec_open2(e, codec, nullptr) < 0) return false;
    if (avcodec_parameters_from_context(videoStream_->codecpar, e) < 0) return false;
    videoStream_->time_base = e->time_base;
    videoStream_->avg_frame_rate = e->framerate;

    frame_ = av_frame_alloc();
    if (!frame_) return false;
    frame_->format = e->pix_fmt;
    frame_->width = e->width;
    frame_->height = e->height;
    if (av_frame_get_buffer(frame_, 0) < 0) return false;
    scaler_ = sws_getContext(e->width, e->height, AV_PIX_FMT_BGR24, e->width, e->height, e->pix_fmt, SWS_BILINEAR,
                             nullptr, nullptr, nullptr);
    if (!scaler_) return false;
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler_, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool Mp4ChannelWriter::OpenSound()
{
    soundName_ = Mp4SoundEncoder();
    // No encoder for MP4 sound in this build: the pictures go without it.
    if (soundName_.empty()) return true;
    const AVCodec* codec = avcodec_find_encoder_by_name(soundName_.c_str());
    const AVSampleFormat sampleFormat = codec ? SoundFormat(codec) : AV_SAMPLE_FMT_NONE;
    if (sampleFormat == AV_SAMPLE_FMT_NONE) return false;
    soundStream_ = avformat_new_stream(context_, nullptr);
    soundEncoder_ = avcodec_alloc_context3(codec);
    if (!soundStream_ || !soundEncoder_) return false;
    AVCodecContext* e = soundEncoder_;
    e->sample_fmt = sampleFormat;
    e->sample_rate = kSoundRate;
    av_channel_layout_default(&e->ch_layout, 1);
    e->time_base = AVRational{1, kSoundRate};
    if (codec->id == AV_CODEC_ID_AAC) e->bit_rate = kSoundBitRate;
    if (context_->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(e, codec, nullptr) < 0) return false;
    if (avcodec_parameters_from_context(soundStream_->codecpar, e) < 0) return false;
    soundStream_->time_base = e->time_base;
    soundFrame_ = av_frame_alloc();
    return soundFrame_ != nullptr;
}

bool Mp4ChannelWriter::Drain(AVCodecContext* encoder, AVStream* stream)
{
    for (;;) {
        const int got = avcodec_receive_packet(encoder, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) {
            Fail(got);
            return false;
        }
        av_packet_rescale_ts(packet_, encoder->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        // Room for everything handed over so far (the muxer may still hold some of it), this
        // packet and the index of every packet.
        const std::uint64_t need = headerEnd_ + payload_ + static_cast<std::uint64_t>(packet_->size) + kIndexBase +
                                   (packets_ + 1) * kIndexPerPacket;
        if (!out_.Reserve(need)) {
            av_packet_unref(packet_);
            Fail(AVERROR(out_.LastErrno()));
            return false;
        }
        payload_ += static_cast<std::uint64_t>(packet_->size);
        ++packets_;
        const bool picture = stream == videoStream_;
        const int written = av_interleaved_write_frame(context_, packet_);
        av_packet_unref(packet_);
        if (written < 0) {
            Fail(written);
            return false;
        }
        if (picture) ++framesWritten_;
    }
}

bool Mp4ChannelWriter::WriteFrame(std::int64_t index, const std::uint8_t* picture)
{
    if (failed_ || !headerWritten_ || !picture || index <= lastIndex_) return false;
    if (av_frame_make_writable(frame_) < 0) {
        Fail(0);
        return false;
    }
    const int stride = format_.width * 3;
    // Bottom-up rows: start at the last one and walk upwards.
    const std::uint8_t* top[1] = {picture + static_cast<std::size_t>(format_.height - 1) * static_cast<std::size_t>(stride)};
    const int strides[1] = {-stride};
    sws_scale(scaler_, top, strides, 0, format_.height, frame_->data, frame_->linesize);
    frame_->pts = index;
    const int sent = avcodec_send_frame(videoEncoder_, frame_);
    if (sent < 0) {
        Fail(sent);
        return false;
    }
    if (!Drain(videoEncoder_, videoStream_)) return false;
    lastIndex_ = index;
    return true;
}

bool Mp4ChannelWriter::WriteSound(const std::uint8_t* bytes, std::size_t length)
{
    if (!soundEncoder_) return true;
    if (failed_ || !headerWritten_) return false;
    pending_.insert(pending_.end(), bytes, bytes + length);
    return FlushSound(false);
}

bool Mp4ChannelWriter::FlushSound(bool all)
{
    const int frameSamples = soundEncoder_->frame_size > 0 ? soundEncoder_->frame_size : kPcmFrameSamples;
    const bool anySize = (soundEncoder_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ||
                         (soundEncoder_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) ||
                         soundEncoder_->frame_size == 0;
    std::size_t used = 0;
    while (pending_.size() - used >= static_cast<std::size_t>(frameSamples) || (all && used < pending_.size())) {
        int samples = static_cast<int>(std::min<std::size_t>(pending_.size() - used, frameSamples));
        // An encoder that takes whole frames only gets the last one padded with silence.
        const bool pad = samples < frameSamples && !anySize;
        av_frame_unref(soundFrame_);
        soundFrame_->format = soundEncoder_->sample_fmt;
        soundFrame_->sample_rate = kSoundRate;
        soundFrame_->nb_samples = pad ? frameSamples : samples;
        if (av_channel_layout_copy(&soundFrame_->ch_layout, &soundEncoder_->ch_layout) < 0 ||
            av_frame_get_buffer(soundFrame_, 0) < 0) {
            Fail(0);
            return false;
        }
        const std::uint8_t* in = pending_.data() + used;
        const AVSampleFormat f = soundEncoder_->sample_fmt;
        for (int i = 0; i < soundFrame_->nb_samples; ++i) {
            const int centred = i < samples ? int{in[i]} - 128 : 0;  // 8-bit sound is unsigned
            if (f == AV_SAMPLE_FMT_FLTP || f == AV_SAMPLE_FMT_FLT)
                reinterpret_cast<float*>(soundFrame_->data[0])[i] = static_cast<float>(centred) / 128.0f;
            else
                reinterpret_cast<std::int16_t*>(soundFrame_->data[0])[i] = static_cast<std::int16_t>(centred * 256);
        }
        soundFrame_->pts = soundSamples_;
        soundSamples_ += soundFrame_->nb_samples;
        used += static_cast<std::size_t>(samples);
        const int sent = avcodec_send_frame(soundEncoder_, soundFrame_);
        if (sent < 0) {
            Fail(sent);
            return false;
        }
        if (!Drain(soundEncoder_, soundStream_)) return false;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
    return true;
}

bool Mp4ChannelWriter::CloseFile()
{
    if (!context_) {
        Free();
        return true;
    }
    bool ok = !failed_;
    if (headerWritten_ && !failed_) {
        if (soundEncoder_) {
            ok = FlushSound(true) && ok;
            if (ok && avcodec_send_frame(soundEncoder_, nullptr) >= 0) ok = Drain(soundEncoder_, soundStream_);
        }
        if (ok && avcodec_send_frame(videoEncoder_, nullptr) >= 0) ok = Drain(videoEncoder_, videoStream_);
    }
    if (headerWritten_) {
        const int trailer = av_write_trailer(context_);
        if (trailer < 0) {
            Fail(trailer);
            ok = false;
        }
    }
    if (context_->pb && context_->pb->error < 0) {
        Fail(context_->pb->error);
        ok = false;
    }
    if (!out_.Finish()) {
        Fail(AVERROR(out_.LastErrno()));
        ok = false;
    }
    const int error = lastErrno_;
    Free();
    lastErrno_ = error;
    return ok;
}

void Mp4ChannelWriter::DiscardFile()
{
    out_.Discard();
    Free();
}

void Mp4ChannelWriter::Free()
{
    avcodec_free_context(&videoEncoder_);
    avcodec_free_context(&soundEncoder_);
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_frame_free(&frame_);
    av_frame_free(&soundFrame_);
    av_packet_free(&packet_);
    // The I/O context belongs to the output, finished or discarded by now.
    out_.Discard();
    if (context_) context_->pb = nullptr;
    if (context_) avformat_free_context(context_);
    context_ = nullptr;
    videoStream_ = nullptr;
    soundStream_ = nullptr;
    pending_.clear();
    soundSamples_ = 0;
    lastIndex_ = -1;
    headerWritten_ = false;
    failed_ = false;
    lastErrno_ = 0;
    path_.clear();
}

}  // namespace tamlorex
