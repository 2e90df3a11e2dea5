// The change wait: each kind of change in a watched folder is reported with
// the entry's name, kinds not asked for are not, the end of the folder ends
// its watch, and a sleeper wakes on a change made by another process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/host/ChangeWait.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using platform::ChangeWait;
using platform::FolderChange;

void Touch(const fs::path& file) { std::ofstream(file) << "x"; }

bool Saw(const std::vector<FolderChange>& changes, std::uint32_t kind, const std::string& name) {
    for (const FolderChange& change : changes)
        if ((change.kinds & kind) && change.name == name) return true;
    return false;
}

TEST(ChangeWait, ReportsEachKindOfChangeWithTheEntryName) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> before;
        std::function<void(const fs::path&)> change;
        std::uint32_t kind;
    };
    const Case cases[] = {
        {"created", [](const fs::path&) {}, [](const fs::path& f) { Touch(f / "entry"); }, platform::kEntryCreated},
        {"written", [](const fs::path& f) { Touch(f / "entry"); }, [](const fs::path& f) { Touch(f / "entry"); },
         platform::kFileWritten},
        {"modified, still open", [](const fs::path& f) { Touch(f / "entry"); },
         [](const fs::path& f) {
             std::ofstream open(f / "entry", std::ios::app);
             open << "more" << std::flush;
         },
         platform::kFileModified},
        {"attributes", [](const fs::path& f) { Touch(f / "entry"); },
         [](const fs::path& f) { fs::permissions(f / "entry", fs::perms::owner_read); },
         platform::kAttributesChanged},
        {"deleted", [](const fs::path& f) { Touch(f / "entry"); }, [](const fs::path& f) { fs::remove(f / "entry"); },
         platform::kEntryDeleted},
        {"moved out", [](const fs::path& f) { Touch(f / "entry"); },
         [](const fs::path& f) { fs::rename(f / "entry", f.parent_path() / "elsewhere"); }, platform::kEntryMovedOut},
        {"moved in", [](const fs::path& f) { Touch(f.parent_path() / "entry"); },
         [](const fs::path& f) { fs::rename(f.parent_path() / "entry", f / "entry"); }, platform::kEntryMovedIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempHost host;
        const fs::path folder = host.Folder() / "watched";
        fs::create_directories(folder);
        c.before(folder);
        ChangeWait wait;
        ASSERT_TRUE(wait.IsOpen());
        ASSERT_TRUE(wait.Watch(folder.string(), c.kind));
        c.change(folder);
        const auto changes = wait.Drain();
        EXPECT_TRUE(Saw(changes, c.kind, "entry"));
        for (const FolderChange& change : changes) EXPECT_EQ(change.kinds & ~c.kind, 0u) << change.name;
    }
}

TEST(ChangeWait, NothingQueuedDrainsNothingAndAMissingFolderCannotBeWatched) {
    testsupport::TempHost host;
    ChangeWait wait;
    EXPECT_TRUE(wait.Watch(host.Folder().string(), platform::kEntryCreated));
    EXPECT_TRUE(wait.Drain().empty());
    EXPECT_FALSE(wait.Watch((host.Folder() / "missing").string(), platform::kEntryCreated));
}

TEST(ChangeWait, AFolderRemovedEndsItsWatch) {
    testsupport::TempHost host;
    const fs::path folder = host.Folder() / "watched";
    fs::create_directories(folder);
    ChangeWait wait;
    ASSERT_TRUE(wait.Watch(folder.string(), platform::kEntryCreated));
    fs::remove(folder);
    EXPECT_TRUE(Saw(wait.Drain(), platform::kWatchedFolderGone, ""));
}

TEST(ChangeWait, ASleeperWakesOnAChangeMadeByAnotherProcess) {
    testsupport::TempHost host;
    ChangeWait wait;
    ASSERT_TRUE(wait.Watch(host.Folder().string(), platform::kEntryCreated));
    const pid_t child = fork();
    if (child == 0) {
        Touch(host.Folder() / "from-child");
        _exit(0);
    }
    wait.Sleep();
    EXPECT_TRUE(Saw(wait.Drain(), platform::kEntryCreated, "from-child"));
    int status = 0;
    waitpid(child, &status, 0);
}

}  // namespace
