// Pictures of the dialogs and the timeline in English and Chinese, for a person to look at.
// Not run by default: run it under Xvfb with
//   ORVANE_SCREENSHOT_DIR=/some/dir xvfb-run -a -s "-screen 0 1600x1000x24"
//     env QT_QPA_PLATFORM=xcb orvane_viewer_tests --gtest_also_run_disabled_tests
//     --gtest_filter='DialogLook.*'
#include "CamerasList.h"
#include "Language.h"
#include "OvCutRawFile.h"
#include "OvExportVideoUI.h"
#include "OvGeneralSetting.h"
#include "OvThreeHandleSlider.h"
#include "AppConfig.h"
#include "OVMessageBox.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// The screen's pixels where the window system has them, so that what is saved is what shows.
void save(QWidget& w, const QString& dir, const QString& name)
{
    QPixmap shot = w.screen() ? w.screen()->grabWindow(w.winId()) : QPixmap();
    if (shot.isNull() || shot.size() != w.size() * shot.devicePixelRatio())
        shot = w.grab();
    EXPECT_TRUE(shot.save(dir + "/" + name + ".png")) << name.toStdString();
}

void shoot(QWidget& w, const QString& dir, const QString& name)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(200);  // let the window system finish painting
    save(w, dir, name);
    w.hide();
}

}  // namespace

TEST(DialogLook, DISABLED_Screenshots)
{
    const QString out = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR");
    if (out.isEmpty())
        GTEST_SKIP() << "ORVANE_SCREENSHOT_DIR is not set";
    QDir().mkpath(out);
    QTemporaryDir tmp;
    AppConfig config(tmp.filePath("config.ini"), tmp.filePath("docs"));
    const QString source = tmp.filePath("20261208_235900.raw");
    { QFile f(source); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }

    for (const QString& lang : {QStringLiteral("en"), QStringLiteral("zh")}) {
        QTranslator* translator = language::installTranslator(lang);
        ASSERT_NE(translator, nullptr);

        OvCutRawFile cut;
        cut.setStartTime(2147484000ull);
        cut.setEndTime(2152484000ull);
        cut.setSaveDir(config.outputRawFilePath());
        cut.setFileName("20261209_011502.raw");
        cut.setSourceRecording(source);
        shoot(cut, out, "cut_" + lang);
        cut.setStartTime(2152484000ull);  // start not below end
        shoot(cut, out, "cut_invalid_" + lang);
        cut.setStartTime(2147484000ull);
        cut.setSaveDir(tmp.path());
        cut.setFileName(QFileInfo(source).fileName());
        shoot(cut, out, "cut_refused_" + lang);

        // The question before an existing file is replaced.
        cut.setFileName("20261209_000102.raw");
        { QFile f(tmp.filePath("20261209_000102.raw")); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
        cut.show();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<OVMessageBox*>(w);
                if (box && box->isVisible() && QTest::qWaitForWindowExposed(box)) {
                    poll.stop();
                    QTest::qWait(200);
                    save(*box, out, "replace_question_" + lang);
                    box->reject();
                }
            }
        });
        poll.start(20);
        QMetaObject::invokeMethod(cut.findChild<QPushButton*>("pb_save"), "click");
        poll.stop();
        cut.hide();

        OvExportVideoUI exporter;
        exporter.setStartTime(0);
        exporter.setEndTime(5000000);
        exporter.setSaveDir(config.videoSavePath());
        exporter.setFileName("20261209_011502.mp4");
        exporter.setSourceRecording(source);
        shoot(exporter, out, "export_" + lang);
        exporter.setMode("time-surface");
        exporter.setTheme("dark");
        exporter.setAccumulationUs(50000);
        shoot(exporter, out, "export_video_options_" + lang);
        exporter.setKind("hdf5");
        shoot(exporter, out, "export_h5_" + lang);
        exporter.setFileName("20261209_011502.txt");
        shoot(exporter, out, "export_unknown_kind_" + lang);
        exporter.setFileName("20261209_011502.mp4");
        exporter.setSaveDir(tmp.path());
        exporter.setFileName("20261208_235900.mp4");
        shoot(exporter, out, "export_refused_" + lang);

        OvGeneralSetting general(&config);
        shoot(general, out, "general_" + lang);

        std::vector<orvane::CameraDescription> descs(2);
        descs[0].serial = "KES-00000001";
        descs[1].serial = "TND-00000002";
        CamerasList cameras(descs);
        shoot(cameras, out, "cameras_" + lang);
        CamerasList none({});
        shoot(none, out, "cameras_empty_" + lang);

        QWidget holder;
        holder.setStyleSheet("background-color: #F5F6F7;");
        auto* layout = new QVBoxLayout(&holder);
        auto* three = new OvThreeHandleSlider(&holder);
        auto* one = new OvThreeHandleSlider(&holder, Qt::Horizontal, 1);
        auto* off = new OvThreeHandleSlider(&holder);
        for (OvThreeHandleSlider* s : {three, one, off}) {
            layout->addWidget(s);
            s->setMinimum(qint64(1) << 33);
            s->setMaximum((qint64(1) << 33) + 60000000);
            s->setLowerValue((qint64(1) << 33) + 10000000);
            s->setUpperValue((qint64(1) << 33) + 45000000);
            s->setCenterValue((qint64(1) << 33) + 25000000);
        }
        off->setEnabled(false);
        holder.resize(600, 130);
        shoot(holder, out, "timeline_" + lang);

        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}
