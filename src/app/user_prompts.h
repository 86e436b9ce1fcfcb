#pragma once
// The message boxes and file dialogs the main window raises, behind one interface so that the
// tests answer them without a person.
#include <string>

class QDialog;
class QWidget;

namespace tamlorex::app {

class LoginDialog;

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    virtual void Message(QWidget* owner, const std::string& text, const std::string& caption) = 0;
    virtual bool AskYesNo(QWidget* owner, const std::string& text) = 0;
    // Filters in the "Name (*.x)|*.x|" form. Empty on cancel.
    virtual std::string OpenFileName(QWidget* owner, const std::string& filter) = 0;
    virtual std::string SaveFileName(QWidget* owner, const std::string& defaultName, const std::string& filter,
                                     const std::string& folder) = 0;
    // Runs the login dialog modally; true on "Login".
    virtual bool RunLogin(LoginDialog& dialog) = 0;
    virtual void About(QWidget* owner) = 0;
    // Runs one of the window's other dialogs modally (options, folder chooser, disk select,
    // export, compressor choice); true when it ended with OK. The tests answer it themselves.
    virtual bool RunDialog(QDialog& dialog);
};

// The real dialogs.
class QtPrompts : public UserPrompts {
public:
    void Message(QWidget* owner, const std::string& text, const std::string& caption) override;
    bool AskYesNo(QWidget* owner, const std::string& text) override;
    std::string OpenFileName(QWidget* owner, const std::string& filter) override;
    std::string SaveFileName(QWidget* owner, const std::string& defaultName, const std::string& filter,
                             const std::string& folder) override;
    bool RunLogin(LoginDialog& dialog) override;
    void About(QWidget* owner) override;
};

// "A (*.a)|*.a|B (*.b)|*.b|" as Qt's ";;"-separated filter list.
std::string QtFilterFrom(const std::string& filter);

}  // namespace tamlorex::app
