// orvane.cameras(), orvane.open_camera() and orvane.Camera: live cameras through the driver's camera
// manager. Events are pulled as time batches on the caller's thread (getNextBatch, GIL released
// while waiting); no Python code ever runs on a driver thread. A fusion camera is used through its
// event stream only.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Errors.h"
#include "EventArrays.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/DvsCameraManager.h"

namespace orvane::python {

namespace {

namespace py = pybind11;

// One manager for the process, used under its lock. Never destroyed: cameras it holds may still be
// referenced from Python objects while the interpreter shuts down.
struct Cameras {
    std::mutex lock;
    DvsCameraManager manager;
    std::vector<std::weak_ptr<DvsCamera>> opened;
    std::vector<std::weak_ptr<FusionCamera>> openedFusion;
};

Cameras& cameras()
{
    static Cameras* c = new Cameras;
    return *c;
}

std::string withReason(std::string what, const std::string& reason)
{
    return reason.empty() ? what : what + ": " + reason;
}

class Camera {
public:
    Camera(CameraDescription desc, std::shared_ptr<DvsCamera> camera, std::shared_ptr<FusionCamera> fusion)
        : desc_(std::move(desc)), camera_(std::move(camera)), fusion_(std::move(fusion))
    {
    }
    ~Camera()
    {
        py::gil_scoped_release nogil;
        shutDown();
    }

    const std::string& serial() const { return desc_.serial; }
    const std::string& product() const { return desc_.product; }
    uint16_t width() const { return camera_ ? camera_->getWidth() : fusion_->getWidth(STREAM_DVS); }
    uint16_t height() const { return camera_ ? camera_->getHeight() : fusion_->getHeight(STREAM_DVS); }
    bool connected() const { return camera_ ? camera_->isConnected() : fusion_->isConnected(); }

    void start()
    {
        std::string reason;
        int result = 0;
        {
            py::gil_scoped_release nogil;
            LogErrorCapture capture;
            result = camera_ ? camera_->start() : fusion_->start(STREAM_DVS);
            reason = capture.lastError();
        }
        if (result != 0) throw Error(withReason("camera '" + serial() + "' could not start", reason));
    }

    void stop()
    {
        py::gil_scoped_release nogil;
        if (camera_)
            camera_->stop();
        else
            fusion_->stop(STREAM_BOTH);
    }

    void record(const std::string& path)
    {
        const std::filesystem::path parent =
            std::filesystem::absolute(std::filesystem::path(path)).parent_path();
        std::error_code ec;
        if (!std::filesystem::is_directory(parent, ec))
            throw PathError(ENOENT, "No such folder", parent.string());
        std::string reason;
        int result = -1;
        {
            py::gil_scoped_release nogil;
            LogErrorCapture capture;
            try {
                result = camera_ ? camera_->startRecording(path) : fusion_->startRecording(path, STREAM_DVS);
                reason = capture.lastError();
            } catch (const std::exception& e) {
                reason = e.what();
            }
        }
        if (result != 0) throw Error(withReason("recording to '" + path + "' could not start", reason));
        recording_ = true;
    }

    void stopRecording()
    {
        if (!recording_) return;
        recording_ = false;
        std::string reason;
        int result = 0;
        {
            py::gil_scoped_release nogil;
            LogErrorCapture capture;
            result = camera_ ? camera_->stopRecording() : fusion_->stopRecording(STREAM_DVS);
            reason = capture.lastError();
        }
        if (result != 0) throw Error(withReason("the recording could not be written completely", reason));
    }

    void setBatchTime(uint64_t us)
    {
        if (camera_)
            camera_->setBatchEventsTime(us);
        else
            fusion_->setBatchEventsTime(us);
    }

    // The camera's counts as a dict: what it delivered, what the device dropped because the host was
    // late, and what its recording wrote (with the reason writing failed, or None).
    py::dict statistics() const
    {
        CameraStatistics st;
        {
            py::gil_scoped_release nogil;
            st = camera_ ? camera_->statistics() : static_cast<CameraStatistics>(fusion_->statistics());
        }
        py::dict out;
        out["events"] = st.eventsDelivered;
        out["dropped_buffers"] = st.droppedBuffers;
        out["dropped_bytes"] = st.droppedBytes;
        out["recorded_bytes"] = st.recordedBytes;
        out["recording_writes"] = st.recordingWrites;
        out["recording_failure"] = st.recordingFailure.empty() ? py::object(py::none()) : py::str(st.recordingFailure);
        return out;
    }

    // The next non-empty batch; false once the camera stops streaming or goes away.
    bool nextBatch(std::vector<Event2D>& out)
    {
        for (;;) {
            bool ok = false;
            {
                py::gil_scoped_release nogil;
                ok = camera_ ? camera_->getNextBatch(out) : fusion_->getNextBatch(out);
            }
            if (!ok) return false;
            if (!out.empty()) return true;
            if (!connected()) return false;
            // A wake-up without data: let Ctrl-C through before waiting again.
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        }
    }

    // Ends a recording and the stream; errors are not raised from here (exit paths).
    void shutDown()
    {
        if (recording_) {
            recording_ = false;
            if (camera_)
                camera_->stopRecording();
            else
                fusion_->stopRecording(STREAM_DVS);
        }
        if (camera_)
            camera_->stop();
        else
            fusion_->stop(STREAM_BOTH);
    }

private:
    CameraDescription desc_;
    std::shared_ptr<DvsCamera> camera_;
    std::shared_ptr<FusionCamera> fusion_;
    bool recording_ = false;
};

class Batches {
public:
    Batches(py::object camera) : camera_(std::move(camera)) {}

    py::array next()
    {
        std::vector<Event2D> batch;
        if (!camera_.cast<Camera&>().nextBatch(batch)) throw py::stop_iteration();
        return eventArray(std::move(batch));
    }

private:
    py::object camera_;
};

py::list listCameras()
{
    std::vector<CameraDescription> descs;
    {
        py::gil_scoped_release nogil;
        std::lock_guard lock(cameras().lock);
        descs = cameras().manager.getCameraDescs();
    }
    py::list out;
    for (const CameraDescription& d : descs) {
        py::dict entry;
        entry["serial"] = d.serial;
        entry["product"] = d.product;
        out.append(entry);
    }
    return out;
}

std::unique_ptr<Camera> openCamera(const std::string& serial)
{
    std::shared_ptr<DvsCamera> camera;
    std::shared_ptr<FusionCamera> fusion;
    CameraDescription desc;
    bool known = false;
    std::string reason;
    {
        py::gil_scoped_release nogil;
        std::lock_guard lock(cameras().lock);
        Cameras& c = cameras();
        for (const CameraDescription& d : c.manager.getCameraDescs()) {
            if (d.serial == serial) {
                known = true;
                desc = d;
            }
        }
        if (known) {
            LogErrorCapture capture;
            camera = c.manager.openCamera(serial);
            if (!camera) fusion = c.manager.openFusionCamera(serial);
            reason = capture.lastError();
            if (camera) c.opened.push_back(camera);
            if (fusion) c.openedFusion.push_back(fusion);
        }
    }
    if (!known) throw Error("no camera with serial '" + serial + "' (see orvane.cameras())");
    if (!camera && !fusion) throw Error(withReason("camera '" + serial + "' could not be opened", reason));
    return std::make_unique<Camera>(std::move(desc), std::move(camera), std::move(fusion));
}

// At interpreter exit: no camera thread may outlive the process's static objects.
void stopAllCameras()
{
    py::gil_scoped_release nogil;
    std::lock_guard lock(cameras().lock);
    for (const auto& weak : cameras().opened) {
        if (const auto camera = weak.lock()) {
            camera->stopRecording();
            camera->stop();
        }
    }
    for (const auto& weak : cameras().openedFusion) {
        if (const auto camera = weak.lock()) {
            camera->stopRecording(STREAM_BOTH);
            camera->stop(STREAM_BOTH);
        }
    }
}

}  // namespace

void bindCameras(py::module_& m)
{
    py::class_<Batches>(m, "_Batches")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &Batches::next);

    py::class_<Camera>(m, "Camera", "A live camera from open_camera(serial).")
        .def_property_readonly("serial", &Camera::serial)
        .def_property_readonly("product", &Camera::product)
        .def_property_readonly("width", &Camera::width)
        .def_property_readonly("height", &Camera::height)
        .def_property_readonly("connected", &Camera::connected)
        .def_property_readonly("statistics", &Camera::statistics,
                               "Counts since the camera opened: events delivered, dropped_buffers and "
                               "dropped_bytes (data the device lost because the host was late), and the "
                               "recording's recorded_bytes, recording_writes and recording_failure.")
        .def("start", &Camera::start, "Starts streaming events.")
        .def("stop", &Camera::stop, "Stops streaming; a batches() iteration then ends.")
        .def("record", &Camera::record, py::arg("path"),
             "Starts recording the event stream to a raw file (while the camera streams).")
        .def("stop_recording", &Camera::stopRecording,
             "Ends the recording; the file is complete when this returns.")
        .def(
            "batches",
            [](py::object self, int64_t durationUs) {
                if (durationUs <= 0) throw py::value_error("duration_us must be above 0");
                self.cast<Camera&>().setBatchTime(static_cast<uint64_t>(durationUs));
                return Batches(self);
            },
            py::arg("duration_us") = 10000,
            "Iterates the events in batches of duration_us of event time, as they arrive; ends when the "
            "camera stops or is unplugged.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__",
             [](Camera& self, py::args) {
                 py::gil_scoped_release nogil;
                 self.shutDown();
             })
        .def("__repr__",
             [](const Camera& c) { return "<orvane.Camera " + c.product() + " '" + c.serial() + "'>"; });

    m.def("cameras", &listCameras, "The cameras found: a list of {'serial': ..., 'product': ...}.");
    m.def("open_camera", &openCamera, py::arg("serial"), "Opens the camera of that serial, ready to start.");
    py::module_::import("atexit").attr("register")(py::cpp_function(&stopAllCameras));
}

}  // namespace orvane::python
