// Construction, the factory and loading: the "%" header, the index, the first position.
#include "orvane/driver/RawFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "orvane/base/Logger.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "RawFileReaderInternal.h"
#include "RawFormat.h"
#include "RawHeader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

constexpr char kIndexSuffix[] = ".ovmark.tmp";
constexpr int kMaxSensorSide = 2048;

std::string indexPathFor(const std::string& rawPath)
{
    const size_t at = rawPath.rfind(".raw");
    // Without ".raw" the replacement would give the input's own path: append instead.
    if (at == std::string::npos) return rawPath + kIndexSuffix;
    return rawPath.substr(0, at) + kIndexSuffix + rawPath.substr(at + 4);
}

}  // namespace

std::unique_ptr<Decoder> RawFileReader::makeDecoder() const
{
    return format->makeDecoder(width, height);
}

RawFileReader::RawFileReader(std::string path)
    : format(&RawFormat::evt3()),
      decoder(makeDecoder()),
      raw_path(std::move(path)),
      index_path(indexPathFor(raw_path)),
      decoded_events(std::make_shared<std::vector<Event2D>>()),
      leftover_events(std::make_shared<std::vector<Event2D>>()),
      result_events(std::make_shared<std::vector<Event2D>>())
{
}

RawFileReader::~RawFileReader() = default;

bool RawFileReader::fail(RecordingError::Kind kind, const std::string& message, int errnum)
{
    last_error = RecordingError{kind, message, errnum};
    ORVANE_LOG_WARNING("%s", message.c_str());
    return false;
}

const char* RawFileReader::formatName() const
{
    return format->name();
}

RecordingError RawFileReader::open()
{
    try {
        if (loadFile() && max_events == 0) {
            last_error = RecordingError{RecordingError::Kind::NoEvents, inQuotes(raw_path) + " holds no events", 0};
        }
    } catch (const std::filesystem::filesystem_error& e) {
        last_error = RecordingError{RecordingError::Kind::Io, inQuotes(raw_path) + ": " + e.code().message(),
                                    e.code().value()};
    } catch (const std::exception& e) {
        if (!last_error) last_error = RecordingError{RecordingError::Kind::Io, inQuotes(raw_path) + ": " + e.what(), 0};
    }
    return last_error;
}

bool RawFileReader::loadFile()
{
    using Kind = RecordingError::Kind;
    last_error = {};
    // The system's reason when the file cannot be read (the stream would only say that it failed).
    if (const int fd = ::open(raw_path.c_str(), O_RDONLY | O_CLOEXEC); fd < 0) {
        const int err = errno;
        const Kind kind = err == ENOENT || err == ENOTDIR ? Kind::NotFound
                          : err == EACCES || err == EPERM  ? Kind::NoPermission
                                                           : Kind::Io;
        last_error = RecordingError{kind, "cannot open " + inQuotes(raw_path) + ": " + std::strerror(err), err};
        return false;
    } else {
        struct stat st {};
        const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        ::close(fd);
        if (folder) return fail(Kind::Io, "cannot open " + inQuotes(raw_path) + ": " + std::strerror(EISDIR), EISDIR);
    }
    input_stream.open(raw_path, std::ios::binary | std::ios::in);
    if (!input_stream.is_open()) {
        return fail(Kind::Io, "cannot open " + inQuotes(raw_path) + ": " + std::strerror(errno), errno);
    }

    input_stream.seekg(0, std::ios::end);
    file_size = static_cast<uint64_t>(input_stream.tellg());
    input_stream.seekg(0, std::ios::beg);

    ParsedHeader header;
    try {
        header = parseRawHeader(input_stream);
    } catch (const std::invalid_argument& e) {
        fail(Kind::BadHeader, inQuotes(raw_path) + ": malformed number in the header (" + e.what() + ")");
        throw;
    } catch (const std::out_of_range& e) {
        fail(Kind::BadHeader, inQuotes(raw_path) + ": number out of range in the header (" + e.what() + ")");
        throw;
    }
    RecordingError reason;
    const RawFormat* chosen = formatFor(header, raw_path, reason);
    if (chosen && header.encoding.empty()) chosen = sniffFormat(input_stream, header.data_start, raw_path, reason);
    if (!chosen) return fail(reason.kind, reason.message);
    format = chosen;
    // The encodings address 11 bits: a side outside 1..2048 is not a sensor they can carry.
    const int w = header.width, h = header.height;
    if (w < 1 || w > kMaxSensorSide || h < 1 || h > kMaxSensorSide) {
        const std::string what = "sensor geometry " + std::to_string(w) + "x" + std::to_string(h) +
                                 " is outside 1x1 to 2048x2048";
        fail(Kind::BadGeometry, inQuotes(raw_path) + ": " + what);
        throw std::out_of_range(what);
    }
    width = static_cast<uint16_t>(w);
    height = static_cast<uint16_t>(h);
    decoder = makeDecoder();
    data_start = header.data_start;
    read_pos = data_start;

    ORVANE_LOG_INFO("Loading raw file...");
    // exists() raises errors other than "not found" (a folder we may not look into) to the caller.
    bool reused = false;
    if (std::filesystem::exists(index_path) && std::filesystem::is_regular_file(index_path) &&
        checkBookmarksFromFile(index_path)) {
        reused = loadBookmarksFromFile(index_path);
        if (!reused) ORVANE_LOG_WARNING("Index file '%s' is inconsistent, rebuilding it", index_path.c_str());
    }
    if (!reused) {
        input_stream.clear();
        input_stream.seekg(static_cast<std::streamoff>(data_start));
        read_pos = data_start;
        initBookmark();
    }
    index_reused = reused;
    segment_checked.assign(bookmarks.empty() ? 0 : bookmarks.size() - 1, false);

    setEventsDelivered(true);
    if (reused) {
        // The range and the count come from the first and the last bookmark: check the segments
        // that hold them before answering from them. A lone closing bookmark says the stream never
        // told its time: then no event may be in it.
        std::lock_guard<std::mutex> lock(mutex);
        if (bookmarks.size() == 1) {
            setEventsDelivered(false);
            const uint64_t found = replayTo(Resume{data_start, data_start, 0}, file_size);
            setEventsDelivered(true);
            if (found != 0) rebuildIndex("it says no event, the data holds " + std::to_string(found));
        } else if (!segmentAgrees(0)) {
            rebuildIndex("its first bookmarks disagree with the data");
        } else if (!segmentAgrees(bookmarks.size() - 2)) {
            rebuildIndex("its last bookmarks disagree with the data");
        }
    }

    if (bookmarks.empty()) {
        ORVANE_LOG_ERROR("Loading raw file failed. There is no data in the file.");
        last_error = RecordingError{Kind::NoEvents, inQuotes(raw_path) + " holds no events", 0};
        return false;
    }
    takeRangeFromBookmarks();

    // At the first event, not at the first at or past the start time: a stream whose time steps back
    // holds events stamped before its start, and reads from the start must give them too.
    seekNEvents(0);
    ORVANE_LOG_INFO("Loading raw file succeeded.");
    return true;
}

void RawFileReader::takeRangeFromBookmarks()
{
    start_timestamp = bookmarks.empty() ? 0 : bookmarks.front().timestamp;
    end_timestamp = bookmarks.empty() ? 0 : bookmarks.back().timestamp;
    max_events = bookmarks.empty() ? 0 : bookmarks.back().event_count;
}

void RawFileReader::restartDecoderAt(uint64_t pos, uint64_t timestamp)
{
    if (pos <= data_start) {
        // At the first byte a decoder knows nothing yet, as in a straight decode of the file (a
        // decoder told a time would take the first TIME_HIGH as a step from it).
        decoder = makeDecoder();
        setEventsDelivered(events_delivered);
    } else {
        decoder->setTimestamp(timestamp);
    }
}

void RawFileReader::setEventsDelivered(bool on)
{
    events_delivered = on;
    if (on) {
        decoder->setEventsStreamHandleCallback([this](const Event2D* begin, const Event2D* end) {
            decoded_events->insert(decoded_events->end(), begin, end);
        });
    } else {
        decoder->setEventsStreamHandleCallback(nullptr);
    }
}

bool RawFileReader::getStartTimeStamp(uint64_t& timestamp)
{
    timestamp = start_timestamp;
    return true;
}

bool RawFileReader::getEndTimeStamp(uint64_t& timestamp)
{
    timestamp = end_timestamp;
    return true;
}

bool RawFileReader::getMaxEvents(uint64_t& count)
{
    count = max_events;
    return true;
}

}  // namespace orvane
