#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/host/TextFile.h"
#include "support/TempHost.h"

using platform::TextEncoding;
using testsupport::TempHost;
using testsupport::WriteHostFile;

// The bytes before the first one above 0x7F are taken as they are; from
// there on the text decides between UTF-8 and the ANSI code page, wherever
// that byte falls (the check goes eight bytes at a time).
TEST(TextFile, TheFirstNonAsciiByteDecidesTheEncodingWhereverItFalls) {
    TempHost host;
    const std::filesystem::path file = host.Folder() / "text.txt";
    for (std::size_t at : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 40u}) {
        const std::string ascii(at, 'a');
        struct Case {
            std::string bytes;
            std::string text;
            TextEncoding encoding;
        } cases[] = {
            {ascii, ascii, TextEncoding::Ansi},  // ASCII only: the code page holds it
            {ascii + "\xC3\xA4 und mehr", ascii + "\xC3\xA4 und mehr", TextEncoding::Utf8},
            {ascii + "\xE4 und mehr", ascii + "\xC3\xA4 und mehr", TextEncoding::Ansi},
            {ascii + "\xC3", ascii + "\xC3\x83", TextEncoding::Ansi},
            {ascii + "\xC3\xA4 und \xE4", ascii + "\xC3\x83\xC2\xA4 und \xC3\xA4", TextEncoding::Ansi},
            {"\xEF\xBB\xBF" + ascii + "\xC3\xA4", ascii + "\xC3\xA4", TextEncoding::Utf8WithBom},
        };
        for (const Case& c : cases) {
            WriteHostFile(file, c.bytes);
            TextEncoding encoding = TextEncoding::Utf8WithBom;
            EXPECT_EQ(platform::ReadTextFile(file, &encoding), c.text) << at << " " << c.bytes;
            EXPECT_EQ(encoding, c.encoding) << at << " " << c.bytes;
            EXPECT_EQ(platform::FileTextEncoding(file), c.encoding) << at << " " << c.bytes;
        }
    }
}

// Notepad's "Unicode": UTF-16LE after its mark, characters beyond the first
// plane in surrogate pairs; a lone surrogate or an odd last byte reads as
// U+FFFD. Written back, the text gives the same bytes.
TEST(TextFile, Utf16LeWithItsMarkIsReadAndWrittenBack) {
    TempHost host;
    const std::filesystem::path file = host.Folder() / "unicode.txt";
    const std::string bytes = std::string("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0\xE4\0\x3D\xD8\x00\xDE\xAC\x20", 24);
    WriteHostFile(file, bytes);
    TextEncoding encoding = TextEncoding::Utf8;
    EXPECT_EQ(platform::ReadTextFile(file, &encoding), "[S]\r\nK=\xC3\xA4\xF0\x9F\x98\x80\xE2\x82\xAC");
    EXPECT_EQ(encoding, TextEncoding::Utf16LE);
    EXPECT_EQ(platform::FileTextEncoding(file), TextEncoding::Utf16LE);
    const std::string text = platform::DecodeText(bytes);
    EXPECT_EQ(std::string(platform::ByteOrderMark(encoding)) + platform::EncodeText(text, encoding), bytes);

    EXPECT_EQ(platform::DecodeText(std::string("\xFF\xFE\x3D\xD8x\0", 6)), "\xEF\xBF\xBDx");
    EXPECT_EQ(platform::DecodeText(std::string("\xFF\xFEx\0y", 5)), "x\xEF\xBF\xBD");
}

// The size a file gives is only where reading starts: a file that holds more
// than its size says (as those of /proc do) is read whole, and the limit
// counts the bytes read.
TEST(TextFile, AFileIsReadWholeUpToTheLimitWhateverSizeItGives) {
    const auto status = platform::ReadRegularFile("/proc/self/status");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->rfind("Name:", 0), 0u);
    EXPECT_NE(status->find("\nPid:"), std::string::npos);
    EXPECT_FALSE(platform::ReadRegularFile("/proc/self/status", 16));

    TempHost host;
    const std::filesystem::path file = host.Folder() / "sized.txt";
    const std::string bytes(40000, 'x');
    WriteHostFile(file, bytes);
    EXPECT_EQ(platform::ReadRegularFile(file, bytes.size()), bytes);
    EXPECT_FALSE(platform::ReadRegularFile(file, bytes.size() - 1));
    WriteHostFile(file, "");
    EXPECT_EQ(platform::ReadRegularFile(file), "");
}
