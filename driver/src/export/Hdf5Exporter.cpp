// The HDF5 export, through the HDF5 C API. Each dataset grows by whole chunks: values are gathered
// in a buffer of one chunk and written as one hyperslab when it is full, so memory stays at a chunk
// per dataset whatever the range.
#include <hdf5.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "export/ExportOutput.h"
#include "export/Hdf5File.h"
#include "export/TableExporters.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {

namespace {

constexpr hsize_t kChunk = 262144;  // values per chunk (512 KiB of x, 2 MiB of t)
constexpr unsigned kDeflateLevel = 1;  // beyond 1 costs much time for little size on event data

using hdf5::Hid;

struct WriteFailed {};

void check(bool ok)
{
    if (!ok) throw WriteFailed{};
}

template <typename T> hid_t fileType();
template <> hid_t fileType<uint8_t>() { return H5T_STD_U8LE; }
template <> hid_t fileType<uint16_t>() { return H5T_STD_U16LE; }
template <> hid_t fileType<int16_t>() { return H5T_STD_I16LE; }
template <> hid_t fileType<int64_t>() { return H5T_STD_I64LE; }
template <> hid_t fileType<uint64_t>() { return H5T_STD_U64LE; }
template <typename T> hid_t memoryType();
template <> hid_t memoryType<uint8_t>() { return H5T_NATIVE_UINT8; }
template <> hid_t memoryType<uint16_t>() { return H5T_NATIVE_UINT16; }
template <> hid_t memoryType<int16_t>() { return H5T_NATIVE_INT16; }
template <> hid_t memoryType<int64_t>() { return H5T_NATIVE_INT64; }
template <> hid_t memoryType<uint64_t>() { return H5T_NATIVE_UINT64; }

// A one-dimensional dataset that only grows at its end.
template <typename T>
class Column {
public:
    Column(hid_t group, const char* name, const hdf5::FileFault& fault)
        : set_(create(group, name), H5Dclose), fault_(fault)
    {
        buffer_.reserve(kChunk);
    }
    void push(T v)
    {
        buffer_.push_back(v);
        if (buffer_.size() == kChunk) flush();
    }
    void flush()
    {
        if (buffer_.empty()) return;
        const hsize_t n = buffer_.size(), size = written_ + n;
        check(H5Dset_extent(set_.get(), &size) >= 0);
        Hid space(H5Dget_space(set_.get()), H5Sclose);
        check(bool(space));
        check(H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, &written_, nullptr, &n, nullptr) >= 0);
        Hid memory(H5Screate_simple(1, &n, nullptr), H5Sclose);
        check(bool(memory));
        check(H5Dwrite(set_.get(), memoryType<T>(), memory.get(), space.get(), H5P_DEFAULT, buffer_.data()) >= 0);
        // The file driver does not fail the library's writes (see Hdf5File.h): a refused write shows here.
        check(!fault_.failed());
        written_ = size;
        buffer_.clear();
    }
    hsize_t size() const { return written_ + buffer_.size(); }

private:
    static hid_t create(hid_t group, const char* name)
    {
        const hsize_t empty = 0, unlimited = H5S_UNLIMITED;
        Hid space(H5Screate_simple(1, &empty, &unlimited), H5Sclose);
        Hid props(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
        check(space && props);
        check(H5Pset_chunk(props.get(), 1, &kChunk) >= 0);
        check(H5Pset_shuffle(props.get()) >= 0);
        check(H5Pset_deflate(props.get(), kDeflateLevel) >= 0);
        const hid_t id = H5Dcreate2(group, name, fileType<T>(), space.get(), H5P_DEFAULT, props.get(), H5P_DEFAULT);
        check(id >= 0);
        return id;
    }
    Hid set_;
    const hdf5::FileFault& fault_;
    std::vector<T> buffer_;
    hsize_t written_ = 0;
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

RecordingError Hdf5Exporter::run(RawFileReader& reader, ExportRange range, const std::string& output,
                                 const ExportProgress& progress, const std::atomic<bool>* cancel)
{
    exportio::PartFile part(output);
    const exportio::Progress prog(progress, cancel);
    if (exportio::sameFile(output, reader.getPath()))
        return {RecordingError::Kind::Io, "cannot write '" + output + "': it is the recording", 0};
    // Failures become our reason; the library's own trace on stderr would only repeat it.
    const hdf5::QuietErrors quiet;
    hdf5::FileFault fault;
    auto failedWrite = [&](bool opening = false) {
        const int err = opening ? fault.openError.load() : fault.error.load();
        return RecordingError{err ? exportio::outputErrorKind(err) : RecordingError::Kind::Io,
                              "cannot write '" + output + "'" + (err ? std::string(": ") + std::strerror(err) : ""),
                              err};
    };
    Hid file = hdf5::createFile(part.path(), fault);
    if (!file) return failedWrite(true);
    uint64_t first = 0, last = 0;
    reader.getStartTimeStamp(first);
    reader.getEndTimeStamp(last);
    const uint64_t start = std::max(range.start_us, first);
    try {
        RecordingError failed;
        {
            Hid events(H5Gcreate2(file.get(), "events", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
            check(bool(events));
            Column<uint16_t> x(events.get(), "x", fault), y(events.get(), "y", fault);
            Column<uint8_t> p(events.get(), "p", fault);
            Column<int64_t> t(events.get(), "t", fault);
            Column<uint64_t> ms_to_idx(events.get(), "ms_to_idx", fault);
            uint64_t index = 0, next_ms = start;  // next_ms: the start of the next millisecond to index
            failed = exportio::forEachEvent(reader, range, output, prog, [&](const Event2D* b, const Event2D* e) {
                for (; b != e; ++b, ++index) {
                    // Times may step back a little; a millisecond's entry is where the stream first
                    // reaches it.
                    while (b->timestamp >= next_ms) {
                        ms_to_idx.push(index);
                        next_ms += 1000;
                    }
                    x.push(b->x);
                    y.push(b->y);
                    p.push(b->polarity ? 1 : 0);
                    t.push(static_cast<int64_t>(b->timestamp));
                }
            });
            if (failed) return failed;
            // Every millisecond of the range has its entry; those after the last event point past it.
            const uint64_t end = std::min(range.end_us, last + 1);
            for (; next_ms < end; next_ms += 1000) ms_to_idx.push(index);
            for (auto* c : {&x, &y}) c->flush();
            p.flush();
            t.flush();
            ms_to_idx.flush();
        }
        {
            Hid triggers(H5Gcreate2(file.get(), "triggers", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
            check(bool(triggers));
            Column<int64_t> t(triggers.get(), "t", fault);
            Column<int16_t> id(triggers.get(), "id", fault);
            Column<uint8_t> p(triggers.get(), "p", fault);
            exportio::forEachTrigger(reader, {start, range.end_us}, [&](const std::vector<EventTriggerIn>& window) {
                for (const EventTriggerIn& edge : window) {
                    t.push(static_cast<int64_t>(edge.timestamp));
                    id.push(edge.id);
                    p.push(edge.polarity ? 1 : 0);
                }
            });
            t.flush();
            id.flush();
            p.flush();
        }
        scalarAttribute<uint64_t>(file.get(), "width", reader.getWidth());
        scalarAttribute<uint64_t>(file.get(), "height", reader.getHeight());
        stringAttribute(file.get(), "source_file", reader.getPath());
        stringAttribute(file.get(), "format", reader.formatName());
        scalarAttribute<int64_t>(file.get(), "start_us", static_cast<int64_t>(start));
        scalarAttribute<int64_t>(file.get(), "end_us", static_cast<int64_t>(std::min(range.end_us, last)));
        check(file.close() && !fault.failed());
    } catch (const WriteFailed&) {
        return failedWrite();
    }
    if (prog.cancelled()) return exportio::cancelledError("the export", output);
    if (RecordingError renamed = part.commit()) return renamed;
    prog.finished();
    return {};
}

}  // namespace orvane
