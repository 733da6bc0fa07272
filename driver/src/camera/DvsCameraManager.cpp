#include "orvane/driver/DvsCameraManager.h"

#include "DvsEventCamera.h"
#include "orvane/base/Logger.h"
#include "orvane/hal/UsbInterface.h"

namespace orvane {
namespace {

template <typename Model>
uint64_t discoverDvs(std::map<std::string, std::shared_ptr<DvsCamera>>& cameras)
{
    const std::vector<CameraDescription> found = UsbInterface::findUsbDvsCamera(Model::vendorId, Model::productId);
    for (const CameraDescription& description : found) {
        if (cameras.count(description.serial)) continue;
        cameras.emplace(description.serial, std::make_shared<Model>(description));
    }
    return found.size();
}

}  // namespace

uint64_t DvsCameraManager::findCameras(CAMERA_TYPE type)
{
    switch (type) {
    case CAMERA_EVK4: return discoverDvs<PropheseeEVK4>(dvsCameras);
    case CAMERA_KESTREL: return discoverDvs<OrvaneKestrel>(dvsCameras);
    case CAMERA_TANDEM: return findFusionCameras();
    }
    return 0;
}

uint64_t DvsCameraManager::findCameras()
{
    return findCameras(CAMERA_EVK4) + findCameras(CAMERA_KESTREL) + findCameras(CAMERA_TANDEM);
}

void DvsCameraManager::removeUnpluggedCameras()
{
    for (auto it = dvsCameras.begin(); it != dvsCameras.end();) {
        it = it->second->isConnected() ? std::next(it) : dvsCameras.erase(it);
    }
    removeUnpluggedFusionCameras();
}

int DvsCameraManager::updateCameras()
{
    removeUnpluggedCameras();
    return static_cast<int>(findCameras());
}

std::vector<CameraDescription> DvsCameraManager::getCameraDescs()
{
    updateCameras();
    std::vector<CameraDescription> out;
    for (const auto& [serial, camera] : dvsCameras) out.push_back(camera->getDvsDesc());
    appendFusionDescs(out);
    return out;
}

std::shared_ptr<DvsCamera> DvsCameraManager::openCamera(std::string serial)
{
    ORVANE_LOG_DETAIL("Camera serial: %s", serial.c_str());
    const auto it = dvsCameras.find(serial);
    if (it == dvsCameras.end()) return nullptr;
    if (it->second->init() != 0) return nullptr;
    return it->second;
}

}  // namespace orvane
