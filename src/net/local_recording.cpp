#include "net/local_recording.h"

#include <sys/stat.h>

#include "platform/file_paths.h"

namespace tamlorex {

std::string LocalRecordingName(std::time_t when)
{
    std::tm local {};
    char text[64] = "";
    if (localtime_r(&when, &local) == nullptr || std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local) == 0)
        return "00000000-000000.VVF";
    return std::string(text) + ".VVF";
}

std::string NewLocalRecordingPath(const std::string& folder, std::time_t when)
{
    const std::string expanded = ExpandHome(folder);
    if (expanded.size() >= 2) ::mkdir(expanded.c_str(), 0755);  // only the last level; the result is ignored
    return FreeFilePath(JoinFolderPath(expanded, LocalRecordingName(when)));
}

}  // namespace tamlorex
