// The program's one top-level window. For now it shows its splash page.
#pragma once

#include <QMainWindow>

class DatabaseHelper;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(DatabaseHelper *db, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void changeEvent(QEvent *event) override;

private:
    Ui::MainWindow *ui;
    // The library, kept for the views (not owned).
    [[maybe_unused]] DatabaseHelper *db;
};
