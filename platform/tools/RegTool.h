#pragma once
// reg.exe: the Windows registry console tool over the registry store, with
// Windows' syntax and output (query, add, delete). As the 64-bit tool of a
// 64-bit Windows it works in the 64-bit view unless /reg:32 is given.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Runs one reg.exe command line (the arguments after the program name) and
// returns its exit code: 0 done, 1 failed. Questions ("overwrite?") are read
// from `in`; an answer other than yes cancels.
// A REG_DWORD (size 4) or REG_QWORD (size 8) number typed in decimal or
// 0x hexadecimal; nothing for other text or a number that does not fit.
std::optional<std::uint64_t> RegNumber(const std::string& text, int size);

int RunRegTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
               std::istream& in);

// reg.exe's main(), on the standard streams.
int RegToolMain(int argc, char** argv);

}  // namespace platform
