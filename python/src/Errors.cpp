#include "Errors.h"

namespace orvane::python {

namespace py = pybind11;

void registerErrors(py::module_& m)
{
    // Never destroyed: exceptions may be raised while the interpreter shuts down.
    static PyObject* error = PyErr_NewExceptionWithDoc(
        "orvane.Error", "An operation of the Orvane driver failed; the message gives the driver's reason.",
        PyExc_RuntimeError, nullptr);
    static PyObject* formatError = [] {
        PyObject* bases = PyTuple_Pack(2, error, PyExc_ValueError);
        PyObject* type = PyErr_NewExceptionWithDoc(
            "orvane.FormatError", "The file is not a recording the driver can read (its header, geometry or data).",
            bases, nullptr);
        Py_XDECREF(bases);
        return type;
    }();
    static PyObject* unsupportedError = PyErr_NewExceptionWithDoc(
        "orvane.UnsupportedFormatError",
        "The recording is in an encoding the driver does not read; the message names it.", formatError, nullptr);
    // An OSError first, so that it carries errno, strerror and filename as OSError does.
    static PyObject* writeError = [] {
        PyObject* bases = PyTuple_Pack(2, PyExc_OSError, error);
        PyObject* type = PyErr_NewExceptionWithDoc(
            "orvane.WriteError",
            "The system refused to write an output (a full disk, a file size limit); errno says which.", bases,
            nullptr);
        Py_XDECREF(bases);
        return type;
    }();
    if (!error || !formatError || !unsupportedError || !writeError) throw py::error_already_set();
    m.attr("WriteError") = py::handle(writeError);
    m.attr("UnsupportedFormatError") = py::handle(unsupportedError);
    m.attr("Error") = py::handle(error);
    m.attr("FormatError") = py::handle(formatError);

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const UnsupportedFormatError& e) {
            PyErr_SetString(unsupportedError, e.what());
        } catch (const FormatError& e) {
            PyErr_SetString(formatError, e.what());
        } catch (const Error& e) {
            PyErr_SetString(error, e.what());
        } catch (const WriteError& e) {
            py::object instance = py::reinterpret_steal<py::object>(PyObject_CallFunction(
                writeError, "isN", e.errnum, e.what(), PyUnicode_DecodeFSDefault(e.path.c_str())));
            if (instance) PyErr_SetObject(writeError, instance.ptr());
        } catch (const PathError& e) {
            // OSError(errno, text, filename) gives the subclass that errno stands for.
            py::object instance = py::reinterpret_steal<py::object>(PyObject_CallFunction(
                PyExc_OSError, "isN", e.errnum, e.what(), PyUnicode_DecodeFSDefault(e.path.c_str())));
            if (instance)
                PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(instance.ptr())), instance.ptr());
        }
    });
}

}  // namespace orvane::python
