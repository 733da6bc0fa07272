// Writes a raw recording: the fixed header, then the EVT 3.0 bytes a camera thread appends, in
// pooled chunks that a record thread writes to the file, so the camera thread never waits for the
// disk. The chunk being filled is written at stop, so a recording holds every appended byte.
//
// Threads: append on the camera thread; start, stop and the queries on the application thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orvane/driver/ObjectPool.h"

namespace orvane {

class RawRecorder {
public:
    enum class Start { Started, AlreadyRecording, CannotOpen };

    // A chunk goes to the record thread once it holds more than `chunkBytes`; the pool starts
    // with `poolChunks` chunks of that size and grows when the disk falls behind.
    RawRecorder(uint64_t chunkBytes, size_t poolChunks);
    ~RawRecorder();  // stops a running recording
    RawRecorder(const RawRecorder&) = delete;
    RawRecorder& operator=(const RawRecorder&) = delete;

    // Creates or truncates `path` and writes the header.
    Start start(const std::string& path);
    bool recording() const { return recording_.load(); }
    void append(const uint8_t* data, size_t size);
    // Writes what is left and closes the file: 0, or -1 (logged) when a write or the close failed.
    // 0 when not recording.
    int stop();
    uint64_t appendedBytes() const { return appended_.load(); }

private:
    void recordLoop();
    void write(const uint8_t* data, uint64_t size);

    std::mutex controlLock;  // one start or stop at a time, whichever threads call them
    const uint64_t chunkBytes_;
    const size_t poolChunks_;
    std::ofstream recordFile;
    std::string recordPath;
    std::unique_ptr<ObjectPool<std::vector<uint8_t>>> recordPool;
    std::shared_ptr<std::vector<uint8_t>> recordBuffer;  // the chunk being filled
    std::mutex recordBufferLock;  // the camera thread's appends against the final flush at stop
    std::deque<std::shared_ptr<std::vector<uint8_t>>> recordQueue;
    std::mutex recordLock;
    std::condition_variable recordCond;
    std::thread recordThread;
    std::atomic<bool> recording_{false};
    std::atomic<uint64_t> appended_{0};
    bool writeFailed = false;  // record thread only, read after join
};

}  // namespace orvane
