// The Export dialog: a time range of the open recording, the kind of file to write it as (every
// exporter the driver was built with: raw cut, video, CSV, HDF5) and, for a video, how it looks
// (frame rate, speed, accumulation window, mode, theme, time constant). The kind and the file name's
// extension follow each other. The main window fills it in, runs it modally on the GUI thread and
// reads back the kind and its options when it is accepted.
#pragma once

#include "OvTimeRangeDialog.h"

#include <QList>
#include <QPair>
#include <QString>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

class OvExportVideoUI : public OvTimeRangeDialog {
    Q_OBJECT
public:
    explicit OvExportVideoUI(QWidget* parent = nullptr);

    // The chosen exporter's name ("raw", "video", "csv", "hdf5"); selecting one gives the file name
    // that kind's extension. False for a kind this build has not.
    QString kind() const;
    bool setKind(const QString& name);
    QStringList kinds() const;

    // The options to set on the exporter, as setOption takes them; only the video has any.
    QList<QPair<QString, QString>> options() const;

    // The video fields, for the main window's presets and for tests.
    void setFps(int fps);
    void setSpeed(double speed);
    void setAccumulationUs(int us);  // 0: one frame's slice
    bool setMode(const QString& word);
    bool setTheme(const QString& word);
    void setTimeConstantUs(int us);

protected:
    QString fileNameProblem() const override;

private:
    void onKindChanged();
    void onFileNameEdited(const QString& name);
    void showVideoFields(bool shown);

    QComboBox* kindBox_ = nullptr;
    QSpinBox* fps_ = nullptr;
    QDoubleSpinBox* speed_ = nullptr;
    QSpinBox* accumulation_ = nullptr;
    QComboBox* mode_ = nullptr;
    QComboBox* theme_ = nullptr;
    QSpinBox* timeConstant_ = nullptr;
    QList<QPair<QLabel*, QWidget*>> videoRows_;
    QStringList extensions_;  // of each kind, in the kind box's order
    bool syncing_ = false;
};
