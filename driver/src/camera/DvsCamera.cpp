#include "orvane/driver/DvsCamera.h"

#include <stdexcept>

#include "orvane/base/Logger.h"
#include "orvane/hal/CameraTool.h"

namespace orvane {

DvsCamera::DvsCamera(CameraDescription description) : desc(std::move(description)) {}

std::shared_ptr<CameraTool> DvsCamera::getTool(ToolType type) const
{
    const auto it = tools.find(type);
    if (it == tools.end()) {
        ORVANE_LOG_ERROR("Tool not found");
        return nullptr;
    }
    return it->second;
}

ToolInfo DvsCamera::getToolInfo(ToolType type) const
{
    const auto it = tools.find(type);
    if (it == tools.end()) {
        ORVANE_LOG_ERROR("Tool not found");
        throw std::runtime_error("Tool not found");
    }
    return it->second->getToolInfo();
}

std::vector<ToolInfo> DvsCamera::getAllToolsInfo() const
{
    std::vector<ToolInfo> out;
    out.reserve(tools.size());
    for (const auto& [type, tool] : tools) out.push_back(tool->getToolInfo());
    return out;
}

}  // namespace orvane
