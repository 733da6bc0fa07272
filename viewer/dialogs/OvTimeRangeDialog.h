// The shared body of the cut and export dialogs: a time range of the open recording in absolute
// microseconds, and where the result goes. The dialog refuses an output that would overwrite the
// open recording, its index or its video, keeps the confirm button disabled while a field is
// invalid, and asks before it replaces an existing file. The main window fills it in, runs it
// modally on the GUI thread and reads the values back when it is accepted.
#pragma once

#include <QDialog>

class QLineEdit;
class QWidget;

namespace Ui {
class OvTimeRangeForm;
}

class OvTimeRangeDialog : public QDialog {
    Q_OBJECT
public:
    ~OvTimeRangeDialog() override;

    void setStartTime(quint64 us);
    void setEndTime(quint64 us);
    void setSaveDir(const QString& dir);
    void setFileName(const QString& name);
    // The raw file the range comes from; its own path, index and video are never written over.
    void setSourceRecording(const QString& rawPath);

    // Decimal microseconds; a field that is not an unsigned 64-bit number reads 0.
    quint64 startTime() const;
    quint64 endTime() const;
    QString saveDir() const;
    QString fileName() const;
    QString outputPath() const;

    // Why the dialog cannot be confirmed as filled in; empty when it can.
    QString problem() const { return problem_; }

protected:
    // `fileSuffix` is what the initial file name ends with (".raw", ".mp4").
    OvTimeRangeDialog(const QString& windowTitle, const QString& title, const QString& confirmText,
                      const QString& fileSuffix, QWidget* parent);

    // A further row of fields under the file name, above the message line.
    void addFieldRow(QWidget* label, QWidget* field);
    // Why this kind of dialog refuses the file name (besides the name of the open recording and its
    // side files); empty when it does not.
    virtual QString fileNameProblem() const { return {}; }
    // Checks the fields again (after a field of the kind's own changed).
    void revalidate() { validate(); }
    QLineEdit* fileNameEdit() const;

private Q_SLOTS:
    void on_pb_save_clicked();
    void on_pb_cancel_clicked();
    void on_pb_win_close_clicked();
    void on_pb_select_dir_clicked();
    void on_pb_start_time_plus_clicked();
    void on_pb_start_time_sub_clicked();
    void on_pb_end_time_plus_clicked();
    void on_pb_end_time_sub_clicked();

private:
    void validate();
    QString outputRefusal() const;

    Ui::OvTimeRangeForm* ui;
    QString source_;
    QString problem_;
};
