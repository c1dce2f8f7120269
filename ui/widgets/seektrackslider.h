// The song's position bar: follows the playing song (by bar for a MIDI song,
// by second otherwise) with the time left, and seeks where the user drops
// the handle. A press anywhere on the bar takes the handle there and holds
// it: a handle that moves on while the user aims is caught all the same.
#pragma once

#include <QWidget>
#include <functional>

namespace Ui {
class SeekTrackSlider;
}
class Song;

// What the slider reads of the song on the transport.
struct TransportSong {
    bool loaded = false;
    int baseType = 0;        // low byte of the format code: 1 MIDI, 2 MP3
    unsigned lengthSec = 0;
    int lastBar = -1;        // bar of a MIDI song's last bar/beat entry, -1 without any

    static TransportSong of(const Song &song);
};

class SeekTrackSlider : public QWidget
{
    Q_OBJECT

public:
    explicit SeekTrackSlider(QWidget *parent = nullptr);

    // Follows the engine's reports and asks it to jump on release.
    template <class Engine>
    SeekTrackSlider(QWidget *parent, Engine *engine)
        : SeekTrackSlider(parent)
    {
        jump = [engine](long position) { engine->jumpTo(position); };
        connect(engine, &Engine::mSecOfPlaying, this, &SeekTrackSlider::followTime);
        connect(engine, &Engine::barBeatOfPlaying, this, &SeekTrackSlider::followBar);
    }
    ~SeekTrackSlider() override;

    // The current song as it stands at each report; the owner also passes
    // the song's load-state reports to showLoadState.
    void setSongSource(std::function<TransportSong()> source);

    void showLoadState(int loadState);
    void followTime(uint milliseconds, uint tick);
    void followBar(uint bar, uint beat);

    // "mm:ss", minutes going past 59.
    static QString clockText(qint64 seconds);

protected:
    void changeEvent(QEvent *event) override;
    // A hidden bar holds nothing: the next press starts a drag of its own.
    void hideEvent(QHideEvent *event) override;

private slots:
    void holdHandle();
    void showDragTarget(int value);
    void seekToHandle();

private:
    void showTarget(int value);
    void fitLabel();
    void letGo();

    Ui::SeekTrackSlider *ui;
    std::function<void(long)> jump = [](long) {};
    std::function<TransportSong()> song = [] { return TransportSong(); };
    bool dragging = false;
    unsigned lengthSec = 0;
};
