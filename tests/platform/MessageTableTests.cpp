#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/api/EventLog.h"
#include "platform/api/MessageTable.h"
#include "platform/host/Text.h"
#include "platform/api/Registry.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempHost;

std::string GeneratedLibrary() {
    return testsupport::ReadHostFile(fs::path(QUARNEL_BIN_DIR) / "BrindleEventLogMsgHelper.dll");
}

// Bytes that end right before an unreadable page, so that a read past their
// end stops the test with a fault instead of going unseen.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::string& bytes) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        dataPages_ = (bytes.size() + page - 1) / page * page + page;
        length_ = dataPages_ + page;
        void* mapped = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = static_cast<char*>(mapped);
        mprotect(base_ + dataPages_, page, PROT_NONE);
        data_ = base_ + dataPages_ - bytes.size();
        std::memcpy(data_, bytes.data(), bytes.size());
        size_ = bytes.size();
    }
    ~GuardedBytes() { munmap(base_, length_); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    std::string_view View() const { return {data_, size_}; }

private:
    char* base_ = nullptr;
    char* data_ = nullptr;
    std::size_t size_ = 0, dataPages_ = 0, length_ = 0;
};

std::optional<std::string> FindGuarded(const std::string& bytes, std::uint32_t id) {
    GuardedBytes guarded(bytes);
    return platform::FindMessageInPe(guarded.View(), id);
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

// File offsets in the generated library: the .rsrc section starts at 0x200.
constexpr std::size_t kResources = 0x200;
constexpr std::size_t kTable = kResources + 0x58;

TEST(MessageTable, TheGeneratedLibraryMaps10177ToPercentOneWithItsLineBreak) {
    const std::string library = GeneratedLibrary();
    ASSERT_GT(library.size(), kTable);
    EXPECT_EQ(library.substr(0, 2), "MZ");
    EXPECT_EQ(FindGuarded(library, 10177), "%1\r\n");
    EXPECT_EQ(FindGuarded(library, 10176), std::nullopt);
    EXPECT_EQ(FindGuarded(library, 10178), std::nullopt);
    EXPECT_EQ(FindGuarded(library, 0), std::nullopt);
}

TEST(MessageTable, EveryTruncationIsReadInsideTheFile) {
    const std::string library = GeneratedLibrary();
    for (std::size_t size = 0; size < library.size(); ++size) {
        const auto found = FindGuarded(library.substr(0, size), 10177);
        if (size < kTable + 16) {
            EXPECT_EQ(found, std::nullopt) << size;
        }
    }
}

TEST(MessageTable, CorruptHeadersAndTablesAreReadInsideTheFile) {
    const std::string library = GeneratedLibrary();
    const std::size_t end = std::min(library.size(), kTable + 40);
    for (std::size_t at = 0; at < end; ++at)
        for (unsigned char value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            std::string corrupt = library;
            corrupt[at] = static_cast<char>(value);
            FindGuarded(corrupt, 10177);
        }
    std::mt19937 random(4711);
    for (int round = 0; round < 3000; ++round) {
        std::string corrupt = library;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) corrupt[random() % end] = static_cast<char>(random());
        FindGuarded(corrupt, 10177);
    }
}

TEST(MessageTable, HostileValuesGiveNoMessage) {
    const std::string library = GeneratedLibrary();
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const std::vector<Case> cases = {
        {"PE header beyond the file", 0x3C, 0xFFFFFFF0u},
        {"entry length 0", kTable + 16, 0x00010000u},
        {"block count huge", kTable, 0x7FFFFFFFu},
        {"block entries beyond the table", kTable + 12, 0x10000u},
        {"resource data size beyond the section", kResources + 0x4C, 0xFFFFFF00u},
        {"resource data RVA outside every section", kResources + 0x48, 0x90000000u},
        {"directory entry pointing past the section", kResources + 0x14, 0x8000FFF0u},
        {"directory entry count huge", kResources + 0x0C, 0xFFFF0000u},
        {"section raw data beyond the file", 0x138 + 20, 0x7FFFFFFFu},
    };
    for (const Case& c : cases) {
        std::string corrupt = library;
        Put32(corrupt, c.at, c.value);
        EXPECT_EQ(FindGuarded(corrupt, 10177), std::nullopt) << c.what;
    }
}

TEST(MessageTable, ANumberOfEntriesIsWalkedToTheOneAsked) {
    // A table of its own: one block 5..7 with three ANSI entries.
    std::string table(4 + 12, '\0');
    Put32(table, 0, 1);
    Put32(table, 4, 5);
    Put32(table, 8, 7);
    Put32(table, 12, 16);
    for (const std::string text : {"five", "six\r\n", "seven"}) {
        std::string entry(4, '\0');
        entry += text;
        entry.resize((entry.size() + 1 + 3) / 4 * 4, '\0');
        entry[0] = static_cast<char>(entry.size());
        table += entry;
    }
    std::string library = GeneratedLibrary();
    library.resize(kTable);
    library += table;
    library.resize((library.size() + 0x1FF) / 0x200 * 0x200, '\0');
    Put32(library, kResources + 0x4C, static_cast<std::uint32_t>(table.size()));
    Put32(library, 0x138 + 8, 0x200);   // virtual size
    EXPECT_EQ(FindGuarded(library, 5), "five");
    EXPECT_EQ(FindGuarded(library, 6), "six\r\n");
    EXPECT_EQ(FindGuarded(library, 7), "seven");
    EXPECT_EQ(FindGuarded(library, 8), std::nullopt);
}

TEST(MessageTable, RangeTables) {
    const std::string table = std::string(platform::kRangeTableHeader) + "\r\n1-99=low %1\r\n100-65535=%1\r\n";
    EXPECT_EQ(platform::FindMessageInFile(table, 7036), "%1");
    EXPECT_EQ(platform::FindMessageInFile(table, 3), "low %1");
    EXPECT_EQ(platform::FindMessageInFile(table, 70000), std::nullopt);
    EXPECT_EQ(platform::FindMessageInFile("not a table\r\n1-9=x", 3), std::nullopt);
    EXPECT_EQ(platform::FindMessageInFile("", 3), std::nullopt);
}

TEST(MessageTable, InsertsAsFormatMessage) {
    const std::vector<std::string> strings = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "twelve"};
    struct Case {
        std::string message;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"%1\r\n", "a\r\n"},
        {"%1 and %2.", "a and b."},
        {"%12!", "twelve!"},
        {"%2!s! x", "b x"},
        {"%13 stays", "%13 stays"},
        {"100%% %n%t|", "100% \r\n\t|"},
        {"before%0after", "before"},
        {"end %", "end %"},
        {"%. %! %x", ". ! x"},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::InsertStrings(c.message, strings), c.expected) << c.message;
    // Insertion strings are not read for inserts again.
    EXPECT_EQ(platform::InsertStrings("%1", {"%1%2"}), "%1%2");
    EXPECT_EQ(platform::InsertStrings("%1", {}), "%1");
}

TEST(MessageTable, AnsiCodePage) {
    EXPECT_EQ(platform::FitToAnsiCodePage("plain \xC3\xA9 \xE2\x82\xAC"), "plain \xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(platform::FitToAnsiCodePage("\xC4\x81|\xF0\x9F\x98\x80|\xFF"), "?|?|?");
    EXPECT_EQ(platform::AnsiToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");
}

class RecordMessage : public ::testing::Test {
protected:
    void RegisterMessageFile(const std::string& source, win::DWORD kind, const std::string& value) {
        const std::string path = std::string(platform::kEventLogKey) + "\\Application\\" + source;
        win::HKEY key = 0;
        ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                       nullptr, &key, nullptr),
                  0);
        const std::string data = value + '\0';
        win::RegSetValueExA(key, "EventMessageFile", 0, kind, reinterpret_cast<const win::BYTE*>(data.data()),
                            static_cast<win::DWORD>(data.size()));
        win::RegCloseKey(key);
    }
    platform::EventRecord Record(const std::string& source, std::uint32_t id) {
        platform::EventRecord r;
        r.log = "Application";
        r.source = source;
        r.eventId = id;
        r.strings = {"the caller's text"};
        return r;
    }
    TempHost host_;
};

TEST_F(RecordMessage, ComesFromTheRegisteredFileExpandedAndSplit) {
    testsupport::WriteHostFile(host_.HostOf("C:\\Windows\\System32\\Helper.dll"), GeneratedLibrary());
    RegisterMessageFile("Expanded", win::REG_EXPAND_SZ, "%SystemRoot%\\System32\\Helper.dll");
    RegisterMessageFile("Plain", win::REG_SZ, "C:\\Missing.dll;c:\\windows\\system32\\helper.dll");
    EXPECT_EQ(platform::EventRecordMessage(Record("Expanded", 10177)), "the caller's text\r\n");
    EXPECT_EQ(platform::EventRecordMessage(Record("Plain", 10177)), "the caller's text\r\n");
}

TEST_F(RecordMessage, IsNullWithoutAFileThatHoldsTheId) {
    testsupport::WriteHostFile(host_.HostOf("C:\\Windows\\System32\\Helper.dll"), GeneratedLibrary());
    testsupport::WriteHostFile(host_.HostOf("C:\\Program Files\\Quarnel\\Quarnel.exe"), "\x7f" "ELF not a PE file");
    RegisterMessageFile("Helper", win::REG_EXPAND_SZ, "%SystemRoot%\\System32\\Helper.dll");
    RegisterMessageFile("Program", win::REG_SZ, "C:\\Program Files\\Quarnel\\Quarnel.exe");
    RegisterMessageFile("Missing", win::REG_SZ, "C:\\nothing.dll");
    RegisterMessageFile("Number", win::REG_DWORD, "1234");
    EXPECT_EQ(platform::EventRecordMessage(Record("Helper", 10178)), std::nullopt);
    EXPECT_EQ(platform::EventRecordMessage(Record("Program", 10177)), std::nullopt);
    EXPECT_EQ(platform::EventRecordMessage(Record("Missing", 10177)), std::nullopt);
    EXPECT_EQ(platform::EventRecordMessage(Record("Number", 10177)), std::nullopt);
    EXPECT_EQ(platform::EventRecordMessage(Record("Unregistered", 10177)), std::nullopt);
}

// The monitor looks a source's message file up once; a change of the
// registry value, made here or by another process, or of the file itself is
// seen at the next record.
TEST_F(RecordMessage, FollowsChangesOfTheRegistryValueAndOfTheFile) {
    const auto table = [](const std::string& text) { return std::string(platform::kRangeTableHeader) + "\r\n1-65535=" + text + "\r\n"; };
    testsupport::WriteHostFile(host_.HostOf("C:\\Windows\\System32\\Helper.dll"), GeneratedLibrary());
    testsupport::WriteHostFile(host_.HostOf("C:\\Other.dll"), table("Other: %1"));
    RegisterMessageFile("Changing", win::REG_SZ, "C:\\Windows\\System32\\Helper.dll");
    EXPECT_EQ(platform::EventRecordMessage(Record("Changing", 10177)), "the caller's text\r\n");

    RegisterMessageFile("Changing", win::REG_SZ, "C:\\Other.dll");
    EXPECT_EQ(platform::EventRecordMessage(Record("Changing", 10177)), "Other: the caller's text");

    testsupport::WriteHostFile(host_.HostOf("C:\\Other.dll"), table("Rewritten: %1"));
    EXPECT_EQ(platform::EventRecordMessage(Record("Changing", 10177)), "Rewritten: the caller's text");

    const pid_t child = fork();
    if (child == 0) {
        RegisterMessageFile("Changing", win::REG_SZ, "C:\\Windows\\System32\\Helper.dll");
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(platform::EventRecordMessage(Record("Changing", 10177)), "the caller's text\r\n");
}

}  // namespace
