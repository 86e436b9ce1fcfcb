#pragma once
// The main window's Client-mode operations, carried out by the engine's network client.
#include "app/engine_links.h"

namespace tamlorex {
class MediaEngine;
}

namespace tamlorex::app {

class EngineClientLink : public ClientLink {
public:
    explicit EngineClientLink(MediaEngine& engine) : engine_(engine) {}

    bool ConnectClient(const ConnectRequest& request) override;
    void DisconnectClient() override;
    bool IsRunning() const override;
    bool IsOnline() const override;
    int GetConnState() const override;
    std::string GetErrorText() const override;
    bool SendKey(int code) override;
    int KeyForVirtualKey(int virtualKey) const override;
    bool StartLocalRecording(const std::string& folder) override;
    void StopLocalRecording() override;
    bool IsLocalRecording() const override;
    std::string GetLocalRecordingError() const override;
    void SetTimeoutMs(int ms) override;
    int GetTimeoutMs() const override;
    void SetAutoReconnect(bool on) override;
    bool GetAutoReconnect() const override;
    void SetMouseMode(int mode) override;
    int GetMouseMode() const override;

private:
    MediaEngine& engine_;
};

}  // namespace tamlorex::app
