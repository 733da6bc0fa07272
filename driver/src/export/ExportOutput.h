// What every exporter does around its own writing: the output is written under a part name beside
// it and renamed into place only when complete, so a failure, a cancel or a crash never leaves a
// file that looks valid at the output path; part files of writers that are gone are removed by the
// next job on the same output. Used on the exporting caller's thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "orvane/driver/Exporter.h"
#include "orvane/driver/RecordingError.h"
#include "orvane/types/Event2D.h"

namespace orvane {
class RawFileReader;
}

namespace orvane::exportio {

// A name beside `path` for the file being written. It keeps the extension, from which writers
// such as FFmpeg pick their container.
std::string partPathFor(const std::string& path);
// Removes part files beside `path` left by processes that are gone; those of live ones stay.
void removeStalePartFiles(const std::string& path);

RecordingError cancelledError(const std::string& what, const std::string& out);
RecordingError::Kind outputErrorKind(int err);
// A failed read or write, with the system's reason (errno).
RecordingError ioError(const std::string& what);
void removeQuietly(const std::string& path);
bool sameFile(const std::string& a, const std::string& b);

// The part file of one output: stale ones are removed on construction; the part is removed on
// destruction unless commit() renamed it into place.
class PartFile {
public:
    explicit PartFile(std::string output);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const std::string& path() const { return part_; }
    const std::string& output() const { return output_; }
    // Renames the part to the output; the reason when that failed (the part is then removed).
    RecordingError commit();

private:
    std::string output_;
    std::string part_;
    bool committed_ = false;
};

// Reports the share of a job done, held below 1 until the job succeeded (finished()), so that 1
// always means a complete file.
class Progress {
public:
    Progress(const std::function<void(double)>& callback, const std::atomic<bool>* cancel)
        : callback_(callback), cancel_(cancel)
    {
    }
    void operator()(double done) const
    {
        if (callback_) callback_(done * 0.99);
    }
    void finished() const
    {
        if (callback_) callback_(1.0);
    }
    bool cancelled() const { return cancel_ && cancel_->load(); }

private:
    const std::function<void(double)>& callback_;
    const std::atomic<bool>* cancel_;
};

// Hands the range's events to `sink` in pieces of at most a few thousand, in stream order, as a read
// of the range gives them (see ExportRange), reporting progress by the events' times. Kind::None
// when all went to the sink; BadRange when the range is not in the recording; Cancelled.
RecordingError forEachEvent(RawFileReader& reader, ExportRange range, const std::string& output,
                            const Progress& progress,
                            const std::function<void(const Event2D*, const Event2D*)>& sink);
// The trigger edges of the range, to `sink` a window of the recording at a time.
void forEachTrigger(RawFileReader& reader, ExportRange range,
                    const std::function<void(const std::vector<EventTriggerIn>&)>& sink);

}  // namespace orvane::exportio
