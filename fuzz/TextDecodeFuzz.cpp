// The text decoder on any bytes: a file's bytes in each of its encodings
// (UTF-8 with or without its mark, UTF-16LE after its mark, the ANSI code
// page) and every code page known, single- and double-byte. The text is
// valid UTF-8 (after a UTF-8 mark, the bytes are taken as they are); a file
// decoded without U+FFFD gives its bytes back when written in the encoding
// it was read in; Windows-1252 gives back every byte; a code page's text,
// written and read again, stays that text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/host/Text.h"
#include "platform/host/TextFile.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckFile(const std::string& bytes) {
    platform::TextEncoding encoding = platform::TextEncoding::Utf8;
    const std::string text = platform::DecodeText(bytes, &encoding);
    Require(platform::IsValidUtf8(text) || encoding == platform::TextEncoding::Utf8 ||
            encoding == platform::TextEncoding::Utf8WithBom);
    if (encoding == platform::TextEncoding::Ansi || text.find(kReplacement) == std::string::npos)
        Require(std::string(platform::ByteOrderMark(encoding)) + platform::EncodeText(text, encoding) == bytes);
    Require(platform::EncodingToHold(text, encoding) == encoding || encoding == platform::TextEncoding::Ansi);
}

void CheckCodePage(const std::string& bytes, int page) {
    const std::string text = platform::AnsiToUtf8(bytes, page);
    Require(platform::IsValidUtf8(text));
    const std::string written = platform::Utf8ToAnsi(text, page);
    if (page == 1252) Require(written == bytes);
    if (text.find(kReplacement) == std::string::npos) Require(platform::AnsiToUtf8(written, page) == text);
    // Text from anywhere: what the page lacks becomes "?", and what it holds
    // reads back as the same bytes.
    const std::string ansi = platform::Utf8ToAnsi(bytes, page);
    const std::string fitted = platform::AnsiToUtf8(ansi, page);
    Require(platform::IsValidUtf8(fitted));
    Require(platform::Utf8ToAnsi(fitted, page) == ansi);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckFile(bytes);
    for (const int page : platform::AnsiCodePages()) CheckCodePage(bytes, page);
    return 0;
}
