// Progress of an import while the copy thread works. Cancel only hides the
// dialog: the import goes on and reports its end as usual.
#pragma once

#include <QDialog>

class QThread;

namespace Ui {
class DialogCopyFiles;
}

class DialogCopyFiles : public QDialog
{
    Q_OBJECT
public:
    explicit DialogCopyFiles(QWidget *parent = nullptr);
    ~DialogCopyFiles() override;

    void setTotalFiles(int total);
    void refreshCopyingLabel(int count);
    void setProgress(int value);
    void setThread(QThread *thread) { copyThread = thread; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void showCopying();

    Ui::DialogCopyFiles *ui;
    int totalFiles = 0;
    int copied = -1; // -1 before the first file is done
    QThread *copyThread = nullptr;
};
