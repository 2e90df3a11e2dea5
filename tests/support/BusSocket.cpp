#include "BusSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace testsupport {

BusSocket::BusSocket(const std::string& name, bool abstract, std::optional<std::string> answer)
    : name_(name), abstract_(abstract), answer_(std::move(answer)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (name.size() + offset >= sizeof(address.sun_path) || ::pipe(stopPipe_) != 0) return;
    std::memcpy(address.sun_path + offset, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size() + (abstract ? 0 : 1));
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(listener_, 16) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    server_ = std::thread([this] { Serve(); });
}

BusSocket::~BusSocket() {
    if (server_.joinable()) {
        const char stop = 1;
        if (::write(stopPipe_[1], &stop, 1) != 1) {}
        server_.join();
    }
    for (const int connection : connections_) ::close(connection);
    for (const int end : stopPipe_)
        if (end >= 0) ::close(end);
    if (listener_ >= 0) ::close(listener_);
    if (!abstract_) ::unlink(name_.c_str());
}

std::string BusSocket::Address() const { return (abstract_ ? "unix:abstract=" : "unix:path=") + name_; }

void BusSocket::Serve() {
    for (;;) {
        pollfd entries[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) continue;
        if (entries[1].revents) return;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        connections_.push_back(connection);
        if (answer_) Answer(connection);
    }
}

// Reads up to the end of the first line, then answers it.
void BusSocket::Answer(int connection) {
    std::string received;
    char buffer[256];
    while (received.find("\r\n") == std::string::npos) {
        pollfd entry{connection, POLLIN, 0};
        if (::poll(&entry, 1, 5000) <= 0) return;
        const ssize_t n = ::read(connection, buffer, sizeof(buffer));
        if (n <= 0) return;
        received.append(buffer, static_cast<size_t>(n));
    }
    if (::write(connection, answer_->data(), answer_->size()) < 0) return;
}

}  // namespace testsupport
