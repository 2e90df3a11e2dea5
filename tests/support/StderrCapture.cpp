#include "StderrCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

StderrCapture::StderrCapture(int capturedFd) : fd_(capturedFd) {
    char name[] = "/tmp/quarnel-stderr-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    path_ = name;
    fflush(nullptr);
    savedFd_ = dup(fd_);
    dup2(fd, fd_);
    close(fd);
}

StderrCapture::~StderrCapture() {
    fflush(nullptr);
    dup2(savedFd_, fd_);
    close(savedFd_);
    unlink(path_.c_str());
}

std::string StderrCapture::Text() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testsupport
