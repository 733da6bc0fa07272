// The batch runner. Threads: the calling thread draws the bar a few times a second and waits; each
// worker takes the next input, runs its job outside the lock and, under the lock, stores the result,
// prints the lines now due (in input order) and redraws the bar. Everything shared but the job
// counter and each job's share done is held by the one mutex.
#include "Batch.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "OpenRecording.h"
#include "RangeCommand.h"

namespace orvane::cli {
namespace fs = std::filesystem;

namespace {

// A cut's or an export's part file ("out.raw.part1234.raw") is an unfinished output, not a recording.
bool isPartFile(const std::string& name)
{
    for (size_t at = name.find(".part"); at != std::string::npos; at = name.find(".part", at + 1)) {
        size_t i = at + 5;
        while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
        if (i > at + 5 && i < name.size() && name[i] == '.') return true;
    }
    return false;
}

bool isRecordingName(const fs::path& path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".raw" && !isPartFile(path.filename().string());
}

std::string sizeText(double bytes)
{
    char buf[32];
    if (bytes >= 1e9) {
        std::snprintf(buf, sizeof buf, "%.2f GB", bytes / 1e9);
    } else {
        std::snprintf(buf, sizeof buf, "%.1f MB", bytes / 1e6);
    }
    return buf;
}

std::string clockText(double seconds)
{
    const auto s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600) {
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    }
    return buf;
}

// Columns of the terminal on stderr; a bar longer than that would wrap and no longer redraw in place.
size_t terminalColumns()
{
    winsize ws{};
    if (ioctl(2, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

std::string identity(const std::string& path)
{
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

}  // namespace

bool isBatch(const std::vector<std::string>& named)
{
    std::error_code ec;
    return named.size() > 1 || (named.size() == 1 && fs::is_directory(named[0], ec));
}

std::vector<BatchInput> collectInputs(const std::vector<std::string>& named, const std::string& skipFolder)
{
    std::error_code skipEc;
    const bool skipping = !skipFolder.empty() && fs::is_directory(skipFolder, skipEc);
    std::vector<BatchInput> out;
    std::set<std::string> taken;
    const auto add = [&](BatchInput in) {
        if (taken.insert(identity(in.path)).second) out.push_back(std::move(in));
    };
    for (const std::string& n : named) {
        std::error_code ec;
        if (!fs::is_directory(n, ec)) {
            const auto size = fs::file_size(n, ec);
            add({n, fs::path(n).filename().string(), ec ? 0 : static_cast<uint64_t>(size)});
            continue;
        }
        std::vector<BatchInput> found;
        const auto options = fs::directory_options::skip_permission_denied;
        for (auto it = fs::recursive_directory_iterator(n, options, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code e;
            if (skipping && it->is_directory(e) && fs::equivalent(it->path(), skipFolder, e)) {
                it.disable_recursion_pending();
                continue;
            }
            if (!it->is_regular_file(e) || !isRecordingName(it->path())) continue;
            const auto size = it->file_size(e);
            found.push_back({it->path().string(), fs::relative(it->path(), n, e).string(),
                             e ? 0 : static_cast<uint64_t>(size)});
        }
        // A folder that cannot be listed fails like a file that cannot be opened.
        if (ec) found.push_back({n, fs::path(n).filename().string(), 0});
        std::sort(found.begin(), found.end(),
                  [](const BatchInput& a, const BatchInput& b) { return a.path < b.path; });
        for (auto& f : found) add(std::move(f));
    }
    if (out.empty()) {
        std::string names;
        for (const std::string& n : named) names += (names.empty() ? "'" : ", '") + n + "'";
        throw RecordingFailure(RecordingError::Kind::NotFound, "no recordings (.raw files) in " + names);
    }
    return out;
}

std::vector<Option> batchOptions()
{
    return {{"jobs", Option::Kind::Count, "N", "recordings at a time (default: the cores)", "j"},
            {"quiet", Option::Kind::Flag, "", "no progress on standard error", "q"}};
}

BatchOptions batchOptionsFrom(const Args& args)
{
    BatchOptions o;
    o.jobs = std::max(1u, std::thread::hardware_concurrency());
    if (const auto j = args.u64("jobs")) {
        if (*j < 1 || *j > 256) throw UsageError{"--jobs needs a number from 1 to 256"};
        o.jobs = static_cast<unsigned>(*j);
    }
    o.quiet = args.has("quiet");
    o.json = args.has("json");
    return o;
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

const char* kindName(RecordingError::Kind kind)
{
    using Kind = RecordingError::Kind;
    switch (kind) {
    case Kind::None: return "none";
    case Kind::NotFound: return "not_found";
    case Kind::NoPermission: return "no_permission";
    case Kind::UnsupportedFormat: return "unsupported_format";
    case Kind::BadHeader: return "bad_header";
    case Kind::BadGeometry: return "bad_geometry";
    case Kind::NotEventData: return "not_event_data";
    case Kind::NoEvents: return "no_events";
    case Kind::BadRange: return "bad_range";
    case Kind::Io: return "io";
    case Kind::Cancelled: return "cancelled";
    }
    return "io";
}

std::string jsonFailure(const JobResult& failed)
{
    return ",\"error\":" + jsonString(failed.reason) + ",\"error_kind\":\"" + kindName(failed.failed) + "\"";
}

int runBatch(const std::vector<BatchInput>& inputs, const BatchOptions& options, const BatchJob& job)
{
    using Clock = std::chrono::steady_clock;
    const size_t n = inputs.size();
    std::vector<JobResult> results(n);
    std::vector<char> finished(n, 0);
    // Per job: the share done while it runs (bytes within a file for the bar).
    const std::unique_ptr<std::atomic<double>[]> share(new std::atomic<double>[n]);
    for (size_t i = 0; i < n; ++i) share[i] = 0;
    uint64_t totalBytes = 0;
    for (const auto& in : inputs) totalBytes += in.bytes;

    const InterruptHandlers handlers;
    std::mutex mutex;  // results, finished, the output cursor, the counts and the terminal
    std::condition_variable wake;
    size_t printed = 0, doneFiles = 0;
    uint64_t doneBytes = 0;
    std::atomic<size_t> next{0};
    const bool bar = !options.quiet && isatty(2);
    bool barShown = false;
    const auto t0 = Clock::now();

    // Draws the bar in place on stderr (mutex held).
    const auto drawBar = [&] {
        double bytes = static_cast<double>(doneBytes);
        for (size_t i = 0; i < n; ++i) {
            if (!finished[i]) bytes += share[i].load() * static_cast<double>(inputs[i].bytes);
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const double f = totalBytes ? bytes / static_cast<double>(totalBytes)
                                    : (n ? static_cast<double>(doneFiles) / static_cast<double>(n) : 1);
        const int width = 20;
        const int filled = std::clamp(static_cast<int>(f * width), 0, width);
        std::string line(static_cast<size_t>(width + 3), '.');
        line.front() = '[';
        line.replace(1, static_cast<size_t>(filled), static_cast<size_t>(filled), '#');
        line.replace(static_cast<size_t>(width + 1), 2, "] ");
        char buf[96];
        std::snprintf(buf, sizeof buf, "%zu/%zu files  %s of %s", doneFiles, n, sizeText(bytes).c_str(),
                      sizeText(static_cast<double>(totalBytes)).c_str());
        line += buf;
        if (elapsed > 0.5 && bytes > 0) {
            const double rate = bytes / elapsed;
            line += "  " + sizeText(rate) + "/s  " +
                    clockText(std::max(0.0, static_cast<double>(totalBytes) - bytes) / rate) + " left";
        }
        line.resize(std::min(line.size(), terminalColumns() - 1));
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
        barShown = true;
    };
    const auto clearBar = [&] {
        if (!barShown) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        barShown = false;
    };

    const auto count = static_cast<unsigned>(std::min<size_t>(options.jobs, std::max<size_t>(n, 1)));
    unsigned alive = count;  // workers that have not returned
    const auto worker = [&] {
        for (;;) {
            const size_t i = interrupted.load() ? n : next.fetch_add(1);
            if (i >= n) {
                const std::lock_guard<std::mutex> lock(mutex);
                --alive;
                wake.notify_all();
                return;
            }
            JobResult r;
            try {
                r = job.run(inputs[i], share[i], interrupted);
            } catch (const RecordingFailure& e) {
                r.failed = e.kind;
                r.reason = e.what();
            } catch (const std::exception& e) {
                r.failed = RecordingError::Kind::Io;
                r.reason = e.what();
            }
            if (r.failed != RecordingError::Kind::None) r.line = job.failedLine(inputs[i], r);
            const std::lock_guard<std::mutex> lock(mutex);
            results[i] = std::move(r);
            finished[i] = 1;
            ++doneFiles;
            doneBytes += inputs[i].bytes;
            // Lines in the order of the inputs, as soon as all before them are done.
            bool cleared = false;
            for (; printed < n && finished[printed]; ++printed) {
                const JobResult& p = results[printed];
                if (p.line.empty() || p.failed == RecordingError::Kind::Cancelled) continue;
                if (bar && !cleared) clearBar();
                cleared = true;
                std::printf("%s\n", p.line.c_str());
            }
            if (cleared) std::fflush(stdout);
            if (bar) drawBar();
            wake.notify_all();
        }
    };

    std::vector<std::thread> threads;
    for (unsigned t = 0; t < count; ++t) threads.emplace_back(worker);
    {
        // The bar moves within files too, a few times a second; a job's end redraws it at once.
        std::unique_lock<std::mutex> lock(mutex);
        while (alive > 0) {
            if (bar) drawBar();
            wake.wait_for(lock, std::chrono::milliseconds(250));
        }
    }
    for (auto& t : threads) t.join();
    const bool cancelled = interrupted.load();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        // The lines of jobs that finished after one that never started.
        for (size_t i = printed; i < n; ++i) {
            if (finished[i] && !results[i].line.empty() && results[i].failed != RecordingError::Kind::Cancelled) {
                clearBar();
                std::printf("%s\n", results[i].line.c_str());
            }
        }
        std::fflush(stdout);
        clearBar();
    }

    size_t failed = 0, stopped = 0;
    uint64_t events = 0, duration = 0;
    std::map<int, size_t> statuses;
    for (size_t i = 0; i < n; ++i) {
        if (!finished[i] || results[i].failed == RecordingError::Kind::Cancelled) {
            ++stopped;
            continue;
        }
        if (results[i].failed != RecordingError::Kind::None) {
            ++failed;
            ++statuses[exitStatusFor(results[i].failed)];
            continue;
        }
        events += results[i].events;
        duration += results[i].durationUs;
    }
    FILE* to = options.json ? stderr : stdout;
    std::fprintf(to, "%zu file%s: %zu %s, %zu failed", n, n == 1 ? "" : "s", n - failed - stopped,
                 options.verb.c_str(), failed);
    if (stopped) std::fprintf(to, ", %zu cancelled", stopped);
    std::fprintf(to, "; %" PRIu64 " events, %.3f s of recordings, in %.1f s\n", events,
                 static_cast<double>(duration) / 1e6, seconds);
    for (size_t i = 0; i < n; ++i) {
        if (finished[i] && results[i].failed != RecordingError::Kind::None &&
            results[i].failed != RecordingError::Kind::Cancelled) {
            std::fprintf(to, "failed: %s: %s\n", inputs[i].path.c_str(), results[i].reason.c_str());
        }
    }
    std::fflush(to);
    if (cancelled) return 130;
    if (failed == 0) return 0;
    return statuses.size() == 1 ? statuses.begin()->first : 1;
}

}  // namespace orvane::cli
