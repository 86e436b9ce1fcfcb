#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "media/recorder_disk.h"
#include "media/vvf_builder.h"

namespace tamlorex {
namespace {

// A /sys/block and a /dev of our own: images stand in for the disks.
class DiskListTest : public ::testing::Test {
protected:
    void Disk(const std::string& name, const char* removable, std::uint64_t size, bool present = true)
    {
        std::filesystem::create_directories(sys + "/" + name);
        if (removable) std::ofstream(sys + "/" + name + "/removable") << removable;
        if (present) {
            std::ofstream(dev + "/" + name).close();
            std::filesystem::resize_file(dev + "/" + name, size);
        }
    }
    test::TempDir dir;
    std::string sys = dir.Path("sys");
    std::string dev = dir.Path("dev");
    void SetUp() override { std::filesystem::create_directories(dev); }
};

TEST_F(DiskListTest, ListsOpenableDisksInNameOrderWithTheirNumbers)
{
    Disk("sdb", "1", 3u << 20);
    Disk("sda", "0", (std::uint64_t{500} << 30) + 12345);
    Disk("sdc", "0", 1 << 20, false);  // cannot be opened: not listed, keeps its number
    Disk("nvme0n1", nullptr, 64u << 20);
    Disk("loop0", "0", 1 << 20);  // not a disk
    const auto drives = ListDrives(sys, dev);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].line, "DISK0  Unknown            64 MB");
    EXPECT_EQ(drives[0].devicePath, dev + "/nvme0n1");
    EXPECT_EQ(drives[1].line, "DISK1  Fixed          512000 MB");
    EXPECT_EQ(drives[1].size, (std::uint64_t{500} << 30) + 12345);
    EXPECT_EQ(drives[2].line, "DISK2  Removable           3 MB");
    EXPECT_EQ(drives[2].number, 2);
}

TEST_F(DiskListTest, GapsInTheNumbering)
{
    Disk("sda", "0", 1 << 20);
    Disk("sdb", "0", 1 << 20, false);
    Disk("sdc", "0", 2 << 20);
    const auto drives = ListDrives(sys, dev);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].number, 0);
    EXPECT_EQ(drives[1].number, 2);
    EXPECT_EQ(drives[1].devicePath, dev + "/sdc");
}

TEST_F(DiskListTest, NoSysfsNoDisks) { EXPECT_TRUE(ListDrives(dir.Path("none"), dev).empty()); }

}  // namespace
}  // namespace tamlorex
