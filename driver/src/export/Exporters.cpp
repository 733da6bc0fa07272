// The exporter list, and the raw cut and video exporters around the reader's writing.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "export/ExportOutput.h"
#include "export/RawExporters.h"
#include "export/TableExporters.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {

namespace {

std::string lowerExtension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

}  // namespace

bool Exporter::accepts(const std::string& path) const
{
    return lowerExtension(path) == extension();
}

bool Exporter::setOption(const std::string& name, const std::string&, std::string& error)
{
    error = "the " + this->name() + " export has no option '" + name + "'";
    return false;
}

std::vector<std::unique_ptr<Exporter>> makeExporters()
{
    std::vector<std::unique_ptr<Exporter>> all;
    all.push_back(std::make_unique<RawCutExporter>());
    all.push_back(std::make_unique<VideoExporter>());
    all.push_back(std::make_unique<CsvExporter>());
#ifdef ORVANE_WITH_HDF5
    all.push_back(std::make_unique<Hdf5Exporter>());
#endif
    return all;
}

std::unique_ptr<Exporter> makeExporterFor(const std::string& path)
{
    for (auto& e : makeExporters()) {
        if (e->accepts(path)) return std::move(e);
    }
    return nullptr;
}

RecordingError RawCutExporter::run(RawFileReader& reader, ExportRange range, const std::string& output,
                                   const ExportProgress& progress, const std::atomic<bool>* cancel)
{
    exportio::PartFile part(output);
    const exportio::Progress prog(progress, cancel);
    if (!reader.writeCut(range.start_us, range.end_us, part, prog)) return reader.lastError();
    if (RecordingError failed = part.commit()) return failed;
    prog.finished();
    return {};
}

std::vector<ExportOption> VideoExporter::options() const
{
    return {{"fps", "frames per second of the video, 1 to 240 (default 30)"},
            {"speed", "recording time shown per second of video, 0.001 (slow motion) to 100 (default 1)"}};
}

bool VideoExporter::setOption(const std::string& option, const std::string& value, std::string& error)
{
    // The whole value must be the number: "30fps" or "" is a mistake, not 30 or 0.
    size_t used = 0;
    try {
        if (option == "fps") {
            const int v = std::stoi(value, &used);
            if (used == value.size() && v >= 1 && v <= 240) {
                fps = v;
                return true;
            }
            error = "--fps needs a whole number from 1 to 240, not '" + value + "'";
            return false;
        }
        if (option == "speed") {
            const double v = std::stod(value, &used);
            if (used == value.size() && v >= 0.001 && v <= 100) {
                speed = v;
                return true;
            }
            error = "--speed needs a number from 0.001 to 100, not '" + value + "'";
            return false;
        }
    } catch (const std::exception&) {
        error = "--" + option + " needs a number, not '" + value + "'";
        return false;
    }
    return Exporter::setOption(option, value, error);
}

RecordingError VideoExporter::run(RawFileReader& reader, ExportRange range, const std::string& output,
                                  const ExportProgress& progress, const std::atomic<bool>* cancel)
{
    exportio::PartFile part(output);
    const exportio::Progress prog(progress, cancel);
    const auto slice = static_cast<uint64_t>(std::max(1.0, std::round(speed * 1000000.0 / fps)));
    if (!reader.writeVideo(range.start_us, range.end_us, fps, slice, part, prog)) return reader.lastError();
    if (RecordingError failed = part.commit()) return failed;
    prog.finished();
    return {};
}

}  // namespace orvane
