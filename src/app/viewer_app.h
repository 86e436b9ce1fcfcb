#pragma once
// The application: the Qt application object with the C locale for numbers and times, the key
// recorder for the remote control, and the one main window run modally for the life of the process.
#include <QObject>

namespace tamlorex::app {

class ViewerApp : public QObject {
    Q_OBJECT
public:
    // Runs the viewer; the return value is the process's exit status.
    static int Run(int argc, char** argv);

    // Puts LC_NUMERIC and LC_TIME back to "C" after Qt took the locale from the environment.
    static void UseCLocaleForNumbersAndTimes();

protected:
    // Every key press to any window of the program is the pending key of the remote control.
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tamlorex::app
