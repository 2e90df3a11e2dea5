#include "net/frmCompUpdateBeta.h"

#include <array>
#include <cstdint>
#include <vector>

#include "common/CommonModule.h"
#include "common/ErrorTrap.h"
#include "net/Download.h"
#include "net/modZip.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileSystemObject.h"
#include "platform/api/Program.h"

using ErrorTrap::SkipErrors;

namespace {

constexpr const char* kIndexArchive = "BrindleUpdates.zip";
constexpr const char* kIndexFile = "BrindleUpdates.ini";
constexpr const char* kProgramArchive = "QuarnelEXE.zip";
// The program archive is unpacked here first; only a whole unpack that
// holds Quarnel.exe is moved into the program folder.
constexpr const char* kUnpackFolder = "QuarnelEXE_new";
constexpr std::int32_t kNormalFocus = 1;
constexpr std::int32_t kMinimizedNoFocus = 6;

std::string InProgramFolder(const char* name) { return CommonModule::AppPath() + name; }

// Taken before the moves: the running program's own path names its new name after them.
ReplacedFiles FilesToReplace() {
    return {{{CommonModule::AppExePath(), "Quarnel_old.exe"},
             {InProgramFolder("Quarnel_Stop.exe"), "Quarnel_Stop_old.exe"},
             {InProgramFolder("QuarnelService.exe"), "QuarnelService_old.exe"},
             {InProgramFolder("QuarnelControl.exe"), "QuarnelControl_old.exe"}}};
}

void DeleteIfPresent(const std::string& file) {
    SkipErrors([&] {
        if (CommonModule::DoesFileExist(file)) win::DeleteFileA(file);
    });
}

// True when the download left its file; the outcome is logged either way.
bool Downloaded(const char* name) {
    if (!CommonModule::DoesFileExist(InProgramFolder(name))) {
        CommonModule::DPrint(std::string("DOWNLOAD FAILED:  ") + name);
        return false;
    }
    CommonModule::DPrint(std::string("DOWNLOAD SUCCEEDED:  ") + name);
    return true;
}

void RemoveUnpackFolder() {
    const std::string folder = InProgramFolder(kUnpackFolder);
    SkipErrors([&] {
        if (CommonModule::DoesDirExist(folder)) fso::DeleteFolder(folder, true);
    });
}

// A folder left by an interrupted update is not taken for this one's unpack.
bool UnpackProgramArchive() {
    RemoveUnpackFolder();
    const std::string folder = InProgramFolder(kUnpackFolder) + "\\";
    CommonModule::CreatePath(folder);
    return modZip::UnzipFile(InProgramFolder(kProgramArchive), folder, false);
}

// Each unpacked file replaces its namesake in the program folder, in the
// archive's folders; false when one of them could not be moved.
bool MoveUnpackedFilesIntoPlace() {
    const std::string unpacked = InProgramFolder(kUnpackFolder) + "\\";
    std::vector<std::string> files;
    CommonModule::FindFiles(unpacked, "*.*", files, true);
    bool allMoved = !files.empty();
    for (const std::string& file : files) {
        const std::string relative = file.substr(unpacked.size());
        const std::size_t slash = relative.find_last_of('\\');
        if (slash != std::string::npos) CommonModule::CreatePath(CommonModule::AppPath() + relative.substr(0, slash + 1));
        if (!win::MoveFileExA(file, CommonModule::AppPath() + relative, win::MOVEFILE_REPLACE_EXISTING)) allMoved = false;
    }
    return allMoved;
}

void StartProgram(const std::string& arguments, std::int32_t windowStyle, bool wait, const char* name) {
    SkipErrors([&] {
        std::int32_t exitCode = 0;
        CommonModule::ShellX(InProgramFolder(name), arguments, wait, windowStyle, exitCode);
    });
}

}  // namespace

UpdateIndex ReadUpdateIndex(const std::string& sIndexFile) {
    return {CommonModule::ReadIniString(sIndexFile, "Quarnel", "CurrentVersion"),
            CommonModule::ReadIniString(sIndexFile, "Quarnel", "DownloadURL")};
}

bool IndexNamesNewerVersion(const UpdateIndex& index, const std::string& sRunningVersion) {
    return CommonModule::IsNewerVersion(sRunningVersion, index.CurrentVersion);
}

frmCompUpdateBeta::frmCompUpdateBeta(bool bUpdateSilent, QWidget* parent)
    : UpdateWindow("frmCompUpdateBeta", "Application Update", bUpdateSilent, parent), bUpdateSilent_(bUpdateSilent) {}

frmCompUpdateBeta::~frmCompUpdateBeta() = default;

std::string frmCompUpdateBeta::RunningVersion() {
    return std::to_string(vb::App::Major()) + "." + std::to_string(vb::App::Minor()) + "." +
           std::to_string(vb::App::Revision());
}

void frmCompUpdateBeta::Timer1_Timer() {
    const std::string runningVersion = RunningVersion();
    SkipErrors([this] { DownloadUpdateIndex(); });
    SkipErrors([&] {
        if (IndexNamesNewerVersion(ReadUpdateIndex(InProgramFolder(kIndexFile)), runningVersion))
            bUpdateAvailable = true;
    });
    SkipErrors([this] { RestartProgram(); });
}

void frmCompUpdateBeta::DownloadUpdateIndex() {
    // An index left from an earlier run must not stand in for a failed download.
    DeleteIfPresent(InProgramFolder(kIndexFile));
    DeleteIfPresent(InProgramFolder(kIndexArchive));
    mobjDownload = std::make_unique<Download>();
    SkipErrors([this] { mobjDownload->StartDownload(kUpdateIndexLocation, InProgramFolder(kIndexArchive)); });
    if (!Downloaded(kIndexArchive)) CloseWindow();
    SkipErrors([] { modZip::UnzipFile(InProgramFolder(kIndexArchive), CommonModule::AppPath(), false); });
    DeleteIfPresent(InProgramFolder(kIndexArchive));
    mobjDownload.reset();
}

void frmCompUpdateBeta::InstallUpdate() {
    const ReplacedFiles files = FilesToReplace();
    mobjDownload = std::make_unique<Download>();
    SetStatus("Downloading Update...");
    SkipErrors([this] {
        const UpdateIndex index = ReadUpdateIndex(InProgramFolder(kIndexFile));
        mobjDownload->StartDownload(index.DownloadURL, InProgramFolder(kProgramArchive));
    });
    bool movedAside = false;
    if (!Downloaded(kProgramArchive)) {
        CloseWindow();
    } else {
        SetStatus("Preparing for update...");
        StartProgram("/uninstall", kNormalFocus, true, "QuarnelControl.exe");
        for (const ReplacedFile& file : files) DeleteIfPresent(InProgramFolder(file.keptBack));
        MoveRunningFilesAside(files);
        movedAside = true;
        CommonModule::Delay(1);
    }
    bool unpacked = false;
    SkipErrors([&] { unpacked = UnpackProgramArchive(); });
    DeleteIfPresent(InProgramFolder(kProgramArchive));
    mobjDownload.reset();
    if (movedAside) SkipErrors([&] { PutUpdateInPlace(files, unpacked); });
    RemoveUnpackFolder();
}

void frmCompUpdateBeta::MoveRunningFilesAside(const ReplacedFiles& files) {
    for (const ReplacedFile& file : files)
        SkipErrors([&] { win::MoveFileA(file.current, InProgramFolder(file.keptBack)); });
}

// A new program goes in only whole: an unpack that failed or came short, or
// one without Quarnel.exe, would leave the restart nothing it can run.
void frmCompUpdateBeta::PutUpdateInPlace(const ReplacedFiles& files, bool unpacked) {
    const char* failure = nullptr;
    if (!unpacked)
        failure = "QuarnelEXE.zip could not be unpacked whole";
    else if (!CommonModule::DoesFileExist(InProgramFolder(kUnpackFolder) + "\\Quarnel.exe"))
        failure = "the update delivered no Quarnel.exe";
    else if (!MoveUnpackedFilesIntoPlace())
        failure = "the unpacked files could not all be put in place";
    if (!failure) return;
    CommonModule::DPrint(std::string("frmCompUpdateBeta\\InstallUpdate: ") + failure +
                         "; the previous program files are restored");
    RestoreKeptBackFiles(files);
}

// The kept-back files come back over whatever was put in their place, and
// the control program, told to uninstall before, is started again as the
// first start after an update would.
void frmCompUpdateBeta::RestoreKeptBackFiles(const ReplacedFiles& files) {
    for (const ReplacedFile& file : files)
        SkipErrors([&] {
            const std::string keptBack = InProgramFolder(file.keptBack);
            if (CommonModule::DoesFileExist(keptBack))
                win::MoveFileExA(keptBack, file.current, win::MOVEFILE_REPLACE_EXISTING);
        });
    StartProgram("", kNormalFocus, false, "QuarnelControl.exe");
}

void frmCompUpdateBeta::RestartProgram() {
    if (bUpdateAvailable) SkipErrors([this] { InstallUpdate(); });
    SetStatus("Restarting...");
    StartProgram("", bUpdateSilent_ ? kMinimizedNoFocus : kNormalFocus, false, "Quarnel.exe");
    CloseWindow();
}
