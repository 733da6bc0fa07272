#include "OvFusionCameraDataProcessor.h"

#include "OvActivityTimeline.h"

#include <QDebug>
#include <QMetaType>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "orvane/driver/ApsFileReader.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/DvsFileReader.h"
#include "orvane/driver/FrameRenderer.h"
#include "orvane/driver/FusionCamera.h"

using orvane::ApsFrame;
using orvane::Event2D;

namespace {

constexpr size_t kCounterElements = 2u * OvFusionCameraDataProcessor::dvsWidth * OvFusionCameraDataProcessor::dvsHeight;

// The fusion view draws in the light theme: ON red and OFF blue over the frame or white.
const orvane::Palette& palette()
{
    return orvane::paletteOf(orvane::ColourTheme::Light);
}

// Canvas bytes are blue, green, red.
inline void put(uchar* pixel, uint32_t colour)
{
    pixel[0] = static_cast<uint8_t>(colour);
    pixel[1] = static_cast<uint8_t>(colour >> 8);
    pixel[2] = static_cast<uint8_t>(colour >> 16);
}

// A text that is a whole decimal number, nothing else.
bool parseMicroseconds(const std::string& text, uint64_t& value)
{
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

OvFusionCameraDataProcessor::OvFusionCameraDataProcessor()
    : fusionCanvas(dvsWidth, dvsHeight, QImage::Format_BGR888),
      dvsCanvas(dvsWidth, dvsHeight, QImage::Format_BGR888),
      counters(kCounterElements, 0),
      spareCounters(kCounterElements, 0)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<orvane::STREAM_TYPE>("orvane::STREAM_TYPE");
    fusionCanvas.fill(QColor::fromRgb(palette().background));
    dvsCanvas.fill(QColor::fromRgb(palette().background));
}

OvFusionCameraDataProcessor::~OvFusionCameraDataProcessor()
{
    stopPlayThread();
    detachCallbacks();
}

void OvFusionCameraDataProcessor::setFusionCamera(std::shared_ptr<orvane::FusionCamera> newCamera)
{
    if (!newCamera || newCamera != attached_.lock()) detachCallbacks();
    {
        std::lock_guard lock(cameraLock_);
        camera.swap(newCamera);
    }
    // The old handle drops here, outside the lock: if it was the last one, the camera's stop joins
    // an APS thread that may be waiting for that lock.
}

void OvFusionCameraDataProcessor::attachCallbacks(const std::shared_ptr<orvane::FusionCamera>& target)
{
    detachCallbacks();
    if (!target) return;
    apsCallbackId_ = target->addApsFrameCallback([this](const ApsFrame& frame) { processApsFrame(frame); });
    eventsCallbackId_ = target->addEventsStreamHandleCallback(
        [this](const Event2D* begin, const Event2D* end) { accumulateEvents(begin, end); });
    attached_ = target;
}

void OvFusionCameraDataProcessor::detachCallbacks()
{
    if (const auto previous = attached_.lock()) {
        previous->removeApsFrameCallback(apsCallbackId_);
        previous->removeEventsStreamHandleCallback(eventsCallbackId_);
    }
    attached_.reset();
}

void OvFusionCameraDataProcessor::slotSetViewerType(orvane::STREAM_TYPE type)
{
    viewerType.store(type);
}

void OvFusionCameraDataProcessor::slotSetReplayFlag(bool replay_flag)
{
    replay.store(replay_flag);
}

// ---- pictures ----------------------------------------------------------------------------------

void OvFusionCameraDataProcessor::resample(const uint8_t* source, int width, int height, QImage& canvas)
{
    // Source coordinates in single precision, truncated toward zero, as the picture has always been
    // placed: columns 67 to 1212 and rows 38 to 682 carry it for a 3840 x 2160 frame.
    constexpr float k = 3.3517241f;
    constexpr int cxS = apsWidth / 2, cyS = apsHeight / 2, cxD = dvsWidth / 2, cyD = dvsHeight / 2;
    int columns[dvsWidth];
    for (int j = 0; j < dvsWidth; ++j) {
        const float v = static_cast<float>(j - cxD) * k + static_cast<float>(cxS);
        const int sx = static_cast<int>(v);
        columns[j] = sx >= 0 && sx < width ? sx : -1;
    }
    const size_t sourceStride = static_cast<size_t>(width) * 3;
    for (int i = 0; i < dvsHeight; ++i) {
        uchar* row = canvas.scanLine(i);
        const float v = static_cast<float>(cyS) + static_cast<float>(i - cyD) * k;
        const int sy = static_cast<int>(v);
        if (sy < 0 || sy >= height) {
            std::memset(row, 0xFF, static_cast<size_t>(dvsWidth) * 3);
            continue;
        }
        const uint8_t* sourceRow = source + static_cast<size_t>(sy) * sourceStride;
        for (int j = 0; j < dvsWidth; ++j) {
            uchar* d = row + 3 * j;
            if (columns[j] < 0) {
                d[0] = d[1] = d[2] = 0xFF;
            } else {
                const uint8_t* s = sourceRow + 3 * columns[j];
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
    }
}

// Red where ON events are at least as many as OFF ones, blue where OFF ones win, untouched elsewhere.
// Returns the events the painted counts stand for.
uint64_t OvFusionCameraDataProcessor::paintCounts(const uint16_t* counts, QImage& canvas)
{
    uint64_t events = 0;
    for (int y = 0; y < dvsHeight; ++y) {
        uchar* row = canvas.scanLine(y);
        const uint16_t* c = counts + static_cast<size_t>(2) * dvsWidth * y;
        for (int x = 0; x < dvsWidth; ++x) {
            const uint16_t off = c[2 * x];
            const uint16_t on = c[2 * x + 1];
            if ((off | on) == 0) continue;
            events += static_cast<uint64_t>(off) + on;
            put(row + 3 * x, on > 0 && on >= off ? palette().on : palette().off);
        }
    }
    return events;
}

void OvFusionCameraDataProcessor::accumulateEvents(const Event2D* begin, const Event2D* end)
{
    delivered_.fetch_add(static_cast<uint64_t>(end - begin), std::memory_order_relaxed);
    if (viewerType.load(std::memory_order_relaxed) != orvane::STREAM_DVS) return;
    std::lock_guard lock(counterLock);
    uint16_t* const c = counters.data();
    const size_t n = counters.size();
    for (const Event2D* e = begin; e != end; ++e) {
        // Columns are mirrored: x = 1 lands on column 1279, x = 0 falls outside and is not counted.
        const uint32_t column = static_cast<uint32_t>(dvsWidth) - e->x;
        if (column >= static_cast<uint32_t>(dvsWidth)) continue;
        const size_t index = 2 * (static_cast<size_t>(e->y) * dvsWidth + column) + (e->polarity != 0);
        if (index < n && c[index] < maxCount) ++c[index];
    }
}

void OvFusionCameraDataProcessor::processApsFrame(const ApsFrame& frame)
{
    const int32_t type = viewerType.load(std::memory_order_relaxed);
    const bool wholeFrame = frame.data && frame.size >= static_cast<uint64_t>(apsWidth) * apsHeight * 3;
    QImage picture;
    if (type == orvane::STREAM_APS) {
        if (!wholeFrame) return;
        std::lock_guard lock(canvasLock);
        resample(frame.data, apsWidth, apsHeight, fusionCanvas);
        picture = fusionCanvas;
    } else if (type == orvane::STREAM_BOTH) {
        if (!wholeFrame) return;
        std::shared_ptr<std::vector<uint16_t>> counts;
        {
            // Held while the camera is used, so the handle cannot drop on this (the camera's own) thread.
            std::lock_guard cameraGuard(cameraLock_);
            if (!camera || !camera->isConnected()) return;
            if (!camera->getFusionEvents(counts, frame.timestamp)) return;
        }
        if (!counts || counts->size() < kCounterElements) return;
        std::lock_guard lock(canvasLock);
        resample(frame.data, apsWidth, apsHeight, fusionCanvas);
        painted_.fetch_add(paintCounts(counts->data(), fusionCanvas), std::memory_order_relaxed);
        picture = fusionCanvas;
    } else if (type == orvane::STREAM_DVS) {
        std::lock_guard lock(dvsLock);
        {
            // Counting goes on into the zeroed spare while this frame's counts are drawn, so no event
            // counted during the drawing is lost.
            std::lock_guard counterGuard(counterLock);
            counters.swap(spareCounters);
        }
        dvsCanvas.fill(QColor::fromRgb(palette().background));
        painted_.fetch_add(paintCounts(spareCounters.data(), dvsCanvas), std::memory_order_relaxed);
        std::fill(spareCounters.begin(), spareCounters.end(), uint16_t{0});
        picture = dvsCanvas;
    } else {
        return;
    }
    built_.fetch_add(1, std::memory_order_relaxed);
    Q_EMIT signalFusionImage(picture);
    Q_EMIT signalTimeStamp(frame.timestamp);
}

// ---- recordings --------------------------------------------------------------------------------

bool OvFusionCameraDataProcessor::slotReadFusionFile(std::string raw_file_path)
{
    stopPlayThread();
    std::lock_guard readers(readerLock_);
    loadFailure_ = LoadFailure::None;
    havePending_ = false;
    pendingIndex_ = 0;
    shownIndex_ = -1;
    profile_.clear();
    lower_.store(0);
    upper_.store(UINT64_MAX);
    apsTimestamps.clear();
    apsReader.reset();
    dvsReader.reset();

    const auto dot = raw_file_path.rfind('.');
    const std::string base = dot == std::string::npos ? raw_file_path : raw_file_path.substr(0, dot);

    std::shared_ptr<orvane::ApsFileReader> aps = orvane::ApsFileReader::createFileReader(base + ".mp4");
    if (aps && aps->loadFile()) {
        apsReader = aps;
        apsReader->getTimeStamps(apsTimestamps);
        apsFrameWidth_ = apsReader->getWidth();
        apsFrameHeight_ = apsReader->getHeight();
        // A file that opens but yields no picture (no frames, undecodable) is as unreadable as one
        // that does not open: the first picture is decoded here, on the loading thread.
        pendingIndex_ = -1;
        fetchNextFrame();
    }
    if (!havePending_) {
        qDebug() << "Load aps file failed.";
        apsReader.reset();
        loadFailure_ = LoadFailure::Frames;
        return false;
    }

    std::shared_ptr<orvane::DvsFileReader> dvs = orvane::DvsFileReader::createFileReader(base + ".raw");
    bool loaded = false;
    try {
        loaded = dvs && dvs->loadFile();
    } catch (const std::exception& e) {
        qDebug() << "Raw file rejected:" << e.what();
    }
    if (!loaded) {
        qDebug() << "Load dvs file failed.";
        apsReader.reset();
        havePending_ = false;
        loadFailure_ = LoadFailure::Events;
        return false;
    }
    dvsReader = dvs;
    dvsReader->getStartTimeStamp(startTs);
    dvsReader->getEndTimeStamp(endTs);

    // The mp4 holds frame times from its first frame; the DVS time of that frame, when the recorder
    // stored it, lines each frame up with its trigger edge. Older files only have the first event.
    uint64_t offset = 0;
    hasDvsOffset_ = parseMicroseconds(apsReader->getMetadata(orvane::kVideoDvsOffsetKey), offset);
    frameOffset_ = hasDvsOffset_ ? offset : startTs;
    shownTime_.store(startTs);
    profile_ = OvActivityTimeline::profileOf(*dvsReader, startTs, endTs);

    Q_EMIT signalStartTimeStamp(startTs);
    Q_EMIT signalEndTimeStamp(endTs);
    return true;
}

void OvFusionCameraDataProcessor::slotFusionFilePlayControl(bool play_ctrl)
{
    playing.store(play_ctrl);
    if (!play_ctrl) {
        if (playThread.joinable()) playThread.join();
        return;
    }
    if (playThread.joinable()) playThread.join();
    playing.store(true);
    playThread = std::thread([this] { playLoop(); });
}

void OvFusionCameraDataProcessor::stopPlayThread()
{
    playing.store(false);
    if (playThread.joinable()) playThread.join();
}

bool OvFusionCameraDataProcessor::fetchNextFrame()
{
    havePending_ = false;
    if (!apsReader) return false;
    const uint64_t need = static_cast<uint64_t>(apsFrameWidth_) * static_cast<uint64_t>(apsFrameHeight_) * 3;
    ApsFrame next{};
    // A call may read a packet that yields no picture yet (the decoder's threads hold it): go on
    // until one comes out or the file ends.
    do {
        next.data = nullptr;
        if (!apsReader->getNextFrame(next)) return false;
    } while (!next.data);
    if (need == 0 || next.size < need) return false;
    pending_ = next;
    havePending_ = true;
    ++pendingIndex_;
    return true;
}

void OvFusionCameraDataProcessor::rewind()
{
    // Back to the first frame of the played range, decoded as the pending one; nothing is shown.
    havePending_ = false;
    const int index = firstFrameInRange();
    if (apsReader && index >= 0) {
        ApsFrame first{};
        try {
            if (apsReader->getNFrame(index, first) && first.data) {
                pending_ = first;
                havePending_ = true;
                pendingIndex_ = index;
            }
        } catch (const std::out_of_range&) {
        }
    }
    shownIndex_ = -1;
    shownTime_.store(std::max(lower_.load(), startTs));
    if (dvsReader) dvsReader->seekTime(std::max(lower_.load(), startTs));
}

int OvFusionCameraDataProcessor::frameAtOrBefore(uint64_t time) const
{
    if (apsTimestamps.empty()) return -1;
    // Frame times are file times; the range and the slider speak DVS times.
    const uint64_t fileTime = time > frameOffset_ ? time - frameOffset_ : 0;
    const auto after = std::upper_bound(apsTimestamps.begin(), apsTimestamps.end(), fileTime);
    return after == apsTimestamps.begin() ? 0 : int(after - apsTimestamps.begin()) - 1;
}

int OvFusionCameraDataProcessor::firstFrameInRange() const
{
    if (apsTimestamps.empty()) return -1;
    const uint64_t lower = lower_.load();
    const uint64_t fileTime = lower > frameOffset_ ? lower - frameOffset_ : 0;
    const auto first = std::lower_bound(apsTimestamps.begin(), apsTimestamps.end(), fileTime);
    return first == apsTimestamps.end() ? int(apsTimestamps.size()) - 1 : int(first - apsTimestamps.begin());
}

int OvFusionCameraDataProcessor::lastFrameInRange() const
{
    return std::max(frameAtOrBefore(upper_.load()), firstFrameInRange());
}

bool OvFusionCameraDataProcessor::showFrameLocked(int index)
{
    if (!apsReader || index < 0 || static_cast<size_t>(index) >= apsTimestamps.size()) return false;
    ApsFrame frame{};
    try {
        if (!apsReader->getNFrame(index, frame) || !frame.data) return false;
    } catch (const std::out_of_range&) {
        return false;
    }
    const uint64_t need = static_cast<uint64_t>(apsFrameWidth_) * static_cast<uint64_t>(apsFrameHeight_) * 3;
    if (need == 0 || frame.size < need) return false;
    pending_ = frame;
    havePending_ = true;
    pendingIndex_ = index;
    return playOneFrame();
}

void OvFusionCameraDataProcessor::setRange(uint64_t lower, uint64_t upper)
{
    lower_.store(lower);
    upper_.store(std::max(lower, upper));
}

bool OvFusionCameraDataProcessor::stepFrames(int delta)
{
    std::lock_guard readers(readerLock_);
    if (apsTimestamps.empty()) return false;
    const int low = firstFrameInRange();
    const int high = lastFrameInRange();
    const int from = shownIndex_ < 0 ? (delta > 0 ? low - 1 : low) : shownIndex_;
    const int target = std::clamp(from + delta, low, high);
    if (target == shownIndex_) return false;
    return showFrameLocked(target);
}

bool OvFusionCameraDataProcessor::seekToTime(uint64_t time)
{
    if (playing.load()) {
        seekTime_.store(time);
        seekPending_.store(true);
        return true;
    }
    std::lock_guard readers(readerLock_);
    const int index = std::clamp(frameAtOrBefore(time), firstFrameInRange(), lastFrameInRange());
    return showFrameLocked(index);
}

bool OvFusionCameraDataProcessor::rewindToLower()
{
    std::lock_guard readers(readerLock_);
    return showFrameLocked(firstFrameInRange());
}

std::shared_ptr<std::vector<Event2D>> OvFusionCameraDataProcessor::readEventsBetween(uint64_t from, uint64_t to)
{
    from = std::max(from, startTs);
    to = std::min(to, endTs + 1);
    if (!dvsReader || to <= from) return nullptr;
    // Consecutive frames read on where the last read stopped; only a jump needs a seek.
    if (dvsReader->getCurrentPosTimeStamp() != from && !dvsReader->seekTime(from)) return nullptr;
    return dvsReader->getNTimeEvents(to - from);
}

void OvFusionCameraDataProcessor::paintMirrored(const std::vector<Event2D>& events)
{
    for (const Event2D& e : events) {
        const uint32_t column = static_cast<uint32_t>(dvsWidth) - e.x;
        if (column >= static_cast<uint32_t>(dvsWidth) || e.y >= dvsHeight) continue;
        put(fusionCanvas.scanLine(e.y) + 3 * column, e.polarity == 1 ? palette().on : palette().off);
    }
}

bool OvFusionCameraDataProcessor::playOneFrame()
{
    if (!havePending_ && !fetchNextFrame()) return false;
    const uint64_t frameTime = dvsTimeOf(pending_.timestamp);
    shownIndex_ = pendingIndex_;
    shownTime_.store(frameTime);
    {
        std::lock_guard lock(canvasLock);
        resample(pending_.data, apsFrameWidth_, apsFrameHeight_, fusionCanvas);
    }
    // The frame shows the events of its own period, up to the next frame's time; the next picture is
    // decoded now (into the reader's buffer, which the canvas no longer needs) to learn that time.
    uint64_t periodEnd = frameTime + kPlayPeriodUs;
    if (fetchNextFrame()) periodEnd = std::max(dvsTimeOf(pending_.timestamp), frameTime + 1);

    const auto events = readEventsBetween(frameTime, periodEnd);
    QImage picture;
    {
        std::lock_guard lock(canvasLock);
        if (events) paintMirrored(*events);
        picture = fusionCanvas;
    }
    built_.fetch_add(1, std::memory_order_relaxed);
    if (events) painted_.fetch_add(events->size(), std::memory_order_relaxed);
    Q_EMIT signalFusionImage(picture);
    Q_EMIT signalTimeStamp(frameTime);
    Q_EMIT signalPlayProgress(frameTime, endTs);
    return true;
}

void OvFusionCameraDataProcessor::playLoop()
{
    using Clock = std::chrono::steady_clock;
    playing.store(true);
    while (playing.load()) {
        const auto t0 = Clock::now();
        bool shown = false;
        {
            std::lock_guard readers(readerLock_);
            if (seekPending_.exchange(false)) {
                const int index = std::clamp(frameAtOrBefore(seekTime_.load()), firstFrameInRange(), lastFrameInRange());
                shown = showFrameLocked(index);
            } else if (havePending_ || fetchNextFrame()) {
                // The upper end of the played range ends playing as the recording's end does.
                shown = dvsTimeOf(pending_.timestamp) <= upper_.load() && playOneFrame();
            }
            if (!shown) rewind();
        }
        if (!shown && !replay.load()) {
            playing.store(false);
            Q_EMIT signalPalyFileFinished();
            Q_EMIT signalPlayProgress(std::max(lower_.load(), startTs), endTs);
            break;
        }
        const auto deadline = t0 + std::chrono::microseconds(kPlayPeriodUs);
        if (playing.load() && Clock::now() < deadline) std::this_thread::sleep_until(deadline);
    }
}
