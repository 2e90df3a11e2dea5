// The Windows command-line split: any text splits without a fault, the
// program-part readings end, and quoting a split list gives it back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/api/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto arguments = platform::SplitCommandLineArguments(text);
    platform::ProgramPartReadings(text);
    platform::TrimCommandLineBlanks(text);
    if (platform::SplitCommandLineArguments(platform::JoinCommandLineArguments(arguments)) != arguments) {
        std::abort();
    }
    return 0;
}
