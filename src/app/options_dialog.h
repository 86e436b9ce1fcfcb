#pragma once
// The Options dialog of Player mode: window and display flags, the on-screen time format with a
// live preview, and the still-capture folder.
#include <QDialog>

#include <ctime>
#include <string>

#include "app/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace tamlorex::app {

class UserPrompts;

// Control ids, also the object names of the widgets. The Network Options dialog shares the ids of
// the controls both dialogs have.
inline constexpr int kOptAlwaysOnTop = 1665;
inline constexpr int kOptShowTime = 1667;
inline constexpr int kOptRepeat = 1697;
inline constexpr int kOptUseDirectDraw = 1712;
inline constexpr int kOptTimeFormat = 1698;
inline constexpr int kOptTimePreview = 1702;
inline constexpr int kOptCapturePath = 1664;
inline constexpr int kOptBrowse = 1666;

// The formats the time-format list offers, in order; any other may be typed.
inline constexpr const char* kTimeFormats[] = {
    "%Y/%m/%d %H:%M:%S", "%y/%m/%d %H:%M:%S",   "%Y/%m/%d %p %I:%M:%S",
    "%y/%m/%d %p %I:%M:%S", "%b %d %H:%M:%S %Y", "%b %d %p %I:%M:%S %Y",
};
// The preview holds at most this many characters.
inline constexpr std::size_t kMaxPreviewChars = 128;

// The local time when formatted with the format, or empty when that fails or would be longer than
// kMaxPreviewChars.
std::string FormatTimePreview(const std::string& format, std::time_t when);

struct OptionsValues {
    bool alwaysOnTop = false;
    bool showTime = true;
    bool repeat = false;
    bool useDirectDraw = true;
    std::string timeFormat = kDefaultTimeFormat;
    std::string capturePath;
};

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit OptionsDialog(UserPrompts& prompts, QWidget* parent = nullptr);

    // Fills the controls. Values() gives these until OK stores the controls' values.
    void SetValues(const OptionsValues& values);
    const OptionsValues& Values() const { return values_; }

public slots:
    // Stores the controls' values as they stand (no check of the folder or the format) and closes.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void RefreshPreview();
    void Browse();

private:
    UserPrompts& prompts_;
    OptionsValues values_;
    QCheckBox* alwaysOnTop_;
    QCheckBox* showTime_;
    QCheckBox* repeat_;
    QCheckBox* useDirectDraw_;
    QComboBox* timeFormat_;
    QLabel* preview_;
    QLineEdit* capturePath_;
};

}  // namespace tamlorex::app
