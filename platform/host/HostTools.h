#pragma once
// The Windows tools this host carries, installed as programs where Windows
// has them: each name in the system folder (cmd.exe, ping.exe, reg.exe, ...)
// is a symbolic link to the tool executable beside the running program
// (wintool for the tools that cmd also runs in its own process). A program
// then finds and starts them as any other program.
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

struct HostTool {
    const char* windowsName;   // the name in the system folder ("cmd.exe")
    const char* executable;    // the executable beside the program ("wintool")
};

const std::vector<HostTool>& HostTools();

// Whether a name in the system folder is one of the tools ("cmd.exe").
bool IsHostToolName(const std::string& fileName);

// Points each tool's link in the system folder at the tool's executable in
// toolFolder. A link that points elsewhere, or a file in its place, is
// replaced in one step (a new link under a temporary name of this process,
// renamed over it), so that several processes may do this at once and a
// program never finds the name missing. A tool that toolFolder lacks while it
// carries others is taken away, as from a broken installation, so that no
// program runs another installation's tool; a folder without any tool (a
// program that is not ours) changes nothing.
void InstallHostTools(const std::filesystem::path& systemFolder, const std::filesystem::path& toolFolder);

// Whether the folder holds one of the tool executables at least.
bool CarriesTools(const std::filesystem::path& toolFolder);

// The same, for the tools beside the running executable.
void InstallHostTools(const std::filesystem::path& systemFolder);

// The folder of the running executable; empty when it cannot be told.
std::filesystem::path OwnExecutableFolder();

}  // namespace platform
