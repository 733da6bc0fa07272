// What every camera handle holds whatever its kind: the description it was found under and its
// tools (filled by the camera's init), with the lookups over them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "orvane/driver/Types.h"

namespace orvane {

class CameraTool;

class CameraBase {
public:
    // Returned by the add-callback operations when they refuse an empty function.
    static constexpr uint32_t kInvalidCallbackId = UINT32_MAX;

    explicit CameraBase(CameraDescription description) : desc(std::move(description)) {}

    CameraDescription getDvsDesc() const { return desc; }
    // The tool of that type, or an empty pointer (logged) when the camera has none.
    std::shared_ptr<CameraTool> getTool(ToolType type) const;
    // Throws std::runtime_error("Tool not found") when the camera has no such tool.
    ToolInfo getToolInfo(ToolType type) const;
    // One entry per tool, in ascending type order; empty before init.
    std::vector<ToolInfo> getAllToolsInfo() const;

protected:
    CameraDescription desc;
    std::map<ToolType, std::shared_ptr<CameraTool>> tools;
};

}  // namespace orvane
