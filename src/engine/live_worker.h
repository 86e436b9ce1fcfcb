#pragma once
// Client mode's worker: takes the live pictures and sound that the network client queues,
// decodes each picture in the live layout and shows it in the single pane, plays the sound, and
// hands both to the local recording and the AVI capture when those run.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "codec/record_pipeline.h"
#include "engine/engine_shared.h"
#include "engine/sound_feed.h"
#include "engine/stall_watch.h"
#include "platform/event.h"

namespace tamlorex {

class AudioOut;
class AviCaptureWriter;
class NetClient;
class VideoWindow;
class VvfWriter;

class LiveWorker {
public:
    // `recordingFailed` runs (under the writer's lock, on the worker) when a write of the local
    // recording fails and the worker has closed it.
    LiveWorker(NetClient& client, RecordPipeline& pipeline, VideoWindow& window, AudioOut& audio,
               AviCaptureWriter& capture, VvfWriter& writer, std::mutex& writerMutex, EngineShared& shared,
               std::function<void()> recordingFailed);
    ~LiveWorker();

    // The worker's body, until `stop` is set; closes a local recording that is still open.
    int Run(Event& stop);
    // One picture is due for the AVI capture at low speed (the main window's capture timer).
    void CaptureTick() { captureTick_.Set(); }
    void ResetCaptureTick() { captureTick_.Reset(); }
    // The live stall alert: the silence of pictures that is a stall (3 s unless set), and the
    // status line's text while one lasts (empty otherwise). Any thread.
    void SetStallThresholdMs(int ms) { stallMs_.store(ms); }
    int GetStallThresholdMs() const { return stallMs_.load(); }
    std::string StallText() const;

private:
    void ServePicture();
    void ServeSound();
    void ServeCaptureTick();
    // Once a pass: a stall begins, or what the connection does during one changes.
    void WatchStall();
    void EndStall(bool resumed);
    void SetStallText(const std::string& text);
    // The picture as the channel's pane shows it (zoomed or whole) for the AVI capture.
    const std::uint8_t* CapturePicture(int channel, const std::uint8_t* picture, int width, int height);
    // Called under the writer's lock after a write of the writer failed.
    void EndFailedRecording();

    NetClient& client_;
    RecordPipeline& pipeline_;
    VideoWindow& window_;
    AudioOut& audio_;
    AviCaptureWriter& capture_;
    VvfWriter& writer_;
    std::mutex& writerMutex_;
    EngineShared& shared_;
    std::function<void()> recordingFailed_;
    Event captureTick_;
    SoundFeed feed_;
    bool alaw_ = false;
    std::unique_ptr<std::uint8_t[]> record_;
    std::unique_ptr<std::uint8_t[]> sound_;
    std::vector<std::uint8_t> zoomed_;
    std::atomic<int> stallMs_{kDefaultStallMs};
    StallWatch stall_;
    bool noticeShown_ = false;
    bool noticeOnline_ = false;
    mutable std::mutex stallTextMutex_;
    std::string stallText_;
};

}  // namespace tamlorex
