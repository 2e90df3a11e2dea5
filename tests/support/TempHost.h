#pragma once
// A fresh host folder for one test: QUARNEL_HOST points at a new temporary
// folder ("quarnel-test-<pid>-XXXXXX") while the object lives. Afterwards the
// programs still running on the host are ended and the folder is removed;
// the folders of tests that ended without removing theirs (killed, crashed)
// go when the next host is made.
#include <filesystem>
#include <string>

namespace testsupport {

class TempHost {
public:
    TempHost();
    ~TempHost();
    TempHost(const TempHost&) = delete;
    TempHost& operator=(const TempHost&) = delete;

    const std::filesystem::path& Folder() const { return folder_; }
    std::filesystem::path DriveC() const { return folder_ / "drive_c"; }
    // Appends a line to host.ini, e.g. WriteHostIni("Machine", "Is64Bit", "0").
    void WriteHostIni(const std::string& section, const std::string& key, const std::string& value);
    // Host path of a Windows path of drive C (no case folding).
    std::filesystem::path HostOf(const std::string& windowsPathOnC) const;

private:
    std::filesystem::path folder_;
    int lock_ = -1;  // the lock file beside the folder, held while its test runs
    std::string previous_;
    bool hadPrevious_ = false;
};

inline constexpr const char* kProgramFolder = "C:\\Program Files\\Quarnel\\";

// A fresh host whose running program is "C:\Program Files\Quarnel\Quarnel.exe":
// the program folder exists and CommonModule::AppPath names it.
class ProgramHost : public TempHost {
public:
    ProgramHost();
    ~ProgramHost();
};

// Writes a whole file (bytes as given) on the host, creating its folders.
void WriteHostFile(const std::filesystem::path& file, const std::string& bytes);
// Rewrites a file in place and puts its modification time back, as a copy
// that keeps times would: only its change time tells.
void RewriteKeepingTheTime(const std::filesystem::path& file, const std::string& bytes);
std::string ReadHostFile(const std::filesystem::path& file);

}  // namespace testsupport
