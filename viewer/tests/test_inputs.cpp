// Slider click arithmetic, the line edit and its slider in step, the combo box.
#include "OVComboBoxBase.h"
#include "OvComboBox.h"
#include "OvLineEdit.h"
#include "OvLineEditBase.h"
#include "OvSlider.h"
#include "PopWidget.h"
#include "StyleSheetEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

// A 200 px horizontal slider with a 20 px handle, range 0..100.
struct SliderFixture : ::testing::Test {
    OvSlider slider{Qt::Horizontal};
    void SetUp() override
    {
        slider.setStyleSheet("QSlider::groove:horizontal { height: 4px; margin: 0px; border: none; background: #D9D9D9; }"
                             "QSlider::handle:horizontal { width: 20px; margin: -8px 0px; border: none; background: #004B6A; }");
        slider.setRange(0, 100);
        slider.setGeometry(0, 0, 200, 20);
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
        ASSERT_EQ(slider.handleRect().width(), 20);
    }
};

}  // namespace

TEST_F(SliderFixture, ClickJumpsToThePosition)
{
    struct Case {
        int x;
        int value;
    };
    // value = (x - 10) * 100 / 180, truncated; clicks beside the ends give the ends.
    const Case cases[] = {{100, 50}, {10, 0}, {190, 100}, {55, 25}, {146, 75}, {0, 0}, {199, 100}};
    for (const Case& c : cases) {
        slider.setValue(c.value == 50 ? 0 : 50);  // start elsewhere (and off the handle)
        QSignalSpy clicked(&slider, &OvSlider::trackClicked);
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(c.x, 10));
        EXPECT_EQ(slider.value(), c.value) << "x = " << c.x;
        ASSERT_EQ(clicked.count(), 1) << "x = " << c.x;
        EXPECT_EQ(clicked.at(0).at(0).toInt(), c.value) << "x = " << c.x;
    }
}

TEST_F(SliderFixture, RightButtonDoesNotJump)
{
    slider.setValue(30);
    QSignalSpy clicked(&slider, &OvSlider::trackClicked);
    QTest::mouseClick(&slider, Qt::RightButton, {}, QPoint(180, 10));
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(slider.value(), 30);
}

TEST(LineEdit, TextAndSliderStayInStep)
{
    OvLineEdit edit;
    edit.slider()->setRange(0, 1000);
    QSignalSpy finished(&edit, &OvLineEdit::textFinished);
    QSignalSpy edited(&edit, &OvLineEdit::textEdited);

    // Typed number: the slider follows, one report.
    edit.lineEdit()->setText("42");
    Q_EMIT edit.lineEdit()->editingFinished();
    EXPECT_EQ(edit.slider()->value(), 42);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.takeFirst().at(0).toString(), "42");

    // Letters: reported as typed, the slider stays.
    edit.lineEdit()->setText("abc");
    Q_EMIT edit.lineEdit()->editingFinished();
    EXPECT_EQ(edit.slider()->value(), 42);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.takeFirst().at(0).toString(), "abc");

    // Slider moved: the text follows, one report (not a second from the text change).
    edit.slider()->setValue(700);
    EXPECT_EQ(edit.lineEdit()->text(), "700");
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.takeFirst().at(0).toString(), "700");

    QTest::keyClicks(edit.lineEdit(), "5");
    EXPECT_EQ(edited.count(), 1);
}

TEST(LineEdit, FocusPopsTheSliderUpUnderTheEdit)
{
    QWidget window;
    auto* edit = new OvLineEdit(&window);
    edit->setGeometry(20, 30, 120, 26);
    window.resize(300, 200);
    EXPECT_EQ(edit->popup(), nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QSignalSpy hovered(edit->lineEdit(), &OvLineEditBase::signalMouseHoverd);
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(edit->lineEdit(), &in);
    ASSERT_EQ(hovered.count(), 1);
    EXPECT_TRUE(hovered.at(0).at(0).toBool());
    ASSERT_NE(edit->popup(), nullptr);
    EXPECT_TRUE(edit->popup()->isVisible());
    EXPECT_EQ(edit->popup()->pos(), edit->lineEdit()->mapToGlobal(QPoint(0, edit->lineEdit()->height())));
    EXPECT_TRUE(edit->lineEdit()->styleSheet().contains("border: 1px solid #004B6A;"));

    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(edit->lineEdit(), &out);
    EXPECT_FALSE(hovered.at(1).at(0).toBool());
    EXPECT_FALSE(edit->popup()->isVisible());
    EXPECT_TRUE(edit->lineEdit()->styleSheet().contains("border: 1px solid #ACACAC;"));
    EXPECT_TRUE(edit->lineEdit()->styleSheet().contains("border-radius: 3px;"));
}

TEST(ComboBox, WheelOverAClosedBoxKeepsTheSelection)
{
    OvComboBox box;
    box.comboBox()->addItems({"one", "two", "three"});
    box.comboBox()->setCurrentIndex(1);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    for (int delta : {120, -120, -120}) {
        QWheelEvent wheel(QPointF(10, 10), box.comboBox()->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box.comboBox(), &wheel);
        EXPECT_FALSE(wheel.isAccepted());
    }
    EXPECT_EQ(box.comboBox()->currentIndex(), 1);
}

TEST(ComboBox, LineEditEditsLightTheFrame)
{
    OvComboBox box;
    box.setLineEditEnabled(true);
    QSignalSpy changed(&box, &OvComboBox::signalLineEditTextChanged);
    QSignalSpy finished(&box, &OvComboBox::signalLineEditEditingFinished);
    QLineEdit* edit = box.comboBox()->lineEdit();
    ASSERT_NE(edit, nullptr);
    edit->setText("1200");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toString(), "1200");
    EXPECT_TRUE(box.frame()->styleSheet().contains("border: 2px solid #D7E7EE;"));
    EXPECT_TRUE(box.frame()->styleSheet().contains("border-radius: 3px;"));
    EXPECT_TRUE(box.comboBox()->styleSheet().contains("color: #004B6A;"));
    EXPECT_TRUE(box.comboBox()->styleSheet().contains("background-color: #FFFFFF;"));
    Q_EMIT edit->editingFinished();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(box.frame()->styleSheet().contains("border: 2px solid transparent;"));

    box.setLineEditEnabled(false);
    EXPECT_TRUE(edit->isReadOnly());
    edit->setText("5");
    EXPECT_EQ(changed.count(), 1);
}

TEST(ComboBox, PopupHighlightsOnTheNextTurn)
{
    OvComboBox box;
    Q_EMIT box.comboBox()->popupShown();
    EXPECT_FALSE(box.frame()->styleSheet().contains("#D7E7EE"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.frame()->styleSheet().contains("#D7E7EE"); }, 1000));
    Q_EMIT box.comboBox()->popupHidden();
    EXPECT_TRUE(box.frame()->styleSheet().contains("border: 2px solid transparent;"));
    EXPECT_TRUE(box.comboBox()->styleSheet().contains("color: #A7A7A7;"));
}

TEST(StyleSheetEdit, ChangesOnlyTheNamedDeclaration)
{
    struct Case {
        QString sheet;
        bool colour;  // else border
        QString value;
        QString expected;
    };
    const Case cases[] = {
        {"background-color: white; color: red;", true, "#004B6A", "background-color: white; color: #004B6A;"},
        {"QComboBox { color: #A7A7A7; } QX { color: blue; }", true, "#004B6A",
         "QComboBox { color: #004B6A; } QX { color: blue; }"},
        {"font-size: 12px;", true, "red", "font-size: 12px;color: red;"},
        {"border-radius: 3px; border: 1px solid #ACACAC;", false, "1px solid #004B6A",
         "border-radius: 3px; border: 1px solid #004B6A;"},
        {"border: 2px solid transparent; border-radius: 3px;", false, "2px solid #D7E7EE",
         "border: 2px solid #D7E7EE; border-radius: 3px;"},
    };
    for (const Case& c : cases) {
        const QString got = c.colour ? stylesheet::replaceColour(c.sheet, c.value) : stylesheet::replaceBorder(c.sheet, c.value);
        EXPECT_EQ(got, c.expected) << c.sheet.toStdString();
    }
}
