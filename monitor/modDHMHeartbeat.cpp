// The heartbeat report of "/heartbeat": the product's service, the listed
// services, automatic services that are stopped, uptime, free space of the
// system drive and the listed drives, the SNMP answers and the applications
// installed since the last report, mailed as one plain-text message.
#include "modDHM.h"

#include <cstdint>
#include <string>
#include <vector>

#include "NTServiceControl.h"
#include "common/CommonModule.h"
#include "common/ErrorTrap.h"
#include "common/clsFSO.h"
#include "common/modRegistry.h"
#include "modEmail.h"
#include "net/frmSNMP.h"
#include "platform/api/Environment.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/Format.h"
#include "platform/api/Shell.h"
#include "platform/api/Strings.h"
#include "platform/api/Wmi.h"

namespace modDHM {

namespace {

using ErrorTrap::SkipErrors;

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kShortRule = "-----------------------------";
constexpr const char* kLongRule = "------------------------------------------";

constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kWowUninstallKey = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kAppsFile = "InstalledApps.txt";
constexpr const char* kWowAppsFile = "InstalledAppsWow6432.txt";

constexpr double kTwoGigabytes = 2.0 * 1024 * 1024 * 1024;

std::string RulesFile(const std::string& name) { return CommonModule::AppPath() + "Rules\\" + name; }

bool SettingIs(const std::string& key, const std::string& value) {
    return CommonModule::ReadIniString(CommonModule::sINI, "Heartbeat", key) == value;
}

// The lines of a list file; none when it is missing.
std::vector<std::string> FileLines(const std::string& file) {
    std::vector<std::string> lines;
    if (!CommonModule::DoesFileExist(file)) return lines;
    clsFSO().FileToArray(file, lines);
    return lines;
}

std::vector<std::string> SubkeyNames(const std::string& keyPath) {
    std::string keys;
    modRegistry::fEnumKey("HKLM", keyPath, keys);
    std::vector<std::string> names;
    for (size_t start = 0; start < keys.size();) {
        const size_t end = std::min(keys.find('\0', start), keys.size());
        if (end > start) names.push_back(keys.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string TextValue(const std::string& keyPath, const std::string& valueName) {
    vb::Variant value;
    modRegistry::fReadValue("HKLM", keyPath, valueName, "S", "", value);
    return value.ToText();
}

// Windows updates ("KB...") and Office updates ("...0FF1CE...") are no applications.
bool IsUpdateName(const std::string& name) {
    return vb::LCase(name.substr(0, 2)) == "kb" || name.find("0FF1CE") != std::string::npos;
}

std::string ServiceStateText(std::int32_t state) {
    switch (state) {
        case 1: return " is stopped.";
        case 2: return " is pending start.";
        case 3: return " is pending stop.";
        case 4: return " is running.";
        case 5: return " is pending continue.";
        case 6: return " is pending pause.";
        case 7: return " is paused.";
        default: return " is in an UNKNOWN state.";
    }
}

std::string StartTypeText(const std::string& serviceName) {
    std::string start;
    SkipErrors([&] {
        vb::Variant value;
        modRegistry::fReadValue("HKLM", "SYSTEM\\CurrentControlSet\\Services\\" + serviceName, "Start", "D", "", value);
        start = value.ToText();
    });
    if (start == "2") return "  (Service set to start automatically.)";
    if (start == "3") return "  (Service set to start manually.)";
    if (start == "4") return "  (Service is disabled!)";
    return "  (Service does not appear to exist!)";
}

std::string ServiceLine(const std::string& serviceName) {
    std::int32_t state = 0;
    SkipErrors([&] { state = NTServiceControl::GetServiceState(serviceName); });
    return std::string(kLineBreak) + "Service:  " + serviceName + ServiceStateText(state) + StartTypeText(serviceName);
}

std::string Gigabytes(std::uint64_t bytes) { return vb::Format(bytes / 1024.0 / 1024.0 / 1024.0, "#,###.##"); }

std::string FreeSpaceVerdict(double total, double free) {
    const bool belowTenth = free < total / 10;
    const bool belowTwoGigabytes = free < kTwoGigabytes;
    std::string verdict;
    if (belowTenth) verdict = "Partition has less than 10% free space available!!";
    if (belowTwoGigabytes) {
        if (belowTenth) verdict += kLineBreak;
        verdict += "Free up disk space and/or upgrade the hard drive ASAP!!";
    }
    return verdict.empty() ? "Free Space is OK" : verdict;
}

std::string NewAppBlock(const std::string& keyPath, const std::string& name) {
    const std::string key = keyPath + "\\" + name;
    std::string block;
    for (const char* value : {"DisplayName", "Publisher", "InstallLocation"}) {
        std::string text;
        SkipErrors([&] { text = TextValue(key, value); });
        block += std::string(value) + ":  " + text + kLineBreak;
    }
    return block + "RegKey:  " + name + kLineBreak + kShortRule + kLineBreak;
}

// Appends the blocks of the names under the key that the snapshot file lacks.
void AppendNewApps(std::string& section, const std::string& snapshotFile, const std::string& keyPath) {
    std::vector<std::string> newApps;
    SkipErrors([&] { newApps = FindNewApps(FileLines(snapshotFile), SubkeyNames(keyPath)); });
    for (const std::string& name : newApps) {
        if (section.empty())
            section = std::string("Newly Installed Applications:") + kLineBreak + kShortRule + kLineBreak;
        section += NewAppBlock(keyPath, name);
    }
}

// The snapshot file holds the names that pass the filters, one per line; it
// is written even when there are none.
void WriteSnapshot(const std::string& snapshotFile, const std::string& keyPath) {
    SkipErrors([&] { win::DeleteFileA(snapshotFile); });
    SkipErrors([&] { vb::TextFile(snapshotFile, vb::TextFile::Mode::Output).Close(); });
    std::vector<std::string> names;
    SkipErrors([&] { names = SubkeyNames(keyPath); });
    for (const std::string& name : names)
        if (!IsUpdateName(name)) SkipErrors([&] { CommonModule::SaveTextToFile(snapshotFile, name, false, false); });
}

std::string ProductServiceLine() {
    std::int32_t state = 0;
    SkipErrors([&] { state = NTServiceControl::GetProductServiceState(); });
    return state == 4 ? "Quarnel Service is running." : "WARNING:  Quarnel Service is NOT running!!!";
}

std::string SNMPBlock() {
    std::string results;
    try {
        results = CollectSNMPResults();
    } catch (const RuntimeError& error) {
        CommonModule::LogError("modDHM\\SendHeartbeat VB ERROR: ", error);
    }
    return results;
}

}  // namespace

std::string CollectSNMPResults() {
    if (!CommonModule::DoesFileExist(RulesFile("Heartbeat_SNMP_List.txt"))) return "";
    return frmSNMP::CollectResults();
}

void SendHeartbeat() {
    const std::string status = ProductServiceLine();
    const std::string snmp = SNMPBlock();
    std::string newApps;
    if (SettingIs("ReportNewlyInstalledApps", "1")) newApps = ReportNewApps();
    const std::string services = ReportServices();
    const std::string autoServices = ReportAutoServices();
    std::string uptime;
    SkipErrors([&] { uptime = CommonModule::GetSystemUptime(); });
    const std::string partitions = ReportPartitions();
    const std::string body = status + kLineBreak + services + kLineBreak + kLineBreak + autoServices +
                             "System Uptime:  " + uptime + kLineBreak + kLineBreak + partitions + kLineBreak +
                             kLineBreak + snmp + kLineBreak + kLineBreak + newApps;
    modEmail::SendAlertEmail("Heartbeat", body, "");
}

std::string ReportServices() {
    std::string section;
    for (const std::string& line : FileLines(RulesFile("Heartbeat_Services_List.txt")))
        if (!line.empty()) section += ServiceLine(line);
    return section;
}

std::string ReportAutoServices() {
    if (SettingIs("ReportAutoSvcsNotRunning", "0")) return "";
    std::string lines;
    bool answered = false;
    SkipErrors([&] {
        const wmi::Services service = wmi::GetObject("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
        const wmi::ObjectSet stopped =
            service.ExecQuery("Select * from Win32_Service Where StartMode='Auto' AND State<>'Running'");
        answered = true;
        for (const wmi::Object& found : stopped)
            SkipErrors([&] {
                lines += found.Property("Name").ToText() + " - " + found.Property("State").ToText() + kLineBreak;
            });
    });
    // A query that failed tells nothing: only an answer without services means all run.
    std::string section = answered && lines.empty()
                              ? std::string("All automatic services are running.")
                              : std::string("Auto-start Services currently not running:  ") + kLineBreak +
                                    kLongRule + kLineBreak + lines;
    return section + kLineBreak + kLineBreak;
}

std::string ReportPartitions() {
    std::string systemDrive;
    SkipErrors([&] { systemDrive = vb::Environ("systemroot").substr(0, 2); });
    std::string section = DriveSpaceText(systemDrive);
    for (const std::string& line : FileLines(RulesFile("Heartbeat_Partition_List.txt")))
        if (!line.empty()) section += kLineBreak + DriveSpaceText(line);
    return section;
}

std::string DriveSpaceText(const std::string& sDrive) {
    std::uint64_t availableToCaller = 0, total = 0, free = 0;
    SkipErrors([&] {
        if (!win::SHGetDiskFreeSpaceExA(sDrive, &availableToCaller, &total, &free)) total = free = 0;
    });
    return sDrive + " " + Gigabytes(total) + " GB, " + Gigabytes(free) + " GB available" + kLineBreak +
           FreeSpaceVerdict(static_cast<double>(total), static_cast<double>(free));
}

std::string ReportNewApps() {
    const std::string appsFile = CommonModule::AppPath() + kAppsFile;
    if (!CommonModule::DoesFileExist(appsFile)) {
        SaveAppsSnapshot();
        return "";
    }
    std::string section;
    AppendNewApps(section, appsFile, kUninstallKey);
    const std::string wowFile = CommonModule::AppPath() + kWowAppsFile;
    if (CommonModule::Is64BitOS() && CommonModule::DoesFileExist(wowFile)) AppendNewApps(section, wowFile, kWowUninstallKey);
    SaveAppsSnapshot();
    return section;
}

std::vector<std::string> FindNewApps(const std::vector<std::string>& oldApps,
                                     const std::vector<std::string>& currentApps) {
    std::vector<std::string> newApps;
    for (const std::string& name : currentApps) {
        if (name.empty() || IsUpdateName(name)) continue;
        bool known = false;
        for (const std::string& old : oldApps) known = known || old == name;
        if (!known) newApps.push_back(name);
    }
    return newApps;
}

void SaveAppsSnapshot() {
    CommonModule::DPrint("modDHM\\SaveAppsSnapshot: ");
    WriteSnapshot(CommonModule::AppPath() + kAppsFile, kUninstallKey);
    if (CommonModule::Is64BitOS()) WriteSnapshot(CommonModule::AppPath() + kWowAppsFile, kWowUninstallKey);
}

}  // namespace modDHM
