// The exporter list, and the raw cut and video exporters around the reader's writing.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "export/ExportOutput.h"
#include "export/RawExporters.h"
#include "export/TableExporters.h"
#include "FileReader/RawFormat.h"
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
    if (keepEncoding || std::string(reader.formatName()) == RawFormat::evt3().name()) {
        try {
            if (!reader.writeCut(range.start_us, range.end_us, part, prog)) return reader.lastError();
        } catch (const std::runtime_error&) {
            // A write that failed is told with its reason (a full disk, a file size limit); a
            // failed read goes on to the caller as every read's does.
            if (reader.lastError() && reader.lastError().message.rfind("cannot write", 0) == 0) return reader.lastError();
            throw;
        }
    } else if (RecordingError failed = exportio::rewriteAsEvt3(reader, range, part, prog)) {
        return failed;
    }
    if (RecordingError failed = part.commit()) return failed;
    prog.finished();
    return {};
}

namespace {

constexpr uint64_t kMaxAccumulationUs = 100000000;  // as long as the longest slice (1 fps at speed 100)

const std::vector<std::string> kModes = {"accumulation", "time-surface"};
const std::vector<std::string> kThemes = {"grey", "dark", "light"};

std::string dashed(std::string option)
{
    std::replace(option.begin(), option.end(), '_', '-');
    return "--" + option;
}

// The whole value must be the number: "30fps" or "" is a mistake, not 30 or 0.
bool wholeNumber(const std::string& value, uint64_t low, uint64_t high, uint64_t& out)
{
    if (value.empty() || value.size() > 19 || value.find_first_not_of("0123456789") != std::string::npos) return false;
    const uint64_t v = std::stoull(value);
    if (v < low || v > high) return false;
    out = v;
    return true;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string out;
    for (size_t i = 0; i < words.size(); ++i) out += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return out;
}

}  // namespace

std::vector<ExportOption> VideoExporter::options() const
{
    return {{"fps", "frames per second of the video, 1 to 240", "30", {}},
            {"speed", "recording time shown per second of video, 0.001 (slow motion) to 100", "1", {}},
            {"accumulation_us",
             "the recording time (us, 1 to 100000000) whose events make each frame, ending at the frame; "
             "default: the time between two frames (speed x 1000000 / fps)",
             "", {}},
            {"mode", "the picture: each frame's events, or every pixel's last event fading", "accumulation", kModes},
            {"theme", "the colours of background and events", "grey", kThemes},
            {"time_constant_us",
             "time surface: how long (us, " + std::to_string(FrameRenderer::kMinTimeConstantUs) + " to " +
                 std::to_string(FrameRenderer::kMaxTimeConstantUs) + ") a pixel takes to fade to 1/e",
             std::to_string(RenderSettings{}.timeConstantUs), {}}};
}

bool VideoExporter::setOption(const std::string& option, const std::string& value, std::string& error)
{
    uint64_t n = 0;
    if (option == "fps") {
        if (wholeNumber(value, 1, 240, n)) {
            fps = static_cast<int>(n);
            return true;
        }
        error = "--fps needs a whole number from 1 to 240, not '" + value + "'";
        return false;
    }
    if (option == "speed") {
        size_t used = 0;
        double v = 0;
        try {
            v = std::stod(value, &used);
        } catch (const std::exception&) {
            used = std::string::npos;
        }
        if (used == value.size() && v >= 0.001 && v <= 100) {
            speed = v;
            return true;
        }
        error = "--speed needs a number from 0.001 to 100, not '" + value + "'";
        return false;
    }
    if (option == "accumulation_us") {
        if (wholeNumber(value, 1, kMaxAccumulationUs, n)) {
            accumulationUs = n;
            return true;
        }
        error = "--accumulation-us needs a whole number of us from 1 to " + std::to_string(kMaxAccumulationUs) +
                ", not '" + value + "'";
        return false;
    }
    if (option == "time_constant_us") {
        if (wholeNumber(value, FrameRenderer::kMinTimeConstantUs, FrameRenderer::kMaxTimeConstantUs, n)) {
            render.timeConstantUs = n;
            return true;
        }
        error = "--time-constant-us needs a whole number of us from " +
                std::to_string(FrameRenderer::kMinTimeConstantUs) + " to " +
                std::to_string(FrameRenderer::kMaxTimeConstantUs) + ", not '" + value + "'";
        return false;
    }
    if (option == "mode" || option == "theme") {
        const std::vector<std::string>& words = option == "mode" ? kModes : kThemes;
        const auto it = std::find(words.begin(), words.end(), value);
        if (it == words.end()) {
            error = dashed(option) + " takes " + joined(words) + ", not '" + value + "'";
            return false;
        }
        const auto index = static_cast<int32_t>(it - words.begin());
        if (option == "mode")
            render.mode = static_cast<DisplayMode>(index);
        else
            render.theme = static_cast<ColourTheme>(index);
        return true;
    }
    return Exporter::setOption(option, value, error);
}

exportio::VideoLook VideoExporter::look() const
{
    exportio::VideoLook l;
    l.fps = fps;
    l.sliceUs = static_cast<uint64_t>(std::max(1.0, std::round(speed * 1000000.0 / fps)));
    l.accumulationUs = accumulationUs != 0 ? accumulationUs : l.sliceUs;
    l.render = render;
    return l;
}

RecordingError VideoExporter::run(RawFileReader& reader, ExportRange range, const std::string& output,
                                  const ExportProgress& progress, const std::atomic<bool>* cancel)
{
    exportio::PartFile part(output);
    const exportio::Progress prog(progress, cancel);
    if (!reader.writeVideo(range.start_us, range.end_us, look(), part, prog)) return reader.lastError();
    if (RecordingError failed = part.commit()) return failed;
    prog.finished();
    return {};
}

}  // namespace orvane
