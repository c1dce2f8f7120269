// The edit page: the key shift and tempo change of the song on the transport
// and, for a MIDI song, one channel strip per channel the song uses. Every
// edit goes straight to the sound engine and is heard at once; the started
// song (StartedSong) writes the edits into the song file when it stops, and
// the page empties itself. It shows what the started song says of its
// saves (a song that will not keep its edits, a save that failed). Global
// undo restarts the song as its file has it; restore settings first puts
// back, once the user agrees, what the file's backup holds
// (StartedSong::restore). Both skip the save of the stop they cause.
//
// Between its plays (stopped, or loaded and not started) the page shows the
// key and tempo the song keeps and its buttons count from them; a change made
// then is heard at Play and written at that play's stop.
//
// Threads: GUI thread only.
#pragma once

#include "Song.h"

#include <QList>
#include <QWidget>

class ControlTrackSmall;
class QLabel;
class SoundEngine;
class StartedSong;

namespace Ui {
class editView;
}

class editView : public QWidget
{
    Q_OBJECT

public:
    // The page keeps the edits through song, or, without one, through a
    // started song of its own that follows whatever song plays.
    editView(QWidget *parent, SoundEngine *engine, StartedSong *song = nullptr);
    ~editView() override;

    // The song's own tempo (0: none given) and key signature, as its
    // information gives them.
    void setBpmAndKeySign(int bpm, const QString &keySign);
    // 0 Italian note names, 1 letter names.
    void setChordLang(int notation);

    int stripCount() const;
    ControlTrackSmall *strip(int row) const;
    // What the page tells of saves (a song that will not keep its edits,
    // the last save that failed); empty when nothing.
    QString saveMessage() const;
    // The started song's: what to tell of the edits a retry may still
    // write, once everything was tried, and leaving without them.
    QString saveBeforeQuit();
    void dropUnsaved();

signals:
    // Load the song at path and start it again; action 0 plays.
    void restartSong(const QString &path, int action);

public slots:
    void createChildInstr();
    void onSongBpmChanged(int bpm, int delta);
    void onSongKeyChanged(int delta);
    void on_loadSongChange(Song::LoadSongState state);

private slots:
    void keyDown();
    void keyUp();
    void slowDown();
    void speedUp();
    void undoAllChanges();
    void restoreFileSettings();
    void showGlobalUndoDown();
    void showGlobalUndoUp();
    void showRestoreDown();
    void showRestoreUp();
    void showKeyMinusDown();
    void showKeyMinusUp();
    void showKeyPlusDown();
    void showKeyPlusUp();
    void showBpmMinusDown();
    void showBpmMinusUp();
    void showBpmPlusDown();
    void showBpmPlusUp();
    // One receiver for every note-on, routed to the channel's strip.
    void onNoteOn(int channel, int velocity);

protected:
    void changeEvent(QEvent *event) override;

private:
    void stepKey(int step);
    // What the started song says of its saves, on the page while there is
    // something to say.
    void showSaveMessage();
    void stepBpm(int step);
    void refreshLabelKey();
    void refreshLabelBpm();
    // The song's edits have ended: the page empties itself.
    void clearPage();
    // Between a song's plays, stopped or just loaded: the key and tempo it
    // keeps, shown and counted from; nothing without a song.
    void showWaitingSong();
    void clearStrips();
    void addStrip(ControlTrackSmall *strip);
    bool isMp3() const;
    // Restart from the file: the stop that follows saves nothing.
    void restartWithoutSaving();

    Ui::editView *ui;
    QMetaObject::Connection m_followFocus;
    SoundEngine *m_engine;
    StartedSong *m_song;
    int m_deltaBpm = 0;
    int m_deltaKey = 0;
    int m_bpm = 0;
    int m_notation = 0;
    QString m_keySign;
    QList<ControlTrackSmall *> m_byChannel;
    QLabel *m_saveMessage = nullptr;
};
