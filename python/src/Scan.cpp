// orvane.scan: the recordings under a folder, each with its info or the reason it could not be read.
// A data set of hundreds of files should be listed whole even when some are broken, so failures are
// entries, not exceptions; each entry is a flat dict, so pandas.DataFrame(orvane.scan(p)) is a table.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "Errors.h"

namespace orvane::python {

namespace py = pybind11;
namespace fs = std::filesystem;

namespace {

bool namesARecording(const fs::path& path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".raw";
}

std::vector<fs::path> recordingsUnder(const fs::path& root)
{
    std::vector<fs::path> found;
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        if (!fs::exists(root, ec)) throw PathError(ENOENT, "No such file or folder", root.string());
        found.push_back(root);
        return found;
    }
    const auto options = fs::directory_options::skip_permission_denied;
    for (auto it = fs::recursive_directory_iterator(root, options, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file(ec) && namesARecording(it->path())) found.push_back(it->path());
    }
    if (ec) throw PathError(ec.value(), ec.message(), root.string());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

void bindScan(py::module_& m)
{
    m.def(
        "scan",
        [](const std::string& path) {
            if (path.find('\0') != std::string::npos) throw py::value_error("path contains a NUL character");
            const py::object rawFile = py::module_::import("orvane").attr("RawFile");
            py::list entries;
            for (const fs::path& file : recordingsUnder(fs::path(path))) {
                if (PyErr_CheckSignals() != 0) throw py::error_already_set();
                py::dict entry;
                try {
                    py::object rec = rawFile(file.string());
                    entry = rec.attr("info").cast<py::dict>();
                    rec.attr("close")();
                    entry["error"] = py::none();
                    entry["error_type"] = py::none();
                } catch (py::error_already_set& e) {
                    if (e.matches(PyExc_KeyboardInterrupt)) throw;
                    entry["path"] = file.string();
                    entry["error"] = py::str(e.value());
                    entry["error_type"] = e.type().attr("__name__");
                }
                entries.append(entry);
            }
            return entries;
        },
        py::arg("path"), R"doc(
The recordings under `path` (a folder, searched recursively for .raw files in any letter case, or one
file), sorted by path. Each is a dict: the recording's `info` with error=None and error_type=None, or,
for a file that cannot be read, its path, error (the reason) and error_type (the exception a RawFile of
it raises). Opening builds an index beside a file the first time, so a second scan is fast.
pandas.DataFrame(orvane.scan(path)) gives one row per file.)doc");
}

}  // namespace orvane::python
