#include "platform/host/DebugLine.h"

#include <unistd.h>

namespace platform {

void WriteDebugLine(const std::string& text) {
    const std::string line = text + "\n";
    size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
}

}  // namespace platform
