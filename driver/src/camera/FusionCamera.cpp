#include "orvane/driver/FusionCamera.h"

#include "ToolLookup.h"

namespace orvane {

FusionCamera::FusionCamera(CameraDescription description) : desc(std::move(description)) {}

std::shared_ptr<CameraTool> FusionCamera::getTool(ToolType type) const
{
    return findTool(tools, type);
}

ToolInfo FusionCamera::getToolInfo(ToolType type) const
{
    return findToolInfo(tools, type);
}

std::vector<ToolInfo> FusionCamera::getAllToolsInfo() const
{
    return allToolsInfo(tools);
}

}  // namespace orvane
