#include "support/UpdateSite.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/ShellCommand.h"

namespace testsupport {

void DamageArchive(std::string& archive, bool torn) {
    if (torn)
        archive.resize(archive.size() * 6 / 10);
    else
        archive.replace(archive.size() / 2, 64, std::string(64, '\x55'));
}

namespace fs = std::filesystem;

namespace {

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace

UpdateSite::UpdateSite(TempHost& host) : folder_(host.Folder() / "update-site") {
    // Each test runs in its own process: its number picks its own address,
    // and a taken address moves on to the next one.
    const unsigned start = static_cast<unsigned>(::getpid()) % 60000;
    std::string address;
    for (unsigned attempt = 0; attempt < 8 && !Ready(); ++attempt) {
        const unsigned n = (start + attempt * 7919) % 60000 + 1;
        address = "127.44." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
        HttpsPeer::Options options;
        options.names = {kUpdateHost};
        options.address = address;
        options.port = 443;
        peer_ = std::make_unique<HttpsPeer>(folder_ / std::to_string(attempt), options);
    }
    if (!Ready()) return;
    WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                  address + "\t" + kUpdateHost + "\r\n");
    host.WriteHostIni("Internet", "CAFile", peer_->CaFile().string());
}

std::string UpdateSite::Url(const std::string& path) const { return std::string("https://") + kUpdateHost + path; }

void UpdateSite::PublishFile(const std::string& path, const std::string& bytes) const {
    WriteHostFile(peer_->Root() / path.substr(1), bytes);
}

std::string UpdateSite::PublishArchive(const std::string& path, const ArchiveFiles& files) const {
    const fs::path staging = folder_ / "staging";
    fs::remove_all(staging);
    fs::create_directories(staging);
    for (const auto& [name, bytes] : files) WriteHostFile(staging / name, bytes);
    const fs::path archive = peer_->Root() / path.substr(1);
    fs::create_directories(archive.parent_path());
    fs::remove(archive);
    ShellCommand("cd " + Quoted(staging) + " && zip -q -r " + Quoted(archive) + " .");
    return ReadHostFile(archive);
}

void UpdateSite::PublishIndex(const std::string& version, const std::string& downloadUrl) const {
    PublishArchive(kIndexPath, {{"BrindleUpdates.ini", "[Quarnel]\r\nCurrentVersion=" + version +
                                                           "\r\nDownloadURL=" + downloadUrl + "\r\n"}});
}

std::vector<std::string> UpdateSite::RequestedPaths() const {
    std::vector<std::string> paths;
    for (const std::string& line : peer_->Requests()) {
        const std::size_t start = line.find(' ');
        const std::size_t end = line.find(' ', start + 1);
        if (start != std::string::npos) paths.push_back(line.substr(start + 1, end - start - 1));
    }
    return paths;
}

bool UpdateSite::WasRequested(const std::string& path) const {
    const std::vector<std::string> paths = RequestedPaths();
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

std::string StandInProgramText(const std::string& name, const fs::path& log, const std::string& further) {
    return "#!/bin/sh\necho \"" + name + " $QUARNEL_CMDLINE\" >> " + Quoted(log) + "\n" + further + "\n";
}

void WriteStandInProgram(const fs::path& file, const std::string& name, const fs::path& log,
                         const std::string& further) {
    WriteHostFile(file, StandInProgramText(name, log, further));
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

bool RunUntilUnloaded(QWidget* window) {
    QPointer<QWidget> watched(window);
    QElapsedTimer clock;
    clock.start();
    while (watched && clock.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return !watched;
}

bool WaitForText(const fs::path& file, const std::string& text) {
    for (int turn = 0; turn < 600; ++turn) {
        if (ReadHostFile(file).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace testsupport
