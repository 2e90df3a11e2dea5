#pragma once
// A private X server for one test: Xvfb started with -displayfd picks a free
// display number, so tests that each start one run in parallel. The server
// ends with the object.
#include <sys/types.h>

#include <string>

namespace testsupport {

class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Started() const { return !display_.empty(); }
    // ":N", for DISPLAY; empty when the server did not start.
    const std::string& Display() const { return display_; }
    // xdotool run on this display, its output without the last line end.
    std::string XDoTool(const std::string& arguments) const;

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace testsupport
