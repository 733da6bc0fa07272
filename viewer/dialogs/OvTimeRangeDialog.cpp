#include "OvTimeRangeDialog.h"

#include "FramelessWindowAgent.h"
#include "OVMessageBox.h"
#include "ui_OvTimeRangeForm.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QStyle>

#include <limits>

namespace {

constexpr quint64 kStepUs = 1000;  // the step buttons move a time by one millisecond
constexpr quint64 kMaxUs = std::numeric_limits<quint64>::max();

// Plain decimal digits (surrounding blanks allowed), no sign, at most 2^64 - 1.
bool parseMicroseconds(const QString& text, quint64* value)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return false;
    quint64 v = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        const quint64 d = quint64(c.unicode() - '0');
        if (v > (kMaxUs - d) / 10)
            return false;
        v = v * 10 + d;
    }
    *value = v;
    return true;
}

quint64 readMicroseconds(const QString& text)
{
    quint64 v = 0;
    return parseMicroseconds(text, &v) ? v : 0;
}

// A path in a form two names of the same file share: absolute and cleaned, with links resolved
// as far as the file or its folder exists.
QString comparablePath(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QFileInfo dir(info.absolutePath());
    const QString dirPath = dir.exists() ? dir.canonicalFilePath() : QDir::cleanPath(dir.absoluteFilePath());
    return dirPath + QLatin1Char('/') + info.fileName();
}

// Where the reader keeps a recording's index: its last ".raw" becomes ".ovmark.tmp" (appended when
// the name has no ".raw"), so d/x.raw has d/x.ovmark.tmp.
QString indexPathOf(const QString& raw)
{
    const QString suffix = QStringLiteral(".ovmark.tmp");
    const qsizetype at = raw.lastIndexOf(QStringLiteral(".raw"));
    if (at < 0)
        return raw + suffix;
    return raw.left(at) + suffix + raw.mid(at + 4);
}

void markInvalid(QLineEdit* edit, bool invalid)
{
    if (edit->property("invalid").toBool() == invalid)
        return;
    edit->setProperty("invalid", invalid);
    // Property selectors in the style sheet are only re-read on a new polish.
    edit->style()->unpolish(edit);
    edit->style()->polish(edit);
    edit->update();
}

void step(QLineEdit* edit, bool up)
{
    quint64 v = 0;
    if (!parseMicroseconds(edit->text(), &v))
        return;  // nothing sensible to step from; the field already shows it is wrong
    v = up ? (v > kMaxUs - kStepUs ? kMaxUs : v + kStepUs) : (v < kStepUs ? 0 : v - kStepUs);
    edit->setText(QString::number(v));
}

}  // namespace

OvTimeRangeDialog::OvTimeRangeDialog(const QString& windowTitle, const QString& title, const QString& confirmText,
                                     const QString& fileSuffix, QWidget* parent)
    : QDialog(parent), ui(new Ui::OvTimeRangeForm)
{
    ui->setupUi(this);
    auto* agent = new FramelessWindowAgent(this);
    agent->setResizable(false);
    agent->setTitleBar(ui->widget_title_bar);
    setWindowTitle(windowTitle);
    ui->lb_title->setText(title);
    ui->pb_save->setText(confirmText);
    ui->pb_save->setDefault(true);
    ui->le_file_name->setText(QStringLiteral("xxx") + fileSuffix);

    for (QLineEdit* edit : {ui->le_start_time, ui->le_end_time, ui->le_save_file_path, ui->le_file_name})
        connect(edit, &QLineEdit::textChanged, this, &OvTimeRangeDialog::validate);
    validate();
}

OvTimeRangeDialog::~OvTimeRangeDialog()
{
    delete ui;
}

void OvTimeRangeDialog::addFieldRow(QWidget* label, QWidget* field)
{
    QGridLayout* grid = ui->gridLayout_fields;
    // The message line stays the last row.
    grid->removeWidget(ui->lb_message);
    const int row = grid->rowCount() - 1;
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(ui->lb_message, row + 1, 0, 1, 2);
}

QLineEdit* OvTimeRangeDialog::fileNameEdit() const
{
    return ui->le_file_name;
}

void OvTimeRangeDialog::setStartTime(quint64 us)
{
    ui->le_start_time->setText(QString::number(us));
}

void OvTimeRangeDialog::setEndTime(quint64 us)
{
    ui->le_end_time->setText(QString::number(us));
}

void OvTimeRangeDialog::setSaveDir(const QString& dir)
{
    ui->le_save_file_path->setText(dir);
}

void OvTimeRangeDialog::setFileName(const QString& name)
{
    ui->le_file_name->setText(name);
}

void OvTimeRangeDialog::setSourceRecording(const QString& rawPath)
{
    source_ = rawPath;
    validate();
}

quint64 OvTimeRangeDialog::startTime() const
{
    return readMicroseconds(ui->le_start_time->text());
}

quint64 OvTimeRangeDialog::endTime() const
{
    return readMicroseconds(ui->le_end_time->text());
}

QString OvTimeRangeDialog::saveDir() const
{
    return ui->le_save_file_path->text();
}

QString OvTimeRangeDialog::fileName() const
{
    return ui->le_file_name->text();
}

QString OvTimeRangeDialog::outputPath() const
{
    return saveDir() + QLatin1Char('/') + fileName();
}

QString OvTimeRangeDialog::outputRefusal() const
{
    const QString output = outputPath();
    if (QFileInfo(output).isDir())
        return tr("The output is a folder. Enter a file name.");
    if (source_.isEmpty())
        return {};
    const QString out = comparablePath(output);
    // The reader keeps its index and finds a fusion recording's video beside the path it was
    // opened with; a link's target counts as the same recording too.
    QStringList raws{source_};
    const QFileInfo source(source_);
    if (source.exists() && source.canonicalFilePath() != source_)
        raws << source.canonicalFilePath();
    for (const QString& raw : raws) {
        const QFileInfo info(raw);
        if (out == comparablePath(raw))
            return tr("The output would overwrite the open recording. Choose another file name.");
        if (out == comparablePath(indexPathOf(raw)))
            return tr("The output would overwrite the index of the open recording. Choose another file name.");
        if (out == comparablePath(info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".mp4")))
            return tr("The output would overwrite the video of the open recording. Choose another file name.");
    }
    return {};
}

void OvTimeRangeDialog::validate()
{
    quint64 start = 0;
    quint64 end = 0;
    const bool startOk = parseMicroseconds(ui->le_start_time->text(), &start);
    const bool endOk = parseMicroseconds(ui->le_end_time->text(), &end);
    const bool ordered = !(startOk && endOk) || start < end;
    const bool dirOk = !saveDir().trimmed().isEmpty();
    const bool nameOk = !fileName().trimmed().isEmpty();
    QString refusal = dirOk && nameOk ? outputRefusal() : QString();
    if (refusal.isEmpty() && nameOk)
        refusal = fileNameProblem();

    markInvalid(ui->le_start_time, !startOk || !ordered);
    markInvalid(ui->le_end_time, !endOk || !ordered);
    markInvalid(ui->le_save_file_path, !dirOk);
    markInvalid(ui->le_file_name, !nameOk || !refusal.isEmpty());

    if (!startOk || !endOk)
        problem_ = tr("Times are whole microseconds.");
    else if (!ordered)
        problem_ = tr("The start time must be before the end time.");
    else if (!dirOk || !nameOk)
        problem_ = tr("Choose a folder and a file name.");
    else
        problem_ = refusal;
    ui->lb_message->setText(problem_);
    ui->pb_save->setEnabled(problem_.isEmpty());
}

void OvTimeRangeDialog::on_pb_save_clicked()
{
    validate();  // the folder may have changed since the last edit
    if (!problem_.isEmpty())
        return;
    const QFileInfo output(outputPath());
    if (output.exists()) {
        OVMessageBox box(tr("The file “%1” already exists. Replace it?").arg(output.fileName()), tr("Tips"),
                         tr("Replace"), tr("Cancel"), this);
        if (box.exec() != QDialog::Accepted)
            return;
    }
    accept();
}

void OvTimeRangeDialog::on_pb_cancel_clicked()
{
    reject();
}

void OvTimeRangeDialog::on_pb_win_close_clicked()
{
    reject();
}

void OvTimeRangeDialog::on_pb_select_dir_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select Directory"), saveDir(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!dir.isEmpty())
        setSaveDir(dir);
}

void OvTimeRangeDialog::on_pb_start_time_plus_clicked()
{
    step(ui->le_start_time, true);
}

void OvTimeRangeDialog::on_pb_start_time_sub_clicked()
{
    step(ui->le_start_time, false);
}

void OvTimeRangeDialog::on_pb_end_time_plus_clicked()
{
    step(ui->le_end_time, true);
}

void OvTimeRangeDialog::on_pb_end_time_sub_clicked()
{
    step(ui->le_end_time, false);
}
