#pragma once
// Names and places the files of local recording (the live stream written as VVF files).
#include <ctime>
#include <string>

namespace tamlorex {

inline constexpr const char* kDefaultLocalRecordingFolder = "~/Capture";

// "~" or "~/..." with the home folder; anything else unchanged.
std::string ExpandHome(const std::string& path);
// The file name of a start at the given time: local "%Y%m%d-%H%M%S" and ".VVF".
std::string LocalRecordingName(std::time_t when);
// The folder and the name joined: the bare name for a folder shorter than two characters, no
// second "/" when the folder ends with one.
std::string JoinRecordingPath(const std::string& folder, const std::string& name);
// The path, or the first of "-1", "-2", ... before its extension that names no existing file.
std::string FreeRecordingPath(const std::string& path);
// The start command's path: home expanded, the folder's last level created, a name not yet used.
std::string NewLocalRecordingPath(const std::string& folder, std::time_t when);

}  // namespace tamlorex
