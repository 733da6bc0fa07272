#include "export/Hdf5File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace orvane::hdf5 {

namespace {

// What the file access list hands our driver's open: where to tell the fault.
struct DriverInfo {
    FileFault* fault;
};

// One open file. `pub` comes first: the library sees only that part, and hands it back to us.
struct File {
    H5FD_t pub;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    haddr_t eoa = 0;  // the end the library allocated up to
    haddr_t eof = 0;  // the end of what was written
    FileFault* fault = nullptr;
    // After the first failed write, what the library wrote since, kept in memory in order so reads
    // give back what it wrote. Small: the exporter stops writing data once it sees the fault, so
    // this holds only what closing writes (metadata).
    std::vector<std::pair<haddr_t, std::vector<unsigned char>>> kept;
};

constexpr haddr_t kMaxAddress = (haddr_t{1} << 62) - 1;

File* asFile(H5FD_t* f)
{
    return reinterpret_cast<File*>(f);
}
const File* asFile(const H5FD_t* f)
{
    return reinterpret_cast<const File*>(f);
}

void* copyInfo(const void* info)
{
    return new (std::nothrow) DriverInfo(*static_cast<const DriverInfo*>(info));
}

herr_t freeInfo(void* info)
{
    delete static_cast<DriverInfo*>(info);
    return 0;
}

H5FD_t* openFile(const char* name, unsigned flags, hid_t fapl, haddr_t maxaddr)
{
    const auto* info = static_cast<const DriverInfo*>(H5Pget_driver_info(fapl));
    if (!info || !info->fault || !name || maxaddr == 0 || maxaddr > kMaxAddress) return nullptr;
    int mode = (flags & H5F_ACC_RDWR) ? O_RDWR : O_RDONLY;
    if (flags & H5F_ACC_TRUNC) mode |= O_TRUNC;
    if (flags & H5F_ACC_CREAT) mode |= O_CREAT;
    if (flags & H5F_ACC_EXCL) mode |= O_EXCL;
    const int fd = ::open(name, mode | O_CLOEXEC, 0666);
    if (fd < 0) {
        info->fault->openError = errno;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        info->fault->openError = errno;
        ::close(fd);
        return nullptr;
    }
    auto* file = new (std::nothrow) File{};
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    file->fd = fd;
    file->device = st.st_dev;
    file->inode = st.st_ino;
    file->eof = static_cast<haddr_t>(st.st_size);
    file->fault = info->fault;
    return &file->pub;
}

herr_t closeFile(H5FD_t* f)
{
    File* file = asFile(f);
    // A failed close of a written file can mean its last data never reached the disk (NFS, quotas).
    if (::close(file->fd) != 0) file->fault->record(errno);
    delete file;
    return 0;
}

int compareFiles(const H5FD_t* a, const H5FD_t* b)
{
    const File *x = asFile(a), *y = asFile(b);
    if (x->device != y->device) return x->device < y->device ? -1 : 1;
    if (x->inode != y->inode) return x->inode < y->inode ? -1 : 1;
    return 0;
}

herr_t queryFeatures(const H5FD_t*, unsigned long* flags)
{
    // As the library's POSIX driver: small metadata and raw data gathered into larger writes.
    if (flags) {
        *flags = H5FD_FEAT_AGGREGATE_METADATA | H5FD_FEAT_ACCUMULATE_METADATA | H5FD_FEAT_DATA_SIEVE |
                 H5FD_FEAT_AGGREGATE_SMALLDATA;
    }
    return 0;
}

haddr_t getEoa(const H5FD_t* f, H5FD_mem_t)
{
    return asFile(f)->eoa;
}

herr_t setEoa(H5FD_t* f, H5FD_mem_t, haddr_t addr)
{
    if (addr > kMaxAddress) return -1;
    asFile(f)->eoa = addr;
    return 0;
}

haddr_t getEof(const H5FD_t* f, H5FD_mem_t)
{
    return asFile(f)->eof;
}

herr_t getHandle(H5FD_t* f, hid_t, void** handle)
{
    if (!handle) return -1;
    *handle = &asFile(f)->fd;
    return 0;
}

herr_t readFile(H5FD_t* f, H5FD_mem_t, hid_t, haddr_t addr, size_t size, void* buffer)
{
    File* file = asFile(f);
    if (addr > kMaxAddress || size > kMaxAddress - addr) return -1;
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(file->fd, out + done, size - done, static_cast<off_t>(addr + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            file->fault->record(errno);
            return -1;
        }
        if (n == 0) break;  // past the end: zeros, as a file with a hole gives
        done += static_cast<size_t>(n);
    }
    std::memset(out + done, 0, size - done);
    for (const auto& [at, bytes] : file->kept) {
        const haddr_t from = std::max(at, addr), to = std::min<haddr_t>(at + bytes.size(), addr + size);
        if (from < to) std::memcpy(out + (from - addr), bytes.data() + (from - at), to - from);
    }
    return 0;
}

herr_t writeFile(H5FD_t* f, H5FD_mem_t, hid_t, haddr_t addr, size_t size, const void* buffer)
{
    File* file = asFile(f);
    if (addr > kMaxAddress || size > kMaxAddress - addr) return -1;
    const auto* in = static_cast<const unsigned char*>(buffer);
    if (!file->fault->failed()) {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(file->fd, in + done, size - done, static_cast<off_t>(addr + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                file->fault->record(n < 0 ? errno : EIO);
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
    if (file->fault->failed()) {
        try {
            file->kept.emplace_back(addr, std::vector<unsigned char>(in, in + size));
        } catch (const std::bad_alloc&) {
            return -1;  // out of memory as well: nothing sound is left to do
        }
    }
    file->eof = std::max<haddr_t>(file->eof, addr + size);
    return 0;
}

herr_t flushFile(H5FD_t*, hid_t, hbool_t)
{
    return 0;
}

herr_t truncateFile(H5FD_t* f, hid_t, hbool_t)
{
    File* file = asFile(f);
    if (file->eoa == file->eof) return 0;
    if (!file->fault->failed() && ::ftruncate(file->fd, static_cast<off_t>(file->eoa)) != 0)
        file->fault->record(errno);
    file->eof = file->eoa;
    return 0;
}

H5FD_class_t makeClass()
{
    H5FD_class_t c{};
    c.name = "orvane-export";
    c.maxaddr = kMaxAddress;
    c.fc_degree = H5F_CLOSE_WEAK;
    c.fapl_size = sizeof(DriverInfo);
    c.fapl_copy = copyInfo;
    c.fapl_free = freeInfo;
    c.open = openFile;
    c.close = closeFile;
    c.cmp = compareFiles;
    c.query = queryFeatures;
    c.get_eoa = getEoa;
    c.set_eoa = setEoa;
    c.get_eof = getEof;
    c.get_handle = getHandle;
    c.read = readFile;
    c.write = writeFile;
    c.flush = flushFile;
    c.truncate = truncateFile;
    const H5FD_mem_t map[H5FD_MEM_NTYPES] = H5FD_FLMAP_DICHOTOMY;
    std::copy(std::begin(map), std::end(map), std::begin(c.fl_map));
    return c;
}

// Our driver's identifier, registered on first use and again should the library have been closed
// and opened since (its identifiers then are gone).
hid_t driver()
{
    static const H5FD_class_t cls = makeClass();
    static std::mutex mutex;
    static hid_t id = -1;
    const std::lock_guard<std::mutex> lock(mutex);
    if (id < 0 || H5Iis_valid(id) <= 0) id = H5FDregister(&cls);
    return id;
}

}  // namespace

Hid createFile(const std::string& path, FileFault& fault)
{
    const hid_t id = driver();
    if (id < 0) return {};
    Hid access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    const DriverInfo info{&fault};
    if (!access || H5Pset_driver(access.get(), id, &info) < 0) return {};
    return Hid(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get()), H5Fclose);
}

QuietErrors::QuietErrors()
{
    saved_ = H5Eget_auto2(H5E_DEFAULT, &func_, &data_) >= 0;
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

QuietErrors::~QuietErrors()
{
    if (saved_) H5Eset_auto2(H5E_DEFAULT, func_, data_);
}

}  // namespace orvane::hdf5
