// Host child processes: what they get of this process and what they leave
// behind in it, on every path out.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "platform/api/Process.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/HostProcess.h"
#include "support/TempHost.h"

namespace {

// Probed one by one, so that looking opens nothing.
std::set<int> OpenDescriptors() {
    std::set<int> open;
    for (int fd = 0; fd < 4096; ++fd)
        if (fcntl(fd, F_GETFD) != -1) open.insert(fd);
    return open;
}

void ExpectSameDescriptors(const std::set<int>& before, const std::string& what) {
    EXPECT_EQ(OpenDescriptors(), before) << what;
}

// Lowers the descriptor limit so that only `free` more descriptors can be
// opened, for the life of the object.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int free) {
        getrlimit(RLIMIT_NOFILE, &previous_);
        const std::set<int> open = OpenDescriptors();
        int candidate = 0;
        for (int found = 0;; ++candidate) {
            if (open.count(candidate)) continue;
            if (found++ == free) break;
        }
        rlimit lowered = previous_;
        lowered.rlim_cur = static_cast<rlim_t>(candidate);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &previous_); }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
    rlimit previous_{};
};

TEST(RunHostProgram, FeedsTheInputAndCollectsBothOutputsBeyondAPipeBuffer) {
    const std::string input(300 * 1024, 'q');
    const platform::HostRun run = platform::RunHostProgram(
        {"/bin/sh", "-c", "cat; head -c 200000 /dev/zero | tr '\\0' e >&2; exit 3"}, input);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, input);
    EXPECT_EQ(run.error, std::string(200000, 'e'));
}

TEST(RunHostProgram, SurvivesAChildThatLeavesItsInputUnread) {
    const platform::HostRun run = platform::RunHostProgram({"/bin/sh", "-c", "exec 0<&-; echo done"},
                                                           std::string(1024 * 1024, 'x'));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "done\n");
}

// Whatever step fails (a pipe that cannot be made, a program that cannot be
// started) or succeeds, no descriptor is left open behind the run.
TEST(RunHostProgram, LeavesNoDescriptorOpenOnAnyPath) {
    const std::vector<std::string> echo = {"/bin/echo", "hello"};
    {
        const std::set<int> before = OpenDescriptors();
        EXPECT_EQ(platform::RunHostProgram(echo, "input").output, "hello\n");
        ExpectSameDescriptors(before, "a run that succeeded");
    }
    {
        const std::set<int> before = OpenDescriptors();
        EXPECT_EQ(platform::RunHostProgram({"/nonexistent/program"}, "input").exitCode, -1);
        ExpectSameDescriptors(before, "a program that does not exist");
    }
    for (int free = 0; free <= 5; ++free) {
        const std::set<int> before = OpenDescriptors();
        platform::HostRun run;
        {
            const DescriptorLimit limit(free);
            run = platform::RunHostProgram(echo, "input");
        }
        EXPECT_EQ(run.exitCode, -1) << free << " descriptors free";
        ExpectSameDescriptors(before, std::to_string(free) + " descriptors free");
    }
}

// A descriptor this process opened without close-on-exec does not reach the
// child; the one passed does, as descriptor 3.
TEST(SpawnHostProgram, GivesTheChildOnlyItsStandardDescriptorsAndThePassedOne) {
    const int opened = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(opened, 0);
    const int inherited = fcntl(opened, F_DUPFD, 50);  // without close-on-exec
    const int passed = fcntl(opened, F_DUPFD_CLOEXEC, 60);
    close(opened);
    platform::HostProgramStart start;
    start.argv = {"/bin/sh", "-c",
                  "test -e /proc/self/fd/" + std::to_string(inherited) +
                      " && exit 1; test -e /proc/self/fd/3 || exit 2; test -e /proc/self/fd/" +
                      std::to_string(passed) + " && exit 3; exit 0"};
    start.passedDescriptor = passed;
    const platform::HostSpawn spawned = platform::SpawnHostProgram(start);
    close(inherited);
    close(passed);
    ASSERT_EQ(spawned.error, 0);
    int status = 0;
    ASSERT_EQ(waitpid(spawned.pid, &status, 0), spawned.pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: an inherited descriptor, 2: no descriptor 3, 3: the passed one twice";
}

TEST(SpawnHostProgram, ReportsAProgramThatCannotBeStarted) {
    const std::set<int> before = OpenDescriptors();
    platform::HostProgramStart start;
    start.argv = {"/nonexistent/program"};
    const platform::HostSpawn spawned = platform::SpawnHostProgram(start);
    EXPECT_EQ(spawned.error, ENOENT);
    EXPECT_EQ(spawned.pid, -1);
    ExpectSameDescriptors(before, "a program that does not exist");
}

// The process layer's own pipe (our tool's full exit code) and process
// handle are gone once the child has been waited for, and never left behind
// by a start that fails.
TEST(StartCommandLine, LeavesNoDescriptorOpenOnceTheChildIsWaitedFor) {
    testsupport::TempHost host;
    const std::set<int> before = OpenDescriptors();
    EXPECT_EQ(platform::WaitForChildExit(platform::StartCommandLine("cmd.exe /c exit 300")), 300u);
    ExpectSameDescriptors(before, "our tool, waited for");
    EXPECT_THROW(platform::StartCommandLine("C:\\Missing\\none.exe"), RuntimeError);
    ExpectSameDescriptors(before, "a program that does not exist");
}

}  // namespace
