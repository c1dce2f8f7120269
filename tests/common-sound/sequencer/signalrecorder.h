// Records the Sequencer's signals in arrival order, with the thread each
// arrived on.
#pragma once

#include "Sequencer.h"

#include <QCoreApplication>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QVector>

struct ArrivedSignal {
    QString name;
    int value;
    bool onGuiThread;
};

class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(Sequencer *s)
    {
        auto add = [this](const char *name, int value) {
            QMutexLocker lock(&m_mutex);
            m_signals.append({QString::fromLatin1(name), value,
                              QThread::currentThread() == QCoreApplication::instance()->thread()});
        };
        connect(s, &Sequencer::barEvent, this, [add](int v) { add("bar", v); });
        connect(s, &Sequencer::beatEvent, this, [add](int v) { add("beat", v); });
        connect(s, &Sequencer::origBpmChanged, this, [add](int v) { add("origBpm", v); });
        connect(s, &Sequencer::deltaBpmChanged, this, [add](int v) { add("deltaBpm", v); });
        connect(s, &Sequencer::fineBrano, this, [add] { add("fineBrano", 0); });
        connect(s, &Sequencer::stopAllSongs, this, [add] { add("stopAllSongs", 0); });
        connect(s, &Sequencer::seekDone, this, [add] { add("seekDone", 0); });
        connect(s, &Sequencer::playPositionChanged, this, [add](int v) { add("position", v); });
        connect(s, &Sequencer::precountStarted, this, [add] { add("precountStarted", 0); });
        connect(s, &Sequencer::UpdatePots, this, [add](int v) { add("UpdatePots", v); });
        connect(s, &Sequencer::midiLoopModeChanged, this, [add] { add("loopMode", 0); });
        connect(s, &Sequencer::melodyModeChanged, this, [add](int v) { add("melodyMode", v); });
        connect(s, &Sequencer::noteOnVolumeChanged, this,
                [add](int c, int, int v) { add("meter", c * 1000 + v); });
    }

    QVector<ArrivedSignal> all() const
    {
        QMutexLocker lock(&m_mutex);
        return m_signals;
    }
    QVector<ArrivedSignal> named(const QString &name) const
    {
        QVector<ArrivedSignal> r;
        for (const ArrivedSignal &s : all())
            if (s.name == name)
                r.append(s);
        return r;
    }
    QVector<int> values(const QString &name) const
    {
        QVector<int> r;
        for (const ArrivedSignal &s : named(name))
            r.append(s.value);
        return r;
    }
    int count(const QString &name) const { return int(named(name).size()); }
    // Names in arrival order, only those listed.
    QStringList sequence(const QStringList &names) const
    {
        QStringList r;
        for (const ArrivedSignal &s : all())
            if (names.contains(s.name))
                r << s.name;
        return r;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_signals.clear();
    }

private:
    mutable QMutex m_mutex;
    QVector<ArrivedSignal> m_signals;
};
