// What a long call's `progress` argument may be: None, a callable taking the share done (0 to 1),
// True for a tqdm bar of its own, or a tqdm bar the caller made (its total stands for the whole job).
#pragma once

#include <pybind11/pybind11.h>

namespace orvane::python {

// Holds the callable a job reports to; a bar made here is closed when the job ends, however it ends.
class Progress {
public:
    Progress(const pybind11::object& progress, const char* what);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // None, or the callable to give the share done.
    const pybind11::object& callback() const { return callback_; }

private:
    pybind11::object callback_ = pybind11::none();
    pybind11::object ownedBar_;
};

}  // namespace orvane::python
