// orvane bench open: opening a recording without its index (a full scan) and with it, beside
// reading the same file once with plain read() calls in the same run (page cache warm).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;

double plainReadSeconds(const std::string& path, uint64_t& bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("cannot read '" + path + "'");
    std::vector<char> buf(131072);
    bytes = 0;
    const auto t0 = Clock::now();
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n <= 0) break;
        bytes += static_cast<uint64_t>(n);
    }
    const auto t1 = Clock::now();
    ::close(fd);
    return std::chrono::duration<double>(t1 - t0).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int run(const Args& args)
{
    const std::string& path = args.positional()[0];
    const uint64_t repeat = std::max<uint64_t>(1, args.u64("repeat").value_or(3));
    quietReaderLog();
    const std::string index = RawFileReader(path).getIndexPath();

    uint64_t bytes = 0;
    plainReadSeconds(path, bytes);  // warms the page cache
    std::vector<double> plain, first, second;
    uint64_t events = 0;
    for (uint64_t i = 0; i < repeat; ++i) {
        plain.push_back(plainReadSeconds(path, bytes));
        std::error_code ec;
        std::filesystem::remove(index, ec);
        OpenedRecording a = openRecording(path);
        if (a.reader->indexReused()) throw std::runtime_error("the index was not rebuilt");
        first.push_back(a.openMs / 1e3);
        a.reader->getMaxEvents(events);
        a.reader.reset();
        OpenedRecording b = openRecording(path);
        if (!b.reader->indexReused()) throw std::runtime_error("the index written by the first open was not reused");
        second.push_back(b.openMs / 1e3);
    }
    const double gb = static_cast<double>(bytes) / 1e9;
    const double p = median(plain), f = median(first), s = median(second);
    std::printf("file          %s (%" PRIu64 " bytes, %" PRIu64 " events, index %" PRIu64 " bytes)\n", path.c_str(),
                bytes, events, static_cast<uint64_t>(std::filesystem::file_size(index)));
    std::printf("first open    %8.1f ms  %6.2f GB/s  (builds the index)\n", f * 1e3, gb / f);
    std::printf("second open   %8.1f ms  %6.2f GB/s  (reuses the index)\n", s * 1e3, gb / s);
    std::printf("baseline      %8.1f ms  %6.2f GB/s  (plain read() of the file, 128 KiB calls)\n", p * 1e3, gb / p);
    std::printf("first / read  %.2f   (median of %" PRIu64 ")\n", p / f, repeat);
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND("bench open",
                   "time a first open (index build) and a second open (index reuse) beside a plain read of "
                   "the file; removes and rewrites the index beside it",
                   {{"FILE.raw", "the recording"}},
                   {{"repeat", Option::Kind::Count, "N", "opens of each kind (default 3)"}}, run);

}  // namespace orvane::cli
