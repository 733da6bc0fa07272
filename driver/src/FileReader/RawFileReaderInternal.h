// What the RawFileReader sources share and nobody else sees.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane {

// "'path'": how messages name a file.
inline std::string inQuotes(const std::string& path)
{
    return "'" + path + "'";
}

// A file mapped read-only, whole: the index is checked and parsed in place, without a copy.
struct MappedIndex {
    const uint8_t* data = nullptr;
    size_t size = 0;
    MappedIndex() = default;
    MappedIndex(const MappedIndex&) = delete;
    MappedIndex& operator=(const MappedIndex&) = delete;
    ~MappedIndex();
};

// The index build and large reads into a sink read the file ahead on a second thread into a few
// chunks that stay in the cache: the copy out of the page cache is that thread's work.
inline constexpr size_t kChunkBytes = 1 << 20;  // even: every chunk starts on a word of the data
inline constexpr size_t kChunks = 4;
// [from, to) of a file in chunks, read on a second thread when `ahead`. A failed or short read ends
// the chunks early with failed() true.
class ChunkReader {
public:
    ChunkReader(int fd, uint64_t from, uint64_t to, bool ahead) : fd_(fd), next_pos_(from), to_(to)
    {
        for (auto& c : slots_) c.bytes.resize(kChunkBytes);
        if (ahead) reader_ = std::thread([this] { readAll(); });
    }
    ~ChunkReader()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (reader_.joinable()) reader_.join();
    }
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    struct View {
        const uint8_t* data = nullptr;
        size_t size = 0;  // 0 at the end
        uint64_t pos = 0;
    };
    // The next chunk; it stays valid until the next call.
    View next()
    {
        Slot& s = slots_[taken_ % kChunks];
        if (!reader_.joinable()) {
            s.size = readChunk(s, next_pos_);
            s.pos = next_pos_;
            next_pos_ += s.size;
        } else {
            std::unique_lock lock(mutex_);
            if (taken_ > 0) {
                slots_[(taken_ - 1) % kChunks].full = false;
                changed_.notify_all();
            }
            changed_.wait(lock, [&] { return s.full; });
        }
        ++taken_;
        return View{s.bytes.data(), s.size, s.pos};
    }
    bool failed() const
    {
        std::lock_guard lock(mutex_);
        return failed_;
    }

private:
    struct Slot {
        std::vector<uint8_t> bytes;
        size_t size = 0;
        uint64_t pos = 0;
        bool full = false;
    };

    size_t readChunk(Slot& s, uint64_t pos)
    {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, to_ - pos));
        size_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(fd_, s.bytes.data() + got, want - got, static_cast<off_t>(pos + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got < want) {
            std::lock_guard lock(mutex_);
            failed_ = true;
            return 0;
        }
        return got;
    }

    void readAll()
    {
        for (size_t k = 0;; ++k) {
            Slot& s = slots_[k % kChunks];
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return !s.full || stop_; });
                if (stop_) return;
            }
            const uint64_t pos = next_pos_;
            const size_t size = readChunk(s, pos);
            next_pos_ += size;
            {
                std::lock_guard lock(mutex_);
                s.pos = pos;
                s.size = size;
                s.full = true;
            }
            changed_.notify_all();
            if (size == 0) return;
        }
    }

    const int fd_;
    uint64_t next_pos_;
    const uint64_t to_;
    Slot slots_[kChunks];
    size_t taken_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool failed_ = false;
    std::thread reader_;
};

struct Fd {
    int fd;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace orvane

