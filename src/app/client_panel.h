#pragma once
// Client mode's part of the main window: the connection (the Connect button and menu item, the
// login dialog), the recorder's remote-control keys from the buttons, the menu and the keyboard,
// local recording, and the client's news (disconnection, no response, refused login, an address
// that names no host).
#include <cstdint>
#include <optional>
#include <string>

class QAbstractButton;
class QAction;
class QWidget;

namespace tamlorex::controls {
class StatusLine;
}

namespace tamlorex::app {

class ClientLink;
class UserPrompts;
struct ViewerSettings;

class ClientPanel {
public:
    // owner is the parent of the panel's dialogs and messages; settings are the window's, kept
    // up to date with what the login dialog was given.
    ClientPanel(QWidget& owner, ClientLink& client, UserPrompts& prompts, ViewerSettings& settings,
                controls::StatusLine& status);

    // The Connect button and menu item, kept in step with the client.
    void SetControls(QAbstractButton* connectButton, QAction* connectAction);

    // The update rule of a Client-mode command; nothing for a command that is not the panel's.
    std::optional<bool> IsEnabled(int id) const;
    // Runs a Client-mode command; false for a command that is not the panel's.
    bool Execute(int id);
    // Connect while idle (the login dialog first), disconnect while the client runs.
    void ToggleConnection();
    // The client's posted news; false for a message that is not the client's.
    bool HandleMessage(std::uint32_t message);
    // One timer tick: a key pressed in the video window goes to the recorder, and the connection
    // state reaches the status line.
    void Tick(bool engineRunning);
    void UpdateConnectControls();

private:
    void Disconnect(const std::string& message);

    QWidget& owner_;
    ClientLink& client_;
    UserPrompts& prompts_;
    ViewerSettings& settings_;
    controls::StatusLine& status_;
    QAbstractButton* connectButton_ = nullptr;
    QAction* connectAction_ = nullptr;
    int lastConnState_ = -1;
};

}  // namespace tamlorex::app
