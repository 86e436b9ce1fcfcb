#include "engine/media_engine.h"

#include <algorithm>
#include <bit>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "audio/audio_device.h"
#include "engine/live_worker.h"
#include "engine/playback_worker.h"
#include "net/local_recording.h"
#include "platform/millisecond_clock.h"
#include "platform/notifier.h"
#include "platform/system_error.h"

namespace tamlorex {
namespace {

int NormalTenths(double speed)
{
    const int tenths = SpeedToTenths(speed);
    return tenths == 0 ? kNormalSpeedTenths : std::clamp(tenths, kSlowestTenths, kFastestNormalTenths);
}

}  // namespace

MediaEngine::MediaEngine(AudioDevice& audioDevice, Alerts* alerts, Notifier* notifier)
    : alerts_(alerts),
      notifier_(notifier),
      audio_(audioDevice, alerts),
      playback_(std::make_unique<PlaybackWorker>(reader_, pipeline_, window_, audio_, capture_, shared_)),
      live_(std::make_unique<LiveWorker>(netClient_, pipeline_, window_, audio_, capture_, writer_, writerMutex_,
                                         shared_, [this] {
                                             NoteRecordingFailure();
                                             if (notifier_ != nullptr) notifier_->Post(WM_LOCAL_RECORDING_FAILED, 0, 0);
                                         }))
{
    reader_.SetAlerts(alerts);
    netClient_.SetNotifyWindow(notifier);
    netClient_.SetListener(&clientEvents_);
    MillisecondClock::StartClock();
}

MediaEngine::~MediaEngine()
{
    netClient_.Stop();
    StopThread();
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
    shared_.modelType.store(modelType);
    reader_.SetModelType(modelType);
    pipeline_.Init(modelType);
    writer_.Configure(kClientMode, modelType, split);
    capture_.Initialize(modelType, alerts_);
    OpenAudioFor(modelType);
    window_.SetChannelCount(1);
}

void MediaEngine::StopThread()
{
    shared_.cancelScans.store(true);
    Stop();
    shared_.cancelScans.store(false);
}

void MediaEngine::StopWorker()
{
    StopThread();
    shared_.SetState(kStateReady);
}

bool MediaEngine::SetMode(int mode, int modelType, int channelCount)
{
    if (mode != kPlayerMode && mode != kClientMode) return false;
    // Re-initialising the sound and the decoder under a running worker would race it.
    if (mode == mode_.load()) return true;
    // Values out of range (such as -1) keep the current ones.
    if (modelType >= 0 && modelType < 10) shared_.modelType.store(modelType);
    const int model = shared_.modelType.load();
    if (mode == kPlayerMode) {
        netClient_.Stop();
        StopWorker();
        if (channelCount >= 1 && channelCount <= kMaxChannels) splitCount_.store(channelCount);
        OpenAudioFor(model);
        pipeline_.Init(model);
        reader_.SetModelType(model);
        window_.SetChannelCount(splitCount_.load());
    } else {
        if (IsSourceOpen()) CloseSource();
        StopWorker();
        OpenAudioFor(model);
        pipeline_.Init(kLiveModelType);
        window_.SetChannelCount(1);
    }
    capture_.Initialize(model, alerts_);
    shared_.NoteDecoded(-1, 0, 0);
    window_.SetMode(mode);
    window_.Clear();
    mode_.store(mode);
    return true;
}

bool MediaEngine::OpenSource(const std::string& path, bool drive)
{
    StopWorker();
    ForgetTimeIndex();
    threadErrno_ = 0;
    reader_.SetModelType(shared_.modelType.load());
    if (!reader_.Open(path, drive)) {
        sourceOpen_.store(false);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(pathMutex_);
        sourcePath_ = path;
    }
    shared_.ClearTime();
    // A new recording starts at the normal speed, whatever the last one played at.
    shared_.SetFast(false);
    shared_.SetRequestedTenths(kNormalSpeedTenths);
    shared_.SetSpeedTenths(kNormalSpeedTenths);
    shared_.PublishPosition(reader_.GetPosition(), reader_.GetSize());
    sourceOpen_.store(true);
    window_.Clear();
    // A freshly opened source plays forward; a command given from now on replaces that.
    shared_.Post(kCommandPlay);
    const std::uint32_t started = Start(ThreadPriority::Normal);
    if (started == 1) return true;
    // Without its worker the source would seem open and never play.
    threadErrno_ = static_cast<int>(started & 0xFFFFu);
    if (threadErrno_ == 0) threadErrno_ = EBUSY;
    CloseSource();
    return false;
}

void MediaEngine::CloseSource()
{
    StopWorker();
    ForgetTimeIndex();
    reader_.Close();
    sourceOpen_.store(false);
    shared_.PublishPosition(0, 0);
    shared_.ClearTime();
    std::lock_guard<std::mutex> lock(pathMutex_);
    sourcePath_.clear();
}

std::string MediaEngine::GetSourcePath() const
{
    std::lock_guard<std::mutex> lock(pathMutex_);
    return sourcePath_;
}

bool MediaEngine::GetCurrentTime(CalendarTime& out) const
{
    return shared_.State() != kStateReady && shared_.CurrentTime(out);
}

void MediaEngine::Pause() { shared_.Post(kCommandPause); }

void MediaEngine::PlayAt(double speed, int command)
{
    shared_.SetFast(false);
    shared_.SetSpeedTenths(NormalTenths(speed));
    shared_.Post(command);
}

void MediaEngine::PlayFast(int state, int command)
{
    // 16x, or twice the speed when already fast that way.
    const int tenths = shared_.SpeedTenths();
    const bool doubling = shared_.State() == state && tenths >= kFirstFastTenths;
    shared_.SetFast(true);
    shared_.SetSpeedTenths(doubling ? std::min(tenths * 2, kFastestTenths) : kFirstFastTenths);
    shared_.Post(command);
}

void MediaEngine::Play(double speed) { PlayAt(speed, kCommandPlay); }
void MediaEngine::PlayReverse(double speed) { PlayAt(speed, kCommandReverse); }
void MediaEngine::FastForward() { PlayFast(kStatePlay, kCommandPlay); }
void MediaEngine::FastRewind() { PlayFast(kStateReverse, kCommandReverse); }
void MediaEngine::StepForward() { shared_.Post(kCommandStepForward); }
void MediaEngine::StepBack() { shared_.Post(kCommandStepBack); }
void MediaEngine::Seek(std::uint64_t offset) { shared_.Post(kCommandSeek, offset); }

void MediaEngine::ForgetTimeIndex()
{
    std::lock_guard<std::mutex> lock(timeMutex_);
    timeIndex_.reset();
    timeIndexTried_ = false;
}

TimeIndex* MediaEngine::BuiltTimeIndex()
{
    if (!timeIndexTried_ && sourceOpen_.load()) {
        timeIndexTried_ = true;
        auto index = std::make_unique<TimeIndex>(reader_);
        if (index->Build()) timeIndex_ = std::move(index);
    }
    return timeIndex_.get();
}

std::optional<std::uint64_t> MediaEngine::FindTime(std::uint32_t time)
{
    std::lock_guard<std::mutex> lock(timeMutex_);
    TimeIndex* index = BuiltTimeIndex();
    return index != nullptr ? index->Seek(time) : std::nullopt;
}

bool MediaEngine::SeekToTime(std::uint32_t time)
{
    const std::optional<std::uint64_t> offset = FindTime(time);
    if (!offset) return false;
    Seek(*offset);
    return true;
}

std::optional<std::uint32_t> MediaEngine::PageTimeAt(std::uint64_t offset)
{
    std::lock_guard<std::mutex> lock(timeMutex_);
    TimeIndex* index = BuiltTimeIndex();
    return index != nullptr ? index->TimeAt(offset) : std::nullopt;
}

bool MediaEngine::GetCurrentPageTime(std::uint32_t& seconds) const
{
    CalendarTime time;
    return GetCurrentTime(time) && PageTimeFromCalendar(time, seconds);
}

void MediaEngine::SetRequestedSpeed(double value)
{
    const int tenths = std::clamp(SpeedToTenths(value), kSlowestTenths, kFastestNormalTenths);
    shared_.SetRequestedTenths(tenths);
    // While playing, the new speed plays at once; fast forward or rewind ends with it.
    const int state = shared_.State();
    if (state == kStatePlay || state == kStateReverse) {
        shared_.SetFast(false);
        shared_.SetSpeedTenths(tenths);
    }
}

void MediaEngine::SetChannelShown(int channel, bool shown)
{
    if (channel < 0 || channel >= kMaxChannels) return;
    const std::uint32_t bit = 1u << channel;
    if (shown) shared_.shownChannels.fetch_or(bit);
    else shared_.shownChannels.fetch_and(~bit);
}

bool MediaEngine::IsChannelShown(int channel) const
{
    return channel >= 0 && channel < kMaxChannels && ((shared_.shownChannels.load() >> channel) & 1) != 0;
}

int MediaEngine::SplitForChannels(int channels)
{
    if (channels >= 10) return 16;
    if (channels >= 5) return 9;
    if (channels < 2) return 1;
    return 4;
}

int MediaEngine::Run()
{
    if (mode_.load() == kPlayerMode) return playback_->Run(StopEvent());
    return live_->Run(StopEvent());
}

void MediaEngine::ClientEvents::OnConnState(int state)
{
    if (EngineObserver* observer = shared_.Observer()) observer->OnConnState(state);
}

void MediaEngine::ClientEvents::OnErrorText(const std::string& text)
{
    if (EngineObserver* observer = shared_.Observer()) observer->OnClientError(text);
}

bool MediaEngine::StartClient()
{
    netClient_.VideoQueue().Clear();
    netClient_.AudioQueue().Clear();
    live_->ResetCaptureTick();
    if (Start(ThreadPriority::Normal) != 1) return false;
    if (netClient_.Start(ThreadPriority::Normal) != 1) {
        StopWorker();
        return false;
    }
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
    if (mode_.load() == kClientMode) StopThread();
}

bool MediaEngine::StartLocalRecording(const std::string& path)
{
    std::lock_guard<std::mutex> lock(writerMutex_);
    // A recording still open is finished first; what is said from here on is the new one's.
    if (writer_.IsOpen()) writer_.Close();
    recordingPath_.clear();
    recordingError_.clear();
    // The name is taken by creating the file, so that no other recording can have it meanwhile.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = FreeFilePath(path);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            recordingError_ = "\"" + candidate + "\" cannot be created: " + ErrorText(errno) + ".";
            return false;
        }
        ::close(fd);
        if (!writer_.Open(candidate)) {
            recordingError_ = "\"" + candidate + "\" cannot be opened: " + ErrorText(writer_.LastErrno()) + ".";
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
    if (writer_.Close()) return true;
    NoteRecordingFailure();
    return false;
}

void MediaEngine::NoteRecordingFailure()
{
    recordingError_ = "Local recording stopped: writing \"" + recordingPath_ + "\" failed (" +
                      ErrorText(writer_.LastErrno()) + "). The whole pages recorded before are kept.";
}

std::string MediaEngine::GetLocalRecordingError() const
{
    std::lock_guard<std::mutex> lock(writerMutex_);
    return recordingError_;
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

void MediaEngine::CaptureTick() { live_->CaptureTick(); }

void MediaEngine::SetStallThresholdMs(int ms) { live_->SetStallThresholdMs(ms); }

int MediaEngine::GetStallThresholdMs() const { return live_->GetStallThresholdMs(); }

std::string MediaEngine::StallText() const { return live_->StallText(); }

bool MediaEngine::CaptureFrameSize(int& width, int& height) const
{
    const int w = shared_.lastWidth.load(), h = shared_.lastHeight.load();
    if (w <= 0 || h <= 0) return false;
    width = w;
    height = 2 * h;
    return true;
}

int MediaEngine::CaptureFramesPerSecond(bool lowSpeed) const
{
    const int decodedHeight = shared_.lastHeight.load();
    if (mode_.load() == kClientMode) return ClientCaptureFramesPerSecond(decodedHeight, lowSpeed);
    const int channels = std::popcount(shared_.pageMask.load());
    return PlayerCaptureFramesPerSecond(decodedHeight, shared_.modelType.load(), shared_.pageInterval.load(), channels);
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
    shared_.captureActive.store(false);
    shared_.captureLowSpeed.store(lowSpeed);
    const int result = capture_.StartCapture(path, 24, width, height, &format, CaptureFramesPerSecond(lowSpeed));
    if (result == kCaptureOk) shared_.captureActive.store(true);
    return result;
}

int MediaEngine::StopCapture()
{
    shared_.captureActive.store(false);
    shared_.captureLowSpeed.store(false);
    return capture_.State() == kCaptureIdle ? kCaptureNotRecording : capture_.StopCapture();
}

}  // namespace tamlorex
