// The archive writer: the exact bytes of its headers, the DOS time stamps,
// and archives that Info-ZIP's unzip and 7-Zip accept.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "net/ZipClass.h"
#include "net/ZipDeflate.h"
#include "net/ZipExtractionClass.h"
#include "net/ZipFile.h"
#include "platform/api/FileApi.h"
#include "platform/api/RuntimeError.h"
#include "support/ShellCommand.h"
#include "support/TempHost.h"

namespace {

using testsupport::ReadHostFile;
using testsupport::TempHost;
using testsupport::WriteHostFile;
namespace fs = std::filesystem;

std::uint32_t U32At(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return v;
}
std::uint16_t U16At(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                      (static_cast<unsigned char>(bytes.at(at + 1)) << 8));
}

using testsupport::ShellCommand;

void SetLocalMTime(const fs::path& file, int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// Log-like text whose repeats straddle the block boundaries of the deflate.
std::string LogText(std::size_t size) {
    std::string text;
    for (unsigned line = 0; text.size() < size; ++line)
        text += std::to_string(line * 7919u % 100003u) + " Service Control Manager entered state " +
                std::to_string(line % 37) + "\r\n";
    text.resize(size);
    return text;
}

// One deflate call over the whole content, as plain zlib makes it.
std::string OneCallDeflate(const std::string& content) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

class ZipClassTest : public ::testing::Test {
protected:
    fs::path Host(const std::string& name) { return host_.DriveC() / name; }
    TempHost host_;
};

TEST_F(ZipClassTest, EmptyArchiveIsTheEndRecordAlone) {
    ZipClass zip;
    ASSERT_TRUE(zip.WriteZip("C:\\empty.zip"));
    const std::string bytes = ReadHostFile(Host("empty.zip"));
    EXPECT_EQ(bytes, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_EQ(zip.FileCount(), 0);
    // unzip calls an archive without entries empty (exit code 1), not broken.
    EXPECT_EQ((ShellCommand("unzip -t " + Host("empty.zip").string())), 1);
}

TEST_F(ZipClassTest, HeadersOffsetsAndOrderOfTwoEntries) {
    WriteHostFile(Host("Second.txt"), std::string(5000, 'b'));
    WriteHostFile(Host("first.ini"), "[General]\r\nRulesWebLoc=x\r\n");
    SetLocalMTime(Host("first.ini"), 2011, 3, 5, 13, 45, 59);
    ZipClass zip;
    ASSERT_TRUE(zip.AddFile("C:\\first.ini"));
    ASSERT_TRUE(zip.AddFile("C:\\Second.txt", "sub\\renamed.txt", "a comment"));
    ASSERT_TRUE(zip.WriteZip("C:\\two.zip"));
    const std::string bytes = ReadHostFile(Host("two.zip"));

    const ZipFile& first = *zip.Files()[0];
    const ZipFile& second = *zip.Files()[1];
    // First local header at 0, with the table's constants and the DOS stamp.
    EXPECT_EQ(U32At(bytes, 0), 0x04034B50u);
    EXPECT_EQ(U16At(bytes, 4), 20);
    EXPECT_EQ(U16At(bytes, 6), 2);
    EXPECT_EQ(U16At(bytes, 8), 8);
    EXPECT_EQ(U16At(bytes, 10), 0x6DBD);
    EXPECT_EQ(U16At(bytes, 12), 0x3E65);
    EXPECT_EQ(U16At(bytes, 26), 9);
    EXPECT_EQ(bytes.substr(30, 9), "first.ini");
    const std::size_t secondLocal = 30 + 9 + first.CompressedData().size();
    EXPECT_EQ(U32At(bytes, secondLocal), 0x04034B50u);
    EXPECT_EQ(U16At(bytes, secondLocal + 26), 15);
    EXPECT_EQ(bytes.substr(secondLocal + 30, 15), "sub\\renamed.txt");
    EXPECT_EQ(U32At(bytes, secondLocal + 22), 5000u);

    const std::size_t central = secondLocal + 30 + 15 + second.CompressedData().size();
    EXPECT_EQ(U32At(bytes, central), 0x02014B50u);
    EXPECT_EQ(U16At(bytes, central + 36), 32);
    EXPECT_EQ(U32At(bytes, central + 42), 0u);
    EXPECT_EQ(bytes.substr(central + 46, 9), "first.ini");
    const std::size_t central2 = central + 46 + 9;
    EXPECT_EQ(U16At(bytes, central2 + 28), 15);
    EXPECT_EQ(U16At(bytes, central2 + 32), 9);
    EXPECT_EQ(U32At(bytes, central2 + 42), secondLocal);
    EXPECT_EQ(bytes.substr(central2 + 46 + 15, 9), "a comment");

    const std::size_t end = central2 + 46 + 15 + 9;
    ASSERT_EQ(bytes.size(), end + 22);
    EXPECT_EQ(U32At(bytes, end), 0x06054B50u);
    EXPECT_EQ(U16At(bytes, end + 8), 2);
    EXPECT_EQ(U16At(bytes, end + 10), 2);
    EXPECT_EQ(U32At(bytes, end + 12), end - central);
    EXPECT_EQ(U32At(bytes, end + 16), central);

    EXPECT_EQ(ShellCommand("unzip -t " + Host("two.zip").string()), 0);
    EXPECT_EQ(ShellCommand("7zz t " + Host("two.zip").string()), 0);
}

TEST_F(ZipClassTest, DosTimeAndDate) {
    struct Case {
        int year, month, day, hour, minute, second;
        std::uint16_t time, date;
    } const cases[] = {
        {2011, 3, 5, 13, 45, 59, 0x6DBD, 0x3E65},
        {1980, 1, 1, 0, 0, 0, 0x0000, 0x0021},
        {1979, 12, 31, 23, 59, 59, 0x0000, 0x0021},   // before the format's epoch
        {2107, 12, 31, 23, 59, 58, 0xBF7D, 0xFF9F},
        {2150, 6, 1, 12, 0, 0, 0xBF7D, 0xFF9F},       // after its end
    };
    for (const Case& c : cases) {
        const auto dos = zipformat::ToDosDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
        EXPECT_EQ(dos.time, c.time) << c.year;
        EXPECT_EQ(dos.date, c.date) << c.year;
    }
}

TEST_F(ZipClassTest, ArchivesOfAllSortsOfContentPassBothTesters) {
    std::string binary;
    for (unsigned i = 0; i < 300000; ++i) binary += static_cast<char>((i * 7919u) >> 3);
    WriteHostFile(Host("data/bin.dat"), binary);
    WriteHostFile(Host("data/empty.txt"), "");
    WriteHostFile(Host("data/big.txt"), std::string(2'000'000, 'x'));
    ZipClass zip;
    for (const char* name : {"bin.dat", "empty.txt", "big.txt"})
        ASSERT_TRUE(zip.AddFile(std::string("C:\\data\\") + name));
    ASSERT_TRUE(zip.WriteZip("C:\\all.zip"));
    EXPECT_EQ(ShellCommand("unzip -t " + Host("all.zip").string()), 0);
    EXPECT_EQ(ShellCommand("7zz t " + Host("all.zip").string()), 0);
    const fs::path out = host_.Folder() / "out";
    ASSERT_EQ(ShellCommand("unzip -q -d " + out.string() + " " + Host("all.zip").string()), 0);
    EXPECT_EQ(ReadHostFile(out / "bin.dat"), binary);
    EXPECT_EQ(ReadHostFile(out / "empty.txt"), "");
}

TEST_F(ZipClassTest, MissingHiddenOrExistingFilesAreRefused) {
    WriteHostFile(Host("hidden.txt"), "h");
    win::SetFileAttributesA("C:\\hidden.txt", win::FILE_ATTRIBUTE_HIDDEN);
    WriteHostFile(Host("keep.zip"), "old");
    WriteHostFile(Host("a.txt"), "a");
    ZipClass zip;
    EXPECT_FALSE(zip.AddFile("C:\\missing.txt"));
    EXPECT_FALSE(zip.AddFile("C:\\hidden.txt"));
    EXPECT_EQ(zip.FileCount(), 0);
    ASSERT_TRUE(zip.AddFile("C:\\a.txt"));
    EXPECT_FALSE(zip.WriteZip("C:\\keep.zip"));
    EXPECT_EQ(ReadHostFile(Host("keep.zip")), "old");
    EXPECT_TRUE(zip.WriteZip("C:\\keep.zip", true));
    EXPECT_EQ(ShellCommand("unzip -t " + Host("keep.zip").string()), 0);
}

TEST_F(ZipClassTest, AWriteIntoAMissingFolderReachesTheCaller) {
    WriteHostFile(Host("a.txt"), "a");
    ZipClass zip;
    ASSERT_TRUE(zip.AddFile("C:\\a.txt"));
    EXPECT_THROW(zip.WriteZip("C:\\no such folder\\a.zip"), RuntimeError);
}

// A writer killed while it writes leaves no half archive under the
// archive's name; the next write of the archive takes what it left.
TEST_F(ZipClassTest, AWriterKilledWhileItWritesLeavesNoHalfArchive) {
    // Incompressible bytes, so that the archive is large.
    std::string noise(48 << 20, '\0');
    std::mt19937 random(17);
    for (char& c : noise) c = static_cast<char>(random());
    WriteHostFile(Host("in/noise.bin"), noise);
    noise.clear();
    fs::create_directories(Host("out"));
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        ZipClass zip;
        const bool ok = zip.AddFile("C:\\in\\noise.bin") && zip.WriteZip("C:\\out\\noise.zip", true);
        _exit(ok ? 0 : 1);
    }
    // Killed as soon as the first bytes of the archive are on disk.
    bool writing = false;
    while (!writing && waitpid(writer, nullptr, WNOHANG) == 0) {
        for (const auto& entry : fs::directory_iterator(Host("out")))
            writing = writing || (entry.is_regular_file() && entry.file_size() > 0);
        usleep(200);
    }
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    ASSERT_TRUE(writing) << "the writer ended before it was killed";
    EXPECT_TRUE(!fs::exists(Host("out/noise.zip")) || ShellCommand("unzip -tq " + Host("out/noise.zip").string()) == 0)
        << "a half archive passes for one";

    ZipClass zip;
    ASSERT_TRUE(zip.AddFile("C:\\in\\noise.bin"));
    ASSERT_TRUE(zip.WriteZip("C:\\out\\noise.zip", true));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Host("out"))) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"noise.zip"});
    EXPECT_EQ(ShellCommand("unzip -tq " + Host("out/noise.zip").string()), 0);
}

TEST_F(ZipClassTest, ContentsCutIntoBlocksJoinIntoOneStream) {
    constexpr std::size_t block = zipdeflate::kBlockSize;
    struct Case {
        const char* name;
        std::size_t size;
    } cases[] = {{"under.txt", block - 1}, {"exact.txt", block}, {"over.txt", block + 1},
                 {"many.txt", 5 * block + 12345}, {"two.txt", 2 * block}};
    ZipClass zip;
    for (const Case& c : cases) {
        WriteHostFile(Host(std::string("blocks/") + c.name), LogText(c.size));
        ASSERT_TRUE(zip.AddFile(std::string("C:\\blocks\\") + c.name));
    }
    ASSERT_TRUE(zip.WriteZip("C:\\blocks.zip"));
    EXPECT_EQ(ShellCommand("unzip -t " + Host("blocks.zip").string()), 0);
    EXPECT_EQ(ShellCommand("7zz t " + Host("blocks.zip").string()), 0);
    const fs::path out = host_.Folder() / "blocks-out";
    ASSERT_EQ(ShellCommand("unzip -q -d " + out.string() + " " + Host("blocks.zip").string()), 0);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::string content = LogText(cases[i].size);
        EXPECT_EQ(ReadHostFile(out / cases[i].name), content);
        const ZipFile& entry = *zip.Files()[i];
        EXPECT_EQ(entry.Local.Crc32, crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                           static_cast<uInt>(content.size())));
        const std::string plain = OneCallDeflate(content);
        if (cases[i].size <= block)
            EXPECT_EQ(entry.CompressedData(), plain);
        else
            EXPECT_LT(entry.CompressedData().size(), plain.size() * 101 / 100);
    }
}

TEST_F(ZipClassTest, ManyFilesKeepTheirOrderAndContentWhileCompressedTogether) {
    ZipClass zip;
    std::vector<std::string> contents;
    for (int i = 0; i < 150; ++i) {
        contents.push_back(LogText(static_cast<std::size_t>(i * 977 % 20000)));
        const std::string name = "many\\f" + std::to_string(i) + ".txt";
        WriteHostFile(Host("many/f" + std::to_string(i) + ".txt"), contents.back());
        ASSERT_TRUE(zip.AddFile("C:\\" + name, "f" + std::to_string(i) + ".txt"));
    }
    ASSERT_TRUE(zip.WriteZip("C:\\many.zip"));
    for (int i = 0; i < 150; ++i) EXPECT_EQ(zip.Files()[i]->StoredName(), "f" + std::to_string(i) + ".txt");
    ZipExtractionClass reader;
    ASSERT_TRUE(reader.OpenZip("C:\\many.zip"));
    ASSERT_TRUE(reader.Extract("C:\\many-out", true, false));
    for (int i = 0; i < 150; ++i) {
        if (contents[i].empty()) continue;  // an empty entry makes no file
        EXPECT_EQ(ReadHostFile(Host("many-out/f" + std::to_string(i) + ".txt")), contents[i]) << i;
    }
}

}  // namespace
