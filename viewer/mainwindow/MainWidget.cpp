#include "MainWidget.h"

#include "AppConfig.h"
#include "BackgroundTask.h"
#include "CamerasList.h"
#include "FramelessWindowAgent.h"
#include "Language.h"
#include "OVMessageBox.h"
#include "OvCutRawFile.h"
#include "OvExportVideoUI.h"
#include "OvFilePathReminderForm.h"
#include "OvFusionCameraDataProcessor.h"
#include "OvGeneralSetting.h"
#include "OvGraphicsView.h"
#include "OvThreeHandleSlider.h"
#include "OvToolTip.h"
#include "PanelSourceState.h"
#include "PlaybackEngine.h"
#include "PlaybackText.h"
#include "RecordingControl.h"
#include "ShowImageForm.h"
#include "SidebarApsSettingUI.h"
#include "SidebarCameraSettingUI.h"
#include "SidebarDvsSettingUI.h"
#include "SourceMonitor.h"
#include "ui_MainWidget.h"

#include "orvane/driver/DvsCameraPrivate.h"
#include "orvane/driver/DvsFileReader.h"
#include "orvane/driver/FusionCameraPrivate.h"
#include "orvane/driver/RawFileReader.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QRegion>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>

#include <exception>
#include <mutex>

namespace {

const char* const kMenuStyle =
    "QMenu { background-color: #FFFFFF; border: 1px solid #D0D0D0; border-radius: 4px; padding: 4px 0px; "
    "font-family: \"Noto Sans SC Medium\"; font-size: 13px; }\n"
    "QMenu::item { min-height: 30px; max-height: 30px; padding: 0px 28px 0px 16px; color: #555555; "
    "background: transparent; }\n"
    "QMenu::item:selected { background-color: #E1E9ED; color: #004B6A; }\n"
    "QMenu::item:disabled { color: #B0B0B0; }\n"
    "QMenu::indicator { width: 14px; height: 14px; left: 6px; }";

const char* const kMakerSite = "https://orvane.io";
constexpr int kSettingPanelWidth = 500;

QMenu* makeMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    menu->setAttribute(Qt::WA_TranslucentBackground);
    menu->setStyleSheet(QString::fromLatin1(kMenuStyle));
    return menu;
}

QString rateText(uint64_t eps)
{
    if (eps >= 1000000)
        return QStringLiteral("%1 Mev/s").arg(double(eps) / 1e6, 0, 'f', 2);
    if (eps >= 1000)
        return QStringLiteral("%1 kev/s").arg(double(eps) / 1e3, 0, 'f', 1);
    return QStringLiteral("%1 ev/s").arg(eps);
}

QString bytesText(uint64_t bytes)
{
    if (bytes >= (uint64_t(1) << 20))
        return QStringLiteral("%1 MiB").arg(double(bytes) / double(1 << 20), 0, 'f', 1);
    if (bytes >= 1024)
        return QStringLiteral("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 B").arg(bytes);
}

bool isEventCameraProduct(const std::string& product)
{
    return product == "EVK4" || product == "Kestrel";
}

// The files a job must never write over: the open recording, its index and its video.
bool isPartOfRecording(const QString& output, const QString& rawPath)
{
    if (rawPath.isEmpty())
        return false;
    const QFileInfo raw(rawPath);
    const QString base = raw.absolutePath() + QLatin1Char('/') + raw.completeBaseName();
    const QString out = QFileInfo(output).absoluteFilePath();
    const QString canonical = QFileInfo(output).canonicalFilePath();
    for (const QString& own : {raw.absoluteFilePath(), base + QStringLiteral(".ovmark.tmp"), base + QStringLiteral(".mp4")}) {
        if (out == own)
            return true;
        if (!canonical.isEmpty() && canonical == QFileInfo(own).canonicalFilePath())
            return true;
    }
    return false;
}

}  // namespace

MainWidget::MainWidget(AppConfig* config, QWidget* parent)
    : QWidget(parent), ui(new Ui::MainWidget), config_(config), agent_(nullptr), texts_(translatedMenuTexts()),
      engine_(new PlaybackEngine(accumulator_, this)), recording_(new RecordingControl(this)),
      monitor_(new SourceMonitor(this)), slider_(nullptr)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    registerOvMessageType();
    ui->setupUi(this);
    agent_ = new FramelessWindowAgent(this);
    agent_->setTitleBar(ui->widget_title_space);
    agent_->setSystemButton(FramelessWindowAgent::WindowIcon, ui->pb_logo_button);
    agent_->setSystemButton(FramelessWindowAgent::Minimize, ui->pb_win_min);
    agent_->setSystemButton(FramelessWindowAgent::Maximize, ui->pb_win_max);
    agent_->setSystemButton(FramelessWindowAgent::Close, ui->pb_win_close);
    connect(agent_, &FramelessWindowAgent::maximizedChanged, this, &MainWidget::maximizedChanged);

    QFile qss(QStringLiteral(":/windowbar/dark-style.qss"));
    if (qss.open(QIODevice::ReadOnly | QIODevice::Text))
        titleBarBaseStyle_ = QString::fromUtf8(qss.readAll());
    else
        qWarning() << "Title bar style not found.";
    ui->pb_win_max->setProperty("type", QStringLiteral("maxsize"));
    applyTitleBarStyle(false);
    // Keys belong to the window: the view would take the arrows to scroll.
    imageView()->view()->setFocusPolicy(Qt::NoFocus);
    setFocus();

    buildMenus();
    buildPlayBar();
    buildSidePanels();

    connect(this, &MainWidget::triggerEventsToShow, this, qOverload<>(&MainWidget::getEventsToShow));
    connect(this, &MainWidget::triggerShowPixmap, this, qOverload<QPixmap*>(&MainWidget::getEventsToShow));
    connect(this, &MainWidget::setShowCameraLiveUI, this, &MainWidget::showCameraPlayingUI);
    connect(this, &MainWidget::resetShowCameraFormTitle, this, &MainWidget::setShowTitleInfo);
    connect(this, &MainWidget::toShowCameraSerial, this, &MainWidget::showCameraSerial);
    connect(this, &MainWidget::toShowCameraTimestamp, this, &MainWidget::showTimeStamp);
    connect(this, &MainWidget::signalShowLeftBottomTips, this, &MainWidget::slotShowLeftBottomTips);

    // The engine's loops run on their own threads: what they say arrives queued. Pictures are
    // always queued (newest wins); positions from the GUI thread's own commands apply at once.
    connect(engine_, &PlaybackEngine::pictureReady, this, &MainWidget::triggerEventsToShow, Qt::QueuedConnection);
    connect(engine_, &PlaybackEngine::positionChanged, this, [this](quint64 position) {
        if (engine_->mode() == PlaybackEngine::RawFile)
            slotShowFilePlayProgress(position, engine_->fileEnd());
    });
    connect(
        engine_, &PlaybackEngine::filePlayEnded, this,
        [this] {
            engine_->joinEndedLoops();
            monitor_->stop();
            ui->pb_play->setChecked(false);
        },
        Qt::QueuedConnection);
    connect(engine_, &PlaybackEngine::cameraLost, this, &MainWidget::onCameraLost, Qt::QueuedConnection);
    connect(
        engine_, &PlaybackEngine::playbackFailed, this,
        [this](const QString& reason) {
            engine_->joinEndedLoops();
            ui->pb_play->setChecked(false);
            Q_EMIT signalShowLeftBottomTips(reason, MessageError);
        },
        Qt::QueuedConnection);

    connect(recording_, &RecordingControl::clockChanged, ui->lb_recoding_time, &QLabel::setText);
    connect(monitor_, &SourceMonitor::rateChanged, this, &MainWidget::onRateChanged);
    connect(monitor_, &SourceMonitor::dataDropped, this, &MainWidget::onDataDropped);

    connectFusionProcessor();

    if (ScopeStats::enabledByEnvironment())
        stats_ = new ScopeStats(
            [this] {
                return ScopeStats::Totals{engine_->picturesBuilt() + fusionProcessor_->builtPictures(),
                                          engine_->eventsPainted() + fusionProcessor_->paintedEvents(),
                                          monitor_->rate(), monitor_->dropped()};
            },
            this);

    ui->label_show_play_text3->hide();
    ui->label_show_rate_info->hide();
    ui->label_show_dropped_info->hide();
    showCameraPlayingUI(true);
    ui->label_time->setText(QStringLiteral("--/ --"));
}

MainWidget::~MainWidget()
{
    // Loops and recordings end before the window's parts go.
    if (recording_->active())
        stopRecordingAndReport();
    engine_->stopLive();
    engine_->stopFilePlay();
    engine_->dropCamera();
    stopFusionSource();
    delete fusionProcessor_;
    delete ui;
}

ShowImageForm* MainWidget::imageView() const
{
    return ui->widget_show_image;
}

int32_t MainWidget::mode() const
{
    return engine_->mode();
}

MainWidget::MenuTexts MainWidget::translatedMenuTexts()
{
    return {tr("Open Camera"),     tr("Open Recording"), tr("Save as..."), tr("Cut Recording"),
            tr("Quit"),            tr("General Setting"), QStringLiteral("EN/中文"), tr("About us"),
            tr("Toggle Start/End Point")};
}

// ---- construction

void MainWidget::buildMenus()
{
    menuDevice_ = makeMenu(this);
    connect(menuDevice_->addAction(texts_.openCamera), &QAction::triggered, this, &MainWidget::slotOpenCamera);
    ui->pb_menu_device->setMenu(menuDevice_);

    menuFile_ = makeMenu(this);
    connect(menuFile_->addAction(texts_.openRecording), &QAction::triggered, this, &MainWidget::slotOpenRecording);
    connect(menuFile_->addAction(texts_.saveAs), &QAction::triggered, this, &MainWidget::slotSaveAs);
    connect(menuFile_->addAction(texts_.cutRecording), &QAction::triggered, this, &MainWidget::slotCutRecording);
    menuFile_->addAction(texts_.quit);
    ui->pb_menu_file->setMenu(menuFile_);

    menuSetting_ = makeMenu(this);
    menuSetting_->addAction(texts_.generalSetting);
    menuSetting_->addAction(texts_.language);
    ui->pb_menu_setting->setMenu(menuSetting_);

    menuHelp_ = makeMenu(this);
    menuHelp_->addAction(texts_.aboutUs);
    ui->pb_menu_help->setMenu(menuHelp_);

    for (QMenu* menu : {menuDevice_, menuFile_, menuSetting_, menuHelp_})
        connect(menu, &QMenu::triggered, this, &MainWidget::openActionSlot);

    // The slider starts with its three handles, so the entry starts checked.
    menuViewerSetting_ = makeMenu(this);
    actionStartEnd_ = menuViewerSetting_->addAction(texts_.toggleStartEnd);
    actionStartEnd_->setCheckable(true);
    actionStartEnd_->setChecked(true);
    connect(actionStartEnd_, &QAction::triggered, this, &MainWidget::slotStartEndPointEditable);
    connect(menuViewerSetting_, &QMenu::aboutToHide, this, [this] { ui->pb_viewer_setting->setChecked(false); });
}

void MainWidget::buildPlayBar()
{
    slider_ = new OvThreeHandleSlider(this, Qt::Horizontal, 3);
    slider_->setObjectName(QStringLiteral("slider_time"));
    slider_->setCenterValue(0);
    slider_->setEnabled(false);
    ui->layout_time_slider->addWidget(slider_);
    connect(slider_, &OvThreeHandleSlider::centerValueTrackClick, this, &MainWidget::onSliderTimeTrackClick);
    connect(slider_, &OvThreeHandleSlider::centerValueMove, this, &MainWidget::onSliderTimeMove);
    const auto rangeToEngine = [this] {
        engine_->setRange(uint64_t(std::max<qint64>(slider_->lowerValue(), 0)),
                          uint64_t(std::max<qint64>(slider_->upperValue(), 0)));
    };
    connect(slider_, &OvThreeHandleSlider::lowerValueChanged, this, rangeToEngine);
    connect(slider_, &OvThreeHandleSlider::upperValueChanged, this, rangeToEngine);
    connect(slider_, &OvThreeHandleSlider::rangeChanged, this, rangeToEngine);

    ui->pb_viewer_type->hide();
    ui->widget_line_1->hide();
    ui->pb_fold_aps_setting->hide();

    const std::pair<QPushButton*, QString> tips[] = {
        {ui->pb_play, tr("Play/Stop")},
        {ui->pb_record, tr("Start/Stop recording")},
        {ui->pb_prv, tr("Previous frame")},
        {ui->pb_next, tr("Next frame")},
        {ui->pb_stop, tr("Reset the playback progress to the beginning")},
        {ui->pb_loop, tr("Select to automatically replay at the end of the playback")},
    };
    for (const auto& [button, text] : tips) {
        auto* tip = new OvToolTip(text, OvToolTip::CenterAbove, this);
        tip->attach(button);
    }
}

void MainWidget::buildSidePanels()
{
    cameraPanel_ = new SidebarCameraSettingUI(ui->widget_setting_panels);
    dvsPanel_ = new SidebarDvsSettingUI(ui->widget_setting_panels);
    apsPanel_ = new SidebarApsSettingUI(ui->widget_setting_panels);
    for (QWidget* panel : {static_cast<QWidget*>(cameraPanel_), static_cast<QWidget*>(dvsPanel_),
                           static_cast<QWidget*>(apsPanel_)}) {
        ui->layout_sidebar_setting->addWidget(panel);
        panel->hide();
    }
    // Direct: the settings reach the engine at once, in the panel's (the GUI) thread.
    connect(cameraPanel_, &SidebarCameraSettingUI::signalFpsChanged, this, &MainWidget::slotFpsChanged, Qt::DirectConnection);
    connect(cameraPanel_, &SidebarCameraSettingUI::signalCumulativeTimeChanged, this,
            &MainWidget::slotCumulativeTimeChanged, Qt::DirectConnection);
    connect(dvsPanel_, &SidebarDvsSettingUI::signalFpsChanged, this, &MainWidget::slotFpsChanged, Qt::DirectConnection);
    connect(dvsPanel_, &SidebarDvsSettingUI::signalCumulativeTimeChanged, this,
            &MainWidget::slotCumulativeTimeChanged, Qt::DirectConnection);
    ui->widget_setting_panels->hide();
    ui->frame_setting->setMaximumWidth(ui->widget_side_bar->maximumWidth());
    setPanelsState(PanelSourceState::NoCamera, PanelSourceState::NoCamera);
}

void MainWidget::showSidePanel(int which, bool show)
{
    QPushButton* buttons[] = {ui->pb_fold_setting, ui->pb_fold_dvs_setting, ui->pb_fold_aps_setting};
    QWidget* panels[] = {cameraPanel_, dvsPanel_, apsPanel_};
    for (int i = 0; i < 3; ++i) {
        const bool on = show && i == which;
        buttons[i]->setChecked(on);
        panels[i]->setVisible(on);
    }
    ui->widget_setting_panels->setVisible(show);
    ui->frame_setting->setMaximumWidth(show ? kSettingPanelWidth : ui->widget_side_bar->maximumWidth());
    ui->frame_setting->setMinimumWidth(show ? kSettingPanelWidth : 0);
}

void MainWidget::setPanelsState(PanelSourceState cameraPanel, PanelSourceState sensorPanels)
{
    cameraPanel_->setSourceState(cameraPanel);
    dvsPanel_->setSourceState(sensorPanels);
    apsPanel_->setSourceState(sensorPanels == PanelSourceState::Camera && fusionCamera ? PanelSourceState::Camera
                                                                                        : PanelSourceState::NoCamera);
}

void MainWidget::handCameraToolsToPanels()
{
    const orvane::CameraBase* camera = eventCamera ? static_cast<const orvane::CameraBase*>(eventCamera.get())
                                                   : static_cast<const orvane::CameraBase*>(fusionCamera.get());
    if (!camera)
        return;
    // getTool logs and answers empty for a tool the camera lacks; the panel then leaves the section out.
    dvsPanel_->setBiasesToolUI(camera->getTool(orvane::TOOL_BIASES));
    dvsPanel_->setTriggerInToolUI(camera->getTool(orvane::TOOL_TRIGGER_IN));
    dvsPanel_->setAntiFlickerToolUI(camera->getTool(orvane::TOOL_ANTI_FLICKER));
    dvsPanel_->setEventRateControlToolUI(camera->getTool(orvane::TOOL_EVENT_RATE_CONTROL));
    dvsPanel_->setEventTrailFilterToolUI(camera->getTool(orvane::TOOL_EVENT_TRAIL_FILTER));
    dvsPanel_->setROIToolUI(camera->getTool(orvane::TOOL_ROI));
    if (fusionCamera)
        apsPanel_->setApsToolUI(fusionCamera->getTool(orvane::TOOL_APS_CTRL));
}

// ---- menus and window

QMenu* MainWidget::menuOf(const QString& buttonName) const
{
    if (buttonName == QLatin1String("pb_menu_device"))
        return menuDevice_;
    if (buttonName == QLatin1String("pb_menu_file"))
        return menuFile_;
    if (buttonName == QLatin1String("pb_menu_setting"))
        return menuSetting_;
    if (buttonName == QLatin1String("pb_menu_help"))
        return menuHelp_;
    if (buttonName == QLatin1String("pb_viewer_setting"))
        return menuViewerSetting_;
    return nullptr;
}

void MainWidget::openActionSlot(QAction* action)
{
    const QString text = action->text();
    if (text == texts_.quit) {
        close();
    } else if (text == texts_.language) {
        if (config_)
            language::askAndChangeLanguage(this, *config_);
    } else if (text == texts_.aboutUs) {
        OVMessageBox box(tr("Is it open in the browser?"), tr("Tips"), tr("Open"), tr("Close"), this);
        if (box.exec() == QDialog::Accepted)
            QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerSite)));
    } else if (text == texts_.generalSetting) {
        if (config_) {
            OvGeneralSetting dialog(config_, this);
            dialog.exec();
        }
    }
}

void MainWidget::on_pb_win_min_clicked()
{
    showMinimized();
}

void MainWidget::on_pb_win_max_clicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
    applyTitleBarStyle(isMaximized());
}

void MainWidget::on_pb_win_close_clicked()
{
    close();
}

void MainWidget::maximizedChanged(bool max)
{
    ui->pb_win_max->setProperty("type", max ? QStringLiteral("restore") : QStringLiteral("maxsize"));
    applyTitleBarStyle(max);
    updateWindowMask();
}

void MainWidget::applyTitleBarStyle(bool maximized)
{
    const QString corners = maximized ? QStringLiteral("0px") : QStringLiteral("6px");
    ui->widget_title_bar->setStyleSheet(titleBarBaseStyle_ +
                                        QStringLiteral("\n#widget_title_bar { border-top-left-radius: %1; "
                                                       "border-top-right-radius: %1; border-bottom: 1px solid #AAAAAA; }")
                                            .arg(corners));
    // A changed dynamic property only shows after the style is applied again.
    ui->pb_win_max->style()->unpolish(ui->pb_win_max);
    ui->pb_win_max->style()->polish(ui->pb_win_max);
}

void MainWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateWindowMask();
}

void MainWidget::updateWindowMask()
{
    // Without a window manager's frame the title bar's rounded top corners need the window's
    // own shape to show (a compositor is not always there for a translucent window).
    if (isMaximized() || isFullScreen()) {
        clearMask();
        return;
    }
    const int r = 6;
    QRegion shape(0, r, width(), height() - r);
    shape += QRegion(r, 0, width() - 2 * r, r);
    shape += QRegion(0, 0, 2 * r, 2 * r, QRegion::Ellipse);
    shape += QRegion(width() - 2 * r, 0, 2 * r, 2 * r, QRegion::Ellipse);
    setMask(shape);
}

void MainWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!startupDone_) {
        startupDone_ = true;
        if (!startupFile_.isEmpty() || !startupCamera_.isEmpty())
            QTimer::singleShot(0, this, &MainWidget::openStartupSource);
    }
    if (centred_ || isMaximized())
        return;
    centred_ = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        if (width() > area.width() || height() > area.height())
            resize(size().boundedTo(area.size()));
        move(area.center() - rect().center());
    }
}

void MainWidget::openStartupSource()
{
    if (!startupCamera_.isEmpty())
        openCameraSerial(startupCamera_);
    else if (!startupFile_.isEmpty())
        openRecordingPath(startupFile_);
}

void MainWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void MainWidget::retranslate()
{
    ui->retranslateUi(this);
    const MenuTexts old = texts_;
    texts_ = translatedMenuTexts();
    const std::pair<QString, QString> renames[] = {
        {old.openCamera, texts_.openCamera},         {old.openRecording, texts_.openRecording},
        {old.saveAs, texts_.saveAs},                 {old.cutRecording, texts_.cutRecording},
        {old.quit, texts_.quit},                     {old.generalSetting, texts_.generalSetting},
        {old.aboutUs, texts_.aboutUs},               {old.toggleStartEnd, texts_.toggleStartEnd}};
    for (QMenu* menu : {menuDevice_, menuFile_, menuSetting_, menuHelp_, menuViewerSetting_})
        for (QAction* action : menu->actions())
            for (const auto& [from, to] : renames)
                if (action->text() == from) {
                    action->setText(to);
                    break;
                }
}

void MainWidget::closeEvent(QCloseEvent* event)
{
    // A running recording is finished and reported before the window goes.
    if (ui->pb_play->isChecked())
        on_pb_play_clicked();
    if (recording_->active())
        stopRecordingAndReport();
    QWidget::closeEvent(event);
}

void MainWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat() && event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        ui->pb_play->click();
        break;
    case Qt::Key_Left:
        on_pb_prv_clicked();
        break;
    case Qt::Key_Right:
        on_pb_next_clicked();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void MainWidget::dragEnterEvent(QDragEnterEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".raw"), Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            return;
        }
}

void MainWidget::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".raw"), Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            const QString path = url.toLocalFile();
            // Opened after the drop returns, so the source's drag ends first.
            QTimer::singleShot(0, this, [this, path] { openRecordingPath(path); });
            return;
        }
}

// ---- toasts

void MainWidget::slotShowLeftBottomTips(QString tips, OvMessageType type, QString file_path)
{
    auto* toast = new OvFilePathReminderForm(tips, type, file_path);
    toast->adjustSize();
    // Toasts still up stack upwards, so a new one never hides an older one.
    int y = this->y() + height() - toast->height();
    toasts_.removeAll(nullptr);
    for (const QPointer<OvFilePathReminderForm>& other : toasts_)
        if (other && other->isVisible())
            y = std::min(y, other->y() - toast->height() - 4);
    toast->move(x(), y);
    toast->show();
    toasts_.append(toast);
}

// ---- opening sources

void MainWidget::stopCurrentSource()
{
    if (recording_->active())
        stopRecordingAndReport();
    if (ui->pb_play->isChecked())
        ui->pb_play->click();
    stopFusionSource();
    engine_->stopLive();
    engine_->stopFilePlay();
    monitor_->stop();
    engine_->dropCamera();
    engine_->dropReader();
    eventCamera.reset();
    rawReader.reset();
    rawPath_.clear();
    engine_->setMode(PlaybackEngine::None);
    ui->lb_title->setText(QStringLiteral("OrvaneScope"));
    ui->label_show_play_text->setText(tr("Camera: "));
    ui->label_show_camera_info->clear();
    ui->label_show_play_text2->show();
    ui->label_show_timestamp_info->clear();
    ui->label_show_timestamp_info->show();
    ui->label_show_rate_info->clear();
    ui->label_show_dropped_info->hide();
    ui->label_show_rate_info->hide();
    ui->label_show_play_text3->hide();
    droppedWarned_ = false;
}

void MainWidget::slotOpenCamera()
{
    if (ui->pb_play->isChecked())
        ui->pb_play->click();
    qDebug() << "Search cameras ...";
    std::vector<orvane::CameraDescription> descs;
    try {
        descs = cameraManager_.getCameraDescs();
    } catch (const std::exception& e) {
        Q_EMIT signalShowLeftBottomTips(tr("Searching for cameras failed: %1").arg(QString::fromLocal8Bit(e.what())),
                                        MessageError);
        return;
    }
    qDebug() << "Search end ... find: " << descs.size();
    CamerasList list(descs, this);
    int index = -1;
    if (list.exec() != QDialog::Accepted || !list.selectedIndex(index) || index < 0 || size_t(index) >= descs.size())
        return;
    openCameraDescription(descs[size_t(index)]);
}

bool MainWidget::openCameraSerial(const QString& serial)
{
    std::vector<orvane::CameraDescription> descs;
    try {
        descs = cameraManager_.getCameraDescs();
    } catch (const std::exception& e) {
        Q_EMIT signalShowLeftBottomTips(tr("Searching for cameras failed: %1").arg(QString::fromLocal8Bit(e.what())),
                                        MessageError);
        return false;
    }
    for (const orvane::CameraDescription& desc : descs)
        if (QString::fromStdString(desc.serial) == serial)
            return openCameraDescription(desc);
    Q_EMIT signalShowLeftBottomTips(tr("Camera not found: %1").arg(serial), MessageError);
    return false;
}

bool MainWidget::openCameraDescription(const orvane::CameraDescription& desc)
{
    const QString serial = QString::fromStdString(desc.serial);
    qDebug() << "Select camera: " << serial << " product: " << QString::fromStdString(desc.product);
    if (desc.product == "Tandem")
        return openFusionCameraSource(desc);
    if (!isEventCameraProduct(desc.product)) {
        stopCurrentSource();
        Q_EMIT signalShowLeftBottomTips(tr("Open camera: ") + serial + tr("failed."), MessageError);
        return false;
    }

    stopCurrentSource();
    engine_->setMode(PlaybackEngine::EventCamera);
    std::shared_ptr<orvane::DvsCamera> camera;
    QString failure;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage&) {
        try {
            camera = cameraManager_.openCamera(desc.serial);
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
        }
    });
    if (!camera) {
        qDebug() << "Open camera failed:" << failure;
        Q_EMIT signalShowLeftBottomTips(tr("Open camera: ") + serial + tr("failed."), MessageError);
        return false;
    }
    eventCamera = camera;
    engine_->setCamera(camera);
    return startOpenedCamera(serial, 0);
}

// What opening any camera ends with: the window in its camera form, the panels given the camera's
// tools, and streaming started as if the user pressed play.
bool MainWidget::startOpenedCamera(const QString& serial, int viewerType)
{
    ui->label_show_play_text->setText(tr("Camera: "));
    ui->label_show_play_text2->show();
    ui->label_show_timestamp_info->show();
    Q_EMIT setShowCameraLiveUI(true);
    Q_EMIT resetShowCameraFormTitle(true);
    Q_EMIT toShowCameraSerial(serial);
    viewerType_ = viewerType;
    handCameraToolsToPanels();
    setPanelsState(PanelSourceState::Camera, PanelSourceState::Camera);
    ui->pb_play->click();
    return ui->pb_play->isChecked();
}

void MainWidget::slotOpenRecording()
{
    const QString start = config_ ? config_->inputRawFilePath() : QString();
    const QString path = QFileDialog::getOpenFileName(this, tr("Select a raw file"), start, tr("RAW files (*.raw)"));
    if (path.isEmpty())
        return;
    openRecordingPath(path);
}

bool MainWidget::openRecordingPath(const QString& path)
{
    const QFileInfo file(path);
    if (config_)
        config_->setInputRawFilePath(file.absolutePath());
    const QString mp4 = QStringLiteral("%1/%2.mp4").arg(file.absolutePath(), file.completeBaseName());
    if (QFileInfo::exists(mp4))
        return openFusionRecordingSource(file.absoluteFilePath(), mp4);
    return openRawRecording(file);
}

// The driver's reason, naming the file by its name rather than its whole path.
QString MainWidget::recordingFailureText(const QFileInfo& file, const orvane::RecordingError& error)
{
    QString text = QString::fromStdString(error.message);
    text.replace(QStringLiteral("'%1'").arg(QString::fromLocal8Bit(QFile::encodeName(file.absoluteFilePath()))),
                 QStringLiteral("'%1'").arg(file.fileName()));
    return text;
}

bool MainWidget::openRawRecording(const QFileInfo& file)
{
    std::shared_ptr<orvane::DvsFileReader> reader;
    try {
        reader = orvane::DvsFileReader::createFileReader(QFile::encodeName(file.absoluteFilePath()).toStdString());
    } catch (const std::exception& e) {
        qDebug() << "createFileReader:" << e.what();
    }
    if (!reader) {
        qDebug() << "not raw file.";
        Q_EMIT signalShowLeftBottomTips(tr("Not a raw recording: %1").arg(file.fileName()), MessageError);
        return false;
    }
    // The new file is loaded before the old source stops: a file that cannot be opened changes nothing.
    auto* raw = dynamic_cast<orvane::RawFileReader*>(reader.get());
    orvane::RecordingError error;
    uint64_t start = 0;
    uint64_t end = 0;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage& message) {
        message(tr("Opening %1 ...").arg(file.fileName()));
        error = raw ? raw->open() : orvane::RecordingError{orvane::RecordingError::Kind::Io, "not a raw reader", 0};
        if (!error) {
            reader->getStartTimeStamp(start);
            reader->getEndTimeStamp(end);
        }
    });
    if (error) {
        Q_EMIT signalShowLeftBottomTips(recordingFailureText(file, error), MessageError);
        return false;
    }

    stopCurrentSource();
    rawReader = reader;
    rawPath_ = file.absoluteFilePath();
    engine_->setMode(PlaybackEngine::RawFile);
    engine_->setReader(reader, start, end);
    accumulator_.clear();
    showOpenedRecording(file, start, end);
    engine_->setRange(uint64_t(slider_->lowerValue()), uint64_t(slider_->upperValue()));
    ui->pb_play->click();
    setPanelsState(PanelSourceState::File, PanelSourceState::NoCamera);
    return true;
}

// ---- playing

void MainWidget::on_pb_play_clicked()
{
    switch (engine_->mode()) {
    case PlaybackEngine::EventCamera:
        if (engine_->playing()) {
            // A stopped camera delivers nothing: the recording ends here, saved and said so,
            // rather than running on with a silent gap.
            if (recording_->active())
                stopRecordingAndReport();
            engine_->stopLive();
            monitor_->stop();
            ui->pb_play->setChecked(false);
            return;
        }
        switch (engine_->startLive()) {
        case PlaybackEngine::LiveStart::Started:
            ui->pb_play->setChecked(true);
            watchSource();
            break;
        case PlaybackEngine::LiveStart::NoCamera:
            ui->pb_play->setChecked(false);
            Q_EMIT signalShowLeftBottomTips(tr("Please connect camera first."), MessageWarning);
            break;
        case PlaybackEngine::LiveStart::StartFailed:
            ui->pb_play->setChecked(false);
            Q_EMIT signalShowLeftBottomTips(tr("The camera did not start. Please check the camera connection."),
                                            MessageError);
            break;
        }
        return;
    case PlaybackEngine::RawFile:
        if (engine_->playing()) {
            ui->pb_play->setChecked(false);
            engine_->stopFilePlay();
            monitor_->stop();
            return;
        }
        if (!engine_->startFilePlay()) {
            ui->pb_play->setChecked(false);
            return;
        }
        ui->pb_play->setChecked(true);
        watchSource();
        return;
    case PlaybackEngine::FusionCamera:
    case PlaybackEngine::FusionFile:
        toggleFusionPlayback();
        return;
    default:
        ui->pb_play->setChecked(false);
        return;
    }
}

void MainWidget::watchSource()
{
    SourceMonitor::Probe probe;
    if (engine_->mode() == PlaybackEngine::EventCamera) {
        probe.eventsDelivered = [engine = engine_] { return engine->cameraEventsDelivered(); };
        if (auto* camera = dynamic_cast<orvane::DvsCameraPrivate*>(eventCamera.get())) {
            std::weak_ptr<orvane::DvsCamera> weak = eventCamera;
            probe.droppedBytes = [weak, camera]() -> uint64_t { return weak.lock() ? camera->droppedBytes() : 0; };
        }
    } else if (engine_->mode() == PlaybackEngine::RawFile) {
        probe.eventRate = [engine = engine_] { return engine->fileEventRate(); };
    } else if (engine_->mode() == PlaybackEngine::FusionCamera) {
        probe.eventsDelivered = [processor = fusionProcessor_] { return processor->deliveredEvents(); };
        if (auto* camera = dynamic_cast<orvane::FusionCameraPrivate*>(fusionCamera.get())) {
            std::weak_ptr<orvane::FusionCamera> weak = fusionCamera;
            probe.droppedBytes = [weak, camera]() -> uint64_t { return weak.lock() ? camera->droppedDvsBytes() : 0; };
        }
    }
    if (!monitor_->watching())
        monitor_->watch(probe);
    ui->label_show_play_text3->show();
    ui->label_show_rate_info->show();
}

void MainWidget::onRateChanged(quint64 eventsPerSecond)
{
    // A paused source has no rate; "0 ev/s" would read as a silent sensor or an empty file.
    ui->label_show_rate_info->setText(engine_->playing() || eventsPerSecond > 0 ? rateText(eventsPerSecond)
                                                                                : QStringLiteral("-"));
}

void MainWidget::onDataDropped(quint64 bytes)
{
    ui->label_show_dropped_info->setText(tr(" | Dropped: %1").arg(bytesText(bytes)));
    ui->label_show_dropped_info->show();
    if (!droppedWarned_) {
        droppedWarned_ = true;
        Q_EMIT signalShowLeftBottomTips(
            tr("The camera dropped %1 of data: the computer did not take it in time.").arg(bytesText(bytes)),
            MessageWarning);
    }
}

void MainWidget::onCameraLost()
{
    engine_->joinEndedLoops();
    monitor_->stop();
    ui->pb_play->setChecked(false);
    if (recording_->active())
        stopRecordingAndReport();
    Q_EMIT signalShowLeftBottomTips(tr("Camera connection lost."), MessageError);
}

// Transport commands read the recording on the GUI thread; a read that throws (a file changed or
// truncated under us) becomes a toast instead of escaping the slot.
void MainWidget::readRecording(const std::function<void()>& read)
{
    try {
        read();
    } catch (const std::exception& e) {
        Q_EMIT signalShowLeftBottomTips(tr("Reading the recording failed: %1").arg(QString::fromLocal8Bit(e.what())),
                                        MessageError);
    }
}

void MainWidget::on_pb_stop_clicked()
{
    if (engine_->mode() != PlaybackEngine::RawFile)
        return;
    if (ui->pb_play->isChecked())
        on_pb_play_clicked();
    readRecording([&] { engine_->stopToLower(); });
}

void MainWidget::on_pb_prv_clicked()
{
    if (engine_->mode() != PlaybackEngine::RawFile)
        return;
    if (engine_->playing())
        on_pb_play_clicked();
    readRecording([&] { engine_->previousFrame(); });
}

void MainWidget::on_pb_next_clicked()
{
    if (engine_->mode() != PlaybackEngine::RawFile)
        return;
    if (engine_->playing())
        on_pb_play_clicked();
    readRecording([&] { engine_->nextFrame(); });
}

void MainWidget::on_pb_loop_clicked()
{
    engine_->setLoop(ui->pb_loop->isChecked());
}

void MainWidget::onSliderTimeTrackClick(qint64 value)
{
    if (engine_->mode() != PlaybackEngine::RawFile || value < 0)
        return;
    readRecording([&] { engine_->seekTo(uint64_t(value)); });
}

void MainWidget::onSliderTimeMove(qint64 value)
{
    if (engine_->mode() != PlaybackEngine::RawFile || value < 0)
        return;
    readRecording([&] { engine_->moveTo(uint64_t(value)); });
}

void MainWidget::slotFpsChanged(uint32_t fps)
{
    engine_->setFps(fps);
}

void MainWidget::slotCumulativeTimeChanged(uint64_t time_us)
{
    engine_->setAccumulationTime(time_us);
}

// ---- pictures and labels

void MainWidget::getEventsToShow()
{
    QImage picture;
    uint64_t timestamp = 0;
    if (!engine_->takePicture(picture, timestamp))
        return;
    imageView()->showPixMap(QPixmap::fromImage(picture));
    if (stats_)
        stats_->pictureShown();
    if (engine_->mode() == PlaybackEngine::EventCamera)
        Q_EMIT toShowCameraTimestamp(timestamp);
}

void MainWidget::getEventsToShow(QPixmap* img)
{
    if (!img)
        return;
    imageView()->showPixMap(*img);
    if (stats_)
        stats_->pictureShown();
    if (engine_->mode() == PlaybackEngine::EventCamera)
        Q_EMIT toShowCameraTimestamp(engine_->lastEventTs());
}

void MainWidget::showTimeStamp(uint64_t timestamp_us)
{
    ui->label_show_timestamp_info->setText(formatTime(timestamp_us));
}

void MainWidget::showCameraSerial(QString str)
{
    ui->label_show_camera_info->setText(str);
}

void MainWidget::setShowTitleInfo(bool show)
{
    Q_UNUSED(show);
    ui->label_show_camera_info->clear();
    ui->label_show_timestamp_info->clear();
}

void MainWidget::showCameraPlayingUI(bool en)
{
    for (QWidget* w : {static_cast<QWidget*>(ui->pb_loop), static_cast<QWidget*>(ui->pb_next),
                       static_cast<QWidget*>(ui->pb_prv), static_cast<QWidget*>(ui->pb_stop),
                       static_cast<QWidget*>(slider_)})
        w->setEnabled(!en);
    if (en) {
        slider_->setCenterValue(0);
        ui->label_time->setText(QStringLiteral("--/--"));
    } else {
        slider_->setCenterValue(slider_->lowerValue());
    }
}

void MainWidget::setTimeLabel(uint64_t position, uint64_t end)
{
    ui->label_time->setText(formatTime(position) + QLatin1Char('/') + formatTime(end));
}

void MainWidget::slotSetSliderStartTime(uint64_t ts)
{
    slider_->setMinimum(qint64(ts));
}

void MainWidget::slotSetSliderEndTime(uint64_t ts)
{
    slider_->setMaximum(qint64(ts));
}

void MainWidget::slotShowFilePlayProgress(uint64_t cur_ts, uint64_t total_ts)
{
    slider_->setCenterValue(qint64(cur_ts));
    setTimeLabel(cur_ts, total_ts);
}

void MainWidget::slotStartEndPointEditable(bool en)
{
    slider_->setHandleMode(en ? 3 : 1);
    slider_->update();
    engine_->setRange(uint64_t(std::max<qint64>(slider_->lowerValue(), 0)),
                      uint64_t(std::max<qint64>(slider_->upperValue(), 0)));
}

// ---- recording

void MainWidget::on_pb_record_clicked()
{
    const int32_t mode = engine_->mode();
    const bool eventCam = mode == PlaybackEngine::EventCamera && eventCamera && eventCamera->isConnected();
    const bool fusionCam = mode == PlaybackEngine::FusionCamera && fusionCamera && fusionCamera->isConnected();
    if (recording_->active()) {
        stopRecordingAndReport();
        return;
    }
    if (!eventCam && !fusionCam) {
        qDebug() << "Please connect camera first.";
        ui->pb_record->setChecked(false);
        Q_EMIT signalShowLeftBottomTips(tr("Please connect camera first."), MessageWarning);
        return;
    }
    if (eventCam && !engine_->playing()) {
        ui->pb_record->setChecked(false);
        Q_EMIT signalShowLeftBottomTips(tr("Start the camera before recording."), MessageWarning);
        return;
    }
    const QString folder = config_ ? config_->outputRawFilePath() : QString();
    RecordingControl::Result result;
    if (eventCam) {
        std::shared_ptr<orvane::DvsCamera> camera = eventCamera;
        result = recording_->start(folder, [camera](const std::string& path) { return camera->startRecording(path); });
    } else {
        std::shared_ptr<orvane::FusionCamera> camera = fusionCamera;
        result = recording_->start(
            folder, [camera](const std::string& path) { return camera->startRecording(path, orvane::STREAM_BOTH); },
            {QStringLiteral(".mp4")});
    }
    ui->pb_record->setChecked(result.ok);
    if (!result.ok)
        Q_EMIT signalShowLeftBottomTips(result.error, MessageError);
}

void MainWidget::stopRecordingAndReport()
{
    RecordingControl::Result result;
    if (fusionCamera && engine_->mode() == PlaybackEngine::FusionCamera) {
        std::shared_ptr<orvane::FusionCamera> camera = fusionCamera;
        result = recording_->stop([camera] { return camera->stopRecording(orvane::STREAM_BOTH); });
    } else {
        std::shared_ptr<orvane::DvsCamera> camera = eventCamera;
        result = recording_->stop([camera] { return camera ? camera->stopRecording() : -1; });
    }
    ui->pb_record->setChecked(false);
    if (result.ok)
        Q_EMIT signalShowLeftBottomTips(tr("Save file success!"), MessageSuccess, QFileInfo(result.path).absolutePath());
    else
        Q_EMIT signalShowLeftBottomTips(result.error, MessageError);
}

// What opening any recording ends with: the window in its recording form, named after the file, the
// slider over the whole recording with the position at its start.
void MainWidget::showOpenedRecording(const QFileInfo& file, uint64_t start, uint64_t end)
{
    Q_EMIT setShowCameraLiveUI(false);
    Q_EMIT resetShowCameraFormTitle(false);
    ui->lb_title->setText(QStringLiteral("OrvaneScope - %1").arg(file.fileName()));
    // The info bar names the file; the play bar already shows the position.
    ui->label_show_play_text->setText(tr("Recording: "));
    ui->label_show_camera_info->setText(file.fileName());
    ui->label_show_play_text2->hide();
    ui->label_show_timestamp_info->hide();
    setTimeLabel(start, end);
    slotSetSliderEndTime(end);
    slotSetSliderStartTime(start);
    slider_->setCenterValue(qint64(start));
}

// ---- cut and export

// Both dialogs open paused on the slider's range, in their folder, with a fresh name; false when there
// is no recording or the user cancelled.
bool MainWidget::askTimeRange(OvTimeRangeDialog& dialog, const QString& folder, const QString& extension)
{
    if (!rawReader) {
        Q_EMIT signalShowLeftBottomTips(tr("Please open a raw file first."), MessageWarning);
        return false;
    }
    if (engine_->playing())
        on_pb_play_clicked();
    dialog.setStartTime(quint64(std::max<qint64>(slider_->lowerValue(), 0)));
    dialog.setEndTime(quint64(std::max<qint64>(slider_->upperValue(), 0)));
    dialog.setSaveDir(folder);
    dialog.setFileName(timestampedFileName(QDateTime::currentDateTime(), extension));
    dialog.setSourceRecording(rawPath_);
    return dialog.exec() == QDialog::Accepted;
}

void MainWidget::slotCutRecording()
{
    OvCutRawFile dialog(this);
    if (askTimeRange(dialog, config_ ? config_->outputRawFilePath() : QString(), QStringLiteral(".raw")))
        cutRecordingTo(dialog.startTime(), dialog.endTime(), dialog.saveDir(), dialog.fileName());
}

void MainWidget::slotSaveAs()
{
    OvExportVideoUI dialog(this);
    if (askTimeRange(dialog, config_ ? config_->videoSavePath() : QString(), QStringLiteral(".mp4")))
        exportVideoTo(dialog.startTime(), dialog.endTime(), dialog.saveDir(), dialog.fileName());
}

bool MainWidget::cutRecordingTo(quint64 start, quint64 end, const QString& folder, const QString& fileName)
{
    return runFileJob(FileJob::Cut, start, end, folder, fileName);
}

bool MainWidget::exportVideoTo(quint64 start, quint64 end, const QString& folder, const QString& fileName)
{
    return runFileJob(FileJob::Export, start, end, folder, fileName);
}

bool MainWidget::runFileJob(FileJob job, quint64 start, quint64 end, const QString& folder, const QString& fileName)
{
    const bool cut = job == FileJob::Cut;
    const QString failedText = cut ? tr("Cut failed: %1") : tr("Export failed: %1");
    if (!rawReader) {
        Q_EMIT signalShowLeftBottomTips(tr("Please open a raw file first."), MessageWarning);
        return false;
    }
    if (engine_->playing())
        on_pb_play_clicked();
    const QString output = QDir(folder).filePath(fileName);
    QString refusal;
    if (start >= end)
        refusal = tr("the start time must be before the end time");
    else if (end < engine_->fileStart() || start > engine_->fileEnd())
        refusal = tr("the time range lies outside the recording");
    else if (fileName.isEmpty())
        refusal = tr("no file name was given");
    else if (!QFileInfo(folder).isDir())
        refusal = tr("the folder does not exist: %1").arg(folder);
    else if (!QFileInfo(folder).isWritable())
        refusal = tr("the folder is not writable: %1").arg(folder);
    else if (isPartOfRecording(output, rawPath_))
        refusal = tr("it would overwrite the open recording");
    if (!refusal.isEmpty()) {
        Q_EMIT signalShowLeftBottomTips(failedText.arg(refusal), MessageError);
        return false;
    }

    const std::string outPath = output.toUtf8().toStdString();
    std::shared_ptr<orvane::DvsFileReader> reader = rawReader;
    std::mutex& readerLock = engine_->readerLock();
    bool ok = false;
    QString failure;
    const QString progressText = cut ? tr("Cutting: %1 %") : tr("Exporting: %1 %");
    runBehindWaitingWindow(imageView(), [&](const TaskMessage& message) {
        std::lock_guard lock(readerLock);
        auto* raw = dynamic_cast<orvane::RawFileReader*>(reader.get());
        if (raw)
            raw->setProgressCallback([&message, &progressText, last = -1](double share) mutable {
                const int percent = int(share * 100.0);
                if (percent != last) {
                    last = percent;
                    message(progressText.arg(percent));
                }
            });
        message(progressText.arg(0));
        try {
            qDebug() << (cut ? "qt output file name : " : "start export video: ") << output;
            ok = cut ? reader->extractEventData(start, end, outPath) : reader->exportEventDataToVideo(start, end, outPath);
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
            ok = false;
        }
        if (raw) {
            raw->setProgressCallback({});
            if (!ok && raw->lastError())
                failure = QString::fromStdString(raw->lastError().message);
        }
    });
    if (!ok) {
        if (failure.isEmpty())
            failure = tr("%1 could not be written (see the log for the reason)").arg(output);
        Q_EMIT signalShowLeftBottomTips(failedText.arg(failure), MessageError);
        return false;
    }
    qDebug() << "extract event data start:" << start << " end: " << end << " success.";
    Q_EMIT signalShowLeftBottomTips(cut ? tr("Export raw file success!") : tr("Export video success!"), MessageSuccess,
                                    folder);
    return true;
}

// ---- side bar

void MainWidget::on_pb_fold_setting_clicked(bool checked)
{
    showSidePanel(0, checked);
}

void MainWidget::on_pb_fold_dvs_setting_clicked(bool checked)
{
    showSidePanel(1, checked);
}

void MainWidget::on_pb_fold_aps_setting_clicked(bool checked)
{
    showSidePanel(2, checked);
}

void MainWidget::on_pb_fold_general_setting_clicked()
{
    if (config_) {
        OvGeneralSetting dialog(config_, this);
        dialog.exec();
    }
    ui->pb_fold_general_setting->setChecked(false);
}

void MainWidget::on_pb_viewer_setting_clicked(bool checked)
{
    if (!checked)
        return;
    // Just above the button, right-aligned with it.
    const QSize size = menuViewerSetting_->sizeHint();
    const QPoint topRight = ui->pb_viewer_setting->mapToGlobal(QPoint(ui->pb_viewer_setting->width(), 0));
    menuViewerSetting_->popup(QPoint(topRight.x() - size.width(), topRight.y() - size.height()));
}

void MainWidget::on_pb_viewer_type_clicked()
{
    static const char* const icons[] = {"DVS", "APS", "Fusion"};
    viewerType_ = (viewerType_ + 1) % 3;
    const QString name = QString::fromLatin1(icons[viewerType_]);
    ui->pb_viewer_type->setStyleSheet(
        QStringLiteral("#pb_viewer_type { image: url(:/img/assets/btn_playbar_%1.svg); }\n"
                       "#pb_viewer_type:hover { image: url(:/img/assets/btn_playbar_%1_hover.svg); }\n"
                       "#pb_viewer_type:disabled { image: url(:/img/assets/btn_playbar_%1_disable.svg); }")
            .arg(name));
    Q_EMIT signalSetViewerShowType(orvane::STREAM_TYPE(viewerType_));
}
