#include "songplayer.h"

#include "Extract.h"
#include "SongFile.h"

#include <QList>

SongRecords::SongRecords()
    : infos(new MidiInfos()),
      stream(new MidiStream()),
      mfi(new Mfi()),
      db(new Db()),
      buffer(new uint8_t[EVENT_BUFFER_SIZE])
{
    bindStreamData(&sd, &info, buffer.get(), stream.get(), infos.get(), mfi.get(), db.get(), 0);
}

bool loadSong(const QString &path, SongRecords &song, QString *error)
{
    QByteArray bytes;
    if (readSongFile(path, SONG_FILE_MAX_MIDI_BYTES, bytes, error) != SongFileStatus::Ok)
        return false;
    if (!Extract::GetSongInfoFromFile(&song.info, path)) {
        *error = QStringLiteral("not a song file");
        return false;
    }
    if ((song.info.format & SONG_FORMAT_BASE_MASK) != SONG_FORMAT_MIDI) {
        *error = QStringLiteral("not a MIDI song");
        return false;
    }
    // The player asks for no count-in and no melody channel.
    const int length = Extract::NormalizeMidiSequence(
        &song.sd, reinterpret_cast<uint8_t *>(bytes.data()), int(bytes.size()), 0, -1);
    if (length <= 0) {
        *error = Extract::failureText();
        return false;
    }
    song.sd.streamLength = length;
    return true;
}

PlayerRig::PlayerRig(Sequencer::Clock c, IMidiOutput *const outputs[MIDI_OUTPUT_COUNT]) : clock(c)
{
    QList<IMidiOutput *> ports;
    for (int i = 0; i < MIDI_OUTPUT_COUNT; ++i)
        ports << outputs[i];
    seq.reset(new Sequencer(clock));
    iface.initMidiOutPortsSound(ports);
    iface.config_GS_RESET(1);
    seq->setMidiInterface(&iface);
    seq->init();
    seq->ChangeMelodyMode(0);
    seq->setFastRun(0);
}

PlayerRig::~PlayerRig()
{
    seq.reset();
}

void PlayerRig::drainQueues()
{
    // At least a few passes, so that what the tick sends by itself after a
    // change (the Master Volume) has gone too.
    constexpr int kSettleMs = 20;
    for (int i = 0; i < 100000 && (i < kSettleMs || iface.queuedCount(1) || iface.queuedCount(2) ||
                                   iface.queuedCount(4)); ++i) {
        if (clock == Sequencer::Clock::Simulated)
            seq->advance(1);
        else
            QThread::msleep(1);
    }
}

void quietLogs()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}
