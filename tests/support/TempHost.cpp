#include "TempHost.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/api/ProfileIni.h"
#include "platform/api/Program.h"

namespace testsupport {

namespace fs = std::filesystem;

TempHost::TempHost() {
    std::string pattern = (fs::temp_directory_path() / "quarnel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    if (const char* old = std::getenv("QUARNEL_HOST")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("QUARNEL_HOST", folder_.c_str(), 1);
    // A test's machine never installs tasks into the real user's crontab or autostart folder.
    WriteHostIni("Scheduler", "Crontab", "0");
    WriteHostIni("Scheduler", "Autostart", "0");
}

TempHost::~TempHost() {
    if (hadPrevious_)
        setenv("QUARNEL_HOST", previous_.c_str(), 1);
    else
        unsetenv("QUARNEL_HOST");
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder_, ec);
}

void TempHost::WriteHostIni(const std::string& section, const std::string& key, const std::string& value) {
    platform::WriteIniValue(folder_ / "host.ini", section, key, value);
}

fs::path TempHost::HostOf(const std::string& windowsPathOnC) const {
    std::string rest = windowsPathOnC.size() > 2 ? windowsPathOnC.substr(2) : "";
    for (char& c : rest)
        if (c == '\\') c = '/';
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    return DriveC() / rest;
}

ProgramHost::ProgramHost() {
    platform::SetProgramPathForTests(std::string(kProgramFolder) + "Quarnel.exe");
    fs::create_directories(HostOf(kProgramFolder));
}

ProgramHost::~ProgramHost() { platform::SetProgramPathForTests(""); }

void WriteHostFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadHostFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testsupport
