#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/api/FileApi.h"
#include "platform/host/HostFolder.h"
#include "platform/host/WinPath.h"
#include "support/TempHost.h"

using namespace platform;
using testsupport::TempHost;
using testsupport::ReadHostFile;
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

TEST(WinPath, NewAndExistingNamesAreMatchedIgnoringCaseBeyondAscii) {
    TempHost host;
    WriteHostFile(host.HostOf("C:\\Data\\\u00c4rger.txt"), "x");
    WriteHostFile(host.HostOf("C:\\Data\\plain.TXT"), "x");
    struct Case {
        const char* windows;
        const char* onDisk;  // under drive C
    } cases[] = {
        {"C:\\DATA\\\u00e4RGER.txt", "Data/\u00c4rger.txt"},
        {"C:\\Data\\\u00e4rger.TXT", "Data/\u00c4rger.txt"},
        {"C:\\Data\\PLAIN.txt", "Data/plain.TXT"},
        {"C:\\data\\New.txt", "Data/New.txt"},
        {"C:\\Data\\plain.txt2", "Data/plain.txt2"},
        {"C:\\Data\\Missing\\plain.txt", "Data/Missing/plain.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(*ToHostPath(c.windows), host.DriveC() / c.onDisk) << c.windows;
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
        {"C:\\Already\\Normal.txt", "C:\\Already\\Normal.txt"},
        {"C:\\", "C:\\"},
        {"C:\\a\\", "C:\\a"},
        {"C:\\a\\\\b", "C:\\a\\b"},
        {"C:\\a/b", "C:\\a\\b"},
        {"C:\\...\\x", "C:\\x"},
        {"C:\\a \\b", "C:\\a\\b"},
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

namespace {

int ExitCodeOf(pid_t child) {
    int status = -1;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

// The drive map is kept between lookups; every kind of change of host.ini
// is seen at the next one: in place by another process, by this process
// after a fork (in the child too), and the file's removal.
TEST(WinPath, TheDriveMapFollowsEveryChangeOfHostIni) {
    TempHost host;
    const std::filesystem::path ini = host.Folder() / "host.ini";
    const std::string original = ReadHostFile(ini);
    EXPECT_FALSE(ToHostPath("Q:\\x"));
    const pid_t editor = fork();
    if (editor == 0) {
        std::ofstream(ini, std::ios::app) << "[Drives]\r\nQ=" << (host.Folder() / "q").string() << "\r\n";
        _exit(0);
    }
    ASSERT_EQ(ExitCodeOf(editor), 0);
    EXPECT_EQ(ToHostPath("Q:\\x"), host.Folder() / "q" / "x");

    int ready[2], written[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(written), 0);
    const pid_t child = fork();
    if (child == 0) {
        const bool before = !ToHostPath("R:\\x").has_value();
        char byte = 0;
        if (write(ready[1], &byte, 1) != 1 || read(written[0], &byte, 1) != 1) _exit(3);
        _exit(before && ToHostPath("R:\\x") == host.Folder() / "r" / "x" ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    host.WriteHostIni("Drives", "R", (host.Folder() / "r").string());
    ASSERT_EQ(write(written[1], &byte, 1), 1);
    EXPECT_EQ(ExitCodeOf(child), 0);
    EXPECT_EQ(ToHostPath("R:\\x"), host.Folder() / "r" / "x");
    for (int fd : {ready[0], ready[1], written[0], written[1]}) close(fd);

    std::filesystem::remove(ini);
    EXPECT_FALSE(ToHostPath("R:\\x"));
    WriteHostFile(ini, original);
    EXPECT_FALSE(ToHostPath("Q:\\x"));
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

// A host.ini saved in Windows-1252 is read in that code page, drive map and all.
TEST(WinPath, AHostIniInTheAnsiCodePageIsReadWithoutWaitingOnItself) {
    TempHost host;
    WriteHostFile(host.Folder() / "host.ini",
                  "[Drives]\r\nD=" + host.Folder().string() + "/d\xE4ta\r\n");
    EXPECT_EQ(ToHostPath("D:\\x"), host.Folder() / "d\xC3\xA4ta" / "x");
}
