#include "RawFile.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <optional>

#include "Errors.h"
#include "EventArrays.h"
#include "Progress.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/Exporter.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane::python {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kNoEnd = std::numeric_limits<uint64_t>::max();

// Holds a RawFile's mutex for a read. A read of up to kKeepGilEvents events keeps the GIL: handing it
// over and taking it back costs more than such a read wherever another thread wants it now and then
// (a Dask worker's event loop), and 100 ms windows were read there at half the speed of a plain
// loop. Waiting for the mutex always drops it: its holder may want the GIL (a look at signals).
constexpr uint64_t kKeepGilEvents = uint64_t{1} << 16;
class ReadLock {
public:
    ReadLock(std::mutex& mutex, uint64_t expectedEvents) : lock_(mutex, std::try_to_lock)
    {
        if (lock_.owns_lock() && expectedEvents <= kKeepGilEvents) return;
        if (lock_.owns_lock()) lock_.unlock();
        nogil_.emplace();
        lock_.lock();
    }

private:
    std::optional<py::gil_scoped_release> nogil_;  // declared first: taken back after the unlock
    std::unique_lock<std::mutex> lock_;
};

uint64_t saturatingAdd(uint64_t a, uint64_t b)
{
    return a > kNoEnd - b ? kNoEnd : a + b;
}

std::string inQuotes(const std::string& path)
{
    return "'" + path + "'";
}

// The driver's reason as the exception that stands for it.
[[noreturn]] void raise(const RecordingError& e, const std::string& path)
{
    using Kind = RecordingError::Kind;
    switch (e.kind) {
    case Kind::NotFound:
    case Kind::NoPermission: throw PathError(e.errnum, std::strerror(e.errnum), path);
    case Kind::UnsupportedFormat: throw UnsupportedFormatError(e.message);
    case Kind::BadHeader:
    case Kind::BadGeometry:
    case Kind::NotEventData:
    case Kind::NoEvents: throw FormatError(e.message);
    case Kind::BadRange: throw py::value_error(e.message);
    case Kind::Io:
        if (e.errnum != 0) throw PathError(e.errnum, e.message, path);
        throw Error(e.message);
    case Kind::Cancelled:
        // Only Ctrl-C cancels from Python.
        PyErr_SetString(PyExc_KeyboardInterrupt, e.message.c_str());
        throw py::error_already_set();
    case Kind::None: break;
    }
    throw Error(e.message);
}

// A path with a NUL in it would name another file once it reaches the system (everything up to
// the NUL): refuse it, as Python's own open() does.
void checkNoNul(const std::string& path, const char* what)
{
    if (path.find('\0') != std::string::npos) throw py::value_error(std::string(what) + " contains a NUL character");
}

void checkOutputFolder(const std::string& out)
{
    checkNoNul(out, "path");
    const fs::path parent = fs::absolute(fs::path(out)).parent_path();
    std::error_code ec;
    const fs::file_status st = fs::status(parent, ec);
    if (fs::is_directory(st)) return;
    // A file where a folder should be is NotADirectoryError, as Python's own open() tells it.
    const bool fileInTheWay = ec.value() == ENOTDIR || (!ec && fs::exists(st));
    if (fileInTheWay) throw PathError(ENOTDIR, "Not a directory", parent.string());
    throw PathError(ENOENT, "No such folder", parent.string());
}

}  // namespace

RawFile::RawFile(std::string path) : path_(std::move(path))
{
    checkNoNul(path_, "path");
    std::error_code ec;
    if (fs::is_directory(path_, ec)) throw PathError(EISDIR, "Is a directory", path_);
    reader_ = std::make_unique<RawFileReader>(path_);
    const std::string index = reader_->getIndexPath();
    const bool hadIndex = fs::exists(index, ec);
    RecordingError error;
    {
        py::gil_scoped_release nogil;
        const auto t0 = std::chrono::steady_clock::now();
        error = reader_->open();
        openMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (!error) {
            reader_->getStartTimeStamp(start_us_);
            reader_->getEndTimeStamp(end_us_);
            reader_->getMaxEvents(events_);
            firstEventUs_ = start_us_;
            lastEventUs_ = end_us_;
            if (const auto first = reader_->getNEventsGivenStartEvent(0, 1); !first->empty()) {
                firstEventUs_ = first->front().timestamp;
            }
            if (const auto last = reader_->getNEventsGivenStartEvent(events_ - 1, 1); !last->empty()) {
                lastEventUs_ = last->front().timestamp;
            }
        }
    }
    if (error) {
        reader_.reset();
        // A file we could not open keeps nothing of ours beside it.
        if (!hadIndex) fs::remove(index, ec);
        raise(error, path_);
    }
    format_ = reader_->formatName();
    offSensor_ = reader_->offSensorEvents();
    bytes_ = fs::file_size(path_, ec);
    width_ = reader_->getWidth();
    height_ = reader_->getHeight();
    indexReused_ = reader_->indexReused();
}

RawFile::~RawFile() = default;

RawFileReader& RawFile::reader() const
{
    if (!reader_) throw Error("the recording " + inQuotes(path_) + " is closed");
    return *reader_;
}

void RawFile::close()
{
    py::gil_scoped_release nogil;
    std::lock_guard lock(mutex_);
    reader_.reset();
}

py::dict RawFile::info() const
{
    reader();
    py::dict d;
    d["path"] = path_;
    d["format"] = format_;
    d["bytes"] = bytes_;
    d["width"] = width_;
    d["height"] = height_;
    d["start_us"] = start_us_;
    d["end_us"] = end_us_;
    d["duration_us"] = end_us_ - start_us_;
    d["first_event_us"] = firstEventUs_;
    d["last_event_us"] = lastEventUs_;
    d["events"] = events_;
    d["off_sensor_events"] = offSensor_;
    d["index"] = indexReused_ ? "reused" : "built";
    d["open_ms"] = openMs_;
    return d;
}

uint64_t RawFile::checkedStart(std::optional<int64_t> startUs, const char* name) const
{
    if (!startUs) return start_us_;
    if (*startUs < 0 || static_cast<uint64_t>(*startUs) < start_us_) {
        throw py::value_error(std::string(name) + " " + std::to_string(*startUs) +
                              " is before the recording's start (" + std::to_string(start_us_) + " us)");
    }
    if (static_cast<uint64_t>(*startUs) > end_us_) {
        throw py::value_error(std::string(name) + " " + std::to_string(*startUs) +
                              " is after the recording's end (" + std::to_string(end_us_) + " us)");
    }
    return static_cast<uint64_t>(*startUs);
}

// A read that found the recording cut short while open gives fewer events than it promises: an
// error, not a short answer. Caller holds mutex_.
void RawFile::checkWhole() const
{
    if (!reader().shrinkMessage().empty()) throw Error(reader().shrinkMessage());
}

void RawFile::readOnTo(uint64_t to, EventBuffer& out)
{
    RawFileReader& r = reader();
    // Up to the last bookmark by time; what lies after it in the stream (events stamped at or just
    // before the end) by count, so a read through the end misses nothing. Each is one read straight
    // into the array.
    const bool throughEnd = to > end_us_;
    const uint64_t limit = throughEnd ? end_us_ : to;
    if (const uint64_t at = r.getCurrentPosTimeStamp(); at < limit) r.readNTimeEvents(limit - at, out);
    if (!throughEnd) return checkWhole();
    if (const uint64_t n = r.getCurrentPosEventNum(); n < events_) r.readNEvents(events_ - n, out);
    checkWhole();
}

void RawFile::readCountOn(uint64_t count, EventBuffer& out)
{
    // In pieces of a tenth of a second or so, with a look at pending signals between them, so
    // that Ctrl-C stops a read of a whole large recording at once. The pieces follow each other
    // in the stream exactly; the look takes the GIL only for a moment (no caller waits for mutex_
    // while holding it).
    constexpr uint64_t kPieceEvents = uint64_t{1} << 22;
    for (uint64_t done = 0; done < count;) {
        const uint64_t n = std::min(kPieceEvents, count - done);
        const uint64_t got = reader().readNEvents(n, out);
        done += got;
        if (got < n) break;
        if (done < count) {
            py::gil_scoped_acquire gil;
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        }
    }
    checkWhole();
}

py::array RawFile::read(std::optional<int64_t> startUs, std::optional<int64_t> durationUs)
{
    reader();
    const uint64_t from = checkedStart(startUs, "start_us");
    if (durationUs && *durationUs < 0) throw py::value_error("duration_us must not be negative");
    const uint64_t to = durationUs ? saturatingAdd(from, static_cast<uint64_t>(*durationUs)) : kNoEnd;
    EventBuffer out;
    if (to > from) {
        const ReadLock lock(mutex_, durationUs ? expectedEvents(from, to) : events_);
        RawFileReader& r = reader();
        ++generation_;
        if (!r.seekTime(from))
            throw Error("cannot seek to " + std::to_string(from) + " us in " + inQuotes(path_));
        // Time seeks put the reader at the first event, in stream order, at or past the time, as
        // windows split: the range is the events between the two seeks' event numbers. Read by count,
        // which spares a look at every event's time, into an array allocated once.
        const uint64_t first = r.getCurrentPosEventNum();
        uint64_t last = events_;
        if (to <= end_us_) {
            if (!r.seekTime(to))
                throw Error("cannot seek to " + std::to_string(to) + " us in " + inQuotes(path_));
            last = r.getCurrentPosEventNum();
            if (!r.seekTime(from))
                throw Error("cannot seek to " + std::to_string(from) + " us in " + inQuotes(path_));
        }
        const uint64_t count = last > first ? last - first : 0;
        out.reserve(count);
        readCountOn(count, out);
    }
    return out.release();
}

std::pair<uint64_t, uint64_t> RawFile::windowRange(std::optional<int64_t> startUs,
                                                   std::optional<int64_t> endUs) const
{
    reader();
    const uint64_t from = checkedStart(startUs, "start_us");
    if (!endUs) return {from, kNoEnd};
    if (*endUs < 0 || static_cast<uint64_t>(*endUs) < from) {
        throw py::value_error("end_us " + std::to_string(*endUs) + " is before start_us " +
                              std::to_string(from));
    }
    return {from, static_cast<uint64_t>(*endUs)};
}

// The events of [from, to) at the recording's mean rate.
uint64_t RawFile::expectedEvents(uint64_t from, uint64_t to) const
{
    const uint64_t span = std::min(to, end_us_ + 1) - std::min(from, end_us_ + 1);
    return events_ / std::max<uint64_t>(1, (end_us_ - start_us_ + 1) / std::max<uint64_t>(1, span));
}

py::array RawFile::readWindow(uint64_t from, uint64_t to, uint64_t& generation)
{
    EventBuffer out;
    {
        const uint64_t expected = expectedEvents(from, to);
        const ReadLock lock(mutex_, expected);
        RawFileReader& r = reader();
        if (generation != generation_ && !r.seekTime(from)) {
            throw Error("cannot seek to " + std::to_string(from) + " us in " + inQuotes(path_));
        }
        out.reserve(expected + expected / 4 + 256);
        readOnTo(to, out);
        generation = ++generation_;
    }
    return out.release();
}

py::array RawFile::readCount(int64_t n, std::optional<int64_t> startEvent)
{
    reader();
    if (n < 0) throw py::value_error("n must not be negative");
    if (startEvent && (*startEvent < 0 || static_cast<uint64_t>(*startEvent) > events_)) {
        throw py::value_error("start_event " + std::to_string(*startEvent) + " is outside the recording (" +
                              std::to_string(events_) + " events)");
    }
    EventBuffer out;
    {
        const ReadLock lock(mutex_, static_cast<uint64_t>(n));
        RawFileReader& r = reader();
        const uint64_t start = startEvent ? static_cast<uint64_t>(*startEvent) : nextCountEvent_;
        const uint64_t count = std::min(static_cast<uint64_t>(n), events_ - std::min(events_, start));
        if (count > 0) {
            const bool continues = countGeneration_ == generation_ && start == nextCountEvent_;
            if (!continues && !r.seekNEvents(start))
                throw Error("cannot seek to event " + std::to_string(start));
            out.reserve(count);
            readCountOn(count, out);
        }
        nextCountEvent_ = start + out.size();
        countGeneration_ = ++generation_;
    }
    return out.release();
}

py::array RawFile::triggers(std::optional<int64_t> startUs, std::optional<int64_t> endUs)
{
    reader();
    const uint64_t from = checkedStart(startUs, "start_us");
    uint64_t to = end_us_ + 1;
    if (endUs) {
        if (*endUs < 0 || static_cast<uint64_t>(*endUs) < from) {
            throw py::value_error("end_us " + std::to_string(*endUs) + " is before start_us " +
                                  std::to_string(from));
        }
        to = static_cast<uint64_t>(*endUs);
    }
    std::vector<EventTriggerIn> edges;
    if (to > from) {
        py::gil_scoped_release nogil;
        std::lock_guard lock(mutex_);
        reader().getTriggerEvents(from, to, edges);
    }
    return triggerArray(edges);
}

void RawFile::runWriter(const char* what, int64_t startUs, int64_t endUs, const std::string& out,
                        const py::object& progressArg, const WriterJob& job)
{
    reader();
    if (startUs < 0 || static_cast<uint64_t>(startUs) < start_us_) {
        throw py::value_error("start_us " + std::to_string(startUs) + " is before the recording's start (" +
                              std::to_string(start_us_) + " us)");
    }
    if (endUs < 0 || static_cast<uint64_t>(endUs) > end_us_) {
        throw py::value_error("end_us " + std::to_string(endUs) + " is after the recording's end (" +
                              std::to_string(end_us_) + " us)");
    }
    if (startUs >= endUs) {
        throw py::value_error("start_us " + std::to_string(startUs) + " must be below end_us " +
                              std::to_string(endUs));
    }
    const Progress bar(progressArg, what);
    const py::object& progress = bar.callback();
    checkOutputFolder(out);

    // The driver reports progress on the thread that runs the job; Python is entered only with the
    // GIL, at most every 100 ms (and at the end), to call the callback and to run pending signal
    // handlers (Ctrl-C). The first exception either raises cancels the job, which then removes its
    // part file, and is raised afterwards.
    std::unique_ptr<py::error_already_set> callbackError;
    std::atomic<bool> cancel{false};
    auto lastEntry = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    const std::function<void(double)> report = [&](double share) {
        const auto now = std::chrono::steady_clock::now();
        if (share < 1.0 && now - lastEntry < std::chrono::milliseconds(100)) return;
        lastEntry = now;
        py::gil_scoped_acquire gil;
        if (callbackError) return;
        try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (!progress.is_none()) progress(share);
        } catch (py::error_already_set& e) {
            callbackError = std::make_unique<py::error_already_set>(std::move(e));
            cancel = true;
        }
    };
    bool ok = false;
    std::string reason;
    RecordingError error;
    {
        py::gil_scoped_release nogil;
        std::lock_guard lock(mutex_);
        RawFileReader& r = reader();
        ++generation_;
        r.setProgressCallback(report);
        r.setCancelFlag(&cancel);
        try {
            error = job(r, report, &cancel);
            ok = !error;
            reason = error.message;
        } catch (const std::exception& e) {
            reason = e.what();
        }
        r.setProgressCallback(nullptr);
        r.setCancelFlag(nullptr);
    }
    if (callbackError) {
        // The caller asked to stop: what was written is not what it wanted.
        std::error_code ec;
        if (ok) fs::remove(out, ec);
        callbackError->restore();
        throw py::error_already_set();
    }
    if (!ok && error.kind == RecordingError::Kind::BadRange) throw py::value_error(std::string(what) + " failed: " + reason);
    if (!ok && error.kind == RecordingError::Kind::Io &&
        (error.errnum == ENOSPC || error.errnum == EFBIG || error.errnum == EDQUOT)) {
        throw WriteError(error.errnum, std::strerror(error.errnum), out);
    }
    if (!ok && error.errnum != 0 && error.kind != RecordingError::Kind::Io) raise(error, out);
    if (!ok)
        throw Error(std::string(what) + " of " + inQuotes(path_) + " failed" +
                    (reason.empty() ? "" : ": " + reason));
}

namespace {

// The reader's own writing jobs, which take the progress callback and cancel flag set on the reader.
RecordingError readerJobResult(const RawFileReader& r, bool ok)
{
    if (ok) return {};
    if (r.lastError()) return r.lastError();
    return {RecordingError::Kind::Io, "", 0};
}

}  // namespace

void RawFile::cut(int64_t startUs, int64_t endUs, const std::string& out, const py::object& progress)
{
    runWriter("cut", startUs, endUs, out, progress,
              [&](RawFileReader& r, const std::function<void(double)>&, const std::atomic<bool>*) {
                  return readerJobResult(
                      r, r.extractEventData(static_cast<uint64_t>(startUs), static_cast<uint64_t>(endUs), out));
              });
}

void RawFile::exportVideo(int64_t startUs, int64_t endUs, const std::string& out, const py::object& progress)
{
    runWriter("export", startUs, endUs, out, progress,
              [&](RawFileReader& r, const std::function<void(double)>&, const std::atomic<bool>*) {
                  return readerJobResult(r, r.exportEventDataToVideo(static_cast<uint64_t>(startUs),
                                                                     static_cast<uint64_t>(endUs), out));
              });
}

namespace {

std::string exportKinds()
{
    std::string kinds;
    for (const auto& e : makeExporters()) {
        kinds += (kinds.empty() ? "" : ", ") + e->extension();
        if (e->name() == "hdf5") kinds += ", .hdf5";
    }
    return kinds;
}

// A keyword argument's value as the exporter's option text: numbers and strings as Python writes
// them; anything else is a mistake rather than its repr.
std::string optionText(const std::string& name, const py::handle& value)
{
    if (py::isinstance<py::bool_>(value) ||
        !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value) || py::isinstance<py::str>(value))) {
        throw py::type_error("the export option " + name + " takes a number or a string, not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    return py::str(value);
}

}  // namespace

void RawFile::exportTo(const std::string& out, std::optional<int64_t> startUs, std::optional<int64_t> endUs,
                       const py::object& progress, const py::kwargs& options)
{
    reader();
    checkNoNul(out, "path");
    std::shared_ptr<Exporter> exporter = makeExporterFor(out);
    if (!exporter) throw py::value_error("the path " + inQuotes(out) + " must end in one of " + exportKinds());
    // Every option is checked before anything is written.
    for (const auto& [key, value] : options) {
        const std::string name = py::str(key);
        if (value.is_none()) continue;  // the exporter's default
        std::string error;
        if (!exporter->setOption(name, optionText(name, value), error)) throw py::value_error(error);
    }
    const int64_t from = startUs.value_or(static_cast<int64_t>(start_us_));
    const int64_t to = endUs.value_or(static_cast<int64_t>(end_us_));
    runWriter("export", from, to, out, progress,
              [&](RawFileReader& r, const std::function<void(double)>& report, const std::atomic<bool>* cancel) {
                  return exporter->run(r, {static_cast<uint64_t>(from), static_cast<uint64_t>(to)}, out, report,
                                       cancel);
              });
}

namespace {

// Iterates the windows of [from, to): each a read of [t, t + duration), the last one cut at `to` or,
// when `to` lies past the recording's end, taking everything through the end.
class Windows {
public:
    Windows(py::object file, uint64_t duration, uint64_t from, uint64_t to)
        : file_(std::move(file)), duration_(duration), next_(from), to_(to)
    {
    }

    py::array next()
    {
        RawFile& file = file_.cast<RawFile&>();
        if (done_ || next_ >= to_) throw py::stop_iteration();
        uint64_t end = saturatingAdd(next_, duration_);
        if (end >= to_) {
            end = to_;
            done_ = true;
        }
        const uint64_t recordingEnd = file.endUs();
        if (to_ > recordingEnd && end > recordingEnd) {
            end = kNoEnd;
            done_ = true;
        }
        py::array events = file.readWindow(next_, end, generation_);
        next_ = end;
        return events;
    }

private:
    py::object file_;
    uint64_t duration_, next_, to_;
    uint64_t generation_ = kNoEnd;  // forces a seek before the first window
    bool done_ = false;
};

}  // namespace

void bindRawFile(py::module_& m)
{
    py::class_<Windows>(m, "_Windows")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &Windows::next);

    py::class_<RawFile>(m, "RawFile", R"doc(
An EVT 3.0, 2.0 or 2.1 recording. Opening builds the index beside the file (x.raw -> x.ovmark.tmp) the first
time and reuses it later. Events come as numpy structured arrays of EVENT_DTYPE (x, y, p, t) in
stream order; times are microseconds on the camera's time base.)doc")
        .def(py::init<std::string>(), py::arg("path"))
        // A worker process gets the path and opens the recording itself (reusing the index beside it);
        // the open reader, its position and its lock stay in the process that made them.
        .def(py::pickle([](const RawFile& self) { return py::make_tuple(self.path()); },
                        [](const py::tuple& state) {
                            if (state.size() != 1) throw py::value_error("not a pickled orvane.RawFile");
                            return std::make_unique<RawFile>(state[0].cast<std::string>());
                        }))
        .def_property_readonly("info", &RawFile::info,
                               "path, format, bytes, width, height, start_us, end_us, duration_us, first_event_us, "
                               "last_event_us, events, off_sensor_events (outside the sensor: never read), index ('built' or 'reused'), open_ms")
        .def_property_readonly("path", &RawFile::path)
        .def_property_readonly("width", &RawFile::width)
        .def_property_readonly("height", &RawFile::height)
        .def(
            "read", &RawFile::read, py::arg("start_us") = py::none(), py::arg("duration_us") = py::none(),
            "Events of [start_us, start_us + duration_us); defaults: the recording's start, through its end.")
        .def("read_count", &RawFile::readCount, py::arg("n"), py::arg("start_event") = py::none(),
             "Up to n events from event number start_event (None: where the previous read_count ended, "
             "0 at first).")
        .def(
            "windows",
            [](py::object self, int64_t durationUs, std::optional<int64_t> startUs,
               std::optional<int64_t> endUs) {
                if (durationUs <= 0) throw py::value_error("duration_us must be above 0");
                const auto [from, to] = self.cast<RawFile&>().windowRange(startUs, endUs);
                return Windows(self, static_cast<uint64_t>(durationUs), from, to);
            },
            py::arg("duration_us"), py::arg("start_us") = py::none(), py::arg("end_us") = py::none(),
            "Iterates the events of [start_us, end_us) window by window, duration_us each; together "
            "they are exactly read() of the range. Defaults: the recording's start, through its end.")
        .def("triggers", &RawFile::triggers, py::arg("start_us") = py::none(), py::arg("end_us") = py::none(),
             "Trigger edges with a time in [start_us, end_us), as an array of TRIGGER_DTYPE (t, id, p).")
        .def("cut", &RawFile::cut, py::arg("start_us"), py::arg("end_us"), py::arg("path"),
             py::arg("progress") = py::none(),
             "Writes [start_us, end_us] as a new recording; progress(share) is called with 0..1.")
        .def("export_video", &RawFile::exportVideo, py::arg("start_us"), py::arg("end_us"), py::arg("path"),
             py::arg("progress") = py::none(),
             "Writes [start_us, end_us] as an H.264 video; progress(share) is called with 0..1.")
        .def("export", &RawFile::exportTo, py::arg("path"), py::arg("start_us") = py::none(),
             py::arg("end_us") = py::none(), py::arg("progress") = py::none(), R"doc(
Writes the events of [start_us, end_us) (defaults: the whole recording) into the kind of file the path's extension
names: .raw (EVT 3.0; an EVT 2.x recording is written again), .h5 or .hdf5 (HDF5 datasets events/x, y, p, t, events/ms_to_idx, triggers/t, id, p),
.csv (x,y,p,t lines), .mp4 (H.264 video). Keyword arguments are the kind's options, such as fps=60 or
speed=0.1 for a video (an unknown option or a bad value raises ValueError before anything is written);
progress(share) is called with 0..1. A failure or Ctrl-C leaves no file.)doc")
        .def("close", &RawFile::close)
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](RawFile& self, py::args) { self.close(); })
        .def("__repr__", [](const RawFile& self) { return "<orvane.RawFile '" + self.path() + "'>"; });
}

}  // namespace orvane::python
