// Writes a raw recording: the fixed header, then the EVT 3.0 bytes a camera thread appends, in
// pooled chunks that a record thread writes to the file, so the camera thread never waits for the
// disk. A chunk goes to the file when it is full or when its oldest byte has waited kMaxChunkAge,
// so a process that is killed or crashes loses at most about a quarter of a second, at any rate.
// The chunk being filled is written at stop, and stop syncs the file to the disk.
//
// Threads: append on the camera thread; the record thread writes; start, stop and the queries on
// the application thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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

    // How long appended bytes may wait in memory before they are written.
    static constexpr std::chrono::milliseconds kMaxChunkAge{200};

    // What the record thread wrote so far: the sizes of its writes tell whether chunks go out full
    // (a busy camera) or by age (a quiet one).
    struct WriteStats {
        uint64_t writes = 0;
        uint64_t bytes = 0;
        uint64_t smallestWrite = 0;
        uint64_t largestWrite = 0;
        std::string failure;  // why the first failed write failed ("file size limit reached"), or empty
    };

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
    // Writes what is left, syncs and closes the file: 0, or -1 (logged) when a write, the sync or
    // the close failed. 0 when not recording.
    int stop();
    uint64_t appendedBytes() const { return appended_.load(); }
    // True from the first failed write on (logged at once with its reason); the file then holds
    // every byte up to that write and nothing after it.
    bool writeFailed() const { return writeFailed_.load(); }
    WriteStats writeStats() const;

private:
    using Chunk = std::shared_ptr<std::vector<uint8_t>>;

    void recordLoop();
    // The chunk being filled when its oldest byte is older than kMaxChunkAge, else null.
    Chunk takeAgedChunk();
    void write(const uint8_t* data, uint64_t size);

    std::mutex controlLock;  // one start or stop at a time, whichever threads call them
    const uint64_t chunkBytes_;
    const size_t poolChunks_;
    int fd = -1;
    std::string recordPath;
    std::unique_ptr<ObjectPool<std::vector<uint8_t>>> recordPool;
    Chunk recordBuffer;  // the chunk being filled
    std::chrono::steady_clock::time_point recordBufferSince;  // when its first byte came
    std::mutex recordBufferLock;  // the chunk being filled, between the camera and the record thread
    std::deque<Chunk> recordQueue;
    std::mutex recordLock;
    std::condition_variable recordCond;
    std::thread recordThread;
    std::atomic<bool> recording_{false};
    std::atomic<uint64_t> appended_{0};
    std::atomic<bool> writeFailed_{false};
    mutable std::mutex statsLock;
    WriteStats stats;
};

}  // namespace orvane
