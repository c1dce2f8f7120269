// The mixer page: one fader with solo and mute for each of the six instrument
// groups (drums, bass, guitars, keyboards, orchestra, winds), each volume
// going to the sequencer's group volumes through the sound engine; under
// them, per group, the channels of the song in play with a light that is on
// while the channel sounds.
//
// Lights: the two pictures are made once; a note-on only switches a light
// whose state changes, so a dense song costs a comparison per note-on.
// Channel rows are rebuilt from scratch on every song start, so a second
// start of the same song adds nothing.
//
// Threads: GUI thread only.
#pragma once

#include "Song.h"
#include "SoundEngine.h"

#include <QPixmap>
#include <QWidget>
#include <array>

class QAbstractButton;
class QFrame;
class QLabel;
class QSlider;

namespace Ui {
class mixerView;
}

class mixerView : public QWidget
{
    Q_OBJECT

public:
    // song: the song on the transport, whose instruments the strips show.
    mixerView(QWidget *parent, SoundEngine *engine, const Song &song);
    ~mixerView() override;

    // Channels 1 to 32, as the engine reports them; others are ignored.
    bool isLit(int channel) const;
    // The channel's row: its frame (group), or null when it has none.
    QFrame *frameOf(int channel) const;

public slots:
    void showDetails(bool show);
    void isPlaying(int channel, int on);
    void resetLeds();
    void refreshInstruments();
    void resetFrames();
    void on_loadSongChange(Song::LoadSongState state);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void setDrumsVolume(int value);
    void setBassVolume(int value);
    void setGuitarVolume(int value);
    void setKeyboardsVolume(int value);
    void setOrchestraVolume(int value);
    void setWindsVolume(int value);
    void soloDrums();
    void soloBass();
    void soloGuitar();
    void soloKeyboards();
    void soloOrchestra();
    void soloWinds();
    void muteDrums();
    void muteBass();
    void muteGuitar();
    void muteKeyboards();
    void muteOrchestra();
    void muteWinds();

private:
    void nameButtons();
    struct Group {
        QSlider *fader;
        QAbstractButton *solo;
        QAbstractButton *mute;
        QFrame *frame;
    };
    struct Strip {
        QLabel *name = nullptr;
        QLabel *led = nullptr;
        QFrame *frame = nullptr;
        bool lit = false;
    };

    void mute(SoundEngine::eSliders g);
    void solo(SoundEngine::eSliders g);
    void handleMuteSolo(SoundEngine::eSliders g, int mode);
    void restoreVolumes();
    void setVolume(SoundEngine::eSliders g, int volume);
    void ledOn(Strip &s);
    void ledOff(Strip &s);

    Ui::mixerView *ui;
    SoundEngine *m_engine;
    const Song &m_song;
    std::array<Group, 6> m_groups{};
    std::array<Strip, NUM_SLOTS> m_strips{};
    QPixmap m_ledOn;
    QPixmap m_ledOff;
};
