// Whole-file replacement: writers killed with SIGKILL in the middle of their
// writes leave the old file or the new one, never a mixture, and their
// temporaries go with the next replacement of the file, while those of
// writers that still run stay theirs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/WholeFile.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

// A writer in a process of its own that has created its temporary and
// written half of it, waiting there until it is killed.
class HalfWayWriter {
public:
    HalfWayWriter(const fs::path& file, const std::string& suffix) {
        int ends[2];
        if (pipe(ends) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ends[0]);
            platform::WholeFile whole(file, suffix);
            const char byte = 1;
            if (whole.Create() != 0 || !whole.Write("half of the n") || write(ends[1], &byte, 1) != 1) _exit(1);
            pause();
            _exit(0);
        }
        close(ends[1]);
        char byte = 0;
        ready_ = pid_ > 0 && read(ends[0], &byte, 1) == 1;
        close(ends[0]);
    }
    ~HalfWayWriter() { Kill(); }
    bool Ready() const { return ready_; }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

TEST(WholeFile, TemporariesOfKilledWritersGoWithTheNextReplacement) {
    testsupport::TempHost host;
    const fs::path file = host.DriveC() / "settings.ini";
    WriteHostFile(file, "old");
    HalfWayWriter killed(file, ".tmp");
    ASSERT_TRUE(killed.Ready());
    HalfWayWriter running(file, ".tmp");
    ASSERT_TRUE(running.Ready());
    EXPECT_EQ(NamesIn(file.parent_path()).size(), 3u);

    killed.Kill();
    EXPECT_EQ(ReadHostFile(file), "old");
    ASSERT_EQ(platform::ReplaceWholeFile(file, "new"), 0);
    EXPECT_EQ(ReadHostFile(file), "new");
    EXPECT_EQ(NamesIn(file.parent_path()).size(), 2u) << "the running writer's temporary stays, the killed one's goes";

    running.Kill();
    ASSERT_EQ(platform::ReplaceWholeFile(file, "newer"), 0);
    EXPECT_EQ(NamesIn(file.parent_path()), std::vector<std::string>{"settings.ini"});
}

// The lock of a writer that runs keeps its temporary even when the process id
// in the name means no process here (a writer in another pid namespace).
TEST(WholeFile, ALockedTemporaryStaysWhateverItsNameSays) {
    testsupport::TempHost host;
    const fs::path file = host.DriveC() / "task.task";
    fs::create_directories(file.parent_path());
    HalfWayWriter writer(file, ".tmp");
    ASSERT_TRUE(writer.Ready());
    const std::vector<std::string> names = NamesIn(file.parent_path());
    ASSERT_EQ(names.size(), 1u);
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const fs::path renamed = file.parent_path() / (".task.task." + std::to_string(ended) + "-0.tmp");
    fs::rename(file.parent_path() / names.front(), renamed);
    ASSERT_EQ(platform::ReplaceWholeFile(file, "whole"), 0);
    EXPECT_TRUE(fs::exists(renamed)) << "its writer still holds it";
    writer.Kill();
    ASSERT_EQ(platform::ReplaceWholeFile(file, "whole again"), 0);
    EXPECT_FALSE(fs::exists(renamed));
}

// A download's temporary has a suffix of its own; a replacement removes only its own kind.
TEST(WholeFile, TemporariesOfOtherFilesAndOtherKindsStay) {
    testsupport::TempHost host;
    const fs::path file = host.DriveC() / "Rules.zip";
    fs::create_directories(file.parent_path());
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const std::string pid = std::to_string(ended);
    for (const std::string& name : {".Rules.zip." + pid + "-3.part", ".Rules.zip.1.zip." + pid + "-0.tmp",
                                   ".Other.zip." + pid + "-0.tmp", ".Rules.zip.x" + pid + ".tmp"})
        WriteHostFile(file.parent_path() / name, "stale");
    const std::string own = ".Rules.zip." + pid + ".tmp";
    WriteHostFile(file.parent_path() / own, "stale");
    ASSERT_EQ(platform::ReplaceWholeFile(file, "new"), 0);
    EXPECT_FALSE(fs::exists(file.parent_path() / own));
    EXPECT_EQ(NamesIn(file.parent_path()).size(), 5u);
}

// A file that is replaced keeps its mode, and its temporary is never more readable than it.
TEST(WholeFile, AReplacedFileKeepsItsModeAndANewOneTakesTheGivenMode) {
    testsupport::TempHost host;
    const fs::path file = host.DriveC() / "secret.ini";
    fs::create_directories(file.parent_path());
    ASSERT_EQ(platform::ReplaceWholeFile(file, "one", 0600), 0);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    chmod(file.c_str(), 0640);
    platform::WholeFile whole(file);
    ASSERT_EQ(whole.Create(0666), 0);
    ASSERT_EQ(stat(whole.Temporary().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_TRUE(whole.Write("two"));
    ASSERT_EQ(whole.PutInPlace(), 0);
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadHostFile(file), "two");
}

}  // namespace
