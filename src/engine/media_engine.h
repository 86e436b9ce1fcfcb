#pragma once
// The player core behind the main window and the command-line tool, in both modes. It owns the
// reader, the writer, the record pipeline, the video window, the sound output, the network client
// and the AVI capture, and runs one worker thread: the playback worker in Player mode, the live
// worker in Client mode. Commands return at once; what follows reaches an EngineObserver.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "audio/audio_out.h"
#include "codec/record_pipeline.h"
#include "display/video_window.h"
#include "engine/engine_events.h"
#include "engine/engine_shared.h"
#include "export/avi_capture_writer.h"
#include "media/time_index.h"
#include "media/vvf_reader.h"
#include "media/vvf_writer.h"
#include "net/net_client.h"
#include "platform/worker_thread.h"

namespace tamlorex {

class Alerts;
class AudioDevice;
class LiveWorker;
class Notifier;
class PlaybackWorker;

inline constexpr int kPlayerMode = 1;
inline constexpr int kClientMode = 2;

class MediaEngine : public WorkerThread {
public:
    MediaEngine(AudioDevice& audioDevice, Alerts* alerts, Notifier* notifier);
    ~MediaEngine() override;

    void Initialize(int modelType, int channelCount);
    bool SetMode(int mode, int modelType, int channelCount);
    // Opens the recording (or disk) and plays it forward at 1.0.
    bool OpenSource(const std::string& path, bool drive);
    // Why the last OpenSource failed: errno of the open, or of the player's thread that could not
    // start; 0 when the path is neither a file nor a disk. Only meaningful right after a failed
    // OpenSource.
    int GetOpenErrno() const { return threadErrno_ != 0 ? threadErrno_ : reader_.LastErrno(); }
    void CloseSource();

    void Pause();
    void Play(double speed);
    void PlayReverse(double speed);
    // 16x, then doubling on each press while already fast in that direction, up to 256x.
    void FastForward();
    void FastRewind();
    void StepForward();
    void StepBack();
    void Seek(std::uint64_t offset);
    // Goes to the first picture at or after a clock time (page seconds), every shown channel's
    // picture exact, and pauses there; false, changing nothing, when no page of the recording is
    // that late or none has a good time. The time index is built on the first call after a
    // source opens (a few dozen page reads) and kept.
    bool SeekToTime(std::uint32_t time);
    // Where SeekToTime would go: the byte offset of that page; nothing when it would not move.
    std::optional<std::uint64_t> FindTime(std::uint32_t time);
    // Page time of the first good page at or after a byte offset; nothing when there is none.
    std::optional<std::uint32_t> PageTimeAt(std::uint64_t offset);
    // The clock time of the page on screen as page seconds.
    bool GetCurrentPageTime(std::uint32_t& seconds) const;
    // The normal play speed, 0.1 to 16 in tenths; while playing it applies at once (ending fast
    // forward or rewind).
    void SetRequestedSpeed(double value);

    int GetState() const { return shared_.State(); }
    double GetSpeed() const { return shared_.Speed(); }
    double GetRequestedSpeed() const { return TenthsToSpeed(shared_.RequestedTenths()); }
    std::uint64_t GetPosition() const { return shared_.Position(); }
    std::uint64_t GetSize() const { return shared_.Size(); }
    bool IsSourceOpen() const { return sourceOpen_.load(); }
    std::string GetSourcePath() const;
    bool GetCurrentTime(CalendarTime& out) const;
    int GetMode() const { return mode_.load(); }
    int GetModelType() const { return shared_.modelType.load(); }
    int GetSplitCount() const { return splitCount_.load(); }

    void SetChannelShown(int channel, bool shown);
    bool IsChannelShown(int channel) const;
    void SetRepeat(bool repeat) { shared_.repeat.store(repeat); }
    bool GetRepeat() const { return shared_.repeat.load(); }
    void SetObserver(EngineObserver* observer) { shared_.SetObserver(observer); }

    // Sound: volume 0..0xFFFF and mute, kept by the output.
    void SetVolume(std::uint32_t volume) { audio_.SetVolume(volume); }
    std::uint32_t GetVolume() const { return audio_.GetVolume(); }
    void SetMute(bool mute) { audio_.SetMute(mute ? 1 : 0); }
    bool GetMute() const { return audio_.GetMute() != 0; }

    // Client mode: the connection is made on the client's own thread, host names are looked up
    // there too; these return at once. Both forms refuse (false) outside Client mode. A name that
    // cannot be found ends the client with WM_NET_ADDRESS_UNKNOWN and GetClientErrorText saying so.
    bool ConnectClient(const std::string& address, int port, const std::string& password);
    bool ConnectClientDdns(const std::string& ddnsAddress, int ddnsPort, const std::string& dvrName,
                           const std::string& password);
    // Stops the client (which logs out), then the live worker (which closes a local recording).
    void DisconnectClient();
    int SendKey(int code) { return netClient_.SendKey(code); }
    int GetConnState() const { return netClient_.GetConnState(); }
    bool IsOnline() const { return netClient_.IsOnline() != 0; }
    std::string GetClientErrorText() const { return netClient_.GetErrorText(); }
    void SetClientTimeout(int ms) { netClient_.SetTimeout(ms); }
    NetClient& Client() { return netClient_; }
    // The live stall alert: how long without a new picture is a stall (3000 ms unless set; below
    // 1 ms counts as 1), and the status line's text while one lasts ("No picture since HH:MM:SS,
    // waiting" or ", reconnecting"), empty otherwise.
    void SetStallThresholdMs(int ms);
    int GetStallThresholdMs() const;
    std::string StallText() const;

    // Local recording of the live stream. Start closes a recording that is still open, then opens
    // the path, or the first free "-1", "-2" ... variant of it: a recording never overwrites a file.
    bool StartLocalRecording(const std::string& path);
    // True when a recording was open and is now closed with its file finished; false with
    // GetLocalRecordingError when finishing the file failed (its whole pages stay).
    bool StopLocalRecording();
    bool IsLocalRecording() const;
    std::string GetLocalRecordingPath() const;
    // Why the last local recording stopped by itself or could not be finished; empty when it
    // did not fail. A failure on the worker also posts WM_LOCAL_RECORDING_FAILED.
    std::string GetLocalRecordingError() const;

    // "Save AVI": one AVI file of what is being watched. The frame size is the last decoded
    // picture's width and twice its height (false before the first picture).
    bool CaptureFrameSize(int& width, int& height) const;
    // Frames per second of a capture started now: in Player mode from the last decoded height and
    // the current page's frame interval and channel mask, in Client mode from the low-speed answer.
    int CaptureFramesPerSecond(bool lowSpeed) const;
    // StartCapture of the capture writer with the 24-bit picture format of that size; 0 on success
    // (the capture is then active), the writer's result code otherwise. In Client mode the live
    // worker hands it every shown picture, or with `lowSpeed` the latest one on each CaptureTick;
    // sound goes in while it runs. Player mode's pictures come from the display (CaptureWriter).
    int StartCapture(const std::string& path, int width, int height, bool lowSpeed);
    // StopCapture of the writer (the file is finished); nothing when no capture runs.
    int StopCapture();
    bool IsCapturing() const { return shared_.captureActive.load(); }
    AviCaptureWriter& CaptureWriter() { return capture_; }
    // The main window's capture timer: the live worker hands the latest picture to the AVI capture.
    void CaptureTick();

    VideoWindow& Window() { return window_; }
    AudioOut& Audio() { return audio_; }

    // Panes for a recorder's channel count: 16 from 10 channels, 9 from 5, 1 for one, else 4.
    static int SplitForChannels(int channels);

protected:
    int Run() override;

private:
    // Forwards the client thread's news to the observer.
    class ClientEvents : public NetClientListener {
    public:
        explicit ClientEvents(EngineShared& shared) : shared_(shared) {}
        void OnConnState(int state) override;
        void OnErrorText(const std::string& text) override;

    private:
        EngineShared& shared_;
    };

    // Stops the worker; the scans of its readers give up at once.
    void StopThread();
    void StopWorker();
    void PlayAt(double speed, int command);
    void PlayFast(int state, int command);
    bool StartClient();
    void OpenAudioFor(int modelType);
    // Under writerMutex_: the text of the writer's failure.
    void NoteRecordingFailure();
    void ForgetTimeIndex();
    // Under timeMutex_: the time index of the open source, built once; null without one.
    TimeIndex* BuiltTimeIndex();

    Alerts* alerts_;
    Notifier* notifier_;
    EngineShared shared_;
    VvfReader reader_;
    VvfWriter writer_;
    RecordPipeline pipeline_;
    VideoWindow window_;
    AudioOut audio_;
    AviCaptureWriter capture_;
    ClientEvents clientEvents_{shared_};
    NetClient netClient_;
    // Start and stop of local recording (user-interface thread) against the live worker's writes.
    mutable std::mutex writerMutex_;
    std::string recordingPath_;
    std::string recordingError_;
    int threadErrno_ = 0;  // the player's thread could not start (OpenSource)
    std::unique_ptr<PlaybackWorker> playback_;
    std::unique_ptr<LiveWorker> live_;

    std::atomic<int> mode_{kClientMode};
    std::atomic<int> splitCount_{4};
    std::atomic<bool> sourceOpen_{false};
    mutable std::mutex pathMutex_;
    std::string sourcePath_;
    // The time index of the open source (user-interface thread; reads pages with pread).
    std::mutex timeMutex_;
    std::unique_ptr<TimeIndex> timeIndex_;
    bool timeIndexTried_ = false;
};

}  // namespace tamlorex
