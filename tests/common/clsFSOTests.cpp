// clsFSO on real folders of a temporary host.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>

#include "support/TestApplication.h"
#include "common/clsFSO.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/FileSystemObject.h"
#include "platform/host/HostFolder.h"
#include "platform/host/WinPath.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"
#include "support/ScopedVariable.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

using testsupport::ReadHostFile;
using testsupport::ScopedVariable;
using testsupport::StderrCapture;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace fs = std::filesystem;

namespace {


class clsFSOTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ClearMessageBoxQueue();
    }
    void TearDown() override {
        platform::ClearMessageBoxQueue();
    }
    fs::path MakeFile(const std::string& windowsPath, const std::string& text = "data") {
        const fs::path file = host.HostOf(windowsPath);
        WriteHostFile(file, text);
        return file;
    }
    void SetTimes(const std::string& windowsPath, std::time_t created, std::time_t modified) {
        platform::FileTimes times;
        times.created = created;
        times.modified = modified;
        ASSERT_TRUE(platform::SetFileTimes(windowsPath, times));
    }
    // A tree with files of several extensions in two levels.
    void MakeTree() {
        MakeFile("C:\\P\\a.txt");
        MakeFile("C:\\P\\B.TXT");
        MakeFile("C:\\P\\c.log");
        MakeFile("C:\\P\\sub\\d.txt");
        MakeFile("C:\\P\\sub\\deeper\\e.Txt");
        fs::create_directories(host.HostOf("C:\\P\\other"));
    }

    testsupport::ProgramHost host;
    clsFSO fso;
};

std::time_t LocalTime(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

TEST_F(clsFSOTest, KillFileClearsReadOnlyAndDeletes) {
    const fs::path file = MakeFile("C:\\Data\\locked.txt");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Data\\locked.txt", win::FILE_ATTRIBUTE_READONLY));
    StderrCapture log;
    EXPECT_TRUE(fso.KillFile("C:\\Data\\locked.txt"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_NE(log.Text().find("\tclsFSO\\KillFile: \n\t- passed: \tC:\\Data\\locked.txt\n\t- returned: \tTrue\n"),
              std::string::npos)
        << log.Text();
    EXPECT_TRUE(fso.KillFile("C:\\Data\\never-there.txt"));
}

TEST_F(clsFSOTest, KillDirDeletesTheTreeAndRecreatesItWhenAsked) {
    MakeTree();
    ASSERT_TRUE(win::SetFileAttributesA("C:\\P\\sub\\d.txt", win::FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(fso.KillDir("C:\\P"));
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\P")));

    MakeTree();
    EXPECT_TRUE(fso.KillDir("C:\\P", true));
    ASSERT_TRUE(fs::is_directory(host.HostOf("C:\\P")));
    EXPECT_TRUE(fs::is_empty(host.HostOf("C:\\P")));

    EXPECT_TRUE(fso.KillDir("C:\\Missing\\Folder")) << "a missing folder counts as deleted";
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\Missing")));
    EXPECT_TRUE(fso.KillDir("C:\\Missing\\Folder", true));
    EXPECT_TRUE(fs::is_directory(host.HostOf("C:\\Missing\\Folder")));
}

TEST_F(clsFSOTest, FileListWithAnExtensionPatternCountsAndRaisesCountFiles) {
    MakeTree();
    std::vector<std::pair<double, std::string>> raised;
    fso.CountFiles = [&](double count, const std::string& file) { raised.emplace_back(count, file); };
    EXPECT_EQ(fso.Get_FileList("C:\\P", true, "*.txt"),
              "C:\\P\\a.txt;C:\\P\\B.TXT;C:\\P\\sub\\d.txt;C:\\P\\sub\\deeper\\e.Txt;");
    ASSERT_EQ(raised.size(), 4u);
    EXPECT_EQ(raised[0], std::make_pair(1.0, std::string("C:\\P\\a.txt")));
    EXPECT_EQ(raised[3], std::make_pair(4.0, std::string("C:\\P\\sub\\deeper\\e.Txt")));
    EXPECT_EQ(fso.Count(), 4);

    EXPECT_EQ(fso.Get_FileList("C:\\P", false, "x*.TXT"), "C:\\P\\a.txt;C:\\P\\B.TXT;") << "only the extension counts";
    EXPECT_EQ(fso.Count(), 6) << "the count runs on across calls";
    fso.Count(0);
    raised.clear();
    EXPECT_EQ(fso.Get_FileList("C:\\P", true, "*.*"),
              "C:\\P\\a.txt;C:\\P\\B.TXT;C:\\P\\c.log;C:\\P\\sub\\d.txt;C:\\P\\sub\\deeper\\e.Txt;");
    EXPECT_TRUE(raised.empty());
    EXPECT_EQ(fso.Count(), 0);
}

TEST_F(clsFSOTest, FileListStopsWhenCancelledAndOnBadFolders) {
    MakeTree();
    int raised = 0;
    fso.CountFiles = [&](double, const std::string&) {
        ++raised;
        fso.CancelProcessing = true;
    };
    EXPECT_EQ(fso.Get_FileList("C:\\P", true, "*.txt"), "");
    EXPECT_EQ(raised, 1);
    fso.CancelProcessing = false;

    StderrCapture log;
    EXPECT_EQ(fso.Get_FileList("", true, "*.*"), "");
    EXPECT_EQ(fso.Get_FileList("C:\\Nowhere", true, "*.*"), "");
    EXPECT_NE(log.Text().find("cFSO\\Get_FileList - Passed no string, aborting!"), std::string::npos);
    EXPECT_NE(log.Text().find("clsFSO\\Get_FileList -      DIR: C:\\Nowhere"), std::string::npos);
    EXPECT_NE(log.Text().find("Aborting function..."), std::string::npos);
}

TEST_F(clsFSOTest, DirListLayoutWithAndWithoutRecursion) {
    MakeTree();
    EXPECT_EQ(fso.Get_DirList("C:\\P"), "C:\\P\\other;C:\\P\\sub");
    EXPECT_EQ(fso.Get_DirList("C:\\P", true), "C:\\P\\other;;C:\\P\\sub;C:\\P\\sub\\deeper;");
    EXPECT_EQ(fso.Get_DirList("C:\\P\\other", true), "");
    EXPECT_EQ(fso.Get_DirList("C:\\Nowhere", true), "");
    EXPECT_EQ(fso.Get_DirList(""), "");
    fso.CancelProcessing = true;
    EXPECT_EQ(fso.Get_DirList("C:\\P"), "");
}

TEST_F(clsFSOTest, TotalsSumSizesAndCountFilesByDate) {
    MakeFile("C:\\T\\a.dat", std::string(10, 'a'));
    MakeFile("C:\\T\\b.dat", std::string(20, 'b'));
    MakeFile("C:\\T\\sub\\c.dat", std::string(30, 'c'));
    MakeFile("C:\\T\\d.txt", std::string(99, 'd'));
    std::vector<double> totals;
    fso.CountTotals = [&](double total, const std::string&) { totals.push_back(total); };
    EXPECT_EQ(fso.Get_Totals("C:\\T", 1, "*.dat", true), "60");
    EXPECT_EQ(totals, (std::vector<double>{10, 30, 60}));
    EXPECT_EQ(fso.Get_Totals("C:\\T", 1, "*.dat", false), "30");

    SetTimes("C:\\T\\a.dat", LocalTime(2020, 5, 1), LocalTime(2020, 5, 1));
    SetTimes("C:\\T\\b.dat", LocalTime(2021, 3, 1), LocalTime(2024, 2, 1));
    SetTimes("C:\\T\\sub\\c.dat", LocalTime(2024, 1, 1), LocalTime(2019, 1, 1));
    SetTimes("C:\\T\\d.txt", LocalTime(2019, 1, 1), LocalTime(2023, 1, 1));
    totals.clear();
    EXPECT_EQ(fso.Get_Totals("C:\\T", 3, "1/1/2023", true), "2") << "modified on or after the date";
    EXPECT_EQ(totals, (std::vector<double>{1, 2}));
    EXPECT_EQ(fso.Get_Totals("C:\\T", 4, "3/1/2021", true), "2") << "created on or after the date";
    // At midnight the date text has no time part to cut away.
    std::time_t midnight = LocalTime(2025, 6, 1);
    midnight -= 12 * 3600;
    SetTimes("C:\\T\\a.dat", midnight, midnight);
    EXPECT_EQ(fso.Get_Totals("C:\\T", 3, "6/1/2025", true), "1");

    for (std::int16_t type : {0, 5, -1}) EXPECT_EQ(fso.Get_Totals("C:\\T", type, "*.*", true), "0") << type;
    EXPECT_EQ(fso.Get_Totals("  ", 1, "*.*", true), "0");
    StderrCapture log;
    EXPECT_EQ(fso.Get_Totals("C:\\T", 2, "not a date", true), "0");
    EXPECT_NE(log.Text().find("MsgBox \"Invalid date format\": An invalid date was passed."), std::string::npos)
        << log.Text();
}

struct AttributeCase {
    std::int32_t value;
    const char* letters;
};

TEST_F(clsFSOTest, AttributeStringLetters) {
    const AttributeCase cases[] = {{0, ""},     {8, "V"},    {16, "D"},     {33, "RA"},     {36, "SA"},
                                   {39, "RHSA"}, {55, "DRHSA"}, {64, "Alias"}, {9, ""},        {128, ""},
                                   {3, "RH"},   {19, "DRH"},  {56, ""},      {-1, ""},       {1024, ""}};
    for (const AttributeCase& c : cases) EXPECT_EQ(fso.Attribute_String(c.value), c.letters) << c.value;
}

struct ShrinkCase {
    const char* path;
    std::int16_t maxLen;
    const char* shown;
};

TEST_F(clsFSOTest, ShrinkToFitCutsWholeFoldersAfterTheHead) {
    const ShrinkCase cases[] = {
        {"C:\\aaa\\bbb\\ccc\\ddd.txt", 15, "C:\\...\\ddd.txt"},
        {"  C:\\aaa\\bbb\\ccc\\ddd.txt  ", 40, "C:\\aaa\\bbb\\ccc\\ddd.txt"},
        {"C:\\aaa\\bbb\\ccc\\ddd.txt", 18, "C:\\...\\ccc\\ddd.txt"},
        {"relative\\folder\\and\\file.txt", 10, "relative\\folder\\and\\file.txt"},
        {"C:\\aaa\\averyveryverylongname.txt", 10, "C:\\...\\averyveryverylongname.txt"},
        // Nothing after the head to cut at: the text comes back whole.
        {"\\\\averyveryverylongservername", 10, "\\\\averyveryverylongservername"},
        {"C:\\Program Files", 10, "C:\\Program Files"},
        {"\\\\server\\a very long share name", 12, "\\\\server\\a very long share name"},
    };
    for (const ShrinkCase& c : cases) EXPECT_EQ(fso.Shrink_2_Fit(c.path, c.maxLen), c.shown) << c.path;
}

TEST_F(clsFSOTest, RenFileRenamesWithinTheFolder) {
    MakeFile("C:\\d\\a.txt", "A");
    std::string newName = "b.txt";
    EXPECT_TRUE(fso.RenFile("C:\\d\\a.txt", newName));
    EXPECT_EQ(newName, "C:\\d\\b.txt");
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\b.txt")), "A");
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\d\\a.txt")));

    MakeFile("C:\\d\\c.txt", "C");
    newName = "C:\\elsewhere\\b.txt";
    EXPECT_FALSE(fso.RenFile("C:\\d\\c.txt", newName)) << "the target exists";
    EXPECT_EQ(newName, "C:\\d\\b.txt");
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\b.txt")), "A");
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\c.txt")), "C");
    EXPECT_TRUE(fso.RenFile("C:\\d\\c.txt", newName, true));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\b.txt")), "C");

    newName = "missing-too.txt";
    EXPECT_FALSE(fso.RenFile("C:\\d\\missing.txt", newName));
}

// Renaming to another letter case of the same name renames in place; the
// "existing target" is the file itself and must not be deleted.
TEST_F(clsFSOTest, RenFileToACaseVariantRenamesInPlace) {
    MakeFile("C:\\d\\report.txt", "only copy");
    for (bool overwrite : {false, true}) {
        std::string newName = overwrite ? "report.txt" : "REPORT.TXT";
        const std::string old = overwrite ? "C:\\d\\REPORT.TXT" : "C:\\d\\report.txt";
        EXPECT_TRUE(fso.RenFile(old, newName, overwrite)) << overwrite;
        EXPECT_EQ(platform::ListFolderNames(host.HostOf("C:\\d")), std::vector<std::string>{fso.Get_Filename(newName)});
        EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d") / fso.Get_Filename(newName)), "only copy");
    }
}

TEST_F(clsFSOTest, MoveAndCopyOntoTheSourceItselfKeepTheFile) {
    MakeFile("C:\\d\\a.txt", "only copy");
    EXPECT_TRUE(fso.Copy_File("C:\\d\\a.txt", "c:\\D\\A.txt", true));
    EXPECT_TRUE(fso.Copy_File("C:\\d\\a.txt", "C:\\d\\a.txt"));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\a.txt")), "only copy");
    EXPECT_TRUE(fso.Move_File("C:\\d\\a.txt", "C:\\d\\a.txt", true));
    EXPECT_TRUE(fso.Move_File("C:\\d\\a.txt", "C:\\d\\A.TXT", true));
    EXPECT_EQ(platform::ListFolderNames(host.HostOf("C:\\d")), std::vector<std::string>{"A.TXT"});
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\A.TXT")), "only copy");
}

TEST_F(clsFSOTest, MoveAndCopyAskBeforeReplacing) {
    MakeFile("C:\\d\\source.txt", "new");
    MakeFile("C:\\d\\target.txt", "old");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\d\\source.txt", win::FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(win::SetFileAttributesA("C:\\d\\target.txt", win::FILE_ATTRIBUTE_READONLY));
    platform::QueueMessageBoxAnswer(vb::vbNo);
    {
        StderrCapture log;
        EXPECT_FALSE(fso.Copy_File("C:\\d\\source.txt", "C:\\d\\target.txt"));
        EXPECT_NE(log.Text().find("MsgBox \"Replace File?\": File already exist at\r\nC:\\d\\target.txt\r\n\r\n\r\n\r\n"
                                  "Do you want to replace it?"),
                  std::string::npos)
            << log.Text();
    }
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\target.txt")), "old");

    platform::QueueMessageBoxAnswer(vb::vbYes);
    EXPECT_TRUE(fso.Copy_File("C:\\d\\source.txt", "C:\\d\\target.txt"));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\target.txt")), "new");
    EXPECT_EQ(vb::GetAttr("C:\\d\\target.txt"), vb::vbHidden) << "the source's attributes";
    EXPECT_TRUE(fs::exists(host.HostOf("C:\\d\\source.txt")));

    MakeFile("C:\\d\\moved.txt", "older");
    EXPECT_TRUE(fso.Move_File("C:\\d\\source.txt", "C:\\d\\moved.txt", true));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\d\\moved.txt")), "new");
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\d\\source.txt")));
    fs::create_directories(host.HostOf("C:\\Into"));
    EXPECT_TRUE(fso.Copy_File("C:\\d\\moved.txt", "C:\\Into\\"));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Into\\moved.txt")), "new");
    EXPECT_EQ(vb::GetAttr("C:\\Into\\moved.txt"), vb::vbHidden);
    EXPECT_EQ(vb::GetAttr("C:\\Into"), vb::vbDirectory) << "the folder keeps its own attributes";
    EXPECT_FALSE(fso.Move_File("C:\\d\\source.txt", "C:\\d\\x.txt"));
    EXPECT_FALSE(fso.Copy_File("C:\\d\\moved.txt", "C:\\Nowhere\\x.txt"));
}

TEST_F(clsFSOTest, FileToArrayReadsEveryLine) {
    MakeFile("C:\\d\\lines.txt", "one\r\ntwo\nthree");
    std::vector<std::string> lines{"a", "b", "c", "d", "e"};
    fso.FileToArray("C:\\d\\lines.txt", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three"}));

    MakeFile("C:\\d\\empty.txt", "");
    std::vector<std::string> kept{"keep"};
    fso.FileToArray("C:\\d\\empty.txt", kept);
    EXPECT_EQ(kept, std::vector<std::string>{"keep"});

    fso.FileToArray("C:\\d\\missing.txt", kept);
    EXPECT_EQ(kept, std::vector<std::string>{"keep"});
    EXPECT_TRUE(fs::exists(host.HostOf("C:\\d\\missing.txt"))) << "created empty";
}

TEST_F(clsFSOTest, TemporaryNamesFilesAndFolders) {
    EXPECT_EQ(fso.Create_Tmp_Name(0), "");
    EXPECT_EQ(fso.Create_Tmp_Name(-3), "");
    EXPECT_EQ(fso.Create_Tmp_Name(1), "_");
    std::set<std::string> names;
    const std::regex shape("_[0-9a-z]{7}");
    for (int i = 0; i < 500; ++i) {
        const std::string name = fso.Create_Tmp_Name(8);
        EXPECT_TRUE(std::regex_match(name, shape)) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 500u) << "no repeats within one clock tick";
    for (int i = 0; i < 1000; ++i) {
        const float r = fso.Rnd2(48, 122);
        ASSERT_GE(r, 48.0f);
        ASSERT_LT(r, 122.0f);
    }

    ScopedVariable tmp("TMP", "C:\\Temp");
    fs::create_directories(host.HostOf("C:\\Temp"));
    std::string folder;
    const std::string file = fso.Create_Tmp_Filename(folder);
    EXPECT_EQ(folder, "C:\\Temp\\");
    EXPECT_EQ(file.rfind("C:\\Temp\\_", 0), 0u) << file;
    EXPECT_TRUE(fso::FileExists(file));
    EXPECT_NE(fso.Create_Tmp_Filename(), file);
    std::string missing = "C:\\NoSuchFolder\\";
    EXPECT_EQ(fso.Create_Tmp_Filename(missing), "");

    const std::string first = fso.Create_Tmp_Folder(), second = fso.Create_Tmp_Folder();
    EXPECT_TRUE(std::regex_match(first, std::regex("C:\\\\Temp\\\\_[0-9a-z]{7}\\\\"))) << first;
    EXPECT_NE(first, second);
    EXPECT_TRUE(fso::FolderExists(first));
    EXPECT_TRUE(fso::FolderExists(second));
}

TEST_F(clsFSOTest, DiskSpaceOfAMappedDrive) {
    const fs::path data = host.Folder() / "data";
    fs::create_directories(data);
    host.WriteHostIni("Drives", "D", data.string());
    double total = -1, free = -1, used = -1;
    ASSERT_TRUE(fso.Get_Disk_Space("d", total, free, used));
    struct statvfs info {};
    ASSERT_EQ(::statvfs(data.c_str(), &info), 0);
    const double bytes = static_cast<double>(info.f_blocks) * info.f_frsize;
    if (bytes > 2200000000.0) {
        EXPECT_EQ(total, bytes);
    } else {
        EXPECT_GT(total, 0);
        EXPECT_LE(total, bytes);
    }
    EXPECT_LE(free, total);
    EXPECT_EQ(used, total - free);

    double untouched = 7;
    EXPECT_FALSE(fso.Get_Disk_Space("   ", untouched, untouched, untouched));
    EXPECT_EQ(untouched, 7);
    total = free = used = 0;
    EXPECT_FALSE(fso.Get_Disk_Space("Q", total, free, used)) << "no such drive";
}

TEST_F(clsFSOTest, DrivesFoldersAndFilesAreTestedThroughTheDriveMap) {
    host.WriteHostIni("Drives", "E", (host.Folder() / "no-disc").string());
    MakeFile("C:\\d\\a.txt");
    EXPECT_EQ(fso.Available_Drives(), (std::vector<std::string>{"C:\\", "E:\\", "Z:\\"}));
    std::int32_t type = -1;
    EXPECT_TRUE(fso.Drive_Exist("C:\\d", type));
    EXPECT_EQ(type, 2);
    EXPECT_FALSE(fso.Drive_Exist("E:", type)) << "not ready";
    EXPECT_FALSE(fso.IsDriveReady("E"));
    EXPECT_TRUE(fso.IsDriveReady("c"));
    EXPECT_FALSE(fso.IsDriveReady("1"));
    EXPECT_TRUE(fso.File_Exist("C:\\D\\A.TXT"));
    EXPECT_FALSE(fso.File_Exist("C:\\d"));
    EXPECT_FALSE(fso.File_Exist("E:\\a.txt"));
    EXPECT_FALSE(fso.File_Exist("   "));
    EXPECT_TRUE(fso.Folder_Exist(" C:\\d\\ "));
    EXPECT_FALSE(fso.Folder_Exist("C:\\d\\a.txt"));
    EXPECT_FALSE(fso.IsThisRestricted("C:\\d"));
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\d\\_Test.$$$")));
    EXPECT_TRUE(fso.IsThisRestricted("C:\\Nowhere"));
    EXPECT_TRUE(fso.IsThisRestricted(" "));
}

TEST_F(clsFSOTest, PathHelpers) {
    EXPECT_EQ(fso.Add_Trailing_Slash("  C:\\a  "), "C:\\a\\");
    EXPECT_EQ(fso.Add_Trailing_Slash("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(fso.Add_Trailing_Slash("   "), "\\");
    EXPECT_EQ(fso.Remove_Trailing_Slash("C:\\a\\\\"), "C:\\a\\");
    EXPECT_EQ(fso.Remove_Nulls(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(fso.Remove_Nulls("abc"), "abc");
    EXPECT_EQ(fso.StripDrive("C:\\x"), "\\x");
    StderrCapture log;
    EXPECT_EQ(fso.StripDrive("{0002DF01-0000-0000-C000-000000000046}"), "{0002DF01-0000-0000-C000-000000000046}");
    EXPECT_EQ(fso.StripDrive("\\x"), "\\x");
    EXPECT_NE(log.Text().find("It appears a CLSID was passed."), std::string::npos);
    EXPECT_NE(log.Text().find("It appears no drive letter was passed."), std::string::npos);
    EXPECT_TRUE(fso.Create_Dir_Struct("C:\\one\\two\\three"));
    EXPECT_TRUE(fs::is_directory(host.HostOf("C:\\one\\two\\three")));
    EXPECT_FALSE(fso.Create_Dir_Struct("  "));
}

TEST_F(clsFSOTest, FileInfoAndHiddenTest) {
    MakeFile("C:\\d\\secret.txt", "12345");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\d\\secret.txt", win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_ARCHIVE));
    StderrCapture log;
    EXPECT_TRUE(fso.IsFileHidden("c:\\d\\secret.txt"));
    EXPECT_NE(log.Text().find(": HA -> "), std::string::npos) << log.Text();
    const clsFSO::FileInfoRecord& info = fso.FileInfo();
    EXPECT_EQ(info.Size, "5");
    EXPECT_EQ(info.Extension, "txt");
    EXPECT_EQ(info.Type, "Text Document");
    EXPECT_EQ(info.ParentFolder, "C:\\d");
    EXPECT_EQ(info.Drive, "C:");
    EXPECT_FALSE(fso.Get_FileInfo("C:\\d\\none.txt"));
    EXPECT_EQ(fso.FileInfo().Size, "5") << "a failed call leaves the record";
    EXPECT_FALSE(fso.IsFileHidden(""));
    win::SetFileAttributesA("C:\\d\\secret.txt", win::FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(fso.IsFileHidden("C:\\d\\secret.txt"));
}

TEST_F(clsFSOTest, NewerFilesByCreationDate) {
    MakeFile("C:\\d\\old.txt");
    MakeFile("C:\\d\\new.txt");
    MakeFile("C:\\d\\sub\\newest.txt");
    SetTimes("C:\\d\\old.txt", LocalTime(2020, 1, 1), 0);
    SetTimes("C:\\d\\new.txt", LocalTime(2022, 1, 1), 0);
    SetTimes("C:\\d\\sub\\newest.txt", LocalTime(2024, 1, 1), 0);
    EXPECT_EQ(fso.ReturnNewerFile("C:\\d\\old.txt", "C:\\d\\new.txt"), "C:\\d\\new.txt");
    EXPECT_EQ(fso.ReturnNewerFile("C:\\d\\new.txt", "C:\\d\\old.txt"), "C:\\d\\new.txt");
    EXPECT_EQ(fso.ReturnNewerFile("C:\\d\\gone1.txt", "C:\\d\\gone2.txt"), "C:\\d\\gone1.txt");
    EXPECT_EQ(fso.ReturnNewerFile("C:\\d\\gone1.txt", "C:\\d\\old.txt"), "C:\\d\\old.txt");
    EXPECT_EQ(fso.GetFileCreationDate("C:\\d\\gone.txt"), clsFSO::ZeroDate());
    EXPECT_EQ(fso.ReturnNewestFileFromSpec("C:\\d", "*.txt"), "C:\\d\\new.txt");
    EXPECT_EQ(fso.ReturnNewestFileFromSpec("C:\\d", "*.txt", true), "C:\\d\\sub\\newest.txt");
    EXPECT_EQ(fso.ReturnNewestFileFromSpec("C:\\d", "*.none", true), "");
}

TEST_F(clsFSOTest, FolderSizeAndVersionsAndFolderMoves) {
    MakeFile("C:\\d\\a.txt", "1234");
    MakeFile("C:\\d\\sub\\b.txt", "123456");
    EXPECT_EQ(fso.GetDirSize("C:\\d"), 10);
    EXPECT_EQ(fso.GetDirSize("C:\\none"), 0);
    EXPECT_EQ(fso.Get_Version("C:\\d\\a.txt"), "");
    EXPECT_EQ(fso.Get_VB_Version("C:\\d\\a.txt"), "");
    fso.Move_Dir("C:\\d\\sub", "C:\\moved");
    EXPECT_TRUE(fs::exists(host.HostOf("C:\\moved\\b.txt")));
    fso.Move_Dir("C:\\nothing", "C:\\elsewhere");
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\elsewhere")));
    EXPECT_TRUE(fso.TextSearch("C:\\d", "zzz") == (std::vector<std::string>{"N/A", ""}));
    MakeFile("C:\\d\\c.txt", "Some Needle here");
    EXPECT_EQ(fso.TextSearch("C:\\d", "needle"), std::vector<std::string>{"C:\\d\\c.txt"});
}

// A file in the code page is searched as the text it holds, as one in UTF-8.
TEST_F(clsFSOTest, TextSearchReadsEachFileInItsEncoding) {
    MakeFile("C:\\d\\ansi.txt", "Der Dienst f\xFCr M\xFCller");
    MakeFile("C:\\d\\utf8.txt", "M\xC3\xBCllerei");
    EXPECT_EQ(fso.TextSearch("C:\\d", "M\xC3\xBCLLER"), (std::vector<std::string>{"C:\\d\\ansi.txt", "C:\\d\\utf8.txt"}));
}

TEST_F(clsFSOTest, FolderPickerAnswersWithAWindowsPath) {
    testsupport::TestApplication();
    fs::create_directories(host.HostOf("C:\\Picked"));
    const QString picked = QString::fromStdString(host.HostOf("C:\\Picked").string());
    platform::QueueModalAction([&](QWidget* window) {
        auto* dialog = qobject_cast<QFileDialog*>(window);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Choose the rules folder");
        dialog->setDirectory(picked);
        static_cast<QDialog*>(dialog)->accept();
    });
    StderrCapture log;
    EXPECT_EQ(fso.BrowseForFolder(nullptr, "Choose the rules folder"), "C:\\Picked");
    platform::QueueModalAction([](QWidget* window) { static_cast<QDialog*>(window)->reject(); });
    EXPECT_EQ(fso.BrowseForFolder(), "");
    EXPECT_NE(log.Text().find("clsFSO\\BrowseForFolder - Returned: C:\\Picked"), std::string::npos);
}

// --- Access denied: a run of this test program as an unprivileged user ------

constexpr const char* kChildVariable = "QUARNEL_FSO_UNPRIVILEGED";

TEST(clsFSOUnprivilegedChild, KillDirOfAFolderWithForeignContent) {
    if (!std::getenv(kChildVariable)) GTEST_SKIP() << "runs only inside the unprivileged run";
    clsFSO fso;
    EXPECT_TRUE(fso.IsThisRestricted("C:\\Locked\\K\\locked"));
    EXPECT_FALSE(fso.IsThisRestricted("C:\\Locked\\K"));
    EXPECT_FALSE(fso.DelTree32("C:\\Locked\\K\\locked"));
    EXPECT_FALSE(fso.KillFile("C:\\Locked\\K\\locked\\c.txt"));
    EXPECT_FALSE(fso.KillDir("C:\\Locked\\K", true)) << "the piece-by-piece path gives false";
}

TEST(clsFSOUnprivileged, KillDirFallsBackPieceByPiece) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to start a run as nobody";
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv";
    TempHost host;
    platform::HostFolder();
    const fs::path tree = host.HostOf("C:\\Locked\\K");
    WriteHostFile(tree / "a.txt", "a");
    WriteHostFile(tree / "sub1" / "b.txt", "b");
    WriteHostFile(tree / "locked" / "c.txt", "c");
    for (const fs::path& item : {tree, tree / "a.txt", tree / "sub1", tree / "sub1" / "b.txt"})
        ASSERT_EQ(::chown(item.c_str(), 65534, 65534), 0);
    for (const fs::path& folder : {host.Folder(), host.DriveC(), host.HostOf("C:\\Locked")})
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);

    const std::string self = fs::read_symlink("/proc/self/exe").string();
    ScopedVariable child(kChildVariable, "1");
    const std::string command = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups -- '" + self +
                                "' --gtest_filter=clsFSOUnprivilegedChild.* >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127) GTEST_SKIP() << "the test program is not reachable for nobody";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the unprivileged run failed";
    EXPECT_TRUE(fs::exists(tree / "locked" / "c.txt"));
    EXPECT_FALSE(fs::exists(tree / "a.txt"));
    EXPECT_FALSE(fs::exists(tree / "sub1"));
    EXPECT_TRUE(fs::is_directory(tree)) << "the folder itself stays on this path";
}

}  // namespace
