#include <gtest/gtest.h>

#include "platform/api/FtpListing.h"

using platform::FtpListEntry;

namespace {

// 2026-12-10 11:00:00 UTC
constexpr std::time_t kNow = 1796900400;

std::time_t Utc(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return timegm(&tm);
}

struct LineCase {
    const char* line;
    const char* name;  // nullptr: the line gives no entry
    std::uint64_t size;
    bool directory;
    std::time_t modified;
};

void ExpectEntry(const std::optional<FtpListEntry>& entry, const LineCase& c) {
    if (!c.name) {
        EXPECT_FALSE(entry.has_value()) << c.line;
        return;
    }
    ASSERT_TRUE(entry.has_value()) << c.line;
    EXPECT_EQ(entry->name, c.name) << c.line;
    EXPECT_EQ(entry->size, c.size) << c.line;
    EXPECT_EQ(entry->isDirectory, c.directory) << c.line;
    if (c.modified) {
        ASSERT_TRUE(entry->modified.has_value()) << c.line;
        EXPECT_EQ(*entry->modified, c.modified) << c.line;
    }
}

TEST(FtpListing, MlsdLines) {
    const LineCase cases[] = {
        {"type=file;size=1234;modify=20261210102030;perm=adfrw; QuarnelConfig.zip\r\n", "QuarnelConfig.zip", 1234,
         false, Utc(2026, 12, 10, 10, 20) + 30},
        {"Type=DIR;Modify=20250101000000.123; Rules", "Rules", 0, true, Utc(2025, 1, 1, 0, 0)},
        {"type=file;size=5; name with  two  blanks ", "name with  two  blanks ", 5, false, 0},
        {"type=cdir;modify=20261210102030; .", nullptr, 0, false, 0},
        {"type=pdir; ..", nullptr, 0, false, 0},
        {"type=file;size=99999999999999999999999; huge", "huge", 0, false, 0},
        {"type=file;modify=20261332250000; bad date", "bad date", 0, false, 0},
        {"no-blank-at-all", nullptr, 0, false, 0},
        {"type=file; ", nullptr, 0, false, 0},
        {"", nullptr, 0, false, 0},
    };
    for (const auto& c : cases) ExpectEntry(platform::ParseMlsdLine(c.line), c);
    EXPECT_FALSE(platform::ParseMlsdLine("type=file;modify=20261332250000; bad date")->modified.has_value());
    EXPECT_TRUE(platform::ParseMlsdLine("type=file;perm=r; locked")->readOnly);
}

TEST(FtpListing, UnixLines) {
    const LineCase cases[] = {
        {"-rw-r--r--   1 quarnel  quarnel      1234 Dec 10 10:15 Rules.zip\r", "Rules.zip", 1234, false,
         Utc(2026, 12, 10, 10, 15)},
        // A time without a year that would lie more than a day ahead is last year's.
        {"-rw-r--r-- 1 owner group 10 Dec 25 08:00 later.txt", "later.txt", 10, false, Utc(2025, 12, 25, 8, 0)},
        {"-rw-r--r-- 1 owner group 10 Dec 11 08:00 tomorrow.txt", "tomorrow.txt", 10, false, Utc(2026, 12, 11, 8, 0)},
        {"drwxr-xr-x   2 owner    group        4096 Jan  3  2024 Old Folder", "Old Folder", 4096, true,
         Utc(2024, 1, 3, 0, 0)},
        {"-rw-r--r-- 1 owner 77 Mar 1 12:00 no group", "no group", 77, false, 0},
        {"lrwxrwxrwx 1 o g 7 Feb 2 2020 link -> target", "link", 7, false, 0},
        {"-rw-r--r-- 1 o g 5 Feb 30 2020 impossible", nullptr, 0, false, 0},
        {"drwxr-xr-x 2 o g 4096 Jan 3 2024 .", nullptr, 0, false, 0},
        {"total 12", nullptr, 0, false, 0},
        {"-rw-r--r-- 1 o g x12 Jan 3 2024 notasize", nullptr, 0, false, 0},
    };
    for (const auto& c : cases) ExpectEntry(platform::ParseUnixLine(c.line, kNow), c);
    EXPECT_TRUE(platform::ParseUnixLine("-r--r--r-- 1 o g 1 Jan 3 2024 ro", kNow)->readOnly);
    EXPECT_FALSE(platform::ParseUnixLine("-rw-r--r-- 1 o g 1 Jan 3 2024 rw", kNow)->readOnly);
}

TEST(FtpListing, DosLines) {
    const LineCase cases[] = {
        {"12-10-26  10:15AM                 1234 QuarnelConfig.zip\r\n", "QuarnelConfig.zip", 1234, false,
         Utc(2026, 12, 10, 10, 15)},
        {"01-03-24  12:05PM       <DIR>          Rules Folder", "Rules Folder", 0, true, Utc(2024, 1, 3, 12, 5)},
        {"01-03-24  12:05AM                1,234,567 comma.bin", "comma.bin", 1234567, false, Utc(2024, 1, 3, 0, 5)},
        {"07-04-1999  23:59                 5 y2k.txt", "y2k.txt", 5, false, Utc(1999, 7, 4, 23, 59)},
        {"02-30-24  10:00AM  5 impossible", nullptr, 0, false, 0},
        {"01-03-24  13:05PM  5 badhour", nullptr, 0, false, 0},
        {"01-03-24  10:00AM  <DIR>  ..", nullptr, 0, false, 0},
        {"01/03/24  10:00AM  5 slashes", nullptr, 0, false, 0},
    };
    for (const auto& c : cases) ExpectEntry(platform::ParseDosLine(c.line), c);
}

TEST(FtpListing, ListingsTakeEveryLineAndSkipTheRest) {
    const auto unixEntries = platform::ParseListListing(
        "total 8\r\ndrwxr-xr-x 2 o g 4096 Dec 10 10:00 .\r\n-rw-r--r-- 1 o g 3 Dec 10 10:00 a\r\n"
        "12-10-26  10:15AM  <DIR>  b\r\ngarbage\n-rw-r--r-- 1 o g 4 Dec 10 10:00 c",
        kNow);
    ASSERT_EQ(unixEntries.size(), 3u);
    EXPECT_EQ(unixEntries[0].name, "a");
    EXPECT_EQ(unixEntries[1].name, "b");
    EXPECT_EQ(unixEntries[2].name, "c");
    EXPECT_EQ(platform::ParseMlsdListing("type=cdir; .\r\ntype=file;size=1; x\r\n\r\n").size(), 1u);
}

TEST(FtpListing, QuotedFolderOfAPwdReply) {
    EXPECT_EQ(platform::ParseQuotedFolder("257 \"/Quarnel\" is the current directory.\r\n"), "/Quarnel");
    EXPECT_EQ(platform::ParseQuotedFolder("257 \"/say \"\"hi\"\"\" created."), "/say \"hi\"");
    EXPECT_EQ(platform::ParseQuotedFolder("257 \"/unterminated"), std::nullopt);
    EXPECT_EQ(platform::ParseQuotedFolder("257 no quotes"), std::nullopt);
}

TEST(FtpListing, AReplyEndsWithTheLineThatClosesIt) {
    struct Case {
        const char* received;
        int code;       // -1: not complete yet
        size_t length;
    };
    const Case cases[] = {
        {"220 ready\r\n", 220, 11},
        {"220 ready\r\n331 next\r\n", 220, 11},
        {"226 done\n", 226, 9},
        {"200\r\n", 200, 5},
        {"230-Welcome\r\n230 not the end yet?\r\n", 230, 35},
        {"230-Welcome\r\n 230 inside\r\n230-still inside\r\n230 end\r\nrest", 230, 53},
        {"230-Welcome\r\n231 other code\r\n", -1, 0},
        {"220 no line end", -1, 0},
        {"", -1, 0},
        {"hello\r\n", 0, 7},
        {"22 short\r\n", 0, 10},
        {"2200 four digits\r\n", 0, 18},
    };
    for (const Case& c : cases) {
        const auto reply = platform::CompleteFtpReply(c.received);
        if (c.code < 0) {
            EXPECT_EQ(reply.has_value(), false) << c.received;
            continue;
        }
        ASSERT_TRUE(reply.has_value()) << c.received;
        EXPECT_EQ(reply->code, c.code) << c.received;
        EXPECT_EQ(reply->length, c.length) << c.received;
    }
}

TEST(FtpListing, ThePortOfAPassiveReply) {
    EXPECT_EQ(platform::ParsePassivePort("227 Entering Passive Mode (127,0,0,1,4,1).\r\n"), 1025);
    EXPECT_EQ(platform::ParsePassivePort("227 Entering Passive Mode 10,1,2,3,200,10\r\n"), 200 * 256 + 10);
    EXPECT_EQ(platform::ParsePassivePort("227 =127,0,0,1,0,21"), 21);
    EXPECT_EQ(platform::ParsePassivePort("227 (127,0,0,1,256,1)"), std::nullopt);
    EXPECT_EQ(platform::ParsePassivePort("227 (127,0,0,1,4)"), std::nullopt);
    EXPECT_EQ(platform::ParsePassivePort("227 (127,0,0,1,0,0)"), std::nullopt);
    EXPECT_EQ(platform::ParsePassivePort("227 no numbers"), std::nullopt);

    EXPECT_EQ(platform::ParseExtendedPassivePort("229 Entering extended passive mode (|||6446|).\r\n"), 6446);
    EXPECT_EQ(platform::ParseExtendedPassivePort("229 (!!!21!)"), 21);
    EXPECT_EQ(platform::ParseExtendedPassivePort("229 (|||70000|)"), std::nullopt);
    EXPECT_EQ(platform::ParseExtendedPassivePort("229 (||6446|)"), std::nullopt);
    EXPECT_EQ(platform::ParseExtendedPassivePort("229 (|||6446)"), std::nullopt);
    EXPECT_EQ(platform::ParseExtendedPassivePort("229 (|||0|)"), std::nullopt);
    EXPECT_EQ(platform::ParseExtendedPassivePort("229 ("), std::nullopt);
}

}  // namespace
