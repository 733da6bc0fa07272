// orvane.RawFile: one recording opened through the driver's RawFileReader. Every operation holds the
// file's own lock with the GIL released, so Python threads may share a RawFile and other Python
// threads run while it decodes, reads, cuts or exports. Reads by time work on the stream's order, so
// the windows of a range put together are exactly one read of it.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace orvane {
class RawFileReader;
struct RecordingError;
}

namespace orvane::python {

namespace py = pybind11;

class EventBuffer;

class RawFile {
public:
    explicit RawFile(std::string path);
    ~RawFile();

    py::dict info() const;
    uint16_t width() const { return width_; }
    uint16_t height() const { return height_; }
    const std::string& path() const { return path_; }
    uint64_t endUs() const { return end_us_; }

    py::array read(std::optional<int64_t> startUs, std::optional<int64_t> durationUs);
    py::array readCount(int64_t n, std::optional<int64_t> startEvent);
    py::array triggers(std::optional<int64_t> startUs, std::optional<int64_t> endUs);
    void cut(int64_t startUs, int64_t endUs, const std::string& out, const py::object& progress);
    void exportVideo(int64_t startUs, int64_t endUs, const std::string& out, const py::object& progress);
    // The exporter OUT's extension names, with `options` (keyword arguments) set on it as strings.
    void exportTo(const std::string& out, std::optional<int64_t> startUs, std::optional<int64_t> endUs,
                  const py::object& progress, const py::kwargs& options);
    void close();

    // One window of a `windows` iteration: the events of [from, to) (through the recording's end
    // when `to` lies past it). `generation` is what the iteration saw after its last window: when
    // nothing else read the file since, the reader goes on from where it stands instead of seeking.
    py::array readWindow(uint64_t from, uint64_t to, uint64_t& generation);
    // Checks and resolves a windows() call's range: [start, end) with end past the recording's end
    // meaning through its end.
    std::pair<uint64_t, uint64_t> windowRange(std::optional<int64_t> startUs,
                                              std::optional<int64_t> endUs) const;

private:
    RawFileReader& reader() const;
    uint64_t checkedStart(std::optional<int64_t> startUs, const char* name) const;
    // Caller holds mutex_. Reads on from the reader's position up to `to` (exclusive; through the
    // end past end_us_), appending to `out`.
    void checkWhole() const;
    void readOnTo(uint64_t to, EventBuffer& out);
    // Caller holds mutex_. The next `count` events (fewer at the end), appended to `out`.
    void readCountOn(uint64_t count, EventBuffer& out);
    uint64_t expectedEvents(uint64_t from, uint64_t to) const;
    // One writing job on the reader, with the lock held and the GIL released: given the progress
    // callback and the cancel flag, Kind::None on success.
    using WriterJob = std::function<RecordingError(RawFileReader&, const std::function<void(double)>&,
                                                   const std::atomic<bool>*)>;
    void runWriter(const char* what, int64_t startUs, int64_t endUs, const std::string& out,
                   const py::object& progress, const WriterJob& job);

    std::string path_;
    std::unique_ptr<RawFileReader> reader_;
    mutable std::mutex mutex_;
    uint64_t generation_ = 0;  // bumped by every operation that moves the reader
    uint64_t nextCountEvent_ = 0;
    uint64_t countGeneration_ = UINT64_MAX;  // generation_ after the last read_count
    uint64_t bytes_ = 0, start_us_ = 0, end_us_ = 0, events_ = 0, firstEventUs_ = 0, lastEventUs_ = 0;
    uint16_t width_ = 0, height_ = 0;
    double openMs_ = 0;
    std::string format_;
    uint64_t offSensor_ = 0;  // "EVT 3.0", "EVT 2.0", "EVT 2.1"
    bool indexReused_ = false;
};

void bindRawFile(py::module_& m);

}  // namespace orvane::python
