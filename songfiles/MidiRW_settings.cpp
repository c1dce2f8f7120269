// The maker's settings records at the head of the track that holds them (the
// first track of a file that has none yet): 00 F0 L 00 20 24 00 command
// data... F7, L = total size - 3. They are one set, read and replaced where
// it stands, so that no record is ever there twice; a set another program
// split over tracks or left doubled is made one at open (gatherSettings).
// The reader is loadSongSettings_MID. Every data byte stays below 0x80 so
// the SysEx is valid.
#include "MidiRW.h"

#include "MakerRecords.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {

constexpr int SIZE_SHORT = 11;
constexpr int SIZE_TRACK = 30;
constexpr int SIZE_TRACK_ADV = 24;
constexpr int SIZE_DRUM = 33;
constexpr int TRACK_LAYER_BYTE = 26;
constexpr int ADV_LAYER_BYTE = 21;
constexpr int DRUM_BLOCK = 20;
constexpr uint8_t DEFAULT_VOLUME = 100;   // GM power-on value; 0 would silence the channel

void putPair(QByteArray &rec, int pos, int value)
{
    const int v = std::clamp(value, -127, 127);
    rec[pos] = char(v >= 0 ? v : 0);
    rec[pos + 1] = char(v >= 0 ? 0 : -v);
}

char data7(int value)
{
    return char(value & 0x7F);
}

bool validSlot(int track, int layer)
{
    return track >= 0 && track < NUM_SLOTS && layer >= 0 && layer < NUM_LAYERS;
}

// What makes a record one of a kind: its command, and the channel layer
// (1F, 1E) or the drum pair (6F) it is for. Empty for a record of a size the
// writers never give, which is left where it stands.
QByteArray settingsKey(const uint8_t *f0, uint32_t size)
{
    const uint8_t command = f0[MAKER_OFS_COMMAND];
    const auto key = [&](uint32_t wanted, int first, int second) {
        const char bytes[3] = {char(command), char(f0[first]), char(f0[second])};
        return size == wanted ? QByteArray(bytes, 3) : QByteArray();
    };
    switch (command) {
    case MAKER_CMD_TRACK:
        return key(SIZE_TRACK - 1, MAKER_TRK_SLOT, MAKER_TRK_LAYER);
    case MAKER_CMD_TRACK_ADV:
        return key(SIZE_TRACK_ADV - 1, MAKER_ADV_SLOT, MAKER_ADV_LAYER);
    case MAKER_CMD_DRUM:
        return key(SIZE_DRUM - 1, 7, 8);
    default:
        return size >= uint32_t(MAKER_SIZE_SHORT) ? QByteArray(1, char(command)) : QByteArray();
    }
}

} // namespace

MidiRW::Track MidiRW::trackAt(int index) const
{
    Track found{-1, -1, 0};
    walkSmfTracks(reinterpret_cast<const uint8_t *>(fileData.constData()), uint32_t(fileData.size()),
                  [&](int i, int start, int) {
                      if (i != index)
                          return false;
                      found = {start - 4, start, lengthField(start - 4)};
                      return true;
                  });
    return found;
}

uint32_t MidiRW::lengthField(int pos) const
{
    return uint32_t(uint8_t(fileData.at(pos))) << 24 | uint32_t(uint8_t(fileData.at(pos + 1))) << 16 |
           uint32_t(uint8_t(fileData.at(pos + 2))) << 8 | uint8_t(fileData.at(pos + 3));
}

// Takes the event at pos out of its track; its delta time goes to the event
// behind it, so that every later event keeps its time.
void MidiRW::removeTrackEvent(int index, int pos)
{
    Track track = trackAt(index);
    if (track.dataPos < 0)
        return;
    const auto *data = reinterpret_cast<const uint8_t *>(fileData.constData());
    const int end = std::min(track.end(), int(fileData.size()));
    SmfEvent gone, next;
    bool found = false;
    walkSmfTrack(data, track.dataPos, end, [&](const SmfEvent &e) {
        if (found) {
            next = e;
            return true;
        }
        found = e.pos == pos;
        if (found)
            gone = e;
        return false;
    }, nullptr);
    if (!found)
        return;
    if (gone.delta == 0 || next.end == 0) {
        changeTrack(track, gone.pos, gone.end - gone.pos, QByteArray());
        return;
    }
    int deltaEnd = next.pos;
    while (deltaEnd < next.end && (data[deltaEnd] & 0x80))
        ++deltaEnd;
    QByteArray delta;
    writeMidiMultiByteVal(&delta, gone.delta + next.delta);
    changeTrack(track, gone.pos, deltaEnd + 1 - gone.pos, delta);
}

QList<MidiRW::SettingsRecord> MidiRW::settingsRecords() const
{
    QList<SettingsRecord> found;
    const auto *data = reinterpret_cast<const uint8_t *>(fileData.constData());
    walkSmfTracks(data, uint32_t(fileData.size()), [&](int index, int start, int end) {
        walkSmfTrack(data, start, end, [&](const SmfEvent &e) {
            uint32_t size = 0;
            const uint8_t *f0 = makerRecord(data, e, size);
            const QByteArray key = f0 && isSettingsCommand(f0[MAKER_OFS_COMMAND]) ? settingsKey(f0, size) : QByteArray();
            if (!key.isEmpty())
                found.append({index, e.pos, key, fileData.mid(e.statusPos, e.end - e.statusPos)});
            return false;
        });
        return false;
    });
    return found;
}

QList<QByteArray> MidiRW::settingsSet(const QList<SettingsRecord> &records)
{
    QList<QByteArray> order;
    QHash<QByteArray, QByteArray> latest;
    for (const SettingsRecord &r : records) {
        if (!latest.contains(r.key))
            order << r.key;
        latest[r.key] = r.event;
    }
    QList<QByteArray> set;
    for (const QByteArray &key : std::as_const(order))
        set << latest.value(key);
    return set;
}

void MidiRW::replaceSettings(const QList<SettingsRecord> &records, const QList<QByteArray> &set)
{
    const int target = records.isEmpty() ? 0 : records.first().track;
    // Last first: the records before stay where they were found.
    for (qsizetype i = records.size() - 1; i >= 0; --i)
        removeTrackEvent(records[i].track, records[i].pos);
    QByteArray events;
    for (const QByteArray &event : set)
        events += '\0' + event;
    Track track = trackAt(target);
    if (track.dataPos >= 0 && !events.isEmpty())
        changeTrack(track, track.dataPos, 0, events);
    m_recordsTrack = events.isEmpty() ? -1 : target;
}

void MidiRW::gatherSettings()
{
    const QList<SettingsRecord> records = settingsRecords();
    const QList<QByteArray> set = settingsSet(records);
    bool oneTrack = true;
    for (const SettingsRecord &r : records)
        oneTrack = oneTrack && r.track == records.first().track;
    m_recordsTrack = records.isEmpty() ? -1 : records.first().track;
    if (!oneTrack || set.size() != records.size())
        replaceSettings(records, set);
}

namespace {

// Whether a channel event at the head of a song is one a save adds where the
// song never sets it (see insertDefaultTrackEvents and its Adv).
bool addedBySave(uint8_t kind, uint8_t first, uint8_t second)
{
    if (kind == 0xC0)
        return first == 0;
    static const uint8_t added[][2] = {{MidiRW::ccBankSelect, 0}, {MidiRW::ccChorus, 0}, {MidiRW::ccPan, 64},
                                       {MidiRW::ccReverb, 0},     {MidiRW::ccVolume, DEFAULT_VOLUME},
                                       {MidiRW::ccAttack, 64},    {MidiRW::ccDecay, 64},
                                       {MidiRW::ccSostenuto, 64}, {MidiRW::ccRelease, 64},
                                       {MidiRW::ccCutoff, 64},    {MidiRW::ccResonance, 64}};
    for (const auto &a : added)
        if (a[0] == first && a[1] == second)
            return true;
    return false;
}

// The program change or controller an event sets, as one number.
int channelSetting(const uint8_t *data, const SmfEvent &e)
{
    const int kind = e.status & 0xF0;
    return kind == 0xC0 ? e.status << 8 : kind == 0xB0 ? e.status << 8 | data[e.end - 2] : -1;
}

} // namespace

QByteArray MidiRW::musicBeside(const MidiRW &original) const
{
    QSet<int> originalSets;
    const auto *od = reinterpret_cast<const uint8_t *>(original.fileData.constData());
    walkSmfTracks(od, uint32_t(original.fileData.size()), [&](int, int start, int end) {
        walkSmfTrack(od, start, end, [&](const SmfEvent &e) {
            originalSets.insert(channelSetting(od, e));
            return false;
        });
        return false;
    });

    const auto *d = reinterpret_cast<const uint8_t *>(fileData.constData());
    const qsizetype n = fileData.size();
    const int records = std::max(m_recordsTrack, 0);
    QByteArray out;
    qsizetype p = 8 + qsizetype(lengthField(4));
    out += fileData.left(std::min(p, n));
    for (int index = 0; p + 8 <= n;) {
        const qsizetype start = p + 8;
        const qsizetype end = std::min(start + qsizetype(lengthField(int(p + 4))), n);
        if (fileData.mid(p, 4) != "MTrk") {
            out += 'C' + fileData.mid(p, end - p);
            p = end;
            continue;
        }
        out += 'T';
        qint64 tick = 0;
        int parsed = int(start);
        walkSmfTrack(d, int(start), int(end), [&](const SmfEvent &e) {
            tick += e.delta;
            parsed = e.end;
            uint32_t size = 0;
            const uint8_t *f0 = makerRecord(d, e, size);
            if (f0 && isSettingsCommand(f0[MAKER_OFS_COMMAND]))
                return false;
            const int setting = channelSetting(d, e);
            if (index == records && tick == 0 && setting >= 0 && !originalSets.contains(setting) &&
                addedBySave(e.status & 0xF0, d[e.end - ((e.status & 0xF0) == 0xC0 ? 1 : 2)], d[e.end - 1]))
                return false;
            int data = e.statusPos >= 0 ? e.statusPos + 1 : e.pos;
            while (e.statusPos < 0 && (d[data] & 0x80))
                ++data;
            if (e.statusPos < 0)
                ++data;
            out += QByteArray::number(tick) + ' ' + char(e.status) + fileData.mid(data, e.end - data);
            return false;
        });
        out += 'R' + fileData.mid(parsed, end - parsed);
        p = end;
        ++index;
    }
    return out;
}

bool MidiRW::onlySettingsDifferFrom(const SongRW &original) const
{
    const auto *o = dynamic_cast<const MidiRW *>(&original);
    return o && !fileData.isEmpty() && musicBeside(*o) == o->musicBeside(*o);
}

bool MidiRW::takeSettingsFrom(const SongRW &original)
{
    const auto *o = dynamic_cast<const MidiRW *>(&original);
    if (!o || fileData.isEmpty())
        return fail(QStringLiteral("not a MIDI file"));
    replaceSettings(settingsRecords(), settingsSet(o->settingsRecords()));
    return true;
}

QByteArray MidiRW::kveroPattern(uint8_t command) const
{
    return QByteArray(kveroHeader).append(char(command));
}

QByteArray MidiRW::createKveroRecord(uint8_t command, int size) const
{
    QByteArray rec(size, '\0');
    rec[1] = char(0xF0);
    rec[2] = char(size - 3);
    rec.replace(3, 4, kveroHeader);
    rec[7] = char(command);
    rec[size - 1] = char(0xF7);
    return rec;
}

// A record is a whole F0 event of the track whose data begin with the
// pattern and whose length is one byte; the position returned is the byte
// before its F0 (its delta time when that is one byte), so that record
// byte i lies at the position + i.
int MidiRW::indexOfKveroSysEx(const Track &track, int start, int &size, const QByteArray &pattern) const
{
    HeadEvent e;
    const bool found = findTrackEvent(track, [&](const HeadEvent &ev) {
        return ev.pos >= start && ev.status == 0xF0 && ev.statusPos >= 0 && ev.dataPos == ev.statusPos + 2
               && ev.dataLength >= pattern.size()
               && fileData.mid(ev.dataPos, pattern.size()) == pattern;
    }, e);
    if (!found)
        return -1;
    size = e.end - e.statusPos + 1;
    return e.statusPos - 1;
}

// In place of the record's F0 event: a delta time other than one 0 byte is
// kept, so the events behind it keep their times.
void MidiRW::putRecord(Track &track, int pos, int size, const QByteArray &record)
{
    if (pos >= 0)
        changeTrack(track, pos + 1, size - 1, record.mid(1));
    else
        changeTrack(track, track.dataPos, 0, record);
}

void MidiRW::insertAtRecordsHead(const QByteArray &event)
{
    Track track = recordsTrack();
    changeTrack(track, track.dataPos, 0, event);
}

int MidiRW::deltaRecord(uint8_t command) const
{
    int size = 0;
    const Track track = recordsTrack();
    const int pos = indexOfKveroSysEx(track, track.dataPos, size, kveroPattern(command));
    if (pos < 0 || uint8_t(fileData.at(pos + 2)) != SIZE_SHORT - 3)
        return 0;
    const int a = int8_t(fileData.at(pos + 8));
    const int b = int8_t(fileData.at(pos + 9));
    return a != 0 ? a : -b;
}

int MidiRW::getDeltaBpm() const { return deltaRecord(MAKER_CMD_DELTA_BPM); }
int MidiRW::getDeltaKey() const { return deltaRecord(MAKER_CMD_DELTA_KEY); }

void MidiRW::replaceRecord(const QByteArray &pattern, const QByteArray &record)
{
    if (fileData.isEmpty())
        return;
    int size = 0;
    Track track = recordsTrack();
    // size is set by the search: it must be read after it, not in the same call
    const int pos = indexOfKveroSysEx(track, track.dataPos, size, pattern);
    putRecord(track, pos, size, record);
}

QByteArray MidiRW::createDeltaBpmEvent(int delta) const
{
    QByteArray rec = createKveroRecord(MAKER_CMD_DELTA_BPM, SIZE_SHORT);
    putPair(rec, 8, delta);
    return rec;
}

QByteArray MidiRW::createDeltaKeyEvent(int delta) const
{
    QByteArray rec = createKveroRecord(MAKER_CMD_DELTA_KEY, SIZE_SHORT);
    putPair(rec, 8, delta);
    return rec;
}

QByteArray MidiRW::createChorusEffectEvent(uint8_t type, uint8_t level) const
{
    QByteArray rec = createKveroRecord(MAKER_CMD_CHORUS, SIZE_SHORT);
    rec[8] = data7(type);
    rec[9] = data7(level);
    return rec;
}

QByteArray MidiRW::createReverbEffectEvent(uint8_t type, uint8_t level) const
{
    QByteArray rec = createKveroRecord(MAKER_CMD_REVERB, SIZE_SHORT);
    rec[8] = data7(type);
    rec[9] = data7(level);
    return rec;
}

void MidiRW::setDeltaBpm(int delta)
{
    replaceRecord(kveroPattern(MAKER_CMD_DELTA_BPM), createDeltaBpmEvent(delta));
}

void MidiRW::setDeltaKey(int delta)
{
    replaceRecord(kveroPattern(MAKER_CMD_DELTA_KEY), createDeltaKeyEvent(delta));
}

void MidiRW::setReverbEffect(unsigned char type, unsigned char level)
{
    replaceRecord(kveroPattern(MAKER_CMD_REVERB), createReverbEffectEvent(type, level));
}

void MidiRW::setChorusEffect(unsigned char type, unsigned char level)
{
    replaceRecord(kveroPattern(MAKER_CMD_CHORUS), createChorusEffectEvent(type, level));
}

QByteArray MidiRW::createTrackParamEvent(int track, int layer, const MidiTrackParam &p,
                                         bool &nonDefault) const
{
    QByteArray rec = createKveroRecord(MAKER_CMD_TRACK, SIZE_TRACK);
    rec[8] = data7(track);
    rec[9] = data7(p.muteSolo);
    rec[10] = data7(p.program);
    rec[11] = data7(p.bank);
    putPair(rec, 12, p.volume);
    putPair(rec, 14, p.pan);
    putPair(rec, 16, p.reverb);
    putPair(rec, 18, p.chorus);
    rec[20] = data7(p.velocityCurve);
    putPair(rec, 21, p.transpose);
    rec[23] = data7(p.insertId);
    rec[25] = char(p.programOverride ? 1 : 0);
    rec[TRACK_LAYER_BYTE] = data7(layer);
    nonDefault = p.programOverride || p.volume || p.pan || p.reverb || p.chorus;
    return rec;
}

QByteArray MidiRW::createTrackParamEventAdv(int track, int layer, const MidiTrackParamAdv &p,
                                            bool &nonDefault) const
{
    QByteArray rec = createKveroRecord(MAKER_CMD_TRACK_ADV, SIZE_TRACK_ADV);
    rec[8] = data7(track);
    const int values[NUM_CC_OFFSETS] = {p.cc75, p.cc73, p.cc72, p.cc71, p.cc74, p.cc66};
    nonDefault = false;
    for (int i = 0; i < NUM_CC_OFFSETS; ++i) {
        putPair(rec, 9 + 2 * i, values[i]);
        nonDefault = nonDefault || values[i] != 0;
    }
    rec[ADV_LAYER_BYTE] = data7(layer);
    return rec;
}

QByteArray MidiRW::createDrumParamEvent(uint8_t first, uint8_t second, const QByteArray &data,
                                        int evenDefault, int oddDefault) const
{
    QByteArray rec = createKveroRecord(MAKER_CMD_DRUM, SIZE_DRUM);
    rec[8] = data7(first);
    rec[9] = data7(second);
    if (data.size() == DRUM_BLOCK) {
        for (int i = 0; i < DRUM_BLOCK; ++i) {
            const bool unset = uint8_t(data.at(i)) == 0xFF;
            rec[10 + i] = data7(unset ? (i % 2 ? oddDefault : evenDefault) : uint8_t(data.at(i)));
        }
    }
    return rec;
}

void MidiRW::replaceLayerRecord(uint8_t command, int track, int layer, int size, int layerByte,
                                const QByteArray &record)
{
    const QByteArray pattern = kveroPattern(command).append(char(track));
    int found = -1;
    int recordSize = 0;
    Track records = recordsTrack();
    for (int from = records.dataPos;;) {
        const int pos = indexOfKveroSysEx(records, from, recordSize, pattern);
        if (pos < 0)
            break;
        if (recordSize == size && uint8_t(fileData.at(pos + layerByte)) == layer) {
            found = pos;
            break;
        }
        from = pos + recordSize;
    }
    putRecord(records, found, size, record);
}

void MidiRW::setTrackParameter(int track, int layer, MidiTrackParam param)
{
    if (fileData.isEmpty() || !validSlot(track, layer))
        return;
    bool nonDefault = false;
    const QByteArray rec = createTrackParamEvent(track, layer, param, nonDefault);
    replaceLayerRecord(MAKER_CMD_TRACK, track, layer, SIZE_TRACK, TRACK_LAYER_BYTE, rec);
    if (nonDefault)
        insertDefaultTrackEvents(track, param);
}

void MidiRW::setTrackParameterAdv(int track, int layer, MidiTrackParamAdv param)
{
    if (fileData.isEmpty() || !validSlot(track, layer))
        return;
    bool nonDefault = false;
    const QByteArray rec = createTrackParamEventAdv(track, layer, param, nonDefault);
    replaceLayerRecord(MAKER_CMD_TRACK_ADV, track, layer, SIZE_TRACK_ADV, ADV_LAYER_BYTE, rec);
    if (nonDefault)
        insertDefaultTrackEventsAdv(track, param);
}

void MidiRW::setDrumParameter(int first, int second, QByteArray data, int evenDefault, int oddDefault)
{
    const QByteArray rec = createDrumParamEvent(uint8_t(first), uint8_t(second), data, evenDefault,
                                                oddDefault);
    replaceRecord(kveroPattern(MAKER_CMD_DRUM).append(rec[8]).append(rec[9]), rec);
}

// Found by walking every track's events, running status included: the same
// bytes inside a text, a SysEx or a delta time are no controller.
bool MidiRW::hasChannelEvent(uint8_t type, int channel, int controller) const
{
    const uint8_t status = uint8_t(type | (channel & 0x0F));
    HeadEvent e;
    return findSongEvent([&](const HeadEvent &ev) {
        return ev.status == status && (controller < 0 || uint8_t(fileData.at(ev.end - 2)) == controller);
    }, e);
}

void MidiRW::insertDefaultControllerEvent(int channel, uint8_t controller, uint8_t value)
{
    const char event[4] = {0, char(0xB0 | (channel & 0x0F)), char(controller), char(value)};
    insertAtRecordsHead(QByteArray(event, 4));
}

// Each offset acts on the song's own controller of the channel: when the
// song never sets it, one is added at the head of the records' track, for the
// offsets the record holds only. An instrument acts on a program change:
// a channel that plays without one gets General MIDI's program 0, which it
// plays anyway, behind its bank.
void MidiRW::insertDefaultTrackEvents(int track, const MidiTrackParam &p)
{
    if (p.programOverride && !hasChannelEvent(0xC0, track)) {
        const char program[3] = {0, char(0xC0 | (track & 0x0F)), 0};
        insertAtRecordsHead(QByteArray(program, 3));
    }
    const DefaultController defaults[] = {{p.programOverride, ccBankSelect, 0},
                                          {p.chorus != 0, ccChorus, 0},
                                          {p.pan != 0, ccPan, 64},
                                          {p.reverb != 0, ccReverb, 0},
                                          {p.volume != 0, ccVolume, DEFAULT_VOLUME}};
    insertMissingControllers(track, defaults, std::size(defaults));
}

void MidiRW::insertDefaultTrackEventsAdv(int track, const MidiTrackParamAdv &p)
{
    const DefaultController defaults[] = {{p.cc73 != 0, ccAttack, 64},  {p.cc75 != 0, ccDecay, 64},
                                          {p.cc66 != 0, ccSostenuto, 64}, {p.cc72 != 0, ccRelease, 64},
                                          {p.cc74 != 0, ccCutoff, 64},  {p.cc71 != 0, ccResonance, 64}};
    insertMissingControllers(track, defaults, std::size(defaults));
}

void MidiRW::insertMissingControllers(int track, const DefaultController *defaults, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const DefaultController &d = defaults[i];
        if (d.wanted && !hasChannelEvent(0xB0, track, d.controller))
            insertDefaultControllerEvent(track, d.controller, d.value);
    }
}
