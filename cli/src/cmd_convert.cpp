// orvane convert: a time range of a recording into the kind of file its output's extension names,
// through the driver's exporters: .raw (EVT 3.0: a cut of an EVT 3.0 source, EVT 2.x written again),
// .h5/.hdf5, .csv, .mp4;
// many recordings into a folder of one kind.
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "Command.h"
#include "ExportCommand.h"
#include "OpenRecording.h"
#include "RangeCommand.h"
#include "orvane/driver/Exporter.h"

namespace orvane::cli {
namespace {

std::string kindsList()
{
    std::string out;
    bool hdf5 = false;
    for (const auto& e : makeExporters()) {
        out += (out.empty() ? "" : ", ") + e->extension();
        if (e->name() == "hdf5") {
            out += ", .hdf5";
            hdf5 = true;
        }
    }
    return hdf5 ? out : out + " (this build has no HDF5)";
}

// The exporters' own options, as flags of convert.
const std::vector<Option>& kindFlags()
{
    static const std::vector<Option> flags = exporterFlags(makeExporters());
    return flags;
}

// --to KIND: an exporter's name ("hdf5", "video") or an extension one takes, with or without its dot
// ("h5", ".hdf5", "mp4"). The outputs' extension: the one typed, else the kind's own.
std::unique_ptr<Exporter> exporterNamed(const std::string& word, std::string& extension)
{
    std::string lower;
    for (const char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string dotted = lower.empty() || lower[0] == '.' ? lower : "." + lower;
    for (auto& e : makeExporters()) {
        if (e->accepts("x" + dotted)) {
            extension = dotted;
            return std::move(e);
        }
    }
    for (auto& e : makeExporters()) {
        if (e->name() == lower) {
            extension = e->extension();
            return std::move(e);
        }
    }
    return nullptr;
}

int runFolder(const Args& args)
{
    const auto to = args.value("to");
    if (!to) throw UsageError{"--to KIND names the kind of the outputs: one of " + kindsList()};
    std::string extension;
    // Checked once here, so that a bad option is a usage error before anything is written.
    std::unique_ptr<Exporter> probe = exporterNamed(*to, extension);
    if (!probe) throw UsageError{"--to takes one of " + kindsList() + ", not '" + *to + "'"};
    applyExporterFlags(args, kindFlags(), *probe);
    const std::string word = *to;
    return runFolderExport(
        args,
        [&] {
            std::string ext;
            std::unique_ptr<Exporter> e = exporterNamed(word, ext);
            applyExporterFlags(args, kindFlags(), *e);
            return e;
        },
        extension, "converted");
}

int run(const Args& args)
{
    if (args.has("out")) return runFolder(args);
    if (args.has("to")) throw UsageError{"--to names the kind of the outputs in --out DIR"};
    std::error_code ec;
    if (args.positional().size() != 2 || std::filesystem::is_directory(args.positional()[0], ec)) {
        throw UsageError{"expects FILE.raw and OUT; several recordings or folders take --out DIR --to KIND"};
    }
    const std::string& in = args.positional()[0];
    const std::string& out = args.positional()[1];
    std::unique_ptr<Exporter> exporter = makeExporterFor(out);
    if (!exporter) throw UsageError{"OUT must end in one of " + kindsList()};
    // The kind's own options (a video's --fps and --speed); any other kind refuses them.
    applyExporterFlags(args, kindFlags(), *exporter);
    quietReaderLog();
    OpenedRecording rec = openRecording(in);
    if (std::filesystem::equivalent(in, out, ec)) throw std::runtime_error("'" + out + "' is the input recording");
    const TimeRange range = rangeFromArgs(args, *rec.reader);
    checkOutputCreatable(out);
    runExport(*exporter, *rec.reader, range, out, "convert to " + exporter->name(), args.has("quiet"));
    std::printf("%s: %s, %" PRIu64 " to %" PRIu64 " us, %ju bytes\n", out.c_str(), exporter->name().c_str(),
                range.start, range.end, static_cast<uintmax_t>(std::filesystem::file_size(out)));
    return 0;
}

std::vector<Option> convertFlags()
{
    std::vector<Option> o{
        {"start", Option::Kind::Count, "US", "from this time (us; default: the recording's start)"},
        {"end", Option::Kind::Count, "US", "up to this time (us; default: the recording's end)"}};
    for (const Option& f : kindFlags()) o.push_back(f);
    for (Option& f : folderExportFlags()) {
        o.push_back(std::move(f));
        if (o.back().name == "out") {
            o.push_back({"to", Option::Kind::Text, "KIND",
                         "with --out: the kind of the outputs (" + kindsList() + ")"});
        }
    }
    return o;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "convert",
    "the events from --start up to --end (default: the whole recording) into the kind OUT's "
    "extension names: .raw (an EVT 3.0 recording; EVT 2.x is written again), .h5 or .hdf5 (HDF5 "
    "datasets), .csv (x,y,p,t lines), .mp4 (H.264 video); or many recordings into a folder",
    {{"PATH", "FILE.raw and OUT; or recordings and folders (searched for .raw files) with --out", true}},
    convertFlags(), run,
    "Many recordings: orvane convert PATH... --out DIR --to KIND converts every recording "
    "named or found under a folder named, whole, -j at a time. A file named goes to "
    "DIR/NAME.EXT; one found in a folder goes to the same path below DIR as below that folder "
    "(day1/a.raw -> DIR/day1/a.h5 for orvane convert data --out DIR --to h5). One line per "
    "recording (--json: one JSON object per line), then a summary with each failure's reason; "
    "the exit status is not 0 when one failed. Ctrl-C stops every job and leaves no part file.",
    "FILE.raw OUT | PATH...");

}  // namespace orvane::cli
