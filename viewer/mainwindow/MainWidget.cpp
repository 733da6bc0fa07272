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
#include "OvActivityTimeline.h"
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
#include "SettingDisplayItem.h"
#include "SourceMonitor.h"
#include "Sources.h"
#include "ui_MainWidget.h"

#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/DvsFileReader.h"
#include "orvane/driver/Exporter.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/driver/FusionCamera.h"
#include "orvane/hal/CameraTool.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QRegion>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>
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

    // Every source's pictures come through the engine's mailbox, queued (newest wins).
    connect(engine_, &PlaybackEngine::pictureReady, this, &MainWidget::triggerEventsToShow, Qt::QueuedConnection);

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

    // The pixel under the cursor, in the info bar after the rate.
    pixelInfo_ = new QLabel(this);
    pixelInfo_->setObjectName(QStringLiteral("label_show_pixel_info"));
    if (auto* bar = qobject_cast<QBoxLayout*>(ui->label_show_dropped_info->parentWidget()->layout()))
        bar->insertWidget(bar->indexOf(ui->label_show_dropped_info) + 1, pixelInfo_);
    pixelInfo_->hide();
    connect(imageView()->view(), &OvGraphicsView::cursorMoved, this, &MainWidget::showPixelUnderCursor);
    connect(imageView()->view(), &OvGraphicsView::cursorLeft, pixelInfo_, &QLabel::hide);
    // The picture takes recordings dropped on it as the rest of the window does; opened after the
    // drop returns, so the source's drag ends first.
    imageView()->view()->setAcceptedFileSuffix(QStringLiteral(".raw"));
    connect(imageView()->view(), &OvGraphicsView::fileDropped, this,
            [this](const QString& path) { QTimer::singleShot(0, this, [this, path] { openRecordingPath(path); }); });

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
    closeSource();
    delete fusionProcessor_;
    delete ui;
}

ShowImageForm* MainWidget::imageView() const
{
    return ui->widget_show_image;
}

int32_t MainWidget::mode() const
{
    return source_ ? source_->mode() : int32_t(PlaybackEngine::None);
}

MainWidget::MenuTexts MainWidget::translatedMenuTexts()
{
    return {tr("Open Camera"),     tr("Open Recording"), tr("Save as..."), tr("Cut Recording"),
            tr("Quit"),            tr("General Setting"), QStringLiteral("EN/中文"), tr("About us"),
            tr("Toggle Start/End Point")};
}

// ---- construction

QAction* MainWidget::addMenuAction(QMenu* menu, MenuRole role)
{
    QAction* action = menu->addAction(menuText(role));
    action->setData(int(role));
    if (const QKeySequence keys = shortcutOf(role); !keys.isEmpty()) {
        action->setShortcut(keys);
        // The menus are windows of their own: the keys work in the main window only through it.
        addAction(action);
    }
    return action;
}

QKeySequence MainWidget::shortcutOf(MenuRole role)
{
    switch (role) {
    case MenuRole::OpenCamera: return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O);
    case MenuRole::OpenRecording: return QKeySequence(Qt::CTRL | Qt::Key_O);
    case MenuRole::SaveAs: return QKeySequence(Qt::CTRL | Qt::Key_E);
    case MenuRole::CutRecording: return QKeySequence(Qt::CTRL | Qt::Key_X);
    case MenuRole::Quit: return QKeySequence(Qt::CTRL | Qt::Key_Q);
    default: return {};
    }
}

QString MainWidget::menuText(MenuRole role) const
{
    switch (role) {
    case MenuRole::OpenCamera: return texts_.openCamera;
    case MenuRole::OpenRecording: return texts_.openRecording;
    case MenuRole::SaveAs: return texts_.saveAs;
    case MenuRole::CutRecording: return texts_.cutRecording;
    case MenuRole::Quit: return texts_.quit;
    case MenuRole::GeneralSetting: return texts_.generalSetting;
    case MenuRole::Language: return texts_.language;
    case MenuRole::AboutUs: return texts_.aboutUs;
    case MenuRole::ToggleStartEnd: return texts_.toggleStartEnd;
    case MenuRole::None: break;
    }
    return {};
}

void MainWidget::buildMenus()
{
    menuDevice_ = makeMenu(this);
    connect(addMenuAction(menuDevice_, MenuRole::OpenCamera), &QAction::triggered, this, &MainWidget::slotOpenCamera);
    ui->pb_menu_device->setMenu(menuDevice_);

    menuFile_ = makeMenu(this);
    connect(addMenuAction(menuFile_, MenuRole::OpenRecording), &QAction::triggered, this,
            &MainWidget::slotOpenRecording);
    connect(addMenuAction(menuFile_, MenuRole::SaveAs), &QAction::triggered, this, &MainWidget::slotSaveAs);
    connect(addMenuAction(menuFile_, MenuRole::CutRecording), &QAction::triggered, this,
            &MainWidget::slotCutRecording);
    recentMenu_ = menuFile_->addMenu(tr("Open Recent"));
    recentMenu_->setStyleSheet(QString::fromLatin1(kMenuStyle));
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWidget::fillRecentMenu);
    fillRecentMenu();
    addMenuAction(menuFile_, MenuRole::Quit);
    ui->pb_menu_file->setMenu(menuFile_);

    menuSetting_ = makeMenu(this);
    addMenuAction(menuSetting_, MenuRole::GeneralSetting);
    addMenuAction(menuSetting_, MenuRole::Language);
    ui->pb_menu_setting->setMenu(menuSetting_);

    menuHelp_ = makeMenu(this);
    addMenuAction(menuHelp_, MenuRole::AboutUs);
    ui->pb_menu_help->setMenu(menuHelp_);

    for (QMenu* menu : {menuDevice_, menuFile_, menuSetting_, menuHelp_})
        connect(menu, &QMenu::triggered, this, &MainWidget::openActionSlot);

    // The popup takes the mouse, so its title never hears the mouse leave: once the menu closes,
    // the title lets go of its highlight unless the mouse is really over it.
    for (QPushButton* title : {ui->pb_menu_device, ui->pb_menu_file, ui->pb_menu_setting, ui->pb_menu_help})
        connect(title->menu(), &QMenu::aboutToHide, title, [title] {
            QTimer::singleShot(0, title, [title] {
                title->setDown(false);
                if (!title->rect().contains(title->mapFromGlobal(QCursor::pos())))
                    title->setAttribute(Qt::WA_UnderMouse, false);
                title->update();
            });
        });

    // The slider starts with its three handles, so the entry starts checked.
    menuViewerSetting_ = makeMenu(this);
    actionStartEnd_ = addMenuAction(menuViewerSetting_, MenuRole::ToggleStartEnd);
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
    // The slider with the recording's activity under it, on one x axis.
    auto* timeColumn = new QWidget(this);
    auto* column = new QVBoxLayout(timeColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(slider_);
    timeline_ = new OvActivityTimeline(timeColumn);
    timeline_->hide();
    column->addWidget(timeline_);
    ui->layout_time_slider->addWidget(timeColumn);
    connect(slider_, &OvThreeHandleSlider::centerValueTrackClick, this, &MainWidget::onSliderTimeTrackClick);
    connect(slider_, &OvThreeHandleSlider::centerValueMove, this, &MainWidget::onSliderTimeMove);
    const auto rangeToEngine = [this] {
        rangeToSource();
        timeline_->setRange(uint64_t(std::max<qint64>(slider_->lowerValue(), 0)),
                            uint64_t(std::max<qint64>(slider_->upperValue(), 0)));
    };
    connect(slider_, &OvThreeHandleSlider::lowerValueChanged, this, rangeToEngine);
    connect(slider_, &OvThreeHandleSlider::upperValueChanged, this, rangeToEngine);
    connect(slider_, &OvThreeHandleSlider::rangeChanged, this, rangeToEngine);

    ui->pb_viewer_type->hide();
    ui->widget_line_1->hide();
    ui->pb_fold_aps_setting->hide();

    // The keys of the window's own shortcuts (keyPressEvent) beside what they do.
    const auto withKey = [](const QString& text, Qt::Key key) {
        return QStringLiteral("%1 (%2)").arg(text, QKeySequence(key).toString(QKeySequence::NativeText));
    };
    const std::pair<QPushButton*, QString> tips[] = {
        {ui->pb_play, withKey(tr("Play/Stop"), Qt::Key_Space)},
        {ui->pb_record, tr("Start/Stop recording")},
        {ui->pb_prv, withKey(tr("Previous frame"), Qt::Key_Left)},
        {ui->pb_next, withKey(tr("Next frame"), Qt::Key_Right)},
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

    // How pictures are drawn: from config.ini, the same in both panels that show it.
    orvane::RenderSettings render;
    if (config_) {
        const AppConfig::Display d = config_->display();
        render.mode = orvane::DisplayMode(d.mode);
        render.polarity = orvane::PolarityFilter(d.polarity);
        render.theme = orvane::ColourTheme(d.theme);
        render.timeConstantUs = d.timeConstantUs;
    }
    for (SettingDisplayItem* item : {cameraPanel_->displayItem(), dvsPanel_->displayItem()}) {
        if (!item)
            continue;
        item->setRenderSettings(render);
        connect(item, &SettingDisplayItem::signalRenderSettingsChanged, this, &MainWidget::slotRenderSettingsChanged);
    }
    accumulator_.setSettings(render);
    for (SettingDisplayItem* item : {cameraPanel_->displayItem(), dvsPanel_->displayItem()})
        if (item)
            item->showAccumulationTime(engine_->accumulationTime());
}

void MainWidget::slotRenderSettingsChanged(const orvane::RenderSettings& settings)
{
    accumulator_.setSettings(settings);
    for (SettingDisplayItem* item : {cameraPanel_->displayItem(), dvsPanel_->displayItem()})
        if (item && !(item->renderSettings() == settings))
            item->setRenderSettings(settings);
    if (config_) {
        config_->setDisplay({int32_t(settings.mode), int32_t(settings.polarity), int32_t(settings.theme),
                             settings.timeConstantUs});
        config_->save();
    }
    // A paused recording shows its place again in the new look.
    if (hasTransport() && !source_->playing() && mode() == PlaybackEngine::RawFile)
        readRecording([&] { source_->moveTo(source_->position()); });
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
    // The actions with a handler of their own (open, save, cut) are connected to it directly.
    switch (MenuRole(action->data().toInt())) {
    case MenuRole::Quit:
        close();
        break;
    case MenuRole::Language:
        if (config_)
            language::askAndChangeLanguage(this, *config_);
        break;
    case MenuRole::AboutUs: {
        OVMessageBox box(tr("Is it open in the browser?"), tr("Tips"), tr("Open"), tr("Close"), this);
        if (box.exec() == QDialog::Accepted)
            QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerSite)));
        break;
    }
    case MenuRole::GeneralSetting:
        if (config_) {
            OvGeneralSetting dialog(config_, this);
            dialog.exec();
        }
        break;
    default:
        break;
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
    texts_ = translatedMenuTexts();
    for (QMenu* menu : {menuDevice_, menuFile_, menuSetting_, menuHelp_, menuViewerSetting_})
        for (QAction* action : menu->actions())
            if (const auto role = MenuRole(action->data().toInt()); role != MenuRole::None)
                action->setText(menuText(role));
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
    case Qt::Key_F11:
        if (isFullScreen())
            showNormal();
        else
            showFullScreen();
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
    // Toasts still up stack upwards, so a new one never hides an older one, from just above the play
    // bar's buttons (the record button is what the user presses next).
    const int buttonsTop = ui->pb_record->mapToGlobal(QPoint(0, 0)).y();
    int y = std::min(this->y() + height(), buttonsTop - 4) - toast->height();
    toasts_.removeAll(nullptr);
    for (const QPointer<OvFilePathReminderForm>& other : toasts_)
        if (other && other->isVisible())
            y = std::min(y, other->y() - toast->height() - 4);
    toast->move(x(), y);
    toast->show();
    toasts_.append(toast);
}

// ---- opening sources

void MainWidget::closeSource()
{
    if (recording_->active())
        stopRecordingAndReport();
    monitor_->stop();
    if (source_) {
        source_->close();
        source_.reset();
    }
    ui->pb_play->setChecked(false);
    timeline_->clearProfile();
    timeline_->hide();
    eventCamera.reset();
    fusionCamera.reset();
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
        closeSource();
        Q_EMIT signalShowLeftBottomTips(tr("Open camera: ") + serial + tr("failed."), MessageError);
        return false;
    }

    closeSource();
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
    accumulator_.setSize(camera->getWidth(), camera->getHeight());
    openSource(std::make_unique<EventCameraSource>(*engine_, camera));
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
    const bool opened = QFileInfo::exists(mp4) ? openFusionRecordingSource(file.absoluteFilePath(), mp4)
                                               : openRawRecording(file);
    if (opened && config_) {
        config_->addRecentFile(file.absoluteFilePath());
        config_->save();
    }
    return opened;
}

void MainWidget::fillRecentMenu()
{
    recentMenu_->clear();
    const QStringList recent = config_ ? config_->recentFiles() : QStringList();
    for (const QString& path : recent)
        connect(recentMenu_->addAction(QFileInfo(path).fileName()), &QAction::triggered, this,
                [this, path] { openRecordingPath(path); });
    if (recent.isEmpty())
        recentMenu_->addAction(tr("No recent recordings"))->setEnabled(false);
}

// Sensor coordinates under the cursor and, for the event pictures, what that pixel holds.
void MainWidget::showPixelUnderCursor(QPointF scenePoint)
{
    const int x = int(std::floor(scenePoint.x()));
    const int y = int(std::floor(scenePoint.y()));
    const QSize picture = imageView()->currentPixmap().size();
    if (x < 0 || y < 0 || x >= picture.width() || y >= picture.height()) {
        pixelInfo_->hide();
        return;
    }
    QString text = tr(" | Pixel: ") + tr("x %1  y %2").arg(x).arg(y);
    const int32_t m = mode();
    if (m == PlaybackEngine::EventCamera || m == PlaybackEngine::RawFile) {
        const orvane::FrameRenderer::PixelInfo info = accumulator_.pixelInfo(x, y);
        text += QStringLiteral("  %1 ev").arg(info.count);
        if (info.lastTime > 0)
            text += QStringLiteral("  @ ") + formatTime(info.lastTime);
    }
    pixelInfo_->setText(text);
    pixelInfo_->show();
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
    orvane::RecordingError error;
    uint64_t start = 0;
    uint64_t end = 0;
    std::vector<uint64_t> profile;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage& message) {
        message(tr("Opening %1 ...").arg(file.fileName()));
        error = reader->open();
        if (!error) {
            reader->getStartTimeStamp(start);
            reader->getEndTimeStamp(end);
            profile = OvActivityTimeline::profileOf(*reader, start, end);
        }
    });
    if (error) {
        Q_EMIT signalShowLeftBottomTips(recordingFailureText(file, error), MessageError);
        return false;
    }

    closeSource();
    rawReader = reader;
    rawPath_ = file.absoluteFilePath();
    // The pictures, the zoom and the pixel under the cursor follow the recording's sensor.
    accumulator_.setSize(reader->getWidth(), reader->getHeight());
    openSource(std::make_unique<RecordingSource>(*engine_, reader, start, end));
    showOpenedRecording(file, start, end);
    timeline_->setProfile(start, end, std::move(profile));
    timeline_->show();
    rangeToSource();
    ui->pb_play->click();
    setPanelsState(PanelSourceState::File, PanelSourceState::NoCamera);
    return true;
}

// ---- fusion sources

// The fusion processor draws both fusion sources; its pictures join the engine's mailbox on the
// thread that built them, so a slow GUI skips pictures instead of queueing them.
void MainWidget::connectFusionProcessor()
{
    fusionProcessor_ = new OvFusionCameraDataProcessor();
    OvFusionCameraDataProcessor* p = fusionProcessor_;
    connect(
        p, &OvFusionCameraDataProcessor::signalFusionImage, engine_,
        [engine = engine_, p](const QImage& image) { engine->publishImage(image, p->shownTime()); },
        Qt::DirectConnection);
    connect(p, &OvFusionCameraDataProcessor::signalTimeStamp, this, &MainWidget::showTimeStamp);
    connect(p, &OvFusionCameraDataProcessor::signalStartTimeStamp, this, &MainWidget::slotSetSliderStartTime);
    connect(p, &OvFusionCameraDataProcessor::signalEndTimeStamp, this, &MainWidget::slotSetSliderEndTime);
    connect(this, &MainWidget::signalSetViewerShowType, p, &OvFusionCameraDataProcessor::slotSetViewerType);
    connect(this, &MainWidget::signalFusionFilePlayControl, p, &OvFusionCameraDataProcessor::slotFusionFilePlayControl);
}

bool MainWidget::openFusionCameraSource(const orvane::CameraDescription& desc)
{
    const QString serial = QString::fromStdString(desc.serial);
    closeSource();
    qDebug() << "Open fusion camera.";
    std::shared_ptr<orvane::FusionCamera> camera;
    QString failure;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage&) {
        try {
            camera = cameraManager_.openFusionCamera(desc.serial);
            // The frames are stamped by the trigger edges of their exposures: without them no frame
            // finds its events.
            if (camera) {
                const auto trigger = camera->getTool(orvane::TOOL_TRIGGER_IN);
                if (!trigger || !trigger->setParam("enable", true))
                    qDebug() << "The trigger input could not be switched on.";
            }
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
            camera.reset();
        }
    });
    if (!camera) {
        qDebug() << "Open camera failed:" << failure;
        Q_EMIT signalShowLeftBottomTips(tr("Open camera: ") + serial + tr("failed."), MessageError);
        return false;
    }
    fusionCamera = camera;
    openSource(std::make_unique<FusionCameraSource>(*fusionProcessor_, camera));
    return startOpenedCamera(serial, orvane::STREAM_BOTH);
}

bool MainWidget::openFusionRecordingSource(const QString& rawPath, const QString& mp4Path)
{
    const QFileInfo file(rawPath);
    closeSource();
    qDebug() << "Load fusion file.";
    bool loaded = false;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage& message) {
        message(tr("Opening %1 ...").arg(file.fileName()));
        loaded = fusionProcessor_->slotReadFusionFile(QFile::encodeName(file.absoluteFilePath()).toStdString());
    });
    if (!loaded) {
        if (fusionProcessor_->loadFailure() == OvFusionCameraDataProcessor::LoadFailure::Frames) {
            // The events are still worth seeing: they open on their own.
            Q_EMIT signalShowLeftBottomTips(
                tr("The frames of %1 could not be read; its events open as a plain recording.")
                    .arg(QFileInfo(mp4Path).fileName()),
                MessageError);
            return openRawRecording(file);
        }
        // The events could not be read: the reader says why.
        const auto probe = orvane::DvsFileReader::createFileReader(QFile::encodeName(file.absoluteFilePath()).toStdString());
        const orvane::RecordingError error = probe ? probe->open() : orvane::RecordingError{};
        Q_EMIT signalShowLeftBottomTips(
            error ? recordingFailureText(file, error)
                  : tr("Cannot open %1: %2").arg(file.fileName(), tr("it is not an EVT 3.0 recording or its header is malformed")),
            MessageError);
        return false;
    }

    rawPath_ = file.absoluteFilePath();
    openSource(std::make_unique<FusionRecordingSource>(*fusionProcessor_));
    showOpenedRecording(file, source_->startTime(), source_->endTime());
    timeline_->setProfile(source_->startTime(), source_->endTime(), fusionProcessor_->activityProfile());
    timeline_->show();
    rangeToSource();
    ui->pb_play->click();
    setPanelsState(PanelSourceState::File, PanelSourceState::NoCamera);
    return true;
}

// ---- playing

// One play button for every source: it starts or pauses whichever is open.
void MainWidget::on_pb_play_clicked()
{
    if (!source_) {
        ui->pb_play->setChecked(false);
        return;
    }
    if (source_->playing()) {
        // A stopped camera delivers nothing: the recording ends here, saved and said so,
        // rather than running on with a silent gap.
        if (recording_->active() && mode() == PlaybackEngine::EventCamera)
            stopRecordingAndReport();
        source_->pause();
        monitor_->stop();
        ui->pb_play->setChecked(false);
        return;
    }
    PlaybackSource::StartResult started;
    try {
        started = source_->start();
    } catch (const std::exception& e) {
        started = {false, tr("Playback stopped: %1").arg(QString::fromLocal8Bit(e.what())), false};
    }
    ui->pb_play->setChecked(started.ok);
    if (!started.ok) {
        qDebug() << started.reason;
        Q_EMIT signalShowLeftBottomTips(started.reason, started.warning ? MessageWarning : MessageError);
        return;
    }
    if (!monitor_->watching())
        monitor_->watch(source_->probe());
    ui->label_show_play_text3->show();
    ui->label_show_rate_info->show();
}

void MainWidget::openSource(std::unique_ptr<PlaybackSource> source)
{
    source_ = std::move(source);
    PlaybackSource* src = source_.get();
    engine_->setMode(src->mode());
    // Positions from the GUI thread's own commands apply at once; what the loops say arrives queued.
    connect(src, &PlaybackSource::positionChanged, this,
            [this, src](quint64 position) { slotShowFilePlayProgress(position, src->endTime()); });
    connect(
        src, &PlaybackSource::playEnded, this,
        [this, src] {
            // An end that arrives after playing started again belongs to the run before.
            if (src->playing())
                return;
            src->pause();  // joins the thread that ended
            monitor_->stop();
            ui->pb_play->setChecked(false);
        },
        Qt::QueuedConnection);
    connect(src, &PlaybackSource::cameraLost, this, &MainWidget::onCameraLost, Qt::QueuedConnection);
    connect(
        src, &PlaybackSource::failed, this,
        [this, src](const QString& reason) {
            src->pause();
            ui->pb_play->setChecked(false);
            Q_EMIT signalShowLeftBottomTips(reason, MessageError);
        },
        Qt::QueuedConnection);
    src->setLoop(ui->pb_loop->isChecked());
    applyCapabilities();
}

// The play bar offers what the open source can do.
void MainWidget::applyCapabilities()
{
    const PlaybackSource::Capabilities caps = source_ ? source_->capabilities() : PlaybackSource::Capabilities{};
    for (QWidget* w : {static_cast<QWidget*>(ui->pb_next), static_cast<QWidget*>(ui->pb_prv),
                       static_cast<QWidget*>(ui->pb_stop), static_cast<QWidget*>(slider_)})
        w->setEnabled(caps.transport);
    ui->pb_loop->setEnabled(caps.loop);
}

void MainWidget::rangeToSource()
{
    if (source_)
        source_->setRange(uint64_t(std::max<qint64>(slider_->lowerValue(), 0)),
                          uint64_t(std::max<qint64>(slider_->upperValue(), 0)));
}

void MainWidget::onRateChanged(quint64 eventsPerSecond)
{
    // A paused source has no rate; "0 ev/s" would read as a silent sensor or an empty file.
    ui->label_show_rate_info->setText((source_ && source_->playing()) || eventsPerSecond > 0 ? rateText(eventsPerSecond)
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
    if (source_)
        source_->pause();
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

bool MainWidget::hasTransport() const
{
    return source_ && source_->capabilities().transport;
}

void MainWidget::on_pb_stop_clicked()
{
    if (!hasTransport())
        return;
    if (ui->pb_play->isChecked())
        on_pb_play_clicked();
    readRecording([&] { source_->rewind(); });
}

void MainWidget::on_pb_prv_clicked()
{
    if (!hasTransport())
        return;
    if (source_->playing())
        on_pb_play_clicked();
    readRecording([&] { source_->previous(); });
}

void MainWidget::on_pb_next_clicked()
{
    if (!hasTransport())
        return;
    if (source_->playing())
        on_pb_play_clicked();
    readRecording([&] { source_->next(); });
}

void MainWidget::on_pb_loop_clicked()
{
    if (source_)
        source_->setLoop(ui->pb_loop->isChecked());
}

void MainWidget::onSliderTimeTrackClick(qint64 value)
{
    if (!hasTransport() || value < 0)
        return;
    readRecording([&] { source_->seekTo(uint64_t(value)); });
}

void MainWidget::onSliderTimeMove(qint64 value)
{
    if (!hasTransport() || value < 0)
        return;
    readRecording([&] { source_->moveTo(uint64_t(value)); });
}

void MainWidget::slotFpsChanged(uint32_t fps)
{
    engine_->setFps(fps);
}

void MainWidget::slotCumulativeTimeChanged(uint64_t time_us)
{
    // The engine owns the value; both panels that offer it show what it holds.
    engine_->setAccumulationTime(time_us);
    for (SettingDisplayItem* item : {cameraPanel_->displayItem(), dvsPanel_->displayItem()})
        if (item)
            item->showAccumulationTime(engine_->accumulationTime());
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
    applyCapabilities();
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
    timeline_->setPosition(cur_ts);
    setTimeLabel(cur_ts, total_ts);
}

void MainWidget::slotStartEndPointEditable(bool en)
{
    slider_->setHandleMode(en ? 3 : 1);
    slider_->update();
    rangeToSource();
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
        Q_EMIT signalShowLeftBottomTips(tr("Saved %1").arg(QFileInfo(result.path).fileName()), MessageSuccess,
                                        QFileInfo(result.path).absolutePath());
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
    if (source_ && source_->playing())
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
        exportTo(dialog.startTime(), dialog.endTime(), dialog.saveDir(), dialog.fileName(), dialog.options());
}

bool MainWidget::cutRecordingTo(quint64 start, quint64 end, const QString& folder, const QString& fileName)
{
    return runFileJob(FileJob::Cut, start, end, folder, fileName);
}

bool MainWidget::exportVideoTo(quint64 start, quint64 end, const QString& folder, const QString& fileName)
{
    return runFileJob(FileJob::Export, start, end, folder, fileName);
}

bool MainWidget::exportTo(quint64 start, quint64 end, const QString& folder, const QString& fileName,
                          const QList<QPair<QString, QString>>& options)
{
    return runFileJob(FileJob::Export, start, end, folder, fileName, options);
}

bool MainWidget::runFileJob(FileJob job, quint64 start, quint64 end, const QString& folder, const QString& fileName,
                            const QList<QPair<QString, QString>>& options)
{
    const bool cut = job == FileJob::Cut;
    const QString failedText = cut ? tr("Cut failed: %1") : tr("Export failed: %1");
    if (!rawReader) {
        Q_EMIT signalShowLeftBottomTips(tr("Please open a raw file first."), MessageWarning);
        return false;
    }
    if (source_ && source_->playing())
        on_pb_play_clicked();
    const QString output = QDir(folder).filePath(fileName);
    const std::string outPath = output.toUtf8().toStdString();
    // An export writes the kind its name's extension picks; the cut is always the raw one.
    std::unique_ptr<orvane::Exporter> exporter;
    QString refusal;
    if (!cut) {
        exporter = orvane::makeExporterFor(outPath);
        for (const auto& [name, value] : options) {
            std::string error;
            if (exporter && !exporter->setOption(name.toStdString(), value.toStdString(), error)) {
                refusal = QString::fromStdString(error);
                break;
            }
        }
    }
    if (start >= end)
        refusal = tr("the start time must be before the end time");
    else if (end < source_->startTime() || start > source_->endTime())
        refusal = tr("the time range lies outside the recording");
    else if (fileName.isEmpty())
        refusal = tr("no file name was given");
    else if (!QFileInfo(folder).isDir())
        refusal = tr("the folder does not exist: %1").arg(folder);
    else if (!QFileInfo(folder).isWritable())
        refusal = tr("the folder is not writable: %1").arg(folder);
    else if (isPartOfRecording(output, rawPath_))
        refusal = tr("it would overwrite the open recording");
    else if (!cut && !exporter) {
        QStringList kinds;
        for (const auto& e : orvane::makeExporters())
            kinds << QString::fromStdString(e->extension());
        refusal = tr("the file name must end in one of %1").arg(kinds.join(QStringLiteral(", ")));
    }
    if (!refusal.isEmpty()) {
        Q_EMIT signalShowLeftBottomTips(failedText.arg(refusal), MessageError);
        return false;
    }

    std::shared_ptr<orvane::DvsFileReader> reader = rawReader;
    std::mutex& readerLock = engine_->readerLock();
    bool ok = false;
    QString failure;
    const QString progressText = cut ? tr("Cutting: %1 %") : tr("Exporting: %1 %");
    const QString timeLeftText = tr("%1 (about %2 s left)");
    std::atomic<bool> cancel{false};
    bool cancelled = false;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage& message) {
        std::lock_guard lock(readerLock);
        // The time left from the pace so far, once there is a pace to go by.
        QElapsedTimer clock;
        clock.start();
        const std::function<void(double)> progress = [&message, &progressText, &timeLeftText, clock,
                                                      last = -1](double share) mutable {
            const int percent = int(share * 100.0);
            if (percent == last)
                return;
            last = percent;
            const double elapsed = double(clock.elapsed()) / 1000.0;
            if (share >= 0.02 && share < 1.0 && elapsed >= 1.0)
                message(timeLeftText.arg(progressText.arg(percent)).arg(qint64(std::ceil(elapsed * (1.0 - share) / share))));
            else
                message(progressText.arg(percent));
        };
        message(progressText.arg(0));
        qDebug() << (cut ? "qt output file name : " : "start export: ") << output;
        if (cut) {
            reader->setCancelFlag(&cancel);
            reader->setProgressCallback(progress);
            try {
                ok = reader->extractEventData(start, end, outPath);
            } catch (const std::exception& e) {
                failure = QString::fromLocal8Bit(e.what());
                ok = false;
            }
            reader->setProgressCallback({});
            reader->setCancelFlag(nullptr);
            cancelled = !ok && reader->lastError().kind == orvane::RecordingError::Kind::Cancelled;
            if (!ok && reader->lastError())
                failure = QString::fromStdString(reader->lastError().message);
            return;
        }
        auto* raw = dynamic_cast<orvane::RawFileReader*>(reader.get());
        if (!raw) {
            failure = tr("this recording cannot be exported");
            return;
        }
        try {
            const orvane::RecordingError e = exporter->run(*raw, {start, end}, outPath, progress, &cancel);
            ok = !e;
            cancelled = e.kind == orvane::RecordingError::Kind::Cancelled;
            failure = QString::fromStdString(e.message);
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
            ok = false;
        }
    }, &cancel);
    if (cancelled) {
        Q_EMIT signalShowLeftBottomTips(cut ? tr("Cut cancelled; no file was written.")
                                            : tr("Export cancelled; no file was written."),
                                        MessageWarning);
        return false;
    }
    if (!ok) {
        if (failure.isEmpty())
            failure = tr("%1 could not be written (see the log for the reason)").arg(output);
        Q_EMIT signalShowLeftBottomTips(failedText.arg(failure), MessageError);
        return false;
    }
    qDebug() << "extract event data start:" << start << " end: " << end << " success.";
    QString done;
    if (cut || exporter->name() == "raw")
        done = tr("Export raw file success!");
    else if (exporter->name() == "video")
        done = tr("Export video success!");
    else
        done = tr("Exported %1.").arg(fileName);
    Q_EMIT signalShowLeftBottomTips(done, MessageSuccess, folder);
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
