#include "editview.h"

#include "Extract.h"
#include "MidiEdit.h"
#include "SongRW.h"
#include "SoundEngine.h"
#include "controltracksmall.h"
#include "programfonts.h"
#include "ui_editview.h"

#include <QAbstractButton>
#include <QDebug>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <memory>

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

editView::editView(QWidget *parent, SoundEngine *engine)
    : QWidget(parent), ui(new Ui::editView), m_engine(engine), m_byChannel(NUM_SLOTS, nullptr)
{
    ProgramFonts::addApplicationFont(QStringLiteral(":/fonts/lcddot.ttf"));
    ui->setupUi(this);
    // Below the header, shown only while there is a failed save to tell of.
    m_saveMessage = new QLabel(this);
    m_saveMessage->setObjectName(QStringLiteral("saveMessage"));
    m_saveMessage->setWordWrap(true);
    m_saveMessage->setStyleSheet(
        QStringLiteral("#saveMessage { background-color: rgb(120, 30, 30); color: white; padding: 6px; }"));
    m_saveMessage->hide();
    ui->verticalLayout->insertWidget(1, m_saveMessage);
    connect(currSong, &Song::loadSongChange, this, &editView::on_loadSongChange);
    connect(engine, &SoundEngine::refreshInstr, this, &editView::createChildInstr);
    connect(engine, &SoundEngine::songBpmChanged, this, &editView::onSongBpmChanged);
    connect(engine, &SoundEngine::songKeyChanged, this, &editView::onSongKeyChanged);
    connect(engine, &SoundEngine::trackStopped, this, &editView::onTrackStopped);
    connect(engine, &SoundEngine::isPlayingTrack, this, &editView::onNoteOn);
}

editView::~editView()
{
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
    return m_songType == SONG_FORMAT_MP3;
}

void editView::createChildInstr()
{
    clearStrips();
    m_songPath = currSong->isLoaded() ? currSong->path() : QString();
    m_songType = currSong->isLoaded() ? currSong->baseType() : 0;
    m_deltaKey = m_startDeltaKey = m_engine->getDeltaKey();
    m_deltaBpm = m_startDeltaBpm = m_engine->getDeltaBpm();
    refreshLabelKey();
    refreshLabelBpm();
    if (m_songType != SONG_FORMAT_MIDI)
        return;

    // One snapshot of the tables, so each index found names a row of the
    // same table even if the sound set is switched meanwhile.
    const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
    const MIDI_SETTING_DATA &data = m_engine->midiEdit()->savedData();
    for (int c = 0; c < NUM_SLOTS; ++c) {
        const MidiEditTrack &t = data.tracks[c][0];
        const bool drum = t.flags & DB_FLAG_DRUM;
        if (currSong->db().layers[c][0].program == NO_PROGRAM)
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

void editView::onTrackStopped()
{
    saveAndClear();
}

void editView::on_loadSongChange(Song::LoadSongState state)
{
    // Unloaded or replaced around the transport, with no stop first: the
    // edits are still saved, into the song they were made on.
    if ((state == Song::eLsUnloaded || state == Song::eLsLoaded) && !m_songPath.isEmpty())
        saveAndClear();
    else if (state == Song::eLsLoaded)
        clearStrips();
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

void editView::on_minusButtonKey_clicked() { stepKey(-1); }
void editView::on_plusButtonKey_clicked() { stepKey(1); }
void editView::on_minusBpm_clicked() { stepBpm(-1); }
void editView::on_plusBpm_clicked() { stepBpm(1); }

void editView::restartWithoutSaving()
{
    m_saveOnStop = false;
    emit restartSong(currSong->path(), 0);
}

void editView::on_globalUndoButton_clicked()
{
    if (currSong->isLoaded())
        restartWithoutSaving();
}

void editView::on_restoreSettingsButton_clicked()
{
    if (!currSong->isLoaded())
        return;
    m_engine->revertFile();
    restartWithoutSaving();
}

void editView::on_globalUndoButton_pressed() { setPicture(ui->globalUndoButton, ":/icon2x/global-undo_DOWN.png"); }
void editView::on_globalUndoButton_released() { setPicture(ui->globalUndoButton, ":/icon2x/global-undo_UP.png"); }
void editView::on_restoreSettingsButton_pressed() { setPicture(ui->restoreSettingsButton, ":/icon2x/restore-settings_DOWN.png"); }
void editView::on_restoreSettingsButton_released() { setPicture(ui->restoreSettingsButton, ":/icon2x/restore-settings_UP.png"); }
void editView::on_minusButtonKey_pressed() { setPicture(ui->minusButtonKey, ":/icon2x/minus_DOWN.png"); }
void editView::on_minusButtonKey_released() { setPicture(ui->minusButtonKey, ":/icon2x/minus_UP.png"); }
void editView::on_plusButtonKey_pressed() { setPicture(ui->plusButtonKey, ":/icon2x/plus_DOWN.png"); }
void editView::on_plusButtonKey_released() { setPicture(ui->plusButtonKey, ":/icon2x/plus_UP.png"); }
void editView::on_minusBpm_pressed() { setPicture(ui->minusBpm, ":/icon2x/minus_DOWN.png"); }
void editView::on_minusBpm_released() { setPicture(ui->minusBpm, ":/icon2x/minus_UP.png"); }
void editView::on_plusBpm_pressed() { setPicture(ui->plusBpm, ":/icon2x/plus_DOWN.png"); }
void editView::on_plusBpm_released() { setPicture(ui->plusBpm, ":/icon2x/plus_UP.png"); }

void editView::refreshLabelKey()
{
    // The key comes from the song file: only as much as the helper can hold.
    char name[EXTRACT_CHORD_BUFFER_SIZE] = {};
    const QByteArray key = m_keySign.toLatin1().left(EXTRACT_CHORD_MAX_CHARS);
    memcpy(name, key.constData(), size_t(key.size()));
    Extract::TransposeAndTraslateChord(name, m_deltaKey, m_notation);
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
    m_saveMessage->setText(m_unsavedFile.isEmpty()
                               ? QString()
                               : tr("The changes to %1 could not be kept: %2.").arg(m_unsavedFile, m_unsavedWhy));
    m_saveMessage->setVisible(!m_unsavedFile.isEmpty());
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
    const QString failed = saveEdits();
    // Told now: the stop that ends the program tries no second time.
    if (!failed.isEmpty())
        m_saveOnStop = false;
    return failed;
}

QString editView::saveEdits()
{
    if (!m_saveOnStop || m_songPath.isEmpty())
        return QString();
    QString why;
    bool tried = false;
    bool saved = true;
    if (m_songType == SONG_FORMAT_MIDI && m_engine->midiEdit()->hasUnsavedEdits()) {
        qDebug() << "Salvato Midi";
        tried = true;
        saved = m_engine->midiEdit()->SaveToFile(m_songPath, &why) == 0;
    } else if (m_songType == SONG_FORMAT_MP3 && (m_deltaBpm != m_startDeltaBpm || m_deltaKey != m_startDeltaKey)) {
        qDebug() << "Salva Mp3";
        tried = true;
        std::unique_ptr<SongRW> rw{SongRW::createFromFile(m_songPath, true, &why)};
        if (rw) {
            rw->setDeltaKey(m_deltaKey);
            rw->setDeltaBpm(m_deltaBpm);
            saved = rw->saveToFile(m_songPath);
            qDebug() << "Salvato?? " << (saved ? "true" : "false");
            if (saved) {
                m_startDeltaBpm = m_deltaBpm;
                m_startDeltaKey = m_deltaKey;
            } else {
                why = rw->errorString();
            }
        } else {
            saved = false;
        }
    }
    if (!tried)
        return QString();
    // One message per save that failed; the next save replaces it.
    if (!saved)
        qWarning().noquote() << "editView: the changes were not saved into" << m_songPath << why;
    m_unsavedFile = saved ? QString() : QFileInfo(m_songPath).fileName();
    m_unsavedWhy = why;
    showSaveMessage();
    return saved ? QString() : m_saveMessage->text();
}

void editView::saveAndClear()
{
    saveEdits();
    m_saveOnStop = true;
    m_keySign.clear();
    m_deltaBpm = m_deltaKey = m_startDeltaBpm = m_startDeltaKey = 0;
    m_bpm = 0;
    m_songPath.clear();
    m_songType = 0;
    refreshLabelBpm();
    refreshLabelKey();
    clearStrips();
}
