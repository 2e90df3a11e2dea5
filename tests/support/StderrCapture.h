#pragma once
// Collects what this process writes to standard error (the debug output),
// or to another of its descriptors such as standard output, while the object
// lives; programs it starts meanwhile write there too.
#include <string>

namespace testsupport {

class StderrCapture {
public:
    explicit StderrCapture(int capturedFd = 2);
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string Text() const;

private:
    int fd_;
    int savedFd_;
    std::string path_;
};

}  // namespace testsupport
