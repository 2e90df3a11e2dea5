#include "StderrCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

StderrCapture::StderrCapture() {
    char name[] = "/tmp/quarnel-stderr-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    path_ = name;
    savedFd_ = dup(STDERR_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
}

StderrCapture::~StderrCapture() {
    dup2(savedFd_, STDERR_FILENO);
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
