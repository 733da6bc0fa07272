#include "orvane/driver/DvsCamera.h"

#include <stdexcept>

#include "ToolLookup.h"
#include "orvane/base/Logger.h"
#include "orvane/hal/CameraTool.h"

namespace orvane {

std::shared_ptr<CameraTool> findTool(const ToolMap& tools, ToolType type)
{
    const auto it = tools.find(type);
    if (it == tools.end()) {
        ORVANE_LOG_ERROR("Tool not found");
        return nullptr;
    }
    return it->second;
}

ToolInfo findToolInfo(const ToolMap& tools, ToolType type)
{
    const auto it = tools.find(type);
    if (it == tools.end()) {
        ORVANE_LOG_ERROR("Tool not found");
        throw std::runtime_error("Tool not found");
    }
    return it->second->getToolInfo();
}

std::vector<ToolInfo> allToolsInfo(const ToolMap& tools)
{
    std::vector<ToolInfo> out;
    out.reserve(tools.size());
    for (const auto& [type, tool] : tools) out.push_back(tool->getToolInfo());
    return out;
}

DvsCamera::DvsCamera(CameraDescription description) : desc(std::move(description)) {}

std::shared_ptr<CameraTool> DvsCamera::getTool(ToolType type) const
{
    return findTool(tools, type);
}

ToolInfo DvsCamera::getToolInfo(ToolType type) const
{
    return findToolInfo(tools, type);
}

std::vector<ToolInfo> DvsCamera::getAllToolsInfo() const
{
    return allToolsInfo(tools);
}

}  // namespace orvane
