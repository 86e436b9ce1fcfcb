// The right-click menus of both modes and the accelerators.
#include "app/viewer_dialog.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include "app/command_ids.h"
#include "net/key_map.h"

namespace tamlorex::app {

void ViewerDialog::CreateMenus()
{
    auto action = [this](int id, const char* text, bool checkable = false) {
        QAction*& slot = actions_[id];
        if (slot == nullptr) {
            slot = new QAction(QString::fromLatin1(text), this);
            slot->setCheckable(checkable);
            connect(slot, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        }
        return slot;
    };
    auto addDvrControl = [&](QMenu* menu) {
        QMenu* dvr = menu->addMenu(QStringLiteral("Dvr Control"));
        int group = kDvrCommands[0].group;
        for (const DvrCommand& command : kDvrCommands) {
            if (command.group != group) dvr->addSeparator();
            group = command.group;
            dvr->addAction(action(command.commandId, command.menuText));
        }
    };
    auto addAudio = [&](QMenu* menu) {
        QMenu* audio = menu->addMenu(QStringLiteral("Audio"));
        audio->addAction(action(kCmdVolumeUp, "Volume &Up"));
        audio->addAction(action(kCmdVolumeDown, "Volume &Down"));
        audio->addAction(action(kCmdMute, "Mute On/Off", true));
    };
    auto addWindow = [&](QMenu* menu) {
        QMenu* aspect = menu->addMenu(QStringLiteral("Aspect Ratio"));
        aspect->addAction(action(kCmdAspect448, "640 x 448", true));
        aspect->addAction(action(kCmdAspect544, "640 x 544", true));
        menu->addAction(action(kCmdFullScreen, "Full Screen", true));
        menu->addAction(action(kCmdMaximize, "Maximize"));
        menu->addAction(action(kCmdAlwaysOnTop, "Always on top", true));
        menu->addAction(action(kCmdResetZoom, "Reset Zoom"));
    };

    // Popup 0, Player mode.
    playerPopup_ = new QMenu(QStringLiteral("Viewer(Play9ch)"), this);
    QMenu* p = playerPopup_;
    p->addAction(action(kCmdOpenFile, "&Open File...\tCtrl+O"));
    p->addAction(action(kCmdOpenDisk, "Open &Disk..."));
    p->addAction(action(kCmdOpenDiskImage, "Open Disk &Image..."));
    p->addMenu(QStringLiteral("&Export"))->addAction(action(kCmdExportAvi, "AVI (Audio-Video Interleaved Files)"));
    p->addAction(action(kCmdClose, "Close"));
    p->addAction(action(kCmdGotoTime, "&Go to Time...\tCtrl+G"));
    p->addSeparator();
    p->addAction(action(kCmdPlayerMode, "Player(&P)", true));
    p->addAction(action(kCmdClientMode, "Client(&L)", true));
    p->addSeparator();
    QMenu* playback = p->addMenu(QStringLiteral("Playback"));
    playback->addAction(action(kCmdPlay, "Play"));
    playback->addAction(action(kCmdPlayReverse, "Play Reverse"));
    playback->addAction(action(kCmdPause, "Pause"));
    playback->addAction(action(kCmdFastForward, "Fast Forward"));
    playback->addAction(action(kCmdFastRewind, "Fast Rewind"));
    playback->addAction(action(kCmdNextFrame, "Next Frame"));
    playback->addAction(action(kCmdPreviousFrame, "Previous Frame"));
    playback->addSeparator();
    playback->addAction(action(kCmdSpeedNormal, "Speed Normal"));
    playback->addAction(action(kCmdSpeedUp, "Speed Up"));
    playback->addAction(action(kCmdSpeedDown, "Speed Down"));
    QMenu* capture = p->addMenu(QStringLiteral("Capture"));
    capture->addAction(action(kCmdMarkIn, "Mark &In"));
    capture->addAction(action(kCmdMarkOut, "Mark &Out"));
    capture->addAction(action(kCmdExportSpan, "&Export"));
    addAudio(p);
    QMenu* split = p->addMenu(QStringLiteral("Split Mode"));
    split->addAction(action(kCmdSplit1, "Split 1"));
    split->addAction(action(kCmdSplit4, "Split 4"));
    split->addAction(action(kCmdSplit9, "Split 9"));
    addWindow(p);
    p->addAction(action(kCmdShowTime, "Show &Time", true));
    p->addAction(action(kCmdShowTimeline, "Show Ti&meline", true));
    p->addSeparator();
    p->addAction(action(kCmdOptions, "O&ptions..."));
    p->addAction(action(kCmdAbout, "&About Viewer\tF10"));
    p->addSeparator();
    p->addAction(action(kCmdExit, "E&xit\tAlt+F4"));

    // Popup 1, Client mode.
    clientPopup_ = new QMenu(QStringLiteral("Viewer(Net)"), this);
    QMenu* n = clientPopup_;
    n->addAction(action(kCmdConnect, "&Connect..."));
    n->addSeparator();
    n->addAction(action(kCmdPlayerMode, "Player(&P)", true));
    n->addAction(action(kCmdClientMode, "Client(&L)", true));
    n->addSeparator();
    addDvrControl(n);
    QMenu* local = n->addMenu(QStringLiteral("Local Recording"));
    local->addAction(action(kCmdStartLocalRecording, "Start Local Recording"));
    local->addAction(action(kCmdStopLocalRecording, "Stop Local Recording"));
    addAudio(n);
    addWindow(n);
    n->addSeparator();
    n->addAction(action(kCmdNetworkOptions, "O&ptions..."));
    n->addAction(action(kCmdAbout, "&About Viewer\tF10"));
    n->addSeparator();
    n->addAction(action(kCmdExit, "E&xit\tAlt+F4"));

    // The update rules run for a popup's items when it opens.
    for (QMenu* menu : {playerPopup_, clientPopup_}) {
        connect(menu, &QMenu::aboutToShow, this, &ViewerDialog::UpdateCommandStates);
        for (QAction* item : menu->actions())
            if (QMenu* sub = item->menu()) connect(sub, &QMenu::aboutToShow, this, &ViewerDialog::UpdateCommandStates);
    }
}

void ViewerDialog::CreateAccelerators()
{
    const std::pair<QKeySequence, int> table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_C), kCmdClose},          {QKeySequence(Qt::CTRL | Qt::Key_F), kCmdFullScreen},
        {QKeySequence(Qt::CTRL | Qt::Key_N), kCmdNextFrame},      {QKeySequence(Qt::CTRL | Qt::Key_O), kCmdOpenFile},
        {QKeySequence(Qt::CTRL | Qt::Key_V), kCmdPreviousFrame},  {QKeySequence(Qt::CTRL | Qt::Key_P), kCmdPause},
        {QKeySequence(Qt::SHIFT | Qt::Key_C), kCmdSpeedUp},       {QKeySequence(Qt::SHIFT | Qt::Key_X), kCmdSpeedDown},
        {QKeySequence(Qt::SHIFT | Qt::Key_Z), kCmdSpeedNormal},   {QKeySequence(Qt::Key_F10), kCmdAbout},
        {QKeySequence(Qt::CTRL | Qt::Key_G), kCmdGotoTime},
    };
    for (const auto& [keys, id] : table) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setObjectName(QStringLiteral("accel-%1").arg(id));
        connect(shortcut, &QShortcut::activated, this, [this, id = id] { ExecuteCommand(id); });
    }
    // Alt+F4 is the close message, whether or not a window manager sends it.
    auto* close = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(close, &QShortcut::activated, this, [this] { Shutdown(ShutdownPath::CloseMessage); });
}

}  // namespace tamlorex::app
