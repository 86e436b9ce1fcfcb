#pragma once
// One AVI file written through FFmpeg's AVI muxer, in the order the writers follow: create the
// file, create its streams and give them their formats, begin writing (the header), write
// pictures and sound, close (the index). Pictures are handed over as bottom-up BI_RGB bitmaps;
// uncompressed streams store them as they are, compressors get them turned right side up and
// into their own pixel format.
//
// Space is claimed from the file system before each packet goes to the muxer, with room for the
// index: when the disk is full (or the file-size limit reached) the packet is refused whole and
// Close still writes an index that agrees with what the file holds. Every frame stays whole.
//
// Not thread-safe: one thread at a time per file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/claimed_output.h"
#include "export/compress_options.h"

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace tamlorex {

inline constexpr std::uint32_t kBitmapInfoHeaderSize = 40;
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint16_t kWaveFormatPcm = 1;
inline constexpr std::uint16_t kWaveFormatALaw = 6;

// The fields of a BITMAPINFOHEADER that matter here.
struct BitmapFormat {
    std::uint32_t size = kBitmapInfoHeaderSize;
    std::int32_t width = 640;
    std::int32_t height = 224;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = kBiRgb;
    std::uint32_t sizeImage = 640 * 224 * 3;
    std::uint32_t clrUsed = 0;
};

// The fields of a WAVEFORMATEX.
struct WaveFormat {
    std::uint16_t formatTag = kWaveFormatPcm;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 8000;
    std::uint32_t avgBytesPerSec = 8000;
    std::uint16_t blockAlign = 1;
    std::uint16_t bitsPerSample = 8;
    std::uint16_t extraSize = 0;
};

// Makes rate and scale at least 1 and, when either exceeds the 31 bits the muxer takes, reduces
// the fraction: exactly when a common divisor allows it, to the closest one that fits otherwise.
void FitRateAndScale(std::uint64_t& rate, std::uint64_t& scale);

class AviFile;

// A video stream of the file: it stores packets, uncompressed pictures or a compressor's output.
class AviVideoStream {
public:
    std::uint32_t Rate() const { return rate_; }
    std::uint32_t Scale() const { return scale_; }

private:
    friend class AviFile;
    friend class CompressedVideoStream;
    AviVideoStream(AviFile& file, AVStream* stream, std::uint32_t rate, std::uint32_t scale)
        : file_(file), stream_(stream), rate_(rate), scale_(scale)
    {
    }
    // Frame number to the stream's time base.
    std::int64_t Timestamp(std::int64_t index) const;

    AviFile& file_;
    AVStream* stream_;
    std::uint32_t rate_;
    std::uint32_t scale_;
};

// Feeds a video stream through the chosen compressor ("DIB ": none). Its owner releases it
// before the file is closed, and destroys it before the file.
class CompressedVideoStream {
public:
    // Null when this build has no compressor of that name.
    static std::unique_ptr<CompressedVideoStream> Make(AviVideoStream& stream, const CompressOptions& options,
                                                       int threads = 1);
    ~CompressedVideoStream();
    CompressedVideoStream(const CompressedVideoStream&) = delete;
    CompressedVideoStream& operator=(const CompressedVideoStream&) = delete;

    // The pictures' format: 16, 24 or 32 bits, BI_RGB, bottom-up. Opens the compressor, which may
    // refuse it (false). Before the file begins writing.
    bool SetFormat(const BitmapFormat& format);
    // Picture number `index` (numbers only grow; a gap becomes empty frames). `bytes` must be the
    // format's image size. `key` forces a key frame.
    bool Write(std::int64_t index, const std::uint8_t* picture, std::size_t bytes, bool key);

    enum class ReleaseResult { kOk, kCompressorFailed, kStreamFailed };
    // Writes what the compressor still holds into the stream. Once; later calls do nothing.
    ReleaseResult Release();

    std::size_t FrameBytes() const { return frameBytes_; }
    bool Uncompressed() const { return uncompressed_; }
    const std::string& EncoderName() const { return encoderName_; }

private:
    CompressedVideoStream(AviVideoStream& stream, const CompressOptions& options, int threads);
    bool Drain();

    AviVideoStream& stream_;
    CompressOptions options_;
    int threads_;
    bool uncompressed_ = true;
    std::string encoderName_;
    int width_ = 0;
    int height_ = 0;
    int sourceFormat_ = -1;
    std::size_t frameBytes_ = 0;
    bool formatSet_ = false;
    bool released_ = false;
    bool streamFailed_ = false;
    AVCodecContext* encoder_ = nullptr;
    SwsContext* scaler_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
};

class AviSoundStream {
public:
    // `count` bytes starting at sample number `sample`; the samples are whole blocks.
    bool Write(std::int64_t sample, const std::uint8_t* bytes, std::size_t count);
    const WaveFormat& Format() const { return format_; }

private:
    friend class AviFile;
    AviSoundStream(AviFile& file, AVStream* stream, const WaveFormat& format);

    AviFile& file_;
    AVStream* stream_;
    WaveFormat format_;
};

class AviFile {
public:
    AviFile();
    // Closes the file as Close does.
    ~AviFile();
    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;

    // Creates (or truncates) the file. False when it cannot be created.
    bool Create(const std::string& path);
    // Streams belong to the file. Null after BeginWriting or when the stream cannot be made.
    AviVideoStream* CreateVideoStream(std::uint32_t rate, std::uint32_t scale);
    // Null for a format the muxer cannot store.
    AviSoundStream* CreateSoundStream(const WaveFormat& format);

    // Writes the header; every stream must have its format by now.
    bool BeginWriting();
    bool IsWriting() const { return writing_; }
    bool IsOpen() const { return context_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Writes the index and closes the file; true when all went well (a refused packet or a
    // failure in finishing the file make it false, LastErrno says why). A file whose header was
    // never written holds nothing a player could read and is deleted instead.
    bool Close();
    // errno of the first failure to write, claim space for or finish the file; 0 when none.
    int LastErrno() const { return context_ ? out_.LastErrno() : lastErrno_; }
    // Closes without finishing and deletes the file.
    void Discard();

private:
    friend class CompressedVideoStream;
    friend class AviSoundStream;
    bool WritePacket(AVPacket* packet);
    void Free();

    AVFormatContext* context_ = nullptr;
    ClaimedOutput out_;
    std::uint64_t packets_ = 0;
    int lastErrno_ = 0;  // of the last file, once closed
    std::string path_;
    bool writing_ = false;
    std::vector<std::unique_ptr<AviVideoStream>> video_;
    std::vector<std::unique_ptr<AviSoundStream>> sound_;
};

}  // namespace tamlorex
