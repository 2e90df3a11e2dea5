#pragma once
// The Windows environment of the emulated machine. The Windows variables
// (SystemRoot, windir, SYSTEMDRIVE, COMPUTERNAME, USERNAME, USERPROFILE,
// ALLUSERSPROFILE, PUBLIC, ProgramFiles, CommonProgramFiles, TEMP, TMP, OS,
// ProgramFiles(x86) on a 64-bit host, ...) are derived from host.ini and the
// host; a variable set in the real environment wins, a host-form path value
// (TMP=/tmp) being turned into its Windows form. Names are case-insensitive.
#include <string>

namespace vb {
// The value, or the empty text when the variable is not set.
std::string Environ(const std::string& name);
}  // namespace vb

namespace win {
// Windows result: the length copied, 0 when the variable does not exist.
unsigned GetEnvironmentVariableA(const std::string& name, std::string& value);
}  // namespace win
