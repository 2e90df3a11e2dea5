#include "net/modZip.h"

#include <QApplication>
#include <QLabel>
#include <functional>
#include <memory>

#include "common/CommonModule.h"
#include "net/ZipClass.h"
#include "net/ZipExtractionClass.h"
#include "net/frmStatusWin.h"
#include "platform/api/EventLoop.h"
#include "platform/api/FileStatements.h"
#include "platform/api/MessageBox.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"
#include "platform/api/Zlib.h"

namespace modZip {

namespace {

using CommonModule::ArgLine;
using CommonModule::DPrint;

const std::string kCRLF = "\r\n";
const std::string kTab = "\t";
const std::string kQ = "\"";
constexpr int kHide = 0;

// One statement of a procedure that goes on after an error: the error is
// logged with the procedure's arguments and the next statement runs.
void Step(const std::string& procedure, const std::vector<ArgLine>& arguments, const std::function<void()>& step) {
    try {
        step();
    } catch (const RuntimeError& e) {
        CommonModule::LogError("modZip\\" + procedure + " VB ERROR: ", e, arguments);
    }
}

void DeleteIfPresent(const std::string& path) {
    if (CommonModule::DoesFileExist(path)) vb::Kill(path);
}

// Every error of the reader is logged, and any of them makes the unpack
// incomplete.
void LogErrors(ZipExtractionClass& unzip, bool& failed) {
    unzip.ZipError = [&failed](std::int32_t number, const std::string& text) {
        DPrint("modZip\\UnzipFile: ZipError " + std::to_string(number) + ": " + text);
        failed = true;
    };
}

bool RunsExtraction(ZipExtractionClass& unzip, const std::string& sZip, const std::string& sDestDir) {
    bool failed = false;
    LogErrors(unzip, failed);
    if (!unzip.OpenZip(sZip)) return false;
    const bool extracted = unzip.Extract(sDestDir, true, true);
    unzip.CloseZip();
    return extracted && !failed;
}

// 7-Zip's word is not taken alone: what it left must be each entry whole.
bool SevenZipDeliveredWhole(const std::string& sZip, const std::string& sDestDir) {
    bool failed = false;
    bool whole = false;
    try {
        ZipExtractionClass check;
        LogErrors(check, failed);
        whole = check.OpenZip(sZip) && check.CheckUnpacked(sDestDir) && !failed;
    } catch (const RuntimeError& e) {
        DPrint("modZip\\UnzipFile: " + e.Description());
    }
    if (!whole) DPrint("modZip\\UnzipFile: what 7-Zip unpacked from " + sZip + " is not whole");
    return whole;
}

std::string SevenZipProgram() {
    const std::string folder = CommonModule::AppPath() + "3rd Party Tools\\Ketarin\\";
    std::string program;
    if (CommonModule::DoesFileExist(folder + "7za.exe")) program = folder + "7za.exe";
    if (CommonModule::DoesFileExist(folder + "7z.exe")) program = folder + "7z.exe";
    return program;
}

}  // namespace

void InstallZlib() { platform::ZlibVersion(); }

void ZipSingleFile(const std::string& sFile, const std::string& sZip) {
    const std::vector<ArgLine> arguments = {{"sFile", sFile}, {"sZip", sZip}};
    Step("ZipSingleFile", arguments, InstallZlib);
    bool exists = false;
    Step("ZipSingleFile", arguments, [&] { exists = CommonModule::DoesFileExist(sFile); });
    if (!exists) {
        Step("ZipSingleFile", arguments, [] { vb::MsgBox("File Not Found", vb::vbOKOnly); });
        return;
    }
    ZipClass zip;
    Step("ZipSingleFile", arguments, [&] { zip.AddFile(sFile); });
    Step("ZipSingleFile", arguments, [&] { zip.WriteZip(sZip, true); });
}

bool ZipFolder(const std::string& sFolder, const std::string& sZip, bool bRecurse) {
    const std::vector<ArgLine> arguments = {{"sFolder", sFolder}, {"sZip", sZip}, {"bRecurse", bRecurse}};
    Step("ZipFolder", arguments, InstallZlib);
    Step("ZipFolder", arguments, [&] { DeleteIfPresent(sZip); });
    if (CommonModule::DoesDirExist(sFolder)) {
        std::vector<std::string> files;
        Step("ZipFolder", arguments, [&] { CommonModule::FindFiles(sFolder, "*.*", files, bRecurse); });
        ZipClass zip;
        const std::string folderLower = vb::LCase(sFolder);
        for (const std::string& file : files) {
            if (file.empty()) continue;
            Step("ZipFolder", arguments, [&] {
                const std::string relative = CommonModule::Strip(vb::LCase(file), folderLower);
                zip.AddFile(file, relative.empty() ? relative : relative.substr(1));
            });
        }
        Step("ZipFolder", arguments, [&] { zip.WriteZip(sZip, true); });
    }
    bool written = false;
    Step("ZipFolder", arguments, [&] { written = CommonModule::DoesFileExist(sZip); });
    return written;
}

void ZipFileList(const std::vector<std::string>& colFiles, const std::string& sZip) {
    const std::vector<ArgLine> arguments = {{"sZip", sZip}};
    Step("ZipFileList", arguments, InstallZlib);
    Step("ZipFileList", arguments, [&] { DeleteIfPresent(sZip); });
    ZipClass zip;
    for (const std::string& file : colFiles) {
        if (file.empty()) continue;
        Step("ZipFileList", arguments, [&] {
            if (CommonModule::DoesFileExist(file)) zip.AddFile(file);
        });
    }
    Step("ZipFileList", arguments, [&] { zip.WriteZip(sZip, true); });
}

bool UnzipFile(const std::string& sZip, const std::string& sDestDir, bool bQuiet) {
    const std::vector<ArgLine> arguments = {{"sZip", sZip}, {"sDestDir", sDestDir}, {"bQuiet", bQuiet}};
    std::unique_ptr<frmStatusWin> status;
    if (!bQuiet && qApp) {
        status = std::make_unique<frmStatusWin>();
        status->Label1->setText(QString::fromStdString("Extracting " + CommonModule::StripPath(sZip)));
        status->show();
        vb::DoEvents();
    }
    Step("UnzipFile", arguments, InstallZlib);
    bool success = false;
    Step("UnzipFile", arguments, [&] {
        ZipExtractionClass unzip;
        success = RunsExtraction(unzip, sZip, sDestDir);
    });
    if (!success) {
        std::string message;
        success = UnzipWith7z(sZip, sDestDir, message) && SevenZipDeliveredWhole(sZip, sDestDir);
    }
    if (status) status->close();
    return success;
}

bool UnzipWith7z(const std::string& sFileToUnzip, const std::string& sDirToExtractTo, std::string& sMessage) {
    bool result = false;
    try {
        DPrint("modUnzip\\UnzipWith7z:  Initiated due to Internal Unzip Failure." + kCRLF + kTab +
               "sFileToUnzip - " + sFileToUnzip + kCRLF + kTab + "sDirToExtractTo - " + sDirToExtractTo);
        const std::string program = SevenZipProgram();
        if (program.empty()) {
            DPrint("modUnzip\\UnzipWith7z:  7zip executable not found!  Aborting function!");
            return false;
        }
        DPrint("modUnzip\\UnzipWith7z:  7zip executable found:  " + program);
        if (!CommonModule::DoesFileExist(sFileToUnzip)) {
            DPrint("modUnzip\\UnzipWith7z:  sFileToUnzip not found!  Aborting function!");
            return false;
        }
        const std::string testArguments = "t " + kQ + sFileToUnzip + kQ;
        DPrint("modUnzip\\UnzipWith7z:  Testing Zip File Integrity with Command:  " + kCRLF + kTab + program + " " +
               testArguments);
        std::int32_t exitCode = -1;
        if (!CommonModule::ShellX(program, testArguments, true, kHide, exitCode)) exitCode = -1;
        if (exitCode != 0) {
            DPrint("modUnzip\\UnzipWith7z:  Zip File Integrity Check FAILED!  Proceeding with extract attempt anyway...");
            sMessage = "ZIP file may be corrupted!";
        } else {
            DPrint("modUnzip\\UnzipWith7z:  Zip File Integrity Check PASSED!  Proceeding with extract attempt...");
        }
        const std::string extractArguments =
            "x " + kQ + sFileToUnzip + kQ + " -o" + kQ + sDirToExtractTo + kQ + " -y";
        DPrint("modUnzip\\UnzipWith7z:  Extracting Zip File with Command:  " + kCRLF + kTab + program + " " +
               extractArguments);
        exitCode = -1;
        result = CommonModule::ShellX(program, extractArguments, true, kHide, exitCode) && exitCode == 0;
    } catch (const RuntimeError& e) {
        DPrint("modUnzip\\UnzipWith7z:  " + e.Description());
    }
    return result;
}

}  // namespace modZip
