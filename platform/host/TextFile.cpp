#include "platform/host/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/host/Text.h"

namespace platform {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr char32_t kUndefined = 0xFFFD;
constexpr std::size_t kSample = 64 * 1024;

// Opened without waiting for a writer or a device; only a regular file stays open.
int OpenRegular(const std::filesystem::path& file, struct stat& info) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadAt(int fd, std::string& out, std::size_t count, off_t offset) {
    std::size_t done = 0;
    out.resize(count);
    while (done < count) {
        const ssize_t n = ::pread(fd, out.data() + done, count - done, offset + static_cast<off_t>(done));
        if (n < 0) return false;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return true;
}

bool StartsWith(std::string_view bytes, std::string_view mark) { return bytes.substr(0, mark.size()) == mark; }

// The encoding that the first bytes of a file name by their mark.
std::optional<TextEncoding> MarkedEncoding(std::string_view bytes) {
    if (StartsWith(bytes, kUtf8Mark)) return TextEncoding::Utf8WithBom;
    if (StartsWith(bytes, kUtf16LeMark)) return TextEncoding::Utf16LE;
    return std::nullopt;
}

// UTF-16LE as UTF-8; a lone surrogate or an odd last byte is read as U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](std::size_t at) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t first = unit(i);
        if (first >= 0xD800 && first < 0xDC00 && i + 3 < bytes.size()) {
            const char16_t second = unit(i + 2);
            if (second >= 0xDC00 && second < 0xE000) {
                AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(first) - 0xD800) << 10) + (second - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, first >= 0xD800 && first < 0xE000 ? kUndefined : first);
    }
    if (i < bytes.size()) AppendUtf8(out, kUndefined);
    return out;
}

void AppendUtf16Le(std::string& out, char32_t c) {
    const auto put = [&](char32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    };
    if (c < 0x10000) {
        put(c);
    } else {
        put(0xD800 + ((c - 0x10000) >> 10));
        put(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

// UTF-8 as UTF-16LE; a byte that is not UTF-8 is written as U+FFFD.
std::string Utf8ToUtf16Le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    for (std::size_t i = 0; i < utf8.size();) AppendUtf16Le(out, NextUtf8Char(utf8, i));
    return out;
}

// The bytes of a file as UTF-8 text, taken over when they are UTF-8 already.
std::string Decoded(std::string bytes, TextEncoding* encoding) {
    TextEncoding found = TextEncoding::Utf8;
    if (const auto marked = MarkedEncoding(bytes)) {
        found = *marked;
        bytes.erase(0, ByteOrderMark(found).size());
        if (found == TextEncoding::Utf16LE) bytes = Utf16LeToUtf8(bytes);
    } else if (IsAsciiText(bytes)) {
        found = TextEncoding::Ansi;
    } else if (!IsValidUtf8(bytes)) {
        found = TextEncoding::Ansi;
        bytes = AnsiToUtf8(bytes);
    }
    if (encoding) *encoding = found;
    return bytes;
}

// A sample cut at an arbitrary byte may end or start inside a character.
bool SampleIsUtf8(std::string_view sample, bool cutAtStart, bool cutAtEnd) {
    std::size_t first = 0, last = sample.size();
    if (cutAtStart)
        while (first < sample.size() && first < 3 && (static_cast<unsigned char>(sample[first]) & 0xC0) == 0x80) ++first;
    if (cutAtEnd) {
        std::size_t lead = last;
        while (lead > first && last - lead < 4 && (static_cast<unsigned char>(sample[lead - 1]) & 0xC0) == 0x80) --lead;
        if (lead > first && static_cast<unsigned char>(sample[lead - 1]) >= 0xC0) last = lead - 1;
    }
    return IsValidUtf8(sample.substr(first, last - first));
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::filesystem::path& file, std::size_t limit) {
    struct stat info {};
    const int fd = OpenRegular(file, info);
    if (fd < 0) return std::nullopt;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    std::string bytes;
    bool ok = size <= limit;
    if (ok) {
        // The size is a hint: the file may grow or shrink while it is read.
        // With room for one byte more, a read that stops short once the size
        // is reached has found the end; a file that gives no size (as those
        // of /proc) is read until a read finds nothing.
        bytes.resize(static_cast<std::size_t>(size) + 1);
        std::size_t done = 0;
        for (;;) {
            if (done == bytes.size()) bytes.resize(bytes.size() * 2);
            const std::size_t room = bytes.size() - done;
            const ssize_t n = ::read(fd, bytes.data() + done, room);
            if (n == 0) break;
            if (n < 0 || done + static_cast<std::size_t>(n) > limit) {
                ok = false;
                break;
            }
            done += static_cast<std::size_t>(n);
            if (size > 0 && done >= size && static_cast<std::size_t>(n) < room) break;
        }
        bytes.resize(done);
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return bytes;
}

std::string DecodeText(std::string_view bytes, TextEncoding* encoding) { return Decoded(std::string(bytes), encoding); }

std::string_view ByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8WithBom: return kUtf8Mark;
        case TextEncoding::Utf16LE: return kUtf16LeMark;
        case TextEncoding::Utf8:
        case TextEncoding::Ansi: break;
    }
    return {};
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Ansi: return Utf8ToAnsi(utf8);
        case TextEncoding::Utf16LE: return Utf8ToUtf16Le(utf8);
        case TextEncoding::Utf8WithBom:
        case TextEncoding::Utf8: break;
    }
    return std::string(utf8);
}

TextEncoding EncodingToHold(std::string_view utf8, TextEncoding current) {
    if (current != TextEncoding::Ansi || !IsValidUtf8(utf8)) return current;
    return FitToAnsiCodePage(utf8) == utf8 ? current : TextEncoding::Utf8;
}

std::optional<std::string> ReadTextFile(const std::filesystem::path& file, TextEncoding* encoding) {
    auto bytes = ReadRegularFile(file);
    if (!bytes) {
        if (encoding) *encoding = kNewFileEncoding;
        return std::nullopt;
    }
    return Decoded(std::move(*bytes), encoding);
}

TextEncoding FileTextEncoding(const std::filesystem::path& file) {
    struct stat info {};
    const int fd = OpenRegular(file, info);
    if (fd < 0) return kNewFileEncoding;
    const auto size = static_cast<std::size_t>(info.st_size);
    std::string head, tail;
    bool ok = ReadAt(fd, head, std::min(size, kSample), 0);
    if (ok && size > kSample) ok = ReadAt(fd, tail, std::min(size - kSample, kSample), static_cast<off_t>(size - std::min(size - kSample, kSample)));
    ::close(fd);
    if (!ok) return kNewFileEncoding;
    if (const auto marked = MarkedEncoding(head)) return *marked;
    if (IsAsciiText(head) && IsAsciiText(tail) && size <= 2 * kSample) return TextEncoding::Ansi;
    const bool utf8 = SampleIsUtf8(head, false, size > kSample) && (tail.empty() || SampleIsUtf8(tail, true, false));
    return utf8 ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

}  // namespace platform
