// Cutting a time range into a new recording and exporting it as video: the writing of the raw cut
// and video exporters, into the part file those hold (and rename into place once the file is
// complete). extractEventData and exportEventDataToVideo are the exporters under their old names.
//
// A cut starts mid-stream, where a fresh decoder knows neither the time nor (EVT 3.0) the row and
// the vector base. The cut therefore begins with the few words of its encoding's prefix, which put a
// decoder into the state a straight decode of the source has at the cut's start, then the byte-exact
// copy, behind our header naming the source's encoding. The cut decodes to the source's events over
// the range, with the source's timestamps less whole wraps of the encoding's time.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "RawFileReaderInternal.h"
#include "export/ExportOutput.h"
#include "export/RawExporters.h"
#include "RawFormat.h"
#include "orvane/base/Logger.h"
#include "orvane/base/SysTime.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/FrameRenderer.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

constexpr uint64_t kCopyPieceBytes = 1048576;

}  // namespace

void RawFileReader::eventsToRgbData(std::shared_ptr<std::vector<Event2D>> events, std::vector<uint8_t>& image)
{
    if (!events || events->empty()) return;
    // The viewer's default picture: accumulation in the grey theme.
    FrameRenderer renderer(static_cast<int>(width), static_cast<int>(height));
    renderer.addEvents(events->data(), events->data() + events->size());
    image.resize(static_cast<size_t>(width) * height * 3);
    renderer.renderBgr24(renderer.lastTime(), image.data(), static_cast<size_t>(width) * 3);
}

bool RawFileReader::extractEventData(uint64_t startTimestamp, uint64_t endTimestamp, std::string outPath)
{
    // A cut keeps its source's encoding.
    RawCutExporter exporter;
    exporter.keepEncoding = true;
    last_error = exporter.run(*this, {startTimestamp, endTimestamp}, outPath, progress_callback, cancel_flag);
    return !last_error;
}

bool RawFileReader::exportEventDataToVideo(uint64_t startTimestamp, uint64_t endTimestamp, std::string outPath)
{
    VideoExporter exporter;
    exporter.fps = export_fps;
    last_error = exporter.run(*this, {startTimestamp, endTimestamp}, outPath, progress_callback, cancel_flag);
    return !last_error;
}

bool RawFileReader::writeCut(uint64_t startTimestamp, uint64_t endTimestamp, exportio::PartFile& part,
                             const exportio::Progress& progress)
{
    using namespace exportio;
    using Kind = RecordingError::Kind;
    const std::string& outPath = part.output();
    last_error = {};
    const std::string span = " (the recording runs from " + std::to_string(start_timestamp) + " to " +
                             std::to_string(end_timestamp) + " us)";
    if (!seekTime(endTimestamp)) {
        ORVANE_LOG_ERROR("No end timestamp found.");
        last_error = {Kind::BadRange, "the end " + std::to_string(endTimestamp) + " us lies outside " +
                                          inQuotes(raw_path) + span, 0};
        return false;
    }
    // A cut to the recording's end time takes everything to the end of the data, as a time read
    // that reaches the end does.
    const uint64_t end_pos = endTimestamp == end_timestamp ? file_size : seek_unit_pos;
    if (!seekTime(startTimestamp)) {
        ORVANE_LOG_ERROR("No start timestamp found.");
        last_error = {Kind::BadRange, "the start " + std::to_string(startTimestamp) + " us lies outside " +
                                          inQuotes(raw_path) + span, 0};
        return false;
    }
    const uint64_t start_pos = seek_unit_pos;
    const uint64_t after_seek_pos = read_pos;  // where the next read goes on after the seek
    // The time a straight decode has reached at start_pos (the seek leaves the decoder on the
    // word there, which holds events and so does not move the time).
    const uint64_t start_time = decoder->getLastTimestamp();
    ORVANE_LOG_INFO("extract event start time: %" PRIu64 ", end time: %" PRIu64, startTimestamp,
                    endTimestamp);
    if (start_pos > end_pos) {
        ORVANE_LOG_ERROR("Start time must be less than or equal to end time.");
        last_error = {Kind::BadRange, "the start must not be after the end", 0};
        return false;
    }
    const uint64_t length = end_pos - start_pos;
    chunk_buffer.clear();
    if (length == 0) {
        ORVANE_LOG_ERROR("There is no data in the interval.");
        last_error = {Kind::BadRange, "there is no data of " + inQuotes(raw_path) + " in the range", 0};
        return false;
    }
    // Renaming the cut over its own input would leave this reader and its index on a different file.
    if (sameFile(outPath, raw_path)) {
        ORVANE_LOG_ERROR("Failed to open output file: %s.", outPath.c_str());
        last_error = {Kind::Io, "cannot write " + inQuotes(outPath) + ": it is the recording being cut", 0};
        return false;
    }

    const std::string& part_path = part.path();
    std::ofstream out(part_path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        const int err = errno;
        ORVANE_LOG_ERROR("Failed to open output file: %s.", outPath.c_str());
        last_error = {outputErrorKind(err), "cannot write " + inQuotes(outPath) + ": " + std::strerror(err), err};
        return false;
    }
    // Whatever goes wrong from here on, `part` leaves nothing behind under either name.

    const std::string header = format->header(getSysTime(), width, height);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));

    // The state words, filled in once the copy has shown which ones it needs.
    const std::unique_ptr<CutPrefix> state = format->cutPrefix(start_time);
    std::vector<uint8_t> prefix(state->size(), 0);
    const auto prefix_at = out.tellp();
    out.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
    {
        std::lock_guard<std::mutex> lock(mutex);
        input_stream.clear();
        input_stream.seekg(static_cast<std::streamoff>(start_pos));
        read_pos = start_pos;
        for (uint64_t done = 0; done < length;) {
            const uint64_t n = std::min(kCopyPieceBytes, length - done);
            chunk_buffer.resize(n);
            input_stream.read(reinterpret_cast<char*>(chunk_buffer.data()), static_cast<std::streamsize>(n));
            const auto got = input_stream.gcount();
            read_pos += static_cast<uint64_t>(std::max<std::streamsize>(0, got));
            if (got != static_cast<std::streamsize>(n)) {
                last_error = ioError("cannot read " + inQuotes(raw_path));
                throw std::runtime_error("Failed to read the expected number of bytes from the input file.");
            }
            state->see(chunk_buffer.data(), chunk_buffer.size());
            out.write(reinterpret_cast<const char*>(chunk_buffer.data()), static_cast<std::streamsize>(n));
            if (!out.good()) {
                last_error = ioError("cannot write " + inQuotes(outPath));
                throw std::runtime_error("Failed to write the expected number of bytes to the output file.");
            }
            done += n;
            progress(static_cast<double>(done) / static_cast<double>(length));
            if (progress.cancelled()) {
                last_error = cancelledError("the cut", outPath);
                return false;  // the part file goes with `part`
            }
        }

        if (!state->finish([this](uint64_t from, uint64_t to) { return readBlock(from, to); }, start_pos, data_start,
                           prefix)) {
            throw std::runtime_error("Failed to read the expected number of bytes from the input file.");
        }
        chunk_buffer.clear();
        // Back where the seek to the start left stream and decoder, so that a read without a new
        // seek gets the range's first events rather than words decoded in the wrong state.
        input_stream.clear();
        input_stream.seekg(static_cast<std::streamoff>(after_seek_pos));
        read_pos = after_seek_pos;
    }

    out.seekp(prefix_at);
    out.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
    out.close();
    if (!out) {
        last_error = ioError("cannot write " + inQuotes(outPath));
        throw std::runtime_error("Failed to write the expected number of bytes to the output file.");
    }
    return true;
}

bool RawFileReader::writeVideo(uint64_t startTimestamp, uint64_t endTimestamp, const exportio::VideoLook& look,
                               exportio::PartFile& part, const exportio::Progress& progress)
{
    using namespace exportio;
    const std::string& outPath = part.output();
    ORVANE_LOG_INFO("Exporting event data to video...");
    last_error = {};
    video_converter = std::make_shared<DataToVideoConverter>();
    video_converter->setConverterFrameSize(height, width, height, width);
    video_converter->setConverterFmt(VIDEO_PIX_FMT_BGR24, VIDEO_PIX_FMT_YUV420P);
    video_converter->setFrameRate(look.fps);
    const std::string& part_path = part.path();
    if (sameFile(outPath, raw_path)) {
        ORVANE_LOG_ERROR(
            "Video converter initialization failed, please confirm that the input file is correct.");
        last_error = {RecordingError::Kind::Io, "cannot write " + inQuotes(outPath) + ": it is the recording", 0};
        video_converter.reset();
        return false;
    }
    errno = 0;
    if (video_converter->initVideoConverter(part_path) < 0) {
        ORVANE_LOG_ERROR(
            "Video converter initialization failed, please confirm that the input file is correct.");
        last_error = ioError("cannot write the video " + inQuotes(outPath));
        last_error.kind = outputErrorKind(last_error.errnum);  // a missing folder is told as one
        video_converter.reset();
        return false;
    }

    // Before the recording's start a seek moves nothing, and the slices would come from wherever the
    // last read stopped: take them from the start instead (the time before it has no events).
    if (startTimestamp < start_timestamp) startTimestamp = start_timestamp;
    seekTime(startTimestamp);
    std::vector<uint8_t> image(static_cast<size_t>(width) * height * 3, 0);
    const size_t stride = static_cast<size_t>(width) * 3;
    const uint64_t slice = look.sliceUs;
    const uint64_t accumulation = look.accumulationUs;
    const bool surface = look.render.mode == DisplayMode::TimeSurface;
    FrameRenderer renderer(static_cast<int>(width), static_cast<int>(height));
    renderer.setSettings(look.render);
    // Accumulation windows longer than a slice reach back into earlier slices. What a window shows
    // at a pixel is its last event in the window, which is its last event so far when that is not
    // older than the window: so each pixel's last event is kept, not the events (memory stays one
    // picture's, however long the window and however busy the sensor).
    const bool long_window = !surface && accumulation > slice;
    const size_t pixels = static_cast<size_t>(width) * height;
    std::vector<uint64_t> last_time(long_window ? pixels : 0, 0);
    std::vector<uint8_t> last_kind(long_window ? pixels : 0, 0);  // 0 none, 1 OFF, 2 ON
    std::vector<Event2D> window;
    uint64_t newest = 0;  // the time of the newest event painted so far (time surface)
    bool painted_any = false;
    bool frames_ok = true;
    try {
        for (uint64_t t = startTimestamp; t < endTimestamp;) {
            // The last slice is read whole, as every other: a second at 30 fps is 31 frames.
            const auto events = getNTimeEvents(slice);
            const uint64_t slice_end = t > std::numeric_limits<uint64_t>::max() - slice ? std::numeric_limits<uint64_t>::max() : t + slice;
            t = endTimestamp - t > slice ? t + slice : endTimestamp;
            const Event2D* b = events->data();
            const Event2D* e = b + events->size();
            const uint64_t from = slice_end > accumulation ? slice_end - accumulation : 0;
            bool frame = b != e;
            if (surface) {
                renderer.addEvents(b, e);
                for (const Event2D* ev = b; ev != e; ++ev) newest = std::max(newest, ev->timestamp);
                frame = frame || (painted_any && newest >= from);
                painted_any = painted_any || b != e;
            } else {
                if (long_window) {
                    for (const Event2D* ev = b; ev != e; ++ev) {
                        if (ev->x >= width || ev->y >= height) continue;
                        const size_t i = static_cast<size_t>(ev->y) * width + ev->x;
                        last_time[i] = ev->timestamp;
                        last_kind[i] = ev->polarity ? 2 : 1;
                    }
                    window.clear();
                    for (size_t i = 0; i < pixels; ++i) {
                        if (last_kind[i] != 0 && last_time[i] >= from) {
                            window.emplace_back(static_cast<uint16_t>(i % width), static_cast<uint16_t>(i / width),
                                                static_cast<uint8_t>(last_kind[i] - 1), last_time[i]);
                        }
                    }
                    renderer.addEvents(window.data(), window.data() + window.size());
                    frame = frame || !window.empty();
                    b = e;  // painted through `window`
                }
                // The window's share of this slice: all of it unless the window is shorter.
                const Event2D* w = b;
                if (accumulation < slice) w = std::find_if(b, e, [&](const Event2D& ev) { return ev.timestamp >= from; });
                renderer.addEvents(w, e);
            }
            if (frame) {
                renderer.renderBgr24(slice_end, image.data(), stride);
                if (video_converter->rgbToVideo(image.data()) < 0) {
                    frames_ok = false;
                    break;
                }
            } else if (t < endTimestamp) {
                // Quiet stretches make no frames: go straight to the slice of the next event, so the
                // work follows the data, not the span of time (which a stream can make huge).
                uint64_t next = 0;
                if (!nextEventTime(next) || next >= endTimestamp) break;
                if (next >= t) {
                    t += (next - t) / slice * slice;
                    cur_timestamp = t;
                }
            }
            progress(static_cast<double>(t - startTimestamp) / static_cast<double>(endTimestamp - startTimestamp));
            if (progress.cancelled()) break;
            // Past the recording's end no slice can hold events.
            if (reachedEndOfEvents()) break;
        }
    } catch (...) {
        video_converter.reset();
        throw;
    }
    if (progress.cancelled()) {
        last_error = cancelledError("the export", outPath);
        video_converter.reset();
        return false;
    }
    // A frame that did not go in, or a file left unfinished, is a failed export, not a shorter video.
    if (!frames_ok) {
        ORVANE_LOG_ERROR("Failed to encode a frame of the video; nothing was written to %s.",
                         outPath.c_str());
        if (const int err = video_converter->writeError()) {
            last_error = {outputErrorKind(err), "cannot write the video " + inQuotes(outPath) + ": " + std::strerror(err), err};
        } else {
            last_error = {RecordingError::Kind::Io, "failed to encode a frame of " + inQuotes(outPath), 0};
        }
        video_converter.reset();
        return false;
    }
    if (video_converter->flushAndCloseVideo() < 0) {
        ORVANE_LOG_ERROR("Failed to finish the video; nothing was written to %s.", outPath.c_str());
        if (const int err = video_converter->writeError()) {
            last_error = {outputErrorKind(err), "cannot write the video " + inQuotes(outPath) + ": " + std::strerror(err), err};
        } else {
            last_error = ioError("cannot finish the video " + inQuotes(outPath));
        }
        return false;
    }
    return true;
}

}  // namespace orvane
