#pragma once
// What the viewer's Qt tests answer in place of the user: every prompt is remembered and answered
// as the test set it up; a dialog run through RunDialog is answered by onDialog, or with OK on
// what it shows when there is none.
#include <QDialog>
#include <QMetaObject>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "app/login_dialog.h"
#include "app/user_prompts.h"

namespace tamlorex::app::test {

class FakePrompts : public UserPrompts {
public:
    void Message(QWidget*, const std::string& text, const std::string&) override { messages.push_back(text); }
    bool AskYesNo(QWidget*, const std::string& text) override
    {
        questions.push_back(text);
        return yes;
    }
    std::string OpenFileName(QWidget*, const std::string& filter) override
    {
        ++openDialogs;
        lastFilter = filter;
        return openAnswer;
    }
    std::string SaveFileName(QWidget*, const std::string& defaultName, const std::string& filter,
                             const std::string&) override
    {
        saveDefaults.push_back(defaultName);
        lastFilter = filter;
        return saveAnswer;
    }
    bool RunLogin(LoginDialog&) override { return false; }
    void About(QWidget*) override { ++abouts; }
    bool RunDialog(QDialog& dialog) override
    {
        dialogs.push_back(dialog.windowTitle());
        if (onDialog) return onDialog(dialog);
        QMetaObject::invokeMethod(&dialog, "accept");
        return dialog.result() == QDialog::Accepted;
    }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool yes = true;  // the answer to every question
    std::string openAnswer;
    std::string saveAnswer;
    std::vector<std::string> saveDefaults;
    std::string lastFilter;
    int openDialogs = 0;
    int abouts = 0;
    QStringList dialogs;
    std::function<bool(QDialog&)> onDialog;
};

// The control with this id (its object name); the test ends when there is none.
template <typename W>
W* Find(QWidget& parent, int id)
{
    W* widget = parent.findChild<W*>(QString::number(id));
    if (widget == nullptr) qFatal("no control %d", id);
    return widget;
}

}  // namespace tamlorex::app::test
