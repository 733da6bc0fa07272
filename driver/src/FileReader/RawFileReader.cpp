// Construction, the factory and loading: the "%" header, the index, the first position.
#include "orvane/driver/RawFileReader.h"

#include <filesystem>
#include <iostream>

#include "orvane/base/Logger.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "RawFileReaderInternal.h"
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

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::unique_ptr<Decoder> makeReaderDecoder()
{
    return DecoderFactory::createUniqueDecoder(RawEventStreamFormat(kReaderDecoderFormat));
}

RawFileReader::RawFileReader(std::string path)
    : decoder(makeReaderDecoder()),
      raw_path(std::move(path)),
      index_path(indexPathFor(raw_path)),
      decoded_events(std::make_shared<std::vector<Event2D>>()),
      leftover_events(std::make_shared<std::vector<Event2D>>()),
      result_events(std::make_shared<std::vector<Event2D>>())
{
}

RawFileReader::~RawFileReader() = default;

bool RawFileReader::loadFile()
{
    input_stream.open(raw_path, std::ios::binary | std::ios::in);
    if (!input_stream.is_open()) return false;

    input_stream.seekg(0, std::ios::end);
    file_size = static_cast<uint64_t>(input_stream.tellg());
    input_stream.seekg(0, std::ios::beg);

    // Header lines are compared exactly: a line ended by "\r\n" keeps its "\r".
    std::string line;
    int w = width, h = height;  // as written; checked once the header is read
    while (input_stream.peek() == '%') {
        std::getline(input_stream, line);
        if (line == "% end") break;
        if (startsWith(line, "% format ")) {
            const std::string rest = line.substr(9);
            size_t start = 0;
            bool first = true;
            while (start <= rest.size()) {
                size_t stop = rest.find(';', start);
                if (stop == std::string::npos) stop = rest.size();
                const std::string piece = rest.substr(start, stop - start);
                if (first) {
                    if (piece != "EVT3") {
                        std::cerr << "Error : detected non-EVT3 input file '" << "'" << std::endl;
                        return false;
                    }
                    first = false;
                } else if (const size_t eq = piece.find('='); eq != std::string::npos) {
                    const std::string key = piece.substr(0, eq);
                    if (key == "width") w = std::stoi(piece.substr(eq + 1));
                    else if (key == "height") h = std::stoi(piece.substr(eq + 1));
                }
                start = stop + 1;
            }
        } else if (startsWith(line, "% geometry ")) {
            const std::string rest = line.substr(11);
            const size_t x = rest.find('x');
            w = std::stoi(rest.substr(0, x));
            // Without the x there is no height: the size is malformed.
            h = x == std::string::npos ? 0 : std::stoi(rest.substr(x + 1));
        } else if (startsWith(line, "% evt ")) {
            if (line.substr(6) != "3.0") {
                std::cerr << "Error : detected non-EVT3 input file.'" << "'" << std::endl;
                return false;
            }
        }
    }
    // EVT 3.0 addresses 11 bits: a side outside 1..2048 is not a sensor this format can carry.
    if (w < 1 || w > kMaxSensorSide || h < 1 || h > kMaxSensorSide) {
        throw std::out_of_range("sensor geometry " + std::to_string(w) + "x" + std::to_string(h) +
                                " is outside 1x1 to 2048x2048");
    }
    width = static_cast<uint16_t>(w);
    height = static_cast<uint16_t>(h);
    input_stream.clear();
    data_start = static_cast<uint64_t>(input_stream.tellg());
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

    setEventsDelivered(true);

    if (bookmarks.empty()) {
        ORVANE_LOG_ERROR("Loading raw file failed. There is no data in the file.");
        return false;
    }
    start_timestamp = bookmarks.front().timestamp;
    end_timestamp = bookmarks.back().timestamp;
    max_events = bookmarks.back().event_count;

    seekTime(start_timestamp);
    ORVANE_LOG_INFO("Loading raw file succeeded.");
    return true;
}

void RawFileReader::restartDecoderAt(uint64_t pos, uint64_t timestamp)
{
    if (pos <= data_start) {
        // At the first byte a decoder knows nothing yet, as in a straight decode of the file (a
        // decoder told a time would take the first TIME_HIGH as a step from it).
        decoder = makeReaderDecoder();
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
