// The cut and export dialogs (presets, 64-bit times, validation, refusing to overwrite the open
// recording, confirming a replacement), the camera list and the general settings dialog.
#include "AppConfig.h"
#include "CamerasList.h"
#include "OVMessageBox.h"
#include "OvCutRawFile.h"
#include "OvExportVideoUI.h"
#include "OvGeneralSetting.h"

#include "orvane/driver/Exporter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace {

template <typename T>
T* child(QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// Answers the next top-level dialog of type T that shows up (a nested exec() of it is under way)
// by calling `act` on it. seen() tells whether one came.
template <typename T>
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<void(T*)> act) : act_(std::move(act))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<T*>(w);
                if (dialog && dialog->isVisible()) {
                    timer_.stop();
                    seen_ = true;
                    act_(dialog);
                    return;
                }
            }
        });
        timer_.start(5);
    }
    bool seen() const { return seen_; }

private:
    std::function<void(T*)> act_;
    QTimer timer_;
    bool seen_ = false;
};

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

using DialogFactory = std::function<std::unique_ptr<OvTimeRangeDialog>()>;

struct Kind {
    const char* windowTitle;
    const char* title;
    const char* confirm;
    const char* initialName;
    DialogFactory make;
};

const Kind kKinds[] = {
    {"OvCutRawFile", "Cut Recording", "Cut", "xxx.raw", [] { return std::make_unique<OvCutRawFile>(); }},
    {"OvExportVideoUI", "Export", "Export", "xxx.mp4", [] { return std::make_unique<OvExportVideoUI>(); }},
};

// One dialog of each kind, filled in with a valid range into a temporary folder that also holds
// the open recording "rec.raw".
struct RangeDialog : ::testing::TestWithParam<int> {
    QTemporaryDir dir;
    std::unique_ptr<OvTimeRangeDialog> dialog;
    QString source;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        source = dir.filePath("rec.raw");
        touch(source);
        dialog = kKinds[GetParam()].make();
        dialog->setStartTime(1000);
        dialog->setEndTime(5000);
        dialog->setSaveDir(dir.path());
        dialog->setFileName(outName());
        dialog->setSourceRecording(source);
    }
    // A name of the dialog's own kind: the export dialog takes only names that end in one.
    QString outName() const { return "out." + QFileInfo(kKinds[GetParam()].initialName).suffix(); }
    bool exportDialog() const { return kKinds[GetParam()].windowTitle == std::string("OvExportVideoUI"); }
    QPushButton* save() { return child<QPushButton>(*dialog, "pb_save"); }
    QLineEdit* edit(const char* name) { return child<QLineEdit>(*dialog, name); }
    bool invalid(const char* name) { return edit(name)->property("invalid").toBool(); }
    QString message() { return child<QLabel>(*dialog, "lb_message")->text(); }
};

}  // namespace

TEST_P(RangeDialog, PresetsTextsAndOutputPath)
{
    const Kind& kind = kKinds[GetParam()];
    auto fresh = kind.make();
    EXPECT_EQ(fresh->windowTitle(), kind.windowTitle);
    EXPECT_EQ(child<QLabel>(*fresh, "lb_title")->text(), kind.title);
    EXPECT_EQ(child<QPushButton>(*fresh, "pb_save")->text(), kind.confirm);
    EXPECT_EQ(child<QPushButton>(*fresh, "pb_cancel")->text(), "Cancel");
    EXPECT_EQ(fresh->fileName(), kind.initialName);
    EXPECT_TRUE(fresh->windowFlags() & Qt::FramelessWindowHint);
    // Nothing filled in yet: it cannot be confirmed.
    EXPECT_FALSE(child<QPushButton>(*fresh, "pb_save")->isEnabled());

    EXPECT_EQ(dialog->startTime(), 1000u);
    EXPECT_EQ(dialog->endTime(), 5000u);
    EXPECT_EQ(edit("le_start_time")->text(), "1000");
    EXPECT_EQ(dialog->saveDir(), dir.path());
    EXPECT_EQ(dialog->outputPath(), dir.path() + "/" + outName());
    EXPECT_TRUE(save()->isEnabled());
    EXPECT_TRUE(message().isEmpty());
}

TEST_P(RangeDialog, TimesAreUnsigned64BitAndNonNumbersReadZero)
{
    // Recordings commonly start past 2^31 µs; the fields hold any unsigned 64-bit time.
    dialog->setStartTime((quint64(1) << 40) + 7);
    dialog->setEndTime(18446744073709551615ull);
    EXPECT_EQ(dialog->startTime(), (quint64(1) << 40) + 7);
    EXPECT_EQ(dialog->endTime(), 18446744073709551615ull);
    EXPECT_TRUE(save()->isEnabled());

    struct Case {
        const char* text;
        quint64 value;
    };
    const Case cases[] = {{"4294967296", 4294967296ull}, {" 42 ", 42},  {"18446744073709551616", 0},
                          {"-5", 0},                     {"+5", 0},      {"12a", 0},
                          {"1e6", 0},                    {"", 0},        {"１２", 0}};
    for (const Case& c : cases) {
        edit("le_start_time")->setText(QString::fromUtf8(c.text));
        EXPECT_EQ(dialog->startTime(), c.value) << c.text;
        // Every text here that reads 0 is not a number, and no such text may be confirmed.
        EXPECT_EQ(invalid("le_start_time"), c.value == 0) << c.text;
        EXPECT_EQ(save()->isEnabled(), c.value != 0) << c.text;
    }
}

TEST_P(RangeDialog, InvalidFieldsAreRedAndBlockTheConfirmButton)
{
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    QLineEdit* start = edit("le_start_time");
    const QPoint border(0, start->height() / 2);
    const QColor normal = start->grab().toImage().pixelColor(border);
    EXPECT_NE(normal, QColor("#FF6058"));

    dialog->setStartTime(5000);  // equal to the end
    EXPECT_TRUE(invalid("le_start_time"));
    EXPECT_TRUE(invalid("le_end_time"));
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_FALSE(message().isEmpty());
    EXPECT_EQ(start->grab().toImage().pixelColor(border), QColor("#FF6058"));
    EXPECT_EQ(child<QLabel>(*dialog, "lb_message")->palette().color(QPalette::WindowText), QColor("#FF6058"));
    QTest::mouseClick(save(), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());

    dialog->setEndTime(6000);
    EXPECT_FALSE(invalid("le_start_time"));
    EXPECT_FALSE(invalid("le_end_time"));
    EXPECT_EQ(start->grab().toImage().pixelColor(border), normal);

    edit("le_end_time")->setText("soon");
    EXPECT_FALSE(invalid("le_start_time"));
    EXPECT_TRUE(invalid("le_end_time"));
    EXPECT_FALSE(save()->isEnabled());
    dialog->setEndTime(6000);

    dialog->setFileName("  ");
    EXPECT_TRUE(invalid("le_file_name"));
    EXPECT_FALSE(save()->isEnabled());
    dialog->setFileName(outName());
    dialog->setSaveDir("");
    EXPECT_TRUE(invalid("le_save_file_path"));
    EXPECT_FALSE(save()->isEnabled());
    dialog->setSaveDir(dir.path());
    EXPECT_TRUE(save()->isEnabled());
    EXPECT_TRUE(message().isEmpty());
}

TEST_P(RangeDialog, StepButtonsMoveByOneMillisecond)
{
    const auto click = [&](const char* name) { QTest::mouseClick(child<QPushButton>(*dialog, name), Qt::LeftButton); };
    dialog->setStartTime(4294967295ull);
    click("pb_start_time_plus");
    EXPECT_EQ(dialog->startTime(), 4294968295ull);
    click("pb_start_time_sub");
    click("pb_start_time_sub");
    EXPECT_EQ(dialog->startTime(), 4294966295ull);

    dialog->setStartTime(400);
    click("pb_start_time_sub");  // stops at zero
    EXPECT_EQ(dialog->startTime(), 0u);

    dialog->setEndTime(18446744073709551000ull);
    click("pb_end_time_plus");  // stops at the largest time
    EXPECT_EQ(dialog->endTime(), 18446744073709551615ull);
    click("pb_end_time_sub");
    EXPECT_EQ(dialog->endTime(), 18446744073709550615ull);

    edit("le_end_time")->setText("abc");
    click("pb_end_time_plus");
    EXPECT_EQ(edit("le_end_time")->text(), "abc");
}

TEST_P(RangeDialog, RefusesToWriteOverTheOpenRecordingItsIndexOrItsVideo)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    const QString link = dir.filePath("link");
    ASSERT_TRUE(QFile::link(dir.path(), link));

    struct Case {
        QString saveDir;
        QString name;
        bool refused;
    };
    const Case cases[] = {
        {dir.path(), "rec.raw", true},
        {dir.path() + "/sub/..", "rec.raw", true},      // another spelling of the folder
        {link, "rec.raw", true},                        // through a link to the folder
        {dir.path() + "/", "./rec.raw", true},
        {dir.path(), "rec.ovmark.tmp", true},           // the index, which need not exist yet
        {link, "rec.ovmark.tmp", true},
        {dir.path(), "rec.raw.ovmark.tmp", false},      // not where the reader keeps it
        {dir.path(), "rec.mp4", true},                  // a fusion recording's video
        {dir.path() + "/sub", "rec.raw", false},
        {dir.path(), "rec2.raw", false},
        {dir.path(), "rec.raw.bak", false},
        {dir.path(), "sub", true},                      // a folder is no output file
    };
    for (const Case& c : cases) {
        dialog->setSaveDir(c.saveDir);
        dialog->setFileName(c.name);
        SCOPED_TRACE((c.saveDir + " " + c.name).toStdString());
        // The export dialog also refuses a name that ends in no kind's extension.
        const bool refused = c.refused || (exportDialog() && !QRegularExpression("\\.(raw|mp4|csv|h5|hdf5)$").match(c.name).hasMatch());
        EXPECT_EQ(save()->isEnabled(), !refused);
        EXPECT_EQ(invalid("le_file_name"), refused);
        EXPECT_EQ(message().isEmpty(), !refused);
    }

    // The recording opened through a link is protected under its real name too.
    const QString linkedRaw = dir.filePath("linked.raw");
    ASSERT_TRUE(QFile::link(source, linkedRaw));
    dialog->setSourceRecording(linkedRaw);
    dialog->setSaveDir(dir.path());
    dialog->setFileName("rec.raw");
    EXPECT_FALSE(save()->isEnabled());
    dialog->setFileName("linked.ovmark.tmp");
    EXPECT_FALSE(save()->isEnabled());
    dialog->setFileName("linked.mp4");
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_TRUE(message().contains("video"));
    dialog->setFileName("rec.ovmark.tmp");
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_TRUE(message().contains("index"));

    // A click while the output is refused does nothing.
    dialog->show();
    QTest::mouseClick(save(), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_P(RangeDialog, ReplacingAnExistingFileNeedsConfirmation)
{
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));

    // A new file: accepted straight away, no question.
    {
        DialogAnswerer<OVMessageBox> guard([](OVMessageBox* box) { box->reject(); });
        QTest::mouseClick(save(), Qt::LeftButton);
        EXPECT_FALSE(guard.seen());
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
    }

    touch(dir.filePath(outName()));
    dialog->setResult(QDialog::Rejected);
    dialog->show();
    QString question;
    {
        DialogAnswerer<OVMessageBox> no([&](OVMessageBox* box) {
            question = box->findChild<QLabel*>("lb_show_message")->text();
            QTest::mouseClick(box->findChild<QPushButton*>("pb_close"), Qt::LeftButton);
        });
        QTest::mouseClick(save(), Qt::LeftButton);
        EXPECT_TRUE(no.seen());
    }
    EXPECT_TRUE(question.contains(outName()));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);

    {
        DialogAnswerer<OVMessageBox> yes(
            [](OVMessageBox* box) { QTest::mouseClick(box->findChild<QPushButton*>("pb_open"), Qt::LeftButton); });
        QTest::mouseClick(save(), Qt::LeftButton);
        EXPECT_TRUE(yes.seen());
    }
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_P(RangeDialog, CancelAndCloseReject)
{
    for (const char* button : {"pb_cancel", "pb_win_close"}) {
        dialog->show();
        dialog->setResult(QDialog::Accepted);
        QTest::mouseClick(child<QPushButton>(*dialog, button), Qt::LeftButton);
        EXPECT_EQ(dialog->result(), QDialog::Rejected) << button;
        EXPECT_FALSE(dialog->isVisible()) << button;
    }
}

INSTANTIATE_TEST_SUITE_P(CutAndExport, RangeDialog, ::testing::Values(0, 1),
                         [](const auto& p) { return std::string(p.param == 0 ? "Cut" : "Export"); });

TEST(CamerasList, EmptyListOpensNothing)
{
    CamerasList list({});
    EXPECT_EQ(child<QListWidget>(list, "listWidget_cameras")->count(), 0);
    EXPECT_FALSE(child<QLabel>(list, "lb_no_camera")->isHidden());
    int index = -7;
    EXPECT_FALSE(list.selectedIndex(index));
    EXPECT_EQ(index, -7);
    list.show();
    QTest::mouseClick(child<QPushButton>(list, "pb_open"), Qt::LeftButton);
    EXPECT_EQ(list.result(), QDialog::Accepted);
    EXPECT_FALSE(list.selectedIndex(index));
}

TEST(CamerasList, ListsSerialsAndReportsThePickedRow)
{
    std::vector<orvane::CameraDescription> descs(3);
    descs[0].serial = "KES-0001";
    descs[0].product = "Kestrel";
    descs[1].serial = "TND-0002";
    descs[1].product = "Tandem";
    descs[2].serial = "EVK-0003";
    descs[2].product = "EVK4";

    QWidget window;
    window.setGeometry(100, 80, 800, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CamerasList list(descs, &window);
    auto* view = child<QListWidget>(list, "listWidget_cameras");
    ASSERT_EQ(view->count(), 3);
    EXPECT_TRUE(child<QLabel>(list, "lb_no_camera")->isHidden());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(view->item(i)->text(), QString::fromStdString(descs[size_t(i)].serial));
        EXPECT_FALSE(view->item(i)->icon().isNull());
    }
    int index = -1;
    ASSERT_TRUE(list.selectedIndex(index));
    EXPECT_EQ(index, 0);

    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(list.pos(), QPoint(origin.x() + (800 - list.width()) / 2, origin.y() + (600 - list.height()) / 2));

    view->setCurrentRow(2);
    const QPoint third = view->visualItemRect(view->item(2)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third);  // a double click follows a press
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, third);
    EXPECT_EQ(list.result(), QDialog::Accepted);
    ASSERT_TRUE(list.selectedIndex(index));
    EXPECT_EQ(index, 2);

    list.show();
    QTest::mouseClick(child<QPushButton>(list, "pb_close"), Qt::LeftButton);
    EXPECT_EQ(list.result(), QDialog::Rejected);
}

namespace {

struct GeneralSettings : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<AppConfig> config;
    QString raws, videos;
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        raws = dir.filePath("raws");
        videos = dir.filePath("videos");
        QDir(dir.path()).mkpath("raws");
        QDir(dir.path()).mkpath("videos");
        config = std::make_unique<AppConfig>(dir.filePath("config.ini"), dir.filePath("docs"));
        config->setOutputRawFilePath(raws);
        config->setVideoSavePath(videos);
    }
};

}  // namespace

TEST_F(GeneralSettings, SaveStoresTheTextsAndCancelKeepsTheSettings)
{
    for (const char* button : {"pb_cancel", "pb_win_close", "pb_save"}) {
        OvGeneralSetting dialog(config.get());
        EXPECT_EQ(child<QLineEdit>(dialog, "le_default_file_path")->text(), raws);
        EXPECT_EQ(child<QLineEdit>(dialog, "le_default_video_file_path")->text(), videos);
        dialog.show();
        // Not checked: a folder that does not exist yet is stored as typed.
        child<QLineEdit>(dialog, "le_default_file_path")->setText(dir.filePath("new/raws"));
        child<QLineEdit>(dialog, "le_default_video_file_path")->setText(dir.filePath("new/videos"));
        QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible()) << button;
        if (QLatin1String(button) != QLatin1String("pb_save")) {
            EXPECT_EQ(config->outputRawFilePath(), raws) << button;
            EXPECT_EQ(config->videoSavePath(), videos) << button;
        }
    }
    EXPECT_EQ(config->outputRawFilePath(), dir.filePath("new/raws"));
    EXPECT_EQ(config->videoSavePath(), dir.filePath("new/videos"));
}

TEST_F(GeneralSettings, FolderChooserReplacesTheTextOnlyWhenAFolderIsChosen)
{
    OvGeneralSetting dialog(config.get());
    dialog.show();
    auto* rawEdit = child<QLineEdit>(dialog, "le_default_file_path");
    auto* videoEdit = child<QLineEdit>(dialog, "le_default_video_file_path");
    {
        DialogAnswerer<QFileDialog> cancel([&](QFileDialog* chooser) {
            EXPECT_EQ(QDir(chooser->directory()).canonicalPath(), QDir(raws).canonicalPath());
            chooser->reject();
        });
        QTest::mouseClick(child<QPushButton>(dialog, "pb_select_dir"), Qt::LeftButton);
        ASSERT_TRUE(cancel.seen());
    }
    EXPECT_EQ(rawEdit->text(), raws);

    const QString chosen = QDir(dir.path()).canonicalPath();
    {
        DialogAnswerer<QFileDialog> choose([&](QFileDialog* chooser) {
            EXPECT_EQ(QDir(chooser->directory()).canonicalPath(), QDir(videos).canonicalPath());
            chooser->setDirectory(chosen);
            chooser->selectFile(chosen);
            static_cast<QDialog*>(chooser)->accept();
        });
        QTest::mouseClick(child<QPushButton>(dialog, "pb_select_video_save_path"), Qt::LeftButton);
        ASSERT_TRUE(choose.seen());
    }
    EXPECT_EQ(QDir(videoEdit->text()).canonicalPath(), chosen);
    EXPECT_EQ(rawEdit->text(), raws);
    EXPECT_EQ(config->videoSavePath(), videos);  // only "Save" writes the settings
}

// The kind and the file name's extension follow each other; only a video has options.
TEST(ExportDialog, KindFollowsTheNameAndTheVideoFieldsGiveTheOptions)
{
    OvExportVideoUI dialog;
    EXPECT_EQ(dialog.kind(), "video");
    EXPECT_EQ(dialog.fileName(), "xxx.mp4");
    EXPECT_FALSE(dialog.setKind("gif"));
    ASSERT_TRUE(dialog.setKind("csv"));
    EXPECT_EQ(dialog.fileName(), "xxx.csv");
    EXPECT_TRUE(dialog.options().isEmpty());
    EXPECT_TRUE(child<QWidget>(dialog, "sb_fps")->isHidden());
    dialog.setFileName("clip.raw");
    EXPECT_EQ(dialog.kind(), "raw");
    dialog.setFileName("clip.MP4");
    EXPECT_EQ(dialog.kind(), "video");
    EXPECT_FALSE(child<QWidget>(dialog, "sb_fps")->isHidden());

    using Options = QList<QPair<QString, QString>>;
    EXPECT_EQ(dialog.options(), (Options{{"fps", "30"}, {"speed", "1.000"}, {"mode", "accumulation"}, {"theme", "grey"}}));
    EXPECT_FALSE(child<QWidget>(dialog, "sb_time_constant")->isEnabled());
    dialog.setFps(500);  // held to the range the exporter takes
    dialog.setSpeed(0.25);
    dialog.setAccumulationUs(20000);
    EXPECT_TRUE(dialog.setMode("time-surface"));
    EXPECT_TRUE(dialog.setTheme("dark"));
    EXPECT_FALSE(dialog.setTheme("blue"));
    dialog.setTimeConstantUs(5000);
    EXPECT_TRUE(child<QWidget>(dialog, "sb_time_constant")->isEnabled());
    const Options options = dialog.options();
    EXPECT_EQ(options, (Options{{"fps", "240"}, {"speed", "0.250"}, {"mode", "time-surface"}, {"theme", "dark"},
                                {"accumulation_us", "20000"}, {"time_constant_us", "5000"}}));
    // Every value the dialog gives is one the exporter takes.
    auto video = orvane::makeExporterFor("a.mp4");
    for (const auto& [name, value] : options) {
        std::string error;
        EXPECT_TRUE(video->setOption(name.toStdString(), value.toStdString(), error)) << error;
    }
}
