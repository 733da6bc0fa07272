// The HDF5 export, through the HDF5 C API. Each dataset is chunked and grows by whole chunks.
//
// Three kinds of thread share the work, so that reading, compressing and writing overlap:
// - the exporting thread (the caller's) creates the file and its datasets, reads the events and
//   lays them out column by column into chunk buffers; at the end it writes the attributes and
//   closes the file;
// - packing workers shuffle and deflate full chunks, with our run-length coder (RunDeflate.h: the
//   same zlib streams the library's deflate filter reads back, at several times the speed of a
//   general deflate on event data); they make no HDF5 call: the library holds one lock for all its
//   calls, and compressing under it would leave the other threads waiting;
// - one writer thread makes every HDF5 call in between: it hands each chunk to the file, in the
//   order the chunks were filled, with a direct chunk write (or, for a column's last part chunk, a
//   plain write that the library's own filters pack).
// Each column owns a few chunk buffers that go round: filling, packing, writing, free again. The
// exporting thread waits for a free one, so memory stays at a few chunks per column whatever the range.
#include <hdf5.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "export/ExportOutput.h"
#include "export/Hdf5File.h"
#include "export/TableExporters.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/driver/RunDeflate.h"

namespace orvane {

namespace {

using hdf5::Hid;

// Chunks are handed to the file as the bytes the little-endian file types hold.
static_assert(std::endian::native == std::endian::little);

constexpr hsize_t kChunk = 262144;  // values per chunk (512 KiB of x, 2 MiB of t)
constexpr int kDeflateLevel = 1;    // as the filter records it; the library packs part chunks with it
constexpr size_t kBuffersPerColumn = 4;

// ---- packing: what the library's shuffle and deflate filters would make of a chunk ----

// Byte k of every value, then byte k + 1 of every value...: the library's shuffle filter. Written
// plane by plane for the common sizes, which compilers turn into vector code.
void shuffle(const unsigned char* in, size_t values, size_t size, unsigned char* out)
{
    if (size == 2) {
        unsigned char *p0 = out, *p1 = out + values;
        for (size_t i = 0; i < values; ++i) {
            uint16_t v;
            std::memcpy(&v, in + 2 * i, 2);
            p0[i] = static_cast<unsigned char>(v);
            p1[i] = static_cast<unsigned char>(v >> 8);
        }
    } else if (size == 8) {
        std::array<unsigned char*, 8> p{};
        for (size_t k = 0; k < 8; ++k) p[k] = out + k * values;
        for (size_t i = 0; i < values; ++i) {
            uint64_t v;
            std::memcpy(&v, in + 8 * i, 8);
            p[0][i] = static_cast<unsigned char>(v);
            p[1][i] = static_cast<unsigned char>(v >> 8);
            p[2][i] = static_cast<unsigned char>(v >> 16);
            p[3][i] = static_cast<unsigned char>(v >> 24);
            p[4][i] = static_cast<unsigned char>(v >> 32);
            p[5][i] = static_cast<unsigned char>(v >> 40);
            p[6][i] = static_cast<unsigned char>(v >> 48);
            p[7][i] = static_cast<unsigned char>(v >> 56);
        }
    } else {
        for (size_t i = 0; i < values; ++i) {
            for (size_t k = 0; k < size; ++k) out[k * values + i] = in[size * i + k];
        }
    }
}

// ---- columns and their chunks ----

enum class Compression { Deflate, None };

struct Column;

struct Chunk {
    enum class State { Free, Filling, Queued, Packing, Ready };
    Column* column = nullptr;
    State state = State::Free;
    hsize_t first = 0;                  // the dataset index of its first value
    size_t values = 0;                  // kChunk, or fewer for a column's last chunk
    std::vector<unsigned char> raw;     // the values
    std::vector<unsigned char> packed;  // shuffled and deflated
    size_t packedSize = 0;
};

template <typename T>
hid_t fileType();
template <>
hid_t fileType<uint8_t>()
{
    return H5T_STD_U8LE;
}
template <>
hid_t fileType<uint16_t>()
{
    return H5T_STD_U16LE;
}
template <>
hid_t fileType<int16_t>()
{
    return H5T_STD_I16LE;
}
template <>
hid_t fileType<int64_t>()
{
    return H5T_STD_I64LE;
}
template <>
hid_t fileType<uint64_t>()
{
    return H5T_STD_U64LE;
}
template <typename T>
hid_t memoryType();
template <>
hid_t memoryType<uint8_t>()
{
    return H5T_NATIVE_UINT8;
}
template <>
hid_t memoryType<uint16_t>()
{
    return H5T_NATIVE_UINT16;
}
template <>
hid_t memoryType<int16_t>()
{
    return H5T_NATIVE_INT16;
}
template <>
hid_t memoryType<int64_t>()
{
    return H5T_NATIVE_INT64;
}
template <>
hid_t memoryType<uint64_t>()
{
    return H5T_NATIVE_UINT64;
}

// A one-dimensional dataset that only grows at its end, a chunk at a time.
struct Column {
    Hid set;
    hid_t memory = -1;
    size_t size = 0;     // bytes per value
    hsize_t extent = 0;  // the dataset's size so far (writer thread)
    hsize_t filled = 0;  // values handed to chunks so far (exporting thread)
    std::array<Chunk, kBuffersPerColumn> chunks;
};

struct WriteFailed {};

void check(bool ok)
{
    if (!ok) throw WriteFailed{};
}

template <typename T>
void createColumn(Column& c, hid_t group, const char* name, Compression compression)
{
    const hsize_t empty = 0, unlimited = H5S_UNLIMITED;
    Hid space(H5Screate_simple(1, &empty, &unlimited), H5Sclose);
    Hid props(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    check(space && props);
    check(H5Pset_chunk(props.get(), 1, &kChunk) >= 0);
    if (compression == Compression::Deflate) {
        check(H5Pset_shuffle(props.get()) >= 0);
        check(H5Pset_deflate(props.get(), kDeflateLevel) >= 0);
    }
    c.set = Hid(H5Dcreate2(group, name, fileType<T>(), space.get(), H5P_DEFAULT, props.get(), H5P_DEFAULT),
                H5Dclose);
    check(bool(c.set));
    c.memory = memoryType<T>();
    c.size = sizeof(T);
    for (Chunk& chunk : c.chunks) chunk.column = &c;
}

// The innermost message on the calling thread's HDF5 error stack (where the library saw the fault).
std::string hdf5Reason()
{
    std::string reason;
    H5Ewalk2(
        H5E_DEFAULT, H5E_WALK_UPWARD,
        [](unsigned n, const H5E_error2_t* e, void* out) -> herr_t {
            if (n == 0 && e->desc) *static_cast<std::string*>(out) = e->desc;
            return 0;
        },
        &reason);
    return reason.empty() ? "the HDF5 library failed" : reason;
}

// The packing workers and the writer thread (see the top of the file).
class ChunkWriter {
public:
    ChunkWriter(Compression compression, hdf5::FileFault& fault) : compression_(compression), fault_(fault)
    {
        writer_ = std::thread([this] { writeLoop(); });
        if (compression_ == Compression::Deflate) {
            const unsigned n = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
            for (unsigned i = 0; i < n; ++i) packers_.emplace_back([this] { packLoop(); });
        }
    }
    // What is still on its way when the export ends early (a throwing read) is dropped.
    ~ChunkWriter()
    {
        failed_ = true;
        stop();
    }
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    // A free buffer of `c`, sized for a chunk, set to follow what the column holds so far; waits
    // while all of the column's are on their way.
    Chunk& take(Column& c)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        Chunk* free = nullptr;
        freed_.wait(lock, [&] {
            for (Chunk& k : c.chunks) {
                if (k.state == Chunk::State::Free) return (free = &k) != nullptr;
            }
            return false;
        });
        free->state = Chunk::State::Filling;
        lock.unlock();
        free->raw.resize(kChunk * c.size);
        free->first = c.filled;
        free->values = 0;
        return *free;
    }

    // Sends a chunk (holding `values`) on to the file; an empty one goes straight back.
    void submit(Chunk& k, size_t values)
    {
        k.values = values;
        k.column->filled += values;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (values == 0) {
            k.state = Chunk::State::Free;
            freed_.notify_all();
            return;
        }
        const bool pack = compression_ == Compression::Deflate && values == kChunk;
        k.state = pack ? Chunk::State::Queued : Chunk::State::Ready;
        queue_.push_back(&k);
        if (pack) work_.notify_one();
        ready_.notify_all();
    }

    // Waits until every chunk submitted is in the file (or dropped after a failure); the failure's
    // reason, empty when there was none.
    std::string finish()
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            freed_.wait(lock, [&] { return queue_.empty(); });
        }
        stop();
        const std::lock_guard<std::mutex> lock(mutex_);
        return reason_;
    }

    bool failed() const { return failed_.load(); }

private:
    void stop()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        ready_.notify_all();
        for (std::thread& t : packers_) {
            if (t.joinable()) t.join();
        }
        if (writer_.joinable()) writer_.join();
    }

    void fail(std::string reason)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (reason_.empty()) reason_ = std::move(reason);
        failed_ = true;
    }

    void packLoop()
    {
        std::vector<unsigned char> shuffled;
        for (;;) {
            Chunk* k = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_.wait(lock, [&] {
                    for (Chunk* q : queue_) {
                        if (q->state == Chunk::State::Queued) return (k = q) != nullptr;
                    }
                    return stopping_;
                });
                if (!k) return;
                k->state = Chunk::State::Packing;
            }
            if (!failed_) {
                try {
                    const size_t size = k->column->size, bytes = k->values * size;
                    const unsigned char* in = k->raw.data();
                    if (size > 1) {
                        shuffled.resize(bytes);
                        shuffle(in, k->values, size, shuffled.data());
                        in = shuffled.data();
                    }
                    // Each byte plane is a block of its own (see RunDeflate.h).
                    k->packed.resize(runDeflateBound(bytes, k->values));
                    k->packedSize = runDeflate(in, bytes, k->values, k->packed.data());
                } catch (const std::bad_alloc&) {
                    fail("out of memory");
                }
            }
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                k->state = Chunk::State::Ready;
            }
            ready_.notify_all();
        }
    }

    void writeLoop()
    {
        const hdf5::QuietErrors quiet;
        for (;;) {
            Chunk* k = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [&] {
                    return (!queue_.empty() && queue_.front()->state == Chunk::State::Ready) ||
                           (stopping_ && queue_.empty());
                });
                if (queue_.empty()) return;
                k = queue_.front();
            }
            if (!failed_) write(*k);
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                queue_.pop_front();
                k->state = Chunk::State::Free;
            }
            freed_.notify_all();
        }
    }

    void write(Chunk& k)
    {
        Column& c = *k.column;
        const hid_t set = c.set.get();
        const hsize_t end = k.first + (k.values == kChunk ? kChunk : k.values);
        bool ok = true;
        if (end > c.extent) {
            ok = H5Dset_extent(set, &end) >= 0;
            if (ok) c.extent = end;
        }
        if (ok && k.values == kChunk) {
            const bool packed = compression_ == Compression::Deflate;
            ok = H5Dwrite_chunk(set, H5P_DEFAULT, 0, &k.first, packed ? k.packedSize : kChunk * c.size,
                                packed ? k.packed.data() : k.raw.data()) >= 0;
        } else if (ok) {
            // A column's last, part-filled chunk: the library pads and packs it as it does its own.
            const hsize_t n = k.values;
            Hid space(H5Dget_space(set), H5Sclose);
            Hid memory(H5Screate_simple(1, &n, nullptr), H5Sclose);
            ok = space && memory &&
                 H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, &k.first, nullptr, &n, nullptr) >= 0 &&
                 H5Dwrite(set, c.memory, memory.get(), space.get(), H5P_DEFAULT, k.raw.data()) >= 0;
        }
        if (fault_.failed()) {
            fail(std::strerror(fault_.error.load()));
        } else if (!ok) {
            fail(hdf5Reason());
        }
    }

    const Compression compression_;
    hdf5::FileFault& fault_;
    std::mutex mutex_;
    std::condition_variable work_;   // a chunk to pack, or stop
    std::condition_variable ready_;  // the oldest chunk can be written, or stop
    std::condition_variable freed_;  // a buffer is free again
    std::deque<Chunk*> queue_;       // submitted, not yet written, in the order they were filled
    bool stopping_ = false;
    std::atomic<bool> failed_{false};
    std::string reason_;
    std::vector<std::thread> packers_;
    std::thread writer_;
};

// Values one at a time into a column (the millisecond index, the trigger edges).
template <typename T>
class ColumnFiller {
public:
    ColumnFiller(ChunkWriter& writer, Column& c) : writer_(writer), column_(c) {}
    void push(T v)
    {
        if (!chunk_) chunk_ = &writer_.take(column_);
        std::memcpy(chunk_->raw.data() + n_ * sizeof(T), &v, sizeof(T));
        if (++n_ == kChunk) flush();
    }
    void flush()
    {
        if (chunk_) writer_.submit(*chunk_, n_);
        chunk_ = nullptr;
        n_ = 0;
    }

private:
    ChunkWriter& writer_;
    Column& column_;
    Chunk* chunk_ = nullptr;
    size_t n_ = 0;
};

enum Columns { X, Y, P, T, MsToIdx, TriggerT, TriggerId, TriggerP, kColumns };

// The trigger edges into their columns. Finding them decodes the range once more (the reads of
// events do not report them), so that is done on a thread of its own, by a reader of its own on the
// same file, while the exporting thread reads the events: on a machine with a core to spare it then
// costs no time. Should that reader not open, the exporting thread scans with its own reader after
// the events. A failure to read is thrown on the exporting thread, as its own reads throw.
class TriggerScan {
public:
    TriggerScan(ChunkWriter& writer, std::array<Column, kColumns>& columns, ExportRange range,
                const std::atomic<bool>* cancel)
        : writer_(writer), columns_(columns), range_(range), cancel_(cancel)
    {
    }
    ~TriggerScan()
    {
        abandon();
        finish();
    }
    TriggerScan(const TriggerScan&) = delete;
    TriggerScan& operator=(const TriggerScan&) = delete;

    void start(const std::string& path)
    {
        thread_ = std::thread([this, path] {
            try {
                RawFileReader own(path);
                own.setCancelFlag(cancel_);
                if (own.loadFile()) scan(own);
            } catch (...) {
                error_ = std::current_exception();
            }
        });
    }
    // Makes the thread stop at its next window: the export ended early.
    void abandon() { stop_ = true; }
    // Waits for the thread.
    void finish()
    {
        if (thread_.joinable()) thread_.join();
    }
    bool scanned() const { return scanned_ || error_; }
    void rethrow()
    {
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

    void scan(RawFileReader& reader)
    {
        struct Stop {};
        ColumnFiller<int64_t> t(writer_, columns_[TriggerT]);
        ColumnFiller<int16_t> id(writer_, columns_[TriggerId]);
        ColumnFiller<uint8_t> p(writer_, columns_[TriggerP]);
        try {
            exportio::forEachTrigger(reader, range_, [&](const std::vector<EventTriggerIn>& window) {
                // The export ended early: what is left is not wanted.
                if (stop_ || writer_.failed() || (cancel_ && cancel_->load())) throw Stop{};
                for (const EventTriggerIn& edge : window) {
                    t.push(static_cast<int64_t>(edge.timestamp));
                    id.push(edge.id);
                    p.push(edge.polarity ? 1 : 0);
                }
            });
        } catch (const Stop&) {
        }
        t.flush();
        id.flush();
        p.flush();
        scanned_ = true;
    }

private:
    ChunkWriter& writer_;
    std::array<Column, kColumns>& columns_;
    const ExportRange range_;
    const std::atomic<bool>* cancel_;
    std::atomic<bool> stop_{false};
    bool scanned_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

template <typename T>
void scalarAttribute(hid_t at, const char* name, T value)
{
    Hid space(H5Screate(H5S_SCALAR), H5Sclose);
    Hid attr(H5Acreate2(at, name, fileType<T>(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    check(attr && H5Awrite(attr.get(), memoryType<T>(), &value) >= 0);
}

void stringAttribute(hid_t at, const char* name, const std::string& value)
{
    Hid type(H5Tcopy(H5T_C_S1), H5Tclose);
    check(bool(type) && H5Tset_size(type.get(), std::max<size_t>(1, value.size())) >= 0);
    Hid space(H5Screate(H5S_SCALAR), H5Sclose);
    Hid attr(H5Acreate2(at, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    check(attr && H5Awrite(attr.get(), type.get(), value.c_str()) >= 0);
}

}  // namespace

bool Hdf5Exporter::accepts(const std::string& path) const
{
    auto endsWith = [&](const char* ext) {
        const size_t n = std::strlen(ext);
        if (path.size() < n) return false;
        return std::equal(path.end() - static_cast<long>(n), path.end(), ext,
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    };
    return endsWith(".h5") || endsWith(".hdf5");
}

std::vector<ExportOption> Hdf5Exporter::options() const
{
    return {{"compression",
             "deflate (shuffled and deflated, the default) or none (larger, quicker to write and read)"}};
}

bool Hdf5Exporter::setOption(const std::string& option, const std::string& value, std::string& error)
{
    if (option != "compression") return Exporter::setOption(option, value, error);
    if (value == "deflate" || value == "none") {
        deflate_ = value == "deflate";
        return true;
    }
    error = "--compression takes deflate or none, not '" + value + "'";
    return false;
}

RecordingError Hdf5Exporter::run(RawFileReader& reader, ExportRange range, const std::string& output,
                                 const ExportProgress& progress, const std::atomic<bool>* cancel)
{
    exportio::PartFile part(output);
    if (exportio::sameFile(output, reader.getPath()))
        return {RecordingError::Kind::Io, "cannot write '" + output + "': it is the recording", 0};
    const Compression compression = deflate_ ? Compression::Deflate : Compression::None;
    // Failures become our reason; the library's own trace on stderr would only repeat it.
    const hdf5::QuietErrors quiet;
    hdf5::FileFault fault;
    auto failedWrite = [&](const std::string& why, bool opening = false) {
        const int err = opening ? fault.openError.load() : fault.error.load();
        return RecordingError{err ? exportio::outputErrorKind(err) : RecordingError::Kind::Io,
                              "cannot write '" + output + "': " + (err ? std::strerror(err) : why), err};
    };
    Hid file = hdf5::createFile(part.path(), fault);
    if (!file) return failedWrite(hdf5Reason(), true);
    uint64_t first = 0, last = 0;
    reader.getStartTimeStamp(first);
    reader.getEndTimeStamp(last);
    const uint64_t start = std::max(range.start_us, first);
    try {
        // Every dataset is made before the writer thread starts: from then on it makes the HDF5
        // calls, until it is done.
        Hid events(H5Gcreate2(file.get(), "events", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
        check(bool(events));
        std::array<Column, kColumns> columns;
        createColumn<uint16_t>(columns[X], events.get(), "x", compression);
        createColumn<uint16_t>(columns[Y], events.get(), "y", compression);
        createColumn<uint8_t>(columns[P], events.get(), "p", compression);
        createColumn<int64_t>(columns[T], events.get(), "t", compression);
        createColumn<uint64_t>(columns[MsToIdx], events.get(), "ms_to_idx", compression);
        Hid triggers(H5Gcreate2(file.get(), "triggers", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
        check(bool(triggers));
        createColumn<int64_t>(columns[TriggerT], triggers.get(), "t", compression);
        createColumn<int16_t>(columns[TriggerId], triggers.get(), "id", compression);
        createColumn<uint8_t>(columns[TriggerP], triggers.get(), "p", compression);

        std::string reason;
        RecordingError failed;
        {
            ChunkWriter writer(compression, fault);
            // The reading stops at the next piece when the caller cancels or a write failed.
            std::atomic<bool> stop{false};
            const ExportProgress report = [&](double share) {
                if ((cancel && cancel->load()) || writer.failed()) stop = true;
                if (progress) progress(share);
            };
            const exportio::Progress prog(report, &stop);

            // The trigger edges from a reader of its own while the events are read (see TriggerScan).
            TriggerScan edges(writer, columns, {start, range.end_us}, cancel);
            edges.start(reader.getPath());

            ColumnFiller<uint64_t> ms_to_idx(writer, columns[MsToIdx]);
            std::array<Chunk*, 4> chunk{};  // of x, y, p and t, filled together
            size_t filled = 0;
            uint64_t index = 0, next_ms = start;  // next_ms: the start of the next millisecond to index
            failed =
                exportio::forEachEvent(reader, range, output, prog, [&](const Event2D* b, const Event2D* e) {
                    while (b != e) {
                        if (!chunk[0]) {
                            for (int c = X; c <= T; ++c) chunk[c] = &writer.take(columns[c]);
                            filled = 0;
                        }
                        const size_t n = std::min<size_t>(static_cast<size_t>(e - b), kChunk - filled);
                        auto* x = reinterpret_cast<uint16_t*>(chunk[X]->raw.data()) + filled;
                        auto* y = reinterpret_cast<uint16_t*>(chunk[Y]->raw.data()) + filled;
                        auto* p = chunk[P]->raw.data() + filled;
                        auto* t = reinterpret_cast<int64_t*>(chunk[T]->raw.data()) + filled;
                        for (size_t i = 0; i < n; ++i) {
                            x[i] = b[i].x;
                            y[i] = b[i].y;
                            p[i] = b[i].polarity ? 1 : 0;
                            t[i] = static_cast<int64_t>(b[i].timestamp);
                        }
                        // Times may step back a little; a millisecond's entry is where the stream first
                        // reaches it.
                        for (size_t i = 0; i < n; ++i) {
                            while (b[i].timestamp >= next_ms) {
                                ms_to_idx.push(index + i);
                                next_ms += 1000;
                            }
                        }
                        b += n;
                        index += n;
                        filled += n;
                        if (filled == kChunk) {
                            for (int c = X; c <= T; ++c) writer.submit(*chunk[c], filled);
                            chunk = {};
                        }
                    }
                });
            if (chunk[0]) {
                for (int c = X; c <= T; ++c) writer.submit(*chunk[c], filled);
            }
            if (!failed && !writer.failed()) {
                // Every millisecond of the range has its entry; those after the last event point past it.
                const uint64_t end = std::min(range.end_us, last + 1);
                for (; next_ms < end; next_ms += 1000) ms_to_idx.push(index);
            }
            ms_to_idx.flush();
            if (failed || writer.failed()) edges.abandon();
            edges.finish();
            if (!failed && !writer.failed() && !edges.scanned()) edges.scan(reader);
            edges.rethrow();
            reason = writer.finish();
        }
        // A failed write is the reason even where it showed as a stop of the reading.
        if (!reason.empty()) return failedWrite(reason);
        if (failed) return failed;
        for (Column& c : columns) check(c.set.close());
        check(events.close() && triggers.close());
        scalarAttribute<uint64_t>(file.get(), "width", reader.getWidth());
        scalarAttribute<uint64_t>(file.get(), "height", reader.getHeight());
        stringAttribute(file.get(), "source_file", reader.getPath());
        stringAttribute(file.get(), "format", reader.formatName());
        scalarAttribute<int64_t>(file.get(), "start_us", static_cast<int64_t>(start));
        scalarAttribute<int64_t>(file.get(), "end_us", static_cast<int64_t>(std::min(range.end_us, last)));
        const bool closed = file.close();
        if (!closed || fault.failed()) return failedWrite(closed ? "" : hdf5Reason());
    } catch (const WriteFailed&) {
        return failedWrite(hdf5Reason());
    }
    if (cancel && cancel->load()) return exportio::cancelledError("the export", output);
    if (RecordingError renamed = part.commit()) return renamed;
    if (progress) progress(1.0);
    return {};
}

}  // namespace orvane
