#pragma once
// Raw deflate of entry contents on a few worker threads. A content is cut
// into blocks, each deflated on its own with the 32 KB before it as its
// dictionary and ended on a byte boundary, so the blocks joined in order are
// one valid deflate stream; the CRC-32s of the blocks are combined. A content
// of one block comes out byte for byte as one deflate call would make it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zipdeflate {

constexpr std::size_t kBlockSize = 128 * 1024;

struct Deflated {
    std::uint32_t crc = 0;
    std::string data;
};

// The work of one content: its blocks, deflated as the workers get to them.
class PendingDeflate {
public:
    // Waits for every block; a compression failure is raised here.
    Deflated Take();

private:
    friend class DeflatePool;
    class DeflatePool* pool_ = nullptr;
    std::shared_ptr<const std::string> content_;
    std::vector<std::future<Deflated>> blocks_;
};

class DeflatePool {
public:
    explicit DeflatePool(unsigned threads = DefaultThreads());
    ~DeflatePool();
    DeflatePool(const DeflatePool&) = delete;
    DeflatePool& operator=(const DeflatePool&) = delete;

    PendingDeflate Start(std::shared_ptr<const std::string> content);
    static unsigned DefaultThreads();

private:
    friend class PendingDeflate;
    void Work();
    void WakeForQueued();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::size_t idle_ = 0;   // workers waiting for a job
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace zipdeflate
