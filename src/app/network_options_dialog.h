#pragma once
// The Network Options dialog of Client mode: window flags, reconnection and its timeout, the
// dynamic-IP lookup server, the local recording folder and the mouse remote control.
#include <QDialog>

#include <string>

#include "app/settings.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace tamlorex::app {

class UserPrompts;

// Control ids of this dialog's own controls, also their object names; "Always on top" (1665),
// "Use DirectDraw" (1712), "Repeat playback (&R)" (1697) and "Browse..." (1666) share the Options
// dialog's ids, and "Auto Reconnection (&C)" takes 1667.
inline constexpr int kNetOptAutoReconnection = 1667;
inline constexpr int kNetOptTimeout = 1736;
inline constexpr int kNetOptDdnsAddress = 1733;
inline constexpr int kNetOptDdnsPort = 1735;
inline constexpr int kNetOptRecordingPath = 1734;
inline constexpr int kNetOptMouseDisable = 1741;  // mouse mode 0; 1742 and 1743 give 1 and 2

struct NetworkOptionsValues {
    bool alwaysOnTop = false;
    bool useDirectDraw = true;
    bool autoReconnection = true;
    int timeoutSeconds = 7;
    std::string ddnsAddress = kDefaultDdnsAddress;
    int ddnsPort = kDefaultDdnsPort;
    std::string recordingPath;
    int mouseMode = 1;
};

class NetworkOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit NetworkOptionsDialog(UserPrompts& prompts, QWidget* parent = nullptr);

    // Fills the controls. Values() gives these until OK stores the controls' values. A mouse mode
    // outside 0..2 checks no radio button and is kept unless the user picks one.
    void SetValues(const NetworkOptionsValues& values);
    const NetworkOptionsValues& Values() const { return values_; }

public slots:
    // Stores the controls' values and closes; a timeout or port that is not a whole number keeps
    // the dialog open with that field selected, and says so.
    void accept() override;

private:
    // The field's whole number, or false after the message and with the field selected.
    bool ReadInteger(QLineEdit* field, int& value);

    UserPrompts& prompts_;
    NetworkOptionsValues values_;
    QCheckBox* alwaysOnTop_;
    QCheckBox* useDirectDraw_;
    QCheckBox* autoReconnection_;
    QCheckBox* repeat_;
    QLineEdit* timeout_;
    QLineEdit* ddnsAddress_;
    QLineEdit* ddnsPort_;
    QLineEdit* recordingPath_;
    QButtonGroup* mouseMode_;
};

}  // namespace tamlorex::app
