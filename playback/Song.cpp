#include "Song.h"

#include "Extract.h"
#include "ExtractLock.h"
#include "Mp3Decoder.h"
#include "Sequencer.h"
#include "SongFile.h"
#include "SongObjects.h"
#include "SongRW.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

Song Song::s_objects[2];
Song *currSong = nullptr;
Song *nextSong = nullptr;

namespace {

// One debug line per finished step of a load: milliseconds since the load
// started and since the previous step, then the step's name.
class StepTimer
{
public:
    void start()
    {
        m_timer.start();
        m_previous = 0;
    }
    void step(const char *name)
    {
        const qint64 now = m_timer.elapsed();
        qDebug().noquote() << QStringLiteral("*** Time loadSongFile *** %1 %2 %3")
                                  .arg(now, 6)
                                  .arg(now - m_previous, 6)
                                  .arg(QLatin1String(name));
        m_previous = now;
    }

private:
    QElapsedTimer m_timer;
    qint64 m_previous = 0;
};

StepTimer stepTimer;

constexpr int kMaxDeltaBpm = 100;
constexpr int kMinDeltaBpm = -50;
constexpr int kDefaultTpqn = 480;

// Copies a counted table of the extraction facade into a list.
template <typename T, typename Count, typename Item>
QList<T> copyItems(s_StreamData *stream, Count count, Item item)
{
    QList<T> out;
    const int n = count(stream);
    out.reserve(std::max(n, 0));
    for (int i = 0; i < n; ++i) {
        if (const T *p = item(stream, i))
            out.append(*p);
    }
    return out;
}

void copyText(char *field, int size, const QString &text)
{
    std::memset(field, 0, size_t(size));
    QByteArray utf8 = text.toUtf8();
    // Cut on a character boundary so the field stays valid UTF-8.
    while (utf8.size() > size - 1) {
        utf8.chop(1);
        while (!utf8.isEmpty() && (uchar(utf8.back()) & 0xC0) == 0x80)
            utf8.chop(1);
        if (!utf8.isEmpty() && uchar(utf8.back()) >= 0xC0)
            utf8.chop(1);
    }
    std::memcpy(field, utf8.constData(), size_t(utf8.size()));
}

// A song file's bytes as the loader takes them: opened as a song (a regular
// file, never waiting on a FIFO or a device) and its size checked before
// anything is read; a MIDI-family file read whole, an MP3 mapped so that its
// audio is never copied into memory (read only where the file system cannot
// map). The bytes stay valid while this object lives. The file is opened
// once: its information is read from the same opening.
class SongBytes
{
public:
    bool open(const QString &path, SongRefusal &refusal, QString &why)
    {
        return openSongFile(path, m_file, &why, &refusal) == SongFileStatus::Ok;
    }
    QFile &file() { return m_file; }
    bool read(uint32_t base, SongRefusal &refusal, QString &why)
    {
        if (!m_file.seek(0)) {
            refusal = {SongRefusal::Unreadable, m_file.errorString()};
            why = QStringLiteral("cannot be read: %1").arg(m_file.errorString());
            return false;
        }
        const qint64 size = m_file.size();
        const qint64 limit = base == SONG_FORMAT_MP3 ? SONG_FILE_MAX_MP3_BYTES : SONG_FILE_MAX_MIDI_BYTES;
        if (size <= 0) {
            refusal = {SongRefusal::Empty};
            why = QStringLiteral("the file is empty");
            return false;
        }
        if (size > limit) {
            refusal = {SongRefusal::TooLarge, QString(), size, limit};
            why = QStringLiteral("too large for a song (%1 bytes, at most %2)").arg(size).arg(limit);
            return false;
        }
        if (base == SONG_FORMAT_MP3) {
            if (const uchar *mapped = m_file.map(0, size)) {
                m_bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), qsizetype(size));
                return true;
            }
        }
        if (readOpenedSongFile(m_file, limit, m_bytes, &why) == SongFileStatus::Ok)
            return true;
        refusal = {SongRefusal::Unreadable, m_file.errorString()};
        return false;
    }
    const QByteArray &bytes() const { return m_bytes; }
    // The bytes read of a MIDI-family file, for keeping.
    QByteArray takeRead() { return std::exchange(m_bytes, QByteArray()); }

private:
    QFile m_file;
    QByteArray m_bytes;
};

// The audio of an MP3 as the loader and the audio path take it: a first
// frame the program plays, and audio the decoder can measure.
bool checkMp3Audio(const QByteArray &bytes, MP3_CONTROL &control, int &bitrate, long &ms, QString &why)
{
    bitrate = Extract::NormalizeMp3Sequence(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                            int(bytes.size()), &control);
    if (bitrate <= 0) {
        why = QStringLiteral("no MPEG-1 audio at 32, 44.1 or 48 kHz was found");
        return false;
    }
    Core::Mp3Decoder decoder;
    if (!decoder.init(48000, false) || !decoder.preloadFile(bytes)) {
        why = QStringLiteral("its audio cannot be decoded");
        return false;
    }
    ms = decoder.getTotMilliSecs();
    return true;
}

// A MIDI song's length in seconds from its tempo map and its bars, played
// at its stored tempo offset.
uint midiSongSeconds(const MidiInfos &mi, uint32_t tpqn, int tempoDelta)
{
    const double tpq = tpqn ? tpqn : kDefaultTpqn;
    const uint32_t end = std::max(mi.runningTick, mi.lastNoteTick);
    const int delta = (tempoDelta >= kMinDeltaBpm && tempoDelta <= kMaxDeltaBpm) ? tempoDelta : 0;
    const int tempos = std::clamp<int>(mi.tempoCount, 0, MAX_TEMPO_ENTRIES);
    const int bars = std::min<int>(mi.barCount, MAX_BARS);
    int bpm = tempos > 0 && mi.tempoTable[0].bpm ? mi.tempoTable[0].bpm : 120;
    double ms = 0;
    uint32_t from = 0;
    int tempo = 0;
    for (int bar = 0; bar <= bars && from < end; ++bar) {
        // From the start of this bar to the next (or the end) at the tempo in force.
        while (tempo < tempos && mi.tempoTable[tempo].bar <= bar) {
            if (mi.tempoTable[tempo].bpm)
                bpm = mi.tempoTable[tempo].bpm;
            ++tempo;
        }
        const uint32_t to = bar + 1 < bars ? std::min(mi.barTicks[bar + 1], end) : end;
        if (to > from)
            ms += (to - from) * 60000.0 / (tpq * std::max(1, bpm + delta));
        from = std::max(from, to);
    }
    return uint(std::lround(ms / 1000.0));
}

// Records of a song of its own, to normalise a MIDI song without a Song. The
// events are written only as far as the song goes: never filled beforehand.
struct ScratchRecords {
    SONG_INFO info{};
    s_StreamData stream{};
    MidiStream midiStream{};
    MidiInfos infos{};
    Mfi mfi{};
    Db db{};
    std::unique_ptr<uint8_t[]> events{new uint8_t[EVENT_BUFFER_SIZE]};
};

} // namespace

Song::Song() = default;

bool Song::checkSongFile(const QString &path, SongRefusal *refusal, uint *seconds)
{
    SongRefusal dummy;
    SongRefusal &r = refusal ? *refusal : dummy;
    r = {};
    QString why;
    // Not read half written (its content before the save lies beside it).
    if (!SongRW::putBackInterruptedSave(path)) {
        r = {SongRefusal::BeingSaved};
        return false;
    }
    // Kept apart from the song information's reader: a missing file, a
    // folder or a pipe is told as such, not as "no song".
    SongBytes file;
    if (!file.open(path, r, why))
        return false;
    auto records = std::make_unique<ScratchRecords>();
    if (!Extract::GetSongInfoFromOpenFile(&records->info, path, file.file())) {
        r = {SongRefusal::NotASong};
        return false;
    }
    // Only these are played as sound: a video, which the player would load
    // with its information alone, would stop the song that plays for silence.
    const uint32_t base = records->info.format & SONG_FORMAT_BASE_MASK;
    if (base != SONG_FORMAT_MIDI && base != SONG_FORMAT_MP3) {
        r = {SongRefusal::NotASong};
        return false;
    }
    if (!file.read(base, r, why))
        return false;
    if (base == SONG_FORMAT_MP3) {
        MP3_CONTROL control{};
        int bitrate = 0;
        long ms = 0;
        if (!checkMp3Audio(file.bytes(), control, bitrate, ms, why)) {
            r = {SongRefusal::BadAudio, why};
            return false;
        }
        if (seconds)
            *seconds = uint(std::max(0L, ms / 1000));
        return true;
    }
    ScratchRecords &rec = *records;
    bindStreamData(&rec.stream, &rec.info, rec.events.get(), &rec.midiStream, &rec.infos, &rec.mfi, &rec.db, 0);
    QByteArray bytes = file.takeRead();
    if (Extract::NormalizeMidiSequence(&rec.stream, reinterpret_cast<uint8_t *>(bytes.data()), int(bytes.size()), 0,
                                       -1) <= 0) {
        r = Extract::failureRefusal();
        return false;
    }
    if (seconds)
        *seconds = midiSongSeconds(rec.infos, Extract::GetMidiTpqn(&rec.stream), rec.db.tempoDelta);
    return true;
}

void Song::initSong()
{
    currSong = &s_objects[0];
    nextSong = &s_objects[1];
}

void Song::swapNextToCurrentSong(bool) {}

const char *Song::role() const
{
    if (this == currSong)
        return "currSong";
    if (this == nextSong)
        return "nextSong";
    return "????Song";
}

bool Song::lock()
{
    if (m_lockOwner == QThread::currentThread()) {
        qCritical() << "Song: load or unload from inside a receiver of the same song";
        return false;
    }
    m_mutex.lock();
    m_lockOwner = QThread::currentThread();
    return true;
}

void Song::unlock()
{
    m_lockOwner = nullptr;
    m_mutex.unlock();
}

bool Song::loadSongFile(const QString &path, int playlistId, const QString &playlistName)
{
    stepTimer.start();
    if (!lock()) {
        m_refusal = {SongRefusal::NotLoaded};
        return false;
    }
    const bool wasLoaded = m_loaded;
    bool reload = false;
    const bool ok = load(path, &reload);
    if (ok) {
        m_playlistId = reload ? m_playlistId : playlistId;
        m_inPlaylist = reload ? m_inPlaylist : playlistId >= 0;
        m_playlistName = reload ? m_playlistName : (playlistId >= 0 ? playlistName : QString());
        if (!reload)
            m_playlistIndex = -1;
        emit loadSongChange(reload ? eLsReload : eLsLoaded);
        stepTimer.step(reload ? "emit eLsReload" : "emit eLsLoaded");
    } else {
        // Whatever the failed load wrote is dropped, so no view and no
        // engine ever sees half a song.
        clearSongData();
        if (wasLoaded)
            emit loadSongChange(eLsUnloaded);
    }
    unlock();
    return ok;
}

bool Song::load(const QString &path, bool *reload)
{
    *reload = m_loaded && m_path == path;
    if (*reload) {
        // The records and the slot stay; the lists are read again.
        m_hasText = m_hasSyllables = m_hasChords = m_hasMarkers = m_hasBars = m_hasCdg = false;
        m_downloading = m_hasBackup = false;
        m_textRows.clear();
        m_syllables.clear();
        m_chords.clear();
        m_markers.clear();
        m_barsBeats.clear();
        m_cdgBuffer.clear();
        m_audioMs = 0;
    } else {
        // Nothing of a song loaded before may outlive it.
        clearSongData();
    }
    m_path = path;
    qDebug().noquote() << QStringLiteral("--->[%1] LOAD SONG :").arg(QLatin1String(role())) << path;
    stepTimer.step("Start");

    QString why;
    // A save of this song that died halfway is undone before it is read; one
    // under way (another program's) leaves it unread.
    if (!SongRW::putBackInterruptedSave(path)) {
        m_refusal = {SongRefusal::BeingSaved};
        return false;
    }
    SongBytes file;
    if (!file.open(path, m_refusal, why)) {
        qWarning().noquote() << "Song: not loaded:" << path << why;
        return false;
    }
    // Until a step says otherwise, a failure is the loader's own.
    m_refusal = {SongRefusal::NotLoaded};
    if (!Extract::GetSongInfoFromOpenFile(&m_info, path, file.file())) {
        m_refusal = {SongRefusal::NotASong};
        return false;
    }
    stepTimer.step("GetSongInfoFromFile");
    switch (baseType()) {
    case SONG_FORMAT_NONE:
    case SONG_FORMAT_AUDIO:
    case SONG_FORMAT_MTA:
    case SONG_FORMAT_MTV:
        m_refusal = {SongRefusal::NotASong};
        return false;
    case SONG_FORMAT_MIDI:
    case SONG_FORMAT_MP3: {
        if (!file.read(baseType(), m_refusal, why)) {
            qWarning().noquote() << "Song: not loaded:" << path << why;
            return false;
        }
        m_refusal = {SongRefusal::NotLoaded};
        m_hasBackup = QFileInfo::exists(SongRW::backupPath(path));
        m_fileBuffer = baseType() == SONG_FORMAT_MIDI ? file.takeRead() : QByteArray();
        stepTimer.step("Open and Read fileBuffer");
        if (!*reload) {
            if (!initStreamData()) {
                qDebug() << "InitFreeStreamDataToLoad : FAIL !!!";
                return false;
            }
            qDebug() << "InitFreeStreamDataToLoad :" << "stream.slot =" << m_stream.slotFlag;
            stepTimer.step("initStreamData");
        }
        if (!(baseType() == SONG_FORMAT_MP3 ? readMp3(file.bytes()) : readMidi())) {
            m_refusal = baseType() == SONG_FORMAT_MP3 ? SongRefusal(SongRefusal::BadAudio) : Extract::failureRefusal();
            return false;
        }
        copyLyrics();
        break;
    }
    default:
        // Video and the like: the song information only.
        break;
    }
    m_chordOnTextAdjTime = calcChordOnTextAdjustTime();
    stepTimer.step("Calc chord adjust time");
    m_loaded = true;
    m_refusal = {};

    if (!*reload && this == currSong && baseType() == SONG_FORMAT_MIDI && sequencer) {
        if (!sequencer->preloadMidiFile(&m_stream)) {
            qWarning() << "preloadMidiFile failed:" << path;
            m_refusal = {SongRefusal::NotLoaded};
            m_loaded = false;
            return false;
        }
        stepTimer.step("preloadMidiFile");
    }
    return true;
}

bool Song::readMp3(const QByteArray &bytes)
{
    if (SongRW *rw = SongRW::createFromFile(m_path, false)) {
        stepTimer.step("Mp3 SongRW createFromFile");
        m_db.tempoDelta = int16_t(rw->getDeltaBpm());
        m_db.transpose = int16_t(rw->getDeltaKey());
        stepTimer.step("SongRW get deltaBpm deltaKey");
        delete rw;
    }
    MP3_CONTROL control{};
    int bitrate = 0;
    QString why;
    const bool playable = checkMp3Audio(bytes, control, bitrate, m_audioMs, why);
    stepTimer.step("NormalizeMp3Sequence");
    if (!playable) {
        if (bitrate <= 0)
            qWarning() << "BitRate 0 detected";
        qWarning().noquote() << "Song: not loaded:" << m_path << why;
        return false;
    }
    m_info.seconds = int32_t((int64_t(bytes.size()) - control.tagLength) * 8 / (int64_t(bitrate) * 1000));
    m_hasCdg = loadCdgFileIfPresent();
    stepTimer.step("loadCdgFileIfPresent");
    if (!m_hasCdg) {
        Extract::Mp3TextFindType(&m_stream, reinterpret_cast<const uint8_t *>(bytes.constData()), long(bytes.size()),
                                 MP3_TRAILING_TAIL_LENGTH);
        stepTimer.step("Mp3TextFindType");
    }
    return true;
}

bool Song::readMidi()
{
    // The bar table is the normaliser's global of its last run: copy it
    // before anyone else can normalise.
    ExtractLocker lock;
    m_stream.streamLength = Extract::NormalizeMidiSequence(
        &m_stream, reinterpret_cast<uint8_t *>(m_fileBuffer.data()), int(m_fileBuffer.size()), 0, -1);
    stepTimer.step("NormalizeMidiSequence");
    if (m_stream.streamLength <= 0)
        return false;
    m_tpqn = Extract::GetMidiTpqn(&m_stream);
    const int bars = Extract::GetNumBarsBeats();
    m_barsBeats.reserve(bars);
    for (int i = 0; i < bars; ++i) {
        if (const BAR_BEAT_POS *p = Extract::GetBarBeatStructItem(i))
            m_barsBeats.append(*p);
    }
    m_hasBars = !m_barsBeats.isEmpty();
    stepTimer.step("Copy bars and beats");
    m_markers = copyItems<MARKER_EV>(&m_stream, Extract::GetNumMarkers, Extract::GetMarkerStructItem);
    m_hasMarkers = !m_markers.isEmpty();
    stepTimer.step("Copy markers");
    return true;
}

void Song::copyLyrics()
{
    m_textRows = copyItems<TEXT_EV>(&m_stream, Extract::GetNumTextLines,
                                    [](s_StreamData *s, int i) { return Extract::GetTextLineStructItem(s, unsigned(i)); });
    m_hasText = !m_textRows.isEmpty();
    stepTimer.step("Copy lyric rows");
    m_syllables = copyItems<SYL_EV>(&m_stream, Extract::GetNumSylEvent, Extract::GetSylEventStructItem);
    m_hasSyllables = m_syllables.size() > 2 * m_textRows.size();
    stepTimer.step("Copy syllables");
    if (m_hasText && m_hasSyllables) {
        adjustSyllablesForSpaces();
        stepTimer.step("Move syllables past spaces");
    }
    m_chords = copyItems<CHORD_EV>(&m_stream, Extract::GetNumChordEvent, Extract::GetChordsEventStructItem);
    m_hasChords = !m_chords.isEmpty();
    stepTimer.step("Copy chords");
}

void Song::adjustSyllablesForSpaces()
{
    qsizetype cursor = 0;
    for (qsizetype r = 0; r < m_textRows.size(); ++r) {
        const TEXT_EV &row = m_textRows[r];
        const int length = int(strnlen(row.text, TEXT_EV_SIZE));
        qsizetype stop = cursor;
        bool spaces = false;
        for (int j = 0; j < length; ++j) {
            if (row.text[j] != ' ')
                continue;
            spaces = true;
            qsizetype k = cursor;
            for (; k < m_syllables.size() && m_syllables[k].row <= r; ++k) {
                SYL_EV &s = m_syllables[k];
                if (s.row == r && j < s.offset && s.offset < length)
                    ++s.offset;
            }
            stop = k;
        }
        if (spaces)
            cursor = stop;
    }
}

void Song::clearSongData()
{
    m_loaded = m_editing = m_hasBackup = m_downloading = false;
    if (m_stream.info)
        zeroStreamRecords(&m_stream);
    m_inPlaylist = false;
    m_playlistName.clear();
    m_playlistId = m_playlistIndex = -1;
    m_fileBuffer = QByteArray();
    m_cdgBuffer = QByteArray();
    m_info = SONG_INFO{};
    m_stream = s_StreamData{};
    m_tpqn = 0;
    m_audioMs = 0;
    m_textRows.clear();
    m_syllables.clear();
    m_chords.clear();
    m_markers.clear();
    m_barsBeats.clear();
    m_hasText = m_hasSyllables = m_hasChords = m_hasMarkers = m_hasBars = m_hasCdg = false;
    m_chordOnTextAdjTime = -1;
    if (this == currSong) {
        m_configFilePath.clear();
        if (sequencer)
            sequencer->SetSuperSound(0);
    }
}

void Song::unloadSongFile()
{
    if (!lock())
        return;
    if (m_loaded || m_downloading) {
        qDebug().noquote() << QStringLiteral("--->[%1] stream.slot =").arg(QLatin1String(role()))
                           << m_stream.slotFlag << "UNLOAD SONG :" << m_path;
        clearSongData();
        emit loadSongChange(eLsUnloaded);
    }
    unlock();
}

bool Song::initStreamData()
{
    Song *other = this == &s_objects[0] ? &s_objects[1] : this == &s_objects[1] ? &s_objects[0] : nullptr;
    if (!other)
        return false;
    const uint8_t slot = other->m_loaded ? uint8_t(1 - other->m_stream.slotFlag) : 0;
    bindStreamData(&m_stream, &m_info, m_eventBuffer, &m_midiStream, &m_infos, &m_mfi, &m_db, slot);
    return true;
}

bool Song::loadPreviewSongFile(const QString &path, const QString &title, const QString &artist)
{
    if (!loadSongFile(path, -1, QString()))
        return false;
    if (!lock())
        return true;
    copyText(m_info.title, SONG_INFO_TITLE_SIZE, title);
    copyText(m_info.artist, SONG_INFO_ARTIST_SIZE, artist);
    m_hasText = m_hasChords = false;
    emit loadSongChange(eLsLoaded);
    unlock();
    return true;
}

bool Song::loadDownloadingSong(uint productId, const QString &extension, const QString &path,
                               const QString &title, const QString &artist)
{
    if (!lock())
        return false;
    clearSongData();
    copyText(m_info.title, SONG_INFO_TITLE_SIZE, title);
    copyText(m_info.artist, SONG_INFO_ARTIST_SIZE, artist);
    m_info.format = uint32_t(Extract::mapFileExtToFrmBaseType().value(extension.toUpper(), 0));
    m_path = path;
    m_productId = productId;
    m_downloading = true;
    m_hasText = m_hasChords = false;
    emit loadSongChange(eLsDownloading);
    unlock();
    return true;
}

bool Song::loadFromDownload()
{
    return loadSongFile(m_path, -1, QString());
}

bool Song::setEditingState(bool editing)
{
    const bool old = m_editing;
    if (m_loaded) {
        m_editing = editing;
        if (baseType() == SONG_FORMAT_MIDI && sequencer)
            sequencer->rewindOnEOT(editing ? 1 : 0);
    }
    auto text = [](bool b) { return b ? "true" : "false"; };
    qDebug() << "EditingState Old:" << text(old) << "- Req:" << text(editing) << "- New:" << text(m_editing);
    return old;
}

bool Song::hasConfigSet() const
{
    return !m_configFilePath.isEmpty() && QFileInfo::exists(m_configFilePath);
}

bool Song::loadCdgFileIfPresent()
{
    m_cdgBuffer.clear();
    const QString stem = m_path.left(m_path.size() - 3);
    for (const char *suffix : {"CDG", "cdg"}) {
        const QString companion = stem + QLatin1String(suffix);
        QByteArray bytes;
        QString why;
        // Opened as a song is: a FIFO or a device beside the song is passed
        // over, a file larger than a whole CD's graphics is not read.
        const SongFileStatus read = readSongFile(companion, SONG_FILE_MAX_CDG_BYTES, bytes, &why);
        if (read == SongFileStatus::TooLarge) {
            qWarning().noquote() << "Song: CD+G file refused:" << companion << why;
            return false;
        }
        if (read != SongFileStatus::Ok)
            continue;
        if (bytes.isEmpty() || bytes.size() % kCdgPacket != 0)
            return false;
        m_cdgBuffer = bytes;
        return true;
    }
    return false;
}

uint Song::midiSeconds() const
{
    return midiSongSeconds(m_infos, m_tpqn, m_db.tempoDelta);
}

uint Song::lengthSeconds() const
{
    if (!m_loaded)
        return 0;
    if (baseType() == SONG_FORMAT_MIDI)
        return midiSeconds();
    if (baseType() == SONG_FORMAT_MP3 && m_audioMs >= 1)
        return uint(m_audioMs / 1000);
    return uint(std::max(0, m_info.seconds));
}

uint Song::getLastBarTickFromTick(uint tick) const
{
    const qsizetype n = m_barsBeats.size();
    if (n < 2)
        return n ? m_barsBeats[0].tick : 0;
    qsizetype before = 0;
    qsizetype after = 0;
    for (qsizetype i = 1; i < n; ++i) {
        if (m_barsBeats[i].beat != 0)
            continue;
        if (m_barsBeats[i].tick <= tick) {
            before = i;
        } else {
            after = i;
            break;
        }
    }
    if (after && (!before || m_barsBeats[after].tick - tick < tick - m_barsBeats[before].tick))
        return m_barsBeats[after].tick;
    return m_barsBeats[before].tick;
}

const BAR_BEAT_POS *Song::getBarBeatPosFromTick(uint tick) const
{
    const qsizetype n = m_barsBeats.size();
    if (n == 0)
        return nullptr;
    qsizetype k = 1;
    while (k < n && m_barsBeats[k].tick <= tick)
        ++k;
    return &m_barsBeats[k - 1];
}

uint Song::getNearBarTickFromTick(uint tick, int bars) const
{
    const qsizetype n = m_barsBeats.size();
    if (n == 0)
        return 0;
    qsizetype k = 1;
    while (k < n && m_barsBeats[k].tick <= tick)
        ++k;
    const int target = m_barsBeats[std::min(k, n - 1)].bar + bars;
    for (qsizetype i = 1; i < n; ++i) {
        if (m_barsBeats[i].bar >= target)
            return m_barsBeats[i].tick;
    }
    // Past the last bar: the last one.
    return m_barsBeats[n - 1].tick;
}

int Song::calcChordOnTextAdjustTime() const
{
    if (baseType() != SONG_FORMAT_MIDI)
        return 55;
    if (m_chords.isEmpty())
        return 0;
    const int t = m_tpqn ? int(m_tpqn) : kDefaultTpqn;
    struct Bucket {
        int index = -1;
        int count = 0;
        int64_t toBarEnd = 0;
        int64_t toQuarterEnd = 0;
    };
    std::array<Bucket, 4> buckets{};
    for (const CHORD_EV &c : m_chords) {
        const int p = int(c.tick % uint32_t(4 * t));
        Bucket &b = buckets[size_t(p / t)];
        b.index = p / t;
        ++b.count;
        b.toBarEnd += 4 * t - p;
        b.toQuarterEnd += t - int(c.tick % uint32_t(t));
    }
    std::stable_sort(buckets.begin(), buckets.end(), [](const Bucket &a, const Bucket &b) { return a.count > b.count; });
    const Bucket &a = buckets[0];
    const Bucket &b = buckets[1];
    int result = 0;
    if (a.count != 0 && a.index != 0) {
        if (a.count - b.count < 10 && (a.index - b.index) % 4 == 2)
            result = int(a.toQuarterEnd / a.count);
        else
            result = int(a.toBarEnd / a.count);
    }
    qDebug() << "chordOnTextAdjTime" << result;
    return result;
}

int saveMarkerMp3(Song *song, SongRW *rw)
{
    if (!song || !rw || song->m_markers.isEmpty())
        return 0;
    QByteArray text;
    const int n = Extract::ConvMarkersFromEventsToDataStr(song->m_markers, text);
    if (!rw->setMarkerData(text) || !rw->saveToFile(song->m_path))
        return -1;
    stepTimer.step("Save Marker New Format (in id3KveroData)");
    return n;
}
