// Spinning busy indicator: twelve capsules fading round the centre.
#pragma once

#include <QColor>
#include <QWidget>

class QProgressIndicator : public QWidget
{
    Q_OBJECT

public:
    explicit QProgressIndicator(QWidget *parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimated() const { return timerId != -1; }
    int animationDelay() const { return delay; }
    void setAnimationDelay(int milliseconds);
    void setDisplayedWhenStopped(bool displayed);
    bool isDisplayedWhenStopped() const { return displayedWhenStopped; }
    void setColor(const QColor &c);
    const QColor &color() const { return capsuleColor; }

    QSize sizeHint() const override { return QSize(20, 20); }
    int heightForWidth(int width) const override { return width; }

protected:
    void timerEvent(QTimerEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int angle = 0;
    int timerId = -1;
    int delay = 40;
    bool displayedWhenStopped = false;
    QColor capsuleColor = Qt::black;
};
