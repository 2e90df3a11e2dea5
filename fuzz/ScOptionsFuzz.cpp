// sc.exe's "option= value" words after the command and the service name:
// any words are read without a fault, and a change that comes back holds
// only values the service manager knows.
// The input is the words, one per line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/tools/ScTool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments = {"config", "Fuzzed"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c != '\n') {
            word += c;
            continue;
        }
        arguments.push_back(word);
        word.clear();
    }
    if (!word.empty()) arguments.push_back(word);

    const auto change = platform::ScOptionsChange(arguments);
    if (!change) return 0;
    if (change->startType && *change->startType > win::SERVICE_DISABLED) std::abort();
    if (change->errorControl && *change->errorControl > win::SERVICE_ERROR_CRITICAL) std::abort();
    if (change->type && *change->type != win::SERVICE_WIN32_OWN_PROCESS &&
        *change->type != win::SERVICE_WIN32_SHARE_PROCESS)
        std::abort();
    return 0;
}
