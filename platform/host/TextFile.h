#pragma once
// Files read as the Windows program reads its text files: only regular files
// (a FIFO, a device, a folder or a link to one reads as unreadable, and
// nothing blocks), a UTF-8 byte-order mark skipped, and a file that is not
// valid UTF-8 read in the ANSI code page (Windows-1252 unless host.ini names
// another). Writing back keeps the file's own encoding.
#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class TextEncoding { Utf8, Utf8WithBom, Ansi };

// The bytes of a regular file, at most limit of them; nothing when the file
// is missing, unreadable, larger than the limit or not a regular file.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& file,
                                           std::size_t limit = std::numeric_limits<std::size_t>::max());

// A file's bytes as UTF-8 text, and the encoding they were in.
std::string DecodeText(std::string_view bytes, TextEncoding* encoding = nullptr);
// UTF-8 text in the given encoding (a mark in front for Utf8WithBom).
std::string EncodeText(std::string_view utf8, TextEncoding encoding);
// The encoding a file kept in `current` must take to hold the text: an ANSI
// file that must hold a character its code page lacks becomes UTF-8 as a
// whole, so that nothing is written as "?" and no file is mixed.
TextEncoding EncodingToHold(std::string_view utf8, TextEncoding current);

// ReadRegularFile, then DecodeText.
std::optional<std::string> ReadTextFile(const std::filesystem::path& file, TextEncoding* encoding = nullptr);

// The encoding of an existing file's text; Utf8 for a missing or empty one.
// Only the first and last 64 KB are looked at.
TextEncoding FileTextEncoding(const std::filesystem::path& file);

}  // namespace platform
