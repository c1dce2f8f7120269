#include "MfxRW.h"

#include "MfxHeader.h"
#include "SafeSave.h"
#include "SongFile.h"
#include "SongRWFactory.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

SongRW *newMfxRW()
{
    return new MfxRW;
}

namespace {

const QString unknownText = QStringLiteral("<UNKNOWN>");

// Offsets go into signed header bytes: keep them in range instead of wrapping.
uint8_t signedByte(int value)
{
    return uint8_t(int8_t(std::clamp(value, -128, 127)));
}

} // namespace

bool MfxRW::openFile(const QString &p)
{
    path = p;
    lastError.clear();
    QFile file;
    QString why;
    if (openSongFile(p, file, &why) != SongFileStatus::Ok) {
        qDebug().noquote() << "[MfxRW::openFile] fail to open file" << p << why;
        return fail(why);
    }
    const QByteArray magic = file.peek(4);
    if (magic.size() != 4 ||
        (magic != "_MF3" && magic != "_MF4" && magic != "_MF5")) {
        qDebug().noquote() << "[MfxRW::openFile] file not valid" << p;
        return fail(QStringLiteral("not an MF3, MF4 or MF5 song"));
    }
    const qint64 size = magic == "_MF5" ? MFX5_HEADER_SIZE : MFX_HEADER_SIZE;
    QByteArray bytes;
    if (readOpenedSongFile(file, SONG_FILE_MAX_MIDI_BYTES, bytes, &why) != SongFileStatus::Ok) {
        qDebug().noquote() << "[MfxRW::openFile] read failed" << p << why;
        return fail(why);
    }
    if (!loadHeader(bytes.left(size))) {
        qDebug().noquote() << "[MfxRW::openFile] file not valid" << p;
        return fail(QStringLiteral("not an MF3, MF4 or MF5 song"));
    }
    payload = bytes.mid(size);
    return true;
}

bool MfxRW::loadHeader(const QByteArray &data)
{
    header.clear();
    if (data.size() < int(MFX_HEADER_SIZE))
        return false;
    const QByteArray magic = data.left(4);
    SongInfoRW::fileTypeEnum type = SongInfoRW::unknown;
    if (magic == "_MF3")
        type = SongInfoRW::mf3;
    else if (magic == "_MF4")
        type = SongInfoRW::mf4;
    else if (magic == "_MF5")
        type = SongInfoRW::mf5;
    fileType = type;
    if (type == SongInfoRW::unknown)
        return false;
    const int size = type == SongInfoRW::mf5 ? int(MFX5_HEADER_SIZE) : int(MFX_HEADER_SIZE);
    if (data.size() < size)
        return false;
    header = data.left(size);
    return true;
}

bool MfxRW::saveToFile(const QString &target)
{
    const int wanted = fileType == SongInfoRW::mf5 ? int(MFX5_HEADER_SIZE) : int(MFX_HEADER_SIZE);
    const bool known = fileType == SongInfoRW::mf3 || fileType == SongInfoRW::mf4 ||
                       fileType == SongInfoRW::mf5;
    if (payload.isEmpty() || !known || header.size() != wanted) {
        qDebug().noquote() << "[SongRW::saveToFile] UNKNOWN format (or data corrupted) in memory, aborting";
        return fail(QStringLiteral("not an MF3, MF4 or MF5 song"));
    }
    qDebug().noquote() << "[SongRW::saveToFile] MFx";
    QString why;
    if (!SafeSave::writeFile(target, {header, payload}, &why)) {
        qDebug().noquote() << "[SongRW::saveToFile] Impossible to write to file. Maybe it's write protected? Aborting!"
                 << target << why;
        return fail(why);
    }
    lastError.clear();
    return true;
}

namespace {

// The header's settings fields, [from, to): what the setters write.
struct Range {
    int from, to;
};
constexpr Range SETTINGS[] = {
    {MFX_OFS_SUSTAIN, MFX_OFS_SUSTAIN + MFX_TRACKS_PER_BLOCK},
    {MFX_OFS_INSERTS, MFX_OFS_INSERTS + 2},
    {MFX_OFS_EFFECT_FLAG, MFX_OFS_CHORUS_LEVEL + 1},
    {MFX_OFS_DELTA_KEY, MFX_OFS_DELTA_BPM + 2},
    {MFX_OFS_TRACKS, MFX_OFS_EXTRAS_MARKER + 2},
    {MFX5_OFS_TRACKS, MFX5_OFS_TRACKS + MFX_TRACKS_PER_BLOCK * MFX_TRACK_RECORD_SIZE},
};

} // namespace

bool MfxRW::onlySettingsDifferFrom(const SongRW &original) const
{
    const auto *o = dynamic_cast<const MfxRW *>(&original);
    if (!o || o->fileType != fileType || o->payload != payload || o->header.size() != header.size())
        return false;
    QByteArray mine = header, theirs = o->header;
    for (const Range &r : SETTINGS) {
        if (r.to > header.size())
            continue;
        mine.replace(r.from, r.to - r.from, QByteArray(r.to - r.from, '\0'));
        theirs.replace(r.from, r.to - r.from, QByteArray(r.to - r.from, '\0'));
    }
    return mine == theirs;
}

bool MfxRW::takeSettingsFrom(const SongRW &original)
{
    const auto *o = dynamic_cast<const MfxRW *>(&original);
    if (!o || header.isEmpty())
        return fail(QStringLiteral("not an MF3, MF4 or MF5 song"));
    for (const Range &r : SETTINGS) {
        if (r.to <= header.size() && r.to <= o->header.size())
            header.replace(r.from, r.to - r.from, o->header.mid(r.from, r.to - r.from));
    }
    return true;
}

QString MfxRW::textField(int offset, int size) const
{
    if (header.size() < offset + size)
        return QString();
    const char *field = header.constData() + offset;
    const int length = int(std::find(field, field + size, '\0') - field);
    return QString::fromLatin1(field, length).trimmed();
}

void MfxRW::setTextField(int offset, const QString &text)
{
    if (header.size() < offset + MFX_TEXT_FIELD_SIZE)
        return;
    QByteArray bytes = text.left(MFX_TEXT_FIELD_SIZE).toLatin1();
    bytes.append(QByteArray(MFX_TEXT_FIELD_SIZE - bytes.size(), '\0'));
    header.replace(offset, MFX_TEXT_FIELD_SIZE, bytes);
}

void MfxRW::putU16(int offset, uint16_t value)
{
    if (header.size() < offset + 2)
        return;
    header[offset] = char(value & 0xFF);
    header[offset + 1] = char(value >> 8);
}

void MfxRW::putU32(int offset, uint32_t value)
{
    putU16(offset, uint16_t(value & 0xFFFF));
    putU16(offset + 2, uint16_t(value >> 16));
}

QString MfxRW::getTitle() const
{
    const QString t = textField(MFX_OFS_TITLE, MFX_TEXT_FIELD_SIZE);
    return t.isEmpty() ? QFileInfo(path).completeBaseName() : t;
}

QString MfxRW::getGenre() const
{
    const QString t = textField(MFX_OFS_GENRE, MFX_TEXT_FIELD_SIZE);
    return t.isEmpty() ? unknownText : t;
}

QString MfxRW::getArtist() const
{
    const QString t = textField(MFX_OFS_ARTIST, MFX_TEXT_FIELD_SIZE);
    return t.isEmpty() ? unknownText : t;
}

QString MfxRW::getAuthor() const
{
    return textField(MFX_OFS_AUTHOR, MFX_TEXT_FIELD_SIZE);
}

QString MfxRW::editor() const
{
    return textField(MFX_OFS_EDITOR, MFX_EDITOR_FIELD_SIZE);
}

uint16_t MfxRW::u16(int offset) const
{
    if (header.size() < offset + 2)
        return 0;
    return uint16_t(uint8_t(header[offset]) | uint8_t(header[offset + 1]) << 8);
}

int MfxRW::getDeltaBpm() const { return int16_t(u16(MFX_OFS_DELTA_BPM)); }
int MfxRW::getDeltaKey() const { return int16_t(u16(MFX_OFS_DELTA_KEY)); }

int MfxRW::flags() const
{
    return header.size() > MFX_OFS_FLAGS ? int(int8_t(header[MFX_OFS_FLAGS])) : 0;
}

int MfxRW::tempo() const { return u16(MFX_OFS_TEMPO); }

void MfxRW::setTitle(const QString &t) { setTextField(MFX_OFS_TITLE, t); }
void MfxRW::setGenre(const QString &t) { setTextField(MFX_OFS_GENRE, t); }
void MfxRW::setArtist(const QString &t) { setTextField(MFX_OFS_ARTIST, t); }
void MfxRW::setAuthor(const QString &t) { setTextField(MFX_OFS_AUTHOR, t); }
void MfxRW::setDeltaBpm(int delta) { putU16(MFX_OFS_DELTA_BPM, uint16_t(int16_t(delta))); }
void MfxRW::setDeltaKey(int delta) { putU16(MFX_OFS_DELTA_KEY, uint16_t(int16_t(delta))); }
void MfxRW::setSize(unsigned size) { putU32(MFX_OFS_SIZE, size); }
void MfxRW::setOrigSize(unsigned size) { putU32(MFX_OFS_ORIG_SIZE, size); }
void MfxRW::setTempo(int bpm) { putU16(MFX_OFS_TEMPO, uint16_t(bpm)); }

void MfxRW::setFlag(FlagsEnum flag)
{
    if (header.size() > MFX_OFS_FLAGS)
        header[MFX_OFS_FLAGS] = char(uint8_t(header[MFX_OFS_FLAGS]) | flag);
}

// An effect's type byte and, behind it, its level.
void MfxRW::setEffect(int typeOffset, unsigned char type, unsigned char level)
{
    if (header.isEmpty())
        return;
    header[MFX_OFS_EFFECT_FLAG] = 0;
    header[typeOffset] = char(type);
    header[typeOffset + 1] = char(level);
}

void MfxRW::setReverbEffect(unsigned char type, unsigned char level)
{
    setEffect(MFX_OFS_REVERB_TYPE, type, level);
}

void MfxRW::setChorusEffect(unsigned char type, unsigned char level)
{
    setEffect(MFX_OFS_CHORUS_TYPE, type, level);
}

void MfxRW::setTrackParameter(int track, int layer, MidiTrackParam param)
{
    if (layer != 0 || track < 0 || header.isEmpty())
        return;
    int offset;
    if (track < MFX_TRACKS_PER_BLOCK)
        offset = MFX_OFS_TRACKS + MFX_TRACK_RECORD_SIZE * track;
    else if (track < 2 * MFX_TRACKS_PER_BLOCK && fileType == SongInfoRW::mf5)
        offset = MFX5_OFS_TRACKS + MFX_TRACK_RECORD_SIZE * (track - MFX_TRACKS_PER_BLOCK);
    else
        return;
    const uint8_t override = param.programOverride ? MFX_TRK_OVERRIDE_BIT : 0;
    uint8_t rec[MFX_TRACK_RECORD_SIZE];
    rec[MFX_TRK_MUTE_SOLO] = param.muteSolo;
    rec[MFX_TRK_PROGRAM] = uint8_t((param.program & 0x7F) | override);
    rec[MFX_TRK_BANK] = uint8_t((param.bank & 0x7F) | override);
    rec[MFX_TRK_VOLUME] = signedByte(param.volume);
    rec[MFX_TRK_PAN] = signedByte(param.pan);
    rec[MFX_TRK_REVERB] = signedByte(param.reverb);
    rec[MFX_TRK_CHORUS] = signedByte(param.chorus);
    rec[MFX_TRK_VELOCITY_CURVE] = param.velocityCurve;
    rec[MFX_TRK_TRANSPOSE] = signedByte(param.transpose);
    header.replace(offset, MFX_TRACK_RECORD_SIZE, reinterpret_cast<const char *>(rec),
                   MFX_TRACK_RECORD_SIZE);
}

void MfxRW::setTrackParameterAdv(int track, int layer, MidiTrackParamAdv param)
{
    if (layer != 0 || track < 0 || track >= MFX_TRACKS_PER_BLOCK || header.isEmpty())
        return;
    int values[NUM_CC_OFFSETS];
    values[DB_CC75] = param.cc75;
    values[DB_CC73] = param.cc73;
    values[DB_CC72] = param.cc72;
    values[DB_CC71] = param.cc71;
    values[DB_CC74] = param.cc74;
    values[DB_CC66] = param.cc66;
    const int extra = MFX_OFS_EXTRAS + MFX_EXTRA_RECORD_SIZE * track;
    for (int b = 0; b < MFX_EXTRA_RECORD_SIZE; ++b)
        header[extra + b] = char(signedByte(values[MFX_EXTRA_RECORD_CC[b]]));
    header[MFX_OFS_SUSTAIN + track] = char(signedByte(values[MFX_SUSTAIN_CC]));
    putU16(MFX_OFS_EXTRAS_MARKER, MFX_EXTRAS_MARKER);
}
