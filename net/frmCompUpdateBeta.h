#pragma once
// The program-update window: it fetches the update index from the fixed
// location, and when the index names a newer version than the running one,
// fetches the program archive, moves the running executables aside to their
// "_old" names, unpacks the archive into a folder of its own and moves it
// into place when the unpack is whole and holds Quarnel.exe (else every
// "_old" file comes back), and starts Quarnel.exe again.
#include <array>
#include <memory>
#include <string>

#include "net/UpdateWindow.h"

class Download;

// An executable the update replaces, and the name it is moved aside to.
struct ReplacedFile {
    std::string current;
    const char* keptBack;
};
using ReplacedFiles = std::array<ReplacedFile, 4>;

// The update index: [Quarnel] CurrentVersion and DownloadURL of
// BrindleUpdates.ini (empty when the file or a key is missing).
struct UpdateIndex {
    std::string CurrentVersion;
    std::string DownloadURL;
};
UpdateIndex ReadUpdateIndex(const std::string& sIndexFile);
// True when the index names a version above the running one; a missing or
// malformed version never is.
bool IndexNamesNewerVersion(const UpdateIndex& index, const std::string& sRunningVersion);

class frmCompUpdateBeta : public UpdateWindow {
public:
    // The fixed location of the update index archive.
    static constexpr const char* kUpdateIndexLocation =
        "https://updates.brindleworks.net/brindle-works/BrindleUpdates.zip";

    // bUpdateSilent: the quiet update of the weekly task.
    explicit frmCompUpdateBeta(bool bUpdateSilent, QWidget* parent = nullptr);
    ~frmCompUpdateBeta() override;

    void DownloadUpdateIndex();
    void InstallUpdate();
    void RestartProgram();

    bool UpdateAvailable() const { return bUpdateAvailable; }
    // The program's own major, minor and revision numbers joined by ".".
    static std::string RunningVersion();

protected:
    void Timer1_Timer() override;

private:
    void MoveRunningFilesAside(const ReplacedFiles& files);
    void PutUpdateInPlace(const ReplacedFiles& files, bool unpacked);
    void RestoreKeptBackFiles(const ReplacedFiles& files);

    std::unique_ptr<Download> mobjDownload;
    bool bUpdateSilent_ = false;
    bool bUpdateAvailable = false;
};
