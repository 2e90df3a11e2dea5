#pragma once
// Text as Notepad's "Unicode" saves it: UTF-16LE after its byte-order mark.
#include <QString>

#include <string>

namespace testsupport {

inline std::string Utf16LeWithMark(const std::string& utf8) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String()) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

}  // namespace testsupport
