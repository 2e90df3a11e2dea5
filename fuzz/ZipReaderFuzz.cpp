// Archives unpacked by ZipExtractionClass: whole archives as they come, and
// (first byte odd) a region of local entries and a central directory that
// the target closes with a matching end record, so that mutations reach the
// entries instead of dying at the end record. Whatever the input, nothing
// may be written outside the destination folder, and nothing under a name
// Windows cannot hold. The check of an unpack against the archive runs on
// what the reader left.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "net/ZipExtractionClass.h"
#include "net/ZipFile.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/HostFolder.h"

namespace {

namespace fs = std::filesystem;

fs::path Work() { return platform::HostFolder() / "drive_c" / "fuzz"; }
fs::path Output() { return Work() / "out"; }

bool IsUnder(const fs::path& path, const fs::path& folder) {
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

// Every path of the host folder outside the destination.
std::set<fs::path> OutsideOutput() {
    std::set<fs::path> paths;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(platform::HostFolder(), ec), end; it != end; it.increment(ec)) {
        if (ec) break;
        if (!IsUnder(it->path(), Output()) && it->path() != Output()) paths.insert(it->path());
    }
    return paths;
}

std::uint16_t U16At(const std::uint8_t* data) { return static_cast<std::uint16_t>(data[0] | (data[1] << 8)); }

std::string Archive(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return {};
    if ((data[0] & 1) == 0 || size < 4) return std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string body(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::size_t split = body.empty() ? 0 : U16At(data + 1) % (body.size() + 1);
    zipformat::EndRecord end;
    std::uint16_t entries = 0;
    for (std::size_t at = body.find("PK\x01\x02", split); at != std::string::npos; at = body.find("PK\x01\x02", at + 1))
        ++entries;
    end.EntriesOnDisk = end.EntriesTotal = entries;
    end.CentralDirectoryOffset = static_cast<std::int32_t>(split);
    end.CentralDirectorySize = static_cast<std::int32_t>(body.size() - split);
    return body + zipformat::Serialize(end);
}

// Every path under the destination, as a Windows name relative to it.
bool OutputNamesAreHeldByWindows() {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(Output(), ec), end; it != end; it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().lexically_relative(Output()).string();
        std::replace(name.begin(), name.end(), '/', '\\');
        if (!IsSafeEntryName(name)) return false;
    }
    return true;
}

std::set<fs::path> expectedOutside;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fs::create_directories(Output());
    std::ofstream(Work() / "in.zip", std::ios::binary);
    expectedOutside = OutsideOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string archive = Archive(data, size);
    std::ofstream(Work() / "in.zip", std::ios::binary | std::ios::trunc) << archive;
    for (const bool keepFolders : {true, false}) {
        ZipExtractionClass reader;
        try {
            if (reader.OpenZip("C:\\fuzz\\in.zip") && reader.Extract("C:\\fuzz\\out", keepFolders, true) && keepFolders)
                reader.CheckUnpacked("C:\\fuzz\\out");
        } catch (const RuntimeError&) {
            // Structural damage reaches the caller as an error: a clean result.
        }
    }
    if (OutsideOutput() != expectedOutside || !OutputNamesAreHeldByWindows()) std::abort();
    std::error_code ec;
    fs::remove_all(Output(), ec);
    fs::create_directories(Output(), ec);
    return 0;
}
