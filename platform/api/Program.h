#pragma once
// Identity of the running program (the App object of the Windows program)
// and its raw command line.
#include <filesystem>
#include <string>

namespace platform {
// Called first in every main(): records the arguments and the raw command line.
void InitProgram(int argc, char** argv);
// Tests may place the running program elsewhere (a Windows path of the .exe).
void SetProgramPathForTests(const std::string& windowsExePath);

// Environment variable through which our starter hands the exact command-line
// text (after the program part) to a child of this system.
inline constexpr const char* kRawCommandLineVariable = "QUARNEL_CMDLINE";

// Ends the process at once with the exit code, as the Windows program's End
// does: no further code of the caller runs; pending output is flushed.
[[noreturn]] void EndProcess(int exitCode);
}  // namespace platform

namespace vb {
namespace App {
std::string Path();      // Windows folder of the program, no trailing "\" (except a root)
std::string EXEName();   // file name without ".exe"
int Major();
int Minor();
int Revision();
std::string Title();     // "Quarnel"
}  // namespace App

// The command line after the program part, blanks right after it dropped.
std::string Command();
}  // namespace vb
