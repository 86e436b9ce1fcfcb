#include "net/local_recording.h"

#include <sys/stat.h>

#include <cstdlib>

namespace tamlorex {
namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string ExpandHome(const std::string& path)
{
    if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/')) return path;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return path;
    return std::string(home) + path.substr(1);
}

std::string LocalRecordingName(std::time_t when)
{
    std::tm local {};
    char text[64] = "";
    if (localtime_r(&when, &local) == nullptr || std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local) == 0)
        return "00000000-000000.VVF";
    return std::string(text) + ".VVF";
}

std::string JoinRecordingPath(const std::string& folder, const std::string& name)
{
    if (folder.size() < 2) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string FreeRecordingPath(const std::string& path)
{
    if (!Exists(path)) return path;
    const std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
    const std::string stem = path.substr(0, dot), extension = path.substr(dot);
    for (int n = 1;; ++n) {
        std::string candidate = stem + "-" + std::to_string(n) + extension;
        if (!Exists(candidate)) return candidate;
    }
}

std::string NewLocalRecordingPath(const std::string& folder, std::time_t when)
{
    const std::string expanded = ExpandHome(folder);
    if (expanded.size() >= 2) ::mkdir(expanded.c_str(), 0755);  // only the last level; the result is ignored
    return FreeRecordingPath(JoinRecordingPath(expanded, LocalRecordingName(when)));
}

}  // namespace tamlorex
