#pragma once
// Names and places the files of local recording (the live stream written as VVF files).
#include <ctime>
#include <string>

#include "platform/file_paths.h"

namespace tamlorex {

inline constexpr const char* kDefaultLocalRecordingFolder = "~/Capture";

// The file name of a start at the given time: local "%Y%m%d-%H%M%S" and ".VVF".
std::string LocalRecordingName(std::time_t when);
// The start command's path: home expanded, the folder's last level created, a name not yet used.
std::string NewLocalRecordingPath(const std::string& folder, std::time_t when);

}  // namespace tamlorex
