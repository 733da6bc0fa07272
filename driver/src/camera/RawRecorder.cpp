#include "RawRecorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "FileSizeSignal.h"
#include "RawHeader.h"
#include "orvane/base/Logger.h"

namespace orvane {
namespace {

// How often the record thread looks at the age of the chunk being filled.
constexpr std::chrono::milliseconds kAgeCheckPeriod{50};

std::string writeErrorText(int error)
{
    if (error == EFBIG) return "file size limit reached";
    return std::strerror(error);
}

}  // namespace

RawRecorder::RawRecorder(uint64_t chunkBytes, size_t poolChunks) : chunkBytes_(chunkBytes), poolChunks_(poolChunks) {}

RawRecorder::~RawRecorder()
{
    stop();
}

RawRecorder::Start RawRecorder::start(const std::string& path)
{
    std::lock_guard control(controlLock);
    if (recording_.load()) return Start::AlreadyRecording;
    ignoreFileSizeSignal();
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return Start::CannotOpen;
    recordPath = path;
    writeFailed_ = false;
    {
        std::lock_guard lock(statsLock);
        stats = {};
    }
    const std::string header = rawFileHeader(kRecordingHeaderDate);  // the same bytes every time
    write(reinterpret_cast<const uint8_t*>(header.data()), header.size());
    if (writeFailed_.load()) {  // a full disk: better now than at the stop
        ::close(fd);
        fd = -1;
        return Start::CannotOpen;
    }
    appended_ = 0;
    recordPool = std::make_unique<ObjectPool<std::vector<uint8_t>>>(
        ObjectPool<std::vector<uint8_t>>::create(poolChunks_, false, chunkBytes_));
    {
        std::lock_guard lock(recordBufferLock);
        recordBuffer = recordPool->acquire();
        recordBuffer->clear();
        recordQueue.clear();
        recording_ = true;
    }
    recordThread = std::thread(&RawRecorder::recordLoop, this);
    return Start::Started;
}

void RawRecorder::append(const uint8_t* data, size_t size)
{
    std::lock_guard guard(recordBufferLock);
    if (!recording_.load()) return;  // the stop took the last chunk already
    if (recordBuffer->empty()) recordBufferSince = std::chrono::steady_clock::now();
    recordBuffer->insert(recordBuffer->end(), data, data + size);
    appended_ += size;
    if (recordBuffer->size() > chunkBytes_) {
        {
            std::lock_guard lock(recordLock);
            recordQueue.push_back(recordBuffer);
        }
        recordCond.notify_one();
        recordBuffer = recordPool->acquire();
        recordBuffer->clear();
    }
}

RawRecorder::Chunk RawRecorder::takeAgedChunk()
{
    std::lock_guard guard(recordBufferLock);
    if (!recordBuffer || recordBuffer->empty()) return nullptr;
    if (std::chrono::steady_clock::now() - recordBufferSince < kMaxChunkAge) return nullptr;
    Chunk aged = std::move(recordBuffer);
    recordBuffer = recordPool->acquire();
    recordBuffer->clear();
    return aged;
}

void RawRecorder::recordLoop()
{
    std::unique_lock lock(recordLock);
    while (true) {
        // The predicate makes a stop that comes before the wait still end it; the timeout lets a
        // quiet camera's bytes reach the file within kMaxChunkAge.
        recordCond.wait_for(lock, kAgeCheckPeriod, [this] { return !recordQueue.empty() || !recording_.load(); });
        while (!recordQueue.empty()) {
            auto chunk = std::move(recordQueue.front());
            recordQueue.pop_front();
            // Write outside the lock: the camera thread must never wait for the disk, or the
            // device would overflow and drop data.
            lock.unlock();
            write(chunk->data(), chunk->size());
            chunk.reset();
            lock.lock();
        }
        if (!recording_.load()) return;
        // The filling chunk is taken outside the queue's lock: append takes the two locks the
        // other way round.
        lock.unlock();
        if (Chunk aged = takeAgedChunk()) write(aged->data(), aged->size());
        lock.lock();
    }
}

void RawRecorder::write(const uint8_t* data, uint64_t size)
{
    // After a failure nothing more goes in, so the file stays a whole prefix of the stream
    // rather than one with a hole where space ran out.
    if (size == 0 || writeFailed_.load()) return;
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            writeFailed_ = true;
            const std::string reason = writeErrorText(error);
            ORVANE_LOG_ERROR("Writing the recording %s failed: %s", recordPath.c_str(), reason.c_str());
            std::lock_guard lock(statsLock);
            stats.failure = reason;
            break;
        }
        done += static_cast<uint64_t>(n);
    }
    std::lock_guard lock(statsLock);
    stats.smallestWrite = stats.writes == 0 ? size : std::min(stats.smallestWrite, size);
    stats.largestWrite = std::max(stats.largestWrite, size);
    ++stats.writes;
    stats.bytes += done;
}

RawRecorder::WriteStats RawRecorder::writeStats() const
{
    std::lock_guard lock(statsLock);
    return stats;
}

int RawRecorder::stop()
{
    std::lock_guard control(controlLock);
    if (!recording_.load()) return 0;
    {
        // The chunk being filled holds the last bytes the camera delivered: queue it too.
        std::lock_guard guard(recordBufferLock);
        std::lock_guard lock(recordLock);
        if (recordBuffer && !recordBuffer->empty()) recordQueue.push_back(recordBuffer);
        recordBuffer.reset();
        recording_ = false;
    }
    recordCond.notify_one();
    if (recordThread.joinable()) recordThread.join();
    bool failed = writeFailed_.load();
    // The recording is on the disk, not only in the page cache, when the stop returns.
    if (::fsync(fd) != 0 && errno != EINVAL) {
        ORVANE_LOG_ERROR("Syncing the recording %s failed: %s", recordPath.c_str(), std::strerror(errno));
        failed = true;
    }
    if (::close(fd) != 0) failed = true;
    fd = -1;
    recordPool.reset();
    if (failed) {
        ORVANE_LOG_ERROR("The recording %s is incomplete: the file could not be written.", recordPath.c_str());
        return -1;
    }
    return 0;
}

}  // namespace orvane
