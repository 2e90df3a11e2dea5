#include "support/PythonZip.h"

#include <cstdio>

#include "support/ShellCommand.h"
#include "support/TempHost.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

std::string Hex(const std::string& bytes) {
    std::string text;
    char digits[3];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        text += digits;
    }
    return text;
}

bool RunPython(const fs::path& archive, const std::string& body) {
    const fs::path script = fs::path(archive).concat(".py");
    WriteHostFile(script, "import sys, zipfile\n"
                          "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n" +
                              body);
    const bool written =
        ShellCommand("/usr/bin/python3 '" + script.string() + "' '" + archive.string() + "'") == 0;
    fs::remove(script);
    return written;
}

}  // namespace

bool WritePythonZip(const fs::path& archive, const ZipMembers& members) {
    std::string body = "    pass\n";
    // Each byte of a name is one Latin-1 character: an ASCII name is stored as it is.
    for (const auto& [name, content] : members)
        body += "    z.writestr(zipfile.ZipInfo(bytes.fromhex('" + Hex(name) + "').decode('latin-1')), bytes.fromhex('" +
                Hex(content) + "'), zipfile.ZIP_DEFLATED)\n";
    return RunPython(archive, body);
}

bool WritePythonZipOfManyMembers(const fs::path& archive, int count) {
    return RunPython(archive, "    for n in range(" + std::to_string(count) + "):\n        z.writestr(str(n), b'x')\n");
}

}  // namespace testsupport
