// The full-window progress dialog of a sound-bank download. It has no close
// button of its own: the Cancel button, the Escape key and a close request
// all go through the cancel question, and only a confirmed cancel rejects.
#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class SoundfontDialog;
}

class SoundfontDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SoundfontDialog(QWidget *parent = nullptr);
    ~SoundfontDialog() override;

    void setMessage(const QString &text);
    // Asked before a cancel; an empty question cancels at once.
    void setCancelMessage(const QString &text) { m_cancelMessage = text; }

public slots:
    // A total of 0 shows a busy bar.
    void onDownloadProgress(qint64 received, qint64 total);

private slots:
    void askToCancel();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    Ui::SoundfontDialog *ui;
    QString m_cancelMessage;
};
