// The edit page: the key shift and tempo change of the song on the transport
// and, for a MIDI song, one channel strip per channel the song uses. Every
// edit goes straight to the sound engine and is heard at once; when the song
// stops the page writes the edits into the song file (a MIDI song through the
// mix editor, an MP3 through its tag) and empties itself. Global undo restarts
// the song as its file has it; restore settings first puts back, once the
// user agrees, what the file's backup holds (SongRW::restoreBackup). Both skip
// the save of the stop they cause.
//
// A song whose file cannot take the edits (read-only, in a read-only folder,
// or a file the program only reads) is told as it starts: its edits are
// heard, and not kept. Any other save that fails is told on the page, with
// its reason; the file is then left as it was and the edits stay pending:
// tried again at every stop and at quit until they are written or the user
// leaves without them.
//
// Between its plays (stopped, or loaded and not started) the page shows the
// key and tempo the song keeps and its buttons count from them; a change made
// then is heard at Play and written at that play's stop.
//
// The save goes to the song the strips were built for: its path and format
// are taken when the song starts, so an unload or a new load before the stop
// never loses the edits or writes them into another file; an unload that
// comes without a stop saves as a stop would.
//
// Threads: GUI thread only.
#pragma once

#include "MidiEdit.h"
#include "Song.h"

#include <QList>
#include <QWidget>

class ControlTrackSmall;
class QLabel;
class SoundEngine;

namespace Ui {
class editView;
}

class editView : public QWidget
{
    Q_OBJECT

public:
    editView(QWidget *parent, SoundEngine *engine);
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
    // Writes the edits of the song in play now and those still pending,
    // while there is still a window to tell of a failure: what to tell of
    // the edits that a retry may still write, empty when none is left. May
    // be asked again.
    QString saveBeforeQuit();
    // The user leaves without the edits that could not be written: the
    // stop at the end of the program writes nothing.
    void dropUnsaved();

signals:
    // Load the song at path and start it again; action 0 plays.
    void restartSong(const QString &path, int action);

public slots:
    void createChildInstr();
    void onSongBpmChanged(int bpm, int delta);
    void onSongKeyChanged(int delta);
    void onTrackStopped();
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
    // The last save that failed, said on the page until a save succeeds.
    void showSaveMessage();
    void stepBpm(int step);
    void refreshLabelKey();
    void refreshLabelBpm();
    // Writes what was edited since the song started or was last saved, and
    // the edits still pending.
    void saveEdits();
    void saveAndClear();
    // Between a song's plays, stopped or just loaded: the key and tempo it
    // keeps, shown and counted from; nothing without a song.
    void showLoadedSong();
    void clearStrips();
    void addStrip(ControlTrackSmall *strip);
    bool isMp3() const;
    // Restart from the file: the stop that follows saves nothing.
    void restartWithoutSaving();

    // Edits whose save failed, kept to be tried again.
    struct Pending {
        QString path;
        uint32_t type = 0;
        MIDI_SETTING_DATA base{}, inFile{}, edited{};   // a MIDI song
        int fileBpm = 0, fileKey = 0, bpm = 0, key = 0; // an MP3 song
        QString why;
    };
    // Takes over the pending edits of the song just started when the engine
    // still plays them: they are then the song's own unsaved edits.
    void adoptPending();
    static bool writePending(Pending &p);
    static bool writeMp3(const QString &path, int bpm, int key, QString &why);
    void keepPending(Pending p);

    Ui::editView *ui;
    QMetaObject::Connection m_followFocus;
    SoundEngine *m_engine;
    bool m_saveOnStop = true;
    int m_deltaBpm = 0;
    int m_deltaKey = 0;
    int m_startDeltaBpm = 0;
    int m_startDeltaKey = 0;
    int m_bpm = 0;
    int m_notation = 0;
    QString m_keySign;
    QString m_songPath;
    uint32_t m_songType = 0;
    // The song shown between its plays, whose file holds the start values.
    QString m_shownPath;
    QList<ControlTrackSmall *> m_byChannel;
    QLabel *m_saveMessage = nullptr;
    QList<Pending> m_pending;
    // The song on the page (or just stopped) whose file cannot take its
    // edits, why, and whether edits made on it were lost.
    struct Unkept {
        QString path, why;
        bool lost = false;
    } m_unkept;
};
