#include "net/ZipDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <string_view>

#include "platform/api/RuntimeError.h"

namespace zipdeflate {

namespace {

constexpr std::size_t kDictionarySize = 32 * 1024;
constexpr std::size_t kWakeBatch = 8;

RuntimeError OutOfMemory() { return RuntimeError(7, "Quarnel", "Out of memory"); }
RuntimeError InternalError() { return RuntimeError(51, "Quarnel", "Internal error"); }

// One deflate state per worker, reset for every block: a folder of small
// files must not pay for a fresh state and output buffer per file.
class BlockDeflater {
public:
    BlockDeflater() {
        if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw OutOfMemory();
    }
    ~BlockDeflater() { deflateEnd(&stream_); }
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    // A block that is not the last ends with an empty stored block instead
    // of the final-block mark, so the next block's data can follow it.
    std::string Deflate(std::string_view dictionary, std::string_view input, bool last) {
        if (deflateReset(&stream_) != Z_OK) throw InternalError();
        if (!dictionary.empty() &&
            deflateSetDictionary(&stream_, Bytes(dictionary), static_cast<uInt>(dictionary.size())) != Z_OK)
            throw InternalError();
        const std::size_t bound = deflateBound(&stream_, static_cast<uLong>(input.size())) + 16;
        if (buffer_.size() < bound) buffer_.resize(bound);
        stream_.next_in = const_cast<Bytef*>(Bytes(input));
        stream_.avail_in = static_cast<uInt>(input.size());
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        std::size_t made = 0;
        for (;;) {
            stream_.next_out = reinterpret_cast<Bytef*>(buffer_.data() + made);
            stream_.avail_out = static_cast<uInt>(buffer_.size() - made);
            const int result = deflate(&stream_, flush);
            made = buffer_.size() - stream_.avail_out;
            if (result == Z_STREAM_ERROR) throw InternalError();
            const bool done = last ? result == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0;
            if (done) break;
            buffer_.resize(buffer_.size() * 2);
        }
        return std::string(buffer_.data(), made);
    }

private:
    static const Bytef* Bytes(std::string_view text) { return reinterpret_cast<const Bytef*>(text.data()); }

    z_stream stream_{};
    std::string buffer_;
};

Deflated DeflateBlock(const std::string& content, std::size_t index, std::size_t count) {
    thread_local BlockDeflater deflater;
    const std::string_view all(content);
    const std::size_t start = index * kBlockSize;
    const std::string_view input = all.substr(start, kBlockSize);
    const std::size_t dictionaryStart = start > kDictionarySize ? start - kDictionarySize : 0;
    const std::string_view dictionary = all.substr(dictionaryStart, start - dictionaryStart);
    Deflated block;
    block.crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(input.data()), static_cast<uInt>(input.size())));
    block.data = deflater.Deflate(dictionary, input, index + 1 == count);
    return block;
}

}  // namespace

void DeflatePool::WakeForQueued() {
    std::size_t wakeUps = 0;
    {
        std::lock_guard lock(mutex_);
        wakeUps = std::min(jobs_.size(), idle_);
    }
    for (std::size_t i = 0; i < wakeUps; ++i) wake_.notify_one();
}

Deflated PendingDeflate::Take() {
    pool_->WakeForQueued();
    Deflated whole;
    whole.crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    std::size_t offset = 0;
    for (auto& future : blocks_) {
        Deflated block = future.get();
        const std::size_t length = std::min(kBlockSize, content_->size() - offset);
        whole.crc = static_cast<std::uint32_t>(crc32_combine(whole.crc, block.crc, static_cast<z_off_t>(length)));
        whole.data += block.data;
        offset += length;
    }
    blocks_.clear();
    content_.reset();
    return whole;
}

unsigned DeflatePool::DefaultThreads() { return std::clamp(std::thread::hardware_concurrency(), 1u, 4u); }

DeflatePool::DeflatePool(unsigned threads) {
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) threads_.emplace_back([this] { Work(); });
}

DeflatePool::~DeflatePool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void DeflatePool::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            ++idle_;
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            --idle_;
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

PendingDeflate DeflatePool::Start(std::shared_ptr<const std::string> content) {
    PendingDeflate pending;
    pending.pool_ = this;
    pending.content_ = std::move(content);
    const std::size_t count = std::max<std::size_t>(1, (pending.content_->size() + kBlockSize - 1) / kBlockSize);
    std::size_t wakeUps = 0;
    {
        std::lock_guard lock(mutex_);
        for (std::size_t index = 0; index < count; ++index) {
            auto task = std::make_shared<std::packaged_task<Deflated()>>(
                [content = pending.content_, index, count] { return DeflateBlock(*content, index, count); });
            pending.blocks_.push_back(task->get_future());
            jobs_.emplace_back([task] { (*task)(); });
        }
        // A wake-up is a system call: the blocks of small files gather until a
        // handful is queued (Take wakes the workers for the rest), and busy
        // workers come back to the queue by themselves.
        if (jobs_.size() >= kWakeBatch || count > 1) wakeUps = std::min(jobs_.size(), idle_);
    }
    for (std::size_t i = 0; i < wakeUps; ++i) wake_.notify_one();
    return pending;
}

}  // namespace zipdeflate
