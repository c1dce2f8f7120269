// Stands in for the sound engine: the same signals, the offsets it reports
// and a record of the jumps asked of it.
#pragma once

#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QTest>

class FakeEngine : public QObject
{
    Q_OBJECT

public:
    int deltaBpm = 0;
    int deltaKey = 0;
    QList<long> jumps;

    int getDeltaBpm() const { return deltaBpm; }
    int getDeltaKey() const { return deltaKey; }
    void jumpTo(long position) { jumps << position; }

signals:
    void mSecOfPlaying(uint msec, uint tick);
    void barBeatOfPlaying(uint bar, uint beat);
    void songBpmChanged(int bpm, int delta);
    void songKeyChanged(int delta);
};

// Any Qt warning (a failed connection, a missing picture) fails the test,
// except the offscreen platform's notes that it cannot resize on hints,
// raise a window or grab the keyboard for a pop-up, and the drop-outs a
// test's timer device, late on a busy machine, makes the player log.
inline void failOnAnyWarning()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(
        "^(?!This plugin does not support (propagateSizeHints|raise|grabbing))(?!.*: drop-out at \\d+ ms: )")));
}
