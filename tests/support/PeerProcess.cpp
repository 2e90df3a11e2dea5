#include "support/PeerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

PeerProcess::PeerProcess(const std::vector<std::string>& arguments, std::chrono::seconds readyWithin) {
    int pipeEnds[2];
    if (arguments.empty() || ::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (pid_ < 0) return;
    ::setpgid(pid_, pid_);

    const auto deadline = std::chrono::steady_clock::now() + readyWithin;
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd waitFor{output_, POLLIN, 0};
        if (::poll(&waitFor, 1, static_cast<int>(left.count()) + 1) <= 0) break;
        if (::read(output_, &c, 1) != 1) break;
        if (c == '\n') {
            ready_ = true;
            break;
        }
        firstLine_ += c;
    }
}

void PeerProcess::Stop() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
}

PeerProcess::~PeerProcess() {
    Stop();
}

std::string OwnLoopbackAddress(int firstInnerByte, unsigned salt) {
    const unsigned n = (static_cast<unsigned>(::getpid()) + salt * 7919) % 62000;
    return "127." + std::to_string(firstInnerByte) + "." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 2);
}

}  // namespace testsupport
