#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/key_map.h"
#include "net/local_recording.h"

namespace tamlorex {
namespace {

TEST(KeyMap, CommandsSendTheirKeys)
{
    EXPECT_EQ(DvrKeyForCommand(32876), 0x15);  // Channel 5, not 0x05
    EXPECT_EQ(DvrKeyForCommand(32855), 0x01);
    EXPECT_EQ(DvrKeyForCommand(32854), 0x84);
    // Split 4, Sequence and Select share one key.
    EXPECT_EQ(DvrKeyForCommand(32882), 0x0F);
    EXPECT_EQ(DvrKeyForCommand(32881), 0x0F);
    EXPECT_EQ(DvrKeyForCommand(32862), 0x0F);
    EXPECT_FALSE(DvrKeyForCommand(32873).has_value());
}

TEST(KeyMap, VirtualKeysMapByTheTable)
{
    EXPECT_EQ(DvrKeyForVirtualKey(46), 0x05);   // Delete
    EXPECT_EQ(DvrKeyForVirtualKey(45), 0x0B);   // Insert plays; 45 never passes unchanged
    EXPECT_EQ(DvrKeyForVirtualKey(97), 65);     // keypad 1 as 'A'
    EXPECT_EQ(DvrKeyForVirtualKey(122), 90);
    EXPECT_EQ(DvrKeyForVirtualKey(8), 0x07);
    EXPECT_EQ(DvrKeyForVirtualKey(34), 0x0F);
    EXPECT_EQ(DvrKeyForVirtualKey(27), 0x0C);
    EXPECT_EQ(DvrKeyForVirtualKey(115), 0x87);
    EXPECT_EQ(DvrKeyForVirtualKey(112), 0x88);
    for (int passes : {42, 43, 47, 48, 57, 65, 90}) EXPECT_EQ(DvrKeyForVirtualKey(passes), passes);
    EXPECT_EQ(DvrKeyForVirtualKey(116), 84);  // F5 lies in 97..122: it sends 'T'
    for (int none : {0, 16, 41, 44, 58, 64, 91, 96, 123, 124, 255}) EXPECT_FALSE(DvrKeyForVirtualKey(none).has_value()) << none;
}

TEST(LocalRecordingPath, NameAndJoiningRules)
{
    // 3 March 2009 14:05:09 (the tests run in UTC).
    const std::time_t when = 1236089109;
    EXPECT_EQ(LocalRecordingName(when), "20090303-140509.VVF");
    EXPECT_EQ(JoinFolderPath("/rec/", "a.VVF"), "/rec/a.VVF");
    EXPECT_EQ(JoinFolderPath("/rec", "a.VVF"), "/rec/a.VVF");
    EXPECT_EQ(JoinFolderPath("", "a.VVF"), "a.VVF");
    EXPECT_EQ(JoinFolderPath("/", "a.VVF"), "a.VVF");  // shorter than two characters
}

TEST(LocalRecordingPath, HomeIsExpandedAndExistingNamesAreNotReused)
{
    const char* home = std::getenv("HOME");
    if (home != nullptr) {
        EXPECT_EQ(ExpandHome("~/Capture"), std::string(home) + "/Capture");
    }
    EXPECT_EQ(ExpandHome("~other/x"), "~other/x");
    EXPECT_EQ(ExpandHome("/abs"), "/abs");

    char folder[] = "/tmp/tamlorex-rec-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string sub = std::string(folder) + "/Capture";
    const std::time_t when = 1236089109;
    const std::string first = NewLocalRecordingPath(sub, when);  // creates the folder's last level
    EXPECT_EQ(first, sub + "/20090303-140509.VVF");
    struct stat st {};
    ASSERT_EQ(stat(sub.c_str(), &st), 0);
    for (const std::string& taken : {first, sub + "/20090303-140509-1.VVF"}) {
        FILE* f = std::fopen(taken.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    EXPECT_EQ(NewLocalRecordingPath(sub + "/", when), sub + "/20090303-140509-2.VVF");
    EXPECT_EQ(FreeFilePath(sub + "/none.VVF"), sub + "/none.VVF");
    std::remove(first.c_str());
    std::remove((sub + "/20090303-140509-1.VVF").c_str());
    rmdir(sub.c_str());
    rmdir(folder);
}

}  // namespace
}  // namespace tamlorex
