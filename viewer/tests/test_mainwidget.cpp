// The main window shell and the frameless layer.
#include "FramelessWindowAgent.h"
#include "MainWidget.h"
#include "ShowImageForm.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

QStringList entries(QMenu* menu)
{
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    return texts;
}

}  // namespace

TEST(MainWidget, TitleBarMenusAndImageView)
{
    MainWidget window(nullptr);
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    for (const char* name : {"widget_title_bar", "pb_logo_button", "widget_title_space", "pb_win_min", "pb_win_max",
                             "pb_win_close"})
        EXPECT_NE(window.findChild<QWidget*>(name), nullptr) << name;

    struct Case {
        const char* button;
        QStringList entries;
    };
    const Case cases[] = {
        {"pb_menu_device", {"Open Camera"}},
        {"pb_menu_file", {"Open Recording", "Save as...", "Cut Recording", "Open Recent", "Quit"}},
        {"pb_menu_setting", {"General Setting", QString::fromUtf8("EN/中文")}},
        {"pb_menu_help", {"About us"}},
    };
    for (const Case& c : cases) {
        auto* button = window.findChild<QPushButton*>(c.button);
        ASSERT_NE(button, nullptr) << c.button;
        ASSERT_NE(button->menu(), nullptr) << c.button;
        EXPECT_EQ(button->menu(), window.menuOf(c.button));
        EXPECT_EQ(entries(button->menu()), c.entries) << c.button;
        EXPECT_TRUE(button->menu()->windowFlags() & Qt::FramelessWindowHint);
    }
    EXPECT_EQ(window.findChild<QLabel*>("label_time")->text(), "--/ --");
    EXPECT_EQ(window.imageView()->objectName(), "widget_show_image");
    EXPECT_EQ(window.imageView()->currentPixmap().size(), QSize(1280, 720));
}

TEST(MainWidget, QuitClosesTheWindow)
{
    MainWidget window(nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (QAction* a : window.menuOf("pb_menu_file")->actions())
        if (a->text() == "Quit")
            a->trigger();
    EXPECT_FALSE(window.isVisible());
}

TEST(MainWidget, KeepsTheStartupFile)
{
    MainWidget window(nullptr);
    window.setStartupFile("/data/rec.raw");
    EXPECT_EQ(window.startupFile(), "/data/rec.raw");
}

TEST(MainWidget, MaximiseButtonAndItsIconState)
{
    MainWidget window(nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* max = window.findChild<QPushButton*>("pb_win_max");
    EXPECT_EQ(max->property("type").toString(), "maxsize");
    QTest::mouseClick(max, Qt::LeftButton);
    EXPECT_TRUE(window.isMaximized());
    EXPECT_TRUE(QTest::qWaitFor([&] { return max->property("type").toString() == "restore"; }, 1000));
    QTest::mouseClick(max, Qt::LeftButton);
    EXPECT_FALSE(window.isMaximized());
    EXPECT_TRUE(QTest::qWaitFor([&] { return max->property("type").toString() == "maxsize"; }, 1000));
}

TEST(Frameless, EdgesAt)
{
    QWidget window;
    auto* agent = new FramelessWindowAgent(&window);
    window.resize(400, 300);
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    struct Case {
        QPoint pos;
        Qt::Edges edges;
    };
    const Case cases[] = {
        {{200, 150}, {}},
        {{2, 150}, Qt::LeftEdge},
        {{397, 150}, Qt::RightEdge},
        {{200, 1}, Qt::TopEdge},
        {{200, 299}, Qt::BottomEdge},
        {{0, 0}, Qt::LeftEdge | Qt::TopEdge},
        {{399, 299}, Qt::RightEdge | Qt::BottomEdge},
        {{6, 6}, {}},
        {{-1, 150}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(agent->edgesAt(c.pos), c.edges) << c.pos.x() << "," << c.pos.y();
    agent->setResizable(false);
    EXPECT_EQ(agent->edgesAt({0, 0}), Qt::Edges());
    agent->setResizable(true);
    window.setFixedSize(400, 300);
    EXPECT_EQ(agent->edgesAt({0, 0}), Qt::Edges());
}

TEST(Frameless, TitleBarDoubleClickTogglesMaximised)
{
    QWidget window;
    auto* bar = new QWidget(&window);
    bar->setGeometry(0, 0, 400, 40);
    auto* agent = new FramelessWindowAgent(&window);
    agent->setTitleBar(bar);
    QSignalSpy maximized(agent, &FramelessWindowAgent::maximizedChanged);
    window.resize(400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(200, 20));
    EXPECT_TRUE(window.isMaximized());
    EXPECT_EQ(agent->edgesAt({0, 0}), Qt::Edges());  // no resizing while maximised
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(200, 20));
    EXPECT_FALSE(window.isMaximized());
    ASSERT_GE(maximized.count(), 2);
    EXPECT_TRUE(maximized.first().at(0).toBool());
    EXPECT_FALSE(maximized.last().at(0).toBool());
}

TEST(Frameless, ConnectedSystemButtons)
{
    QWidget window;
    auto* close = new QPushButton(&window);
    auto* agent = new FramelessWindowAgent(&window);
    agent->setSystemButton(FramelessWindowAgent::Close, close);
    agent->connectSystemButtons();
    EXPECT_EQ(agent->systemButton(FramelessWindowAgent::Close), close);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

TEST(Frameless, EdgeCursorFollowsThePointer)
{
    QWidget window;
    auto* child = new QWidget(&window);  // covers the whole window, edges included
    child->setGeometry(0, 0, 400, 300);
    new FramelessWindowAgent(&window);
    window.resize(400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QWindow* handle = window.windowHandle();
    ASSERT_NE(handle, nullptr);
    struct Case {
        QPoint pos;
        Qt::CursorShape shape;
    };
    const Case cases[] = {{{2, 150}, Qt::SizeHorCursor},   {{200, 298}, Qt::SizeVerCursor},
                          {{1, 1}, Qt::SizeFDiagCursor},   {{398, 1}, Qt::SizeBDiagCursor},
                          {{200, 150}, Qt::ArrowCursor}};
    for (const Case& c : cases) {
        QMouseEvent move(QEvent::MouseMove, c.pos, handle->mapToGlobal(c.pos), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        EXPECT_EQ(handle->cursor().shape(), c.shape) << c.pos.x() << "," << c.pos.y();
    }
}

TEST(MainWidget, RoundedTopCornersOnlyWhenNotMaximised)
{
    MainWidget window(nullptr);
    window.resize(1000, 700);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(window.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(window.mask().contains(QPoint(6, 6)));
    const int right = window.width() - 1, bottom = window.height() - 1;
    EXPECT_FALSE(window.mask().contains(QPoint(right, 0)));
    EXPECT_TRUE(window.mask().contains(QPoint(0, bottom)));  // square bottom corners
    EXPECT_TRUE(window.mask().contains(QPoint(right, bottom)));
    window.showMaximized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.mask().isEmpty(); }, 1000));
}
