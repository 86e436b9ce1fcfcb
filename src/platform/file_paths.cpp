#include "platform/file_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace tamlorex {

std::string ExpandHome(const std::string& path)
{
    if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/')) return path;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return path;
    return std::string(home) + path.substr(1);
}

std::string JoinFolderPath(const std::string& folder, const std::string& name)
{
    if (folder.size() < 2) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string FreeFilePath(const std::string& path)
{
    if (!PathExists(path)) return path;
    const std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
    const std::string stem = path.substr(0, dot), extension = path.substr(dot);
    for (int n = 1;; ++n) {
        std::string candidate = stem + "-" + std::to_string(n) + extension;
        if (!PathExists(candidate)) return candidate;
    }
}

bool CreateFolders(const std::string& path)
{
    auto isFolder = [](const std::string& level) {
        struct stat st {};
        return ::stat(level.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    for (std::size_t at = path.empty() ? std::string::npos : 0; at != std::string::npos;) {
        const std::size_t slash = path.find('/', at + 1);
        const std::string level = path.substr(0, slash);
        at = slash;
        if (level.empty() || level == "/" || isFolder(level)) continue;
        if (::mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (!isFolder(level)) {
            errno = ENOTDIR;
            return false;
        }
    }
    return true;
}

}  // namespace tamlorex
