#pragma once
// What FTP servers send back that the WinINet layer reads: the replies of the
// control connection, the lines of a folder listing (MLSD facts, Unix "ls -l"
// lines, DOS/IIS lines), the folder of a PWD reply and the port of a passive
// mode reply. Every parser takes the bytes as a server sent them
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

// The first whole reply at the start of what a control connection sent: its
// code and its length in bytes, up to and with the line end of its last line
// ("123-" opens a reply of several lines that a line "123 " closes). Nothing
// while the reply is incomplete; code 0 for a first line that does not begin
// with three digits.
struct FtpReplyExtent {
    int code = 0;
    size_t length = 0;
};
std::optional<FtpReplyExtent> CompleteFtpReply(std::string_view received);

// The data port of a "227" reply (six numbers "h1,h2,h3,h4,p1,p2", the
// address being the control connection's) or a "229" reply ("(|||port|)").
std::optional<std::uint16_t> ParsePassivePort(std::string_view reply);
std::optional<std::uint16_t> ParseExtendedPassivePort(std::string_view reply);

// The folder of a "257" reply to PWD or MKD: the text between the first
// quote and its closing quote, a doubled quote standing for one.
std::optional<std::string> ParseQuotedFolder(std::string_view reply);

}  // namespace platform
