#include <gtest/gtest.h>

#include "platform/api/FileSystem.h"
#include "platform/host/HostFolder.h"
#include "platform/host/WinPath.h"
#include "support/TempHost.h"

using namespace platform;
using testsupport::TempHost;
using testsupport::WriteHostFile;

TEST(WinPath, CaseInsensitiveLookupReachesFileWrittenWithOtherCase) {
    TempHost host;
    WriteHostFile(host.HostOf("C:\\Program Files\\Quarnel\\Quarnel.ini"), "[General]\r\n");
    const auto path = ToHostPath("C:\\PROGRAM FILES\\quarnel\\QUARNEL.INI");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, host.HostOf("C:\\Program Files\\Quarnel\\Quarnel.ini"));
}

TEST(WinPath, MissingComponentsKeepTheCaseTheyAreGiven) {
    TempHost host;
    const auto path = ToHostPath("c:\\program files\\NewFolder\\New.TXT");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, host.DriveC() / "Program Files" / "NewFolder" / "New.TXT");
}

TEST(WinPath, DotsResolveAsTextAndStopAtTheDriveRoot) {
    TempHost host;
    struct Case {
        const char* windows;
        const char* normal;
    } cases[] = {
        {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
        {"C:\\..\\..\\etc\\passwd", "C:\\etc\\passwd"},
        {"c:/Windows//System32/", "C:\\Windows\\System32"},
        {"C:", "C:\\"},
        {"C:\\a\\..", "C:\\"},
        {"C:\\file.txt. ", "C:\\file.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizeWindowsPath(c.windows), c.normal) << c.windows;
    EXPECT_EQ(*ToHostPath("C:\\..\\..\\etc"), host.DriveC() / "etc");
}

TEST(WinPath, UncAndUnmappedDrivesNameNothing) {
    TempHost host;
    EXPECT_FALSE(ToHostPath("\\\\server\\share\\file.txt"));
    EXPECT_FALSE(ToHostPath("Q:\\anything"));
    host.WriteHostIni("Drives", "Q", (host.Folder() / "q").string());
    EXPECT_EQ(*ToHostPath("Q:\\anything"), host.Folder() / "q" / "anything");
}

TEST(WinPath, HostPathsTurnIntoWindowsPathsThroughTheLongestMapping) {
    TempHost host;
    EXPECT_EQ(ToWindowsPath(host.DriveC() / "Windows" / "System32"), "C:\\Windows\\System32");
    EXPECT_EQ(ToWindowsPath(host.DriveC()), "C:\\");
    EXPECT_EQ(ToWindowsPath("/usr/bin"), "Z:\\usr\\bin");
    host.WriteHostIni("Drives", "D", (host.Folder() / "data").string());
    EXPECT_EQ(ToWindowsPath(host.Folder() / "data" / "x.txt"), "D:\\x.txt");
}

TEST(WinPath, WildcardsMatchAsOnWindows) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.*", "README", true},     {"*.*", "a.b.c", true},       {"*", ".hidden", true},
        {"*.txt", "B.TXT", true},    {"*.txt", "b.txt.bak", false}, {"*.DAT", "rule.dat", true},
        {"a?c", "abc", true},        {"a?c", "ac", false},          {"Rules.*", "Rules", true},
        {"Rules.*", "rules.zip", true}, {"*.", "noext", true},      {"*.", "has.ext", false},
        {"Quarnel.ini", "QUARNEL.INI", true}, {"x*y", "xay", true}, {"x*y", "xa", false},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

TEST(WinPath, FoldersListInCaseInsensitiveNameOrder) {
    TempHost host;
    for (const char* name : {"b.txt", "A.log", "c.TXT", "B2", "a.txt"}) WriteHostFile(host.DriveC() / "list" / name, "");
    EXPECT_EQ(ListFolderNames(host.DriveC() / "list"), (std::vector<std::string>{"A.log", "a.txt", "b.txt", "B2", "c.TXT"}));
}

TEST(WinPath, DriveRootsAreRecognisedAndNeverRemoved) {
    TempHost host;
    EXPECT_TRUE(IsDriveRoot("C:\\"));
    EXPECT_TRUE(IsDriveRoot("c:"));
    EXPECT_FALSE(IsDriveRoot("C:\\Windows"));
    EXPECT_FALSE(win::RemoveDirectoryA("C:\\"));
    EXPECT_FALSE(win::RemoveDirectoryA("C:\\Windows\\.."));
    EXPECT_TRUE(std::filesystem::is_directory(host.DriveC()));
}

TEST(HostFolder, FirstUsePreparesTheUsualFoldersOfDriveC) {
    TempHost host;
    HostFolder();
    for (const char* folder : {"Windows/System32", "Program Files", "Program Files (x86)", "Users/Public/Desktop", "ProgramData"})
        EXPECT_TRUE(std::filesystem::is_directory(host.DriveC() / folder)) << folder;
    EXPECT_TRUE(std::filesystem::is_directory(host.DriveC() / "Users" / LoginName() / "AppData" / "Local" / "Temp"));
}
