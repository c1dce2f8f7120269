// The music volume pop-up of the transport area: one vertical slider,
// 0 .. 127. Each change is reported (volumeChanged), for the holding window
// to hand to the sound engine.
#pragma once

#include <QWidget>

namespace Ui {
class volumePopup;
}

class volumePopup : public QWidget
{
    Q_OBJECT

public:
    explicit volumePopup(QWidget *parent);
    ~volumePopup() override;

    int getVolume() const;

signals:
    void volumeChanged(int volume);

public slots:
    // A changed value is reported like a move of the slider.
    void setVolume(const unsigned int &volume);

protected:
    void changeEvent(QEvent *event) override;

private:
    Ui::volumePopup *ui;
};
