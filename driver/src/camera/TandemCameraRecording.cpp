// Fusion recording: the events to base + ".raw", the frames to base + ".mp4". Each frame goes into
// the mp4 at its own time (DVS time of its trigger edge minus that of the first recorded frame),
// and the first frame's DVS time is kept in the mp4's metadata, so replay lines frames up with
// the events exactly.

#include <algorithm>
#include <filesystem>

#include "RawRecorder.h"
#include "TandemCamera.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/Sensor.h"
#include "orvane/hal/EventStream.h"
#include "orvane/hal/RegisterController.h"

namespace orvane {
namespace {

// Frames waiting for the encoder at most. An encoder slower than the camera would otherwise grow
// memory by 12 MB per frame until the process dies; past this the newest frames are dropped,
// counted and logged.
constexpr size_t kApsBacklogFrames = 64;
// Frames the pool makes at the start; it grows up to the backlog when the encoder falls behind.
constexpr size_t kApsPoolFrames = 4;

// `path` up to the last "." of its file name (a "." in a folder name does not count).
std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

}  // namespace

int TandemCamera::startRecording(std::string path, STREAM_TYPE type)
{
    std::lock_guard control(recordControlLock);
    const std::string base = baseName(path);
    if (type == STREAM_DVS) {
        if (startRecordingDvsStream(base + ".raw") < 0) {
            ORVANE_LOG_INFO("Start Recording DVS Stream Failed.");
            return -1;
        }
        return 0;
    }
    if (type == STREAM_APS) {
        // Frames alone keep their live time, unless the events of this run are being recorded.
        if (!dvsRecorder->recording()) recordTimeBase = 0;
        if (startRecordingApsStream(base + ".mp4") != 0) return -1;
        acceptApsFrames(true);
        return 0;
    }
    if (startRecordingApsStream(base + ".mp4") != 0) {
        ORVANE_LOG_INFO("Start Recording APS Stream Failed.");
        return -1;
    }
    if (startRecordingDvsStream(base + ".raw") != 0) {
        // Both or neither: a lone mp4 would hold frames without the events they go with.
        stopRecordingAps();
        return -1;
    }
    // Frames only of the edges decoded once the raw file records, so that every frame's edge is
    // in it (one edge more, for an edge decoded while the start was under way).
    uint64_t edges;
    {
        std::lock_guard lock(frameMutex);
        edges = risingEdges;
    }
    {
        std::lock_guard lock(apsRecordMutex);
        apsFirstEdge = edges + 2;
    }
    acceptApsFrames(true);
    return 0;
}

void TandemCamera::restartEdgeCount()
{
    // A camera start counts edges from 1 again; the raw file (if recording) gets all of them.
    std::lock_guard lock(apsRecordMutex);
    apsFirstEdge = 0;
}

int TandemCamera::stopRecording(STREAM_TYPE type)
{
    std::lock_guard control(recordControlLock);
    int result = 0;
    // Frames end before the events, so that the raw file holds the edge of every frame in the mp4.
    if (type != STREAM_DVS && apsRecording.load()) {
        acceptApsFrames(false);
        if (stopRecordingAps() != 0) result = -1;
    }
    if (type != STREAM_APS && dvsRecorder->recording() && dvsRecorder->stop() != 0) result = -1;
    return result;
}

void TandemCamera::acceptApsFrames(bool accept)
{
    std::lock_guard lock(apsRecordMutex);
    apsAccepting = accept;
}

FusionCameraStatistics TandemCamera::statistics() const
{
    FusionCameraStatistics out;
    out.eventsDelivered = delivery.eventsDelivered();
    if (const EventStream* stream = dvsSensor ? dvsSensor->getEventStream() : nullptr) {
        out.droppedBuffers = stream->droppedBuffers();
        out.droppedBytes = stream->droppedBytes();
    }
    if (const EventStream* stream = apsSensor ? apsSensor->getEventStream() : nullptr)
        out.apsFramesDroppedByDevice = stream->droppedBuffers();
    RawRecorder::WriteStats writes = dvsRecorder->writeStats();
    out.recordedBytes = writes.bytes;
    out.recordingWrites = writes.writes;
    out.smallestWrite = writes.smallestWrite;
    out.largestWrite = writes.largestWrite;
    out.recordingFailure = std::move(writes.failure);
    out.apsFramesQueued = apsFramesQueued.load();
    out.apsFramesEncoded = apsFramesEncoded.load();
    out.apsFramesFailed = apsFramesFailed.load();
    out.apsFramesDropped = apsFramesDropped.load();
    out.apsFramesRestamped = apsFramesRestamped.load();
    return out;
}

int TandemCamera::startRecordingDvsStream(std::string path)
{
    ++recordSession;  // before the start, so the DVS thread sees the new session with its first bytes
    switch (dvsRecorder->start(path)) {
    case RawRecorder::Start::Started: return 0;
    case RawRecorder::Start::AlreadyRecording: ORVANE_LOG_INFO("Do not save again while saving."); return -1;
    case RawRecorder::Start::CannotOpen: break;
    }
    ORVANE_LOG_ERROR("%s", ("Unable to open " + path + " for writing.").c_str());
    return -1;
}

void TandemCamera::learnRecordTimeBase(const std::vector<uint8_t>& buffer)
{
    constexpr uint64_t kTimeLoopUs = uint64_t{1} << 24;
    const uint64_t session = recordSession.load();
    if (session != probedSession) {
        probedSession = session;
        recordTimeBase = 0;
        probeLiveStart = decoder->getLastTimestamp();
        recordTimeProbe = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
    }
    if (!recordTimeProbe) return;  // learnt already
    recordTimeProbe->scanRange(buffer.data(), buffer.data() + buffer.size());
    const uint64_t fileTime = recordTimeProbe->getLastTimestamp();
    if (fileTime == 0) return;  // no time in the file yet
    // Live and file time at the end of these bytes differ by whole loops; the live time there is
    // a moment past probeLiveStart, far less than half a loop.
    const uint64_t ahead = probeLiveStart + kTimeLoopUs / 2;
    recordTimeBase = ahead > fileTime ? (ahead - fileTime) / kTimeLoopUs * kTimeLoopUs : 0;
    recordTimeProbe.reset();
}

void TandemCamera::prepareDvsData2Save(std::vector<uint8_t>& buffer)
{
    dvsRecorder->append(buffer.data(), buffer.size());
}

int TandemCamera::startRecordingApsStream(std::string path)
{
    if (apsRecording.load()) {
        ORVANE_LOG_INFO("Do not save again while saving.");
        return -1;
    }
    // The encoder is opened here rather than on the record thread, so that a file that cannot be
    // made fails the start instead of leaving a recording that records nothing.
    auto converter = std::make_shared<DataToVideoConverter>();
    converter->setConverterFrameSize(static_cast<int32_t>(apsHeight), static_cast<int32_t>(apsWidth),
                                     static_cast<int32_t>(apsHeight), static_cast<int32_t>(apsWidth));
    converter->setConverterFmt(VIDEO_PIX_FMT_NV12, VIDEO_PIX_FMT_YUV420P);
    // The default preset encodes a 4K frame in about 470 ms on two cores: the recording would fall
    // behind at once and drop most frames. "ultrafast" takes about 22 ms.
    converter->setEncoderPreset("ultrafast");
    // A second a fragment: a recording whose process is killed keeps its video up to the last one.
    converter->setFragmentFrames(30);
    if (converter->initVideoConverter(path) < 0) {
        ORVANE_LOG_ERROR("Video converter initialization failed, please confirm that the input file is correct.");
        return -1;
    }
    std::lock_guard lock(apsRecordMutex);
    apsRecordPath = path;
    apsRecordConverter = std::move(converter);
    apsRecordPool = std::make_unique<ObjectPool<std::vector<uint8_t>>>(
        ObjectPool<std::vector<uint8_t>>::create(kApsPoolFrames, false, kApsFrameBytes));
    apsRecordQueue.clear();
    apsRecordStopping = false;
    apsFirstEdge = 0;
    haveMp4Offset = false;
    mp4Offset = 0;
    lastOffset = -1;
    guessedOffset = false;
    apsFramesQueued = apsFramesEncoded = apsFramesFailed = apsFramesDropped = apsFramesRestamped = 0;
    apsRecording = true;
    apsRecordThread = std::thread(&TandemCamera::apsRecordLoop, this);
    return 0;
}

bool TandemCamera::triggerInEnabled()
{
    try {
        return dvsRegisterController->readRegisterField("ext_trigger_ctrl", "trigger_in_en") != 0;
    } catch (const std::exception&) {
        return false;
    }
}

void TandemCamera::prepareApsData2Save(std::vector<uint8_t>& buffer, uint64_t timestamp, uint64_t edge)
{
    std::lock_guard lock(apsRecordMutex);
    if (!apsRecording.load() || !apsAccepting || apsRecordStopping) return;
    if (edge != 0 && edge < apsFirstEdge) return;
    // With the event stream running and the trigger input on, a frame without an edge since the
    // start was exposed before the event readout ran: it has no DVS time and stays out.
    if (edge == 0 && delivery.streaming() && triggerInEnabled()) return;
    if (apsRecordQueue.size() >= kApsBacklogFrames) {
        if (apsFramesDropped++ == 0) {
            ORVANE_LOG_WARNING("The video encoder cannot keep up with the APS frames; frames are dropped from %s.",
                               apsRecordPath.c_str());
        }
        return;
    }
    if (!haveMp4Offset) {
        haveMp4Offset = true;
        mp4Offset = timestamp;
        ORVANE_LOG_INFO("Mp4 offset: %lld", static_cast<long long>(mp4Offset - recordTimeBase.load()));
    }
    int64_t offset = static_cast<int64_t>(timestamp - mp4Offset);
    if (offset <= lastOffset) {
        // No new trigger edge since the last frame (trigger input off, or its edge late): the
        // frame most likely belongs one frame period on.
        if (apsFramesRestamped++ == 0) {
            ORVANE_LOG_WARNING("APS frames arrive without a new trigger time (the trigger input is off, or its "
                               "edges came late); such a frame is stamped one frame period after the previous one.");
        }
        offset = lastOffset + DataToVideoConverter::kFramePeriodUs;
        guessedOffset = true;
    } else if (guessedOffset) {
        // The frame after a guess keeps its own time unless the guess took it; the mp4 needs
        // increasing times, and a guess must not push every later frame off its edge.
        offset = std::max(offset, lastOffset + 1);
        guessedOffset = false;
    }
    lastOffset = offset;
    auto chunk = apsRecordPool->acquire();
    chunk->assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(kApsFrameBytes));
    apsRecordQueue.push_back({std::move(chunk), offset});
    ++apsFramesQueued;
    apsRecordCond.notify_one();
}

void TandemCamera::apsRecordLoop()
{
    std::unique_lock lock(apsRecordMutex);
    bool metadataWritten = false;
    while (true) {
        apsRecordCond.wait(lock, [this] { return !apsRecordQueue.empty() || apsRecordStopping; });
        while (!apsRecordQueue.empty()) {
            QueuedFrame frame = std::move(apsRecordQueue.front());
            apsRecordQueue.pop_front();
            // In the raw file's time, where replay looks the frames' events up.
            const uint64_t firstFrameTime = mp4Offset - recordTimeBase.load();
            // Encode outside the lock: the APS thread pushes under it while holding the frame
            // lock, which the DVS thread needs at every trigger edge.
            lock.unlock();
            if (!metadataWritten) {
                apsRecordConverter->setMetadata(kVideoDvsOffsetKey, std::to_string(firstFrameTime));
                metadataWritten = true;
            }
            if (apsRecordConverter->nv12ToViedo(frame.nv12->data(), frame.offset) == 0) {
                ++apsFramesEncoded;
            } else {
                ++apsFramesFailed;
            }
            frame.nv12.reset();
            lock.lock();
        }
        if (apsRecordStopping) return;
    }
}

int TandemCamera::stopRecordingAps()
{
    {
        std::lock_guard lock(apsRecordMutex);
        if (!apsRecording.load()) return 0;
        apsRecordStopping = true;  // frames queued until now are still encoded
    }
    apsRecordCond.notify_one();
    if (apsRecordThread.joinable()) apsRecordThread.join();
    const int flushed = apsRecordConverter->flushAndCloseVideo();
    std::lock_guard lock(apsRecordMutex);
    apsRecordConverter.reset();
    apsRecordPool.reset();
    apsRecordQueue.clear();
    haveMp4Offset = false;
    mp4Offset = 0;
    apsRecording = false;
    if (flushed != 0 || apsFramesFailed.load() != 0) {
        ORVANE_LOG_ERROR("The video %s is incomplete: %llu frames could not be encoded.", apsRecordPath.c_str(),
                         static_cast<unsigned long long>(apsFramesFailed.load()));
        return -1;
    }
    if (apsFramesEncoded.load() == 0) {
        // An mp4 without a frame has no usable video stream and no player opens it.
        std::error_code ec;
        std::filesystem::remove(apsRecordPath, ec);
        ORVANE_LOG_INFO("No APS frame was recorded; %s is not kept.", apsRecordPath.c_str());
    }
    return 0;
}

}  // namespace orvane
