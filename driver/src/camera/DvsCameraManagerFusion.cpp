// The manager's fusion pass. Fusion cameras are not built yet: the pass finds nothing to hold.
#include "orvane/driver/DvsCameraManager.h"

#include "orvane/base/Logger.h"

namespace orvane {

uint64_t DvsCameraManager::findFusionCameras()
{
    return 0;
}

void DvsCameraManager::removeUnpluggedFusionCameras() {}

void DvsCameraManager::appendFusionDescs(std::vector<CameraDescription>&) const {}

std::shared_ptr<FusionCamera> DvsCameraManager::openFusionCamera(std::string serial)
{
    ORVANE_LOG_DETAIL("Fusion Camera serial: %s", serial.c_str());
    return nullptr;
}

}  // namespace orvane
