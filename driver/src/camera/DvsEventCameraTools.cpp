// The tools of a single-sensor event camera. Kept apart from the bring-up so the tool classes'
// header is compiled in one place.
#include "DvsEventCamera.h"
#include "orvane/hal/CameraTools.h"

namespace orvane {

void DvsEventCamera::createTools()
{
    // In this order; an insertion keeps a tool already stored under its type.
    tools.emplace(TOOL_BIASES, std::make_shared<Imx636Biases>(registerController));
    tools.emplace(TOOL_TRIGGER_IN, std::make_shared<Imx636TriggerIn>(registerController));
    tools.emplace(TOOL_ANTI_FLICKER, std::make_shared<Imx636AntiFlicker>(registerController));
    tools.emplace(TOOL_EVENT_RATE_CONTROL, std::make_shared<Imx636EventRateControl>(registerController));
    tools.emplace(TOOL_EVENT_TRAIL_FILTER, std::make_shared<Imx636EventTrailFilter>(registerController));
    tools.emplace(TOOL_ROI, std::make_shared<Imx636ROI>(registerController));
    tools.emplace(TOOL_SYNC, std::make_shared<Imx636Sync>(registerController));
}

}  // namespace orvane
