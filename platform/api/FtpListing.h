#pragma once
// What FTP servers send back that the WinINet layer reads: the lines of a
// folder listing (MLSD facts, Unix "ls -l" lines, DOS/IIS lines) and the
// folder of a PWD reply. Every parser takes the bytes as a server sent them
// and gives nothing for a line it cannot read.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct FtpListEntry {
    std::string name;
    std::uint64_t size = 0;
    bool isDirectory = false;
    bool readOnly = false;
    // Last change as UTC seconds since 1970; nothing when the line gave none.
    std::optional<std::time_t> modified;
};

// One MLSD line: "fact=value;fact=value; name". The current and parent
// folder entries (type=cdir, type=pdir) give nothing.
std::optional<FtpListEntry> ParseMlsdLine(std::string_view line);

// One LIST line in Unix form ("-rw-r--r-- 1 owner group 1234 Jan 10 12:34 name")
// or DOS form ("01-10-26  12:34PM  <DIR>  name" / "... 1234 name"). A time
// without a year is taken in the year that puts it at most a day ahead of
// `now`. "." and ".." give nothing, and so do "total" lines.
std::optional<FtpListEntry> ParseListLine(std::string_view line, std::time_t now);
std::optional<FtpListEntry> ParseUnixLine(std::string_view line, std::time_t now);
std::optional<FtpListEntry> ParseDosLine(std::string_view line);

// Every entry of a listing's bytes (lines end in CR LF or LF).
std::vector<FtpListEntry> ParseMlsdListing(std::string_view listing);
std::vector<FtpListEntry> ParseListListing(std::string_view listing, std::time_t now);

// The folder of a "257" reply to PWD or MKD: the text between the first
// quote and its closing quote, a doubled quote standing for one.
std::optional<std::string> ParseQuotedFolder(std::string_view reply);

}  // namespace platform
