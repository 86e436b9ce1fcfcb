#include "media/recorder_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace tamlorex {
namespace {

bool IsDiskName(const std::string& name)
{
    static const char* const kPrefixes[] = {"sd", "hd", "vd", "nvme", "mmcblk"};
    for (const char* prefix : kPrefixes)
        if (name.rfind(prefix, 0) == 0 && name.size() > std::char_traits<char>::length(prefix)) return true;
    return false;
}

constexpr std::size_t kLineSize = 96;

}  // namespace

bool SourceSize(int fd, std::uint64_t& size)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
        return true;
    }
    if (S_ISBLK(st.st_mode)) return ioctl(fd, BLKGETSIZE64, &size) == 0;
    return false;
}

std::string DriveTypeText(const std::string& sysBlock, const std::string& name)
{
    std::ifstream in(sysBlock + "/" + name + "/removable");
    int removable = -1;
    if (!(in >> removable)) return "Unknown";
    if (removable == 1) return "Removable";
    if (removable == 0) return "Fixed";
    return "Unknown";
}

std::vector<DriveEntry> ListDrives(const std::string& sysBlock, const std::string& devDir)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(sysBlock.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (IsDiskName(name)) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());

    std::vector<DriveEntry> drives;
    for (std::size_t number = 0; number < names.size(); ++number) {
        const std::string path = devDir + "/" + names[number];
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        std::uint64_t size = 0;
        const bool sized = SourceSize(fd, size);
        ::close(fd);
        if (!sized) continue;
        DriveEntry drive;
        drive.number = static_cast<int>(number);
        drive.devicePath = path;
        drive.size = size;
        char line[kLineSize];
        std::snprintf(line, sizeof line, "DISK%d  %-10s %10" PRIu64 " MB", drive.number,
                      DriveTypeText(sysBlock, names[number]).c_str(), size >> 20);
        drive.line = line;
        drives.push_back(std::move(drive));
    }
    return drives;
}

}  // namespace tamlorex
