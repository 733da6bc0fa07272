// A raw export of an EVT 2.0 / 2.1 recording: its events and trigger edges decoded and written again
// as EVT 3.0, so that every output of the raw exporter is in the encoding all our tools (and most
// others) read. Memory is bounded by one piece of events and the range's trigger edges.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "FileReader/RawFormat.h"
#include "export/ExportOutput.h"
#include "export/RawExporters.h"
#include "orvane/base/SysTime.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Evt3Encoder.h"

namespace orvane::exportio {

RecordingError rewriteAsEvt3(RawFileReader& reader, ExportRange range, PartFile& part,
                             const Progress& progress)
{
    const std::string& output = part.output();
    if (sameFile(output, reader.getPath()))
        return {RecordingError::Kind::Io, "cannot write '" + output + "': it is the recording being cut", 0};

    // Trigger edges are few beside events: all of the range's are taken first, then each goes in
    // after the events not later than itself.
    std::vector<EventTriggerIn> triggers;
    forEachTrigger(reader, range, [&](const std::vector<EventTriggerIn>& window) {
        triggers.insert(triggers.end(), window.begin(), window.end());
    });

    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(part.path().c_str(), "wb"), &std::fclose);
    if (!out) {
        const int err = errno;
        return {outputErrorKind(err), "cannot write '" + output + "': " + std::strerror(err), err};
    }
    // The first write that fails ends the job with its reason (a full disk, a file size limit).
    int writeError = 0;
    struct WriteFailed {};
    const auto put = [&](const void* p, size_t n) {
        errno = 0;
        if (n != 0 && std::fwrite(p, 1, n, out.get()) != n) {
            writeError = errno != 0 ? errno : EIO;
            throw WriteFailed{};
        }
    };
    Evt3Encoder encoder;
    std::vector<uint8_t> words;
    size_t nextTrigger = 0;
    uint64_t events = 0;
    RecordingError failed;
    try {
        const std::string header =
            RawFormat::evt3().header(getSysTime(), reader.getWidth(), reader.getHeight());
        put(header.data(), header.size());
        failed = forEachEvent(reader, range, output, progress, [&](const Event2D* b, const Event2D* e) {
            events += static_cast<uint64_t>(e - b);
            while (b != e) {
                // The events up to the next trigger edge's time, then the edge.
                const Event2D* upTo = e;
                if (nextTrigger < triggers.size()) {
                    const uint64_t t = triggers[nextTrigger].timestamp;
                    upTo = std::find_if(b, e, [t](const Event2D& ev) { return ev.timestamp > t; });
                }
                encoder.encode(b, upTo, words);
                b = upTo;
                if (upTo != e) encoder.encodeTrigger(triggers[nextTrigger++], words);
            }
            put(words.data(), words.size());
            words.clear();
        });
        if (!failed) {
            for (; nextTrigger < triggers.size(); ++nextTrigger)
                encoder.encodeTrigger(triggers[nextTrigger], words);
            put(words.data(), words.size());
        }
    } catch (const WriteFailed&) {
        // The read stopped in its sink: a seek leaves the reader whole for whoever reads next.
        uint64_t first = 0;
        reader.getStartTimeStamp(first);
        reader.seekTime(std::max(range.start_us, first));
        return {outputErrorKind(writeError), "cannot write '" + output + "': " + std::strerror(writeError),
                writeError};
    }
    if (failed) return failed;
    if (events == 0 && triggers.empty()) {
        return {RecordingError::Kind::BadRange, "there is no data of '" + reader.getPath() + "' in the range",
                0};
    }
    errno = 0;
    const bool bad = std::ferror(out.get()) != 0;
    if (std::fclose(out.release()) != 0 || bad) return ioError("cannot write '" + output + "'");
    return {};
}

}  // namespace orvane::exportio
