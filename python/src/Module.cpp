// The orvane Python module: recordings and cameras of the Orvane driver, events as numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdlib>

#include "Errors.h"
#include "EventArrays.h"
#include "RawFile.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/Version.h"

namespace orvane::python {
void bindCameras(pybind11::module_& m);
void bindScan(pybind11::module_& m);
}

PYBIND11_MODULE(orvane, m)
{
    namespace py = pybind11;
    using namespace orvane::python;
    m.doc() = "Event-camera recordings and cameras through the Orvane driver; events as numpy arrays.";
    // The driver's information lines are for its own tools; a script sees warnings and errors only,
    // unless ORVANE_LOG_LEVEL asks for more.
    if (!std::getenv("ORVANE_LOG_LEVEL")) orvane::Logger::Instance().setMinLevel(orvane::LOG_LEVEL_WARNING);
    registerErrors(m);
    m.attr("EVENT_DTYPE") = eventDtype();
    m.attr("TRIGGER_DTYPE") = triggerDtype();
    m.attr("__version__") = orvane::driverVersion();
    bindRawFile(m);
    bindCameras(m);
    bindScan(m);
}
