// The batch runner. One thread: it forks a process per job (up to -j at a time), reads what each
// tells on its pipe (progress, then its result), prints the lines due in input order, draws the bar
// a few times a second and passes a Ctrl-C on to the jobs.
#include "Batch.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <utility>

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

namespace {

// What a job's process tells the batch: 'p' and the share done (a double), now and then; 'r' and
// the result once, at its end. When the batch is gone (killed, or ended by a closed pipe on its
// output), the job stops as on Ctrl-C: nobody waits for it, and it leaves no part file.
void writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            interrupted.store(true);
            return;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

template <typename T>
void put(std::string& out, T v)
{
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <typename T>
T take(const std::string& in, size_t& at)
{
    T v;
    std::memcpy(&v, in.data() + at, sizeof v);
    at += sizeof v;
    return v;
}

std::string encodeResult(const JobResult& r)
{
    std::string out(1, 'r');
    put<int32_t>(out, static_cast<int32_t>(r.failed));
    put<uint64_t>(out, r.events);
    put<uint64_t>(out, r.durationUs);
    put<uint32_t>(out, static_cast<uint32_t>(r.line.size()));
    put<uint32_t>(out, static_cast<uint32_t>(r.reason.size()));
    return out + r.line + r.reason;
}

// The job of one input, in the forked process: runs it, tells its progress and its result on `fd`.
[[noreturn]] void runChild(const BatchJob& job, const BatchInput& input, int fd)
{
    std::signal(SIGPIPE, SIG_IGN);  // a batch that is gone is a failed write, not the end of the job
    double told = -1;
    const auto progress = [&](double f) {
        if (f < told + 0.005 && f < 1) return;
        told = f;
        std::string message(1, 'p');
        put<double>(message, f);
        writeAll(fd, message.data(), message.size());
    };
    JobResult r;
    try {
        r = job.run(input, progress, interrupted);
    } catch (const RecordingFailure& e) {
        r.failed = e.kind;
        r.reason = e.what();
    } catch (const std::exception& e) {
        r.failed = RecordingError::Kind::Io;
        r.reason = e.what();
    }
    const std::string message = encodeResult(r);
    writeAll(fd, message.data(), message.size());
    ::close(fd);
    // Not exit(): the parent's buffers and static objects are the parent's to flush and destroy.
    _exit(0);
}

struct Child {
    pid_t pid = -1;
    int fd = -1;
    size_t input = 0;
    std::string received;
    bool reported = false;
    JobResult result;
};

// Takes the whole messages out of what a child sent; keeps a partial one for later.
void parseMessages(Child& c, double& share)
{
    size_t at = 0;
    for (;;) {
        const size_t left = c.received.size() - at;
        if (left == 0) break;
        const char type = c.received[at];
        if (type == 'p') {
            if (left < 1 + sizeof(double)) break;
            ++at;
            share = take<double>(c.received, at);
            continue;
        }
        const size_t head = 1 + 4 + 8 + 8 + 4 + 4;
        if (type != 'r' || left < head) break;
        size_t p = at + 1;
        JobResult r;
        r.failed = static_cast<RecordingError::Kind>(take<int32_t>(c.received, p));
        r.events = take<uint64_t>(c.received, p);
        r.durationUs = take<uint64_t>(c.received, p);
        const uint32_t lineSize = take<uint32_t>(c.received, p);
        const uint32_t reasonSize = take<uint32_t>(c.received, p);
        if (left < head + lineSize + reasonSize) break;
        r.line = c.received.substr(p, lineSize);
        r.reason = c.received.substr(p + lineSize, reasonSize);
        at = p + lineSize + reasonSize;
        c.result = std::move(r);
        c.reported = true;
    }
    c.received.erase(0, at);
}

// Why a child ended without telling its result.
JobResult lostChild(int status)
{
    JobResult r;
    r.failed = RecordingError::Kind::Io;
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        r.reason = "its job crashed (signal " + std::to_string(sig) + ": " + strsignal(sig) + ")";
        if (sig == SIGINT || sig == SIGTERM) r.failed = RecordingError::Kind::Cancelled;
    } else {
        r.reason = "its job ended without a result (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    return r;
}

JobResult cannotStart(int error)
{
    JobResult r;
    r.failed = RecordingError::Kind::Io;
    r.reason = std::string("cannot start its job: ") + std::strerror(error);
    return r;
}

}  // namespace

int runBatch(const std::vector<BatchInput>& inputs, const BatchOptions& options, const BatchJob& job)
{
    using Clock = std::chrono::steady_clock;
    const size_t n = inputs.size();
    std::vector<JobResult> results(n);
    std::vector<char> finished(n, 0);
    std::vector<double> share(n, 0.0);  // of each running job: the share done, for bytes within a file
    uint64_t totalBytes = 0;
    for (const auto& in : inputs) totalBytes += in.bytes;

    // Installed before the first fork, so that every job's process has them too: a Ctrl-C at the
    // terminal reaches them all, and one sent to this process alone is passed on to them.
    const InterruptHandlers handlers;
    size_t printed = 0, doneFiles = 0;
    uint64_t doneBytes = 0;
    const bool bar = !options.quiet && isatty(2);
    bool barShown = false;
    const auto t0 = Clock::now();

    const auto drawBar = [&] {
        double bytes = static_cast<double>(doneBytes);
        for (size_t i = 0; i < n; ++i) {
            if (!finished[i]) bytes += std::clamp(share[i], 0.0, 1.0) * static_cast<double>(inputs[i].bytes);
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
    const auto finish = [&](size_t i, JobResult r) {
        if (r.failed != RecordingError::Kind::None) r.line = job.failedLine(inputs[i], r);
        results[i] = std::move(r);
        finished[i] = 1;
        ++doneFiles;
        doneBytes += inputs[i].bytes;
        // Lines in the order of the inputs, as soon as all before them are done.
        for (; printed < n && finished[printed]; ++printed) {
            const JobResult& p = results[printed];
            if (p.line.empty() || p.failed == RecordingError::Kind::Cancelled) continue;
            clearBar();
            std::printf("%s\n", p.line.c_str());
        }
        std::fflush(stdout);
    };

    // Each job runs in a process of its own, forked from this one (which has no other thread): jobs
    // then run side by side even where a library serialises its calls within a process (HDF5 does),
    // and a file that crashes its job fails alone instead of ending the batch.
    std::vector<Child> running;
    size_t next = 0;
    bool passedOn = false;
    Clock::time_point drawn = t0;
    const unsigned jobs = std::max(1u, options.jobs);
    for (;;) {
        while (!interrupted.load() && running.size() < jobs && next < n) {
            const size_t i = next++;
            int fds[2];
            if (::pipe(fds) != 0) {
                finish(i, cannotStart(errno));
                continue;
            }
            std::fflush(stdout);
            std::fflush(stderr);
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(fds[0]);
                for (const Child& c : running) ::close(c.fd);
                runChild(job, inputs[i], fds[1]);
            }
            ::close(fds[1]);
            if (pid < 0) {
                ::close(fds[0]);
                finish(i, cannotStart(errno));
                continue;
            }
            Child c;
            c.pid = pid;
            c.fd = fds[0];
            c.input = i;
            running.push_back(std::move(c));
        }
        if (running.empty()) break;
        if (interrupted.load() && !passedOn) {
            for (const Child& c : running) ::kill(c.pid, SIGINT);
            passedOn = true;
        }
        // Redrawn at most ten times a second, however often the jobs tell their progress.
        if (bar && (!barShown || Clock::now() - drawn >= std::chrono::milliseconds(100))) {
            drawBar();
            drawn = Clock::now();
        }
        std::vector<pollfd> polled;
        for (const Child& c : running) polled.push_back({c.fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), 250) < 0) continue;  // EINTR: a signal, look again
        for (size_t k = running.size(); k-- > 0;) {
            if (polled[k].revents == 0) continue;
            Child& c = running[k];
            char buf[65536];
            const ssize_t got = ::read(c.fd, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got > 0) {
                c.received.append(buf, static_cast<size_t>(got));
                parseMessages(c, share[c.input]);
                continue;
            }
            // The end of its pipe: the process is ending.
            ::close(c.fd);
            int status = 0;
            while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (!c.reported && job.lost) job.lost(inputs[c.input], c.pid);
            finish(c.input, c.reported ? std::move(c.result) : lostChild(status));
            running.erase(running.begin() + static_cast<long>(k));
        }
    }
    const bool cancelled = interrupted.load();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    // The lines of jobs that finished after one that never started.
    for (size_t i = printed; i < n; ++i) {
        if (finished[i] && !results[i].line.empty() && results[i].failed != RecordingError::Kind::Cancelled) {
            clearBar();
            std::printf("%s\n", results[i].line.c_str());
        }
    }
    std::fflush(stdout);
    clearBar();

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
