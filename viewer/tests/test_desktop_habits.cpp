// What a desktop program is expected to do, on the real main window: menu commands have their keys,
// shown in the menus and working without them.
#include "MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kLong = 30000;

class DesktopHabitsTest : public MainWindowFixture {
protected:
    QAction* action(const char* menu, const QString& text)
    {
        for (QAction* a : window->menuOf(QString::fromLatin1(menu))->actions())
            if (a->text() == text)
                return a;
        ADD_FAILURE() << "no " << text.toStdString() << " in " << menu;
        return nullptr;
    }
};

}  // namespace

TEST_F(DesktopHabitsTest, MenuCommandsHaveTheirKeys)
{
    struct Case {
        const char* menu;
        QString text;
        QKeySequence keys;
    };
    const Case cases[] = {
        {"pb_menu_device", "Open Camera", QKeySequence("Ctrl+Shift+O")},
        {"pb_menu_file", "Open Recording", QKeySequence("Ctrl+O")},
        {"pb_menu_file", "Save as...", QKeySequence("Ctrl+E")},
        {"pb_menu_file", "Cut Recording", QKeySequence("Ctrl+X")},
        {"pb_menu_file", "Quit", QKeySequence("Ctrl+Q")},
    };
    for (const Case& c : cases) {
        QAction* a = action(c.menu, c.text);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->shortcut(), c.keys) << c.text.toStdString();
        // The menus are popups: the keys reach the action through the window.
        EXPECT_TRUE(window->actions().contains(a)) << c.text.toStdString();
    }

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // Cut and export without a recording say what is missing, as their menu entries do.
    for (const char* keys : {"Ctrl+X", "Ctrl+E"}) {
        const int before = tips->count();
        QTest::keySequence(window.get(), QKeySequence(QString::fromLatin1(keys)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return tips->count() > before; }, kLong)) << keys;
        EXPECT_EQ(tips->last().at(0).toString(), "Please open a raw file first.") << keys;
    }
    QTest::keySequence(window.get(), QKeySequence("Ctrl+Q"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, kLong));
}
