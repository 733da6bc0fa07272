#include "RawRecorder.h"

#include <cerrno>
#include <cstring>

#include "RawHeader.h"
#include "orvane/base/Logger.h"

namespace orvane {

RawRecorder::RawRecorder(uint64_t chunkBytes, size_t poolChunks) : chunkBytes_(chunkBytes), poolChunks_(poolChunks) {}

RawRecorder::~RawRecorder()
{
    stop();
}

RawRecorder::Start RawRecorder::start(const std::string& path)
{
    std::lock_guard control(controlLock);
    if (recording_.load()) return Start::AlreadyRecording;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) return Start::CannotOpen;
    const std::string header = rawFileHeader(kRecordingHeaderDate);  // the same bytes every time
    file.write(header.data(), static_cast<std::streamsize>(header.size()));
    file.flush();
    if (!file.good()) return Start::CannotOpen;  // a full disk: better now than at the stop
    recordFile = std::move(file);
    recordPath = path;
    writeFailed = false;
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

void RawRecorder::recordLoop()
{
    std::unique_lock lock(recordLock);
    while (true) {
        // The predicate makes a stop that comes before the wait still end it.
        recordCond.wait(lock, [this] { return !recordQueue.empty() || !recording_.load(); });
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
    }
}

void RawRecorder::write(const uint8_t* data, uint64_t size)
{
    if (size == 0) return;
    recordFile.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!recordFile.good() && !writeFailed) {
        writeFailed = true;
        ORVANE_LOG_ERROR("Writing the recording %s failed: %s", recordPath.c_str(), std::strerror(errno));
    }
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
    recordFile.close();
    const bool failed = writeFailed || recordFile.fail();
    recordPool.reset();
    if (failed) {
        ORVANE_LOG_ERROR("The recording %s is incomplete: the file could not be written.", recordPath.c_str());
        return -1;
    }
    return 0;
}

}  // namespace orvane
