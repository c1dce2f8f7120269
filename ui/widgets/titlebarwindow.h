// The small title bar of a detached view: pin, minimise, full screen, close.
#pragma once

#include <QWidget>

namespace Ui {
class TitleBarWindow;
}

class TitleBarWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TitleBarWindow(QWidget *parent = nullptr);
    ~TitleBarWindow() override;

    void setPinButton(bool visible);
    void setFullScreenButtonVisible(bool visible);
    void setCloseButton(bool visible);
    // The full-screen button's look for a maximised or a normal window.
    void setFullScreenButton(bool maximised);

signals:
    // true for close, false for pin.
    void buttonClicked(bool closed);
    void minimizeScreenWidget();
    void fullScreenWidget();

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void pinClicked();
    void minimiseClicked();
    void fullScreenClicked();
    void closeClicked();

private:
    Ui::TitleBarWindow *ui;
    bool maximised = false;
};
