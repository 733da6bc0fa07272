#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "export/ExportOutput.h"
#include "export/TableExporters.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {

RecordingError CsvExporter::run(RawFileReader& reader, ExportRange range, const std::string& output,
                                const ExportProgress& progress, const std::atomic<bool>* cancel)
{
    exportio::PartFile part(output);
    const exportio::Progress prog(progress, cancel);
    if (exportio::sameFile(output, reader.getPath()))
        return {RecordingError::Kind::Io, "cannot write '" + output + "': it is the recording", 0};
    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(part.path().c_str(), "wb"), &std::fclose);
    if (!out) {
        const int err = errno;
        return {exportio::outputErrorKind(err), "cannot write '" + output + "': " + std::strerror(err), err};
    }
    std::fputs("x,y,p,t\n", out.get());
    char line[64];
    RecordingError failed = exportio::forEachEvent(reader, range, output, prog, [&](const Event2D* b, const Event2D* e) {
        for (; b != e; ++b) {
            const int n = std::snprintf(line, sizeof line, "%u,%u,%u,%" PRIu64 "\n", b->x, b->y,
                                        b->polarity ? 1u : 0u, b->timestamp);
            std::fwrite(line, 1, static_cast<size_t>(n), out.get());
        }
    });
    if (failed) return failed;
    errno = 0;
    const bool bad = std::ferror(out.get()) != 0;
    if (std::fclose(out.release()) != 0 || bad) return exportio::ioError("cannot write '" + output + "'");
    if (RecordingError renamed = part.commit()) return renamed;
    prog.finished();
    return {};
}

}  // namespace orvane
