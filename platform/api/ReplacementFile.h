#pragma once
// A file that a program builds in several steps (a copy to change, lines
// written one by one) and then puts in place whole, on Windows paths: the
// replacement is a temporary of the program's own beside the file, as every
// whole-file replacement of the host makes one (platform/host/WholeFile.h),
// so that one a killed program left is removed by a later replacement.
#include <string>

namespace platform {

// A new empty file beside windowsFile: its Windows path, or "" with the last error set.
std::string NewReplacementFile(const std::string& windowsFile);
// Syncs the replacement and renames it over windowsFile. False with the last
// error set; the replacement is then removed.
bool PutReplacementInPlace(const std::string& windowsReplacement, const std::string& windowsFile);

}  // namespace platform
