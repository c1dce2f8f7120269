// The dot-matrix song display in the header bar: title, artist, format,
// tempo and key with the user's offsets, elapsed time, bar and beat.
#pragma once

#include "SongInfo.h"

#include <QWidget>
#include <functional>

namespace Ui {
class statusBarHead;
}

class statusBarHead : public QWidget
{
    Q_OBJECT

public:
    explicit statusBarHead(QWidget *parent = nullptr);
    ~statusBarHead() override;

    // Follows the engine's position and bar reports and reads its tempo and
    // key offsets when a song is shown. The engine's tempo and key reports
    // reach showSongBpm and showDeltaKey through the owner.
    template <class Engine>
    void setEngPtr(Engine *engine)
    {
        deltaBpm = [engine] { return int(engine->getDeltaBpm()); };
        deltaKey = [engine] { return int(engine->getDeltaKey()); };
        connect(engine, &Engine::mSecOfPlaying, this, &statusBarHead::followTime);
        connect(engine, &Engine::barBeatOfPlaying, this, &statusBarHead::followBarBeat);
    }

    void showSongInfo(const SongInfo &info);
    void clearSongInfo();
    // Chord notation of the key: 0 Italian note names, 1 letter names.
    void setChordLang(int notation);

    void showSongBpm(int bpm, int delta);
    void showDeltaKey(int delta);
    void followTime(uint milliseconds, uint tick);
    void followBarBeat(uint bar, uint beat);
    // While the sound server is gone, the artist's line says so.
    void showOutputLost(bool lost);
    // The output chosen is gone and the default plays (empty: no longer):
    // said once, in the artist's line until the next song is shown.
    void showOutputStandingIn(const QString &chosen);

    // "m:ss" with the minutes going past 59, so a long song never wraps.
    static QString elapsedText(qint64 seconds);

    // The width beyond its least the display needs to show this many
    // characters of the title and the artist.
    int roomForNames(int characters) const;

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showTempo(int delta);
    void showKey(int delta);
    // Each value keeps room for its widest text; the title and the artist
    // share the rest, cut with an ellipsis where they do not fit.
    void fitLabels();
    void keepRoom();
    void showNames();

    Ui::statusBarHead *ui;
    SongInfo song;
    int chordNotation = 1;
    int floorWidth = -1; // the minimum width the header gives the display
    qint64 lastSecondShown = -1;
    bool outputLost = false;
    QString standingIn;
    std::function<int()> deltaBpm = [] { return 0; };
    std::function<int()> deltaKey = [] { return 0; };
};
