#include "app/viewer_app.h"

#include <QApplication>
#include <QKeyEvent>

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
    QApplication application(argc, argv);
    UseCLocaleForNumbersAndTimes();
    ViewerApp keys;
    application.installEventFilter(&keys);

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const CommandLine commandLine = ParseCommandLine(args);

    SdlAudioDevice audio;
    ViewerOptions options;
    options.commandLine = commandLine;
    options.settingsPath = SettingsFilePath(argc > 0 ? argv[0] : "tamlorex-viewer", commandLine.configPath);
    options.audioDevice = &audio;
    auto dialog = std::make_unique<ViewerDialog>(options);
    dialog->exec();
    dialog.reset();
    return 0;
}

}  // namespace tamlorex::app
