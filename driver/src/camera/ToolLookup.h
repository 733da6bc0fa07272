// The tool lookups both camera handles offer, over their type-to-tool maps.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "orvane/hal/HalTypes.h"

namespace orvane {

class CameraTool;

using ToolMap = std::map<ToolType, std::shared_ptr<CameraTool>>;

// The tool of that type, or an empty pointer (logged) when there is none.
std::shared_ptr<CameraTool> findTool(const ToolMap& tools, ToolType type);
// Throws std::runtime_error("Tool not found") when there is none.
ToolInfo findToolInfo(const ToolMap& tools, ToolType type);
std::vector<ToolInfo> allToolsInfo(const ToolMap& tools);

}  // namespace orvane
