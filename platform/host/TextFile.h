#pragma once
// Files read as the Windows program reads its text files: only regular files
// (a FIFO, a device, a folder or a link to one reads as unreadable, and
// nothing blocks), a UTF-8 byte-order mark skipped, UTF-16LE after its mark
// (Notepad's "Unicode"), and a file that is not valid UTF-8 read in the ANSI
// code page (Windows-1252 unless host.ini names another). Writing keeps a
// file's own encoding; text in the code page (a new file, one of ASCII only)
// stays in it while the page holds every character.
#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class TextEncoding { Utf8, Utf8WithBom, Ansi, Utf16LE };

// What a new file is written in.
inline constexpr TextEncoding kNewFileEncoding = TextEncoding::Ansi;

// The bytes of a regular file, at most limit of them; nothing when the file
// is missing, unreadable, larger than the limit or not a regular file.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& file,
                                           std::size_t limit = std::numeric_limits<std::size_t>::max());

// A file's bytes as UTF-8 text, and the encoding they were in: Ansi for text
// of ASCII only, which the code page holds as well as UTF-8 does.
std::string DecodeText(std::string_view bytes, TextEncoding* encoding = nullptr);
// The mark a file of that encoding starts with ("" for none).
std::string_view ByteOrderMark(TextEncoding encoding);
// UTF-8 text in the given encoding, without the mark.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);
// The encoding a file kept in `current` must take to hold the text: an ANSI
// file that must hold a character its code page lacks becomes UTF-8 as a
// whole, so that nothing is written as "?" and no file is mixed.
TextEncoding EncodingToHold(std::string_view utf8, TextEncoding current);

// ReadRegularFile, then DecodeText; a file that cannot be read leaves the
// encoding that of a new file.
std::optional<std::string> ReadTextFile(const std::filesystem::path& file, TextEncoding* encoding = nullptr);

// The encoding of an existing file's text; that of a new file for a missing
// or empty one. Only the first and last 64 KB are looked at.
TextEncoding FileTextEncoding(const std::filesystem::path& file);

}  // namespace platform
