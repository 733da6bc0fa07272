// The side panels built from the tools of simulated cameras opened through the camera manager:
// the sections and their kinds, changes reaching the sensor's registers, refused ROI values,
// rebuilding, the source states, and the display signals.
#include "SettingBaseWithComboBox.h"
#include "SettingBaseWithLineEdit.h"
#include "SettingBaseWithSwitchButton.h"
#include "SettingDisplayItem.h"
#include "SettingItemBox.h"
#include "SidebarApsSettingUI.h"
#include "SidebarCameraSettingUI.h"
#include "SidebarDvsSettingUI.h"
#include "OVComboBoxBase.h"
#include "OvComboBox.h"

#include "orvane/driver/DvsCameraManager.h"
#include "orvane/hal/CameraTool.h"
#include "orvane/hal/RegisterTables.h"
#include "orvane/hal/Registers.h"
#include "orvane/hal/Simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace orvane;

namespace {

// What one item of a section is: its kind and the parameter it shows.
std::string describe(QWidget* item)
{
    if (auto* e = qobject_cast<SettingBaseWithLineEdit*>(item))
        return "number:" + e->name();
    if (auto* s = qobject_cast<SettingBaseWithSwitchButton*>(item))
        return "switch:" + s->name();
    if (auto* c = qobject_cast<SettingBaseWithComboBox*>(item))
        return "list:" + c->name();
    return "other";
}

std::vector<std::string> describeBox(SettingItemBox* box)
{
    std::vector<std::string> out;
    for (int i = 0; box && i < box->itemCount(); ++i)
        out.push_back(describe(box->itemAt(i)));
    return out;
}

template <class Item>
Item* findItem(SettingItemBox* box, const std::string& name)
{
    for (int i = 0; box && i < box->itemCount(); ++i)
        if (auto* item = qobject_cast<Item*>(box->itemAt(i)); item && item->name() == name)
            return item;
    return nullptr;
}

// The value a field last received in the device's register log, if it was written at all.
std::optional<uint32_t> lastFieldWrite(const std::string& serial, const RegisterMap& map, const std::string& reg,
                                       const std::string& field)
{
    const Register& r = map[reg];
    std::optional<uint32_t> value;
    for (const sim::RegisterWrite& w : sim::registerWrites(serial))
        if (w.address == r.get_address())
            value = r[field].extract(w.value);
    return value;
}

// The sections of a panel in the order they sit in its column.
std::vector<QString> sectionTitles(SettingUI& panel)
{
    std::vector<QString> titles;
    QVBoxLayout* layout = panel.itemsLayout();
    for (int i = 0; i < layout->count(); ++i)
        if (auto* box = qobject_cast<SettingItemBox*>(layout->itemAt(i)->widget()))
            titles.push_back(box->title());
    return titles;
}

void typeValue(SettingBaseWithLineEdit* editor, const QString& text)
{
    auto* edit = editor->findChild<QLineEdit*>("le_ov_line_edit");
    edit->setText(text);
    Q_EMIT edit->editingFinished();
}

struct PanelFixture : ::testing::Test {
    static constexpr const char* kKestrel = "KE-PANELS";
    static constexpr const char* kTandem = "TD-PANELS";

    void SetUp() override
    {
        sim::unplug(kKestrel);
        sim::unplug(kTandem);
    }
    void TearDown() override
    {
        sim::unplug(kKestrel);
        sim::unplug(kTandem);
    }

    std::shared_ptr<DvsCamera> openKestrel()
    {
        if (!sim::plug(sim::Model::Kestrel, kKestrel))
            return nullptr;
        manager.getCameraDescs();
        return manager.openCamera(kKestrel);
    }

    void buildAll(SidebarDvsSettingUI& panel, DvsCamera& camera)
    {
        panel.setBiasesToolUI(camera.getTool(TOOL_BIASES));
        panel.setTriggerInToolUI(camera.getTool(TOOL_TRIGGER_IN));
        panel.setAntiFlickerToolUI(camera.getTool(TOOL_ANTI_FLICKER));
        panel.setEventRateControlToolUI(camera.getTool(TOOL_EVENT_RATE_CONTROL));
        panel.setEventTrailFilterToolUI(camera.getTool(TOOL_EVENT_TRAIL_FILTER));
        panel.setROIToolUI(camera.getTool(TOOL_ROI));
    }

    DvsCameraManager manager;
    const RegisterMap dvsMap{imx636RegisterInfo, imx636RegisterInfoCount};
    const RegisterMap apsMap{imx415RegisterInfo, imx415RegisterInfoCount};
};

}  // namespace

TEST_F(PanelFixture, DvsPanelShowsEverySectionWithItsKinds)
{
    auto camera = openKestrel();
    ASSERT_NE(camera, nullptr);
    SidebarDvsSettingUI panel;
    // Handed over out of order: the sections still line up in their fixed order.
    panel.setROIToolUI(camera->getTool(TOOL_ROI));
    buildAll(panel, *camera);

    const std::vector<QString> titles{"Display", "Biases", "Trigger In", "Anti Flicker", "Event Rate Control",
                                      "Event Trail Filter", "ROI"};
    EXPECT_EQ(sectionTitles(panel), titles);
    QVBoxLayout* layout = panel.itemsLayout();
    EXPECT_NE(layout->itemAt(layout->count() - 1)->spacerItem(), nullptr) << "a stretch closes the column";

    using V = std::vector<std::string>;
    EXPECT_EQ(describeBox(panel.sectionBox(SidebarDvsSettingUI::Biases)),
              (V{"number:bias_diff", "number:bias_diff_off", "number:bias_diff_on", "number:bias_fo", "number:bias_hpf",
                 "number:bias_refr"}));
    EXPECT_EQ(describeBox(panel.sectionBox(SidebarDvsSettingUI::TriggerIn)), (V{"switch:enable"}));
    // Switches first, then every other kind in name order (duty_cycle is a float).
    EXPECT_EQ(describeBox(panel.sectionBox(SidebarDvsSettingUI::AntiFlicker)),
              (V{"switch:enable", "number:duty_cycle", "list:filtering_mode", "number:high_frequency",
                 "number:low_frequency", "number:start_threshold", "number:stop_threshold"}));
    EXPECT_EQ(describeBox(panel.sectionBox(SidebarDvsSettingUI::EventRateControl)),
              (V{"switch:enable", "number:max_event_rate"}));
    EXPECT_EQ(describeBox(panel.sectionBox(SidebarDvsSettingUI::EventTrailFilter)),
              (V{"switch:enable", "number:threshold", "list:type"}));
    EXPECT_EQ(describeBox(panel.sectionBox(SidebarDvsSettingUI::ROI)),
              (V{"switch:enable", "number:mode", "number:x", "number:x_width", "number:y", "number:y_height"}));
    EXPECT_EQ(panel.roiEditors().size(), 5u);

    for (int s = 0; s < SidebarDvsSettingUI::SectionCount; ++s)
        EXPECT_TRUE(panel.sectionBox(static_cast<SidebarDvsSettingUI::Section>(s))->isFolded());
    EXPECT_FALSE(panel.displayBox()->isFolded());

    // Starting values are what the tool holds, with range and unit from its description.
    auto* threshold = findItem<SettingBaseWithLineEdit>(panel.sectionBox(SidebarDvsSettingUI::EventTrailFilter), "threshold");
    ASSERT_NE(threshold, nullptr);
    EXPECT_EQ(threshold->text(), "10000");
    EXPECT_EQ(threshold->minimum(), 1000);
    EXPECT_EQ(threshold->maximum(), 100000);
    EXPECT_EQ(threshold->findChild<QLabel*>("lb_unit")->text(), "(us)");
    auto* width = findItem<SettingBaseWithLineEdit>(panel.sectionBox(SidebarDvsSettingUI::ROI), "x_width");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->text(), "1280");
    auto* duty = findItem<SettingBaseWithLineEdit>(panel.sectionBox(SidebarDvsSettingUI::AntiFlicker), "duty_cycle");
    ASSERT_NE(duty, nullptr);
    EXPECT_EQ(duty->text(), "50");
    EXPECT_EQ(duty->maximum(), 100);
}

TEST_F(PanelFixture, DvsChangesReachTheSensor)
{
    auto camera = openKestrel();
    ASSERT_NE(camera, nullptr);
    SidebarDvsSettingUI panel;
    buildAll(panel, *camera);
    sim::clearRegisterWrites(kKestrel);

    // A bias: typed into its editor, then stepped with plus.
    auto* diffOn = findItem<SettingBaseWithLineEdit>(panel.sectionBox(SidebarDvsSettingUI::Biases), "bias_diff_on");
    ASSERT_NE(diffOn, nullptr);
    typeValue(diffOn, "30");
    diffOn->findChild<QPushButton*>("pb_add_item_value")->click();
    int bias = 0;
    ASSERT_TRUE(camera->getTool(TOOL_BIASES)->getParam("bias_diff_on", bias));
    EXPECT_EQ(bias, 31);
    const uint32_t biasDefault = dvsMap["bias/bias_diff_on"]["idac_ctl"].get_default_value();
    EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "bias/bias_diff_on", "idac_ctl"), biasDefault + 31);

    // A switch.
    auto* trigger = findItem<SettingBaseWithSwitchButton>(panel.sectionBox(SidebarDvsSettingUI::TriggerIn), "enable");
    ASSERT_NE(trigger, nullptr);
    trigger->switchButton()->click();
    bool on = false;
    ASSERT_TRUE(camera->getTool(TOOL_TRIGGER_IN)->getParam("enable", on));
    EXPECT_TRUE(on);
    EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "ext_trigger_ctrl", "trigger_in_en"), 1u);

    // An enumeration.
    auto* type = findItem<SettingBaseWithComboBox>(panel.sectionBox(SidebarDvsSettingUI::EventTrailFilter), "type");
    ASSERT_NE(type, nullptr);
    type->comboBox()->setCurrentIndex(type->comboBox()->findText("STC_KEEP_TRAIL"));
    std::string mode;
    ASSERT_TRUE(camera->getTool(TOOL_EVENT_TRAIL_FILTER)->getParam("type", mode));
    EXPECT_EQ(mode, "STC_KEEP_TRAIL");
    EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "stc/stc_param", "stc_enable"), 1u);
    EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "stc/trail_param", "trail_enable"), 0u);

    // A float shown in whole numbers goes back as a float.
    auto* duty = findItem<SettingBaseWithLineEdit>(panel.sectionBox(SidebarDvsSettingUI::AntiFlicker), "duty_cycle");
    ASSERT_NE(duty, nullptr);
    typeValue(duty, "25");
    float dutyValue = 0;
    ASSERT_TRUE(camera->getTool(TOOL_ANTI_FLICKER)->getParam("duty_cycle", dutyValue));
    EXPECT_FLOAT_EQ(dutyValue, 25.f);

    // A panel rebuilt later (the camera reopened) shows what the sensor now holds.
    SidebarDvsSettingUI again;
    buildAll(again, *camera);
    EXPECT_EQ(findItem<SettingBaseWithLineEdit>(again.sectionBox(SidebarDvsSettingUI::Biases), "bias_diff_on")->text(), "31");
    EXPECT_TRUE(findItem<SettingBaseWithSwitchButton>(again.sectionBox(SidebarDvsSettingUI::TriggerIn), "enable")->isChecked());
    EXPECT_EQ(findItem<SettingBaseWithComboBox>(again.sectionBox(SidebarDvsSettingUI::EventTrailFilter), "type")->currentText(),
              "STC_KEEP_TRAIL");
}

TEST_F(PanelFixture, RefusedRoiValueMarksEveryRoiEditor)
{
    auto camera = openKestrel();
    ASSERT_NE(camera, nullptr);
    SidebarDvsSettingUI panel;
    panel.setROIToolUI(camera->getTool(TOOL_ROI));
    SettingItemBox* roi = panel.sectionBox(SidebarDvsSettingUI::ROI);
    auto* x = findItem<SettingBaseWithLineEdit>(roi, "x");
    auto* w = findItem<SettingBaseWithLineEdit>(roi, "x_width");
    ASSERT_NE(x, nullptr);
    ASSERT_NE(w, nullptr);
    auto allMarked = [&](bool valid) {
        for (SettingBaseWithLineEdit* editor : panel.roiEditors()) {
            const QString sheet = editor->findChild<QLineEdit*>("le_ov_line_edit")->styleSheet();
            if (editor->isValid() != valid || !sheet.contains(valid ? "#ACACAC" : "#FF6058"))
                return false;
        }
        return true;
    };

    // A window of full width cannot move right: refused, nothing written, all five red.
    sim::clearRegisterWrites(kKestrel);
    QSignalSpy xChanged(x, &SettingBaseWithLineEdit::signalItemValueChanged);
    typeValue(x, "100");
    EXPECT_EQ(xChanged.count(), 1) << "the editor reports the value as well";
    EXPECT_TRUE(allMarked(false));
    int held = -1;
    ASSERT_TRUE(camera->getTool(TOOL_ROI)->getParam("x", held));
    EXPECT_EQ(held, 0);
    EXPECT_FALSE(lastFieldWrite(kKestrel, dvsMap, "roi_ctrl", "roi_td_en").has_value());

    // Narrowed first, the move is accepted: all grey again.
    typeValue(w, "640");
    typeValue(x, "101");
    EXPECT_TRUE(allMarked(true));
    ASSERT_TRUE(camera->getTool(TOOL_ROI)->getParam("x", held));
    EXPECT_EQ(held, 101);
    EXPECT_TRUE(lastFieldWrite(kKestrel, dvsMap, "roi_ctrl", "roi_td_shadow_trigger").has_value());
}

// Whatever order the user types the window in, and whether enable comes before or after, the
// sensor ends with the panel's window: columns 200..599 and rows 100..399.
TEST_F(PanelFixture, TheSensorsWindowEqualsThePanelsAfterAnyOrderOfEdits)
{
    const std::vector<std::vector<std::pair<const char*, const char*>>> orders = {
        {{"x", "200"}, {"x_width", "400"}, {"y", "100"}, {"y_height", "300"}},
        {{"x_width", "400"}, {"x", "200"}, {"y_height", "300"}, {"y", "100"}},
        {{"x", "900"}, {"x_width", "400"}, {"x", "200"}, {"y", "100"}, {"y_height", "300"}},
        {{"x", "200"}, {"y", "100"}, {"x_width", "1200"}, {"x_width", "400"}, {"y_height", "300"}},
    };
    for (const bool enableFirst : {false, true}) {
        for (size_t o = 0; o < orders.size(); ++o) {
            SCOPED_TRACE(testing::Message() << "order " << o << (enableFirst ? ", enabled first" : ", enabled last"));
            sim::unplug(kKestrel);
            auto camera = openKestrel();
            ASSERT_NE(camera, nullptr);
            SidebarDvsSettingUI panel;
            const auto tool = camera->getTool(TOOL_ROI);
            panel.setROIToolUI(tool);
            SettingItemBox* roi = panel.sectionBox(SidebarDvsSettingUI::ROI);
            auto* enable = findItem<SettingBaseWithSwitchButton>(roi, "enable");
            ASSERT_NE(enable, nullptr);
            if (enableFirst)
                enable->switchButton()->click();
            for (const auto& [name, text] : orders[o])
                typeValue(findItem<SettingBaseWithLineEdit>(roi, name), text);
            if (!enableFirst)
                enable->switchButton()->click();

            for (const auto& [name, expected] : {std::pair<const char*, int>{"x", 200}, {"x_width", 400}, {"y", 100},
                                                 {"y_height", 300}}) {
                int held = -1;
                ASSERT_TRUE(tool->getParam(name, held));
                EXPECT_EQ(held, expected) << name;
            }
            bool on = false;
            ASSERT_TRUE(tool->getParam("enable", on));
            EXPECT_TRUE(on);
            for (SettingBaseWithLineEdit* editor : panel.roiEditors())
                EXPECT_TRUE(editor->isValid()) << editor->name();
            // A set bit takes a column or row out: 192..199 out, 200..223 in; 96..99 out, 100..127 in.
            EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "roi/td_roi_x06", "effective"), 0xFFu);
            EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "roi/td_roi_y03", "effective"), 0xFu);
            EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "roi/td_roi_x00", "effective"), 0xFFFFFFFFu);
            EXPECT_EQ(lastFieldWrite(kKestrel, dvsMap, "roi_ctrl", "roi_td_en"), 1u);
        }
    }
}

TEST_F(PanelFixture, RebuildingKeepsOneBoxAndStatesDropTheTools)
{
    auto camera = openKestrel();
    ASSERT_NE(camera, nullptr);
    SidebarDvsSettingUI panel;
    std::weak_ptr<CameraTool> biases = camera->getTool(TOOL_BIASES);
    panel.setBiasesToolUI(biases.lock());
    panel.setBiasesToolUI(biases.lock());
    EXPECT_EQ(panel.findChildren<SettingItemBox*>().size(), 2u) << "display and one biases box";
    EXPECT_EQ(sectionTitles(panel).size(), 2u);

    // An empty tool takes the section away.
    panel.setBiasesToolUI(nullptr);
    EXPECT_EQ(panel.sectionBox(SidebarDvsSettingUI::Biases), nullptr);
    EXPECT_EQ(sectionTitles(panel).size(), 1u);

    // A recording: the sensor sections go, the display stays, and the panel holds no tool.
    buildAll(panel, *camera);
    panel.setSourceState(PanelSourceState::Camera);
    EXPECT_EQ(sectionTitles(panel).size(), 7u);
    panel.setSourceState(PanelSourceState::File);
    EXPECT_EQ(sectionTitles(panel), std::vector<QString>{"Display"});
    EXPECT_TRUE(panel.roiEditors().empty());
    camera.reset();
    manager = DvsCameraManager();
    EXPECT_TRUE(biases.expired()) << "the panel let the closed camera's tools go";

    SidebarApsSettingUI aps;
    aps.setSourceState(PanelSourceState::NoCamera);
    EXPECT_EQ(aps.apsBox(), nullptr);
    EXPECT_EQ(aps.titleLabel()->text(), "APS Setting");
}

// Sections are made inside the panel while hidden and shown only once placed: on a panel already
// on screen each one must end up shown, in its order, with its items laid out when unfolded.
TEST_F(PanelFixture, SectionsBuiltOnAShownPanelAreShownInOrder)
{
    auto camera = openKestrel();
    ASSERT_NE(camera, nullptr);
    SidebarDvsSettingUI panel;
    panel.resize(320, 900);
    panel.show();
    panel.setROIToolUI(camera->getTool(TOOL_ROI));
    panel.setAntiFlickerToolUI(camera->getTool(TOOL_ANTI_FLICKER));
    panel.setBiasesToolUI(camera->getTool(TOOL_BIASES));
    EXPECT_EQ(sectionTitles(panel), (std::vector<QString>{"Display", "Biases", "Anti Flicker", "ROI"}));
    for (auto section : {SidebarDvsSettingUI::Biases, SidebarDvsSettingUI::AntiFlicker, SidebarDvsSettingUI::ROI})
        EXPECT_TRUE(panel.sectionBox(section)->isVisible());

    SettingItemBox* biases = panel.sectionBox(SidebarDvsSettingUI::Biases);
    biases->setFolded(false);
    const auto laidOut = [&] {
        QCoreApplication::processEvents();
        for (int i = 0; i < biases->itemCount(); ++i)
            if (!biases->itemAt(i)->isVisible() || biases->itemAt(i)->height() <= 0)
                return false;
        return biases->itemCount() > 0;
    };
    QElapsedTimer waited;
    waited.start();
    while (!laidOut() && waited.elapsed() < 10000) {}
    EXPECT_TRUE(laidOut()) << "the unfolded section shows every item";
}

TEST_F(PanelFixture, ApsPanelWritesTheFrameSensor)
{
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, kTandem));
    manager.getCameraDescs();
    auto camera = manager.openFusionCamera(kTandem);
    ASSERT_NE(camera, nullptr);
    std::shared_ptr<CameraTool> tool = camera->getTool(TOOL_APS_CTRL);
    ASSERT_NE(tool, nullptr);

    SidebarApsSettingUI panel;
    panel.setApsToolUI(tool);
    panel.setApsToolUI(tool);
    EXPECT_EQ(sectionTitles(panel), std::vector<QString>{"APS"});
    SettingItemBox* box = panel.apsBox();
    using V = std::vector<std::string>;
    EXPECT_EQ(describeBox(box), (V{"switch:aps_auto_exposure_en", "switch:aps_auto_white_balance_en",
                                   "number:aps_blk_level_offset", "number:aps_shutter_sweep_time"}));
    // Switches show the sensor's state: auto exposure starts on.
    auto* autoExposure = findItem<SettingBaseWithSwitchButton>(box, "aps_auto_exposure_en");
    ASSERT_NE(autoExposure, nullptr);
    EXPECT_TRUE(autoExposure->isChecked());

    sim::clearRegisterWrites(kTandem);
    autoExposure->switchButton()->click();
    typeValue(findItem<SettingBaseWithLineEdit>(box, "aps_shutter_sweep_time"), "5000");
    bool autoOn = true;
    int shutter = 0;
    ASSERT_TRUE(tool->getParam("aps_auto_exposure_en", autoOn));
    ASSERT_TRUE(tool->getParam("aps_shutter_sweep_time", shutter));
    EXPECT_FALSE(autoOn);
    EXPECT_EQ(shutter, 5000);
    EXPECT_EQ(lastFieldWrite(kTandem, apsMap, "aps_exposure", "aps_auto_exposure_en"), 0u);
    EXPECT_EQ(lastFieldWrite(kTandem, apsMap, "aps_shutter", "aps_shutter_sweep_time"), 5000u);
}

TEST(SidePanels, DisplaySectionsRepeatTheirSignals)
{
    SidebarDvsSettingUI dvs;
    SidebarCameraSettingUI camera;
    EXPECT_EQ(dvs.titleLabel()->text(), "Setting");
    EXPECT_EQ(camera.titleLabel()->text(), "Camera Setting");
    EXPECT_GE(dvs.minimumWidth(), 300);
    auto check = [](auto& panel) {
        using Panel = std::decay_t<decltype(panel)>;
        QSignalSpy times(&panel, &Panel::signalCumulativeTimeChanged);
        QSignalSpy rates(&panel, &Panel::signalFpsChanged);
        QLineEdit* time = panel.displayItem()->accumulationTimeBox()->comboBox()->lineEdit();
        time->setText("250us");
        Q_EMIT time->editingFinished();
        QLineEdit* rate = panel.displayItem()->slowRateBox()->comboBox()->lineEdit();
        rate->setText("1000");
        Q_EMIT rate->editingFinished();
        ASSERT_EQ(times.count(), 1);
        EXPECT_EQ(times.at(0).at(0).value<uint64_t>(), 250u);
        ASSERT_EQ(rates.count(), 1);
        EXPECT_EQ(rates.at(0).at(0).value<uint32_t>(), 30000u);
    };
    check(dvs);
    check(camera);
}
