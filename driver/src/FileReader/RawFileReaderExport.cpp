// Cutting a time range into a new recording and exporting it as video. Both write under a temporary
// name beside the output and rename it into place only once the file is complete, so a refusal, an
// error or a crash never leaves a file that looks valid at the output path.
//
// A cut starts mid-stream, where a fresh decoder knows neither the time high, the row nor the vector
// base. The cut therefore begins with four words that put a decoder into the state a straight decode
// of the source has at the cut's start: TIME_HIGH and TIME_LOW of the time there, then the last
// ADDR_Y before it and a VECT_BASE_X at the vector base there, each only when the copied words use
// it before setting it themselves (otherwise a repeat of the TIME_HIGH, which changes nothing).
// After them comes the byte-exact copy. The cut decodes to the source's events over the range, with
// the source's timestamps less whole 24-bit wraps.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "RawHeader.h"
#include "orvane/base/Logger.h"
#include "orvane/base/SysTime.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/FrameRenderer.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

constexpr uint64_t kCopyPieceBytes = 1048576;
constexpr uint64_t kBackScanBlock = 65536;

constexpr uint32_t kAddrY = 0x0;
constexpr uint32_t kAddrX = 0x2;
constexpr uint32_t kVectBaseX = 0x3;
constexpr uint32_t kVect12 = 0x4;
constexpr uint32_t kVect8 = 0x5;
constexpr uint32_t kTimeLow = 0x6;
constexpr uint32_t kTimeHigh = 0x8;


uint16_t word(uint32_t type, uint32_t payload)
{
    return static_cast<uint16_t>((type << 12) | (payload & 0xFFF));
}

void putWord(std::array<char, 8>& out, size_t at, uint16_t w)
{
    out[at] = static_cast<char>(w & 0xFF);
    out[at + 1] = static_cast<char>(w >> 8);
}

// A name beside `path` for the file being written. It keeps the extension, from which the video
// writer picks its container.
std::string partPathFor(const std::string& path)
{
    const std::filesystem::path p(path);
    return path + ".part" + std::to_string(::getpid()) + p.extension().string();
}

void removeQuietly(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

// Whether the words copied so far use the decoder's row or vector base before setting it.
struct StateUse {
    bool rowDecided = false, rowNeeded = false;
    bool baseDecided = false, baseNeeded = false;

    bool decided() const { return rowDecided && baseDecided; }
    // `p` holds whole words (little-endian; the type is the top nibble of the second byte).
    void scan(const uint8_t* p, size_t n)
    {
        for (size_t at = 0; at < n && !decided();) {
            const size_t block_end = std::min(n, at + kScanBlock);
            if (rowDecided && !hasVectorWord(p + at, block_end - at)) {
                at = block_end;
                continue;
            }
            scanWords(p + at, block_end - at);
            at = block_end;
        }
    }

private:
    static constexpr size_t kScanBlock = 4096;

    // Once the row is decided only VECT_BASE_X, VECT_12 and VECT_8 (types 3 to 5) matter; most
    // streams have none, so whole blocks are passed over with a test the compiler vectorises.
    static bool hasVectorWord(const uint8_t* p, size_t n)
    {
        unsigned any = 0;
        for (size_t i = 1; i < n; i += 2) any |= static_cast<uint8_t>(p[i] - 0x30) < 0x30;
        return any != 0;
    }

    void scanWords(const uint8_t* p, size_t n)
    {
        for (size_t i = 1; i < n && !decided(); i += 2) {
            const uint32_t type = p[i] >> 4;
            if (type == kAddrY) {
                rowDecided = true;
            } else if (type == kVectBaseX) {
                baseDecided = true;
            } else if (type == kAddrX || type == kVect12 || type == kVect8) {
                if (!rowDecided) rowDecided = rowNeeded = true;
                if (type != kAddrX && !baseDecided) baseDecided = baseNeeded = true;
            }
        }
    }
};

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
    if (!seekTime(endTimestamp)) {
        ORVANE_LOG_ERROR("No end timestamp found.");
        return false;
    }
    // A cut to the recording's end time takes everything to the end of the data, as a time read
    // that reaches the end does.
    const uint64_t end_pos = endTimestamp == end_timestamp ? file_size : seek_unit_pos;
    if (!seekTime(startTimestamp)) {
        ORVANE_LOG_ERROR("No start timestamp found.");
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
        return false;
    }
    const uint64_t length = end_pos - start_pos;
    chunk_buffer.clear();
    if (length == 0) {
        ORVANE_LOG_ERROR("There is no data in the interval.");
        return false;
    }
    // Renaming the cut over its own input would leave this reader and its index on a different file.
    if (sameFile(outPath, raw_path)) {
        ORVANE_LOG_ERROR("Failed to open output file: %s.", outPath.c_str());
        return false;
    }

    const std::string part_path = partPathFor(outPath);
    std::ofstream out(part_path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        ORVANE_LOG_ERROR("Failed to open output file: %s.", outPath.c_str());
        return false;
    }
    // Whatever goes wrong from here on, nothing is left behind under either name.
    struct PartFile {
        std::ofstream& out;
        const std::string& path;
        bool keep = false;
        ~PartFile()
        {
            if (keep) return;
            out.close();
            removeQuietly(path);
        }
    } part{out, part_path};

    const std::string header = rawFileHeader(getSysTime(), width, height);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));

    // The state words; the last two are filled in once the copy has shown which ones it needs.
    const uint16_t time_high = word(kTimeHigh, static_cast<uint32_t>(start_time >> 12));
    std::array<char, 8> prefix{};
    putWord(prefix, 0, time_high);
    putWord(prefix, 2, word(kTimeLow, static_cast<uint32_t>(start_time)));
    putWord(prefix, 4, time_high);
    putWord(prefix, 6, time_high);
    const auto prefix_at = out.tellp();
    out.write(prefix.data(), prefix.size());

    StateUse use;
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
                throw std::runtime_error("Failed to read the expected number of bytes from the input file.");
            }
            if (!use.decided()) use.scan(chunk_buffer.data(), chunk_buffer.size());
            out.write(reinterpret_cast<const char*>(chunk_buffer.data()), static_cast<std::streamsize>(n));
            if (!out.good()) {
                throw std::runtime_error("Failed to write the expected number of bytes to the output file.");
            }
            done += n;
            if (progress_callback)
                progress_callback(static_cast<double>(done) / static_cast<double>(length) * 0.99);
        }

        // The row and vector base a straight decode has at start_pos: the last ADDR_Y before it, and
        // the last VECT_BASE_X before it moved on by the vector words in between.
        const uint64_t unit = decoder->getRawUnitSize();
        bool row_found = !use.rowNeeded, base_found = !use.baseNeeded;
        uint64_t base_advance = 0;
        for (uint64_t block_end = start_pos; block_end > data_start && !(row_found && base_found);) {
            const uint64_t block_begin = block_end - std::min(block_end - data_start, kBackScanBlock);
            if (!readChunkAt(block_begin, block_end) || chunk_buffer.size() != block_end - block_begin) {
                throw std::runtime_error("Failed to read the expected number of bytes from the input file.");
            }
            for (uint64_t off = chunk_buffer.size(); off >= unit && !(row_found && base_found); off -= unit) {
                const uint16_t w =
                    static_cast<uint16_t>(chunk_buffer[off - unit] | (chunk_buffer[off - unit + 1] << 8));
                const uint32_t type = w >> 12;
                if (type == kAddrY && !row_found) {
                    putWord(prefix, 4, w);
                    row_found = true;
                } else if (!base_found) {
                    if (type == kVect12) base_advance += 12;
                    if (type == kVect8) base_advance += 8;
                    if (type == kVectBaseX) {
                        // Past 2047 every vector event lies off the sensor, as it does at 2047.
                        const uint64_t base = std::min<uint64_t>((w & 0x7FF) + base_advance, 0x7FF);
                        putWord(prefix, 6, word(kVectBaseX, static_cast<uint32_t>(base) | (w & 0x800)));
                        base_found = true;
                    }
                }
            }
            block_end = block_begin;
        }
        chunk_buffer.clear();
        // Back where the seek to the start left stream and decoder, so that a read without a new
        // seek gets the range's first events rather than words decoded in the wrong state.
        input_stream.clear();
        input_stream.seekg(static_cast<std::streamoff>(after_seek_pos));
        read_pos = after_seek_pos;
    }

    out.seekp(prefix_at);
    out.write(prefix.data(), prefix.size());
    out.close();
    if (!out) throw std::runtime_error("Failed to write the expected number of bytes to the output file.");
    std::error_code ec;
    std::filesystem::rename(part_path, outPath, ec);
    if (ec) {
        ORVANE_LOG_ERROR("Failed to open output file: %s.", outPath.c_str());
        return false;
    }
    part.keep = true;
    if (progress_callback) progress_callback(1.0);
    return true;
}

bool RawFileReader::exportEventDataToVideo(uint64_t startTimestamp, uint64_t endTimestamp,
                                           std::string outPath)
{
    ORVANE_LOG_INFO("Exporting event data to video...");
    video_converter = std::make_shared<DataToVideoConverter>();
    video_converter->setConverterFrameSize(height, width, height, width);
    video_converter->setConverterFmt(VIDEO_PIX_FMT_BGR24, VIDEO_PIX_FMT_YUV420P);
    const std::string part_path = partPathFor(outPath);
    if (sameFile(outPath, raw_path) || video_converter->initVideoConverter(part_path) < 0) {
        ORVANE_LOG_ERROR(
            "Video converter initialization failed, please confirm that the input file is correct.");
        video_converter.reset();
        return false;
    }

    // Before the recording's start a seek moves nothing, and the slices would come from wherever the
    // last read stopped: take them from the start instead (the time before it has no events).
    if (startTimestamp < start_timestamp) startTimestamp = start_timestamp;
    seekTime(startTimestamp);
    std::vector<uint8_t> image(static_cast<size_t>(width) * height * 3, 0);
    const uint64_t slice = static_cast<uint64_t>(1000000 / export_fps);
    bool frames_ok = true;
    try {
        for (uint64_t t = startTimestamp; t < endTimestamp;) {
            const auto events = getNTimeEvents(slice);
            t = endTimestamp - t > slice ? t + slice : endTimestamp;
            if (!events->empty()) {
                eventsToRgbData(events, image);
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
            if (progress_callback) {
                progress_callback(static_cast<double>(t - startTimestamp) /
                                  static_cast<double>(endTimestamp - startTimestamp) * 0.99);
            }
            // Past the recording's end no slice can hold events.
            if (reachedEndOfEvents()) break;
        }
    } catch (...) {
        video_converter.reset();
        removeQuietly(part_path);
        throw;
    }
    // A frame that did not go in, or a file left unfinished, is a failed export, not a shorter video.
    if (!frames_ok) {
        ORVANE_LOG_ERROR("Failed to encode a frame of the video; nothing was written to %s.",
                         outPath.c_str());
        video_converter.reset();
        removeQuietly(part_path);
        return false;
    }
    if (video_converter->flushAndCloseVideo() < 0) {
        ORVANE_LOG_ERROR("Failed to finish the video; nothing was written to %s.", outPath.c_str());
        removeQuietly(part_path);
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(part_path, outPath, ec);
    if (ec) {
        ORVANE_LOG_ERROR("Failed to open output file: %s.", outPath.c_str());
        removeQuietly(part_path);
        return false;
    }
    if (progress_callback) progress_callback(1.0);
    return true;
}

}  // namespace orvane
