// The fusion camera's tools. Kept apart from the bring-up so the tool classes' header is
// compiled in one place per camera kind.
#include "TandemCamera.h"
#include "orvane/hal/CameraTools.h"

namespace orvane {

void TandemCamera::createTools()
{
    // The event sensor's tools but Sync (the frame sensor drives the trigger input), and the
    // frame sensor's control.
    tools.emplace(TOOL_BIASES, std::make_shared<Imx636Biases>(dvsRegisterController));
    tools.emplace(TOOL_TRIGGER_IN, std::make_shared<Imx636TriggerIn>(dvsRegisterController));
    tools.emplace(TOOL_ANTI_FLICKER, std::make_shared<Imx636AntiFlicker>(dvsRegisterController));
    tools.emplace(TOOL_EVENT_RATE_CONTROL, std::make_shared<Imx636EventRateControl>(dvsRegisterController));
    tools.emplace(TOOL_EVENT_TRAIL_FILTER, std::make_shared<Imx636EventTrailFilter>(dvsRegisterController));
    tools.emplace(TOOL_ROI, std::make_shared<Imx636ROI>(dvsRegisterController));
    tools.emplace(TOOL_APS_CTRL, std::make_shared<Imx415ApsCtrl>(apsRegisterController));
}

}  // namespace orvane
