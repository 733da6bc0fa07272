#include "ExportCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>

#include "Batch.h"
#include "OpenRecording.h"

namespace orvane::cli {
namespace fs = std::filesystem;

namespace {

// Option names are words with underscores (Python's keywords); flags have dashes.
std::string flagName(std::string option)
{
    std::replace(option.begin(), option.end(), '_', '-');
    return option;
}

std::string optionHelp(const ExportOption& o)
{
    std::string help = o.description;
    if (!o.choices.empty()) {
        help += ": ";
        for (size_t i = 0; i < o.choices.size(); ++i) help += (i == 0 ? "" : " | ") + o.choices[i];
    }
    if (!o.defaultValue.empty()) help += " (default " + o.defaultValue + ")";
    return help;
}

}  // namespace

std::vector<Option> exporterFlags(const std::vector<std::unique_ptr<Exporter>>& exporters)
{
    std::vector<Option> flags;
    std::map<std::string, std::vector<std::string>> kinds;  // flag -> the kinds that take it
    for (const auto& e : exporters) {
        for (const ExportOption& o : e->options()) {
            const std::string flag = flagName(o.name);
            if (kinds[flag].empty()) {
                flags.push_back({flag, Option::Kind::Text, o.choices.empty() ? "VALUE" : "WORD", optionHelp(o)});
            }
            kinds[flag].push_back(e->name());
        }
    }
    if (exporters.size() > 1) {
        for (Option& f : flags) {
            std::string names;
            for (const std::string& k : kinds[f.name]) names += (names.empty() ? "" : ", ") + k;
            f.help = "(" + names + ") " + f.help;
        }
    }
    return flags;
}

void applyExporterFlags(const Args& args, const std::vector<Option>& flags, Exporter& exporter)
{
    for (const Option& f : flags) {
        const auto value = args.value(f.name);
        std::string option = f.name;
        std::replace(option.begin(), option.end(), '-', '_');
        std::string error;
        if (value && !exporter.setOption(option, *value, error)) throw UsageError{error};
    }
}

void runExport(Exporter& exporter, RawFileReader& reader, TimeRange range, const std::string& out,
               const std::string& what, bool quiet)
{
    const InterruptHandlers handlers;
    const bool tty = !quiet && isatty(2);
    int shown = -1;
    const ExportProgress progress = [&](double f) {
        const int pct = static_cast<int>(f * 100);
        if (!tty || pct == shown) return;
        shown = pct;
        std::fprintf(stderr, "\r%s %3d%%", what.c_str(), pct);
        std::fflush(stderr);
    };
    // The reasons come back as values: keep the reader's own error lines off the terminal.
    if (!std::getenv("ORVANE_LOG_LEVEL")) Logger::Instance().setMinLevel(static_cast<LogLevelType>(LOG_LEVEL_ERROR + 1));
    RecordingError failed;
    try {
        failed = exporter.run(reader, {range.start, range.end}, out, progress, &interrupted);
    } catch (const std::exception& e) {
        failed = {RecordingError::Kind::Io, e.what(), 0};
    }
    if (tty && shown >= 0) std::fputs(failed ? "\r\033[K" : "\n", stderr);
    if (failed) throw RecordingFailure(failed.kind, what + " failed: " + failed.message);
}

std::vector<Option> folderExportFlags()
{
    std::vector<Option> o{{"out", Option::Kind::Text, "DIR", "with several recordings or folders: the folder of the outputs"},
                          {"json", Option::Kind::Flag, "", "with --out: one JSON object per recording (JSON lines)"}};
    for (Option& b : batchOptions()) o.push_back(std::move(b));
    return o;
}

int runFolderExport(const Args& args, const std::function<std::unique_ptr<Exporter>()>& make,
                    const std::string& extension, const std::string& verb)
{
    if (args.has("start") || args.has("end")) {
        throw UsageError{"--start and --end are times of one recording; with --out every recording goes whole"};
    }
    const std::string outDir = *args.value("out");
    if (outDir.empty()) throw UsageError{"--out needs a folder"};
    BatchOptions options = batchOptionsFrom(args);
    const bool json = options.json;
    options.verb = verb;
    const std::vector<BatchInput> inputs = collectInputs(args.positional(), outDir);

    // Each output once: two inputs that map to one output are a mistake found before anything runs.
    std::vector<std::string> outputs;
    std::map<std::string, std::string> writer;  // output -> its input
    for (const BatchInput& in : inputs) {
        const std::string out = (fs::path(outDir) / fs::path(in.relative).replace_extension(extension)).string();
        const auto [it, fresh] = writer.emplace(fs::path(out).lexically_normal().string(), in.path);
        if (!fresh) throw UsageError{"'" + it->second + "' and '" + in.path + "' would both be written to '" + out + "'"};
        outputs.push_back(out);
    }
    std::map<std::string, std::string> outputOf;
    for (size_t i = 0; i < inputs.size(); ++i) outputOf[inputs[i].path] = outputs[i];
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) {
        throw std::runtime_error("cannot create the folder '" + outDir + "': " +
                                 (ec ? ec.message() : std::string("a file of that name is in the way")));
    }

    quietReaderLog();
    if (!std::getenv("ORVANE_LOG_LEVEL")) Logger::Instance().setMinLevel(static_cast<LogLevelType>(LOG_LEVEL_ERROR + 1));
    BatchJob job;
    job.run = [&](const BatchInput& in, const std::function<void(double)>& progress,
                  const std::atomic<bool>& cancel) {
        const std::string& out = outputOf.at(in.path);
        const std::unique_ptr<Exporter> exporter = make();
        OpenedRecording rec = openRecording(in.path);
        std::error_code e;
        if (fs::equivalent(in.path, out, e)) throw std::runtime_error("'" + out + "' is the input recording");
        fs::create_directories(fs::path(out).parent_path(), e);
        if (e) throw std::runtime_error("cannot create the folder of '" + out + "': " + e.message());
        JobResult r;
        TimeRange range;
        rec.reader->getStartTimeStamp(range.start);
        rec.reader->getEndTimeStamp(range.end);
        rec.reader->getMaxEvents(r.events);
        r.durationUs = range.end - range.start;
        const RecordingError failed =
            exporter->run(*rec.reader, {range.start, range.end}, out, progress, &cancel);
        if (failed) throw RecordingFailure(failed);
        const auto bytes = static_cast<uintmax_t>(fs::file_size(out, e));
        if (json) {
            char buf[160];
            std::snprintf(buf, sizeof buf, ",\"kind\":\"%s\",\"events\":%" PRIu64 ",\"duration_us\":%" PRIu64
                          ",\"bytes\":%ju,\"error\":null}", exporter->name().c_str(), r.events, r.durationUs, bytes);
            r.line = "{\"path\":" + jsonString(in.path) + ",\"output\":" + jsonString(out) + buf;
        } else {
            char buf[160];
            std::snprintf(buf, sizeof buf, ": %s, %" PRIu64 " events, %ju bytes", exporter->name().c_str(), r.events,
                          bytes);
            r.line = in.path + " -> " + out + buf;
        }
        return r;
    };
    job.failedLine = [&](const BatchInput& in, const JobResult& failed) {
        if (json) {
            return "{\"path\":" + jsonString(in.path) + ",\"output\":" + jsonString(outputOf.at(in.path)) +
                   jsonFailure(failed) + "}";
        }
        return in.path + ": failed: " + failed.reason;
    };
    // An exporter writes OUT.partPID.EXT and renames it when complete; the part file of a job whose
    // process died goes now rather than with the next job on that output.
    job.lost = [&](const BatchInput& in, int pid) {
        const std::string& out = outputOf.at(in.path);
        std::error_code e;
        fs::remove(out + ".part" + std::to_string(pid) + fs::path(out).extension().string(), e);
    };
    return runBatch(inputs, options, job);
}

}  // namespace orvane::cli
