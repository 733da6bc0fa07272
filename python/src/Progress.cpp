#include "Progress.h"

namespace orvane::python {

namespace py = pybind11;

namespace {

// Moves a tqdm bar to share x its total; tqdm itself rate-limits what it draws.
py::object barCallback(const py::object& bar)
{
    return py::cpp_function([bar](double share) {
        const py::object total = bar.attr("total");
        const double whole = total.is_none() ? 1.0 : total.cast<double>();
        const double step = share * whole - bar.attr("n").cast<double>();
        if (step > 0) bar.attr("update")(step);
    });
}

bool isBar(const py::object& progress)
{
    return py::hasattr(progress, "update") && py::hasattr(progress, "n") && py::hasattr(progress, "total");
}

}  // namespace

Progress::Progress(const py::object& progress, const char* what)
{
    if (progress.is_none() || (PyBool_Check(progress.ptr()) && !progress.cast<bool>())) return;
    if (PyBool_Check(progress.ptr())) {
        // Imported only when asked for: tqdm is optional.
        py::object tqdm;
        try {
            tqdm = py::module_::import("tqdm").attr("tqdm");
        } catch (py::error_already_set& e) {
            if (!e.matches(PyExc_ImportError)) throw;
            throw py::import_error("progress=True draws a tqdm bar, but tqdm is not installed");
        }
        ownedBar_ = tqdm(py::arg("total") = 100, py::arg("desc") = what, py::arg("unit") = "%",
                         py::arg("bar_format") = "{desc}: {percentage:3.0f}%|{bar}| [{elapsed}<{remaining}]");
        callback_ = barCallback(ownedBar_);
        return;
    }
    if (isBar(progress)) {
        callback_ = barCallback(progress);
        return;
    }
    if (!PyCallable_Check(progress.ptr()))
        throw py::type_error("progress must be a callable, True (a tqdm bar) or a tqdm bar");
    callback_ = progress;
}

Progress::~Progress()
{
    if (!ownedBar_) return;
    // Never let the bar's close hide the job's own outcome.
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    try {
        ownedBar_.attr("close")();
    } catch (py::error_already_set&) {
    }
    PyErr_Restore(type, value, trace);
}

}  // namespace orvane::python
