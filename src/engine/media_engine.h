#pragma once
// The object behind the main window in both modes: it owns the reader, the writer, the decoder,
// the video window and the sound output, and runs one worker thread (playback in Player mode).
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_out.h"
#include "codec/channel_pictures.h"
#include "codec/video_decoder.h"
#include "display/video_window.h"
#include "export/avi_capture_writer.h"
#include "media/frame_record.h"
#include "media/vvf_reader.h"
#include "media/vvf_writer.h"
#include "net/net_client.h"
#include "platform/event.h"
#include "platform/worker_thread.h"

namespace tamlorex {

class Alerts;
class AudioDevice;
class Notifier;

enum PlaybackState : int {
    kStateReady = 0,
    kStateStop = 1,
    kStatePlay = 2,
    kStateReverse = 3,
    kStateStepForward = 4,
    kStateStepBack = 5,
    kStatePause = 6,
    kStateSearch = 7,
};
// "READY", "STOP ", "PLAY ", ... as the main window shows them.
const char* StateText(int state);

inline constexpr int kPlayerMode = 1;
inline constexpr int kClientMode = 2;
inline constexpr double kMaxFastSpeed = 256.0;

// What the worker hands on, for the command-line tool and the tests (called on the worker thread).
class EngineObserver {
public:
    virtual ~EngineObserver() = default;
    virtual void OnStateChanged(int state, double speed) = 0;
    virtual void OnPictureShown(int channel, const CalendarTime& time, const std::uint8_t* yuv, int width,
                                int height) = 0;
    // Client mode. The connection state and error texts come from the network client's thread,
    // pictures and sound from the live worker.
    virtual void OnConnState(int state) {}
    virtual void OnClientError(const std::string& text) {}
    virtual void OnLivePicture(bool full, const std::uint8_t* yuv, int width, int height) {}
    virtual void OnLiveAudio(std::size_t bytes) {}
};

class MediaEngine : public WorkerThread {
public:
    MediaEngine(AudioDevice& audioDevice, Alerts* alerts, Notifier* notifier);
    ~MediaEngine() override;

    void Initialize(int modelType, int channelCount);
    bool SetMode(int mode, int modelType, int channelCount);
    bool OpenSource(const std::string& path, bool drive);
    void CloseSource();

    void Pause();
    void Play(double speed);
    void PlayReverse(double speed);
    void FastForward();
    void FastRewind();
    void StepForward();
    void StepBack();
    void Seek(std::uint64_t offset);
    void SetRequestedSpeed(double value);

    int GetState() const { return state_.load(); }
    double GetSpeed() const { return speed_.load(); }
    double GetRequestedSpeed() const { return requestedSpeed_.load(); }
    std::uint64_t GetPosition() const { return position_.load(); }
    std::uint64_t GetSize() const { return size_.load(); }
    bool IsSourceOpen() const { return sourceOpen_.load(); }
    std::string GetSourcePath() const;
    bool GetCurrentTime(CalendarTime& out) const;
    int GetMode() const { return mode_.load(); }
    int GetModelType() const { return modelType_.load(); }
    int GetSplitCount() const { return splitCount_.load(); }

    void SetChannelShown(int channel, bool shown);
    bool IsChannelShown(int channel) const;
    void SetRepeat(bool repeat) { repeat_.store(repeat); }
    bool GetRepeat() const { return repeat_.load(); }
    void SetObserver(EngineObserver* observer) { observer_.store(observer); }

    // Client mode: the connection is made on the client's own thread; these return at once. Both
    // forms refuse (false) outside Client mode.
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

    // Local recording of the live stream. Start closes a recording that is still open, then opens
    // the path, or the first free "-1", "-2" ... variant of it: a recording never overwrites a file.
    bool StartLocalRecording(const std::string& path);
    // True when a recording was open and is now closed.
    bool StopLocalRecording();
    bool IsLocalRecording() const;
    std::string GetLocalRecordingPath() const;

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
    bool IsCapturing() const { return captureActive_.load(); }
    AviCaptureWriter& CaptureWriter() { return capture_; }
    // The main window's capture timer: the live worker hands the latest picture to the AVI capture.
    void CaptureTick() { captureTick_.Set(); }

    VideoWindow& Window() { return window_; }
    AudioOut& Audio() { return audio_; }
    VvfWriter& Writer() { return writer_; }

    // Milliseconds one paced record takes: (interval + 1) x frame period / speed.
    static std::uint32_t PaceTargetMs(int frameInterval, int framePeriodUs, double speed);
    // Panes for a recorder's channel count: 16 from 10 channels, 9 from 5, 1 for one, else 4.
    static int SplitForChannels(int channels);
    // Frame period in microseconds for a decoded picture height and a model type.
    static int FramePeriodFor(int height, int modelType);

protected:
    int Run() override;

private:
    struct Command {
        int code = 0;
        double speed = 1.0;
        std::uint64_t target = 0;
    };
    void PostCommand(int code);
    void SetState(int state);
    void SetSpeed(double speed);
    void NoteReaderState();

    int PlaybackWorker();
    int LiveWorker();
    void ServeLivePicture();
    void ServeLiveAudio();
    void ServeCaptureTick();
    void NoteDecoded(int channel, int width, int height);
    bool StartClient();
    // Sound to the ring, pictures decoded and shown (then paced).
    void Output(std::uint32_t length);
    void OfferSound(const std::uint8_t* samples, std::uint32_t length);
    bool ShowDecoded(std::uint32_t length);
    bool IsShown();
    void Pace();
    void OpenAudioFor(int modelType);

    Alerts* alerts_;
    Notifier* notifier_;
    VvfReader reader_;
    VvfWriter writer_;
    VideoDecoder decoder_;
    VideoWindow window_;
    AudioOut audio_;
    AviCaptureWriter capture_;

    // Forwards the client thread's news to the observer.
    class ClientEvents : public NetClientListener {
    public:
        explicit ClientEvents(MediaEngine& engine) : engine_(engine) {}
        void OnConnState(int state) override;
        void OnErrorText(const std::string& text) override;

    private:
        MediaEngine& engine_;
    };
    ClientEvents clientEvents_{*this};
    NetClient netClient_;
    // Start and stop of local recording (user-interface thread) against the live worker's writes.
    mutable std::mutex writerMutex_;
    std::string recordingPath_;
    Event captureTick_;

    std::atomic<int> mode_{kClientMode};
    std::atomic<int> modelType_{0};
    std::atomic<int> splitCount_{4};
    std::atomic<double> speed_{1.0};
    std::atomic<double> requestedSpeed_{1.0};
    int framePeriod_ = 33333;
    std::array<std::atomic<bool>, kMaxChannels> channelShown_;
    std::atomic<int> state_{kStateReady};
    std::atomic<bool> repeat_{false};
    std::atomic<bool> captureActive_{false};
    std::atomic<bool> captureLowSpeed_{false};
    // The last decoded picture (its channel and size) and the current page's frame interval and
    // channel mask, for the capture's frame size and rate.
    std::atomic<int> lastChannel_{-1};
    std::atomic<int> lastWidth_{0};
    std::atomic<int> lastHeight_{0};
    std::atomic<int> pageInterval_{0};
    std::atomic<std::uint32_t> pageMask_{0};
    std::atomic<EngineObserver*> observer_{nullptr};

    Event commandEvent_;
    mutable std::mutex commandMutex_;
    Command command_;

    // Copies of the reader's state for other threads (the reader belongs to the worker).
    std::atomic<bool> sourceOpen_{false};
    std::atomic<std::uint64_t> position_{0};
    std::atomic<std::uint64_t> size_{0};
    mutable std::mutex timeMutex_;
    CalendarTime pageTime_{};
    bool pageTimeValid_ = false;
    std::string sourcePath_;

    // Worker state.
    std::uint32_t lastIterationTime_ = 0;
    std::uint32_t iterationStart_ = 0;
    int stepCounter_ = 0;
    std::unique_ptr<std::uint8_t[]> record_;
    std::unique_ptr<std::uint8_t[]> audioRecord_;
    ChannelPictures pictures_;
    std::vector<std::uint8_t> halves_[2];
};

}  // namespace tamlorex
