#pragma once
// Client mode's worker: takes the live pictures and sound that the network client queues,
// decodes each picture in the live layout and shows it in the single pane, plays the sound, and
// hands both to the local recording and the AVI capture when those run.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "codec/record_pipeline.h"
#include "engine/engine_shared.h"
#include "engine/sound_feed.h"
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

private:
    void ServePicture();
    void ServeSound();
    void ServeCaptureTick();
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
};

}  // namespace tamlorex
