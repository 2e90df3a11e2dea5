#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {
namespace {

constexpr int kStartLimitMs = 20000;

// Reads the display number the server writes, up to its newline.
std::string ReadDisplayNumber(int fd) {
    std::string number;
    for (int waited = 0; waited < kStartLimitMs;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) {
            waited += 100;
            continue;
        }
        char c = 0;
        if (read(fd, &c, 1) != 1) break;
        if (c == '\n') return number;
        number += c;
    }
    return {};
}

}  // namespace

XvfbServer::XvfbServer() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    const std::string fd = std::to_string(pipeFds[1]);
    std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", "1280x1024x24",
                                     "-dpi", "96", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        pid_ = -1;
        close(pipeFds[0]);
        return;
    }
    const std::string number = ReadDisplayNumber(pipeFds[0]);
    close(pipeFds[0]);
    if (!number.empty()) display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
}

std::string XvfbServer::XDoTool(const std::string& arguments) const {
    const std::string command = "DISPLAY=" + display_ + " timeout 30 xdotool " + arguments + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    std::array<char, 256> buffer{};
    while (pipe && fgets(buffer.data(), buffer.size(), pipe.get())) output += buffer.data();
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

}  // namespace testsupport
