// The HAL's device side against the simulated cameras: discovery, control frames, registers and
// sequences, streams and their drops, and the tools' effect on what the sensor produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

#include "orvane/base/Endian.h"
#include "orvane/hal/CameraTools.h"
#include "orvane/hal/Decoder.h"
#include "orvane/hal/EventStream.h"
#include "orvane/hal/RegisterController.h"
#include "orvane/hal/RegisterTables.h"
#include "orvane/hal/Simulator.h"

namespace orvane {
namespace {

using Op = RegisterOperation;
const std::vector<Op> kStop = {{3, 0x0004, 0xF0005042, 0x400, 0}, {2, 0x002C, 0x0022C324, 0, 0},
                               {2, 0x9028, 0x2, 0, 0},            {4, 0, 0, 0, 1000},
                               {3, 0x9008, 0x644, 0x1, 0},        {2, 0xB000, 0x2F8, 0, 0},
                               {4, 0, 0, 0, 300}};
const std::vector<Op> kStart = {{2, 0xB000, 0x2F9, 0, 0}, {2, 0x9028, 0, 0, 0}, {3, 0x9008, 0x645, 0x1, 0},
                                {2, 0x002C, 0x0022C724, 0, 0}, {3, 0x0004, 0xF0005442, 0x400, 0}};

struct BusSetup : ::testing::Environment {
    void SetUp() override { setenv("ORVANE_SIM_CAMERAS", "none", 1); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new BusSetup);

CameraDescription describe(const std::string& serial)
{
    for (auto [v, p] : {std::pair<uint16_t, uint16_t>{0x04B4, 0x00F5}, {0x04B5, 0x0001}})
        for (const auto& d : UsbInterface::findUsbDvsCamera(v, p))
            if (d.serial == serial) return d;
    for (const auto& d : UsbInterface::findUsbFusionCamera(0x2207, 0x0006))
        if (d.serial == serial) return d;
    return {};
}

// A camera as the driver builds one: interface, controller, event stream.
struct Rig {
    std::string serial;
    bool fusion;
    std::shared_ptr<UsbInterface> usb;
    std::shared_ptr<RegisterController> regs;
    std::unique_ptr<EventStream> stream;

    Rig(sim::Model model, std::string s, sim::DeviceOptions o = {}) : serial(std::move(s)), fusion(model == sim::Model::Tandem)
    {
        EXPECT_TRUE(sim::plug(model, serial, o));
        const auto d = describe(serial);
        usb = fusion ? UsbInterface::createUsbFusionInterface(d) : UsbInterface::createUsbInterface(d);
        EXPECT_TRUE(usb);
        regs = std::make_shared<RegisterController>(usb, imx636RegisterInfo, imx636RegisterInfoCount, kImx636RegisterPrefix);
        stream = std::make_unique<EventStream>(createDataTransferUniquePtr(usb, 2, 0x20000, USB_ENDPOINT_EVENTS));
        regs->ApplyRegisterOperationSequence(kStop);
    }
    ~Rig()
    {
        stream.reset();
        sim::unplug(serial);
    }
    void start()
    {
        stream->start();
        regs->ApplyRegisterOperationSequence(kStart);
    }
    void stop()
    {
        stream->stop();
        regs->ApplyRegisterOperationSequence(kStop);
    }
    struct Capture {
        std::vector<Event2D> events;
        std::vector<EventTriggerIn> triggers;
        size_t buffers = 0;
    };
    // Decodes what arrives for `ms` of wall time.
    Capture collect(int ms)
    {
        Capture c;
        auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
        decoder->setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) { c.events.insert(c.events.end(), b, e); });
        decoder->setTriggerInCallback([&](EventTriggerIn t) { c.triggers.push_back(t); });
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) decodeNext(*decoder, c);
        return c;
    }
    // Waits for the stream's next buffer and decodes it, if one came.
    void decodeNext(Decoder& decoder, Capture& c)
    {
        if (stream->waitNextBuffer() < 1) return;
        auto b = stream->getLatestBuffer();
        if (!b || !*b) return;
        if (fusion) convertEndian(**b);
        decoder.decodeBuffer(**b);
        ++c.buffers;
    }
    // Decodes until `spanUs` of the stream's own time holds data: measures a fixed amount of stream
    // whatever the machine's speed (a stretch the simulator skipped after falling behind counts
    // only up to 1 ms). Gives up after a minute of wall time.
    Capture collectStream(uint64_t spanUs)
    {
        Capture c;
        auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
        uint64_t covered = 0, last = 0;
        bool started = false;
        decoder->setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) {
            for (const Event2D* p = b; p != e && covered < spanUs; ++p) {
                if (started && p->timestamp > last) covered += std::min<uint64_t>(p->timestamp - last, 1000);
                started = true;
                last = std::max(last, p->timestamp);
                c.events.push_back(*p);
            }
        });
        decoder->setTriggerInCallback([&](EventTriggerIn t) {
            if (covered < spanUs) c.triggers.push_back(t);
        });
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (covered < spanUs && std::chrono::steady_clock::now() < giveUp) decodeNext(*decoder, c);
        return c;
    }
};

// A tool's effect shows in the stream once the data made before the change has gone by: measure
// stretches of stream until one shows it, up to a generous number of tries.
bool eventually(const std::function<bool()>& shows)
{
    for (int i = 0; i < 40; ++i) {
        if (shows()) return true;
    }
    return false;
}

size_t count(const std::vector<Event2D>& ev, bool (*pred)(const Event2D&))
{
    return static_cast<size_t>(std::count_if(ev.begin(), ev.end(), pred));
}

TEST(RegisterTable, CountsGroupsAndNamedEntries)
{
    int regs = 0, fields = 0, aliases = 0;
    for (uint32_t i = 0; i < imx636RegisterInfoCount; ++i) {
        regs += imx636RegisterInfo[i].kind == 0, fields += imx636RegisterInfo[i].kind == 1, aliases += imx636RegisterInfo[i].kind == 2;
    }
    EXPECT_EQ(imx636RegisterInfoCount, 2879u);
    EXPECT_EQ(regs, 742);
    EXPECT_EQ(fields, 2011);
    EXPECT_EQ(aliases, 126);
    const RegisterMap map(imx636RegisterInfo, imx636RegisterInfoCount, "PSEE/IMX636/");
    struct Group { const char* prefix; uint32_t lo, hi; int n; };
    for (const Group g : {Group{"bias/", 0x1004, 0x1100, 7}, {"roi/", 0x2000, 0x4058, 63}, {"erc/", 0x6000, 0x6B94, 511},
                          {"edf/", 0x7000, 0x7004, 2}, {"eoi/", 0x8000, 0x8000, 1}, {"ro/", 0x9000, 0x9244, 100},
                          {"mipi_csi/", 0xB000, 0xB030, 6}, {"afk/", 0xC000, 0xC0E8, 11}, {"stc/", 0xD000, 0xD0EC, 13},
                          {"slvs/", 0xE000, 0xE150, 6}}) {
        int n = 0;
        uint32_t lo = ~0u, hi = 0;
        for (const auto& [name, r] : map.registers())
            if (name.rfind(std::string("PSEE/IMX636/") + g.prefix, 0) == 0) ++n, lo = std::min(lo, r.get_address()), hi = std::max(hi, r.get_address());
        EXPECT_EQ(n, g.n) << g.prefix;
        EXPECT_EQ(lo, g.lo) << g.prefix;
        EXPECT_EQ(hi, g.hi) << g.prefix;
    }
    struct F { const char* reg; uint32_t addr; const char* field; int start, len; uint32_t def; };
    for (const F f : {F{"roi_ctrl", 0x0004, "td_roi_roni_n_en", 6, 1, 1}, {"roi_ctrl", 0x0004, "Reserved_17_11", 11, 7, 10},
                      {"lifo_ctrl", 0x000C, "Reserved_31_3", 3, 29, 0}, {"Reserved_0014", 0x0014, "Reserved_31_0", 0, 32, 0xA0401806},
                      {"dig_pad2_ctrl", 0x0044, "pad_sync", 16, 4, 15}, {"adc_control", 0x004C, "Reserved_31_3", 3, 29, 3784},
                      {"adc_misc_ctrl", 0x0054, "Reserved_9_2", 2, 8, 132}, {"temp_ctrl", 0x005C, "Reserved_31_2", 2, 30, 32},
                      {"iph_mirr_ctrl", 0x0074, "iph_mirr_amp_en", 1, 1, 1}, {"ro/time_base_ctrl", 0x9008, "Reserved_10_4", 4, 7, 100},
                      {"mipi_csi/mipi_control", 0xB000, "mipi_csi_enable", 0, 1, 0}, {"roi/td_roi_x39", 0x209C, "effective", 0, 32, 0},
                      {"roi/td_roi_y22", 0x4058, "effective", 0, 16, 0}, {"erc/h_drop_lut_07", 0x609C, "hlut31", 24, 5, 0},
                      {"erc/t_drop_lut_00", 0x6400, "tlut001", 16, 9, 0}}) {
        const Register& r = map[std::string("PSEE/IMX636/") + f.reg];
        EXPECT_EQ(r.get_address(), f.addr) << f.reg;
        EXPECT_EQ(r[f.field].get_start(), f.start) << f.reg << "." << f.field;
        EXPECT_EQ(r[f.field].get_len(), f.len) << f.reg << "." << f.field;
        EXPECT_EQ(r[f.field].get_default_value(), f.def) << f.reg << "." << f.field;
    }
    EXPECT_EQ(map["PSEE/IMX636/roi/td_roi_y22"]["effective"].get_alias_value("disable"), 0xFFFFu);
    EXPECT_EQ(map["PSEE/IMX636/roi/td_roi_x00"]["effective"].get_alias_value("disable"), 0xFFFFFFFFu);
    try {
        (void)map["nope"];
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "RegisterController: Register not found");
    }
    try {
        (void)map["PSEE/IMX636/roi_ctrl"]["nope"];
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Register: Field not found");
    }
    const RegisterMap aps(imx415RegisterInfo, imx415RegisterInfoCount, " ");
    EXPECT_EQ(aps.size(), 5u);
    EXPECT_EQ(aps[" aps_shutter"]["aps_shutter_sweep_time"].get_len(), 20);
    EXPECT_EQ(aps[" aps_blk_level"].get_address(), 0x5004u);
}

TEST(Bus, DiscoveryPlugUnplugAndControlFrames)
{
    ASSERT_TRUE(sim::plug(sim::Model::Evk4, "EV-A"));
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, "TD-A"));
    EXPECT_FALSE(sim::plug(sim::Model::Kestrel, "EV-A"));
    EXPECT_EQ(UsbInterface::findUsbDvsCamera(0x04B4, 0x00F5).size(), 1u);
    EXPECT_TRUE(UsbInterface::findUsbDvsCamera(0x2207, 0x0006).empty());
    ASSERT_EQ(UsbInterface::findUsbFusionCamera(0x2207, 0x0006).size(), 1u);
    const auto desc = describe("EV-A");
    EXPECT_EQ(desc.product, "EVK4");
    EXPECT_FALSE(UsbInterface::createUsbFusionInterface(desc));  // an event camera is not a fusion camera
    auto usb = UsbInterface::createUsbInterface(desc);
    ASSERT_TRUE(usb);
    uint64_t slot = 0;
    usb->bindCameraSlot(&slot);
    EXPECT_NE(slot, 0u);
    EXPECT_EQ(usb->readRegister(0x0014), 0xA0401806u);
    EXPECT_EQ(usb->readRegister(0xF128) & 3u, 0u);
    usb->writeRegister(0x1234, 77);
    EXPECT_EQ(usb->readRegister(0x1234), 77u);
    CtrlFrame reset(CTRL_EVENT_PIPE_RESET);
    reset.push_back32(0);
    reset.push_back32(1);
    EXPECT_NO_THROW(usb->transferFrame(reset));
    CtrlFrame bogus(0x12345678);
    EXPECT_THROW(usb->transferFrame(bogus), std::runtime_error);

    EXPECT_TRUE(sim::unplug("EV-A"));
    EXPECT_FALSE(usb->connected());
    EXPECT_TRUE(UsbInterface::findUsbDvsCamera(0x04B4, 0x00F5).empty());
    EXPECT_EQ(usb->readRegister(0x0014), 0u);
    EXPECT_THROW(usb->transferFrame(reset), std::runtime_error);
    EXPECT_FALSE(UsbInterface::createUsbInterface(desc));
    sim::unplug("TD-A");
}

// A camera that replays a recording streams its words; one given a file it cannot replay would
// stream nothing (or garbage), so it is not plugged, and the log says why.
TEST(Bus, ReplayFilesThatCannotBeReplayedKeepTheCameraOff)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orvane_replay_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    };
    const std::string evt2 = write("evt2.raw", std::string("% evt 2.0\r\n% format EVT2;height=480;width=640\n% end\n") +
                                                   std::string(64, '\x11'));
    const std::string headerOnly = write("header.raw", "% evt 3.0\n% end\n");
    const std::string noTime = write("notime.raw", std::string(4096, '\x01'));
    for (const std::string& path : {(dir / "missing.raw").string(), evt2, headerOnly, noTime}) {
        sim::DeviceOptions o;
        o.replayPath = path;
        EXPECT_FALSE(sim::plug(sim::Model::Kestrel, "KE-REPLAY", o)) << path;
        EXPECT_TRUE(describe("KE-REPLAY").serial.empty()) << path;
    }

    sim::DeviceOptions o;
    o.replayPath = std::string(ORVANE_SHARED_DATA_DIR) + "/eccodecs_evt3_trigger.raw";
    if (!std::filesystem::exists(o.replayPath)) GTEST_SKIP() << "reference recording not found";
    Rig rig(sim::Model::Kestrel, "KE-REPLAY", o);
    rig.start();
    Rig::Capture c;
    for (int i = 0; i < 100 && c.events.empty(); ++i) c = rig.collect(100);
    EXPECT_FALSE(c.events.empty()) << "the recording streams as the sensor's events";
    rig.stop();
    sim::unplug("KE-REPLAY");
    std::filesystem::remove_all(dir);
}

TEST(Controller, SequencesInOrderMaskedWritesKeepBitsBareNamesResolve)
{
    Rig rig(sim::Model::Kestrel, "KE-SEQ");
    sim::clearRegisterWrites("KE-SEQ");
    rig.regs->ApplyRegisterOperationSequence(kStart);
    const auto w = sim::registerWrites("KE-SEQ");
    ASSERT_EQ(w.size(), 5u);
    const uint32_t order[] = {0xB000, 0x9028, 0x9008, 0x002C, 0x0004};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(w[i].address, order[i]);
    // The masked write set bit 10 of roi_ctrl and kept the rest as the stop sequence left it.
    EXPECT_EQ(sim::peekRegister("KE-SEQ", 0x0004), rig.regs->lookup("roi_ctrl").get_default_value() | 0x400u);
    EXPECT_TRUE(sim::readoutActive("KE-SEQ"));
    rig.regs->writeRegisterField("lifo_ctrl", "lifo_cnt_en", 1);
    rig.regs->writeRegisterField("PSEE/IMX636/lifo_ctrl", "lifo_en", 1);
    EXPECT_EQ(sim::peekRegister("KE-SEQ", 0x000C), 5u);
    EXPECT_EQ(rig.regs->readRegisterField("ro/time_base_ctrl", "Reserved_10_4"), 100u);
    EXPECT_THROW(rig.regs->writeRegisterField("nope", "x", 1), std::runtime_error);
    rig.regs->ApplyRegisterOperationSequence(kStop);
    EXPECT_FALSE(sim::readoutActive("KE-SEQ"));
}

TEST(Stream, StreamsOnlyBetweenStartAndStopWithPlausibleEvents)
{
    sim::DeviceOptions o;
    o.eventRate = 2e6;
    Rig rig(sim::Model::Kestrel, "KE-STR", o);
    rig.stream->start();  // transfers running but the readout not started: nothing comes
    EXPECT_EQ(rig.collect(150).buffers, 0u);
    rig.regs->ApplyRegisterOperationSequence(kStart);
    rig.collect(100);
    const auto c = rig.collect(1000);
    ASSERT_FALSE(c.events.empty());
    EXPECT_GT(c.events.size(), 1'000'000u);  // about 2 M in a second; generous bounds
    EXPECT_LT(c.events.size(), 3'000'000u);
    EXPECT_TRUE(std::is_sorted(c.events.begin(), c.events.end(),
                               [](const Event2D& a, const Event2D& b) { return a.timestamp < b.timestamp; }));
    const uint64_t span = c.events.back().timestamp - c.events.front().timestamp;
    EXPECT_GT(span, 700'000u);
    EXPECT_LT(span, 1'300'000u);
    EXPECT_GT(count(c.events, [](const Event2D& e) { return e.polarity != 0; }), c.events.size() / 4);
    EXPECT_GT(count(c.events, [](const Event2D& e) { return e.polarity == 0; }), c.events.size() / 4);
    rig.stop();
    EXPECT_EQ(rig.collect(200).buffers, 0u);
    EXPECT_EQ(rig.stream->droppedBuffers(), 0u);
}

TEST(Stream, UnplugEndsWaitsAndOverflowIsCounted)
{
    sim::DeviceOptions o;
    o.eventRate = 20e6;
    o.eventFifoBuffers = 1;
    Rig rig(sim::Model::Kestrel, "KE-OVF", o);
    rig.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the host takes nothing
    EXPECT_GT(rig.stream->droppedBuffers(), 0u);
    EXPECT_GT(rig.stream->droppedBytes(), 0u);
    sim::unplug("KE-OVF");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_LT(rig.stream->waitNextBuffer(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_FALSE(rig.stream->getLatestBuffer());
}

TEST(Tools, ParamsRangesKindsAndInfo)
{
    Rig rig(sim::Model::Kestrel, "KE-TOOL");
    Imx636ROI roi(rig.regs);
    EXPECT_EQ(roi.getToolInfo().params, (std::vector<std::string>{"enable", "mode", "x", "y", "x_width", "y_height"}));
    EXPECT_FALSE(roi.setParam("x", 10));   // would push the full-width window past the sensor
    EXPECT_TRUE(roi.setParam("x_width", 100));
    EXPECT_TRUE(roi.setParam("x", 10));
    EXPECT_FALSE(roi.setParam("x", true));  // wrong kind
    EXPECT_FALSE(roi.setParam("nope", 1));
    int v = 0;
    EXPECT_TRUE(roi.getParam("x", v));
    EXPECT_EQ(v, 10);
    IntParameterInfo ii;
    EXPECT_TRUE(roi.getParamInfo("y_height", ii));
    EXPECT_EQ(ii.max, 720);
    BoolParameterInfo bi;
    EXPECT_FALSE(roi.getParamInfo("x", bi));

    Imx636Biases biases(rig.regs);
    EXPECT_TRUE(biases.setParam("bias_diff_on", 40));
    EXPECT_EQ(rig.regs->readRegisterField("bias/bias_diff_on", "idac_ctl"), 142u);
    EXPECT_TRUE(biases.getParam("bias_diff_on", v));
    EXPECT_EQ(v, 40);
    EXPECT_FALSE(biases.setParam("bias_diff", 26));
    EXPECT_EQ(biases.getAllParamInfo().size(), 6u);

    Imx636AntiFlicker afk(rig.regs);
    EXPECT_EQ(afk.getToolInfo().params.size(), 7u);
    EXPECT_FALSE(afk.setParam("low_frequency", 520));  // not below the upper edge
    EXPECT_TRUE(afk.setParam("duty_cycle", 30.0));
    float f = 0;
    EXPECT_TRUE(afk.getParam("duty_cycle", f));
    EXPECT_FLOAT_EQ(f, 30.f);
    EXPECT_FALSE(afk.setParam("filtering_mode", "NOTCH"));
    EXPECT_TRUE(afk.setParam("filtering_mode", "BAND_PASS"));
    std::string s;
    EXPECT_TRUE(afk.getParam("filtering_mode", s));
    EXPECT_EQ(s, "BAND_PASS");
    EnumParameterInfo ei;
    EXPECT_TRUE(afk.getParamInfo("filtering_mode", ei));
    EXPECT_EQ(ei.options.size(), 2u);

    Imx636Sync sync(rig.regs);
    EXPECT_TRUE(sync.setParam("mode", "master"));
    EXPECT_EQ(rig.regs->readRegisterField("dig_pad2_ctrl", "pad_sync"), 12u);
    auto apsRegs = std::make_shared<RegisterController>(rig.usb, imx415RegisterInfo, imx415RegisterInfoCount, " ");
    Imx415ApsCtrl aps(apsRegs);
    EXPECT_EQ(aps.getToolInfo().params.front(), "aps_auto_exposure_en");
    EXPECT_EQ(aps.getToolInfo().description, "Ctrl of APS cameras with IMX415 sonsors");
    EXPECT_TRUE(aps.setParam("aps_shutter_sweep_time", 500));
    EXPECT_EQ(apsRegs->readRegisterField("aps_shutter", "aps_shutter_sweep_time"), 500u);
}

TEST(Tools, EffectsOnTheStream)
{
    sim::DeviceOptions o;
    o.eventRate = 4e6;
    Rig rig(sim::Model::Tandem, "TD-FX", o);
    rig.start();
    Imx636ROI roi(rig.regs);
    ASSERT_TRUE(roi.setParam("x_width", 200) && roi.setParam("y_height", 100) && roi.setParam("x", 300) &&
                roi.setParam("y", 200) && roi.setParam("enable", true));
    auto inside = [](const Event2D& e) { return e.x >= 300 && e.x < 500 && e.y >= 200 && e.y < 300; };
    EXPECT_TRUE(eventually([&] {
        const auto c = rig.collectStream(100000);
        return !c.events.empty() && std::all_of(c.events.begin(), c.events.end(), inside);
    }));
    ASSERT_TRUE(roi.setParam("mode", 1));
    EXPECT_TRUE(eventually([&] {
        const auto c = rig.collectStream(100000);
        return !c.events.empty() && std::none_of(c.events.begin(), c.events.end(), inside);
    }));
    ASSERT_TRUE(roi.setParam("enable", false));

    // The flicker light's pixels go quiet with anti-flicker on.
    auto inLight = [](const Event2D& e) { return e.x >= 1000 && e.x < 1120 && e.y >= 90 && e.y < 170; };
    auto lightEvents = [&] {
        const auto c = rig.collectStream(300000);
        return static_cast<size_t>(std::count_if(c.events.begin(), c.events.end(), inLight));
    };
    size_t before = 0;
    EXPECT_TRUE(eventually([&] { return (before = lightEvents()) > 10000u; }));
    Imx636AntiFlicker afk(rig.regs);
    ASSERT_TRUE(afk.setParam("enable", true));
    EXPECT_TRUE(eventually([&] { return lightEvents() < before / 20; }));
    ASSERT_TRUE(afk.setParam("enable", false));

    // Rate control keeps the rate under its limit (500 k events/s: per half second of stream).
    Imx636EventRateControl erc(rig.regs);
    ASSERT_TRUE(erc.setParam("max_event_rate", 500) && erc.setParam("enable", true));
    EXPECT_TRUE(eventually([&] {
        const size_t n = rig.collectStream(500000).events.size();
        return n < 500'000u * 6 / 10 && n > 500'000u * 3 / 10;
    }));
    ASSERT_TRUE(erc.setParam("enable", false));

    // Trigger edges only when enabled: a rising and a falling edge per frame period (15 rising edges
    // per half second of stream at 30 frames per second).
    EXPECT_TRUE(rig.collectStream(200000).triggers.empty());
    Imx636TriggerIn trig(rig.regs);
    ASSERT_TRUE(trig.setParam("enable", true));
    EXPECT_TRUE(eventually([&] {
        const auto c = rig.collectStream(500000);
        const auto rising =
            std::count_if(c.triggers.begin(), c.triggers.end(), [](EventTriggerIn t) { return t.polarity != 0; });
        const auto falling = static_cast<long>(c.triggers.size()) - rising;
        return rising >= 10 && rising <= 20 && std::abs(falling - rising) <= 2;
    }));
}

TEST(Tools, TrailFilterRemovesIsolatedNoise)
{
    sim::DeviceOptions o;
    o.eventRate = 6e6;  // several events per edge crossing, so edges come as bursts
    Rig rig(sim::Model::Kestrel, "KE-STC", o);
    rig.start();
    rig.collectStream(100000);
    const size_t before = rig.collectStream(300000).events.size();
    ASSERT_GT(before, 0u);
    Imx636EventTrailFilter stc(rig.regs);
    ASSERT_TRUE(stc.setParam("type", "STC_CUT_TRAIL") && stc.setParam("enable", true));
    EXPECT_TRUE(eventually([&] {
        const size_t after = rig.collectStream(300000).events.size();
        return after < before * 7 / 10 && after > 0;
    }));
}

TEST(Frames, TandemDeliversNv12FramesWhileTheFrameSensorRuns)
{
    Rig rig(sim::Model::Tandem, "TD-FR");
    EventStream frames(createDataTransferUniquePtr(rig.usb, 2, 3840 * 2160 * 3 / 2, USB_ENDPOINT_FRAMES));
    auto apsRegs = std::make_shared<RegisterController>(rig.usb, imx415RegisterInfo, imx415RegisterInfoCount, " ");
    frames.start();
    apsRegs->writeRegisterWithControlTransfer("aps_ctrl", 1);
    int got = 0;
    for (int i = 0; i < 40 && got < 3; ++i) {
        if (frames.waitNextBuffer() < 1) continue;
        auto b = frames.getLatestBuffer();
        ASSERT_TRUE(b && *b);
        EXPECT_EQ((*b)->size(), 3840u * 2160 * 3 / 2);
        ++got;
    }
    EXPECT_EQ(got, 3);
    EXPECT_FALSE(createDataTransferUniquePtr(UsbInterface::createUsbInterface(describe("none")), 2, 16, USB_ENDPOINT_FRAMES));
}

}  // namespace
}  // namespace orvane
