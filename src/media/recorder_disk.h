#pragma once
// The disks of this machine that may hold a recorder's page stream, as the Disk Select list shows them.
#include <cstdint>
#include <string>
#include <vector>

namespace tamlorex {

struct DriveEntry {
    int number = 0;          // position of the disk in name order, counting those not listed
    std::string line;        // "DISK%d  %-10s %10lld MB"
    std::string devicePath;  // what VvfReader::Open takes with the drive flag
    std::uint64_t size = 0;  // bytes
};

// Block devices under sysBlock (sd*, hd*, vd*, nvme*, mmcblk*), numbered in name order; a disk
// that cannot be opened read-only, or whose size cannot be read, is not listed.
std::vector<DriveEntry> ListDrives(const std::string& sysBlock = "/sys/block", const std::string& devDir = "/dev");

// "Removable", "Fixed" or "Unknown" from the sysfs removable flag.
std::string DriveTypeText(const std::string& sysBlock, const std::string& name);

// Size of an open disk or image in bytes; false when it cannot be determined.
bool SourceSize(int fd, std::uint64_t& size);

}  // namespace tamlorex
