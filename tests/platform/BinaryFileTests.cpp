// Binary files as the run time opens them: a file that goes out of use
// without Close gives its descriptor back (a reader of many archives must not
// run out of them), and an unclosed replacement leaves the file as it was.
#include <dirent.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/api/BinaryFile.h"
#include "support/TempHost.h"

namespace {

using testsupport::ReadHostFile;
using testsupport::TempHost;
using testsupport::WriteHostFile;

int OpenDescriptors() {
    int count = 0;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        while (::readdir(folder)) ++count;
        ::closedir(folder);
    }
    return count;
}

std::size_t EntriesOf(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

TEST(BinaryFile, AFileLeftWithoutCloseGivesItsDescriptorBack) {
    TempHost host;
    WriteHostFile(host.HostOf("C:\\data\\old.bin"), "old");
    const struct {
        const char* name;
        vb::BinaryFile::Mode mode;
        const char* file;
    } cases[] = {
        {"read", vb::BinaryFile::Mode::Read, "C:\\data\\old.bin"},
        {"write", vb::BinaryFile::Mode::Write, "C:\\data\\written.bin"},
        {"create new", vb::BinaryFile::Mode::CreateNew, "C:\\data\\new.bin"},
        {"replace", vb::BinaryFile::Mode::Replace, "C:\\data\\old.bin"},
    };
    for (const auto& c : cases) {
        const auto useAndDrop = [&] {
            if (c.mode == vb::BinaryFile::Mode::CreateNew) std::filesystem::remove(host.HostOf("C:\\data\\new.bin"));
            vb::BinaryFile file(c.file, c.mode);
            if (c.mode != vb::BinaryFile::Mode::Read) file.Write("new", 3);
        };
        useAndDrop();  // the host layer's own descriptors are opened once, at the first use
        const int before = OpenDescriptors();
        for (int round = 0; round < 3; ++round) useAndDrop();
        EXPECT_EQ(OpenDescriptors(), before) << c.name;
    }
    // The replacement never closed is gone and the file is as it was.
    EXPECT_EQ(ReadHostFile(host.HostOf("C:\\data\\old.bin")), "old");
    EXPECT_EQ(EntriesOf(host.HostOf("C:\\data")), 3u);
}

}  // namespace
