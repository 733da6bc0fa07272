// The viewer's main window: a frameless window with its own title bar, menus, side bar, the image
// view and the play bar. It decides which source is open (nothing, an event camera, a fusion
// camera, a raw recording or a fusion recording), opens and closes cameras and recordings, and
// reports to the user with toasts. It wires and owns the parts that do the work: the playback
// engine (loops and transport), the event frame accumulator, the recording control and the source
// monitor; the slots and signals below keep the names the rest of the viewer knows and forward.
//
// Threads: GUI thread. Opening, cutting and exporting run on WorkerThreads behind the waiting
// window; the engine's loops reach the window only through queued signals.
#pragma once

#include "OvMessageType.h"
#include "EventFrameAccumulator.h"

#include "orvane/driver/DvsCameraManager.h"
#include "orvane/driver/FrameRenderer.h"
#include "orvane/driver/RecordingError.h"
#include "orvane/driver/Types.h"

#include <QList>
#include <QPair>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class AppConfig;
class FramelessWindowAgent;
class OvTimeRangeDialog;
class OvFilePathReminderForm;
class OvActivityTimeline;
class OvFusionCameraDataProcessor;
class OvThreeHandleSlider;
class PlaybackEngine;
class PlaybackSource;
class QAction;
class QFileInfo;
class QKeySequence;
class QLabel;
class QMenu;
class QPixmap;
class QTimer;
class RecordingControl;
class ScopeStats;
class ShowImageForm;
class SourceMonitor;
class SidebarApsSettingUI;
class SidebarCameraSettingUI;
class SidebarDvsSettingUI;
enum class PanelSourceState;

namespace orvane {
class DvsFileReader;
}

namespace Ui {
class MainWidget;
}

class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(AppConfig* config, QWidget* parent = nullptr);
    ~MainWidget() override;

    // What the command line asked for, opened once the window shows.
    void setStartupFile(const QString& path) { startupFile_ = path; }
    QString startupFile() const { return startupFile_; }
    void setStartupCamera(const QString& serial) { startupCamera_ = serial; }
    QString startupCamera() const { return startupCamera_; }

    // The steps behind the menu commands once their dialog has answered; the menus, the command
    // line, drag and drop and the tests all come through here. Each reports failures with a toast.
    bool openRecordingPath(const QString& path);
    bool openCameraSerial(const QString& serial);
    bool openCameraDescription(const orvane::CameraDescription& desc);
    bool cutRecordingTo(quint64 start, quint64 end, const QString& folder, const QString& fileName);
    bool exportVideoTo(quint64 start, quint64 end, const QString& folder, const QString& fileName);
    // Exports the range into the kind of file the name's extension picks (every exporter the driver
    // has), with that kind's options as setOption takes them ("fps", "30").
    bool exportTo(quint64 start, quint64 end, const QString& folder, const QString& fileName,
                  const QList<QPair<QString, QString>>& options = {});

    ShowImageForm* imageView() const;
    FramelessWindowAgent* windowAgent() const { return agent_; }
    QMenu* menuOf(const QString& buttonName) const;
    OvThreeHandleSlider* timeSlider() const { return slider_; }
    OvActivityTimeline* activityTimeline() const { return timeline_; }
    PlaybackEngine* engine() const { return engine_; }
    PlaybackSource* source() const { return source_.get(); }
    RecordingControl* recordingControl() const { return recording_; }
    SourceMonitor* sourceMonitor() const { return monitor_; }
    OvFusionCameraDataProcessor* fusionProcessor() const { return fusionProcessor_; }
    int32_t mode() const;
    int32_t viewerType() const { return viewerType_; }

Q_SIGNALS:
    void triggerEventsToShow();
    void triggerShowPixmap(QPixmap* img);
    void setShowCameraLiveUI(bool en);
    void resetShowCameraFormTitle(bool show);
    void toShowCameraSerial(QString str);
    void toShowCameraTimestamp(uint64_t timestamp_us);
    void signalSetViewerShowType(orvane::STREAM_TYPE type);
    void signalFusionFilePlayControl(bool play);
    void signalShowLeftBottomTips(QString tips, OvMessageType type = MessageSuccess, QString file_path = QString());

public Q_SLOTS:
    void openActionSlot(QAction* action);
    void maximizedChanged(bool max);
    void slotOpenCamera();
    void slotOpenRecording();
    void slotSaveAs();
    void slotCutRecording();
    void slotStartEndPointEditable(bool en);
    void slotShowLeftBottomTips(QString tips, OvMessageType type = MessageSuccess, QString file_path = QString());

    void getEventsToShow();
    void getEventsToShow(QPixmap* img);
    void showCameraPlayingUI(bool en);
    void setShowTitleInfo(bool show);
    void showCameraSerial(QString str);
    void showTimeStamp(uint64_t timestamp_us);
    void slotSetSliderStartTime(uint64_t ts);
    void slotSetSliderEndTime(uint64_t ts);
    void slotShowFilePlayProgress(uint64_t cur_ts, uint64_t total_ts);
    void onSliderTimeTrackClick(qint64 value);
    void onSliderTimeMove(qint64 value);
    // Display settings of the camera settings panel (connected directly).
    void slotFpsChanged(uint32_t fps);
    void slotCumulativeTimeChanged(uint64_t time_us);
    // The display panel's mode, polarity filter, theme and time constant.
    void slotRenderSettingsChanged(const orvane::RenderSettings& settings);
    // The info bar's text for the picture point under the mouse.
    void showPixelUnderCursor(QPointF scenePoint);

private Q_SLOTS:
    void on_pb_record_clicked();
    void on_pb_prv_clicked();
    void on_pb_play_clicked();
    void on_pb_stop_clicked();
    void on_pb_next_clicked();
    void on_pb_loop_clicked();
    void on_pb_win_min_clicked();
    void on_pb_win_max_clicked();
    void on_pb_win_close_clicked();
    void on_pb_fold_setting_clicked(bool checked);
    void on_pb_fold_dvs_setting_clicked(bool checked);
    void on_pb_fold_aps_setting_clicked(bool checked);
    void on_pb_fold_general_setting_clicked();
    void on_pb_viewer_setting_clicked(bool checked);
    void on_pb_viewer_type_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct MenuTexts {
        QString openCamera, openRecording, saveAs, cutRecording, quit, generalSetting, language, aboutUs,
            toggleStartEnd;
    };
    enum class FileJob { Cut, Export };
    enum class MenuRole { None, OpenCamera, OpenRecording, SaveAs, CutRecording, Quit, GeneralSetting, Language,
                          AboutUs, ToggleStartEnd };
    QAction* addMenuAction(QMenu* menu, MenuRole role);
    static QKeySequence shortcutOf(MenuRole role);
    QString menuText(MenuRole role) const;

    static MenuTexts translatedMenuTexts();
    void buildMenus();
    void buildPlayBar();
    void buildSidePanels();
    void retranslate();
    void applyTitleBarStyle(bool maximized);
    void updateWindowMask();
    void openStartupSource();
    void fillRecentMenu();

    // Stops whatever plays or records and drops the source, so another can open.
    void closeSource();
    // Makes `source` the open one: its signals wired, the play bar enabled from what it can do.
    void openSource(std::unique_ptr<PlaybackSource> source);
    void applyCapabilities();
    void rangeToSource();
    bool hasTransport() const;
    void stopRecordingAndReport();
    void setPanelsState(PanelSourceState cameraPanel, PanelSourceState sensorPanels);
    void handCameraToolsToPanels();
    bool startOpenedCamera(const QString& serial, int viewerType);
    void showOpenedRecording(const QFileInfo& file, uint64_t start, uint64_t end);
    bool askTimeRange(OvTimeRangeDialog& dialog, const QString& folder, const QString& extension);
    void showSidePanel(int which, bool show);
    void setTimeLabel(uint64_t position, uint64_t end);
    bool runFileJob(FileJob job, quint64 start, quint64 end, const QString& folder, const QString& fileName,
                    const QList<QPair<QString, QString>>& options = {});
    void readRecording(const std::function<void()>& read);
    void onCameraLost();
    void onDataDropped(quint64 bytes);
    void onRateChanged(quint64 eventsPerSecond);

    bool openFusionCameraSource(const orvane::CameraDescription& desc);
    bool openFusionRecordingSource(const QString& rawPath, const QString& mp4Path);
    void connectFusionProcessor();
    bool openRawRecording(const QFileInfo& file);
    static QString recordingFailureText(const QFileInfo& file, const orvane::RecordingError& error);

    Ui::MainWidget* ui;
    AppConfig* config_;
    FramelessWindowAgent* agent_;
    MenuTexts texts_;
    QMenu* menuDevice_ = nullptr;
    QMenu* menuFile_ = nullptr;
    QMenu* menuSetting_ = nullptr;
    QMenu* menuHelp_ = nullptr;
    QMenu* menuViewerSetting_ = nullptr;
    QAction* actionStartEnd_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QLabel* pixelInfo_ = nullptr;
    QString titleBarBaseStyle_;
    QString startupFile_;
    QString startupCamera_;
    bool centred_ = false;
    bool startupDone_ = false;

    orvane::DvsCameraManager cameraManager_;
    std::shared_ptr<orvane::DvsCamera> eventCamera;
    std::shared_ptr<orvane::FusionCamera> fusionCamera;
    std::shared_ptr<orvane::DvsFileReader> rawReader;
    QString rawPath_;
    int32_t viewerType_ = 2;

    EventFrameAccumulator accumulator_;
    PlaybackEngine* engine_;
    RecordingControl* recording_;
    SourceMonitor* monitor_;
    ScopeStats* stats_ = nullptr;
    // The open source, if any; the handles above mirror what it holds, for recording and the panels.
    std::unique_ptr<PlaybackSource> source_;
    // The frame builder of both fusion sources (no parent, deleted with the window).
    OvFusionCameraDataProcessor* fusionProcessor_ = nullptr;
    OvThreeHandleSlider* slider_;
    OvActivityTimeline* timeline_ = nullptr;
    SidebarCameraSettingUI* cameraPanel_ = nullptr;
    SidebarDvsSettingUI* dvsPanel_ = nullptr;
    SidebarApsSettingUI* apsPanel_ = nullptr;
    QList<QPointer<OvFilePathReminderForm>> toasts_;
    bool droppedWarned_ = false;
};
