#pragma once
// The main window's seams to the engine's network client and AVI capture writer. The main window
// calls only these: the implementations over MediaEngine serve the viewer, fakes serve the tests.
// UnconnectedClient keeps the client's settings and never connects.
#include <cstdint>
#include <string>

#include "export/compress_options.h"
#include "net/net_client.h"

namespace tamlorex::display {
class CaptureFrameSink;
}

namespace tamlorex::app {

// The connection states the status line shows (0 idle ... 3 online ... 6 lookup answered).
using tamlorex::kConnDdnsDone;
using tamlorex::kConnIdle;
using tamlorex::kConnOnline;

struct ConnectRequest {
    bool dynamicIp = false;
    std::string address;  // direct form: the recorder's address (a host name is resolved first)
    int port = 0;
    std::string ddnsAddress;  // dynamic-IP form: the lookup server and the recorder's name
    int ddnsPort = 0;
    std::string dvrName;
    std::string password;
};

class ClientLink {
public:
    virtual ~ClientLink() = default;
    // MediaEngine ConnectClient in the direct or the dynamic-IP form (does not wait).
    virtual bool ConnectClient(const ConnectRequest& request) = 0;
    // MediaEngine DisconnectClient: the client's thread, then the engine's worker.
    virtual void DisconnectClient() = 0;
    // The client's thread runs: connecting, logging in or online.
    virtual bool IsRunning() const = 0;
    virtual bool IsOnline() const = 0;
    virtual int GetConnState() const = 0;
    virtual std::string GetErrorText() const = 0;
    // SendKey with a recorder key code; false when not logged in or the send failed.
    virtual bool SendKey(int code) = 0;
    // The recorder key of a virtual-key code by the keyboard table, -1 when the key sends nothing.
    virtual int KeyForVirtualKey(int virtualKey) const = 0;
    // Local recording of the received stream into the folder.
    virtual bool StartLocalRecording(const std::string& folder) = 0;
    virtual void StopLocalRecording() = 0;
    virtual bool IsLocalRecording() const = 0;
    // Why the local recording could not start, stopped by itself or could not be finished
    // (MediaEngine GetLocalRecordingError); empty when it did not fail.
    virtual std::string GetLocalRecordingError() const { return {}; }
    // Settings kept by the client and the engine: the timeout in milliseconds, automatic
    // reconnection and the process-wide mouse mode.
    virtual void SetTimeoutMs(int ms) = 0;
    virtual int GetTimeoutMs() const = 0;
    virtual void SetAutoReconnect(bool on) = 0;
    virtual bool GetAutoReconnect() const = 0;
    virtual void SetMouseMode(int mode) = 0;
    virtual int GetMouseMode() const = 0;
};

class CaptureLink {
public:
    virtual ~CaptureLink() = default;
    // The AVI frame size of a capture (the decoded width, twice the decoded height); false when
    // no picture size is known yet.
    virtual bool FrameSize(int& width, int& height) const = 0;
    // StartCapture of the engine's AviCaptureWriter with the 24-bit picture format of that size
    // and the frame rate of the mode (`lowSpeed`: the answer to "Internet low speed?"); 0 on
    // success, the writer's result code otherwise.
    // The compressor the following captures use (chosen by the user before the capture starts).
    virtual void SetCompressor(const CompressOptions& options) { (void)options; }
    virtual int StartCapture(const std::string& path, int width, int height, bool lowSpeed) = 0;
    virtual void StopCapture() = 0;
    // The capture event of the engine: one frame is due (Client mode at low speed).
    virtual void SignalCaptureEvent() = 0;
    // Where Player mode's display recording hands its frames (WriteCaptureFrame).
    virtual display::CaptureFrameSink* FrameSink() = 0;
};

// Never connects, keeps the settings.
class UnconnectedClient : public ClientLink {
public:
    bool ConnectClient(const ConnectRequest&) override { return false; }
    void DisconnectClient() override {}
    bool IsRunning() const override { return false; }
    bool IsOnline() const override { return false; }
    int GetConnState() const override { return kConnIdle; }
    std::string GetErrorText() const override { return {}; }
    bool SendKey(int) override { return false; }
    int KeyForVirtualKey(int) const override { return -1; }
    bool StartLocalRecording(const std::string&) override { return false; }
    void StopLocalRecording() override {}
    bool IsLocalRecording() const override { return false; }
    void SetTimeoutMs(int ms) override { timeoutMs_ = ms; }
    int GetTimeoutMs() const override { return timeoutMs_; }
    void SetAutoReconnect(bool on) override { autoReconnect_ = on; }
    bool GetAutoReconnect() const override { return autoReconnect_; }
    void SetMouseMode(int mode) override { mouseMode_ = mode; }
    int GetMouseMode() const override { return mouseMode_; }

private:
    int timeoutMs_ = 5000;
    bool autoReconnect_ = true;
    int mouseMode_ = 1;
};

}  // namespace tamlorex::app
