// The update index reader and the version test of the program update: any
// index file reads without a fault, and the test is a strict order (no
// version is newer than itself, of two versions at most one is the newer).
// The input is "<running version>\0<index file bytes>".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "net/frmCompUpdateBeta.h"

namespace {

std::filesystem::path ScratchFile() {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("quarnel-index-fuzz-" + std::to_string(::getpid()) + ".ini");
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    if (split == std::string::npos) return 0;
    const std::string running = input.substr(0, split);
    const std::filesystem::path file = ScratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << input.substr(split + 1);
    }
    const UpdateIndex index = ReadUpdateIndex("Z:" + file.string());
    const bool newer = IndexNamesNewerVersion(index, running);
    const bool older = IndexNamesNewerVersion({running, ""}, index.CurrentVersion);
    if (newer && older) std::abort();
    if (IndexNamesNewerVersion(index, index.CurrentVersion)) std::abort();
    std::filesystem::remove(file);
    return 0;
}
