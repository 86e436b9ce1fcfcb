#include "app/settings.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace tamlorex::app {
namespace {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
    return "/";
}

// Key names exactly as they are in the profile.
constexpr char kKeyCapturePath[] = "Capture Path";
constexpr char kKeyAlwaysOnTop[] = "AlwaysOnTop";
constexpr char kKeyShowTime[] = "Show Time";
constexpr char kKeyVideoWidth[] = "Video Width";
constexpr char kKeyVideoHeight[] = "Video Height";
constexpr char kKeyRepeat[] = "Repeat";
constexpr char kKeyTimeFormat[] = "Time Format";
constexpr char kKeyVolume[] = "Volume";
constexpr char kKeyMute[] = "Mute";
constexpr char kKeyIpAddress[] = "IP Address";
constexpr char kKeyPort[] = "Port";
constexpr char kKeyDynamicIp[] = "DynamicIp";
constexpr char kKeyUseDDraw[] = "Use DDraw";
constexpr char kKeyAutoReconnection[] = "Auto Reconnection";
constexpr char kKeyTimeout[] = "Timeout";
constexpr char kKeyDdnsIp[] = "Ddns Ip";
constexpr char kKeyDdnsPort[] = "Ddns Port";
constexpr char kKeyLocalRecordingPath[] = "Local Recording Path";
constexpr char kKeyDvrName[] = "DvrName";
constexpr char kKeyMouseMode[] = "Enable && Hidden cusor on DVR side";
constexpr char kKeyShowTimeline[] = "Show Timeline";

}  // namespace

std::string DefaultCaptureFolder() { return HomeFolder() + "/Capture"; }

ViewerSettings ViewerSettings::Defaults()
{
    ViewerSettings s;
    s.capturePath = DefaultCaptureFolder();
    s.localRecordingPath = DefaultCaptureFolder();
    return s;
}

void ViewerSettings::Load(const IniFile& ini)
{
    const ViewerSettings d = Defaults();
    const char* section = kSettingsSection;
    capturePath = ini.GetString(section, kKeyCapturePath, d.capturePath);
    alwaysOnTop = ini.GetInt(section, kKeyAlwaysOnTop, d.alwaysOnTop);
    showTime = ini.GetInt(section, kKeyShowTime, d.showTime);
    videoWidth = ini.GetInt(section, kKeyVideoWidth, d.videoWidth);
    videoHeight = ini.GetInt(section, kKeyVideoHeight, d.videoHeight);
    repeat = ini.GetInt(section, kKeyRepeat, d.repeat);
    timeFormat = ini.GetString(section, kKeyTimeFormat, d.timeFormat);
    volume = ini.GetInt(section, kKeyVolume, d.volume);
    mute = ini.GetInt(section, kKeyMute, d.mute);
    ipAddress = ini.GetString(section, kKeyIpAddress, d.ipAddress);
    port = ini.GetInt(section, kKeyPort, d.port);
    dynamicIp = ini.GetInt(section, kKeyDynamicIp, d.dynamicIp);
    useDDraw = ini.GetInt(section, kKeyUseDDraw, d.useDDraw);
    autoReconnection = ini.GetInt(section, kKeyAutoReconnection, d.autoReconnection);
    timeout = ini.GetInt(section, kKeyTimeout, d.timeout);
    ddnsIp = ini.GetString(section, kKeyDdnsIp, d.ddnsIp);
    ddnsPort = ini.GetInt(section, kKeyDdnsPort, d.ddnsPort);
    localRecordingPath = ini.GetString(section, kKeyLocalRecordingPath, d.localRecordingPath);
    dvrName = ini.GetString(section, kKeyDvrName, d.dvrName);
    mouseMode = ini.GetInt(section, kKeyMouseMode, d.mouseMode);
    showTimeline = ini.GetInt(section, kKeyShowTimeline, d.showTimeline);
}

void ViewerSettings::Save(IniFile& ini) const
{
    const char* section = kSettingsSection;
    ini.SetString(section, kKeyCapturePath, capturePath);
    ini.SetInt(section, kKeyAlwaysOnTop, alwaysOnTop);
    ini.SetInt(section, kKeyShowTime, showTime);
    ini.SetInt(section, kKeyVideoWidth, videoWidth);
    ini.SetInt(section, kKeyVideoHeight, videoHeight);
    ini.SetInt(section, kKeyRepeat, repeat);
    ini.SetString(section, kKeyTimeFormat, timeFormat);
    ini.SetInt(section, kKeyVolume, volume);
    ini.SetInt(section, kKeyMute, mute);
    ini.SetString(section, kKeyIpAddress, ipAddress);
    ini.SetInt(section, kKeyPort, port);
    ini.SetInt(section, kKeyDynamicIp, dynamicIp);
    ini.SetInt(section, kKeyUseDDraw, useDDraw);
    ini.SetInt(section, kKeyAutoReconnection, autoReconnection);
    ini.SetInt(section, kKeyTimeout, timeout);
    ini.SetString(section, kKeyDdnsIp, ddnsIp);
    ini.SetInt(section, kKeyDdnsPort, ddnsPort);
    ini.SetString(section, kKeyLocalRecordingPath, localRecordingPath);
    ini.SetString(section, kKeyDvrName, dvrName);
    ini.SetInt(section, kKeyMouseMode, mouseMode);
    ini.SetInt(section, kKeyShowTimeline, showTimeline);
}

std::string SettingsFilePath(const std::string& programPath, const std::string& overridePath)
{
    if (!overridePath.empty()) return overridePath;
    std::string base = programPath;
    if (const std::size_t slash = base.rfind('/'); slash != std::string::npos) base = base.substr(slash + 1);
    if (const std::size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    if (base.empty()) base = "tamlorex-viewer";
    std::string folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') folder = config;
    else folder = HomeFolder() + "/.config";
    return folder + "/" + base + ".INI";
}

}  // namespace tamlorex::app
