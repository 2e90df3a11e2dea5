#include "modSocketSupport.h"

#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace modSocketSupport {

namespace {
size_t FindFrom(const std::string& text, const std::string& delimiter, size_t from, Compare comparison) {
    if (comparison == Compare::Binary) return text.find(delimiter, from);
    return platform::TextUpper(text).find(platform::TextUpper(delimiter), from);
}
}  // namespace

std::vector<std::string> SplitString(std::vector<std::string>& out, const std::string& text, const std::string& delimiter,
                                     long limit, Compare comparison) {
    out.clear();
    if (text.empty()) return out;
    if (delimiter.empty()) {
        out.push_back(text);
        return out;
    }
    size_t position = 0;
    for (;;) {
        if (limit > 0 && static_cast<long>(out.size()) + 1 == limit) {
            out.push_back(text.substr(position));
            break;
        }
        const size_t found = FindFrom(text, delimiter, position, comparison);
        if (found == std::string::npos) {
            out.push_back(text.substr(position));
            break;
        }
        out.push_back(text.substr(position, found - position));
        position = found + delimiter.size();
    }
    return out;
}

}  // namespace modSocketSupport
