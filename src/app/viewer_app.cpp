#include "app/viewer_app.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings.h"
#include "app/viewer_dialog.h"
#include "app/virtual_keys.h"
#include "audio/sdl_audio_device.h"

namespace tamlorex::app {
namespace {

// SIGTERM and SIGINT reach the GUI thread through a pipe: the handler only writes one byte.
int gSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

bool InstallTerminationHandlers()
{
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

bool Wants(int argc, char** argv, const char* option, const char* shortOption = nullptr)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], option) || (shortOption && !std::strcmp(argv[i], shortOption))) return true;
    return false;
}

}  // namespace

void ViewerApp::UseCLocaleForNumbersAndTimes()
{
    std::setlocale(LC_NUMERIC, "C");
    std::setlocale(LC_TIME, "C");
}

bool ViewerApp::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int virtualKey = VirtualKeyFor(key->key(), key->modifiers());
        if (virtualKey != 0) PutPendingKey(virtualKey);
    }
    return QObject::eventFilter(watched, event);
}

int ViewerApp::Run(int argc, char** argv)
{
    // A file-size limit makes a write fail (EFBIG), which is reported, instead of ending the
    // viewer with its files cut anywhere.
    std::signal(SIGXFSZ, SIG_IGN);
    // The usage text and the version need no display.
    if (Wants(argc, argv, "--help", "-h")) {
        std::fputs(ViewerUsage().c_str(), stdout);
        return 0;
    }
    if (Wants(argc, argv, "--version")) {
        std::fputs(ViewerVersion().c_str(), stdout);
        return 0;
    }
    QApplication application(argc, argv);
    UseCLocaleForNumbersAndTimes();

    // The toolkit has taken its own arguments out of argv.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const CommandLine commandLine = ParseCommandLine(args);
    if (!commandLine.error.empty()) {
        std::fprintf(stderr, "%s\n", commandLine.error.c_str());
        return 2;
    }
    ViewerApp keys;
    application.installEventFilter(&keys);

    SdlAudioDevice audio;
    ViewerOptions options;
    options.commandLine = commandLine;
    options.settingsPath = SettingsFilePath(argc > 0 ? argv[0] : "tamlorex-viewer", commandLine.configPath);
    options.audioDevice = &audio;
    auto dialog = std::make_unique<ViewerDialog>(options);

    // A session logout or a service manager's SIGTERM, or Ctrl+C in the terminal, ends the
    // viewer as Exit does: settings saved, recordings finished.
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (InstallTerminationHandlers()) {
        signalNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, dialog.get(), [&dialog] {
            char drained[16];
            while (::read(gSignalPipe[0], drained, sizeof drained) > 0) {
            }
            // A second signal ends the process at once, should the orderly end hang.
            std::signal(SIGTERM, SIG_DFL);
            std::signal(SIGINT, SIG_DFL);
            dialog->Shutdown(ShutdownPath::Signal);
        });
    }
    dialog->exec();
    signalNotifier.reset();
    dialog.reset();
    return 0;
}

}  // namespace tamlorex::app
