// eventcreate.exe: writes one event-log record from a shell, with the
// syntax of the Windows tool.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/api/Program.h"
#include "platform/host/SqliteStatement.h"
#include "platform/tools/EventCreateTool.h"

namespace {

// stdio rather than the C++ streams, whose start-up is a good part of this
// short process's own time.
void Write(const std::string& text, std::FILE* stream) { std::fwrite(text.data(), 1, text.size(), stream); }

}  // namespace

int main(int argc, char** argv) {
    platform::UseSqliteForShortProcess();
    platform::InitProgram(argc, argv);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const platform::ToolResult result = platform::RunEventCreate(arguments);
    Write(result.output, stdout);
    Write(result.error, stderr);
    return result.exitCode;
}
