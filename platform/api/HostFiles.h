#pragma once
// What the Windows file calls, the run time's file statements and the
// FileSystemObject share about a file of the emulated machine: its host
// path, whether it is there and what it is, and its attributes. Read-only is
// the owner's write bit; hidden, system and archive are a number in the
// extended attribute user.dosattrib where the file system has extended
// attributes. A file without a stored number is archive, a folder plain.
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"
#include "platform/host/HostFolder.h"

namespace platform::files {

std::optional<std::filesystem::path> Host(const std::string& windowsPath);
bool StatOf(const std::optional<std::filesystem::path>& path, struct stat& st);
// There, as a file, a folder or a link (followed or not).
bool Exists(const std::filesystem::path& path);
bool IsFolder(const std::filesystem::path& path);
// The path up to and with its last separator; empty without one.
std::string FolderOf(const std::string& path);
// The mapped drive of a "X:..." path, or nullptr.
const DriveMapping* DriveOf(const std::vector<DriveMapping>& drives, const std::string& path);

bool XattrUnsupported(int error);
// Keeps hidden, system and archive; a file system without extended
// attributes has nowhere to keep them and that is no failure.
bool StoreDosAttributes(const std::filesystem::path& path, win::DWORD attributes);
bool IsReadOnlyMode(mode_t mode);
bool SetOwnerWritable(const std::filesystem::path& path, const struct stat& st, bool writable);
win::DWORD AttributesOf(const std::filesystem::path& path, const struct stat& st);

}  // namespace platform::files
