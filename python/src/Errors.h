// The exceptions the module raises. C++ code throws these (also while the GIL is released); the
// translator registered at import turns them into Python exceptions once the GIL is back:
//   Error        -> orvane.Error (a RuntimeError): the driver refused or failed, with its reason
//   FormatError  -> orvane.FormatError (an orvane.Error and a ValueError): not a readable recording
//   UnsupportedFormatError -> orvane.UnsupportedFormatError (a FormatError): an encoding we do not read
//   PathError    -> the OSError subclass of its errno (FileNotFoundError, IsADirectoryError, ...)
//   WriteError   -> orvane.WriteError (an OSError and an orvane.Error): the system refused to write
//                   an output (a full disk, a file size limit, a quota), with its errno
// Bad arguments are py::value_error (ValueError).
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

namespace orvane::python {

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct FormatError : Error {
    using Error::Error;
};

struct UnsupportedFormatError : FormatError {
    using FormatError::FormatError;
};

struct PathError : std::runtime_error {
    PathError(int number, const std::string& message, std::string path_)
        : std::runtime_error(message), errnum(number), path(std::move(path_))
    {
    }
    int errnum;
    std::string path;
};

struct WriteError : PathError {
    using PathError::PathError;
};

void registerErrors(pybind11::module_& m);

}  // namespace orvane::python
