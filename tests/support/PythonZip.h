#pragma once
// Archives made by Python's zipfile (the system's /usr/bin/python3), for
// names and layouts our own writer and Info-ZIP's zip do not make.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Members by their stored name (bytes as given, "/" or "\" kept), with their content.
using ZipMembers = std::vector<std::pair<std::string, std::string>>;

// Writes the archive with each member deflated; true when Python succeeded.
bool WritePythonZip(const std::filesystem::path& archive, const ZipMembers& members);
// An archive of count members of one byte each, named 0 to count - 1: more
// than 65535 of them make Python write a zip64 end record.
bool WritePythonZipOfManyMembers(const std::filesystem::path& archive, int count);

}  // namespace testsupport
