#include "orvane/driver/CameraBase.h"

#include <stdexcept>

#include "orvane/base/Logger.h"
#include "orvane/hal/CameraTool.h"

namespace orvane {

std::shared_ptr<CameraTool> CameraBase::getTool(ToolType type) const
{
    const auto it = tools.find(type);
    if (it == tools.end()) {
        ORVANE_LOG_ERROR("Tool not found");
        return nullptr;
    }
    return it->second;
}

ToolInfo CameraBase::getToolInfo(ToolType type) const
{
    const auto it = tools.find(type);
    if (it == tools.end()) {
        ORVANE_LOG_ERROR("Tool not found");
        throw std::runtime_error("Tool not found");
    }
    return it->second->getToolInfo();
}

std::vector<ToolInfo> CameraBase::getAllToolsInfo() const
{
    std::vector<ToolInfo> out;
    out.reserve(tools.size());
    for (const auto& [type, tool] : tools) out.push_back(tool->getToolInfo());
    return out;
}

}  // namespace orvane
