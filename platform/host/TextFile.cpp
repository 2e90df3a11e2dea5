#include "platform/host/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/host/Text.h"

namespace platform {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
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

bool StartsWithMark(std::string_view bytes) { return bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark; }

// The bytes of a file as UTF-8 text, taken over when they are UTF-8 already.
std::string Decoded(std::string bytes, TextEncoding* encoding) {
    TextEncoding found = TextEncoding::Utf8;
    if (StartsWithMark(bytes)) {
        found = TextEncoding::Utf8WithBom;
        bytes.erase(0, kUtf8Mark.size());
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

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Ansi: return Utf8ToAnsi(utf8);
        case TextEncoding::Utf8WithBom: return std::string(kUtf8Mark) + std::string(utf8);
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
    if (!bytes) return std::nullopt;
    return Decoded(std::move(*bytes), encoding);
}

TextEncoding FileTextEncoding(const std::filesystem::path& file) {
    struct stat info {};
    const int fd = OpenRegular(file, info);
    if (fd < 0) return TextEncoding::Utf8;
    const auto size = static_cast<std::size_t>(info.st_size);
    std::string head, tail;
    bool ok = ReadAt(fd, head, std::min(size, kSample), 0);
    if (ok && size > kSample) ok = ReadAt(fd, tail, std::min(size - kSample, kSample), static_cast<off_t>(size - std::min(size - kSample, kSample)));
    ::close(fd);
    if (!ok) return TextEncoding::Utf8;
    if (StartsWithMark(head)) return TextEncoding::Utf8WithBom;
    const bool utf8 = SampleIsUtf8(head, false, size > kSample) && (tail.empty() || SampleIsUtf8(tail, true, false));
    return utf8 ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

}  // namespace platform
