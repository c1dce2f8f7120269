// Song text written back into a MIDI file: the song is rewritten without its
// own text (cut mode of the normaliser) and new tracks carry the rows,
// syllable timing, chords and markers. The reading side is the extractor's
// lyric reader. Times only move forward: a tick earlier than the time already
// written is written at that time (delta 0) and the clock stays there, so
// later events keep their own ticks.
#include "MidiRW.h"

#include "Extract.h"
#include "SongSettings.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr uint8_t TXT_FIRST = 0x44;
constexpr uint8_t TXT_OPEN2 = 0x00;
constexpr uint8_t TXT_OPEN3 = 0x03;
constexpr uint8_t TXT_ROW1 = 0x04;
constexpr uint8_t TXT_TIMING = 0x08;
constexpr uint8_t TXT_COLOUR = 0x17;
constexpr uint8_t TXT_CHORD = 0x01;
constexpr uint8_t COLOUR_RESET = 0x7F;
constexpr int ROWS_PER_PAGE = 4;
constexpr uint32_t FIRST_ROW_DELAY = 200;
constexpr uint32_t NEXT_ROW_DELAY = 5;
constexpr uint32_t OPENING_STEP = 10;

const QByteArray makerId("\x00\x20\x24\x00", 4);

QByteArray boundedText(const char *text, int size)
{
    return QByteArray(text, int(strnlen(text, size_t(size))));
}

QByteArray rowText(const TEXT_EV &row)
{
    return boundedText(row.text, TEXT_EV_SIZE);
}

void vlq(QByteArray &out, int64_t value)
{
    MidiRW::writeMidiMultiByteVal(&out, int(std::clamp<int64_t>(value, 0, 0x0FFFFFFF)));
}

// Delta from the written time to tick; the written time follows.
uint32_t step(uint32_t &now, uint32_t tick)
{
    const uint32_t delta = tick > now ? tick - now : 0;
    now += delta;
    return delta;
}

uint32_t be32At(const QByteArray &d, qsizetype pos)
{
    const auto *p = reinterpret_cast<const uint8_t *>(d.constData()) + pos;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The chunks of an SMF image that are no track, whole and in order: those
// before its first track, and the rest (bytes behind the last chunk that
// fits the image count as one more).
void otherChunks(const QByteArray &image, QByteArray &before, QByteArray &after)
{
    const qsizetype size = image.size();
    if (size < 8)
        return;
    bool trackSeen = false;
    for (qsizetype p = 8 + qsizetype(be32At(image, 4)); p < size;) {
        const qsizetype end = size - p >= 8 ? p + 8 + qsizetype(be32At(image, p + 4)) : size;
        const bool track = image.mid(p, 4) == "MTrk";
        if (!track)
            (trackSeen ? after : before).append(image.mid(p, std::min(end, size) - p));
        trackSeen = trackSeen || track;
        p = end;
    }
}

QByteArray chunk(const QByteArray &events)
{
    QByteArray out("MTrk");
    const QByteArray body = events + QByteArray("\x00\xFF\x2F\x00", 4);
    const uint32_t n = uint32_t(body.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char(n >> shift));
    return out + body;
}

void writeKveroSysEx(QByteArray &out, uint32_t delta, const QByteArray &text, uint8_t type)
{
    vlq(out, delta);
    out.append(char(0xF0));
    vlq(out, text.size() + 6);
    out.append(makerId).append(char(type)).append(text).append(char(0xF7));
}

void writeKveroColorCC(QByteArray &out, uint32_t delta, uint8_t value)
{
    vlq(out, delta);
    out.append(char(0xB0)).append(char(0x1F)).append(char(value));
}

void writeKveroColorSysEx(QByteArray &out, uint32_t delta, uint8_t value)
{
    vlq(out, delta);
    out.append(char(0xF0)).append(char(0x07)).append(makerId);
    out.append(char(TXT_COLOUR)).append(char(value)).append(char(0xF7));
}

void writeMidiChord(QByteArray &out, uint32_t delta, const QByteArray &name)
{
    vlq(out, delta);
    out.append(char(0xF0));
    vlq(out, name.size() + 7);
    out.append(makerId).append(char(TXT_CHORD)).append(name).append('\n').append(char(0xF7));
}

void writeMidiMarker(QByteArray &out, uint32_t delta, const QByteArray &name)
{
    vlq(out, delta);
    out.append(char(0xFF)).append(char(0x06));
    vlq(out, name.size());
    out.append(name);
}

void writeMidiStdLyrics(QByteArray &out, const QByteArray &text, bool lineEnd)
{
    out.append(char(0xFF)).append(char(0x05));
    vlq(out, text.size() + (lineEnd ? 1 : 0));
    out.append(text);
    if (lineEnd)
        out.append('\r');
}

// Colouring position: the syllable's offset counted without the spaces before it.
uint8_t colourValue(const TEXT_EV &row, uint8_t offset)
{
    const int scan = std::min<int>(offset, TEXT_EV_SIZE);
    const int spaces = int(std::count(row.text, row.text + scan, ' '));
    return uint8_t(std::min(offset - spaces, 127));
}

QByteArray kveroTrack(const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables, bool ccForm)
{
    auto colour = [ccForm](QByteArray &out, uint32_t delta, uint8_t value) {
        if (ccForm)
            writeKveroColorCC(out, delta, value);
        else
            writeKveroColorSysEx(out, delta, value);
    };
    QByteArray ev;
    writeKveroSysEx(ev, 0, QByteArray(), TXT_FIRST);
    writeKveroSysEx(ev, OPENING_STEP, QByteArray(), TXT_OPEN2);
    writeKveroSysEx(ev, OPENING_STEP, QByteArray(), TXT_OPEN3);
    uint32_t now = 2 * OPENING_STEP;
    if (!syllables.isEmpty())
        colour(ev, 0, COLOUR_RESET);
    for (int page = 0; page < rows.size(); page += ROWS_PER_PAGE) {
        const int last = std::min<int>(page + ROWS_PER_PAGE, rows.size());
        for (int i = page; i < last; ++i) {
            const uint32_t delay = i == 0 ? FIRST_ROW_DELAY : NEXT_ROW_DELAY;
            writeKveroSysEx(ev, delay, rowText(rows[i]), uint8_t(TXT_ROW1 + i - page));
            now += delay;
        }
        for (int i = page; i < last; ++i) {
            writeKveroSysEx(ev, step(now, rows[i].tick), QByteArray(), TXT_TIMING);
            for (const SYL_EV &s : syllables) {
                if (s.row < i)
                    continue;
                if (s.row > i)
                    break;
                colour(ev, step(now, s.tick), colourValue(rows[i], s.offset));
            }
        }
    }
    return chunk(ev);
}

// End of a syllable: just behind the offset-th character that is not a space.
int syllableEnd(const QByteArray &text, int offset)
{
    if (text.isEmpty() || offset == 0)
        return 0;
    int seen = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) != ' ' && ++seen == offset)
            return i + 1;
    }
    return text.size();
}

// Chords or markers: one named event per entry at its tick.
template <typename Entry>
QByteArray namedTrack(const QList<Entry> &entries, uint32_t Entry::*tick,
                      void (*write)(QByteArray &, uint32_t, const QByteArray &))
{
    QByteArray ev;
    uint32_t now = 0;
    for (const Entry &e : entries)
        write(ev, step(now, e.*tick), boundedText(e.name, int(sizeof e.name)));
    return chunk(ev);
}

} // namespace

QByteArray MidiRW::createKveroTxtMidiTrk_CCSyl(const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables)
{
    return kveroTrack(rows, syllables, true);
}

QByteArray MidiRW::createKveroTxtMidiTrk_SysExSyl(const QList<TEXT_EV> &rows,
                                                  const QList<SYL_EV> &syllables)
{
    return kveroTrack(rows, syllables, false);
}

QByteArray MidiRW::createStdTxtMidiTrk(const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables)
{
    QByteArray ev;
    const int rowCount = rows.size();
    int r = 0;
    int s = 0;
    int prevRow = -1;
    int prevEnd = 0;
    uint32_t now = 0;
    for (;;) {
        while (s < syllables.size() && syllables[s].row < 0)
            ++s;
        const bool sylHere = s < syllables.size() && syllables[s].row < rowCount;
        if (r >= rowCount && !sylHere)
            break;
        int row = r;
        uint32_t tick = 0;
        int offset = SYL_END_OF_ROW;
        if (sylHere && syllables[s].row <= r) {
            row = syllables[s].row;
            tick = syllables[s].tick;
            offset = syllables[s].offset;
            ++s;
        } else {
            tick = rows[r].tick;
        }
        const QByteArray text = rowText(rows[row]);
        const int len = text.size();
        const int start = row == prevRow ? prevEnd : 0;
        const bool closing = offset == SYL_END_OF_ROW;
        const int end = closing ? len : syllableEnd(text, offset);
        if (closing && row == prevRow && prevEnd == len) {
            // The row is complete already.
        } else if (end < start) {
            prevEnd = start;
        } else {
            vlq(ev, step(now, tick));
            writeMidiStdLyrics(ev, text.mid(start, end - start), end == len);
            prevEnd = end;
            prevRow = row;
        }
        r = prevRow + 1;
    }
    return chunk(ev);
}

QByteArray MidiRW::createChordsMidiTrk(const QList<CHORD_EV> &chords)
{
    return namedTrack(chords, &CHORD_EV::tick, writeMidiChord);
}

QByteArray MidiRW::createMarkersMidiTrk(const QList<MARKER_EV> &markers)
{
    return namedTrack(markers, &MARKER_EV::time, writeMidiMarker);
}

bool MidiRW::setLyrics(LyrFormat format, const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables,
                       const QList<CHORD_EV> &chords, const QList<MARKER_EV> &markers)
{
    if (fileData.isEmpty())
        return false;
    // About 1.5 MB of scratch records and the events, written only as far as
    // the song goes: never on the stack, never filled beforehand.
    auto infos = std::make_unique<MidiInfos>();
    auto stream = std::make_unique<MidiStream>();
    auto mfi = std::make_unique<Mfi>();
    auto db = std::make_unique<Db>();
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[EVENT_BUFFER_SIZE]);
    SONG_INFO info{};
    s_StreamData sd{};
    bindStreamData(&sd, &info, buffer.get(), stream.get(), infos.get(), mfi.get(), db.get(), 1);
    info.format = SONG_FORMAT_MIDI;
    stream->fileType = FILE_TYPE_MIDI;
    initDBSTRUCT(db.get());

    QByteArray source = fileData;
    const int length = Extract::NormalizeSequenceCutEvent(
        &sd, reinterpret_cast<uint8_t *>(source.data()), int(source.size()));
    if (length <= 0 || uint32_t(length) > EVENT_BUFFER_SIZE)
        return false;
    QByteArray image(reinterpret_cast<const char *>(buffer.get()), length);
    if (!image.startsWith("MThd") || image.size() < 12)
        return false;

    QByteArray lyrics;
    QByteArray chordTrack;
    QByteArray markerTrack;
    int tracks = 1;
    const bool standard = format == LYR_FORMAT_STANDARD;
    if (!rows.isEmpty()) {
        if (standard)
            lyrics = createStdTxtMidiTrk(rows, syllables);
        else if (infos->ccSyllableMode)
            lyrics = createKveroTxtMidiTrk_CCSyl(rows, syllables);
        else
            lyrics = createKveroTxtMidiTrk_SysExSyl(rows, syllables);
        tracks = 2;
    }
    if (!chords.isEmpty() && !standard) {
        chordTrack = createChordsMidiTrk(chords);
        ++tracks;
    }
    if (!markers.isEmpty()) {
        markerTrack = createMarkersMidiTrk(markers);
        ++tracks;
    }
    image[8] = 0;
    image[9] = 1;
    image[10] = 0;
    image[11] = char(tracks);
    // Chunks of other kinds stay: those that stood before the song's tracks
    // before its track, the others behind it.
    QByteArray before, after;
    otherChunks(fileData, before, after);
    image.insert(8 + qsizetype(be32At(image, 4)), before);
    image.append(after);
    if (!loadHeader(image))
        return false;
    lyricsTrack = lyrics;
    chordsTrack = chordTrack;
    markersTrack = markerTrack;
    return true;
}
