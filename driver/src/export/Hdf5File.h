// The file under an HDF5 export, and the HDF5 identifiers around it. The file goes through a small
// file driver of our own rather than the library's POSIX one, for one reason: when the system
// refuses a write (a full disk, a file size limit), the library's own driver fails the write, the
// failure reaches H5Fclose's last flush, and a file whose close failed stays registered half torn
// down; the library then closes it once more at process exit and crashes there. Our driver never
// hands such a failure to the library: it keeps what could not be written in memory (reads see it),
// remembers the first error, and the exporter, which looks at that error after each write, stops,
// closes the file (which then succeeds) and removes it. Used on the thread that makes the HDF5 calls.
#pragma once

#include <hdf5.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace orvane::hdf5 {

// An HDF5 identifier closed by its own close function when it goes.
class Hid {
public:
    Hid() = default;
    Hid(hid_t id, herr_t (*closer)(hid_t)) : id_(id), close_(closer) {}
    ~Hid()
    {
        if (id_ >= 0) close_(id_);
    }
    Hid(const Hid&) = delete;
    Hid& operator=(const Hid&) = delete;
    Hid(Hid&& o) noexcept : id_(o.id_), close_(o.close_) { o.id_ = -1; }
    Hid& operator=(Hid&& o) noexcept
    {
        if (this != &o) {
            if (id_ >= 0) close_(id_);
            id_ = o.id_;
            close_ = o.close_;
            o.id_ = -1;
        }
        return *this;
    }
    hid_t get() const { return id_; }
    explicit operator bool() const { return id_ >= 0; }
    // Closes now; false when that failed.
    bool close()
    {
        const hid_t id = id_;
        id_ = -1;
        return id < 0 || close_(id) >= 0;
    }

private:
    hid_t id_ = -1;
    herr_t (*close_)(hid_t) = nullptr;
};

// What went wrong underneath the library: the first errno a read, write or close of the file gave
// (0 while none failed), and that of the last open that failed (the library tries an open or two
// before it creates a file, and those fail as they should). Written by the driver, read by the
// exporter, possibly from different threads.
struct FileFault {
    std::atomic<int> error{0};
    std::atomic<int> openError{0};
    void record(int err)
    {
        int none = 0;
        error.compare_exchange_strong(none, err != 0 ? err : EIO);
    }
    bool failed() const { return error.load() != 0; }
};

// Creates (truncating) `path` through our driver; `fault` must outlive the file. An invalid Hid
// when it could not be created, with the system's reason in `fault.openError` where there was one.
Hid createFile(const std::string& path, FileFault& fault);

// Switches the library's printing of its error stack off for the calling thread while it lives
// (our failures carry their own reason), and back to what it was after.
class QuietErrors {
public:
    QuietErrors();
    ~QuietErrors();
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    H5E_auto2_t func_ = nullptr;
    void* data_ = nullptr;
    bool saved_ = false;
};

}  // namespace orvane::hdf5
