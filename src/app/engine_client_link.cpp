#include "app/engine_client_link.h"

#include <ctime>

#include "engine/media_engine.h"
#include "net/key_map.h"
#include "net/local_recording.h"

namespace tamlorex::app {

bool EngineClientLink::ConnectClient(const ConnectRequest& request)
{
    if (request.dynamicIp)
        return engine_.ConnectClientDdns(request.ddnsAddress, request.ddnsPort, request.dvrName, request.password);
    return engine_.ConnectClient(request.address, request.port, request.password);
}

void EngineClientLink::DisconnectClient() { engine_.DisconnectClient(); }
bool EngineClientLink::IsRunning() const { return engine_.Client().IsRunning(); }
bool EngineClientLink::IsOnline() const { return engine_.IsOnline(); }
int EngineClientLink::GetConnState() const { return engine_.GetConnState(); }
std::string EngineClientLink::GetErrorText() const { return engine_.GetClientErrorText(); }
bool EngineClientLink::SendKey(int code) { return engine_.SendKey(code) != 0; }

int EngineClientLink::KeyForVirtualKey(int virtualKey) const
{
    const auto key = DvrKeyForVirtualKey(virtualKey);
    return key ? *key : -1;
}

bool EngineClientLink::StartLocalRecording(const std::string& folder)
{
    return engine_.StartLocalRecording(NewLocalRecordingPath(folder, std::time(nullptr)));
}

void EngineClientLink::StopLocalRecording() { engine_.StopLocalRecording(); }

std::string EngineClientLink::GetLocalRecordingError() const { return engine_.GetLocalRecordingError(); }
bool EngineClientLink::IsLocalRecording() const { return engine_.IsLocalRecording(); }
void EngineClientLink::SetTimeoutMs(int ms) { engine_.SetClientTimeout(ms); }
int EngineClientLink::GetTimeoutMs() const { return engine_.Client().GetTimeout(); }
void EngineClientLink::SetAutoReconnect(bool on) { engine_.Client().SetAutoReconnect(on); }
bool EngineClientLink::GetAutoReconnect() const { return engine_.Client().GetAutoReconnect(); }
void EngineClientLink::SetMouseMode(int mode) { engine_.Client().SetMouseMode(mode); }
int EngineClientLink::GetMouseMode() const { return engine_.Client().GetMouseMode(); }

}  // namespace tamlorex::app
