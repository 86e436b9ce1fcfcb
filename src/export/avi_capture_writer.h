#pragma once
// The recording of what is being watched into one AVI file ("Save AVI" / "Stop AVI"). Driven by
// the engine's workers (pictures and sound) and by the main window (start and stop); every
// operation answers with a result code.
//
// Threads: any thread may call any operation. One mutex guards the state and the streams: a
// write that finds another write (or a start or stop) under way returns at once with the code of
// the state it finds; StopCapture waits for a write in progress, so nothing a write uses is ever
// freed under it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "export/avi_file.h"
#include "export/compress_options.h"
#include "media/model_type.h"

namespace tamlorex {

class Alerts;

// Result codes.
inline constexpr int kCaptureOk = 0;  // started or stopped; also a failed write
inline constexpr int kCaptureNotRecording = 100;
inline constexpr int kCaptureStarting = 101;
inline constexpr int kCaptureStopping = 102;
inline constexpr int kCaptureBusy = 105;
inline constexpr int kCaptureWritten = 200;
inline constexpr int kCaptureNoPicture = 206;
inline constexpr int kCaptureEmptyPath = 302;
inline constexpr int kCaptureCancelled = 402;
inline constexpr int kCaptureNoFile = 403;
inline constexpr int kCaptureBadSize = 404;
inline constexpr int kCaptureCannotCreate = 600;
inline constexpr int kCaptureNoStream = 602;
inline constexpr int kCaptureNoCompressedStream = 603;
inline constexpr int kCaptureFormatRefused = 606;
inline constexpr int kCaptureNoCompressor = 607;
// Our own: StopCapture finished a file that a write or the finishing itself failed (it keeps the
// whole frames written before).
inline constexpr int kCaptureWriteFailed = 608;

// States.
inline constexpr int kCaptureIdle = 0;
inline constexpr int kCaptureRecording = 1;
inline constexpr int kCaptureStateStarting = 2;
inline constexpr int kCaptureStateStopping = 3;
inline constexpr int kCaptureWriting = 5;

inline constexpr char kInvalidCodecText[] = "Invalid codec!";
inline constexpr char kReleaseCompressedText[] = "AVIStreamRelease( m_pAviCompressedStream ) != 0 (不該發生的錯誤)";
inline constexpr char kReleaseStreamText[] = "AVIStreamRelease( m_pStreamInterface ) != 0 (不該發生的錯誤)";
inline constexpr char kReleaseFileText[] = "AVIFileRelease( m_pAVIFileInterface ) != 0 (不該發生的錯誤)";

// Sound samples per second of a model type: 13183 for 3, 16000 for 5 and 6, 8000 otherwise.
std::uint32_t CaptureSoundRate(int modelType);
// Whether a sound record of `audioChannel` goes into the capture: model type 5 takes only the
// channel being played (`playedChannel`), model type 6 only channel 0, the others all sound.
bool CaptureTakesSound(int modelType, int audioChannel, int playedChannel);
// Frames per second of a Player-mode capture: min(w, a / (interval + 1) / channels) with the
// limits of the decoded height and model type, and 1 at least.
int PlayerCaptureFramesPerSecond(int decodedHeight, int modelType, int frameInterval, int channelsInMask);
// Frames per second of a Client-mode capture: 25 for 272-line pictures or a low-speed link, else 30.
int ClientCaptureFramesPerSecond(int decodedHeight, bool lowSpeed);

// The capture picture of Client mode: a bottom-up 24-bit picture of width x 2 x height. Picture
// line k goes to line 2 x (height - 1 - k); each odd line 2j + 1 below the top one becomes the
// byte-wise average of lines 2j and 2j + 2. The top line (2 x height - 1) keeps what `dst` held.
// `dst` holds 3 x width x 2 x height bytes. False, with nothing written, for a size the
// converter refuses.
bool BuildCapturePicture(std::uint8_t* dst, const std::uint8_t* yuv, int width, int height);

class AviCaptureWriter {
public:
    // Asked for the compressor when a capture starts: fills the zeroed options; false = cancel.
    // Without one, captures are uncompressed.
    using CompressorChooser = std::function<bool(CompressOptions& options)>;

    AviCaptureWriter();
    // Stops a capture in progress.
    ~AviCaptureWriter();
    AviCaptureWriter(const AviCaptureWriter&) = delete;
    AviCaptureWriter& operator=(const AviCaptureWriter&) = delete;

    // The engine's model type (sound format) and where the messages go.
    void Initialize(int modelType, Alerts* alerts);
    void SetCompressorChooser(CompressorChooser chooser);

    // `format` (or null): the pictures' BITMAPINFOHEADER; its width and height set the frame size.
    // Frames per second below 1 count as 1.
    int StartCapture(const std::string& path, int bitsPerPixel, int width, int height, const BitmapFormat* format,
                     int framesPerSecond);
    // `picture` holds `bytes` bytes, which must be the frame size the capture started with.
    int WriteCaptureFrame(const std::uint8_t* picture, std::size_t bytes, int key);
    // Builds the Client-mode capture picture from a decoded picture of width x height (the
    // capture's height is 2 x height) in the capture's own buffer, and writes it as a key frame.
    // A picture of another size than the capture's is not written (0).
    int WriteCapturePicture(const std::uint8_t* yuv, int width, int height);
    int WriteSound(const std::uint8_t* bytes, std::size_t length);
    int StopCapture();

    int State() const { return state_.load(); }
    bool FileOpen() const;
    std::int64_t FramesWritten() const;
    std::int64_t SoundSamplesWritten() const;
    std::string Path() const;
    std::string Folder() const;
    std::time_t StartTime() const;

private:
    int StopLocked();
    int StateCode(int state) const;
    // True when everything kept was written and finished.
    bool ReleaseAll(bool report);
    void Alert(const char* text);
    // After a write the file refused: said once per capture (a full disk, a size limit).
    void NoteWriteFailure(bool ok);

    mutable std::mutex mutex_;
    std::atomic<int> state_{kCaptureIdle};
    std::atomic<int> modelType_{4};
    Alerts* alerts_ = nullptr;
    CompressorChooser chooser_;

    // Named after what they stand for: the file, its video stream, the compressor feeding it, the
    // sound stream.
    std::unique_ptr<AviFile> m_pAVIFileInterface;
    AviVideoStream* m_pStreamInterface = nullptr;
    std::unique_ptr<CompressedVideoStream> m_pAviCompressedStream;
    AviSoundStream* m_pAudioStreamInterface = nullptr;

    bool fileOpen_ = false;
    bool writeFailureSaid_ = false;
    std::string path_;
    std::string folder_;
    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    std::size_t frameBytes_ = 0;
    std::int64_t framesWritten_ = 0;
    std::int64_t framesStored_ = 0;  // frames that reached the file
    std::int64_t samplesWritten_ = 0;
    std::size_t soundSampleSize_ = 1;
    std::time_t startTime_ = 0;
    bool haveFormat_ = false;
    BitmapFormat format_;
    // The Client-mode capture picture, cleared at each start.
    std::vector<std::uint8_t> captureBuffer_;
};

}  // namespace tamlorex
