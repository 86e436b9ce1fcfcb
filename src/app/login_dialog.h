#pragma once
// The login dialog of Client mode: a direct connection (address and port) or a dynamic-IP one (the
// recorder's name), and the password. One edit field holds the address or the name; its label and
// the port field follow the "Use dynamic ip service" check box.
#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace tamlorex::app {

// Control ids of the dialog, also the object names of its widgets.
inline constexpr int kLoginUseDynamicIp = 1710;
inline constexpr int kLoginSharedLabel = 1709;
inline constexpr int kLoginSharedEdit = 1708;
inline constexpr int kLoginPortLabel = 1712;
inline constexpr int kLoginPortEdit = 1735;
inline constexpr int kLoginPasswordEdit = 1706;

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoginDialog(QWidget* parent = nullptr);

    // Set by the caller before the dialog is shown.
    void SetRecorderAddress(const std::string& address) { recorderAddress_ = address; }
    void SetDvrName(const std::string& name) { dvrName_ = name; }
    void SetUseDynamicIp(bool on) { useDynamicIp_ = on ? 1 : 0; }
    void SetPort(int port) { port_ = port; }

    // Read by the caller after "Login".
    const std::string& RecorderAddress() const { return recorderAddress_; }
    const std::string& DvrName() const { return dvrName_; }
    bool UseDynamicIp() const { return useDynamicIp_ != 0; }
    int Port() const { return port_; }
    const std::string& Password() const { return password_; }

    // The opening steps (also run by showEvent): values into the controls, then the form.
    void Open();
    // "Login": false (and the dialog stays) when the port is not a whole number.
    bool Login();

    // The text the framework shows for a field that must hold an integer.
    static constexpr char kIntegerMessage[] = "Please enter an integer.";

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void OnDynamicIpClicked();

private:
    // The values to the controls (false) or the controls to the values (true).
    bool Exchange(bool fromControls);
    void ApplyForm();

    QCheckBox* useDynamicIpBox_;
    QLabel* sharedLabel_;
    QLineEdit* sharedEdit_;
    QLabel* portLabel_;
    QLineEdit* portEdit_;
    QLineEdit* passwordEdit_;

    std::string sharedText_;
    std::string password_;
    int useDynamicIp_ = 0;
    int port_ = 0;
    std::string dvrName_;
    std::string recorderAddress_;
    bool opened_ = false;
};

}  // namespace tamlorex::app
