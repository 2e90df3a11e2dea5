#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/modRegistry.h"
#include "common/modSocketSupport.h"
#include "platform/api/Program.h"
#include "support/StderrCapture.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

using namespace CommonModule;
using testsupport::ReadHostFile;
using testsupport::StderrCapture;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace fs = std::filesystem;

namespace {

using testsupport::ScopedVariable;

// A program of the test's machine placed as C:\Program Files\Quarnel\Quarnel.exe.
class CommonModuleTest : public ::testing::Test {
protected:
    void SetUp() override { sINI = AppPath() + "Quarnel.ini"; }

    // An executable shell script at a Windows path of drive C.
    void WriteScript(const std::string& windowsPath, const std::string& body) {
        const fs::path file = host.HostOf(windowsPath);
        WriteHostFile(file, "#!/bin/sh\n" + body + "\n");
        chmod(file.c_str(), 0755);
    }

    testsupport::ProgramHost host;
};

}  // namespace

TEST_F(CommonModuleTest, ProgramPathsEndInOneBackslash) {
    EXPECT_EQ(AppPath(), "C:\\Program Files\\Quarnel\\");
    EXPECT_EQ(AppExePath(), "C:\\Program Files\\Quarnel\\Quarnel.exe");
    platform::SetProgramPathForTests("C:\\Quarnel.exe");
    EXPECT_EQ(AppPath(), "C:\\");
}

TEST_F(CommonModuleTest, IniStringsReadBackThroughTheSettingsPath) {
    WriteIniString(sINI, "General", "ShowTrayIcon", "1");
    WriteIniString(sINI, "General", "Empty", "");
    WriteIniString(sINI, "General", "Long", std::string(300, 'v'));
    EXPECT_EQ(ReadIniString(sINI, "general", "SHOWTRAYICON"), "1");
    EXPECT_EQ(ReadIniString(sINI, "General", "Empty"), "");
    EXPECT_EQ(ReadIniString(sINI, "General", "Absent"), "");
    EXPECT_EQ(ReadIniString(sINI, "General", "Long"), std::string(254, 'v'));
    EXPECT_EQ(ReadIniString("C:\\PROGRAM FILES\\quarnel\\QUARNEL.INI", "General", "ShowTrayIcon"), "1");
}

TEST_F(CommonModuleTest, InitAppSettingsChoosesTheIniAndWritesTheStartLines) {
    StderrCapture capture;
    InitAppSettings(true, true);
    EXPECT_EQ(sINI, "C:\\Program Files\\Quarnel\\Quarnel.ini");
    InitAppSettings(true, false);
    EXPECT_EQ(sINI, "C:\\Program Files\\Quarnel\\Config\\Quarnel.ini");
    EXPECT_TRUE(fs::is_directory(host.HostOf("C:\\Program Files\\Quarnel\\Config")));
    const std::string text = capture.Text();
    EXPECT_NE(text.find("\t\n"), std::string::npos);
    EXPECT_NE(text.find(" - Starting Quarnel   v"), std::string::npos);
    EXPECT_NE(text.find("\t" + std::string(40, '-') + "\n"), std::string::npos);
}

TEST_F(CommonModuleTest, DPrintSeparatesValuesWithTabs) {
    StderrCapture capture;
    DPrint("text", 5);
    DPrint(true, std::string("x"));
    EXPECT_EQ(capture.Text(), "\ttext\t5\n\tTrue\tx\n");
}

TEST_F(CommonModuleTest, VersionStringFollowsTitleRevisionAndTag) {
    const std::string base = "Quarnel   v" + std::to_string(vb::App::Major()) + "." + std::to_string(vb::App::Minor()) +
                             (vb::App::Revision() > 0 ? "." + std::to_string(vb::App::Revision()) : "");
    EXPECT_EQ(GetAppVersionString(), base + " ");
    EXPECT_EQ(GetAppVersionString("A"), base + " ALPHA");
    EXPECT_EQ(GetAppVersionString("B", "Service"), base + " BETA  - Service");
    EXPECT_EQ(GetAppVersionString("RC1"), base + " RC1");
}

TEST_F(CommonModuleTest, SaveTextToFileOverwritesAppendsAndSkipsDuplicates) {
    const std::string file = "C:\\Data\\New\\Deep\\list.txt";
    EXPECT_TRUE(SaveTextToFile(file, "First", true, false));  // folder chain created
    EXPECT_TRUE(SaveTextToFile(file, "Second", false, false));
    EXPECT_TRUE(SaveTextToFile(file, "SECOND", false, true));  // differs only in case: nothing written
    EXPECT_TRUE(SaveTextToFile(file, "Third", false, true));
    EXPECT_EQ(ReadHostFile(host.HostOf(file)), "First\r\nSecond\r\nThird\r\n");
    EXPECT_TRUE(SaveTextToFile(file, "Only", true, true));
    EXPECT_EQ(ReadHostFile(host.HostOf(file)), "Only\r\n");
}

TEST_F(CommonModuleTest, SaveTextToFileReportsFailures) {
    const fs::path readOnly = host.HostOf("C:\\Data\\locked.txt");
    WriteHostFile(readOnly, "keep\r\n");
    chmod(readOnly.c_str(), 0444);
    StderrCapture capture;
    EXPECT_FALSE(SaveTextToFile("C:\\Data\\locked.txt", "more", false, false));
    EXPECT_FALSE(SaveTextToFile("\\\\server\\share\\x.txt", "more", false, false));
    EXPECT_EQ(ReadHostFile(readOnly), "keep\r\n");
    const std::string text = capture.Text();
    EXPECT_NE(text.find("\tCommonModule\\SaveTextToFile VB ERROR: 75 Path/File access error\n"), std::string::npos);
    EXPECT_NE(text.find("\t\t- sFile=C:\\Data\\locked.txt\n"), std::string::npos);
    EXPECT_NE(text.find("\tSaveTextToFile - Directory does not exist / Cannot create directory:  \n"), std::string::npos);
}

TEST_F(CommonModuleTest, FileAndFolderTests) {
    WriteHostFile(host.HostOf("C:\\Data\\file.txt"), "x");
    fs::current_path(host.HostOf("C:\\Data"));
    struct Case {
        const char* path;
        bool file, dir;
        const char* kind;
    } cases[] = {
        {"C:\\Data\\file.txt", true, false, "file"}, {"c:\\DATA\\FILE.TXT", true, false, "file"},
        {"C:\\Data", false, true, "dir"},            {"C:\\", false, true, "dir"},
        {"file.txt", false, false, "neither"},       {"C:\\Data\\none", false, false, "neither"},
        {"\\\\srv\\share\\file.txt", false, false, "neither"}, {"", false, false, "neither"},
        {"C:\\Data\\file.txt\\", false, false, "neither"}, {"C:\\Data\\file.txt/", false, false, "neither"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DoesFileExist(c.path), c.file) << c.path;
        EXPECT_EQ(DoesDirExist(c.path), c.dir) << c.path;
        EXPECT_EQ(FileOrDir(c.path), c.kind) << c.path;
    }
    fs::current_path("/");
    EXPECT_TRUE(CreatePath("C:\\Made\\Of\\Parts"));
    EXPECT_TRUE(fs::is_directory(host.HostOf("C:\\Made\\Of\\Parts")));
}

TEST_F(CommonModuleTest, FileTestsLogWhenAsked) {
    StderrCapture capture;
    DoesDirExist("C:\\", true);
    DoesFileExist("C:\\missing.txt", true);
    EXPECT_EQ(capture.Text(),
              "\tCommonModule\\DoesDirExist: \n\t\t- Passed: C:\\\n\t\t- Returns: True\n"
              "\tCommonModule\\DoesFileExist: -1\n\t\t- Passed: C:\\missing.txt\n\t\t- Returns: False\n");
}

TEST_F(CommonModuleTest, FindFilesListsPatternByPatternThenSubfoldersDepthFirst) {
    for (const char* name : {"a.log", "b.txt", "Sub\\c.txt", "Sub\\Inner\\d.log", "another\\e.TXT", "skip.dat"})
        WriteHostFile(host.HostOf(std::string("C:\\Tree\\") + name), "");
    std::vector<std::string> files{"stale"};
    FindFiles("C:\\Tree", "*.txt;*.log", files, false);
    EXPECT_EQ(files, (std::vector<std::string>{"C:\\Tree\\b.txt", "C:\\Tree\\a.log"}));
    FindFiles("C:\\Tree\\", "*.txt;*.log", files, true);
    EXPECT_EQ(files, (std::vector<std::string>{"C:\\Tree\\b.txt", "C:\\Tree\\a.log", "C:\\Tree\\another\\e.TXT",
                                               "C:\\Tree\\Sub\\c.txt", "C:\\Tree\\Sub\\Inner\\d.log"}));
    FindFiles("C:\\Tree", "*.txt;*.*", files, false);
    EXPECT_EQ(files.size(), 4u);  // b.txt twice
    FindFiles("C:\\NoSuchFolder", "*.*", files, true);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(CountFilesInFolder("C:\\Tree"), 3);
    EXPECT_EQ(CountFilesInFolder("C:\\Tree\\", "*.log"), 1);
}

TEST_F(CommonModuleTest, StringHelpers) {
    EXPECT_EQ(StripPath("C:\\a\\b.txt"), "b.txt");
    EXPECT_EQ(StripPath("name.txt"), "name.txt");
    EXPECT_EQ(StripNameFromPath("C:\\a\\b.txt"), "C:\\a");
    {
        StderrCapture capture;
        EXPECT_EQ(StripNameFromPath(""), "");
        EXPECT_EQ(StripNameFromPath("name.txt"), "");
        EXPECT_EQ(StripNameFromPathNoDebug(""), "");
        const std::string text = capture.Text();
        EXPECT_NE(text.find("StripNameFromPath Function was passed an empty string!"), std::string::npos);
        EXPECT_NE(text.find("CommonModule\\StripNameFromPath VB ERROR: 5 "), std::string::npos);
    }
    EXPECT_EQ(Strip("aXXbXc", "X"), "abc");
    EXPECT_EQ(Strip("aabbb", "ab"), "b");  // scanned again from the start after each removal
    EXPECT_EQ(StripEndOfString("abc = def", "=", true, true, true), "abc");
    EXPECT_EQ(StripEndOfString("a=b=c", "=", false, false, false), "a=b");
    EXPECT_EQ(StripEndOfString("  no delimiter  ", "=", true, true, false), "no delimiter  ");
    EXPECT_EQ(StripTrailingCharacters("C:\\a\\\\", "\\"), "C:\\a");
    EXPECT_EQ(StripPreceedingCharacters("000123", "0"), "123");
}

TEST(SplitString, FollowsTheRunTimeSplitRules) {
    struct Case {
        const char* text;
        const char* delimiter;
        long limit;
        std::vector<std::string> parts;
    } cases[] = {
        {"", ";", -1, {}},
        {"whole", "", -1, {"whole"}},
        {"a;b;c", ";", -1, {"a", "b", "c"}},
        {"a;b;", ";", -1, {"a", "b", ""}},
        {";", ";", -1, {"", ""}},
        {"a;b;c", ";", 2, {"a", "b;c"}},
        {"a<>b", "<>", -1, {"a", "b"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> out{"old"};
        EXPECT_EQ(modSocketSupport::SplitString(out, c.text, c.delimiter, c.limit), c.parts) << c.text;
        EXPECT_EQ(out, c.parts);
    }
    std::vector<std::string> out;
    EXPECT_EQ(modSocketSupport::SplitString(out, "aXbxc", "x", -1, modSocketSupport::Compare::Text),
              (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(modSocketSupport::SplitString(out, "aXbxc", "x"), (std::vector<std::string>{"aXb", "c"}));
}

TEST(IsNewerVersion, ComparesTheWeightedValue) {
    struct Case {
        const char* v1;
        const char* v2;
        bool newer;
    } cases[] = {
        {"3.2.14", "3.2.15", true}, {"3.2.15", "3.2.14", false}, {"3.2.15", "3.2.15", false},
        {"3.2", "3.2.1", true},     {"3.2.1", "3.2", false},     {"1.x.0", "0.0.1", true},
        {"1.100.0", "2.0.0", false},  // minor numbers of 100 overlap the next place
        {"99999.0.0", "0.0.1", true},  // overflow counts as 0
    };
    for (const Case& c : cases) EXPECT_EQ(IsNewerVersion(c.v1, c.v2), c.newer) << c.v1 << " " << c.v2;
}

TEST(Uptime, FormatsWholeDaysHoursAndMinutes) {
    EXPECT_EQ(FormatUptime(3600 * 1000ULL), "0 Day(s), 1 Hour(s) and 0 Minutes");
    EXPECT_EQ(FormatUptime((86400 + 2 * 3600 + 3 * 60 + 59) * 1000ULL + 999), "1 Day(s), 2 Hour(s) and 3 Minutes");
    EXPECT_EQ(FormatUptime(60ULL * 86400 * 1000), "60 Day(s), 0 Hour(s) and 0 Minutes");  // past the 32-bit wrap
    EXPECT_NE(GetSystemUptime().find(" Day(s), "), std::string::npos);
}

TEST_F(CommonModuleTest, ShellXWaitsForRealExitCodes) {
    WriteScript("C:\\Program Files\\My Tool\\exit code.sh", "exit \"$1\"");
    std::int32_t code = -1;
    EXPECT_TRUE(ShellX("C:\\Program Files\\My Tool\\exit code.sh", "7", true, 0, code));
    EXPECT_EQ(code, 7);
    EXPECT_TRUE(ShellX("C:\\Program Files\\My Tool\\exit code.sh", "0", true, 1, code));
    EXPECT_EQ(code, 0);
    // 259 is the code Windows also reports for a running process: the wait still ends.
    EXPECT_TRUE(ShellX("cmd.exe", "/c exit 259", true, 0, code));
    EXPECT_EQ(code, 259);
}

TEST_F(CommonModuleTest, ShellXPassesTheCommandLineAsBuilt) {
    WriteScript("C:\\Tools\\args.sh", "printf '%s|' \"$@\" > \"$(dirname \"$0\")/args.txt\"");
    std::int32_t code = -1;
    ASSERT_TRUE(ShellX("C:\\Tools\\args.sh", "one \"two words\"", true, 0, code));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Tools\\args.txt")), "one|two words|");
    ASSERT_TRUE(ShellX("C:\\Tools\\args.sh", "", true, 0, code));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Tools\\args.txt")), "|");
}

TEST_F(CommonModuleTest, ShellXWithoutWaitingAndItsFailures) {
    WriteScript("C:\\Tools\\touch.sh", "sleep 0.2; : > \"$(dirname \"$0\")/done.txt\"");
    std::int32_t code = 42;
    EXPECT_TRUE(ShellX("C:\\Tools\\touch.sh", "", false, 0, code));
    EXPECT_EQ(code, 42);
    StderrCapture capture;
    EXPECT_FALSE(ShellX("C:\\Tools\\missing.exe", "", true, 0, code));
    EXPECT_FALSE(ShellX("no-such-program-anywhere.exe", "/x", true, 0, code));
    EXPECT_EQ(code, 42);
    const std::string text = capture.Text();
    EXPECT_NE(text.find("\tCommonModule\\ShellX FILE NOT FOUND\n\t\t- sPathAndFileName=C:\\Tools\\missing.exe\n"),
              std::string::npos);
    EXPECT_NE(text.find("\tCommonModule\\ShellX VB ERROR: 53 File not found\n"), std::string::npos);
    for (int i = 0; i < 50 && !fs::exists(host.HostOf("C:\\Tools\\done.txt")); ++i) Delay(0.1);
    EXPECT_TRUE(fs::exists(host.HostOf("C:\\Tools\\done.txt")));
}

TEST_F(CommonModuleTest, ShellAndWaitForTerminationReportsEndAndTimeOut) {
    WriteScript("C:\\Tools\\slow.sh", "sleep \"$1\"");
    std::string message;
    EXPECT_TRUE(ShellAndWaitForTermination("C:\\Tools\\slow.sh 0", 0, message, 2000000000, false));
    EXPECT_EQ(message, "");
    EXPECT_TRUE(ShellAndWaitForTermination("cmd.exe /c exit 259", 0, message, 20000, true));
    EXPECT_EQ(message, "");
    EXPECT_FALSE(ShellAndWaitForTermination("C:\\Tools\\slow.sh 2", 0, message, 300, true));
    EXPECT_EQ(message, "The process has timed out.");
}

TEST_F(CommonModuleTest, DelayOfZeroReturnsWithinASecond) {
    const auto start = std::chrono::steady_clock::now();
    Delay(0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LE(waited, std::chrono::milliseconds(1300));
}

TEST_F(CommonModuleTest, RedirectionPairKeepsOneLevelOfState) {
    DisableFSRedir();
    DisableFSRedir();
    EXPECT_TRUE(bFSRedirDisabled);
    RevertFSRedir();
    EXPECT_FALSE(bFSRedirDisabled);
    RevertFSRedir();
    EXPECT_FALSE(bFSRedirDisabled);
}

// Every procedure that switches redirection off around its file or program
// step has it back on when it returns, by success or by a trapped error.
TEST_F(CommonModuleTest, ProceduresLeaveRedirectionOnWhateverHappens) {
    struct Case {
        const char* what;
        std::function<void()> call;
    };
    std::int32_t exitCode = 0;
    std::string message;
    std::vector<std::string> files;
    const std::vector<Case> cases = {
        {"ShellX of a program that ends", [&] { ShellX("cmd.exe", "/c exit 0", true, 0, exitCode); }},
        {"ShellX of a missing program", [&] { ShellX("C:\\Missing\\none.exe", "", true, 0, exitCode); }},
        {"ShellAndWaitForTermination of a missing program",
         [&] { ShellAndWaitForTermination("C:\\Missing\\none.exe", 0, message, 1000, true); }},
        {"DoesDirExist", [] { DoesDirExist("C:\\Windows"); }},
        {"FindFiles in a missing folder", [&] { FindFiles("C:\\Missing", "*.txt;*.dat", files, true); }},
        {"SaveTextToFile into a missing drive", [] { SaveTextToFile("Q:\\none\\file.txt", "text", true, false); }},
        {"SaveTextToFile", [] { SaveTextToFile("C:\\Temp\\file.txt", "text", false, true); }},
    };
    for (const Case& c : cases) {
        c.call();
        EXPECT_FALSE(bFSRedirDisabled) << c.what;
    }
}

TEST_F(CommonModuleTest, SixtyFourBitTestsFollowTheEnvironmentAndTheFolders) {
    EXPECT_TRUE(Is64BitOS());
    EXPECT_TRUE(modRegistry::Is64BitWindows());
    EXPECT_TRUE(Is64BitOS("C:"));
    {
        ScopedVariable x86("ProgramFiles(x86)", "");
        EXPECT_FALSE(Is64BitOS());
        EXPECT_FALSE(modRegistry::Is64BitWindows());
    }
    {
        ScopedVariable x86("ProgramFiles(x86)", "X");  // one character is not enough for the registry test
        EXPECT_TRUE(Is64BitOS());
        EXPECT_FALSE(modRegistry::Is64BitWindows());
    }
    host.WriteHostIni("Machine", "Is64Bit", "0");
    EXPECT_FALSE(Is64BitOS());
    EXPECT_FALSE(modRegistry::Is64BitWindows());
    fs::remove_all(host.DriveC() / "Program Files (x86)");
    EXPECT_FALSE(Is64BitOS("C:"));
}

TEST(IsSystemAccount, FollowsUserNameAndSystemDrive) {
    TempHost host;
    {
        ScopedVariable user("USERNAME", "");
        EXPECT_TRUE(CommonModule2::IsSystemAccount());
    }
    {
        ScopedVariable user("USERNAME", "PC1$");
        ScopedVariable computer("COMPUTERNAME", "PC1");
        EXPECT_TRUE(CommonModule2::IsSystemAccount());
    }
    {
        ScopedVariable user("USERNAME", "tech");
        EXPECT_FALSE(CommonModule2::IsSystemAccount());
        ScopedVariable drive("SYSTEMDRIVE", "X:");
        EXPECT_TRUE(CommonModule2::IsSystemAccount());
    }
}

TEST_F(CommonModuleTest, ShellFileOperationMovesWithinAndAcrossDrives) {
    WriteHostFile(host.HostOf("C:\\Move\\a.txt"), "a");
    WriteHostFile(host.HostOf("C:\\Move\\b.txt"), "b");
    WriteHostFile(host.HostOf("C:\\Target\\b.txt"), "old");
    EXPECT_TRUE(ShellFileOperation("C:\\Move\\a.txt", "C:\\Target", false));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Target\\a.txt")), "a");
    EXPECT_TRUE(ShellFileOperation("C:\\Move\\b.txt", "C:\\Target\\b.txt", true));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Target\\b.txt")), "old");
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Target\\b (2).txt")), "b");
    const fs::path other = host.Folder() / "other-drive";
    fs::create_directories(other);
    host.WriteHostIni("Drives", "D", other.string());
    EXPECT_TRUE(ShellFileOperation("C:\\Target\\a.txt", "D:\\", false));
    EXPECT_EQ(ReadHostFile(other / "a.txt"), "a");
    EXPECT_FALSE(ShellFileOperation("C:\\Move\\missing.txt", "D:\\", false));
}
