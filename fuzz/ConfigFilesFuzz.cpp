// The texts the configuration window reads from the settings file and the
// list files, and the names and texts it writes into them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/modSocketSupport.h"
#include "config/ConfigFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::optional<int> value = ConfigFiles::CheckBoxValue(input);
    if (value && (*value < 0 || *value > 2)) std::abort();
    const std::string line = ConfigFiles::OneLine(input);
    if (line.find_first_of("\r\n") != std::string::npos || line.size() > input.size()) std::abort();
    if (ConfigFiles::IsValidRuleName(input) && input.find_first_of("\\/:*?\"<>|\r\n") != std::string::npos)
        std::abort();
    std::vector<std::string> fields;
    modSocketSupport::SplitString(fields, line, "|");
    return 0;
}
