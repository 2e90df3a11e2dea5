#include "platform/api/DebugOutput.h"

#include <unistd.h>

namespace win {

void OutputDebugStringA(const std::string& text) {
    // One write per line, so lines of several processes sharing the stream stay whole.
    const std::string line = text + "\n";
    size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
}

}  // namespace win
