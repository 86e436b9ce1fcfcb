#pragma once
// Where the viewer's own files go (still captures, local recordings): a folder from the settings,
// a name made from the time, and never a file that is already there.
#include <string>

namespace tamlorex {

// "~" or "~/..." with the home folder; anything else unchanged.
std::string ExpandHome(const std::string& path);
// The folder and the name joined: the bare name for a folder shorter than two characters, no
// second "/" when the folder ends with one.
std::string JoinFolderPath(const std::string& folder, const std::string& name);
// Whether anything (a file, a folder, a link even when dangling) has this path.
bool PathExists(const std::string& path);
// The path, or the first of "-1", "-2", ... before its extension that names nothing yet.
std::string FreeFilePath(const std::string& path);
// Creates every missing level of the folder path, from the first down, checking after each that
// it is a folder (following links). False, with errno set, as soon as one is not.
bool CreateFolders(const std::string& path);

}  // namespace tamlorex
