// The setting items of the side panels: number editor bounds and text, switch, drop-down,
// folding sections, and the display settings' parsing and colours.
#include "OVComboBoxBase.h"
#include "OvComboBox.h"
#include "OvLineEditBase.h"
#include "SettingBaseWithComboBox.h"
#include "SettingBaseWithLineEdit.h"
#include "SettingBaseWithSwitchButton.h"
#include "SettingDisplayItem.h"
#include "SettingItemBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QElapsedTimer>
#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

QLineEdit* editorOf(SettingBaseWithLineEdit& item)
{
    return item.findChild<QLineEdit*>("le_ov_line_edit");
}

QPushButton* buttonOf(QWidget& item, const char* name)
{
    return item.findChild<QPushButton*>(name);
}

int countOf(const QString& haystack, const QString& needle)
{
    return haystack.count(needle);
}

}  // namespace

TEST(SettingLineEdit, PlusAndMinusStopAtTheBounds)
{
    SettingBaseWithLineEdit item("bias_fo");
    item.setRange(0, 10);
    item.setValue(10);
    QSignalSpy changed(&item, &SettingBaseWithLineEdit::signalItemValueChanged);

    buttonOf(item, "pb_add_item_value")->click();
    EXPECT_EQ(changed.count(), 0) << "plus at the maximum";
    EXPECT_EQ(item.text(), "10");

    buttonOf(item, "pb_sub_item_value")->click();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<std::string>(), "bias_fo");
    EXPECT_EQ(changed.at(0).at(1).toInt(), 9);
    EXPECT_EQ(item.text(), "9");

    item.setValue(0);
    changed.clear();
    buttonOf(item, "pb_sub_item_value")->click();
    EXPECT_EQ(changed.count(), 0) << "minus at the minimum";
    EXPECT_EQ(item.value(), 0);

    // Out of range: editor and slider stay.
    item.setValue(11);
    item.setValue(-1);
    EXPECT_EQ(item.text(), "0");
    EXPECT_EQ(item.value(), 0);
    EXPECT_EQ(changed.count(), 0);
}

TEST(SettingLineEdit, InvalidTextTurnsRedAndChangesNothing)
{
    SettingBaseWithLineEdit item("x");
    item.setRange(0, 10);
    item.setValue(4);
    QSignalSpy changed(&item, &SettingBaseWithLineEdit::signalItemValueChanged);
    QLineEdit* edit = editorOf(item);

    edit->setText("abc");
    EXPECT_TRUE(edit->styleSheet().contains("border: 1px solid #FF6058;"));
    buttonOf(item, "pb_add_item_value")->click();
    buttonOf(item, "pb_sub_item_value")->click();
    Q_EMIT edit->editingFinished();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(item.value(), 4);
    EXPECT_EQ(edit->text(), "abc");
    EXPECT_TRUE(edit->styleSheet().contains("border: 1px solid #FF6058;"));
    EXPECT_EQ(countOf(edit->styleSheet(), "border:"), 1) << "colour changes replace the border rule";

    // A typed number past the range is held at the bound and shown as held.
    edit->setText("25");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(1).toInt(), 10);
    Q_EMIT edit->editingFinished();
    EXPECT_EQ(edit->text(), "10");
    EXPECT_EQ(changed.count(), 1);
}

TEST(SettingLineEdit, RangeUnitAndStartingText)
{
    // A range that leaves 0 out: the clamped slider must not show or send a value.
    SettingBaseWithLineEdit high("threshold");
    QSignalSpy changed(&high, &SettingBaseWithLineEdit::signalItemValueChanged);
    high.setRange(10, 20);
    high.setValue(0);
    EXPECT_EQ(high.text(), "");
    EXPECT_EQ(changed.count(), 0);

    SettingBaseWithLineEdit around("bias_diff");
    around.setRange(-20, 20);
    around.setValue(0);
    EXPECT_EQ(around.text(), "0");

    auto unitText = [](const std::string& unit) {
        SettingBaseWithLineEdit item("p");
        item.setUnit(unit);
        return item.findChild<QLabel*>("lb_unit")->text();
    };
    EXPECT_EQ(unitText(" "), "");
    EXPECT_EQ(unitText(""), "");
    EXPECT_EQ(unitText("Hz"), "(Hz)");
    EXPECT_EQ(high.findChild<QLabel*>("lb_set_item_name")->text(), "threshold");
    EXPECT_FALSE(high.findChild<QWidget*>("widget_with_slider")->isVisibleTo(&high));
}

TEST(SettingLineEdit, CheckFunctionSeesEveryValueAndSetsTheBorder)
{
    SettingBaseWithLineEdit item("x");
    item.setRange(0, 100);
    item.setValue(0);
    std::vector<std::pair<std::string, int>> seen;
    item.setCheckFunction([&](std::string name, int value) {
        seen.emplace_back(name, value);
        const bool ok = value <= 50;
        item.setValid(ok);
        return ok;
    });
    QLineEdit* edit = editorOf(item);
    edit->setText("70");
    EXPECT_TRUE(edit->styleSheet().contains("#FF6058"));
    EXPECT_FALSE(item.isValid());
    // Leaving the editor greys it; a refused value must stay marked.
    Q_EMIT edit->editingFinished();
    EXPECT_TRUE(edit->styleSheet().contains("#FF6058"));
    buttonOf(item, "pb_sub_item_value")->click();
    edit->setText("30");
    EXPECT_TRUE(edit->styleSheet().contains("border: 1px solid #ACACAC;"));
    const std::vector<std::pair<std::string, int>> expected{{"x", 70}, {"x", 69}, {"x", 30}};
    EXPECT_EQ(seen, expected);
}

TEST(SettingSwitchAndComboBox, ReportUserChangesOnly)
{
    SettingBaseWithSwitchButton sw("enable");
    QSignalSpy toggled(&sw, &SettingBaseWithSwitchButton::signalItemValueChanged);
    sw.setChecked(true);
    EXPECT_EQ(toggled.count(), 0);
    EXPECT_EQ(sw.switchButton()->size(), QSize(36, 20));
    sw.switchButton()->click();
    sw.switchButton()->click();
    ASSERT_EQ(toggled.count(), 2);
    EXPECT_EQ(toggled.at(0).at(0).value<std::string>(), "enable");
    EXPECT_FALSE(toggled.at(0).at(1).toBool());
    EXPECT_TRUE(toggled.at(1).at(1).toBool());

    SettingBaseWithComboBox combo("type");
    for (const char* option : {"TRAIL", "STC_CUT_TRAIL", "STC_KEEP_TRAIL"})
        combo.addItem(option);
    QSignalSpy picked(&combo, &SettingBaseWithComboBox::signalItemValueChanged);
    combo.setCurrentText("STC_KEEP_TRAIL");
    EXPECT_EQ(picked.count(), 0);
    EXPECT_EQ(combo.currentText(), "STC_KEEP_TRAIL");
    combo.comboBox()->setCurrentIndex(1);
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked.at(0).at(0).value<std::string>(), "type");
    EXPECT_EQ(picked.at(0).at(1).value<std::string>(), "STC_CUT_TRAIL");
    EXPECT_EQ(combo.comboBox()->count(), 3);
    EXPECT_EQ(combo.comboBox()->itemText(2), "STC_KEEP_TRAIL");
    // The value stays dark after the list closes (the box's own rest grey reads as disabled).
    Q_EMIT static_cast<OVComboBoxBase*>(combo.comboBox())->popupHidden();
    EXPECT_TRUE(combo.comboBox()->styleSheet().contains("color: #555555;"));
}

TEST(SettingItemBox, FoldingOverAndOverKeepsOneRuleOfEach)
{
    SettingItemBox box;
    box.setTitle("Biases");
    auto* first = new QLabel("first");
    auto* second = new QLabel("second");
    box.addItem(second);
    box.insertItem(first, 0);
    EXPECT_EQ(box.itemAt(0), first);
    EXPECT_EQ(box.itemAt(1), second);
    QWidget* container = box.findChild<QWidget*>("widget_container");
    auto* fold = box.findChild<QPushButton*>("pb_fold");

    for (int round = 0; round < 2; ++round) {
        box.setFolded(true);
        const QString folded = box.titleBar()->styleSheet();
        EXPECT_TRUE(folded.contains("border-left: 0px solid #004B6A;"));
        EXPECT_TRUE(folded.contains("background: #F4F5F7;"));
        EXPECT_FALSE(container->isVisibleTo(&box));
        EXPECT_TRUE(fold->isChecked());

        fold->click();  // unfolds
        const QString open = box.titleBar()->styleSheet();
        EXPECT_TRUE(open.contains("border-left: 2px solid #004B6A;"));
        EXPECT_TRUE(open.contains("background: #E1E9ED;"));
        EXPECT_TRUE(container->isVisibleTo(&box));
        EXPECT_FALSE(box.isFolded());
        EXPECT_EQ(countOf(open, "border"), 1);
        EXPECT_EQ(countOf(open, "background"), 1);
    }
    QTest::mouseClick(box.titleBar(), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_TRUE(box.isFolded()) << "a click on the title folds too";
}

TEST(SettingDisplay, ParsesAccumulationTimeAndSlowRate)
{
    const std::pair<QString, std::optional<uint64_t>> times[] = {
        {"5", 5000},       {"250us", 250},     {"2000ms", std::nullopt}, {"33.33ms", 33330}, {"1.005ms", 1005},
        {" 10 ms ", 10000}, {"1000000us", 1000000}, {"1000001us", std::nullopt}, {"0us", std::nullopt},
        {"0.5us", std::nullopt}, {"-5", std::nullopt}, {"abc", std::nullopt}, {"", std::nullopt}, {"ms", std::nullopt},
    };
    for (const auto& [text, expected] : times)
        EXPECT_EQ(SettingDisplayItem::parseAccumulationTime(text), expected) << text.toStdString();

    const std::pair<QString, std::optional<uint32_t>> rates[] = {
        {"0.5", 15}, {"1000", 30000}, {"1", 30}, {"2.2", 66}, {"0.003", 1}, {"0.01", 1},
        {"0.002", std::nullopt}, {"1001", std::nullopt}, {"x", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& [text, expected] : rates)
        EXPECT_EQ(SettingDisplayItem::parseSlowRate(text), expected) << text.toStdString();
}

TEST(SettingDisplay, CommitsOnlyValidValuesWithTheirColours)
{
    SettingDisplayItem item;
    QSignalSpy times(&item, &SettingDisplayItem::signalCumulativeTimeChanged);
    QSignalSpy rates(&item, &SettingDisplayItem::signalFpsChanged);
    OVComboBoxBase* time = item.accumulationTimeBox()->comboBox();
    OVComboBoxBase* rate = item.slowRateBox()->comboBox();

    time->lineEdit()->setText("5");
    EXPECT_TRUE(time->styleSheet().contains("border: 1px solid #004B6A;"));
    EXPECT_TRUE(time->styleSheet().contains("#D7E7EE"));
    Q_EMIT time->lineEdit()->editingFinished();
    ASSERT_EQ(times.count(), 1);
    EXPECT_EQ(times.at(0).at(0).value<uint64_t>(), 5000u);
    EXPECT_EQ(time->currentText(), "5ms");
    EXPECT_TRUE(time->styleSheet().contains("border: 1px solid #A7A7A7;"));

    time->lineEdit()->setText("2000ms");
    EXPECT_TRUE(time->styleSheet().contains("border: 1px solid #FF6058;"));
    EXPECT_TRUE(time->styleSheet().contains("#FFDAD8"));
    Q_EMIT time->lineEdit()->editingFinished();
    EXPECT_EQ(times.count(), 1);
    EXPECT_TRUE(time->styleSheet().contains("border: 1px solid #FF6058;"));
    EXPECT_EQ(time->count(), 4) << "a typed value is not added to the list";

    // Picking from the list commits at once.
    time->setCurrentIndex(1);
    Q_EMIT time->activated(1);
    ASSERT_EQ(times.count(), 2);
    EXPECT_EQ(times.last().at(0).value<uint64_t>(), 100000u);
    // A typed entry of the list is one choice, however often the edit is finished.
    time->lineEdit()->setText("10ms");
    Q_EMIT time->lineEdit()->editingFinished();
    Q_EMIT time->lineEdit()->editingFinished();
    ASSERT_EQ(times.count(), 3);
    EXPECT_EQ(times.last().at(0).value<uint64_t>(), 10000u);

    rate->lineEdit()->setText("0.5");
    Q_EMIT rate->lineEdit()->editingFinished();
    rate->lineEdit()->setText("0");
    Q_EMIT rate->lineEdit()->editingFinished();
    ASSERT_EQ(rates.count(), 1);
    EXPECT_EQ(rates.at(0).at(0).value<uint32_t>(), 15u);
}

// Items added before the box is on screen get no layout pass of their own: showing it must still
// give each one its place, and an item added once the box shows must be placed too.
TEST(SettingItemBox, ItemsAddedOffScreenAreLaidOutWhenShown)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* box = new SettingItemBox;
    std::vector<SettingBaseWithLineEdit*> items;
    for (const char* name : {"bias_diff", "bias_fo", "bias_hpf"}) {
        items.push_back(new SettingBaseWithLineEdit(name));
        box->addItem(items.back());
    }
    layout->addWidget(box);
    window.show();

    const auto placed = [&] {
        QCoreApplication::processEvents();
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i]->height() < items[i]->minimumSizeHint().height())
                return false;
            if (i > 0 && items[i]->geometry().top() < items[i - 1]->geometry().bottom())
                return false;
        }
        return true;
    };
    QElapsedTimer waited;
    waited.start();
    while (!placed() && waited.elapsed() < 10000) {}
    EXPECT_TRUE(placed()) << "every item has its own row once shown";

    auto* late = new SettingBaseWithLineEdit("bias_refr");
    box->addItem(late);
    items.push_back(late);
    waited.restart();
    while (!placed() && waited.elapsed() < 10000) {}
    EXPECT_TRUE(placed()) << "an item added to a shown box gets its row";
}

// A bias typed outside its range: the range is always shown, and a clamped value is said.
TEST(SettingLineEdit, ShowsTheRangeAndSaysWhenItClamps)
{
    SettingBaseWithLineEdit item("bias_diff_off");
    item.setRange(-35, 55);
    item.setValue(0);
    auto* range = item.findChild<QLabel*>("lb_range");
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->text(), "Range: -35 to 55");
    QLineEdit* edit = editorOf(item);
    struct Case {
        const char* typed;
        int held;
        QString says;
    };
    for (const Case& c : {Case{"-80", -35, "-80 is outside -35 to 55: set to -35"}, Case{"20", 20, "Range: -35 to 55"},
                          Case{"99", 55, "99 is outside -35 to 55: set to 55"}}) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, c.typed);
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(item.value(), c.held) << c.typed;
        EXPECT_EQ(item.text(), QString::number(c.held)) << c.typed;
        EXPECT_EQ(range->text(), c.says) << c.typed;
    }
}
