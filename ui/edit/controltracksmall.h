// One channel of the song in play on the edit page: its number, instrument or
// drum kit, volume, play / mute / solo and an undo back to the values the
// strip was built with; an asterisk marks the channel while notes sound.
// Pressing the instrument name opens the instrument chooser.
//
// The strip only reports through its signals (channels counted from 1); the
// edit page connects them to the sound engine. Rows are rows of the live name
// tables, which are never freed, so they stay valid across a table switch.
#pragma once

#include "MIDI_const.h"

#include <QWidget>

namespace Ui {
class ControlTrackSmall;
}

class ControlTrackSmall : public QWidget
{
    Q_OBJECT

public:
    // state: 0 play, 1 mute, 2 solo.
    ControlTrackSmall(QWidget *parent, int channel, const GS_INSTRUMENT_NAME *instrument, int volume,
                      int state);
    ControlTrackSmall(QWidget *parent, int channel, const GS_DRUM_KIT_NAME *kit, int volume, int state);
    ~ControlTrackSmall() override;

    // "Ch. 07 -": always two digits.
    void setChannel(int channel);
    int channel() const { return m_channel; }
    bool isDrum() const { return m_startKit != nullptr; }
    // The volume and mute/solo state in play, where they differ from the
    // file's (the ones undo goes back to); tells no one.
    void showPlaying(int volume, int state);

signals:
    void volumeChanged(int channel, int volume);
    void muteSoloChanged(int channel, int state);
    void prgCh(const GS_INSTRUMENT_NAME *row, int channel);
    void prgCh(const GS_DRUM_KIT_NAME *row, int channel);

public slots:
    void changeInstr(const GS_INSTRUMENT_NAME *row);
    void changeInstr(const GS_DRUM_KIT_NAME *row);
    void showAsterisk(int channel, int velocity);
    void resetAsterisk();
    void setInstrName(const QString &name);
    void muteSoloPLayChanged(int id);

private slots:
    void sendVolume(int value);
    void undoChanges();
    void showUndoDown();
    void showUndoUp();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    ControlTrackSmall(QWidget *parent, int channel, int volume, int state);
    void startUp();
    // The instrument chooser, opened from `at` (global) down and to the right.
    void openChooser(QPoint at);
    // Sets the slider without telling anyone: no edit of the user's.
    void setVolumeQuietly(int volume);

    Ui::ControlTrackSmall *ui;
    int m_channel = 1;
    int m_startVolume = 0;
    int m_startState = 0;
    const GS_INSTRUMENT_NAME *m_startInstrument = nullptr;
    const GS_DRUM_KIT_NAME *m_startKit = nullptr;
};
