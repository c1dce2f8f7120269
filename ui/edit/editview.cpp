#include "editview.h"

#include "Extract.h"
#include "MidiEdit.h"
#include "SoundEngine.h"
#include "StartedSong.h"
#include "controltracksmall.h"
#include "programfonts.h"
#include "ui_editview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <cstring>

namespace {

void setPicture(QAbstractButton *button, const char *picture)
{
    button->setIcon(QIcon(QString::fromLatin1(picture)));
}

QString signedNumber(int n)
{
    return (n > 0 ? QStringLiteral("+") : QString()) + QString::number(n);
}

} // namespace

editView::editView(QWidget *parent, SoundEngine *engine, StartedSong *song)
    : QWidget(parent), ui(new Ui::editView), m_engine(engine), m_song(song ? song : new StartedSong(engine, this)),
      m_byChannel(NUM_SLOTS, nullptr)
{
    ProgramFonts::addApplicationFont(QStringLiteral(":/fonts/lcddot.ttf"));
    ui->setupUi(this);
    connect(ui->minusButtonKey, &QPushButton::clicked, this, &editView::keyDown);
    connect(ui->plusButtonKey, &QPushButton::clicked, this, &editView::keyUp);
    connect(ui->minusBpm, &QPushButton::clicked, this, &editView::slowDown);
    connect(ui->plusBpm, &QPushButton::clicked, this, &editView::speedUp);
    connect(ui->globalUndoButton, &QPushButton::clicked, this, &editView::undoAllChanges);
    connect(ui->restoreSettingsButton, &QPushButton::clicked, this, &editView::restoreFileSettings);
    connect(ui->globalUndoButton, &QPushButton::pressed, this, &editView::showGlobalUndoDown);
    connect(ui->globalUndoButton, &QPushButton::released, this, &editView::showGlobalUndoUp);
    connect(ui->restoreSettingsButton, &QPushButton::pressed, this, &editView::showRestoreDown);
    connect(ui->restoreSettingsButton, &QPushButton::released, this, &editView::showRestoreUp);
    connect(ui->minusButtonKey, &QPushButton::pressed, this, &editView::showKeyMinusDown);
    connect(ui->minusButtonKey, &QPushButton::released, this, &editView::showKeyMinusUp);
    connect(ui->plusButtonKey, &QPushButton::pressed, this, &editView::showKeyPlusDown);
    connect(ui->plusButtonKey, &QPushButton::released, this, &editView::showKeyPlusUp);
    connect(ui->minusBpm, &QPushButton::pressed, this, &editView::showBpmMinusDown);
    connect(ui->minusBpm, &QPushButton::released, this, &editView::showBpmMinusUp);
    connect(ui->plusBpm, &QPushButton::pressed, this, &editView::showBpmPlusDown);
    connect(ui->plusBpm, &QPushButton::released, this, &editView::showBpmPlusUp);
    // Below the header, shown only while there is a failed save to tell of.
    m_saveMessage = new QLabel(this);
    m_saveMessage->setObjectName(QStringLiteral("saveMessage"));
    m_saveMessage->setWordWrap(true);
    m_saveMessage->setStyleSheet(
        QStringLiteral("background-color: rgb(120, 30, 30); color: white; padding: 6px;"));
    m_saveMessage->hide();
    ui->verticalLayout->insertWidget(1, m_saveMessage);
    connect(&m_song->song(), &Song::loadSongChange, this, &editView::on_loadSongChange);
    connect(m_song, &StartedSong::editsBegan, this, &editView::createChildInstr);
    connect(m_song, &StartedSong::editsEnded, this, &editView::clearPage);
    connect(m_song, &StartedSong::saveMessageChanged, this, &editView::showSaveMessage);
    connect(m_song, &StartedSong::started, this,
            [this](const SongInfo &info) { setBpmAndKeySign(info.bpm, info.keySign); });
    connect(engine, &SoundEngine::songBpmChanged, this, &editView::onSongBpmChanged);
    connect(engine, &SoundEngine::songKeyChanged, this, &editView::onSongKeyChanged);
    connect(engine, &SoundEngine::isPlayingTrack, this, &editView::onNoteOn);
    // The list does not follow the focus by itself: a control reached with
    // Tab below the rows in sight would take keys unseen.
    m_followFocus = connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        QListWidget *rows = ui->listInstruments;
        for (int r = 0; now && r < rows->count(); ++r) {
            QWidget *strip = rows->itemWidget(rows->item(r));
            if (strip && (strip == now || strip->isAncestorOf(now))) {
                rows->scrollToItem(rows->item(r), QAbstractItemView::EnsureVisible);
                return;
            }
        }
    });
}

editView::~editView()
{
    // Deleting the rows moves the focus, which would call back into a page
    // half taken down.
    disconnect(m_followFocus);
    delete ui;
}

void editView::setBpmAndKeySign(int bpm, const QString &keySign)
{
    m_bpm = bpm;
    m_keySign = keySign;
    refreshLabelBpm();
    refreshLabelKey();
}

void editView::setChordLang(int notation)
{
    m_notation = notation;
    refreshLabelKey();
}

int editView::stripCount() const
{
    return ui->listInstruments->count();
}

ControlTrackSmall *editView::strip(int row) const
{
    return qobject_cast<ControlTrackSmall *>(ui->listInstruments->itemWidget(ui->listInstruments->item(row)));
}

bool editView::isMp3() const
{
    // Between plays, the song loaded.
    if (m_song->editedPath().isEmpty())
        return m_song->song().isLoaded() && m_song->song().baseType() == SONG_FORMAT_MP3;
    return m_song->editedType() == SONG_FORMAT_MP3;
}

void editView::createChildInstr()
{
    clearStrips();
    m_deltaKey = m_engine->getDeltaKey();
    m_deltaBpm = m_engine->getDeltaBpm();
    refreshLabelKey();
    refreshLabelBpm();
    if (m_song->editedType() != SONG_FORMAT_MIDI)
        return;

    // One snapshot of the tables, so each index found names a row of the
    // same table even if the sound set is switched meanwhile.
    const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
    const MIDI_SETTING_DATA &data = m_engine->midiEdit()->savedData();
    for (int c = 0; c < NUM_SLOTS; ++c) {
        const MidiEditTrack &t = data.tracks[c][0];
        const bool drum = t.flags & DB_FLAG_DRUM;
        if (m_song->song().db().layers[c][0].program == NO_PROGRAM)
            continue;
        if (qstrcmp(getInstrumentOrDrumKitName(tables, t.program, t.bank, t.insertId, drum), NO_INSTRUMENT_NAME) == 0)
            continue;
        const int row = drum ? findDrumKitPos(tables, t.program, t.bank)
                             : findInstrumentPos(tables, t.program, t.bank, t.insertId);
        if (row < 0)
            continue;
        ControlTrackSmall *s = drum ? new ControlTrackSmall(nullptr, c + 1, &tables->GSshrtDrumKit[row], t.volume,
                                                            t.muteSolo)
                                    : new ControlTrackSmall(nullptr, c + 1, &tables->trkGsNames[row], t.volume,
                                                            t.muteSolo);
        // Undo goes back to the file; shown is what plays (edits still unsaved).
        const MidiEditTrack &e = m_engine->midiEdit()->editedData().tracks[c][0];
        s->showPlaying(e.volume, e.muteSolo);
        if (e.program != t.program || e.bank != t.bank || e.insertId != t.insertId)
            s->setInstrName(QString::fromLatin1(getInstrumentOrDrumKitName(tables, e.program, e.bank, e.insertId, drum)));
        addStrip(s);
    }
}

void editView::addStrip(ControlTrackSmall *s)
{
    auto *item = new QListWidgetItem(ui->listInstruments);
    item->setSizeHint(s->sizeHint());
    ui->listInstruments->setItemWidget(item, s);
    m_byChannel[s->channel() - 1] = s;
    SoundEngine *e = m_engine;
    connect(s, &ControlTrackSmall::volumeChanged, e, &SoundEngine::setTrackVolume);
    connect(s, &ControlTrackSmall::muteSoloChanged, e, &SoundEngine::setTrackMuteSolo);
    connect(s, qOverload<const GS_INSTRUMENT_NAME *, int>(&ControlTrackSmall::prgCh), e,
            &SoundEngine::changeInstrWithStruct);
    connect(s, qOverload<const GS_DRUM_KIT_NAME *, int>(&ControlTrackSmall::prgCh), e,
            &SoundEngine::changeDrumWithStruct);
    connect(e, &SoundEngine::trackStopped, s, &ControlTrackSmall::resetAsterisk);
}

void editView::onNoteOn(int channel, int velocity)
{
    if (channel >= 1 && channel <= NUM_SLOTS && m_byChannel[channel - 1])
        m_byChannel[channel - 1]->showAsterisk(channel, velocity);
}

void editView::clearStrips()
{
    m_byChannel.fill(nullptr);
    ui->listInstruments->clear();
}

void editView::onSongBpmChanged(int bpm, int delta)
{
    m_bpm = bpm;
    m_deltaBpm = delta;
    refreshLabelBpm();
}

void editView::onSongKeyChanged(int delta)
{
    m_deltaKey = delta;
    refreshLabelKey();
}

void editView::on_loadSongChange(Song::LoadSongState state)
{
    // A song in play is the started song's: its end clears the page.
    if (state == Song::eLsDownloading || !m_song->editedPath().isEmpty())
        return;
    clearStrips();
    showWaitingSong();
}

void editView::stepKey(int step)
{
    m_engine->changeKey(m_deltaKey + step);
    m_deltaKey = m_engine->getDeltaKey();
    refreshLabelKey();
}

void editView::stepBpm(int step)
{
    m_engine->changeBpm(m_deltaBpm + step);
    m_deltaBpm = m_engine->getDeltaBpm();
    refreshLabelBpm();
}

void editView::keyDown() { stepKey(-1); }
void editView::keyUp() { stepKey(1); }
void editView::slowDown() { stepBpm(-1); }
void editView::speedUp() { stepBpm(1); }

void editView::restartWithoutSaving()
{
    m_song->saveNothingAtStop();
    emit restartSong(m_song->song().path(), 0);
}

void editView::undoAllChanges()
{
    if (m_song->song().isLoaded())
        restartWithoutSaving();
}

// Asks first, saying what it undoes; where another program changed the song
// since, only the settings go back. The song on the page restarts from the
// restored file without saving what was edited on it.
void editView::restoreFileSettings()
{
    if (!m_song->song().isLoaded())
        return;
    const QString path = m_song->song().path();
    const QString name = StartedSong::shownName(path);
    const QString title = tr("Restore the original settings");
    QString why;
    QString question;
    switch (StartedSong::restorePlan(path, &why)) {
    case StartedSong::Restore::Nothing:
        QMessageBox::information(this, title,
                                 why.isEmpty() ? tr("%1 has no copy of its original settings: the program has not "
                                                    "saved changes into it.").arg(name)
                                               : tr("%1 has no copy of its original settings: %2.").arg(name, why));
        return;
    case StartedSong::Restore::Refused:
        QMessageBox::warning(this, title, tr("The original settings of %1 cannot be put back: %2.").arg(name, why));
        return;
    case StartedSong::Restore::Whole:
        question = tr("Put %1 back as it was before the program first saved changes into it? The key, tempo "
                      "and mix saved since then are undone.").arg(name);
        break;
    case StartedSong::Restore::SettingsOnly:
        question = tr("%1 was changed by another program since the program first saved changes into it. "
                      "Only its original key, tempo and mix are put back; the music stays as it is now. "
                      "Put them back?").arg(name);
        break;
    }
    if (QMessageBox::question(this, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!m_song->restore(path, &why)) {
        QMessageBox::warning(this, title, tr("The original settings of %1 cannot be put back: %2.").arg(name, why));
        return;
    }
    // The song may have stopped or changed while the question was open.
    if (m_song->song().isLoaded() && m_song->song().path() == path)
        restartWithoutSaving();
}

void editView::showGlobalUndoDown() { setPicture(ui->globalUndoButton, ":/icon2x/global-undo_DOWN.png"); }
void editView::showGlobalUndoUp() { setPicture(ui->globalUndoButton, ":/icon2x/global-undo_UP.png"); }
void editView::showRestoreDown() { setPicture(ui->restoreSettingsButton, ":/icon2x/restore-settings_DOWN.png"); }
void editView::showRestoreUp() { setPicture(ui->restoreSettingsButton, ":/icon2x/restore-settings_UP.png"); }
void editView::showKeyMinusDown() { setPicture(ui->minusButtonKey, ":/icon2x/minus_DOWN.png"); }
void editView::showKeyMinusUp() { setPicture(ui->minusButtonKey, ":/icon2x/minus_UP.png"); }
void editView::showKeyPlusDown() { setPicture(ui->plusButtonKey, ":/icon2x/plus_DOWN.png"); }
void editView::showKeyPlusUp() { setPicture(ui->plusButtonKey, ":/icon2x/plus_UP.png"); }
void editView::showBpmMinusDown() { setPicture(ui->minusBpm, ":/icon2x/minus_DOWN.png"); }
void editView::showBpmMinusUp() { setPicture(ui->minusBpm, ":/icon2x/minus_UP.png"); }
void editView::showBpmPlusDown() { setPicture(ui->plusBpm, ":/icon2x/plus_DOWN.png"); }
void editView::showBpmPlusUp() { setPicture(ui->plusBpm, ":/icon2x/plus_UP.png"); }

void editView::refreshLabelKey()
{
    // The key comes from the song file: only as much as the helper can hold.
    char name[EXTRACT_CHORD_BUFFER_SIZE] = {};
    const QByteArray key = m_keySign.toLatin1().left(EXTRACT_CHORD_MAX_CHARS);
    memcpy(name, key.constData(), size_t(key.size()));
    Extract::TransposeAndTranslateChord(name, m_deltaKey, m_notation);
    ui->labelKey->setText(QString::fromLatin1(name) + QStringLiteral(" [") + signedNumber(m_deltaKey) +
                          QStringLiteral("]"));
}

void editView::refreshLabelBpm()
{
    // An MP3's change is a percentage: the label shows the tempo it gives.
    const bool mp3 = isMp3();
    QString text;
    if (m_bpm > 0)
        text = QString::number(mp3 ? qRound(m_bpm * (100 + m_deltaBpm) / 100.0) : m_bpm + m_deltaBpm);
    text += QStringLiteral(" [") + signedNumber(m_deltaBpm) + (mp3 ? QStringLiteral("%]") : QStringLiteral("]"));
    ui->labelBpm->setText(text);
}

void editView::showSaveMessage()
{
    const QString said = m_song->saveMessage();
    m_saveMessage->setText(said);
    m_saveMessage->setVisible(!said.isEmpty());
}

void editView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        showSaveMessage();
    }
    QWidget::changeEvent(event);
}

QString editView::saveMessage() const
{
    return m_saveMessage->isHidden() ? QString() : m_saveMessage->text();
}

QString editView::saveBeforeQuit()
{
    return m_song->saveBeforeQuit();
}

void editView::dropUnsaved()
{
    m_song->dropUnsaved();
}

void editView::clearPage()
{
    clearStrips();
    showWaitingSong();
}

void editView::showWaitingSong()
{
    m_deltaKey = m_engine->getDeltaKey();
    m_deltaBpm = m_engine->getDeltaBpm();
    if (!m_song->song().isLoaded()) {
        m_keySign.clear();
        m_bpm = 0;
    }
    refreshLabelBpm();
    refreshLabelKey();
}
