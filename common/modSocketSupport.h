#pragma once
// The program-wide string splitter.
#include <string>
#include <vector>

namespace modSocketSupport {

enum class Compare { Binary, Text };

// Splits at every occurrence of the delimiter; limit -1 means no limit.
std::vector<std::string> SplitString(std::vector<std::string>& out, const std::string& text,
                                     const std::string& delimiter, long limit = -1,
                                     Compare comparison = Compare::Binary);

}  // namespace modSocketSupport
