// The exporters that write events as values for analysis tools: CSV lines (x,y,p,t, as
// `orvane dump --csv` prints them) and HDF5 datasets. Both stream: memory is bounded by one piece
// of events (CSV) or one chunk per dataset (HDF5), not by the range.
#pragma once

#include "orvane/driver/Exporter.h"

namespace orvane {

class CsvExporter : public Exporter {
public:
    std::string name() const override { return "csv"; }
    std::string extension() const override { return ".csv"; }
    RecordingError run(RawFileReader& reader, ExportRange range, const std::string& output,
                       const ExportProgress& progress, const std::atomic<bool>* cancel) override;
};

#ifdef ORVANE_WITH_HDF5
// /events/x, y (uint16), p (uint8), t (int64 us, the recording's time), /events/ms_to_idx (for each
// millisecond from the range's start, the index of its first event), /triggers/t, id, p; the root
// holds width, height, source_file, format, start_us and end_us. Chunked; shuffled and deflated
// unless the option compression is none. A full disk or a file size limit fails the export with
// the system's reason and leaves no file.
class Hdf5Exporter : public Exporter {
public:
    std::string name() const override { return "hdf5"; }
    std::string extension() const override { return ".h5"; }
    bool accepts(const std::string& path) const override;
    std::vector<ExportOption> options() const override;
    bool setOption(const std::string& name, const std::string& value, std::string& error) override;
    RecordingError run(RawFileReader& reader, ExportRange range, const std::string& output,
                       const ExportProgress& progress, const std::atomic<bool>* cancel) override;

private:
    bool deflate_ = true;
};
#endif

}  // namespace orvane
