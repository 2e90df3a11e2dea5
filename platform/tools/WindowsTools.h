#pragma once
// The Windows command-line tools this host carries out itself. They are
// installed in the system folder as links to wintool ("cmd.exe"), which runs
// the tool it was started as, so waiting and exit codes work as for any
// program; inside wintool (and inside cmd, which runs the tools of its
// command lines in its own process) the tool runs from this table.
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// One tool: its name without ".exe" in lower case, and its body, which gets
// the exact argument text and returns the exit code.
struct WindowsTool {
    const char* name;
    int (*run)(const std::string& argumentText);
};

// The tool a program name or path names ("cmd", "CMD.EXE",
// "C:\Windows\System32\ping.exe"), or nullptr.
const WindowsTool* FindWindowsTool(const std::string& program);

// The argument text a tool gets for arguments a host shell passed one by one,
// as the same words typed after the tool's name in cmd would give it. Each
// is quoted as needed, except, for cmd, which reads no backslash escapes in
// its command line, an argument that holds a double quote: that is already
// command-line text ('cmd /c "a b"' and 'cmd /c echo "a b"' typed in bash).
std::string ToolArgumentText(const std::string& toolName, const std::vector<std::string>& arguments);

// Runs a tool in this process; 1 with a message for a name the table lacks.
int RunWindowsTool(const std::string& toolName, const std::string& argumentText);

// The host program that carries out the tools: wintool beside the running
// executable; empty when there is none.
std::filesystem::path WindowsToolProgram();

}  // namespace platform
