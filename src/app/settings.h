#pragma once
// The viewer's settings: one section of the INI profile, read once at start and written once at exit.
#include <string>

#include "app/ini_file.h"

namespace tamlorex::app {

inline constexpr char kSettingsSection[] = "Tamlorex Viewer";
inline constexpr char kDefaultRecorderAddress[] = "192.168.1.100";
inline constexpr char kDefaultDdnsAddress[] = "192.168.1.1";
inline constexpr char kDefaultTimeFormat[] = "%Y/%m/%d %H:%M:%S";
inline constexpr int kDefaultRecorderPort = 8841;
inline constexpr int kDefaultDdnsPort = 1800;

// Every key of the section, in the order it is read and written.
struct ViewerSettings {
    std::string capturePath;  // "Capture Path"
    int alwaysOnTop = 0;
    int showTime = 1;
    int videoWidth = 640;
    int videoHeight = 448;
    int repeat = 0;
    std::string timeFormat = kDefaultTimeFormat;
    int volume = 32768;
    int mute = 0;
    std::string ipAddress = kDefaultRecorderAddress;
    int port = kDefaultRecorderPort;
    int dynamicIp = 0;
    int useDDraw = 1;
    int autoReconnection = 1;
    int timeout = 7;  // seconds
    std::string ddnsIp = kDefaultDdnsAddress;
    int ddnsPort = kDefaultDdnsPort;
    std::string localRecordingPath;
    std::string dvrName = "DVR000";
    int mouseMode = 1;  // "Enable && Hidden cusor on DVR side"
    int showTimeline = 1;  // our own: the timeline strip in Player mode

    // Both folders default to the Capture folder in the home folder.
    static ViewerSettings Defaults();
    void Load(const IniFile& ini);
    void Save(IniFile& ini) const;
};

// "~/Capture" with the home folder put in.
std::string DefaultCaptureFolder();
// The profile file: the override when given, else <base name of the program>.INI in
// $XDG_CONFIG_HOME (default ~/.config).
std::string SettingsFilePath(const std::string& programPath, const std::string& overridePath);

}  // namespace tamlorex::app
