#include "platform/api/Strings.h"

#include "platform/host/Text.h"

namespace vb {

std::string LCase(std::string_view text) { return platform::TextLower(text); }

std::string UCase(std::string_view text) { return platform::TextUpper(text); }

std::string Trim(std::string_view text) { return platform::TextTrimSpaces(text); }

int StrComp(std::string_view a, std::string_view b, CompareMethod compare) {
    if (compare == vbTextCompare) {
        if (platform::TextCompareEqual(a, b)) return 0;
        return platform::TextCompareLess(a, b) ? -1 : 1;
    }
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::optional<double> CDblOf(std::string_view text) { return platform::TextToNumber(text); }

std::string StrConv(std::string_view text, Conversion conversion) {
    return conversion == vbUnicode ? platform::AnsiToUtf8(text) : platform::Utf8ToAnsi(text);
}

}  // namespace vb

namespace platform {

std::string CaseFoldKey(std::string_view text) { return TextFoldCase(text); }

std::string FitToAnsi(std::string_view text) { return FitToAnsiCodePage(text); }

}  // namespace platform
