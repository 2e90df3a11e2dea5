// The host folder's permissions: the registry and event-log stores (and the
// files SQLite keeps beside them) and the private folders are the owner's
// alone, on a fresh host and on one made before with looser modes, as the
// console tools of the build leave them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/HostFolder.h"
#include "support/ShellCommand.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ShellCommand;

// "0600", or "missing".
std::string ModeOf(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "missing";
    char text[8];
    std::snprintf(text, sizeof text, "%04o", st.st_mode & 07777);
    return text;
}

std::string Tool(const char* name) { return "'" + (fs::path(QUARNEL_BIN_DIR) / name).string() + "'"; }

// A record, a key and a task, each by its console tool, under the usual umask.
void UseTheStores() {
    ASSERT_EQ(ShellCommand("umask 022; " + Tool("eventcreate.exe") +
                           " /L APPLICATION /T INFORMATION /ID 1 /SO Probe /D 'a record'"),
              0);
    ASSERT_EQ(ShellCommand("umask 022; " + Tool("reg.exe") + " add 'HKLM\\SOFTWARE\\Probe' /v Name /d value /f"), 0);
    ASSERT_EQ(ShellCommand("umask 022; " + Tool("schtasks.exe") + " /create /sc DAILY /st 08:00 /tn Probe /tr C:\\Q.exe /f"),
              0);
}

struct Part {
    fs::path path;
    std::string mode;
};

// The stores' files that SQLite keeps after the tools' runs, and the private folders.
std::vector<Part> PrivateParts(const testsupport::TempHost& host) {
    const fs::path appData = host.DriveC() / "Users" / platform::LoginName() / "AppData";
    std::vector<Part> parts = {{appData, "0700"}, {appData / "Local" / "Temp", "0700"}, {host.Folder() / "Tasks", "0700"}};
    for (const char* store : {"registry.db", "eventlog.db"})
        for (const char* suffix : {"", "-wal", "-shm"})
            if (const fs::path file = host.Folder() / (std::string(store) + suffix); fs::exists(file) || !*suffix)
                parts.push_back({file, "0600"});
    return parts;
}

TEST(HostFolder, StoresAndPrivateFoldersOfANewHostAreTheOwnersAlone) {
    testsupport::TempHost host;
    UseTheStores();
    const std::vector<Part> parts = PrivateParts(host);
    ASSERT_GT(parts.size(), 5u) << "the stores keep their write-ahead logs";
    for (const Part& part : parts) EXPECT_EQ(ModeOf(part.path), part.mode) << part.path;
}

TEST(HostFolder, AHostMadeWithLooserModesIsMendedWhenItIsUsed) {
    testsupport::TempHost host;
    UseTheStores();
    for (const Part& part : PrivateParts(host)) fs::permissions(part.path, fs::perms(part.mode == "0700" ? 0755 : 0644));
    UseTheStores();
    for (const Part& part : PrivateParts(host)) EXPECT_EQ(ModeOf(part.path), part.mode) << part.path;
}

// What its owner has taken away stays away: only the group's and others' access goes.
TEST(HostFolder, MendingKeepsWhatTheOwnerMayNotDo) {
    testsupport::TempHost host;
    const fs::path folder = host.Folder() / "kept";
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms(0555));
    EXPECT_TRUE(platform::MakePrivateFolder(folder));
    EXPECT_EQ(ModeOf(folder), "0500");
    const fs::path store = host.Folder() / "kept.db";
    platform::MakeStorePrivate(store);
    EXPECT_EQ(ModeOf(store), "0600");
    fs::permissions(store, fs::perms(0444));
    platform::MakeStorePrivate(store);
    EXPECT_EQ(ModeOf(store), "0400");
    fs::permissions(folder, fs::perms(0700));
}

}  // namespace
