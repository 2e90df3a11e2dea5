// The file facilities of the host layer on real files of a temporary host.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstring>
#include <filesystem>

#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/FileSystemObject.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Shell.h"
#include "platform/api/ShellFolders.h"
#include "platform/host/WinPath.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"
#include "support/Utf16Text.h"

using testsupport::ReadHostFile;
using testsupport::ScopedVariable;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace fs = std::filesystem;

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    // A file of drive C with some text.
    fs::path MakeFile(const std::string& windowsPath, const std::string& text = "data") {
        const fs::path file = host.HostOf(windowsPath);
        WriteHostFile(file, text);
        return file;
    }
    bool OwnerMayWrite(const fs::path& file) {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) != 0;
    }
    long RuntimeErrorOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const RuntimeError& e) {
            return e.Number();
        }
        return 0;
    }

    TempHost host;
};

struct AttributeCase {
    win::DWORD set;
    win::DWORD reported;
};

TEST_F(FileSystemTest, AttributesRoundTripThroughTheHostFile) {
    const fs::path file = MakeFile("C:\\Data\\a.txt");
    EXPECT_EQ(win::GetFileAttributesA("C:\\Data\\a.txt"), win::FILE_ATTRIBUTE_ARCHIVE) << "a new file is archive";
    EXPECT_EQ(win::GetFileAttributesA("c:\\data\\A.TXT"), win::FILE_ATTRIBUTE_ARCHIVE);
    const AttributeCase cases[] = {
        {win::FILE_ATTRIBUTE_NORMAL, win::FILE_ATTRIBUTE_NORMAL},
        {win::FILE_ATTRIBUTE_READONLY, win::FILE_ATTRIBUTE_READONLY},
        {win::FILE_ATTRIBUTE_HIDDEN, win::FILE_ATTRIBUTE_HIDDEN},
        {win::FILE_ATTRIBUTE_SYSTEM | win::FILE_ATTRIBUTE_ARCHIVE, 0x24},
        {0x27, 0x27},
        {0, win::FILE_ATTRIBUTE_NORMAL},
        {win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_NORMAL, win::FILE_ATTRIBUTE_READONLY},
        {win::FILE_ATTRIBUTE_NORMAL, win::FILE_ATTRIBUTE_NORMAL},
    };
    for (const AttributeCase& c : cases) {
        ASSERT_TRUE(win::SetFileAttributesA("C:\\Data\\a.txt", c.set)) << c.set;
        EXPECT_EQ(win::GetFileAttributesA("C:\\Data\\a.txt"), c.reported) << c.set;
        EXPECT_EQ(OwnerMayWrite(file), (c.reported & win::FILE_ATTRIBUTE_READONLY) == 0) << c.set;
    }
    EXPECT_EQ(win::GetFileAttributesA("C:\\Data"), win::FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Data", win::FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(win::GetFileAttributesA("C:\\Data"), win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_HIDDEN);

    vb::SetAttr("C:\\Data\\a.txt", vb::vbHidden | vb::vbSystem);
    EXPECT_EQ(vb::GetAttr("C:\\Data\\a.txt"), vb::vbHidden | vb::vbSystem);
    vb::SetAttr("C:\\Data\\a.txt", vb::vbNormal);
    EXPECT_EQ(vb::GetAttr("C:\\Data\\a.txt"), vb::vbNormal);
    EXPECT_FALSE(win::SetFileAttributesA("C:\\Data\\missing.txt", win::FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RuntimeErrorOf([] { vb::SetAttr("C:\\Data\\missing.txt", vb::vbHidden); }), 53);
}

// The layer itself refuses: the tests run as root as well, for whom the
// host's permission bits alone would allow everything.
TEST_F(FileSystemTest, ReadOnlyFileIsRefusedByEveryOperation) {
    const fs::path file = MakeFile("C:\\Data\\locked.txt", "keep");
    MakeFile("C:\\Data\\other.txt", "other");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Data\\locked.txt", win::FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(win::DeleteFileA("C:\\Data\\locked.txt"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(RuntimeErrorOf([] { vb::TextFile("C:\\Data\\locked.txt", vb::TextFile::Mode::Output); }), 75);
    EXPECT_EQ(RuntimeErrorOf([] { vb::TextFile("C:\\Data\\locked.txt", vb::TextFile::Mode::Append); }), 75);
    EXPECT_FALSE(win::CopyFileA("C:\\Data\\other.txt", "C:\\Data\\locked.txt", win::FALSE_));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_FALSE(win::MoveFileExA("C:\\Data\\other.txt", "C:\\Data\\locked.txt", win::MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(RuntimeErrorOf([] { vb::Kill("C:\\Data\\locked.txt"); }), 75);
    EXPECT_EQ(RuntimeErrorOf([] { vb::FileCopy("C:\\Data\\other.txt", "C:\\Data\\locked.txt"); }), 75);
    EXPECT_EQ(RuntimeErrorOf([] { fso::DeleteFile("C:\\Data\\locked.txt"); }), 70);
    EXPECT_EQ(ReadHostFile(file), "keep");

    vb::SetAttr("C:\\Data\\locked.txt", vb::vbNormal);
    EXPECT_TRUE(win::DeleteFileA("C:\\Data\\locked.txt"));
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(FileSystemTest, CopyFileCarriesContentTimesAndAttributes) {
    const fs::path source = MakeFile("C:\\Data\\source.txt", "payload");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Data\\source.txt", win::FILE_ATTRIBUTE_HIDDEN));
    platform::FileTimes times;
    times.modified = 1000000000;
    ASSERT_TRUE(platform::SetFileTimes("C:\\Data\\source.txt", times));

    ASSERT_TRUE(win::CopyFileA("C:\\Data\\source.txt", "C:\\Data\\Copy.txt", win::TRUE_));
    const fs::path copy = host.HostOf("C:\\Data\\Copy.txt");
    EXPECT_EQ(ReadHostFile(copy), "payload");
    EXPECT_EQ(win::GetFileAttributesA("C:\\Data\\copy.txt"), win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(vb::FileDateTime("C:\\Data\\Copy.txt"), 1000000000);
    EXPECT_EQ(vb::FileLen("C:\\Data\\Copy.txt"), 7);

    EXPECT_FALSE(win::CopyFileA("C:\\Data\\source.txt", "C:\\DATA\\COPY.TXT", win::TRUE_));
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_EXISTS);
    EXPECT_FALSE(win::CopyFileA("C:\\Data\\source.txt", "c:\\data\\SOURCE.txt", win::FALSE_)) << "onto itself";
    EXPECT_EQ(ReadHostFile(source), "payload");
    EXPECT_FALSE(win::CopyFileA("C:\\Data\\none.txt", "C:\\Data\\x.txt", win::FALSE_));
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(win::CopyFileA("C:\\Data\\source.txt", "C:\\Nowhere\\x.txt", win::FALSE_));
    EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(RuntimeErrorOf([] { vb::FileCopy("C:\\Data\\none.txt", "C:\\Data\\x.txt"); }), 53);
    EXPECT_EQ(RuntimeErrorOf([] { vb::FileCopy("C:\\Data\\source.txt", "C:\\Nowhere\\x.txt"); }), 76);
}

TEST_F(FileSystemTest, MoveFileRefusesAnExistingTargetAndRenamesCaseInPlace) {
    MakeFile("C:\\Data\\a.txt", "A");
    MakeFile("C:\\Data\\b.txt", "B");
    EXPECT_FALSE(win::MoveFileA("C:\\Data\\a.txt", "C:\\Data\\B.TXT"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(win::MoveFileExA("C:\\Data\\a.txt", "C:\\Data\\B.TXT", win::MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Data\\b.txt")), "A");
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\Data\\a.txt")));

    ASSERT_TRUE(win::MoveFileA("C:\\Data\\b.txt", "C:\\Data\\Report.TXT"));
    ASSERT_TRUE(win::MoveFileA("c:\\data\\report.txt", "C:\\Data\\REPORT.txt")) << "a case variant of itself";
    EXPECT_EQ(platform::ListFolderNames(host.HostOf("C:\\Data")), std::vector<std::string>{"REPORT.txt"});
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Data\\REPORT.txt")), "A");

    vb::Name("C:\\Data\\REPORT.txt", "C:\\Data\\report.txt");
    EXPECT_EQ(platform::ListFolderNames(host.HostOf("C:\\Data")), std::vector<std::string>{"report.txt"});
    MakeFile("C:\\Data\\other.txt");
    EXPECT_EQ(RuntimeErrorOf([] { vb::Name("C:\\Data\\report.txt", "C:\\Data\\OTHER.txt"); }), 58);
    EXPECT_EQ(RuntimeErrorOf([] { vb::Name("C:\\Data\\gone.txt", "C:\\Data\\x.txt"); }), 53);
    EXPECT_FALSE(win::MoveFileA("C:\\Data\\report.txt", "C:\\Nowhere\\x.txt"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
}

TEST_F(FileSystemTest, TempPathComesFromTheEnvironmentWithOneBackslash) {
    ScopedVariable tmp("TMP", "C:\\Scratch");
    char buffer[win::MAX_PATH] = {};
    EXPECT_EQ(win::GetTempPathA(win::MAX_PATH, buffer), 11u);
    EXPECT_STREQ(buffer, "C:\\Scratch\\");
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(win::GetTempPathA(sizeof small, small), 12u) << "the size needed";
    EXPECT_EQ(small[0], 'x');
}

TEST_F(FileSystemTest, TempFileNamesAreCreatedOnlyWhenTheLayerChoosesTheNumber) {
    fs::create_directories(host.HostOf("C:\\Scratch"));
    char first[win::MAX_PATH] = {}, second[win::MAX_PATH] = {};
    const win::UINT a = win::GetTempFileNameA("C:\\Scratch", "_abcd", 0, first);
    const win::UINT b = win::GetTempFileNameA("C:\\Scratch\\", "_abcd", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(std::string(first), std::string(second));
    for (const char* name : {first, second}) {
        const std::string text(name);
        EXPECT_EQ(text.rfind("C:\\Scratch\\_ab", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 4), ".tmp");
        EXPECT_TRUE(fso::FileExists(text));
        EXPECT_EQ(vb::FileLen(text), 0);
    }
    char named[win::MAX_PATH] = {};
    EXPECT_EQ(win::GetTempFileNameA("C:\\Scratch", "pre", 0x1A2B, named), 0x1A2Bu);
    EXPECT_STREQ(named, "C:\\Scratch\\pre1A2B.tmp");
    EXPECT_FALSE(fso::FileExists(named));

    char missing[win::MAX_PATH] = {};
    EXPECT_EQ(win::GetTempFileNameA("C:\\NoSuchFolder", "pre", 0, missing), 0u);
    EXPECT_EQ(win::GetLastError(), win::ERROR_DIRECTORY);
}

TEST_F(FileSystemTest, LogicalDrivesFollowTheDriveMapInLetterOrder) {
    const fs::path data = host.Folder() / "data";
    fs::create_directories(data);
    host.WriteHostIni("Drives", "D", data.string());
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(win::GetLogicalDriveStringsA(sizeof buffer, buffer), 12u);
    EXPECT_EQ(std::string(buffer, 13), std::string("C:\\\0D:\\\0Z:\\\0\0", 13));
    char small[5];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(win::GetLogicalDriveStringsA(sizeof small, small), 13u);
    EXPECT_EQ(small[0], 'x');
}

TEST_F(FileSystemTest, DriveTypesAndReadinessComeFromTheDriveMap) {
    host.WriteHostIni("Drives", "E", (host.Folder() / "no-disc").string());
    host.WriteHostIni("DriveTypes", "E", "cdrom");
    EXPECT_EQ(win::GetDriveTypeA("C:\\"), win::DRIVE_FIXED);
    EXPECT_EQ(win::GetDriveTypeA("e:"), win::DRIVE_CDROM);
    EXPECT_EQ(win::GetDriveTypeA("Q:\\"), win::DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(win::GetDriveTypeA("C:\\Windows"), win::DRIVE_NO_ROOT_DIR);

    char fileSystem[16] = {};
    EXPECT_TRUE(win::GetVolumeInformationA("C:\\", nullptr, 0, nullptr, nullptr, nullptr, fileSystem, sizeof fileSystem));
    EXPECT_STREQ(fileSystem, "NTFS");
    EXPECT_FALSE(win::GetVolumeInformationA("E:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(win::GetLastError(), win::ERROR_NOT_READY);

    const fso::Drive cd = fso::GetDrive("E");
    EXPECT_EQ(cd.DriveType, fso::CDRom);
    EXPECT_FALSE(cd.IsReady);
    fs::create_directories(host.Folder() / "no-disc");
    EXPECT_TRUE(fso::GetDrive("E:\\").IsReady);
    EXPECT_EQ(fso::GetDrive("c:").DriveType, fso::Fixed);
    EXPECT_TRUE(fso::DriveExists("C:"));
    EXPECT_FALSE(fso::DriveExists("Q:"));
    EXPECT_EQ(RuntimeErrorOf([] { fso::GetDrive("Q"); }), 68);
}

TEST_F(FileSystemTest, FreeSpaceOfAMappedDriveIsThatOfItsFolder) {
    const fs::path data = host.Folder() / "data";
    fs::create_directories(data);
    host.WriteHostIni("Drives", "D", data.string());
    std::uint64_t caller = 0, total = 0, free = 0;
    ASSERT_TRUE(win::GetDiskFreeSpaceExA("D:\\", &caller, &total, &free));
    struct statvfs info {};
    ASSERT_EQ(::statvfs(data.c_str(), &info), 0);
    EXPECT_EQ(total, static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize);
    EXPECT_LE(free, total);
    EXPECT_LE(caller, free);

    win::DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(win::GetDiskFreeSpaceA("D:", &sectors, &bytes, &freeClusters, &clusters));
    EXPECT_EQ(bytes, 512u);
    EXPECT_LE(freeClusters, clusters);
    EXPECT_FALSE(win::GetDiskFreeSpaceExA("Q:\\", &caller, &total, &free));
}

// A PE image with one resource section holding a VS_VERSION_INFO block of
// the file version 1.2.3.4.
std::string PeWithVersion() {
    std::string image(0x200 + 0x58 + 92, '\0');
    const auto put16 = [&](size_t at, std::uint32_t v) {
        image[at] = static_cast<char>(v & 0xFF);
        image[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    const auto put32 = [&](size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    image[0] = 'M';
    image[1] = 'Z';
    put32(0x3C, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    put16(0x44, 0x14C);
    put16(0x46, 1);        // one section
    put16(0x54, 224);      // optional header size
    const size_t optional = 0x58;
    put16(optional, 0x10B);
    put32(optional + 96 + 16, 0x1000);  // resource directory
    put32(optional + 96 + 20, 0x58 + 92);
    const size_t section = optional + 224;
    image.replace(section, 5, ".rsrc");
    put32(section + 8, 0x58 + 92);
    put32(section + 12, 0x1000);
    put32(section + 16, 0x58 + 92);
    put32(section + 20, 0x200);
    const size_t rsrc = 0x200;
    put16(rsrc + 14, 1);
    put32(rsrc + 16, 16);                      // RT_VERSION
    put32(rsrc + 20, 0x80000000u | 0x18);
    put16(rsrc + 0x18 + 14, 1);
    put32(rsrc + 0x18 + 16, 1);
    put32(rsrc + 0x18 + 20, 0x80000000u | 0x30);
    put16(rsrc + 0x30 + 14, 1);
    put32(rsrc + 0x30 + 16, 0x409);
    put32(rsrc + 0x30 + 20, 0x48);
    put32(rsrc + 0x48, 0x1000 + 0x58);
    put32(rsrc + 0x48 + 4, 92);
    const size_t block = rsrc + 0x58;
    put16(block, 92);
    put16(block + 2, 52);
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key - 1; ++i) put16(block + 6 + 2 * i, static_cast<unsigned char>(key[i]));
    put32(block + 40, 0xFEEF04BD);
    put32(block + 44, 0x10000);
    put32(block + 48, (1u << 16) | 2);
    put32(block + 52, (3u << 16) | 4);
    return image;
}

TEST_F(FileSystemTest, FileVersionsComeFromTheVersionResource) {
    MakeFile("C:\\App\\tool.exe", PeWithVersion());
    MakeFile("C:\\App\\plain.txt", "no resource here");
    const std::string image = PeWithVersion();
    MakeFile("C:\\App\\cut.exe", image.substr(0, 0x210));
    MakeFile("C:\\App\\tiny.exe", "MZ");

    EXPECT_EQ(fso::GetFileVersion("C:\\App\\tool.exe"), "1.2.3.4");
    win::DWORD handle = 7;
    EXPECT_EQ(win::GetFileVersionInfoSizeA("C:\\App\\tool.exe", &handle), 92u);
    EXPECT_EQ(handle, 0u);
    // Every cut of the image is read without a crash and without a version.
    for (size_t length = 0; length < image.size(); ++length) {
        WriteHostFile(host.HostOf("C:\\App\\cut.exe"), image.substr(0, length));
        ASSERT_EQ(win::GetFileVersionInfoSizeA("C:\\App\\cut.exe", &handle), 0u) << length;
    }
    std::string wild = image;
    wild[0x3E] = wild[0x3F] = '\x7F';  // header offset far outside the file
    WriteHostFile(host.HostOf("C:\\App\\wild.exe"), wild);
    EXPECT_EQ(win::GetFileVersionInfoSizeA("C:\\App\\wild.exe", &handle), 0u);
    for (const char* file : {"C:\\App\\plain.txt", "C:\\App\\cut.exe", "C:\\App\\tiny.exe", "C:\\App\\missing.exe"}) {
        EXPECT_EQ(win::GetFileVersionInfoSizeA(file, &handle), 0u) << file;
        EXPECT_EQ(fso::GetFileVersion(file), "") << file;
    }
}

struct PathPartsCase {
    const char* path;
    const char* name;
    const char* base;
    const char* extension;
    const char* parent;
};

TEST(FileSystemObjectNames, PathsAreTakenApartAsTheObjectDoes) {
    const PathPartsCase cases[] = {
        {"C:\\a\\b.txt", "b.txt", "b", "txt", "C:\\a"},
        {"C:\\b.txt", "b.txt", "b", "txt", "C:\\"},
        {"C:\\a\\folder\\", "folder", "folder", "", "C:\\a"},
        {"C:\\", "", "", "", ""},
        {"C:\\a\\archive.tar.gz", "archive.tar.gz", "archive.tar", "gz", "C:\\a"},
        {"name", "name", "name", "", ""},
        {"", "", "", "", ""},
        {"*.TXT", "*.TXT", "*", "TXT", ""},
    };
    for (const PathPartsCase& c : cases) {
        EXPECT_EQ(fso::GetFileName(c.path), c.name) << c.path;
        EXPECT_EQ(fso::GetBaseName(c.path), c.base) << c.path;
        EXPECT_EQ(fso::GetExtensionName(c.path), c.extension) << c.path;
        EXPECT_EQ(fso::GetParentFolderName(c.path), c.parent) << c.path;
    }
}

TEST_F(FileSystemTest, FoldersListInNameOrderAndDeleteWithForce) {
    MakeFile("C:\\Tree\\b.txt");
    MakeFile("C:\\Tree\\A.txt");
    MakeFile("C:\\Tree\\sub\\Locked.txt");
    fs::create_directories(host.HostOf("C:\\Tree\\Empty"));
    EXPECT_EQ(fso::FilesOf("c:\\tree"), (std::vector<std::string>{"C:\\tree\\A.txt", "C:\\tree\\b.txt"}));
    EXPECT_EQ(fso::SubFoldersOf("C:\\Tree\\"), (std::vector<std::string>{"C:\\Tree\\Empty", "C:\\Tree\\sub"}));
    EXPECT_EQ(fso::FolderSize("C:\\Tree"), 12u);
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Tree\\sub\\Locked.txt", win::FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(RuntimeErrorOf([] { fso::DeleteFolder("C:\\Tree\\sub"); }), 70);
    EXPECT_TRUE(fs::exists(host.HostOf("C:\\Tree\\sub\\Locked.txt")));
    fso::DeleteFolder("C:\\TREE", true);
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\Tree")));
    EXPECT_EQ(RuntimeErrorOf([] { fso::DeleteFolder("C:\\Tree", true); }), 76);
    EXPECT_EQ(RuntimeErrorOf([] { fso::FilesOf("C:\\Tree"); }), 76);
    EXPECT_EQ(RuntimeErrorOf([] { fso::DeleteFolder("C:\\", true); }), 70);
}

TEST_F(FileSystemTest, FoldersMoveAndCopyWithTheirContent) {
    MakeFile("C:\\From\\a.txt", "a");
    MakeFile("C:\\From\\sub\\b.txt", "b");
    fso::CopyFolder("C:\\From", "C:\\Copy");
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Copy\\sub\\b.txt")), "b");
    fs::create_directories(host.HostOf("C:\\Into"));
    fso::MoveFolder("C:\\From", "C:\\Into\\");
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Into\\From\\a.txt")), "a");
    EXPECT_FALSE(fs::exists(host.HostOf("C:\\From")));
    EXPECT_EQ(RuntimeErrorOf([] { fso::MoveFolder("C:\\Copy", "C:\\Into"); }), 58);
    EXPECT_EQ(RuntimeErrorOf([] { fso::MoveFolder("C:\\Gone", "C:\\Other"); }), 76);
    fso::MoveFile("C:\\Copy\\a.txt", "C:\\Into\\");
    EXPECT_TRUE(fso::FileExists("C:\\Into\\a.txt"));
    EXPECT_EQ(RuntimeErrorOf([] { fso::CopyFile("C:\\Into\\a.txt", "C:\\Copy\\sub\\b.txt", false); }), 58);
    fso::CopyFile("C:\\Into\\a.txt", "C:\\Copy\\sub\\b.txt");
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Copy\\sub\\b.txt")), "a");
}

TEST_F(FileSystemTest, CreationTimeStaysAsSet) {
    MakeFile("C:\\Data\\a.txt");
    platform::FileTimes times;
    times.created = 946684800;
    ASSERT_TRUE(platform::SetFileTimes("C:\\Data\\a.txt", times));
    platform::FileTimes read;
    ASSERT_TRUE(platform::GetFileTimes("C:\\Data\\A.txt", read));
    EXPECT_EQ(read.created, 946684800);
    EXPECT_EQ(fso::GetFile("C:\\Data\\a.txt").DateCreated, 946684800);
    EXPECT_FALSE(platform::GetFileTimes("C:\\Data\\none.txt", read));
}

TEST_F(FileSystemTest, PropertiesWindowWithoutAFileManagerShowsNothing) {
    ScopedVariable bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quarnel-test-bus");
    MakeFile("C:\\Data\\a.txt");
    win::SHELLEXECUTEINFOA info;
    info.fMask = win::SEE_MASK_INVOKEIDLIST;
    info.lpVerb = "properties";
    info.lpFile = "C:\\Data\\a.txt";
    EXPECT_FALSE(win::ShellExecuteExA(&info));
    EXPECT_EQ(info.hInstApp, win::SE_ERR_NOASSOC);
    info.lpFile = "C:\\Data\\missing.txt";
    EXPECT_FALSE(win::ShellExecuteExA(&info));
    EXPECT_EQ(info.hInstApp, win::SE_ERR_FNF);
}

}  // namespace

// Lines added to a Windows-1252 list keep its code page while they fit it; a
// line that does not turns the whole file into UTF-8, never into "?".
TEST_F(FileSystemTest, AppendedLinesKeepTheCodePageOrTurnTheFileIntoUtf8) {
    const fs::path file = MakeFile("C:\\Data\\list.txt", "\xC4rger\r\n\x80 5\r\n");
    {
        vb::TextFile list("C:\\Data\\list.txt", vb::TextFile::Mode::Append);
        list.PrintLine("\xC3\x96l");
    }
    EXPECT_EQ(ReadHostFile(file), "\xC4rger\r\n\x80 5\r\n\xD6l\r\n");
    {
        vb::TextFile list("C:\\Data\\list.txt", vb::TextFile::Mode::Append);
        list.PrintLine("\xCE\xA3\xCF\x86\xCE\xAC\xCE\xBB\xCE\xBC\xCE\xB1");
        list.PrintLine("\xC3\x9C");
    }
    EXPECT_EQ(ReadHostFile(file), "\xC3\x84rger\r\n\xE2\x82\xAC 5\r\n\xC3\x96l\r\n"
                                  "\xCE\xA3\xCF\x86\xCE\xAC\xCE\xBB\xCE\xBC\xCE\xB1\r\n\xC3\x9C\r\n");
    vb::TextFile reread("C:\\Data\\list.txt", vb::TextFile::Mode::Input);
    EXPECT_EQ(reread.LineInput(), "\xC3\x84rger");
}

// Text the code page holds is written in it: in a new file, in one rewritten
// or added to that held only ASCII. A file in UTF-8 stays UTF-8.
TEST_F(FileSystemTest, LinesTheCodePageHoldsAreWrittenInIt) {
    const struct {
        const char* name;
        const char* before;  // nullptr: no file
        vb::TextFile::Mode mode;
        const char* after;
    } cases[] = {
        {"new", nullptr, vb::TextFile::Mode::Output, "M\xFCller \x80\r\n"},
        {"new, appended", nullptr, vb::TextFile::Mode::Append, "M\xFCller \x80\r\n"},
        {"ASCII, appended", "Disk\r\n", vb::TextFile::Mode::Append, "Disk\r\nM\xFCller \x80\r\n"},
        {"ANSI, rewritten", "\xC4rger\r\n", vb::TextFile::Mode::Output, "M\xFCller \x80\r\n"},
        {"UTF-8, appended", "\xC3\x84rger\r\n", vb::TextFile::Mode::Append, "\xC3\x84rger\r\nM\xC3\xBCller \xE2\x82\xAC\r\n"},
        {"UTF-8, rewritten", "\xC3\x84rger\r\n", vb::TextFile::Mode::Output, "M\xC3\xBCller \xE2\x82\xAC\r\n"},
        {"marked, rewritten", "\xEF\xBB\xBF\xC3\x84rger\r\n", vb::TextFile::Mode::Output, "\xEF\xBB\xBFM\xC3\xBCller \xE2\x82\xAC\r\n"},
    };
    fs::create_directories(host.HostOf("C:\\Data"));
    for (const auto& c : cases) {
        fs::remove(host.HostOf("C:\\Data\\list.txt"));
        if (c.before) MakeFile("C:\\Data\\list.txt", c.before);
        vb::TextFile("C:\\Data\\list.txt", c.mode).PrintLine("M\xC3\xBCller \xE2\x82\xAC");
        EXPECT_EQ(ReadHostFile(host.HostOf("C:\\Data\\list.txt")), c.after) << c.name;
        vb::TextFile reread("C:\\Data\\list.txt", vb::TextFile::Mode::Input);
        std::string last;
        while (!reread.Eof()) last = reread.LineInput();
        EXPECT_EQ(last, "M\xC3\xBCller \xE2\x82\xAC") << c.name;
    }
}

// A list saved as UTF-16LE with its mark (Notepad's "Unicode") is read, and
// lines written to it, added or anew, are UTF-16LE too.
TEST_F(FileSystemTest, AUtf16FileIsReadAndItsLinesStayUtf16) {
    const fs::path file = MakeFile("C:\\Data\\list.txt", testsupport::Utf16LeWithMark("Disk\r\n"));
    {
        vb::TextFile list("C:\\Data\\list.txt", vb::TextFile::Mode::Input);
        EXPECT_EQ(list.LineInput(), "Disk");
        EXPECT_TRUE(list.Eof());
    }
    vb::TextFile("C:\\Data\\list.txt", vb::TextFile::Mode::Append).PrintLine("\xC3\xBC");
    EXPECT_EQ(ReadHostFile(file), testsupport::Utf16LeWithMark("Disk\r\n\xC3\xBC\r\n"));
    vb::TextFile("C:\\Data\\list.txt", vb::TextFile::Mode::Output).PrintLine("x");
    EXPECT_EQ(ReadHostFile(file), testsupport::Utf16LeWithMark("x\r\n"));
}

namespace {

// What Dir lists of a folder that holds, beside plain files and a folder,
// links to each and one that leads nowhere, and a FIFO: a link counts as
// what it leads to, one that leads nowhere is not listed.
TEST_F(FileSystemTest, DirListsLinksAsWhatTheyLeadTo) {
    MakeFile("C:\\Mixed\\b.DAT");
    MakeFile("C:\\Mixed\\A.dat");
    const fs::path folder = host.HostOf("C:\\Mixed");
    fs::create_directories(folder / "Sub.dat");
    fs::create_symlink(folder / "A.dat", folder / "c to a.dat");
    fs::create_directory_symlink(folder / "Sub.dat", folder / "d to sub.dat");
    fs::create_symlink(folder / "gone.dat", folder / "e to nothing.dat");
    ASSERT_EQ(::mkfifo((folder / "f pipe.dat").c_str(), 0600), 0);
    struct Case {
        int attributes;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {vb::vbNormal, {"A.dat", "b.DAT", "c to a.dat", "f pipe.dat"}},
        {39, {"A.dat", "b.DAT", "c to a.dat", "f pipe.dat"}},
        {vb::vbDirectory, {"A.dat", "b.DAT", "c to a.dat", "d to sub.dat", "f pipe.dat", "Sub.dat"}},
    };
    for (const Case& c : cases) EXPECT_EQ(vb::DirList("C:\\Mixed\\*.dat", c.attributes), c.listed) << c.attributes;
}

}  // namespace
