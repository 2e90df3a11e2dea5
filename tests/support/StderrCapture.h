#pragma once
// Collects what this process writes to standard error (the debug output)
// while the object lives.
#include <string>

namespace testsupport {

class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string Text() const;

private:
    int savedFd_;
    std::string path_;
};

}  // namespace testsupport
