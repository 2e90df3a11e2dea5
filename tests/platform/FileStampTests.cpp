#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/api/FileStamp.h"
#include "support/TempHost.h"

using testsupport::TempHost;
using testsupport::WriteHostFile;

// A file directly in the folder has the stamp its path gives; anything else
// is left to a look by its path.
TEST(FolderStamps, GivesTheStampOfAFileOfTheFolderByItsOwnName) {
    TempHost host;
    WriteHostFile(host.HostOf("C:\\Data\\Rule.DAT"), "[LogFile]\r\n");
    WriteHostFile(host.HostOf("C:\\Data\\Sub\\Other.DAT"), "x");
    const platform::FolderStamps folder("C:\\Data");
    const auto stamp = folder.StampOf("C:\\Data\\Rule.DAT");
    ASSERT_TRUE(stamp);
    EXPECT_TRUE(stamp->exists && stamp->regular);
    EXPECT_EQ(stamp->size, 11);
    platform::FileStamp byPath = platform::StampOfFile("C:\\Data\\Rule.DAT");
    byPath.settled = stamp->settled;
    EXPECT_EQ(*stamp, byPath);
    const char* const elsewhere[] = {"C:\\Data\\rule.dat", "C:\\Data\\Missing.DAT", "C:\\Data\\Sub\\Other.DAT",
                                     "C:\\DATA\\Rule.DAT", "C:\\Other\\Rule.DAT", "C:\\Data\\", "C:\\Data\\.."};
    for (const char* path : elsewhere) EXPECT_FALSE(folder.StampOf(path)) << path;
    EXPECT_FALSE(platform::FolderStamps("C:\\Missing").StampOf("C:\\Missing\\Rule.DAT"));
}
