// The process snapshot against real processes of the test's machine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/api/Process.h"
#include "platform/api/Toolhelp.h"
#include "support/StartedPrograms.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;

class ToolhelpTest : public testing::Test {
protected:
    // A copy of the host's sleep program under a Windows image name, running.
    long StartSleeper(const std::string& folder, const std::string& image) {
        const fs::path file = host_.HostOf("C:\\" + folder + "\\" + image);
        fs::create_directories(file.parent_path());
        fs::copy_file("/usr/bin/sleep", file, fs::copy_options::overwrite_existing);
        return programs_.Start("\"C:\\" + folder + "\\" + image + "\" 300");
    }

    testsupport::TempHost host_;
    testsupport::StartedPrograms programs_;
};

win::PROCESSENTRY32 EmptyEntry() {
    win::PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    return entry;
}

// The entry of one process id, walking the whole snapshot.
std::optional<win::PROCESSENTRY32> EntryOf(win::HANDLE snapshot, long pid) {
    std::optional<win::PROCESSENTRY32> found;
    win::PROCESSENTRY32 entry = EmptyEntry();
    for (win::BOOL more = win::Process32First(snapshot, &entry); more; more = win::Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == static_cast<win::DWORD>(pid)) found = entry;
    EXPECT_EQ(win::GetLastError(), win::ERROR_NO_MORE_FILES) << "the walk ends past the last entry";
    return found;
}

TEST_F(ToolhelpTest, HoldsTheProcessesOfTheMomentItWasTaken) {
    const long before = StartSleeper("Tools", "Snap Shot.exe");
    const win::HANDLE snapshot = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, win::INVALID_HANDLE_VALUE);
    const long after = StartSleeper("Tools", "Later.exe");

    const auto entry = EntryOf(snapshot, before);
    ASSERT_TRUE(entry.has_value());
    EXPECT_STREQ(entry->szExeFile, "Snap Shot.exe");
    EXPECT_EQ(entry->dwSize, sizeof(win::PROCESSENTRY32));
    EXPECT_EQ(entry->th32ParentProcessID, static_cast<win::DWORD>(getpid()));
    EXPECT_GE(entry->cntThreads, 1u);
    EXPECT_FALSE(EntryOf(snapshot, after).has_value()) << "a process started after the snapshot";
    // First starts the walk again.
    EXPECT_TRUE(EntryOf(snapshot, before).has_value());
    EXPECT_TRUE(win::CloseHandle(snapshot));
}

TEST_F(ToolhelpTest, FailsWithWindowsErrors) {
    const win::HANDLE withoutProcesses = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPMODULE, 0);
    win::PROCESSENTRY32 entry = EmptyEntry();
    EXPECT_FALSE(win::Process32First(withoutProcesses, &entry));
    EXPECT_EQ(win::GetLastError(), win::ERROR_NO_MORE_FILES);

    const win::HANDLE snapshot = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    win::PROCESSENTRY32 shortEntry = EmptyEntry();
    shortEntry.dwSize = sizeof shortEntry - 1;
    EXPECT_FALSE(win::Process32First(snapshot, &shortEntry));
    EXPECT_EQ(win::GetLastError(), win::ERROR_BAD_LENGTH);

    EXPECT_TRUE(win::CloseHandle(snapshot));
    EXPECT_FALSE(win::Process32Next(snapshot, &entry));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
    EXPECT_FALSE(win::CloseHandle(snapshot));
    EXPECT_TRUE(win::CloseHandle(withoutProcesses));
}

}  // namespace
