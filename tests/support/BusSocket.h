#pragma once
// A unix socket where a session bus would be: it accepts every connection
// and then either never reads nor writes (as a stopped bus daemon does) or
// answers the first line of the authentication with the text given.
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class BusSocket {
public:
    // A socket file at the path, or an abstract name when abstract is set.
    BusSocket(const std::string& name, bool abstract, std::optional<std::string> answer);
    ~BusSocket();
    BusSocket(const BusSocket&) = delete;
    BusSocket& operator=(const BusSocket&) = delete;

    bool Listening() const { return listener_ >= 0; }
    // The bus address of the socket ("unix:path=..." or "unix:abstract=...").
    std::string Address() const;

private:
    void Serve();
    void Answer(int connection);

    std::string name_;
    bool abstract_;
    std::optional<std::string> answer_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::vector<int> connections_;
    std::thread server_;
};

}  // namespace testsupport
