// What a desktop program is expected to do, on the real main window: menu commands have their keys,
// shown in the menus and working without them; a recording dropped on the picture opens; a folder
// that cannot be opened is told; the side panels agree on the accumulation time.
#include "MainWindowFixture.h"
#include "OVComboBoxBase.h"
#include "OvComboBox.h"
#include "SettingDisplayItem.h"
#include "SidebarCameraSettingUI.h"
#include "SidebarDvsSettingUI.h"
#include "OvFilePathReminderForm.h"
#include "OvGraphicsView.h"
#include "PlaybackEngine.h"
#include "ShowImageForm.h"

#include "RawFileTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
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

// The picture takes a dropped recording like the bars around it; other files it leaves alone.
TEST_F(DesktopHabitsTest, RecordingDroppedOnThePictureOpens)
{
    QWidget* picture = window->imageView()->view()->viewport();
    const auto drag = [&](const QString& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at = picture->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(picture, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(picture, &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(picture, &drop);
        return enter.isAccepted() && move.isAccepted() && drop.isAccepted();
    };
    const QString text = dir.filePath("notes.txt");
    QFile(text).open(QIODevice::WriteOnly);
    EXPECT_FALSE(drag(text));

    orvane::test::StreamShape shape;
    shape.timeHighPeriodUs = 16;
    const QString path = dir.filePath("dropped.raw");
    orvane::test::writeBytes(QFile::encodeName(path).toStdString(), orvane::test::standardRawHeader(),
                             orvane::test::encodeStream(orvane::test::makeEvents(shape), shape));
    EXPECT_TRUE(drag(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mode() == PlaybackEngine::RawFile; }, kLong))
        << (tips->isEmpty() ? std::string() : tips->last().at(0).toString().toStdString());
    EXPECT_EQ(window->imageView()->currentPixmap().size(), QSize(1280, 720));
}

// "Open Dir" where no file manager opens the folder: the toast says so and shows the path, and stays.
TEST_F(DesktopHabitsTest, OpenDirThatFailsShowsThePath)
{
    QStringList asked;
    bool opens = true;
    OvFilePathReminderForm::setFolderOpener([&](const QString& folder) {
        asked << folder;
        return opens;
    });
    const auto toast = [&] {
        Q_EMIT window->signalShowLeftBottomTips("Saved x.raw", MessageSuccess, out);
        OvFilePathReminderForm* newest = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<OvFilePathReminderForm*>(w); t && t->isVisible() && t->filePath() == out &&
                                                                   t->findChild<QLabel*>("lb_show_tips")->text() == "Saved x.raw")
                newest = t;
        return newest;
    };
    for (const bool works : {true, false}) {
        opens = works;
        OvFilePathReminderForm* t = toast();
        ASSERT_NE(t, nullptr);
        auto* button = t->findChild<QPushButton*>("pb_open_dir");
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(asked.last(), out);
        const QString text = t->findChild<QLabel*>("lb_show_tips")->text();
        EXPECT_EQ(text.contains(QDir::toNativeSeparators(out)), !works) << text.toStdString();
        EXPECT_EQ(t->findChild<QTimer*>("destroyTimer")->isActive(), works);
        EXPECT_EQ(button->isHidden(), !works);
        t->close();
    }
    OvFilePathReminderForm::setFolderOpener({});
}

// Both side panels offer the accumulation time; the engine holds the one value and both show it.
TEST_F(DesktopHabitsTest, BothPanelsShowTheOneAccumulationTime)
{
    SettingDisplayItem* camera = window->findChild<SidebarCameraSettingUI*>()->displayItem();
    SettingDisplayItem* dvs = window->findChild<SidebarDvsSettingUI*>()->displayItem();
    const auto shown = [](SettingDisplayItem* item) { return item->accumulationTimeBox()->comboBox()->currentText(); };
    EXPECT_EQ(window->engine()->accumulationTime(), 33333u);
    EXPECT_EQ(shown(camera), "33.33ms");
    EXPECT_EQ(shown(dvs), "33.33ms");
    struct Case {
        SettingDisplayItem* typedIn;
        SettingDisplayItem* other;
        const char* text;
        uint64_t us;
        const char* shows;
    };
    for (const Case& c : {Case{camera, dvs, "100", 100'000, "100ms"}, Case{dvs, camera, "250us", 250, "0.25ms"}, Case{dvs, camera, "1234us", 1234, "1234us"},
                          Case{camera, dvs, "12.5ms", 12'500, "12.50ms"}}) {
        QLineEdit* edit = c.typedIn->accumulationTimeBox()->comboBox()->lineEdit();
        edit->setText(QString::fromLatin1(c.text));
        Q_EMIT edit->editingFinished();
        EXPECT_EQ(window->engine()->accumulationTime(), c.us) << c.text;
        EXPECT_EQ(shown(c.other), QString::fromLatin1(c.shows)) << c.text;
        EXPECT_EQ(SettingDisplayItem::parseAccumulationTime(shown(c.typedIn)), c.us) << c.text;
        EXPECT_EQ(SettingDisplayItem::parseAccumulationTime(shown(c.other)), c.us) << c.text;
    }
}

// A menu title is highlighted while the mouse is on it and its menu is open, not after.
TEST_F(DesktopHabitsTest, MenuTitlesLetGoOfTheirHighlight)
{
    for (const char* name : {"pb_menu_device", "pb_menu_file", "pb_menu_setting", "pb_menu_help"}) {
        auto* title = child<QPushButton>(name);
        QMenu* menu = window->menuOf(QString::fromLatin1(name));
        QCursor::setPos(window->mapToGlobal(QPoint(window->width() / 2, window->height() / 2)));
        title->setAttribute(Qt::WA_UnderMouse, true);  // where the user clicked it
        title->setDown(true);
        menu->popup(title->mapToGlobal(QPoint(0, title->height())));
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, kLong)) << name;
        menu->hide();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !title->underMouse() && !title->isDown(); }, kLong)) << name;
    }
}

// A long export can be cancelled from its waiting window: told, and no file (nor part file) left.
TEST_F(DesktopHabitsTest, ExportCanBeCancelled)
{
    orvane::test::StreamShape shape;
    shape.durationUs = 60'000'000;  // a minute of video: far longer than the click takes
    shape.events = 200'000;
    shape.timeHighPeriodUs = 16;
    const QString path = dir.filePath("long.raw");
    orvane::test::writeBytes(QFile::encodeName(path).toStdString(), orvane::test::standardRawHeader(),
                             orvane::test::encodeStream(orvane::test::makeEvents(shape), shape));
    ASSERT_TRUE(window->openRecordingPath(path));
    const uint64_t start = window->engine()->fileStart();
    const uint64_t end = window->engine()->fileEnd();
    bool offered = false;
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, &offered] {
        if (auto* waiting = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            if (auto* cancel = waiting->findChild<QPushButton*>("pb_cancel")) {
                offered = true;
                timer->stop();
                timer->deleteLater();
                cancel->click();
            }
    });
    timer->start();
    EXPECT_FALSE(window->exportVideoTo(start, end, out, "clip.mp4"));
    EXPECT_TRUE(offered);
    EXPECT_EQ(tips->last().at(0).toString(), "Export cancelled; no file was written.");
    EXPECT_EQ(tips->last().at(1).value<OvMessageType>(), MessageWarning);
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty()) << QDir(out).entryList(QDir::Files).join(' ').toStdString();
    EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);
}
