#include "engine/media_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "audio/audio_device.h"
#include "net/local_recording.h"
#include "net/record_queue.h"
#include "net/stream_parser.h"
#include "platform/millisecond_clock.h"

namespace tamlorex {
namespace {

constexpr int kCommandPause = 2;
constexpr int kCommandPlay = 3;
constexpr int kCommandReverse = 4;
constexpr int kCommandStepForward = 5;
constexpr int kCommandStepBack = 6;
constexpr int kCommandSeek = 7;

constexpr std::uint64_t kJumpBytesPerSpeed = 20480;  // five pages per unit of speed
constexpr int kFailuresBeforePause = 4;              // the fifth empty read in a row pauses
constexpr std::size_t kSoundPiece = 15360;           // the largest block the ring takes
constexpr auto kTick = std::chrono::milliseconds(1);
constexpr auto kLiveServiceInterval = std::chrono::milliseconds(5);  // sound fill checks while idle
constexpr int kLiveSoundRetries = 20;                                 // 1 ms each, then the block is dropped
constexpr int kLiveFramePeriod224 = 33333;
constexpr int kLiveFramePeriodOther = 25000;

int StateForCommand(int code)
{
    switch (code) {
    case kCommandPause: return kStatePause;
    case kCommandPlay: return kStatePlay;
    case kCommandReverse: return kStateReverse;
    case kCommandStepForward: return kStateStepForward;
    case kCommandStepBack: return kStateStepBack;
    case kCommandSeek: return kStateSearch;
    default: return -1;
    }
}

}  // namespace

const char* StateText(int state)
{
    static const char* const kTexts[] = {"READY", "STOP ", "PLAY ", "PLAY ", "STEPF", "STEPR", "PAUSE", "SEARCH"};
    return state >= 0 && state < 8 ? kTexts[state] : "";
}

MediaEngine::MediaEngine(AudioDevice& audioDevice, Alerts* alerts, Notifier* notifier)
    : alerts_(alerts),
      notifier_(notifier),
      audio_(audioDevice, alerts),
      record_(new std::uint8_t[kRecordBufferSize]),
      audioRecord_(new std::uint8_t[kLiveAudioSize]),
      halves_{std::vector<std::uint8_t>(kYuvPictureBufferSize / 2), std::vector<std::uint8_t>(kYuvPictureBufferSize / 2)}
{
    for (auto& shown : channelShown_) shown.store(true);
    reader_.SetAlerts(alerts);
    netClient_.SetNotifyWindow(notifier);
    netClient_.SetListener(&clientEvents_);
    MillisecondClock::StartClock();
}

MediaEngine::~MediaEngine()
{
    netClient_.Stop();
    Stop();
    MillisecondClock::StopClock();
}

void MediaEngine::OpenAudioFor(int modelType)
{
    const AudioFormat format = AudioFormatForModel(modelType);
    audio_.OpenDevice(format.rate, format.bits);
}

void MediaEngine::Initialize(int modelType, int channelCount)
{
    const int split = SplitForChannels(channelCount);
    splitCount_.store(split);
    modelType_.store(modelType);
    reader_.SetModelType(modelType);
    decoder_.Init(modelType);
    writer_.Configure(2, modelType, split);
    capture_.Initialize(modelType, alerts_);
    OpenAudioFor(modelType);
    window_.SetChannelCount(1);
}

bool MediaEngine::SetMode(int mode, int modelType, int channelCount)
{
    if (mode != kPlayerMode && mode != kClientMode) return false;
    // Re-initialising the sound and the decoder under a running worker would race it.
    if (mode == mode_.load()) return true;
    if (mode == kPlayerMode) {
        netClient_.Stop();
        Stop();
        if (modelType >= 0 && modelType < 10) modelType_.store(modelType);
        if (channelCount >= 1 && channelCount <= kMaxChannels) splitCount_.store(channelCount);
        OpenAudioFor(modelType_.load());
        decoder_.Init(modelType_.load());
        reader_.SetModelType(modelType_.load());
        window_.SetChannelCount(splitCount_.load());
    } else {
        if (IsSourceOpen()) CloseSource();
        Stop();
        if (modelType >= 0 && modelType < 10) modelType_.store(modelType);
        OpenAudioFor(modelType_.load());
        decoder_.Init(2);  // the live stream's layout
        window_.SetChannelCount(1);
    }
    capture_.Initialize(modelType_.load(), alerts_);
    lastChannel_.store(-1);
    lastWidth_.store(0);
    lastHeight_.store(0);
    window_.SetMode(mode);
    window_.Clear();
    mode_.store(mode);
    return true;
}

bool MediaEngine::OpenSource(const std::string& path, bool drive)
{
    Stop();
    SetState(kStateReady);
    reader_.SetModelType(modelType_.load());
    if (!reader_.Open(path, drive)) {
        sourceOpen_.store(false);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(timeMutex_);
        sourcePath_ = path;
        pageTimeValid_ = false;
    }
    sourceOpen_.store(true);
    NoteReaderState();
    window_.Clear();
    Start(ThreadPriority::Normal);
    return true;
}

void MediaEngine::CloseSource()
{
    Stop();
    SetState(kStateReady);
    reader_.Close();
    sourceOpen_.store(false);
    NoteReaderState();
    std::lock_guard<std::mutex> lock(timeMutex_);
    sourcePath_.clear();
    pageTimeValid_ = false;
}

std::string MediaEngine::GetSourcePath() const
{
    std::lock_guard<std::mutex> lock(timeMutex_);
    return sourcePath_;
}

bool MediaEngine::GetCurrentTime(CalendarTime& out) const
{
    if (state_.load() == kStateReady) return false;
    std::lock_guard<std::mutex> lock(timeMutex_);
    if (!pageTimeValid_ || !IsPlausible(pageTime_)) return false;
    out = pageTime_;
    return true;
}

void MediaEngine::NoteReaderState()
{
    position_.store(reader_.GetPosition());
    size_.store(reader_.GetSize());
}

void MediaEngine::SetState(int state)
{
    if (state_.exchange(state) == state) return;
    if (EngineObserver* observer = observer_.load()) observer->OnStateChanged(state, speed_.load());
}

void MediaEngine::SetSpeed(double speed)
{
    if (speed_.exchange(speed) == speed) return;
    if (EngineObserver* observer = observer_.load()) observer->OnStateChanged(state_.load(), speed);
}

void MediaEngine::PostCommand(int code)
{
    // The event is set under the lock, so the worker never takes a command twice.
    std::lock_guard<std::mutex> lock(commandMutex_);
    command_.code = code;
    commandEvent_.Set();
}

void MediaEngine::Pause() { PostCommand(kCommandPause); }

void MediaEngine::Play(double speed)
{
    speed = std::min(std::fabs(speed), 16.0);
    SetSpeed(speed == 0 ? 1.0 : speed);
    PostCommand(kCommandPlay);
}

void MediaEngine::PlayReverse(double speed)
{
    speed = std::min(std::fabs(speed), 16.0);
    SetSpeed(speed == 0 ? 1.0 : speed);
    PostCommand(kCommandReverse);
}

void MediaEngine::FastForward()
{
    const double speed = speed_.load();
    SetSpeed(state_.load() == kStatePlay && speed >= 16 ? std::min(speed * 2, kMaxFastSpeed) : 16.0);
    PostCommand(kCommandPlay);
}

void MediaEngine::FastRewind()
{
    const double speed = speed_.load();
    SetSpeed(state_.load() == kStateReverse && speed >= 16 ? std::min(speed * 2, kMaxFastSpeed) : 16.0);
    PostCommand(kCommandReverse);
}

void MediaEngine::StepForward() { PostCommand(kCommandStepForward); }
void MediaEngine::StepBack() { PostCommand(kCommandStepBack); }

void MediaEngine::Seek(std::uint64_t offset)
{
    std::lock_guard<std::mutex> lock(commandMutex_);
    command_.target = offset;
    command_.code = kCommandSeek;
    commandEvent_.Set();
}

void MediaEngine::SetRequestedSpeed(double value)
{
    value = std::clamp(value, 0.1, 16.0);
    requestedSpeed_.store(value);
    // Below fast speeds the requested speed plays at once.
    const int state = state_.load();
    if ((state == kStatePlay || state == kStateReverse) && speed_.load() < 16) SetSpeed(value);
}

void MediaEngine::SetChannelShown(int channel, bool shown)
{
    if (channel >= 0 && channel < kMaxChannels) channelShown_[static_cast<std::size_t>(channel)].store(shown);
}

bool MediaEngine::IsChannelShown(int channel) const
{
    return channel >= 0 && channel < kMaxChannels && channelShown_[static_cast<std::size_t>(channel)].load();
}

int MediaEngine::SplitForChannels(int channels)
{
    if (channels >= 10) return 16;
    if (channels >= 5) return 9;
    if (channels < 2) return 1;
    return 4;
}

std::uint32_t MediaEngine::PaceTargetMs(int frameInterval, int framePeriodUs, double speed)
{
    if (speed <= 0) return 0;
    const double micros = std::floor((frameInterval + 1) * static_cast<double>(framePeriodUs) / speed);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(micros) / 1000);
}

int MediaEngine::FramePeriodFor(int height, int modelType)
{
    const bool slowModel = modelType == 0 || modelType == 2;
    if (height == 224) return slowModel ? 33333 : 16666;
    return slowModel ? 25000 : 12500;
}

int MediaEngine::Run()
{
    if (mode_.load() == kPlayerMode) return PlaybackWorker();
    return LiveWorker();
}

void MediaEngine::ClientEvents::OnConnState(int state)
{
    if (EngineObserver* observer = engine_.observer_.load()) observer->OnConnState(state);
}

void MediaEngine::ClientEvents::OnErrorText(const std::string& text)
{
    if (EngineObserver* observer = engine_.observer_.load()) observer->OnClientError(text);
}

bool MediaEngine::StartClient()
{
    decoder_.Init(2);  // the live layout
    netClient_.VideoQueue().Clear();
    netClient_.AudioQueue().Clear();
    captureTick_.Reset();
    Start(ThreadPriority::Normal);
    netClient_.Start(ThreadPriority::Normal);
    return true;
}

bool MediaEngine::ConnectClient(const std::string& address, int port, const std::string& password)
{
    if (mode_.load() != kClientMode) return false;
    DisconnectClient();
    netClient_.SetDirectTarget(address, port, password);
    return StartClient();
}

bool MediaEngine::ConnectClientDdns(const std::string& ddnsAddress, int ddnsPort, const std::string& dvrName,
                                    const std::string& password)
{
    if (mode_.load() != kClientMode) return false;
    DisconnectClient();
    netClient_.SetDdnsTarget(ddnsAddress, ddnsPort, dvrName, password);
    return StartClient();
}

void MediaEngine::DisconnectClient()
{
    netClient_.Stop();
    if (mode_.load() == kClientMode) Stop();
}

bool MediaEngine::StartLocalRecording(const std::string& path)
{
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (writer_.IsOpen()) writer_.Close();
    recordingPath_.clear();
    // The name is taken by creating the file, so that no other recording can have it meanwhile.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = FreeFilePath(path);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        ::close(fd);
        if (!writer_.Open(candidate)) {
            ::unlink(candidate.c_str());
            return false;
        }
        recordingPath_ = candidate;
        return true;
    }
    return false;
}

bool MediaEngine::StopLocalRecording()
{
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (!writer_.IsOpen()) return false;
    writer_.Close();
    return true;
}

bool MediaEngine::IsLocalRecording() const
{
    std::lock_guard<std::mutex> lock(writerMutex_);
    return writer_.IsOpen();
}

std::string MediaEngine::GetLocalRecordingPath() const
{
    std::lock_guard<std::mutex> lock(writerMutex_);
    return recordingPath_;
}

void MediaEngine::ServeLivePicture()
{
    std::size_t length = 0;
    CalendarTime time;
    if (!netClient_.VideoQueue().Pop(record_.get(), length, time)) return;
    const auto size = static_cast<std::uint32_t>(length);
    if (!decoder_.ParseHeader(record_.get(), size)) return;
    const std::uint32_t width = decoder_.Width(), height = decoder_.Height();
    const YuvPicture picture = pictures_.For(decoder_.Channel(), width, height);
    if (!decoder_.Decode(record_.get(), size, picture)) return;
    framePeriod_ = height == 224 ? kLiveFramePeriod224 : kLiveFramePeriodOther;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    NoteDecoded(decoder_.Channel(), w, h);
    window_.ShowPicture(decoder_.Channel(), time, picture.data(), w, h);
    if (EngineObserver* observer = observer_.load()) {
        observer->OnPictureShown(decoder_.Channel(), time, picture.data(), w, h);
        observer->OnLivePicture(decoder_.FullPicture() != 0, picture.data(), w, h);
    }
    if (captureActive_.load() && !captureLowSpeed_.load()) capture_.WriteCapturePicture(picture.data(), w, h);
    std::lock_guard<std::mutex> lock(writerMutex_);
    // A write error ends the recording; a picture before the first full one is simply not written.
    if (writer_.IsOpen() && !writer_.WriteVideo(record_.get(), size) && writer_.Failed()) writer_.Close();
}

void MediaEngine::ServeLiveAudio()
{
    std::size_t length = 0;
    CalendarTime time;
    if (!netClient_.AudioQueue().Pop(audioRecord_.get(), length, time)) return;
    if (length > 0) {
        const bool alaw = ModelUsesALaw(modelType_.load());
        for (int attempt = 0; attempt <= kLiveSoundRetries; ++attempt) {
            const AudioWrite result =
                alaw ? audio_.WriteALaw(audioRecord_.get(), length) : audio_.WriteRaw(audioRecord_.get(), length);
            if (result == AudioWrite::Written) {
                if (EngineObserver* observer = observer_.load()) observer->OnLiveAudio(length);
                break;
            }
            // A full ring waits a little for the device; the stream does not wait longer.
            if (result == AudioWrite::Failed || StopEvent().Wait(kTick)) break;
        }
        if (captureActive_.load()) capture_.WriteSound(audioRecord_.get(), length);
    }
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (writer_.IsOpen() && !writer_.WriteAudio(audioRecord_.get(), static_cast<std::uint32_t>(length)) &&
        writer_.Failed())
        writer_.Close();
}

int MediaEngine::LiveWorker()
{
    pictures_.Forget();
    std::memset(record_.get(), 0, kRecordBufferSize);
    std::memset(audioRecord_.get(), 0, kLiveAudioSize);
    audio_.StartLoop();
    Event& pictures = netClient_.VideoQueue().NotEmpty();
    Event& sound = netClient_.AudioQueue().NotEmpty();
    for (;;) {
        if (Event::WaitAny({&StopEvent(), &pictures, &sound, &captureTick_}, kLiveServiceInterval) == 0) break;
        audio_.Service();
        // One unit of each waiting kind per pass: a queue that never empties starves no other.
        if (pictures.IsSet()) ServeLivePicture();
        if (sound.IsSet()) ServeLiveAudio();
        if (captureTick_.IsSet()) ServeCaptureTick();
    }
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (writer_.IsOpen()) writer_.Close();
    return 1;
}

void MediaEngine::ServeCaptureTick()
{
    captureTick_.Reset();
    const int channel = lastChannel_.load();
    if (!captureActive_.load() || !captureLowSpeed_.load() || channel < 0) return;
    const int w = lastWidth_.load(), h = lastHeight_.load();
    // The channel's reference picture is the last picture decoded for it.
    const YuvPicture picture = pictures_.For(channel, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h));
    capture_.WriteCapturePicture(picture.data(), w, h);
}

void MediaEngine::NoteDecoded(int channel, int width, int height)
{
    lastChannel_.store(channel);
    lastWidth_.store(width);
    lastHeight_.store(height);
}

bool MediaEngine::CaptureFrameSize(int& width, int& height) const
{
    const int w = lastWidth_.load(), h = lastHeight_.load();
    if (w <= 0 || h <= 0) return false;
    width = w;
    height = 2 * h;
    return true;
}

int MediaEngine::CaptureFramesPerSecond(bool lowSpeed) const
{
    const int decodedHeight = lastHeight_.load();
    if (mode_.load() == kClientMode) return ClientCaptureFramesPerSecond(decodedHeight, lowSpeed);
    int channels = 0;
    for (std::uint32_t mask = pageMask_.load(); mask != 0; mask &= mask - 1) ++channels;
    return PlayerCaptureFramesPerSecond(decodedHeight, modelType_.load(), pageInterval_.load(), channels);
}

int MediaEngine::StartCapture(const std::string& path, int width, int height, bool lowSpeed)
{
    BitmapFormat format;
    format.width = width;
    format.height = height;
    format.bitCount = 24;
    format.compression = kBiRgb;
    format.sizeImage = static_cast<std::uint32_t>(std::max(width, 0)) * static_cast<std::uint32_t>(std::max(height, 0)) * 3;
    // The worker must not see the capture active with the previous low-speed answer.
    captureActive_.store(false);
    captureLowSpeed_.store(lowSpeed);
    const int result = capture_.StartCapture(path, 24, width, height, &format, CaptureFramesPerSecond(lowSpeed));
    if (result == kCaptureOk) captureActive_.store(true);
    return result;
}

int MediaEngine::StopCapture()
{
    captureActive_.store(false);
    captureLowSpeed_.store(false);
    return capture_.State() == kCaptureIdle ? kCaptureNotRecording : capture_.StopCapture();
}

bool MediaEngine::IsShown()
{
    if (modelType_.load() == 5 && decoder_.DualFlag()) {
        return (!decoder_.LeftHidden() && IsChannelShown(decoder_.DualLeftChannel())) ||
               (!decoder_.RightHidden() && IsChannelShown(decoder_.DualRightChannel()));
    }
    return IsChannelShown(reader_.GetChannel());
}

void MediaEngine::Pace()
{
    const std::uint32_t now = MillisecondClock::Now();
    lastIterationTime_ = now - iterationStart_;
    const int state = state_.load();
    const double speed = speed_.load();
    if ((state == kStatePlay || state == kStateReverse) && speed < 16) {
        const std::uint32_t target = PaceTargetMs(reader_.GetFrameInterval(), framePeriod_, speed);
        // Waiting on the events lets a command or Stop end the wait at once.
        if (lastIterationTime_ < target)
            Event::WaitAny({&StopEvent(), &commandEvent_}, std::chrono::milliseconds(target - lastIterationTime_));
    }
    iterationStart_ = 0;
}

void MediaEngine::OfferSound(const std::uint8_t* samples, std::uint32_t length)
{
    const int model = modelType_.load();
    const bool alaw = ModelUsesALaw(model);
    // A-law bytes double in the ring.
    const std::size_t piece = alaw ? kSoundPiece / 2 : kSoundPiece;
    for (std::size_t at = 0; at < length;) {
        const std::size_t n = std::min<std::size_t>(piece, length - at);
        for (;;) {
            const AudioWrite result = alaw ? audio_.WriteALaw(samples + at, n) : audio_.WriteRaw(samples + at, n);
            if (result == AudioWrite::Written) break;
            if (result == AudioWrite::Failed) return;  // no device position: the block is dropped
            if (speed_.load() != 1.0 || state_.load() != kStatePlay) return;
            if (Event::WaitAny({&StopEvent(), &commandEvent_}, kTick) >= 0) return;
        }
        at += n;
    }
    iterationStart_ -= 5;
}

bool MediaEngine::ShowDecoded(std::uint32_t length)
{
    if (!decoder_.ParseHeader(record_.get(), length)) return false;
    const std::uint32_t width = decoder_.Width(), height = decoder_.Height();
    const YuvPicture picture = pictures_.For(decoder_.Channel(), width, height);
    if (!decoder_.Decode(record_.get(), length, picture)) return false;
    const int model = modelType_.load();
    framePeriod_ = FramePeriodFor(static_cast<int>(height), model);
    NoteDecoded(decoder_.Channel(), static_cast<int>(width), static_cast<int>(height));

    CalendarTime time;
    {
        std::lock_guard<std::mutex> lock(timeMutex_);
        time = pageTime_;
    }
    EngineObserver* observer = observer_.load();
    auto show = [&](int channel, const std::uint8_t* yuv, int w, int h) {
        window_.ShowPicture(channel, time, yuv, w, h);
        if (observer) observer->OnPictureShown(channel, time, yuv, w, h);
    };
    if (model == 5 && decoder_.DualFlag()) {
        const std::uint32_t half = width / 2;
        if (!VideoDecoder::SplitDualPicture(ConstYuvPicture(picture.data(), picture.size()), width, height,
                                            YuvPicture(halves_[0].data(), halves_[0].size()),
                                            YuvPicture(halves_[1].data(), halves_[1].size())))
            return false;
        if (!decoder_.LeftHidden())
            show(decoder_.DualLeftChannel(), halves_[0].data(), static_cast<int>(half), static_cast<int>(height));
        if (!decoder_.RightHidden())
            show(decoder_.DualRightChannel(), halves_[1].data(), static_cast<int>(half), static_cast<int>(height));
    } else {
        show(decoder_.Channel(), picture.data(), static_cast<int>(width), static_cast<int>(height));
    }
    return true;
}

void MediaEngine::Output(std::uint32_t length)
{
    {
        std::lock_guard<std::mutex> lock(timeMutex_);
        pageTime_ = reader_.CurrentPageTime();
        pageTimeValid_ = true;
    }
    pageInterval_.store(reader_.GetFrameInterval());
    pageMask_.store(reader_.GetChannelMask());
    const int model = modelType_.load();
    if (reader_.IsAudio() && speed_.load() == 1.0 && state_.load() == kStatePlay) {
        // Model type 5 plays the audio channel of the selected pane (0 to 3, else 0), model type 6
        // channel 0, the others every channel; the AVI capture takes what is played.
        int played = 0;
        if (model == 5) {
            const int selected = window_.SelectedChannel();
            if (selected >= 0 && selected <= 3) played = selected;
        }
        if (CaptureTakesSound(model, reader_.GetChannel(), played)) {
            OfferSound(record_.get(), length);
            if (captureActive_.load()) capture_.WriteSound(record_.get(), length);
        }
        return;  // sound is not paced
    }
    ++stepCounter_;
    ShowDecoded(length);
    Pace();
}

int MediaEngine::PlaybackWorker()
{
    {
        std::lock_guard<std::mutex> lock(commandMutex_);
        command_.code = kCommandPlay;
        commandEvent_.Set();
    }
    stepCounter_ = 0;
    int failures = 0;
    const int jumpInterval = modelType_.load() == 0 ? 4 : 9;
    std::memset(record_.get(), 0, kRecordBufferSize);
    pictures_.Forget();
    audio_.StartLoop();
    iterationStart_ = 0;
    std::uint64_t seekTarget = 0;

    for (;;) {
        const int which = Event::WaitAny({&StopEvent(), &commandEvent_}, kTick);
        if (which == 0) break;
        if (which == 1) {
            int code;
            {
                std::lock_guard<std::mutex> lock(commandMutex_);
                code = command_.code;
                seekTarget = command_.target;
                commandEvent_.Reset();
            }
            if (const int state = StateForCommand(code); state >= 0) SetState(state);
            continue;
        }
        audio_.Service();
        if (!reader_.IsOpen()) continue;
        if (iterationStart_ == 0) iterationStart_ = MillisecondClock::Now();
        const int state = state_.load();
        const double speed = speed_.load();
        std::uint32_t length = 0;
        switch (state) {
        case kStatePlay:
        case kStateReverse: {
            const bool forward = state == kStatePlay;
            if (speed >= 16 && stepCounter_ >= jumpInterval) {
                const std::uint64_t jump = static_cast<std::uint64_t>(speed) * kJumpBytesPerSpeed;
                const std::uint64_t position = reader_.GetPosition();
                if (forward) reader_.SetPosition(position + jump);
                else if (position > jump) reader_.SetPosition(position - jump);
                stepCounter_ = 0;
            }
            length = forward ? reader_.ReadNext(record_.get()) : reader_.ReadPrevious(record_.get());
            NoteReaderState();
            if (length == 0) {
                if (++failures > kFailuresBeforePause) {
                    failures = 0;
                    // With Repeat on, forward play that reaches the end goes on from the start.
                    if (forward && repeat_.load() && reader_.GetPosition() + kPageSize > reader_.GetSize()) {
                        reader_.SetPosition(0);
                        NoteReaderState();
                    } else {
                        SetState(kStatePause);
                    }
                }
                Pace();
                continue;
            }
            failures = 0;
            if (reader_.IsAudio()) {
                if (forward) Output(length);
                else Pace();
                continue;
            }
            if (decoder_.ParseHeader(record_.get(), length) && IsShown()) Output(length);
            else Pace();
            continue;
        }
        case kStateStepForward:
        case kStateStepBack: {
            const bool forward = state == kStateStepForward;
            length = forward ? reader_.ReadNext(record_.get()) : reader_.ReadPrevious(record_.get());
            NoteReaderState();
            if (length == 0) {
                SetState(kStatePause);
                Pace();
                continue;
            }
            if (reader_.IsAudio()) {
                Pace();
                continue;
            }
            if (!forward) {
                const std::uint32_t now = MillisecondClock::Now();
                lastIterationTime_ = now - iterationStart_;
                iterationStart_ = now;
            }
            if (decoder_.ParseHeader(record_.get(), length) && IsShown()) {
                SetState(kStatePause);
                Output(length);
            } else {
                Pace();
            }
            continue;
        }
        case kStateSearch: {
            // A target the reader refuses reads nothing: playback pauses where it is.
            length = reader_.SetSeekTarget(seekTarget) ? reader_.ReadAtSeekTarget(record_.get()) : 0;
            NoteReaderState();
            SetState(kStatePause);
            if (length > 0) Output(length);
            else Pace();
            continue;
        }
        default:
            continue;
        }
    }

    {
        std::lock_guard<std::mutex> lock(timeMutex_);
        pageTimeValid_ = false;
    }
    SetState(kStateReady);
    commandEvent_.Reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 1;
}

}  // namespace tamlorex
