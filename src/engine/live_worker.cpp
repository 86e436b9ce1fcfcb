#include "engine/live_worker.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include "audio/audio_out.h"
#include "display/pane_zoom.h"
#include "display/video_window.h"
#include "export/avi_capture_writer.h"
#include "media/vvf_writer.h"
#include "net/net_client.h"

namespace tamlorex {
namespace {

constexpr auto kServiceInterval = std::chrono::milliseconds(5);  // sound is looked after at least this often
constexpr std::size_t kSoundBacklog = 16384;                     // samples waiting for the ring at most

}  // namespace

LiveWorker::LiveWorker(NetClient& client, RecordPipeline& pipeline, VideoWindow& window, AudioOut& audio,
                       AviCaptureWriter& capture, VvfWriter& writer, std::mutex& writerMutex, EngineShared& shared,
                       std::function<void()> recordingFailed)
    : client_(client),
      pipeline_(pipeline),
      window_(window),
      audio_(audio),
      capture_(capture),
      writer_(writer),
      writerMutex_(writerMutex),
      shared_(shared),
      recordingFailed_(std::move(recordingFailed)),
      feed_(kSoundBacklog),
      record_(new std::uint8_t[kRecordBufferSize]),
      sound_(new std::uint8_t[kLiveAudioSize])
{
}

LiveWorker::~LiveWorker() = default;

int LiveWorker::Run(Event& stop)
{
    pipeline_.Init(kLiveModelType);
    alaw_ = ModelUsesALaw(shared_.modelType.load());
    feed_.Clear();
    std::memset(record_.get(), 0, kRecordBufferSize);
    std::memset(sound_.get(), 0, kLiveAudioSize);
    audio_.StartLoop();
    Event& pictures = client_.VideoQueue().NotEmpty();
    Event& sound = client_.AudioQueue().NotEmpty();
    EndStall(false);
    for (;;) {
        if (Event::WaitAny({&stop, &pictures, &sound, &captureTick_}, kServiceInterval) == 0) break;
        audio_.Service();
        feed_.Pump(audio_, alaw_);
        // One unit of each waiting kind per pass: a queue that never empties starves no other.
        if (pictures.IsSet()) ServePicture();
        if (sound.IsSet()) ServeSound();
        if (captureTick_.IsSet()) ServeCaptureTick();
        WatchStall();
    }
    // Disconnected: the alert goes with the connection (no picture ended it).
    EndStall(false);
    // The sound stops with the stream: nothing left in the ring plays again.
    feed_.Clear();
    audio_.StopLoop();
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (writer_.IsOpen() && !writer_.Close()) EndFailedRecording();
    return 1;
}

void LiveWorker::EndFailedRecording()
{
    // The file keeps its whole pages; the user learns at once that it has stopped.
    if (writer_.IsOpen()) writer_.Close();
    if (recordingFailed_) recordingFailed_();
}

void LiveWorker::ServePicture()
{
    std::size_t length = 0;
    CalendarTime time;
    if (!client_.VideoQueue().Pop(record_.get(), length, time)) return;
    const auto size = static_cast<std::uint32_t>(length);
    if (!pipeline_.Parse(record_.get(), size) || !pipeline_.Decode(record_.get(), size)) return;
    const int channel = pipeline_.Channel(), w = pipeline_.Width(), h = pipeline_.Height();
    const std::uint8_t* picture = pipeline_.Picture(channel).data();
    shared_.NoteDecoded(channel, w, h);
    // The picture that ends a stall is shown without the notice.
    if (stall_.NotePicture(StallWatch::Clock::now(), std::time(nullptr))) EndStall(true);
    window_.ShowPicture(channel, time, picture, w, h);
    if (EngineObserver* observer = shared_.Observer()) {
        observer->OnPictureShown(channel, time, picture, w, h);
        observer->OnLivePicture(pipeline_.Full(), picture, w, h);
    }
    if (shared_.captureActive.load() && !shared_.captureLowSpeed.load())
        capture_.WriteCapturePicture(CapturePicture(channel, picture, w, h), w, h);
    std::lock_guard<std::mutex> lock(writerMutex_);
    // A write error ends the recording; a picture before the first full one is simply not written.
    if (writer_.IsOpen() && !writer_.WriteVideo(record_.get(), size) && writer_.Failed()) EndFailedRecording();
}

void LiveWorker::ServeSound()
{
    std::size_t length = 0;
    CalendarTime time;
    if (!client_.AudioQueue().Pop(sound_.get(), length, time)) return;
    if (length > 0) {
        // Taken whole and written as the ring has room: the stream never waits for the device.
        feed_.Push(sound_.get(), length);
        feed_.Pump(audio_, alaw_);
        if (EngineObserver* observer = shared_.Observer()) observer->OnLiveAudio(length);
        if (shared_.captureActive.load()) capture_.WriteSound(sound_.get(), length);
    }
    std::lock_guard<std::mutex> lock(writerMutex_);
    if (writer_.IsOpen() && !writer_.WriteAudio(sound_.get(), static_cast<std::uint32_t>(length)) && writer_.Failed())
        EndFailedRecording();
}

void LiveWorker::ServeCaptureTick()
{
    captureTick_.Reset();
    const int channel = shared_.lastChannel.load();
    if (!shared_.captureActive.load() || !shared_.captureLowSpeed.load() || channel < 0) return;
    // The channel's reference picture is the last picture decoded for it.
    const ConstYuvPicture picture = pipeline_.Picture(channel);
    const int w = shared_.lastWidth.load(), h = shared_.lastHeight.load();
    if (picture.size() < YuvPictureSize(static_cast<std::size_t>(w), static_cast<std::size_t>(h))) return;
    capture_.WriteCapturePicture(CapturePicture(channel, picture.data(), w, h), w, h);
}

const std::uint8_t* LiveWorker::CapturePicture(int channel, const std::uint8_t* picture, int width, int height)
{
    if (window_.ZoomOf(channel) <= kMinZoom) return picture;
    ZoomPicture(picture, width, height, window_.ViewOf(channel), zoomed_);
    return zoomed_.empty() ? picture : zoomed_.data();
}

void LiveWorker::WatchStall()
{
    const auto now = StallWatch::Clock::now();
    const bool online = client_.GetConnState() == kConnOnline;
    stall_.SetThresholdMs(stallMs_.load());
    // Counting begins when the client is first online; reconnections later are part of a stall.
    if (online) stall_.Arm(now, std::time(nullptr));
    if (stall_.Poll(now)) {
        if (EngineObserver* observer = shared_.Observer()) observer->OnPictureStall(stall_.SilenceSeconds(now));
    }
    if (!stall_.Stalled() || (noticeShown_ && noticeOnline_ == online)) return;
    noticeShown_ = true;
    noticeOnline_ = online;
    const std::string since = stall_.SinceText();
    SetStallText(StallStatusText(since, online));
    window_.SetNotice(StallNoticeLines(since, online));
}

void LiveWorker::EndStall(bool resumed)
{
    if (!resumed) stall_.Disarm();
    if (noticeShown_) window_.SetNotice({});
    noticeShown_ = false;
    SetStallText({});
    if (!resumed) return;
    if (EngineObserver* observer = shared_.Observer()) observer->OnPictureResumed();
}

void LiveWorker::SetStallText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(stallTextMutex_);
    stallText_ = text;
}

std::string LiveWorker::StallText() const
{
    std::lock_guard<std::mutex> lock(stallTextMutex_);
    return stallText_;
}

}  // namespace tamlorex
