// The manager's fusion pass, kept apart so the fusion model stays in its own translation unit.
#include "TandemCamera.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/hal/UsbInterface.h"

namespace orvane {

uint64_t DvsCameraManager::findFusionCameras()
{
    const std::vector<CameraDescription> found =
        UsbInterface::findUsbFusionCamera(TandemCamera::vendorId, TandemCamera::productId);
    for (const CameraDescription& description : found) {
        if (fusionCameras.count(description.serial)) continue;
        fusionCameras.emplace(description.serial, std::make_shared<TandemCamera>(description));
    }
    return found.size();
}

void DvsCameraManager::removeUnpluggedFusionCameras()
{
    for (auto it = fusionCameras.begin(); it != fusionCameras.end();) {
        it = it->second->isConnected() ? std::next(it) : fusionCameras.erase(it);
    }
}

void DvsCameraManager::appendFusionDescs(std::vector<CameraDescription>& out) const
{
    for (const auto& [serial, camera] : fusionCameras) out.push_back(camera->getDvsDesc());
}

std::shared_ptr<FusionCamera> DvsCameraManager::openFusionCamera(std::string serial)
{
    ORVANE_LOG_DETAIL("Fusion Camera serial: %s", serial.c_str());
    const auto it = fusionCameras.find(serial);
    if (it == fusionCameras.end()) return nullptr;
    // An uninitialised camera is of no use to the caller; the entry stays so a later open retries.
    if (it->second->init() != 0) return nullptr;
    return it->second;
}

}  // namespace orvane
