#include "app/client_panel.h"

#include <QAbstractButton>
#include <QAction>
#include <QGuiApplication>

#include "app/command_ids.h"
#include "app/engine_links.h"
#include "app/login_dialog.h"
#include "app/settings.h"
#include "app/user_prompts.h"
#include "app/virtual_keys.h"
#include "controls/status_line.h"
#include "net/key_map.h"
#include "platform/notifier.h"

namespace tamlorex::app {

ClientPanel::ClientPanel(QWidget& owner, ClientLink& client, UserPrompts& prompts, ViewerSettings& settings,
                         controls::StatusLine& status)
    : owner_(owner), client_(client), prompts_(prompts), settings_(settings), status_(status)
{
}

void ClientPanel::SetControls(QAbstractButton* connectButton, QAction* connectAction)
{
    connectButton_ = connectButton;
    connectAction_ = connectAction;
}

std::optional<bool> ClientPanel::IsEnabled(int id) const
{
    switch (id) {
    case kCmdConnect: return true;
    case kCmdDisconnectString: return client_.IsRunning();
    case kCmdStartLocalRecording: return client_.IsOnline() && !client_.IsLocalRecording();
    case kCmdStopLocalRecording: return client_.IsLocalRecording();
    default: break;
    }
    if (FindDvrCommand(id) != nullptr) return client_.IsOnline();
    return std::nullopt;
}

bool ClientPanel::Execute(int id)
{
    switch (id) {
    case kCmdConnect: ToggleConnection(); return true;
    case kCmdDisconnectString: return true;
    case kCmdStartLocalRecording:
        // A missing or read-only folder would otherwise lose the recording without a word.
        if (!client_.StartLocalRecording(settings_.localRecordingPath)) {
            std::string text = "Local recording could not start: no file can be created in \"" +
                               settings_.localRecordingPath + "\".";
            if (const std::string reason = client_.GetLocalRecordingError(); !reason.empty()) text += "\n" + reason;
            prompts_.Message(&owner_, text, std::string());
        }
        return true;
    case kCmdStopLocalRecording:
        client_.StopLocalRecording();
        // Finishing the file can fail too (a full disk): said like a failed write.
        if (const std::string reason = client_.GetLocalRecordingError(); !reason.empty())
            prompts_.Message(&owner_, reason, std::string());
        return true;
    default: break;
    }
    if (const DvrCommand* command = FindDvrCommand(id)) {
        client_.SendKey(command->key);
        return true;
    }
    return false;
}

void ClientPanel::ToggleConnection()
{
    // Connected while the client runs, whether connecting, logging in or online.
    if (client_.IsRunning()) {
        client_.DisconnectClient();
        UpdateConnectControls();
        return;
    }
    LoginDialog login(&owner_);
    login.SetRecorderAddress(settings_.ipAddress);
    login.SetDvrName(settings_.dvrName);
    login.SetUseDynamicIp(settings_.dynamicIp != 0);
    login.SetPort(settings_.port);
    if (!prompts_.RunLogin(login)) {
        UpdateConnectControls();
        return;
    }
    settings_.ipAddress = login.RecorderAddress();
    settings_.port = login.Port();
    settings_.dynamicIp = login.UseDynamicIp() ? 1 : 0;
    settings_.dvrName = login.DvrName();
    ConnectRequest request;
    request.dynamicIp = login.UseDynamicIp();
    request.address = settings_.ipAddress;
    request.port = settings_.port;
    request.ddnsAddress = settings_.ddnsIp;
    request.ddnsPort = settings_.ddnsPort;
    request.dvrName = settings_.dvrName;
    request.password = login.Password();
    // The connection, a host name's lookup included, is made on the client's thread.
    if (!client_.ConnectClient(request))
        prompts_.Message(&owner_, "The connection could not be started: the client's threads did not start.",
                         std::string());
    UpdateConnectControls();
}

void ClientPanel::UpdateConnectControls()
{
    const bool running = client_.IsRunning();
    if (connectButton_ != nullptr) connectButton_->setChecked(running);
    if (connectAction_ != nullptr)
        connectAction_->setText(running ? QStringLiteral("Disconnect") : QStringLiteral("&Connect..."));
}

void ClientPanel::Disconnect(const std::string& message)
{
    client_.DisconnectClient();
    UpdateConnectControls();
    prompts_.Message(&owner_, message, std::string());
}

bool ClientPanel::HandleMessage(std::uint32_t message)
{
    switch (message) {
    case WM_NET_STATUS: status_.update(); return true;
    case WM_NET_SERVER_CLOSED:
        if (client_.IsOnline()) Disconnect("Disconnected by server.");
        return true;
    case WM_NET_NO_RESPONSE: Disconnect("DVR has no response."); return true;
    case WM_NET_LOGIN_FAILED: {
        // The client's own reason follows when it says something else.
        const std::string reason = client_.GetErrorText();
        std::string text = "Incorrect password.";
        if (!reason.empty() && reason != text) text += "\n" + reason;
        Disconnect(text);
        return true;
    }
    case WM_NET_ADDRESS_UNKNOWN: {
        // A name that names no host is not tried again: the client has ended.
        std::string text = client_.GetErrorText();
        if (text.empty()) text = "The recorder address \"" + settings_.ipAddress + "\" could not be found.";
        Disconnect(text);
        return true;
    }
    case WM_LOCAL_RECORDING_FAILED: prompts_.Message(&owner_, client_.GetLocalRecordingError(), std::string()); return true;
    default: return false;
    }
}

void ClientPanel::Tick(bool engineRunning)
{
    if (engineRunning) {
        const int key = TakePendingKey();
        if (key != 0) {
            const int code = client_.KeyForVirtualKey(key);
            if (code >= 0) client_.SendKey(code);
        }
    }
    const int connState = client_.GetConnState();
    if (connState != lastConnState_) {
        lastConnState_ = connState;
        status_.SetConnectionState(connState);
    }
}

}  // namespace tamlorex::app
