// The folder watch: a folder stays in one quiet stretch while nothing in it
// changes, each kind of change starts a new one, and a folder whose changes
// could go unseen is never called quiet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/api/FolderWatch.h"
#include "platform/host/HostFileStamp.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using platform::FolderWatch;
using testsupport::WriteHostFile;

constexpr const char* kFolder = "C:\\Watched";

class FolderWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!platform::OnLocalFileSystem(host.Folder()))
            GTEST_SKIP() << "the temporary folder is on a file system whose changes this host may not be told of";
        WriteHostFile(File("Rule.DAT"), "[LogFile]\r\nSystem=1\r\n");
        WriteHostFile(File("List.txt"), "7036\r\n");
    }
    fs::path Folder() const { return host.HostOf(kFolder); }
    fs::path File(const std::string& name) const { return Folder() / name; }

    testsupport::TempHost host;
    FolderWatch watch;
};

TEST_F(FolderWatchTest, AQuietFolderKeepsItsStretchThoughItsFilesAreRead) {
    const std::uint64_t first = watch.Look(kFolder);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(testsupport::ReadHostFile(File("Rule.DAT")), "[LogFile]\r\nSystem=1\r\n");
    EXPECT_EQ(watch.Look(kFolder), first);
    // What happens inside a subfolder is not the folder's own change.
    fs::create_directories(Folder() / "Sub");
    const std::uint64_t afterSubfolder = watch.Look(kFolder);
    WriteHostFile(Folder() / "Sub" / "Deeper.DAT", "x");
    EXPECT_EQ(watch.Look(kFolder), afterSubfolder);
    EXPECT_EQ(watch.Look(kFolder), afterSubfolder);
}

TEST_F(FolderWatchTest, EachKindOfChangeStartsANewStretch) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> change;
    };
    std::ofstream held;
    const Case cases[] = {
        {"rewritten", [](const fs::path& f) { WriteHostFile(f / "Rule.DAT", "[LogFile]\r\nSystem=0\r\n"); }},
        {"written and still open",
         [&held](const fs::path& f) {
             held.open(f / "Rule.DAT", std::ios::app);
             held << "[EventType]\r\n" << std::flush;
         }},
        {"same bytes, time put back",
         [](const fs::path& f) { testsupport::RewriteKeepingTheTime(f / "Rule.DAT", "[LogFile]\r\nSystem=2\r\n"); }},
        {"made read-only", [](const fs::path& f) { fs::permissions(f / "Rule.DAT", fs::perms::owner_read); }},
        {"created", [](const fs::path& f) { WriteHostFile(f / "New.DAT", "x"); }},
        {"deleted", [](const fs::path& f) { fs::remove(f / "List.txt"); }},
        {"renamed", [](const fs::path& f) { fs::rename(f / "Rule.DAT", f / "Renamed.DAT"); }},
        {"replaced by a rename",
         [](const fs::path& f) {
             WriteHostFile(f.parent_path() / "Rule.tmp", "[LogFile]\r\n");
             fs::rename(f.parent_path() / "Rule.tmp", f / "Rule.DAT");
         }},
        {"moved out", [](const fs::path& f) { fs::rename(f / "Rule.DAT", f.parent_path() / "Rule.DAT"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempHost fresh;
        WriteHostFile(fresh.HostOf("C:\\Watched\\Rule.DAT"), "[LogFile]\r\nSystem=1\r\n");
        WriteHostFile(fresh.HostOf("C:\\Watched\\List.txt"), "7036\r\n");
        FolderWatch own;
        const std::uint64_t before = own.Look(kFolder);
        ASSERT_NE(before, 0u);
        c.change(fresh.HostOf(kFolder));
        const std::uint64_t after = own.Look(kFolder);
        EXPECT_NE(after, before);
        EXPECT_NE(after, 0u);
        EXPECT_EQ(own.Look(kFolder), after);
        held.close();
    }
}

TEST_F(FolderWatchTest, AMissingFolderIsNeverQuiet) {
    EXPECT_EQ(watch.Look("C:\\Missing"), 0u);
    WriteHostFile(host.HostOf("C:\\NotAFolder"), "x");
    EXPECT_EQ(watch.Look("C:\\NotAFolder"), 0u);
    EXPECT_EQ(watch.Look("C:\\NotAFolder"), 0u);
}

// A file changed through a link or through its second name elsewhere would
// tell this folder nothing.
TEST_F(FolderWatchTest, AFolderHoldingALinkOrASecondNameIsNotQuietUntilItGoes) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& elsewhere, const fs::path& entry)> make;
    };
    const Case cases[] = {
        {"link to a file", [](const fs::path& e, const fs::path& n) { fs::create_symlink(e, n); }},
        {"link to nothing", [](const fs::path& e, const fs::path& n) { fs::create_symlink(e.string() + ".gone", n); }},
        {"second name", [](const fs::path& e, const fs::path& n) { fs::create_hard_link(e, n); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path elsewhere = host.HostOf("C:\\Elsewhere.DAT");
        WriteHostFile(elsewhere, "[LogFile]\r\n");
        c.make(elsewhere, File("Linked.DAT"));
        EXPECT_EQ(watch.Look(kFolder), 0u);
        EXPECT_EQ(watch.Look(kFolder), 0u);
        fs::remove(File("Linked.DAT"));
        const std::uint64_t quiet = watch.Look(kFolder);
        EXPECT_NE(quiet, 0u);
        EXPECT_EQ(watch.Look(kFolder), quiet);
    }
}

TEST_F(FolderWatchTest, AFolderPutInThePlaceOfTheWatchedOneIsWatchedInstead) {
    const std::uint64_t first = watch.Look(kFolder);
    ASSERT_NE(first, 0u);
    fs::rename(Folder(), host.HostOf("C:\\Old"));
    EXPECT_EQ(watch.Look(kFolder), 0u);
    WriteHostFile(File("Rule.DAT"), "[LogFile]\r\n");
    const std::uint64_t second = watch.Look(kFolder);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    WriteHostFile(host.HostOf("C:\\Old\\Rule.DAT"), "changed where it went");
    EXPECT_EQ(watch.Look(kFolder), second);
    WriteHostFile(File("Rule.DAT"), "changed here");
    EXPECT_NE(watch.Look(kFolder), second);
}

TEST_F(FolderWatchTest, ALinkedFolderLedElsewhereIsWatchedWhereItLeads) {
    const fs::path one = host.HostOf("C:\\One"), two = host.HostOf("C:\\Two");
    WriteHostFile(one / "Rule.DAT", "one");
    WriteHostFile(two / "Rule.DAT", "two");
    fs::create_directory_symlink(one, host.HostOf("C:\\Linked"));
    const std::uint64_t first = watch.Look("C:\\Linked");
    ASSERT_NE(first, 0u);
    fs::remove(host.HostOf("C:\\Linked"));
    fs::create_directory_symlink(two, host.HostOf("C:\\Linked"));
    const std::uint64_t second = watch.Look("C:\\Linked");
    EXPECT_NE(second, first);
    WriteHostFile(two / "Rule.DAT", "two, changed");
    EXPECT_NE(watch.Look("C:\\Linked"), second);
}

}  // namespace
