// The tools of the IMX636 event sensor and the IMX415 frame sensor: parameters, ranges, units and
// the registers each setting writes (register names as the sensor's map spells them, unprefixed).
#include <cmath>
#include <cstdio>

#include "orvane/hal/CameraTools.h"
#include "orvane/hal/RegisterController.h"

namespace orvane {
namespace {

constexpr int kSensorWidth = 1280, kSensorHeight = 720;

struct BiasSpec {
    const char* name;
    int min, max;
    const char* description;
};
constexpr BiasSpec kBiases[] = {
    {"bias_diff_on", -85, 140, "ON contrast threshold offset: higher gives fewer ON events."},
    {"bias_diff_off", -35, 190, "OFF contrast threshold offset: higher gives fewer OFF events."},
    {"bias_diff", -25, 25, "Reference level of both contrast thresholds (offset)."},
    {"bias_fo", -35, 55, "Pixel low-pass filter offset: higher responds faster, with more noise."},
    {"bias_hpf", 0, 120, "High-pass filter offset: higher suppresses slow changes and background activity."},
    {"bias_refr", -20, 235, "Refractory period offset: higher gives fewer events per pixel per edge."},
};

}  // namespace

// ---- Biases -------------------------------------------------------------------------------------

Imx636Biases::Imx636Biases(std::shared_ptr<RegisterController> controller) : CameraToolRegister(std::move(controller))
{
    for (const BiasSpec& b : kBiases) addInt(b.name, b.min, b.max, 0, " ", b.description);
}
Imx636Biases::~Imx636Biases() = default;

ToolInfo Imx636Biases::getToolInfo() const
{
    return {TOOL_BIASES, {"bias_fo", "bias_hpf", "bias_diff_on", "bias_diff", "bias_diff_off", "bias_refr"},
            "Biases of DVS cameras with IMX636 sensor"};
}

bool Imx636Biases::getParam(const std::string& name, int& value)
{
    // The sensor's DAC code is the truth: the offset is read back from it.
    if (!CameraToolBasePrivate::getParam(name, value)) return false;
    try {
        const Register& r = controller_->lookup("bias/" + name);
        const uint32_t code = controller_->readRegisterField("bias/" + name, "idac_ctl");
        value = static_cast<int>(code) - static_cast<int>(r["idac_ctl"].get_default_value());
    } catch (const std::exception&) {
    }
    return true;
}

bool Imx636Biases::setParam(const std::string& name, const int& value)
{
    return CameraToolBasePrivate::setParam(name, value);
}

bool Imx636Biases::apply(const std::string& name, const Value& value)
{
    try {
        const uint32_t def = controller_->lookup("bias/" + name)["idac_ctl"].get_default_value();
        return writeField("bias/" + name, "idac_ctl", static_cast<uint32_t>(static_cast<int>(def) + std::get<int>(value)));
    } catch (const std::exception&) {
        return false;
    }
}

// ---- Trigger in ---------------------------------------------------------------------------------

Imx636TriggerIn::Imx636TriggerIn(std::shared_ptr<RegisterController> controller)
    : CameraToolRegisterWithCallback(std::move(controller))
{
    addBool("enable", false, "Puts the edges of the external trigger input into the event stream.");
    onSet("enable", [this](const Value& v) { return writeField("ext_trigger_ctrl", "trigger_in_en", std::get<bool>(v)); });
}
Imx636TriggerIn::~Imx636TriggerIn() = default;

ToolInfo Imx636TriggerIn::getToolInfo() const
{
    return {TOOL_TRIGGER_IN, {"enable"}, "Trigger in of DVS cameras with IMX636 sensors"};
}

// ---- Sync ---------------------------------------------------------------------------------------

Imx636Sync::Imx636Sync(std::shared_ptr<RegisterController> controller)
    : CameraToolRegisterWithCallback(std::move(controller))
{
    addEnum("mode", {"standalone", "master", "slave"}, "standalone",
            "Time base source: own clock, own clock sent to others, or a master's clock.");
    onSet("mode", [this](const Value& v) {
        const std::string& m = std::get<std::string>(v);
        const bool external = m != "standalone", master = m == "master";
        bool ok = writeField("ro/time_base_ctrl", "time_base_mode", m == "slave");
        ok &= writeField("ro/time_base_ctrl", "external_mode", master);
        ok &= writeField("ro/time_base_ctrl", "external_mode_enable", external);
        if (external) ok &= writeField("dig_pad2_ctrl", "pad_sync", master ? 12 : 15);
        return ok;
    });
}
Imx636Sync::~Imx636Sync() = default;

ToolInfo Imx636Sync::getToolInfo() const
{
    return {TOOL_SYNC, {"mode"}, "Sync of DVS cameras with IMX636 sensors"};
}

// ---- Anti-flicker -------------------------------------------------------------------------------

Imx636AntiFlicker::Imx636AntiFlicker(std::shared_ptr<RegisterController> controller)
    : CameraToolRegisterWithCallback(std::move(controller))
{
    addBool("enable", false, "Removes the events of flickering light in the chosen band.");
    addEnum("filtering_mode", {"BAND_STOP", "BAND_PASS"}, "BAND_STOP",
            "BAND_STOP removes the band; BAND_PASS removes everything outside it.");
    addInt("low_frequency", 50, 520, 50, "Hz", "Lower edge of the flicker band, in Hz.");
    addInt("high_frequency", 50, 520, 520, "Hz", "Upper edge of the flicker band, in Hz.");
    addFloat("duty_cycle", 0.f, 100.f, 50.f, "%", "Assumed duty cycle of the flicker, in percent.");
    addInt("start_threshold", 1, 7, 6, " ", "Flicker periods seen before filtering turns on.");
    addInt("stop_threshold", 1, 7, 4, " ", "Flicker periods missed before filtering turns off.");
    onSet("enable", [this](const Value& v) {
        const bool on = std::get<bool>(v);
        return writeField("afk/pipeline_control", "enable", on) && writeField("afk/pipeline_control", "bypass", !on);
    });
    onSet("filtering_mode", [this](const Value& v) {
        return writeField("afk/param", "invert", std::get<std::string>(v) == "BAND_PASS");
    });
    onSet("low_frequency", [this](const Value&) { return writeBand(); });
    onSet("high_frequency", [this](const Value&) { return writeBand(); });
    onSet("duty_cycle", [this](const Value& v) {
        return writeField("afk/filter_period", "inverted_duty_cycle",
                          static_cast<uint32_t>(std::lround((100.0 - std::get<float>(v)) * 15.0 / 100.0)));
    });
    onSet("start_threshold", [this](const Value& v) { return writeField("afk/param", "counter_high", std::get<int>(v)); });
    onSet("stop_threshold", [this](const Value& v) { return writeField("afk/param", "counter_low", std::get<int>(v)); });
}
Imx636AntiFlicker::~Imx636AntiFlicker() = default;

bool Imx636AntiFlicker::accept(const std::string& name, const Value& value)
{
    if (name == "low_frequency") return std::get<int>(value) < std::get<int>(current("high_frequency"));
    if (name == "high_frequency") return std::get<int>(value) > std::get<int>(current("low_frequency"));
    if (name == "start_threshold") return std::get<int>(value) > std::get<int>(current("stop_threshold"));
    if (name == "stop_threshold") return std::get<int>(value) < std::get<int>(current("start_threshold"));
    return true;
}

bool Imx636AntiFlicker::writeBand()
{
    // The sensor holds the band as flicker periods in 32 us steps.
    const int low = std::get<int>(current("low_frequency")), high = std::get<int>(current("high_frequency"));
    return writeField("afk/filter_period", "max_cutoff_period", static_cast<uint32_t>(std::lround(1e6 / (32.0 * low)))) &&
           writeField("afk/filter_period", "min_cutoff_period", static_cast<uint32_t>(std::lround(1e6 / (32.0 * high))));
}

ToolInfo Imx636AntiFlicker::getToolInfo() const
{
    return {TOOL_ANTI_FLICKER, paramNames(), "Anti flicker of DVS cameras with IMX636 sensor."};
}

// ---- Event trail filter -------------------------------------------------------------------------

Imx636EventTrailFilter::Imx636EventTrailFilter(std::shared_ptr<RegisterController> controller)
    : CameraToolRegisterWithCallback(std::move(controller))
{
    addBool("enable", false, "Filters bursts of events at each pixel.");
    addInt("threshold", 1000, 100000, 10000, "us", "Time window of a burst, in microseconds.");
    addEnum("type", {"TRAIL", "STC_CUT_TRAIL", "STC_KEEP_TRAIL"}, "TRAIL",
            "TRAIL keeps the first event after a polarity change; STC drops isolated events.");
    onSet("enable", [this](const Value& v) {
        const bool on = std::get<bool>(v);
        return writeField("stc/pipeline_control", "enable", on) && writeField("stc/pipeline_control", "bypass", !on);
    });
    onSet("threshold", [this](const Value& v) {
        const auto t = static_cast<uint32_t>(std::get<int>(v));
        return writeField("stc/stc_param", "stc_threshold", t) && writeField("stc/trail_param", "trail_threshold", t);
    });
    onSet("type", [this](const Value& v) {
        const std::string& t = std::get<std::string>(v);
        return writeField("stc/stc_param", "stc_enable", t != "TRAIL") &&
               writeField("stc/trail_param", "trail_enable", t != "STC_KEEP_TRAIL");
    });
    // The sensor's reset state has both stages off; TRAIL is the default type.
    writeField("stc/trail_param", "trail_enable", 1);
}
Imx636EventTrailFilter::~Imx636EventTrailFilter() = default;

ToolInfo Imx636EventTrailFilter::getToolInfo() const
{
    return {TOOL_EVENT_TRAIL_FILTER, {"enable", "threshold", "type"}, "Event Trail Filter of DVS cameras with IMX636 sensor"};
}

// ---- Event rate control -------------------------------------------------------------------------

Imx636EventRateControl::Imx636EventRateControl(std::shared_ptr<RegisterController> controller)
    : CameraToolRegisterWithCallback(std::move(controller))
{
    addBool("enable", false, "Limits the event rate by dropping events evenly.");
    addInt("max_event_rate", 10, 1066000, 20000, "kev/s", "Highest event rate let through, in thousands of events per second.");
    onSet("enable", [this](const Value& v) {
        const bool on = std::get<bool>(v);
        return writeField("erc/reference_period", "erc_reference_period", 200) &&
               writeField("erc/in_drop_rate_control", "cfg_event_delay_fifo_en", on) &&
               writeField("erc/erc_enable", "erc_en", on);
    });
    onSet("max_event_rate", [this](const Value& v) {
        // Events per 200 us reference period.
        return writeField("erc/td_target_event_rate", "target_event_rate", static_cast<uint32_t>(std::get<int>(v)) / 5);
    });
}
Imx636EventRateControl::~Imx636EventRateControl() = default;

ToolInfo Imx636EventRateControl::getToolInfo() const
{
    return {TOOL_EVENT_RATE_CONTROL, {"enable", "max_event_rate"}, "ERC of DVS cameras with IMX636 sensor"};
}

// ---- ROI ----------------------------------------------------------------------------------------

Imx636ROI::Imx636ROI(std::shared_ptr<RegisterController> controller) : CameraToolRegisterWithCallback(std::move(controller))
{
    addBool("enable", false, "Only the window (ROI) or all but the window (RONI) produces events.");
    addInt("mode", 0, 1, 0, " ", "0: events inside the window (ROI); 1: events outside it (RONI).");
    addInt("x", 0, kSensorWidth - 1, 0, "px", "Left column of the window, in pixels.");
    addInt("y", 0, kSensorHeight - 1, 0, "px", "Top row of the window, in pixels.");
    addInt("x_width", 1, kSensorWidth, kSensorWidth, "px", "Width of the window, in pixels.");
    addInt("y_height", 1, kSensorHeight, kSensorHeight, "px", "Height of the window, in pixels.");
    for (const char* n : {"enable", "mode", "x", "y", "x_width", "y_height"})
        onSet(n, [this](const Value&) { return writeWindow(); });
}
Imx636ROI::~Imx636ROI() = default;

bool Imx636ROI::accept(const std::string& name, const Value& value)
{
    auto get = [&](const char* n) { return name == n ? std::get<int>(value) : std::get<int>(current(n)); };
    if (name == "x" || name == "x_width") return get("x") + get("x_width") <= kSensorWidth;
    if (name == "y" || name == "y_height") return get("y") + get("y_height") <= kSensorHeight;
    return true;
}

bool Imx636ROI::writeWindow()
{
    const int x = std::get<int>(current("x")), w = std::get<int>(current("x_width"));
    const int y = std::get<int>(current("y")), h = std::get<int>(current("y_height"));
    // A set bit takes its column or row out (the "disable" alias is all ones).
    auto mask = [](int first, int count, int word, int bits) {
        uint32_t m = 0;
        for (int b = 0; b < bits; ++b) {
            const int line = word * 32 + b;
            if (line < first || line >= first + count) m |= 1u << b;
        }
        return m;
    };
    bool ok = true;
    char name[32];
    for (int n = 0; n < 40; ++n) {
        std::snprintf(name, sizeof name, "roi/td_roi_x%02d", n);
        ok &= writeField(name, "effective", mask(x, w, n, 32));
    }
    for (int n = 0; n < 23; ++n) {
        std::snprintf(name, sizeof name, "roi/td_roi_y%02d", n);
        ok &= writeField(name, "effective", mask(y, h, n, n == 22 ? 16 : 32));
    }
    ok &= writeField("roi_ctrl", "td_roi_roni_n_en", std::get<int>(current("mode")) == 0);
    ok &= writeField("roi_ctrl", "roi_td_en", std::get<bool>(current("enable")));
    ok &= writeField("roi_ctrl", "roi_td_shadow_trigger", 1);
    return ok;
}

ToolInfo Imx636ROI::getToolInfo() const
{
    return {TOOL_ROI, {"enable", "mode", "x", "y", "x_width", "y_height"}, "ROI of DVS cameras with IMX636 sensor"};
}

// ---- APS ----------------------------------------------------------------------------------------

Imx415ApsCtrl::Imx415ApsCtrl(std::shared_ptr<RegisterController> controller)
    : CameraToolRegisterWithCallback(std::move(controller))
{
    addBool("aps_auto_exposure_en", true, "Frames adapt their brightness automatically.");
    addInt("aps_shutter_sweep_time", 0, 1048575, 102, "lines", "Exposure without auto exposure, in sensor lines.");
    addBool("aps_auto_white_balance_en", true, "Frames keep neutral colours automatically.");
    addInt("aps_blk_level_offset", 0, 1023, 50, "LSB", "Black level of the frames, in 10-bit steps.");
    onSet("aps_auto_exposure_en", [this](const Value& v) { return writeField("aps_exposure", "aps_auto_exposure_en", std::get<bool>(v)); });
    onSet("aps_shutter_sweep_time", [this](const Value& v) { return writeField("aps_shutter", "aps_shutter_sweep_time", std::get<int>(v)); });
    onSet("aps_auto_white_balance_en", [this](const Value& v) { return writeField("aps_white_balance", "aps_auto_white_balance_en", std::get<bool>(v)); });
    onSet("aps_blk_level_offset", [this](const Value& v) { return writeField("aps_blk_level", "aps_blk_level_offset", std::get<int>(v)); });
}
Imx415ApsCtrl::~Imx415ApsCtrl() = default;

ToolInfo Imx415ApsCtrl::getToolInfo() const
{
    return {TOOL_APS_CTRL, paramNames(), "Ctrl of APS cameras with IMX415 sonsors"};
}

}  // namespace orvane
