// The test hosts themselves: a host goes when its test ends, also when a
// program the test started without waiting outlives the test, and the host
// of a test that was killed goes with the next test's host.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "platform/api/Process.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::WriteHostFile;

TEST(TempHost, GoesWithItsTestEvenWhenAProgramItStartedOutlivesTheTest) {
    fs::path folder;
    long program = 0;
    {
        testsupport::TempHost host;
        folder = host.Folder();
        // A script that writes into its host a moment after the test has ended.
        WriteHostFile(host.HostOf("C:\\late.cmd"), "@ping -n 3 127.0.0.1 > nul\r\n@echo late> C:\\late.txt\r\n");
        program = platform::StartCommandLine("C:\\late.cmd");
        ASSERT_GT(program, 0);
    }
    platform::WaitForChildExit(program);
    EXPECT_FALSE(fs::exists(folder)) << folder;
}

TEST(TempHost, TheHostOfAKilledTestGoesWithTheNextHost) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        testsupport::TempHost host;
        const std::string folder = host.Folder().string() + "\n";
        if (write(ends[1], folder.data(), folder.size()) != static_cast<ssize_t>(folder.size())) _exit(1);
        pause();
        _exit(0);
    }
    close(ends[1]);
    std::string folder;
    char c = 0;
    while (read(ends[0], &c, 1) == 1 && c != '\n') folder += c;
    close(ends[0]);
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(fs::exists(folder));
    kill(test, SIGKILL);
    waitpid(test, nullptr, 0);
    testsupport::TempHost next;
    EXPECT_FALSE(fs::exists(folder)) << folder;
}

}  // namespace
