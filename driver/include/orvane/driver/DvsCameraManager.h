// The entry point to live cameras: finds the supported models on the bus, keeps one camera object
// per serial while its device stays connected, and hands cameras out by serial, initialised.
// Not thread-safe: use one manager from one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/FusionCamera.h"
#include "orvane/driver/Types.h"

namespace orvane {

class DvsCameraManager {
public:
    DvsCameraManager() = default;

    // Drops unplugged cameras, runs the discovery passes, and lists every held camera: event
    // cameras in ascending serial order, then fusion cameras.
    std::vector<CameraDescription> getCameraDescs();
    // The same refresh; the number of devices the passes found.
    int updateCameras();
    // The initialised camera of that serial, or an empty pointer (unknown serial, failed init).
    std::shared_ptr<DvsCamera> openCamera(std::string serial);
    std::shared_ptr<FusionCamera> openFusionCamera(std::string serial);

private:
    uint64_t findCameras(CAMERA_TYPE type);
    uint64_t findCameras();
    void removeUnpluggedCameras();
    // The fusion camera's share of the passes (kept apart so the fusion model stays in its file).
    uint64_t findFusionCameras();
    void removeUnpluggedFusionCameras();
    void appendFusionDescs(std::vector<CameraDescription>& out) const;

    std::map<std::string, std::shared_ptr<DvsCamera>> dvsCameras;
    std::map<std::string, std::shared_ptr<FusionCamera>> fusionCameras;
};

}  // namespace orvane
