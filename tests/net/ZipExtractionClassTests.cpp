// The archive reader against archives of Info-ZIP's zip, 7-Zip and our own
// writer, and against damaged and hostile ones: its events, its errors and
// what it leaves on disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "net/ZipClass.h"
#include "net/ZipExtractionClass.h"
#include "platform/api/RuntimeError.h"
#include "support/PythonZip.h"
#include "support/ShellCommand.h"
#include "support/TempHost.h"

namespace {

using testsupport::ReadHostFile;
using testsupport::TempHost;
using testsupport::WriteHostFile;
namespace fs = std::filesystem;

using testsupport::ShellCommand;

struct Events {
    std::vector<std::string> status;
    std::vector<std::pair<int, std::string>> errors;
    std::vector<int> progress;
    std::pair<int, std::string> LastError() const { return errors.empty() ? std::pair(0, std::string()) : errors.back(); }
    void Attach(ZipExtractionClass& unzip) {
        unzip.Status = [this](const std::string& text) { status.push_back(text); };
        unzip.ZipError = [this](int number, const std::string& text) { errors.emplace_back(number, text); };
        unzip.Progress = [this](int percent, bool&) { progress.push_back(percent); };
    }
};

class ZipExtractionTest : public ::testing::Test {
protected:
    fs::path C(const std::string& name) { return host_.DriveC() / name; }
    // Source files under C:\src (host folder src) for the archivers.
    void MakeSource() {
        WriteHostFile(C("src/Top.txt"), "top level\r\n");
        WriteHostFile(C("src/one/two/Deep.DAT"), std::string(70000, 'd'));
        WriteHostFile(C("src/one/empty.txt"), "");
    }
    bool Unpack(const std::string& zip, const std::string& dest, bool keep = true, bool overwrite = true) {
        ZipExtractionClass unzip;
        events_.Attach(unzip);
        if (!unzip.OpenZip(zip)) return false;
        return unzip.Extract(dest, keep, overwrite);
    }
    TempHost host_;
    Events events_;
};

TEST_F(ZipExtractionTest, ArchivesOfOtherArchiversUnpack) {
    MakeSource();
    const std::string src = C("src").string();
    struct Case {
        const char* name;
        std::string command;
    } const cases[] = {
        {"plain.zip", "cd " + src + " && zip -q -r ../plain.zip ."},
        {"stored.zip", "cd " + src + " && zip -q -0 -r ../stored.zip ."},
        {"descriptor.zip", "cd " + src + " && zip -q -fd -r ../descriptor.zip ."},
        {"piped.zip", "cd " + src + " && find . -type f | zip -q - -@ > ../piped.zip"},
        {"sevenzip.zip", "cd " + src + " && 7zz a -tzip ../sevenzip.zip . "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ShellCommand(c.command), 0);
        events_ = {};
        const std::string dest = std::string("C:\\out-") + c.name;
        EXPECT_TRUE(Unpack(std::string("C:\\") + c.name, dest));
        EXPECT_TRUE(events_.errors.empty()) << events_.LastError().second;
        const fs::path out = host_.DriveC() / ("out-" + std::string(c.name));
        EXPECT_EQ(ReadHostFile(out / "Top.txt"), "top level\r\n");
        EXPECT_EQ(ReadHostFile(out / "one/two/Deep.DAT"), std::string(70000, 'd'));
        EXPECT_FALSE(fs::exists(out / "one/empty.txt"));   // empty entries are skipped
        EXPECT_EQ(events_.progress.back(), 100);
    }
}

TEST_F(ZipExtractionTest, StatusTextsAndFlattenedFolders) {
    MakeSource();
    ASSERT_EQ(ShellCommand("cd " + C("src").string() + " && zip -q ../flat.zip Top.txt one/two/Deep.DAT"), 0);
    EXPECT_TRUE(Unpack("C:\\flat.zip", "C:\\flat", false));
    EXPECT_EQ(events_.status, (std::vector<std::string>{"Opening Zip", "Zip Opened", "Extracting Files",
                                                        "Extracting ...\\Top.txt", "Extracting ...\\Deep.DAT",
                                                        "Extraction Complete", "Zip Closed"}));
    EXPECT_EQ(events_.progress, (std::vector<int>{50, 100}));
    EXPECT_TRUE(fs::exists(C("flat/Deep.DAT")));
    EXPECT_FALSE(fs::exists(C("flat/one")));
}

TEST_F(ZipExtractionTest, OwnArchiveWithBackslashNamesKeepsItsTree) {
    WriteHostFile(C("a.txt"), "A");
    ZipClass zip;
    ASSERT_TRUE(zip.AddFile("C:\\a.txt", "rules\\sub\\a.dat"));
    ASSERT_TRUE(zip.AddFile("C:\\a.txt", "Caf\xC3\xA9.txt"));   // stored in Windows-1252
    ASSERT_TRUE(zip.WriteZip("C:\\own.zip"));
    EXPECT_TRUE(Unpack("C:\\own.zip", "C:\\own"));
    EXPECT_EQ(ReadHostFile(C("own/rules/sub/a.dat")), "A");
    EXPECT_EQ(ReadHostFile(C("own/Caf\xC3\xA9.txt")), "A");
}

TEST_F(ZipExtractionTest, OpenAndExtractErrors) {
    WriteHostFile(C("text.zip"), "this is no archive at all");
    ZipExtractionClass unzip;
    events_.Attach(unzip);
    EXPECT_FALSE(unzip.OpenZip("C:\\missing.zip"));
    EXPECT_FALSE(unzip.Extract("C:\\out", true, true));
    EXPECT_FALSE(unzip.OpenZip("C:\\text.zip"));
    EXPECT_EQ(events_.errors, (std::vector<std::pair<int, std::string>>{
                                  {10, "The file C:\\missing.zip doesn't exist"},
                                  {3, "There is no Zip File Open"},
                                  {2, "The file C:\\text.zip is not a Zip file"}}));

    // Bytes behind the end record do not hide it; a destination whose parent
    // is missing cannot be made.
    WriteHostFile(C("a.txt"), "A");
    ZipClass zip;
    ASSERT_TRUE(zip.AddFile("C:\\a.txt"));
    ASSERT_TRUE(zip.WriteZip("C:\\tail.zip"));
    WriteHostFile(C("tail.zip"), ReadHostFile(C("tail.zip")) + std::string(300000, 'z'));
    events_ = {};
    ASSERT_TRUE(unzip.OpenZip("C:\\tail.zip"));
    EXPECT_FALSE(unzip.Extract("C:\\no\\such", true, true));
    EXPECT_EQ(events_.LastError(), std::make_pair(13, std::string("Can't create the folder C:\\no\\such")));
    EXPECT_TRUE(unzip.Extract("C:\\tail", true, true));
    EXPECT_EQ(ReadHostFile(C("tail/a.txt")), "A");
}

TEST_F(ZipExtractionTest, WithoutZlibNothingIsExtracted) {
    WriteHostFile(C("a.txt"), "A");
    ZipClass zip;
    ASSERT_TRUE(zip.AddFile("C:\\a.txt"));
    ASSERT_TRUE(zip.WriteZip("C:\\a.zip"));
    host_.WriteHostIni("Zlib", "Missing", "1");
    EXPECT_FALSE(Unpack("C:\\a.zip", "C:\\out"));
    EXPECT_EQ(events_.LastError(), std::make_pair(1, std::string("Zlib is not installed")));
    EXPECT_FALSE(fs::exists(C("out/a.txt")));
}

TEST_F(ZipExtractionTest, ExistingTargetsAndUnsupportedMethods) {
    MakeSource();
    ASSERT_EQ(ShellCommand("cd " + C("src").string() + " && zip -q -Z bzip2 ../bz.zip one/two/Deep.DAT"), 0);
    EXPECT_TRUE(Unpack("C:\\bz.zip", "C:\\bz"));
    EXPECT_EQ(events_.LastError(), std::make_pair(4, std::string("The compression Method for one\\two\\Deep.DAT is unsupported")));
    EXPECT_FALSE(fs::exists(C("bz/one/two/Deep.DAT")));

    ASSERT_EQ(ShellCommand("cd " + C("src").string() + " && zip -q -r ../both.zip Top.txt one"), 0);
    WriteHostFile(C("both/Top.txt"), "mine");
    events_ = {};
    EXPECT_TRUE(Unpack("C:\\both.zip", "C:\\both", true, false));
    EXPECT_EQ(events_.errors, (std::vector<std::pair<int, std::string>>{
                                  {11, "The file C:\\both\\Top.txt already exists"}}));
    EXPECT_EQ(ReadHostFile(C("both/Top.txt")), "mine");
    EXPECT_TRUE(fs::exists(C("both/one/two/Deep.DAT")));
    EXPECT_TRUE(Unpack("C:\\both.zip", "C:\\both", true, true));
    EXPECT_EQ(ReadHostFile(C("both/Top.txt")), "top level\r\n");
}

// An archive of our writer with the bytes at one offset changed.
std::string Patched(std::string bytes, std::size_t at, const std::string& with) {
    return bytes.replace(at, with.size(), with);
}

TEST_F(ZipExtractionTest, DamagedEntriesLeaveTheOldFileInPlaceAndNoNewOne) {
    WriteHostFile(C("Quarnel.ini"), std::string(4000, 'n'));
    ZipClass zip;
    ASSERT_TRUE(zip.AddFile("C:\\Quarnel.ini"));
    ASSERT_TRUE(zip.WriteZip("C:\\good.zip"));
    const std::string good = ReadHostFile(C("good.zip"));
    const std::size_t central = good.size() - 22 - 46 - 11;
    struct Case {
        const char* what;
        std::string bytes;
    } const cases[] = {
        {"wrong CRC", Patched(good, 14, "\x01\x02\x03\x04")},
        {"2 GB claimed", Patched(Patched(good, 22, "\xF0\xFF\xFF\x7F"), central + 24, "\xF0\xFF\xFF\x7F")},
        {"negative size", Patched(Patched(good, 22, "\xFF\xFF\xFF\xFF"), central + 24, "\xFF\xFF\xFF\xFF")},
        {"short data", Patched(good, 18, std::string("\x05\x00\x00\x00", 4))},
        {"garbled data", Patched(good, 41, std::string(6, '\xAA'))},
        {"no local header", Patched(good, 0, "XXXX")},
        {"stored, wrong CRC", Patched(Patched(Patched(good, 14, "\x01\x02\x03\x04"), 8, std::string("\0", 1)),
                                      central + 10, std::string("\0", 1))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteHostFile(C("target/Quarnel.ini"), "old settings");
        WriteHostFile(C("bad.zip"), c.bytes);
        events_ = {};
        EXPECT_TRUE(Unpack("C:\\bad.zip", "C:\\target"));
        EXPECT_EQ(events_.LastError(), std::make_pair(5, std::string("Data checksum error in C:\\target\\Quarnel.ini")));
        EXPECT_EQ(ReadHostFile(C("target/Quarnel.ini")), "old settings");
        EXPECT_EQ(std::distance(fs::directory_iterator(C("target")), fs::directory_iterator()), 1);
        // Without an old file the entry is written in place, and removed again.
        fs::remove_all(C("fresh"));
        EXPECT_TRUE(Unpack("C:\\bad.zip", "C:\\fresh"));
        EXPECT_EQ(events_.LastError(), std::make_pair(5, std::string("Data checksum error in C:\\fresh\\Quarnel.ini")));
        EXPECT_TRUE(fs::is_empty(C("fresh")));
    }
}

TEST_F(ZipExtractionTest, TruncatedArchivesReachTheCaller) {
    MakeSource();
    ASSERT_EQ(ShellCommand("cd " + C("src").string() + " && zip -q -r ../whole.zip ."), 0);
    const std::string whole = ReadHostFile(C("whole.zip"));
    // The central directory cut away, the end record still pointing at it.
    const std::string end = whole.substr(whole.size() - 22);
    const std::size_t centralOffset = static_cast<unsigned char>(end[16]) | static_cast<unsigned char>(end[17]) << 8 |
                                      static_cast<unsigned char>(end[18]) << 16;
    WriteHostFile(C("cut.zip"), whole.substr(0, centralOffset) + end);
    ZipExtractionClass unzip;
    ASSERT_TRUE(unzip.OpenZip("C:\\cut.zip"));
    EXPECT_THROW(unzip.Extract("C:\\cut", true, true), RuntimeError);
}

TEST_F(ZipExtractionTest, NamesThatLeaveTheDestinationAreRefused) {
    WriteHostFile(C("evil.txt"), "evil");
    const std::vector<std::string> names = {
        "..\\escape.txt", "/rooted.txt", "\\rooted.txt", "C:evil.txt", "a\\..\\..\\up.txt",
        std::string("nul\0byte.txt", 12), "tab\tname.txt", "sub\\..", "dir/../x.txt",
    };
    ZipClass zip;
    for (const std::string& name : names) ASSERT_TRUE(zip.AddFile("C:\\evil.txt", name));
    ASSERT_TRUE(zip.AddFile("C:\\evil.txt", "fine\\ok.txt"));
    ASSERT_TRUE(zip.WriteZip("C:\\evil.zip"));
    fs::create_directories(C("box"));
    EXPECT_TRUE(Unpack("C:\\evil.zip", "C:\\box\\in"));
    ASSERT_EQ(events_.errors.size(), names.size());
    for (const auto& [number, text] : events_.errors) {
        EXPECT_EQ(number, 14);
        EXPECT_EQ(text.rfind("The file name ", 0), 0u);
        EXPECT_NE(text.find(" is not allowed"), std::string::npos);
    }
    EXPECT_EQ(ReadHostFile(C("box/in/fine/ok.txt")), "evil");
    std::size_t files = 0;
    for (const auto& item : fs::recursive_directory_iterator(host_.Folder()))
        if (item.is_regular_file() && ReadHostFile(item.path()) == "evil") ++files;
    EXPECT_EQ(files, 2u);   // the source and fine\ok.txt, nothing else anywhere
}

// Names Windows cannot hold, in an archive of Python's zipfile: each is
// refused by its name, and only the good entry is written.
TEST_F(ZipExtractionTest, NamesWindowsCannotHoldAreRefusedByName) {
    const std::vector<std::string> names = {
        "*.DAT", "?.txt", "a<b>.txt", "x|y", "q\"uote.txt", "trail. ", "dot.", "space ", "tail\\",
        "sub/dot./a.txt", "sub\\\\double.txt", "CON", "lpt1.txt", "Rules/nul.dat", "aux .log",
    };
    testsupport::ZipMembers members;
    for (const std::string& name : names) members.emplace_back(name, "bad " + name);
    members.emplace_back("Rules/Good.DAT", "good");
    ASSERT_TRUE(testsupport::WritePythonZip(C("names.zip"), members));
    EXPECT_TRUE(Unpack("C:\\names.zip", "C:\\names"));
    std::vector<std::pair<int, std::string>> expected;
    for (std::string name : names) {
        for (char& c : name)
            if (c == '/') c = '\\';
        expected.emplace_back(14, "The file name " + name + " is not allowed");
    }
    EXPECT_EQ(events_.errors, expected);
    std::vector<fs::path> written;
    for (const auto& item : fs::recursive_directory_iterator(C("names")))
        if (item.is_regular_file()) written.push_back(item.path().lexically_relative(C("names")));
    EXPECT_EQ(written, std::vector<fs::path>{"Rules/Good.DAT"});
}

// Info-ZIP's zip reading standard input leaves the local sizes at 0xFFFFFFFF
// and puts them in a zip64 field; an archive of more than 65535 entries has a
// zip64 end record. Neither is read as a checksum error.
TEST_F(ZipExtractionTest, Zip64ArchivesAreNamedAsSuch) {
    fs::create_directories(host_.DriveC());
    ASSERT_EQ(ShellCommand("seq 1 100000 | zip -q > " + C("piped64.zip").string()), 0);
    EXPECT_TRUE(Unpack("C:\\piped64.zip", "C:\\piped64"));
    EXPECT_EQ(events_.errors, (std::vector<std::pair<int, std::string>>{
                                  {15, "The archive uses zip64 for -, which is unsupported"}}));
    EXPECT_TRUE(fs::is_empty(C("piped64")));

    ASSERT_TRUE(testsupport::WritePythonZipOfManyMembers(C("many.zip"), 65536));
    events_ = {};
    EXPECT_FALSE(Unpack("C:\\many.zip", "C:\\many"));
    EXPECT_EQ(events_.errors, (std::vector<std::pair<int, std::string>>{
                                  {15, "The archive C:\\many.zip uses zip64, which is unsupported"}}));
    EXPECT_TRUE(fs::is_empty(C("many")));
}

// What another program unpacked is held against the archive: each file
// whole, of its size and CRC-32.
TEST_F(ZipExtractionTest, CheckUnpackedFindsMissingShortAndChangedFiles) {
    MakeSource();
    ASSERT_EQ(ShellCommand("cd " + C("src").string() + " && zip -q -r ../check.zip ."), 0);
    ASSERT_EQ(ShellCommand("cd " + C("src").string() + " && 7zz x -y -o../unpacked ../check.zip"), 0);
    ZipExtractionClass unzip;
    events_.Attach(unzip);
    ASSERT_TRUE(unzip.OpenZip("C:\\check.zip"));
    EXPECT_TRUE(unzip.CheckUnpacked("C:\\unpacked\\"));
    EXPECT_TRUE(events_.errors.empty()) << events_.LastError().second;
    const std::string deep = "C:\\unpacked\\one\\two\\Deep.DAT";
    const std::string changed = std::string(69999, 'd') + "e";
    for (const std::string& content : {std::string(), std::string(69999, 'd'), changed}) {
        SCOPED_TRACE(content.size());
        if (content.empty())
            fs::remove(C("unpacked/one/two/Deep.DAT"));
        else
            WriteHostFile(C("unpacked/one/two/Deep.DAT"), content);
        events_ = {};
        EXPECT_FALSE(unzip.CheckUnpacked("C:\\unpacked"));
        EXPECT_EQ(events_.errors, (std::vector<std::pair<int, std::string>>{{5, "Data checksum error in " + deep}}));
    }
}

TEST_F(ZipExtractionTest, CancelFromTheProgressEventStops) {
    MakeSource();
    ASSERT_EQ(ShellCommand("cd " + C("src").string() + " && zip -q ../two.zip Top.txt one/two/Deep.DAT"), 0);
    ZipExtractionClass unzip;
    unzip.Progress = [](int, bool& cancel) { cancel = true; };
    ASSERT_TRUE(unzip.OpenZip("C:\\two.zip"));
    EXPECT_FALSE(unzip.Extract("C:\\cancel", true, true));
    EXPECT_TRUE(fs::exists(C("cancel/Top.txt")));
    EXPECT_FALSE(fs::exists(C("cancel/one/two/Deep.DAT")));
}

}  // namespace
