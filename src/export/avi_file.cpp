#include "export/avi_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
#include <libswscale/swscale.h>
}

namespace tamlorex {
namespace {

// A packet's chunk header and padding, and a piece of the large-file index it may start.
constexpr std::uint64_t kPacketOverhead = 4096;
constexpr std::uint64_t kIndexEntryBytes = 32;
constexpr std::uint64_t kTrailerBytes = 64 * 1024;

// Compressor quality 0..10000 to a quantiser 31..1; the default quality is 9000 (quantiser 4).
constexpr int kQualityForDefault = 9000;
int QuantiserForQuality(int quality)
{
    if (quality < 0) quality = kQualityForDefault;
    if (quality > kMaxQuality) quality = kMaxQuality;
    return 31 - quality * 30 / kMaxQuality;
}

AVPixelFormat SourceFormat(int bitCount)
{
    switch (bitCount) {
    case 16: return AV_PIX_FMT_RGB555LE;
    case 24: return AV_PIX_FMT_BGR24;
    case 32: return AV_PIX_FMT_BGR0;
    default: return AV_PIX_FMT_NONE;
    }
}

bool IsFullRangeYuv(AVPixelFormat f)
{
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P ||
           f == AV_PIX_FMT_YUVJ440P || f == AV_PIX_FMT_YUVJ411P;
}

// The compressor's own pixel format: the source's when it takes it, else the first it lists.
AVPixelFormat TargetFormat(const AVCodec* codec, AVPixelFormat source)
{
    if (!codec->pix_fmts) return AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == source) return source;
    return codec->pix_fmts[0];
}

}  // namespace

void FitRateAndScale(std::uint64_t& rate, std::uint64_t& scale)
{
    if (rate == 0) rate = 1;
    if (scale == 0) scale = 1;
    if (rate <= INT_MAX && scale <= INT_MAX) return;
    const std::uint64_t divisor = std::gcd(rate, scale);
    rate /= divisor;
    scale /= divisor;
    if (rate <= INT_MAX && scale <= INT_MAX) return;
    // The closest fraction with both terms in range.
    int num = 0, den = 0;
    const std::uint64_t limit = INT_MAX;
    // av_reduce takes signed 64-bit terms; halve both until they are, which changes nothing visible.
    while (rate > static_cast<std::uint64_t>(INT64_MAX) || scale > static_cast<std::uint64_t>(INT64_MAX)) {
        rate >>= 1;
        scale >>= 1;
    }
    av_reduce(&num, &den, static_cast<std::int64_t>(rate), static_cast<std::int64_t>(scale),
              static_cast<std::int64_t>(limit));
    rate = num > 0 ? static_cast<std::uint64_t>(num) : 1;
    scale = den > 0 ? static_cast<std::uint64_t>(den) : 1;
}

// ---- AviVideoStream ----

std::int64_t AviVideoStream::Timestamp(std::int64_t index) const
{
    const AVRational frame{static_cast<int>(scale_), static_cast<int>(rate_)};
    return av_rescale_q(index, frame, stream_->time_base);
}

// ---- CompressedVideoStream ----

CompressedVideoStream::CompressedVideoStream(AviVideoStream& stream, const CompressOptions& options, int threads)
    : stream_(stream), options_(options), threads_(threads < 1 ? 1 : threads)
{
}

std::unique_ptr<CompressedVideoStream> CompressedVideoStream::Make(AviVideoStream& stream,
                                                                   const CompressOptions& options, int threads)
{
    std::unique_ptr<CompressedVideoStream> compressed(new CompressedVideoStream(stream, options, threads));
    // Cleared options (no handler) mean no compression, as "DIB " does.
    if (options.handler.empty() || options.handler == kUncompressedHandler) return compressed;
    const AVCodec* codec = avcodec_find_encoder_by_name(options.handler.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) return nullptr;
    compressed->uncompressed_ = false;
    compressed->encoderName_ = codec->name;
    return compressed;
}

CompressedVideoStream::~CompressedVideoStream()
{
    avcodec_free_context(&encoder_);
    sws_freeContext(scaler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

bool CompressedVideoStream::SetFormat(const BitmapFormat& format)
{
    if (formatSet_ || stream_.file_.IsWriting()) return false;
    const AVPixelFormat source = SourceFormat(format.bitCount);
    if (source == AV_PIX_FMT_NONE || format.compression != kBiRgb || format.width <= 0 || format.height <= 0 ||
        format.planes != 1)
        return false;
    width_ = format.width;
    height_ = format.height;
    sourceFormat_ = source;
    frameBytes_ = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * (format.bitCount / 8);
    packet_ = av_packet_alloc();
    if (!packet_) return false;

    AVStream* st = stream_.stream_;
    const AVRational frame{static_cast<int>(stream_.scale_), static_cast<int>(stream_.rate_)};
    st->time_base = frame;
    st->avg_frame_rate = av_inv_q(frame);
    st->r_frame_rate = st->avg_frame_rate;
    AVCodecParameters* par = st->codecpar;
    if (uncompressed_) {
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_RAWVIDEO;
        par->codec_tag = 0;  // BI_RGB
        par->format = source;
        par->width = width_;
        par->height = height_;
        par->bits_per_coded_sample = format.bitCount;
        formatSet_ = true;
        return true;
    }

    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName_.c_str());
    if (!codec) return false;
    encoder_ = avcodec_alloc_context3(codec);
    if (!encoder_) return false;
    const AVPixelFormat target = TargetFormat(codec, source);
    encoder_->width = width_;
    encoder_->height = height_;
    encoder_->pix_fmt = target;
    // Encoders that count time in 16 bits get the closest fraction that fits.
    AVRational base = frame;
    if (base.den > 65535) av_reduce(&base.num, &base.den, frame.num, frame.den, 65535);
    encoder_->time_base = base;
    encoder_->framerate = av_inv_q(frame);
    encoder_->gop_size = options_.keyFrameEvery > 0 ? static_cast<int>(options_.keyFrameEvery) : 12;
    encoder_->max_b_frames = 0;  // AVI has no room for reordered pictures
    encoder_->thread_count = threads_;
    if (IsFullRangeYuv(target)) encoder_->color_range = AVCOL_RANGE_JPEG;
    if (options_.bytesPerSecond > 0) {
        encoder_->bit_rate = static_cast<std::int64_t>(options_.bytesPerSecond) * 8;
    } else {
        encoder_->flags |= AV_CODEC_FLAG_QSCALE;
        encoder_->global_quality = FF_QP2LAMBDA * QuantiserForQuality(options_.quality);
    }
    if (avcodec_open2(encoder_, codec, nullptr) < 0) return false;
    if (avcodec_parameters_from_context(par, encoder_) < 0) return false;
    par->codec_tag = 0;  // the muxer's own code for the codec

    frame_ = av_frame_alloc();
    if (!frame_) return false;
    frame_->format = target;
    frame_->width = width_;
    frame_->height = height_;
    if (av_frame_get_buffer(frame_, 0) < 0) return false;
    scaler_ = sws_getContext(width_, height_, source, width_, height_, target, SWS_BILINEAR, nullptr, nullptr,
                             nullptr);
    if (!scaler_) return false;
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler_, coefficients, 1, coefficients, IsFullRangeYuv(target) ? 1 : 0, 0, 1 << 16,
                             1 << 16);
    formatSet_ = true;
    return true;
}

bool CompressedVideoStream::Write(std::int64_t index, const std::uint8_t* picture, std::size_t bytes, bool key)
{
    if (!formatSet_ || released_ || !picture || bytes != frameBytes_ || !stream_.file_.IsWriting()) return false;
    if (uncompressed_) {
        // The muxer only reads the packet: the caller's picture is written as it is.
        packet_->data = const_cast<std::uint8_t*>(picture);
        packet_->size = static_cast<int>(bytes);
        packet_->pts = packet_->dts = stream_.Timestamp(index);
        packet_->duration = stream_.Timestamp(index + 1) - packet_->pts;
        packet_->flags = key ? AV_PKT_FLAG_KEY : 0;
        packet_->stream_index = stream_.stream_->index;
        const bool ok = stream_.file_.WritePacket(packet_);
        packet_->data = nullptr;
        packet_->size = 0;
        return ok;
    }
    if (av_frame_make_writable(frame_) < 0) return false;
    const int stride = static_cast<int>(bytes / static_cast<std::size_t>(height_));
    // Bottom-up rows: start at the last one and walk upwards.
    const std::uint8_t* top[1] = {picture + static_cast<std::size_t>(height_ - 1) * static_cast<std::size_t>(stride)};
    const int strides[1] = {-stride};
    sws_scale(scaler_, top, strides, 0, height_, frame_->data, frame_->linesize);
    frame_->pts = index;
    frame_->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(encoder_, frame_) < 0) return false;
    return Drain();
}

bool CompressedVideoStream::Drain()
{
    for (;;) {
        const int got = avcodec_receive_packet(encoder_, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) return false;
        // The compressor counts pictures in its time base, one unit per picture.
        const std::int64_t index = packet_->pts;
        packet_->pts = stream_.Timestamp(index);
        packet_->dts = packet_->pts;
        packet_->duration = stream_.Timestamp(index + 1) - packet_->pts;
        packet_->stream_index = stream_.stream_->index;
        const bool ok = stream_.file_.WritePacket(packet_);
        av_packet_unref(packet_);
        if (!ok) {
            streamFailed_ = true;
            return false;
        }
    }
}

CompressedVideoStream::ReleaseResult CompressedVideoStream::Release()
{
    if (released_) return ReleaseResult::kOk;
    released_ = true;
    if (!encoder_ || !avcodec_is_open(encoder_) || !stream_.file_.IsWriting()) return ReleaseResult::kOk;
    if (avcodec_send_frame(encoder_, nullptr) < 0) return ReleaseResult::kCompressorFailed;
    streamFailed_ = false;
    if (!Drain()) return streamFailed_ ? ReleaseResult::kStreamFailed : ReleaseResult::kCompressorFailed;
    return ReleaseResult::kOk;
}

// ---- AviSoundStream ----

AviSoundStream::AviSoundStream(AviFile& file, AVStream* stream, const WaveFormat& format)
    : file_(file), stream_(stream), format_(format)
{
}

bool AviSoundStream::Write(std::int64_t sample, const std::uint8_t* bytes, std::size_t count)
{
    if (!file_.IsWriting() || !bytes || format_.blockAlign == 0) return false;
    const std::size_t samples = count / format_.blockAlign;
    if (samples == 0) return true;
    AVPacket* packet = av_packet_alloc();
    if (!packet) return false;
    const AVRational base{1, static_cast<int>(format_.samplesPerSec)};
    packet->data = const_cast<std::uint8_t*>(bytes);
    packet->size = static_cast<int>(samples * format_.blockAlign);
    packet->pts = packet->dts = av_rescale_q(sample, base, stream_->time_base);
    packet->duration = av_rescale_q(static_cast<std::int64_t>(samples), base, stream_->time_base);
    packet->flags = AV_PKT_FLAG_KEY;
    packet->stream_index = stream_->index;
    const bool ok = file_.WritePacket(packet);
    packet->data = nullptr;
    packet->size = 0;
    av_packet_free(&packet);
    return ok;
}

// ---- AviFile ----

AviFile::AviFile() = default;

AviFile::~AviFile() { Close(); }

bool AviFile::Create(const std::string& path)
{
    // Failures come back as results; FFmpeg's notes on the way would only clutter standard error.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    Close();
    lastErrno_ = 0;
    if (path.empty()) return false;
    if (avformat_alloc_output_context2(&context_, nullptr, "avi", path.c_str()) < 0 || !context_) {
        context_ = nullptr;
        return false;
    }
    // Our BI_RGB pictures are bottom-up, as a BITMAPINFOHEADER with a positive height says.
    av_opt_set_int(context_->priv_data, "flipped_raw_rgb", 1, 0);
    if (!out_.Create(path)) {
        lastErrno_ = out_.LastErrno();
        avformat_free_context(context_);
        context_ = nullptr;
        return false;
    }
    context_->pb = out_.Io();
    context_->flags |= AVFMT_FLAG_CUSTOM_IO;
    packets_ = 0;
    path_ = path;
    return true;
}

AviVideoStream* AviFile::CreateVideoStream(std::uint32_t rate, std::uint32_t scale)
{
    if (!context_ || writing_) return nullptr;
    std::uint64_t r = rate, s = scale;
    FitRateAndScale(r, s);
    AVStream* stream = avformat_new_stream(context_, nullptr);
    if (!stream) return nullptr;
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video_.emplace_back(new AviVideoStream(*this, stream, static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(s)));
    return video_.back().get();
}

AviSoundStream* AviFile::CreateSoundStream(const WaveFormat& format)
{
    if (!context_ || writing_) return nullptr;
    if (format.channels == 0 || format.samplesPerSec == 0 || format.samplesPerSec > INT_MAX ||
        format.blockAlign == 0)
        return nullptr;
    AVCodecID codec = AV_CODEC_ID_NONE;
    if (format.formatTag == kWaveFormatPcm && format.bitsPerSample == 8) codec = AV_CODEC_ID_PCM_U8;
    else if (format.formatTag == kWaveFormatPcm && format.bitsPerSample == 16) codec = AV_CODEC_ID_PCM_S16LE;
    else if (format.formatTag == kWaveFormatALaw && format.bitsPerSample == 8) codec = AV_CODEC_ID_PCM_ALAW;
    if (codec == AV_CODEC_ID_NONE) return nullptr;
    AVStream* stream = avformat_new_stream(context_, nullptr);
    if (!stream) return nullptr;
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = codec;
    par->codec_tag = format.formatTag;
    par->sample_rate = static_cast<int>(format.samplesPerSec);
    av_channel_layout_default(&par->ch_layout, format.channels);
    par->block_align = format.blockAlign;
    par->bits_per_coded_sample = format.bitsPerSample;
    par->bit_rate = static_cast<std::int64_t>(format.avgBytesPerSec) * 8;
    stream->time_base = AVRational{1, static_cast<int>(format.samplesPerSec)};
    sound_.emplace_back(new AviSoundStream(*this, stream, format));
    return sound_.back().get();
}

bool AviFile::BeginWriting()
{
    if (!context_ || writing_) return false;
    if (avformat_write_header(context_, nullptr) < 0) return false;
    writing_ = true;
    return true;
}

bool AviFile::WritePacket(AVPacket* packet)
{
    if (!writing_ || out_.LastErrno() != 0 || packet->size < 0) return false;
    // What the muxer holds goes out first, so that the end of the file is known; then room for
    // the packet with its chunk header, a new index piece, and the final index of every packet.
    const std::uint64_t end = out_.Flushed();
    if (out_.LastErrno() != 0) return false;
    ++packets_;
    const std::uint64_t need = end + static_cast<std::uint64_t>(packet->size) + kPacketOverhead +
                               packets_ * kIndexEntryBytes + kTrailerBytes;
    if (!out_.Reserve(need)) {
        --packets_;
        return false;
    }
    return av_write_frame(context_, packet) >= 0 && out_.LastErrno() == 0;
}

bool AviFile::Close()
{
    if (!context_) return true;
    if (!writing_) {
        Discard();
        return true;
    }
    bool ok = av_write_trailer(context_) >= 0;
    ok = out_.Finish() && ok;
    lastErrno_ = out_.LastErrno();
    Free();
    return ok;
}

void AviFile::Discard()
{
    if (!context_) return;
    out_.Discard();
    Free();
}

void AviFile::Free()
{
    // The I/O context belongs to the output, which has freed it by now.
    if (context_) context_->pb = nullptr;
    avformat_free_context(context_);
    context_ = nullptr;
    writing_ = false;
    path_.clear();
    video_.clear();
    sound_.clear();
}

}  // namespace tamlorex
