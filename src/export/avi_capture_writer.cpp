#include "export/avi_capture_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "codec/color_convert.h"
#include "platform/alerts.h"
#include "platform/system_error.h"

namespace tamlorex {

std::uint32_t CaptureSoundRate(int modelType) { return static_cast<std::uint32_t>(RulesFor(modelType).soundRate); }

bool CaptureTakesSound(int modelType, int audioChannel, int playedChannel)
{
    switch (RulesFor(modelType).played) {
    case PlayedAudio::kSelectedPane: return audioChannel == playedChannel;
    case PlayedAudio::kChannelZero: return audioChannel == 0;
    case PlayedAudio::kEvery: break;
    }
    return true;
}

int PlayerCaptureFramesPerSecond(int decodedHeight, int modelType, int frameInterval, int channelsInMask)
{
    const bool tall = decodedHeight == 272;
    const double most = tall ? 25 : 30;
    const ModelRules& rules = RulesFor(modelType);
    const double all = tall ? rules.captureFpsTall : rules.captureFpsShort;
    const int channels = std::max(channelsInMask, 1);
    const int periods = std::max(frameInterval, 0) + 1;
    const int fps = static_cast<int>(std::min(most, all / periods / channels));
    return std::max(fps, 1);
}

int ClientCaptureFramesPerSecond(int decodedHeight, bool lowSpeed) { return decodedHeight == 272 || lowSpeed ? 25 : 30; }

bool BuildCapturePicture(std::uint8_t* dst, const std::uint8_t* yuv, int width, int height)
{
    if (!ConvertToDib24DoubleHeight(dst, yuv, width, height)) return false;
    const std::size_t line = static_cast<std::size_t>(width) * 3;
    for (int j = 0; j + 1 < height; ++j) {
        const std::uint8_t* below = dst + static_cast<std::size_t>(2 * j) * line;
        const std::uint8_t* above = below + 2 * line;
        std::uint8_t* between = const_cast<std::uint8_t*>(below) + line;
        for (std::size_t i = 0; i < line; ++i)
            between[i] = static_cast<std::uint8_t>((unsigned{below[i]} + unsigned{above[i]}) >> 1);
    }
    return true;
}

AviCaptureWriter::AviCaptureWriter() = default;

AviCaptureWriter::~AviCaptureWriter()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_.load() != kCaptureIdle) StopLocked();
}

void AviCaptureWriter::Initialize(int modelType, Alerts* alerts)
{
    std::lock_guard<std::mutex> lock(mutex_);
    modelType_.store(modelType);
    alerts_ = alerts;
}

void AviCaptureWriter::SetCompressorChooser(CompressorChooser chooser)
{
    std::lock_guard<std::mutex> lock(mutex_);
    chooser_ = std::move(chooser);
}

void AviCaptureWriter::Alert(const char* text)
{
    if (alerts_) alerts_->Alert(text);
}

int AviCaptureWriter::StateCode(int state) const
{
    switch (state) {
    case kCaptureIdle: return kCaptureNotRecording;
    case kCaptureStateStarting: return kCaptureStarting;
    case kCaptureStateStopping: return kCaptureStopping;
    default: return kCaptureBusy;
    }
}

int AviCaptureWriter::StartCapture(const std::string& path, int bitsPerPixel, int width, int height,
                                   const BitmapFormat* format, int framesPerSecond)
{
    if (path.empty()) return kCaptureEmptyPath;
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_.load() != kCaptureIdle) StopLocked();
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0) {
        state_.store(kCaptureIdle);
        return kCaptureBadSize;
    }
    state_.store(kCaptureStateStarting);
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
    const std::size_t slash = path.find_last_of('/');
    folder_ = slash == std::string::npos ? std::string() : path.substr(0, slash);

    BitmapFormat picture;
    if (format) {
        picture = *format;
    } else {
        picture.width = width;
        picture.height = height;
        picture.bitCount = static_cast<std::uint16_t>(bitsPerPixel);
    }
    frameBytes_ = static_cast<std::size_t>(std::max(picture.width, 0)) * static_cast<std::size_t>(std::max(picture.height, 0)) *
                  picture.bitCount / 8;
    picture.sizeImage = static_cast<std::uint32_t>(frameBytes_);

    auto fail = [this](int code) {
        ReleaseAll(false);
        state_.store(kCaptureIdle);
        return code;
    };
    m_pAVIFileInterface = std::make_unique<AviFile>();
    if (!m_pAVIFileInterface->Create(path)) return fail(kCaptureCannotCreate);
    m_pStreamInterface = m_pAVIFileInterface->CreateVideoStream(static_cast<std::uint32_t>(std::max(framesPerSecond, 1)), 1);
    if (!m_pStreamInterface) return fail(kCaptureNoStream);
    CompressOptions options;
    if (chooser_) {
        if (!chooser_(options)) return fail(kCaptureCancelled);
    } else {
        options = DefaultCompressOptions();
    }
    m_pAviCompressedStream = CompressedVideoStream::Make(*m_pStreamInterface, options);
    if (!m_pAviCompressedStream) return fail(kCaptureNoCompressedStream);
    if (!m_pAviCompressedStream->SetFormat(picture)) {
        fail(kCaptureFormatRefused);
        Alert(kInvalidCodecText);
        return kCaptureFormatRefused;
    }
    const int model = modelType_.load();
    WaveFormat sound;
    sound.formatTag = ModelUsesALaw(model) ? kWaveFormatALaw : kWaveFormatPcm;
    sound.samplesPerSec = CaptureSoundRate(model);
    sound.avgBytesPerSec = sound.samplesPerSec;
    m_pAudioStreamInterface = m_pAVIFileInterface->CreateSoundStream(sound);
    if (!m_pAudioStreamInterface) return fail(kCaptureNoStream);
    soundSampleSize_ = 1;
    if (!m_pAVIFileInterface->BeginWriting()) return fail(kCaptureFormatRefused);

    framesWritten_ = 0;
    samplesWritten_ = 0;
    startTime_ = std::time(nullptr);
    path_ = path;
    haveFormat_ = format != nullptr;
    if (format) format_ = *format;
    captureBuffer_.assign(frameBytes_, 0);
    fileOpen_ = true;
    writeFailureSaid_ = false;
    state_.store(kCaptureRecording);
    return kCaptureOk;
}

int AviCaptureWriter::WriteCaptureFrame(const std::uint8_t* picture, std::size_t bytes, int key)
{
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return StateCode(state_.load());
    if (state_.load() != kCaptureRecording) return StateCode(state_.load());
    if (!fileOpen_) return kCaptureNoFile;
    if (!m_pAviCompressedStream) return kCaptureNoCompressor;
    if (!picture) return kCaptureNoPicture;
    if (bytes != frameBytes_) return kCaptureOk;
    state_.store(kCaptureWriting);
    const bool ok = m_pAviCompressedStream->Write(framesWritten_, picture, bytes, framesWritten_ == 0 || key != 0);
    ++framesWritten_;
    if (ok) ++framesStored_;
    NoteWriteFailure(ok);
    state_.store(kCaptureRecording);
    return ok ? kCaptureWritten : kCaptureOk;
}

int AviCaptureWriter::WriteCapturePicture(const std::uint8_t* yuv, int width, int height)
{
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return StateCode(state_.load());
    if (state_.load() != kCaptureRecording) return StateCode(state_.load());
    if (!fileOpen_) return kCaptureNoFile;
    if (!m_pAviCompressedStream) return kCaptureNoCompressor;
    if (!yuv) return kCaptureNoPicture;
    // Only pictures of the size the capture started with fit its buffer.
    if (bitsPerPixel_ != 24 || width != width_ || 2 * static_cast<long long>(height) != height_ ||
        captureBuffer_.size() != frameBytes_ || frameBytes_ != static_cast<std::size_t>(width) * 3 * 2 * height)
        return kCaptureOk;
    if (!BuildCapturePicture(captureBuffer_.data(), yuv, width, height)) return kCaptureOk;
    state_.store(kCaptureWriting);
    const bool ok = m_pAviCompressedStream->Write(framesWritten_, captureBuffer_.data(), frameBytes_, true);
    ++framesWritten_;
    if (ok) ++framesStored_;
    NoteWriteFailure(ok);
    state_.store(kCaptureRecording);
    return ok ? kCaptureWritten : kCaptureOk;
}

int AviCaptureWriter::WriteSound(const std::uint8_t* bytes, std::size_t length)
{
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return StateCode(state_.load());
    if (state_.load() != kCaptureRecording) return StateCode(state_.load());
    if (!fileOpen_ || !m_pAudioStreamInterface || !bytes) return kCaptureOk;
    state_.store(kCaptureWriting);
    const std::size_t samples = length / soundSampleSize_;
    const bool ok = m_pAudioStreamInterface->Write(samplesWritten_, bytes, samples * soundSampleSize_);
    samplesWritten_ += static_cast<std::int64_t>(samples);
    NoteWriteFailure(ok);
    state_.store(kCaptureRecording);
    return ok ? kCaptureWritten : kCaptureOk;
}

void AviCaptureWriter::NoteWriteFailure(bool ok)
{
    const int error = m_pAVIFileInterface ? m_pAVIFileInterface->LastErrno() : 0;
    if (ok || writeFailureSaid_ || error == 0) return;
    writeFailureSaid_ = true;
    const std::string text = "The AVI recording cannot write \"" + path_ + "\" (" + ErrorText(error) +
                             "); it keeps the whole frames recorded before.";
    Alert(text.c_str());
}

int AviCaptureWriter::StopCapture()
{
    // Waits for a write in progress: writes hold the lock for their whole length.
    std::lock_guard<std::mutex> lock(mutex_);
    return StopLocked();
}

int AviCaptureWriter::StopLocked()
{
    if (state_.load() == kCaptureIdle) return kCaptureOk;
    state_.store(kCaptureStateStopping);
    const bool ok = ReleaseAll(true) && !writeFailureSaid_;
    path_.clear();
    state_.store(kCaptureIdle);
    return ok ? kCaptureOk : kCaptureWriteFailed;
}

bool AviCaptureWriter::ReleaseAll(bool report)
{
    bool ok = true;
    const bool keep = fileOpen_ && framesStored_ > 0;
    if (m_pAviCompressedStream) {
        const auto released = keep ? m_pAviCompressedStream->Release() : CompressedVideoStream::ReleaseResult::kOk;
        ok = released == CompressedVideoStream::ReleaseResult::kOk;
        if (report && released == CompressedVideoStream::ReleaseResult::kCompressorFailed) Alert(kReleaseCompressedText);
        if (report && released == CompressedVideoStream::ReleaseResult::kStreamFailed) Alert(kReleaseStreamText);
    }
    m_pAviCompressedStream.reset();
    m_pStreamInterface = nullptr;
    m_pAudioStreamInterface = nullptr;
    if (m_pAVIFileInterface) {
        // A capture without a single frame leaves no file.
        if (keep) {
            if (!m_pAVIFileInterface->Close()) {
                ok = false;
                if (report) Alert(kReleaseFileText);
            }
        } else {
            m_pAVIFileInterface->Discard();
        }
    }
    m_pAVIFileInterface.reset();
    fileOpen_ = false;
    framesStored_ = 0;
    return ok;
}

bool AviCaptureWriter::FileOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fileOpen_;
}

std::int64_t AviCaptureWriter::FramesWritten() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return framesWritten_;
}

std::int64_t AviCaptureWriter::SoundSamplesWritten() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return samplesWritten_;
}

std::string AviCaptureWriter::Path() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

std::string AviCaptureWriter::Folder() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return folder_;
}

std::time_t AviCaptureWriter::StartTime() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return startTime_;
}

}  // namespace tamlorex
