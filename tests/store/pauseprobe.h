// The longest the thread went without turning its event loop, measured by a
// timer of 5 ms while the probe lives: how long the window would have stood
// still. Tests print it and bound it far above any pause of a loaded machine.
#pragma once

#include <QElapsedTimer>
#include <QTimer>

class PauseProbe
{
public:
    PauseProbe()
    {
        gap.start();
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] { most = qMax(most, gap.restart()); });
        ticker.start(5);
    }
    qint64 longestMs() const { return qMax(most, gap.elapsed()); }

private:
    QTimer ticker;
    QElapsedTimer gap;
    qint64 most = 0;
};
