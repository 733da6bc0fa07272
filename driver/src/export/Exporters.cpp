// The exporter list, and the raw cut and video exporters around the reader's writing.
#include <algorithm>
#include <cctype>

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

RecordingError VideoExporter::run(RawFileReader& reader, ExportRange range, const std::string& output,
                                  const ExportProgress& progress, const std::atomic<bool>* cancel)
{
    exportio::PartFile part(output);
    const exportio::Progress prog(progress, cancel);
    if (!reader.writeVideo(range.start_us, range.end_us, fps, part, prog)) return reader.lastError();
    if (RecordingError failed = part.commit()) return failed;
    prog.finished();
    return {};
}

}  // namespace orvane
