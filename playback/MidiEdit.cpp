#include "MidiEdit.h"

#include "Sequencer.h"
#include "SongRW.h"
#include "SongSettings.h"
#include "cinterface.h"
#include "inserts.h"
#include "midi_controls.h"
#include "volumes.h"

#include <QDebug>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>


namespace {
constexpr int kInsertPresets = 51;
// What a GM module plays for a controller the song never sends.
constexpr int16_t kDefaultVolume = 100;
constexpr int16_t kDefaultPan = 64;
constexpr int16_t kDefaultReverb = 40;
constexpr int16_t kDefaultChorus = 0;

struct FieldInfo {
    int16_t MidiEditTrack::*track;
    int16_t DbLayer::*db;        // null: a sound controller in Db::ccOffsets
    int ccIndex;
    int controller;              // -1: no message
    int storeBias;               // the argument's offset from the stored value
    int sendBias;                // the stored value's offset from the data byte
    int low, high;               // the argument's range
};

// In the order of MidiEdit::Field.
const FieldInfo kFields[] = {
    {&MidiEditTrack::volume, &DbLayer::volume, 0, -1, 0, 0, 0, 127},
    {&MidiEditTrack::pan, &DbLayer::pan, 0, 10, 64, 0, -64, 63},
    {&MidiEditTrack::reverb, &DbLayer::reverb, 0, 91, 0, 0, 0, 127},
    {&MidiEditTrack::chorus, &DbLayer::chorus, 0, 93, 0, 0, 0, 127},
    {&MidiEditTrack::transpose, &DbLayer::transpose, 0, -1, 0, 0, -48, 48},
    {&MidiEditTrack::attack, nullptr, DB_CC73, 73, 0, 64, -64, 63},
    {&MidiEditTrack::decay, nullptr, DB_CC75, 75, 0, 64, -64, 63},
    {&MidiEditTrack::sustain, nullptr, DB_CC66, 66, 0, 64, -64, 63},
    {&MidiEditTrack::release, nullptr, DB_CC72, 72, 0, 64, -64, 63},
    {&MidiEditTrack::cutoff, nullptr, DB_CC74, 74, 0, 64, -64, 63},
    {&MidiEditTrack::resonance, nullptr, DB_CC71, 71, 0, 64, -64, 63},
};
// Attack .. resonance in kFields.
constexpr int kSoundFields[] = {5, 6, 7, 8, 9, 10};

// Holds the engine's advance off: the tick reads none of the Db meanwhile.
class AdvanceHold
{
public:
    AdvanceHold() : m_prev(sequencer && sequencer->setEnableIntrAdvance(false)) {}
    ~AdvanceHold()
    {
        if (sequencer)
            sequencer->setEnableIntrAdvance(m_prev);
    }

private:
    bool m_prev;
};

int clampInt(int v, int low, int high)
{
    return v < low ? low : (v > high ? high : v);
}

uint8_t dataByte(int v)
{
    return uint8_t(clampInt(v, 0, 127));
}

bool sameSound(const MidiEditTrack &t, uint8_t program, uint8_t bank, uint8_t insert)
{
    return t.program == program && t.bank == bank && t.insertId == insert;
}

// Bar-info value of a sound controller, in the order of kSoundFields.
uint8_t soundCc(const BAR_INFO &e, int i)
{
    const uint8_t BAR_INFO::*cc[] = {&BAR_INFO::cc73, &BAR_INFO::cc75, &BAR_INFO::cc66,
                                     &BAR_INFO::cc72, &BAR_INFO::cc74, &BAR_INFO::cc71};
    return e.*cc[i];
}

void takeIfUnset(int16_t &value, uint8_t candidate)
{
    if (value == UNSET_BYTE && candidate != UNSET_BYTE)
        value = candidate;
}

// The song's own values of one layer from its first bar-info entries.
void baseFromBarInfo(const MidiInfos &mi, int c, int l, MidiEditTrack &t)
{
    int first = -1;
    const int count = mi.barInfoCount < MAX_BAR_INFO ? mi.barInfoCount : MAX_BAR_INFO;
    for (int i = 0; i < count && first < 0; ++i)
        if (mi.barInfo[i].slot == c && mi.barInfo[i].layer == l)
            first = i;
    if (first < 0)
        return;
    const BAR_INFO &e = mi.barInfo[first];
    if (e.program != UNSET_BYTE)
        t.program = e.program;
    if (e.bank != UNSET_BYTE)
        t.bank = e.bank;
    t.volume = e.cc7;
    t.pan = e.cc10;
    t.reverb = e.cc91;
    t.chorus = e.cc93;
    for (int i = 0; i < 6; ++i)
        t.*kFields[kSoundFields[i]].track = int16_t(soundCc(e, i) == UNSET_BYTE ? 0 : soundCc(e, i) - 64);
    for (int i = first + 1; i < count; ++i) {
        const BAR_INFO &n = mi.barInfo[i];
        if (n.slot != c || n.layer != l || n.bar > e.bar + 1)
            continue;
        takeIfUnset(t.volume, n.cc7);
        takeIfUnset(t.pan, n.cc10);
        takeIfUnset(t.reverb, n.cc91);
        takeIfUnset(t.chorus, n.cc93);
        for (int k = 0; k < 6; ++k) {
            int16_t &v = t.*kFields[kSoundFields[k]].track;
            if (v == 0 && soundCc(n, k) != UNSET_BYTE)
                v = int16_t(soundCc(n, k) - 64);
        }
    }
}

void dumpRecord(const MIDI_SETTING_DATA &d)
{
    const auto line = [](std::initializer_list<std::pair<const char *, int>> fields) {
        QString text;
        for (const auto &f : fields)
            text += QLatin1String(f.first) + QString::number(f.second) + QLatin1Char(' ');
        qDebug().noquote() << text;
    };
    line({{"RevType\t", d.reverbType}, {"RevVal\t", d.reverbLevel}, {"ChorusType\t", d.chorusType},
          {"ChorusVal\t", d.chorusLevel}, {"DeltaKey\t", d.deltaKey}, {"DeltaBpm\t", d.deltaBpm}});
    for (const auto &channel : d.tracks) {
        for (const MidiEditTrack &t : channel) {
            if (!t.flags)
                continue;
            line({{"Mute\t", t.muteSolo}, {"PrgCh\t", t.program}, {"Bank\t", t.bank}, {"Volume\t", t.volume},
                  {"Pan\t", t.pan}, {"Reverb\t", t.reverb}, {"Chorus\t", t.chorus},
                  {"Velocity\t", t.velocityCurve}, {"Transpose\t", t.transpose}, {"Insert\t", t.insertId},
                  {"Attack\t", t.attack}, {"Decay\t", t.decay}, {"Sustain\t", t.sustain},
                  {"Release\t", t.release}, {"CutOff\t", t.cutoff}, {"Resonance\t", t.resonance},
                  {"flags\t", t.flags}});
        }
    }
    qDebug().noquote() << QString(59, QLatin1Char('-'));
}
} // namespace

// ---- binding

bool MidiEdit::isBound() const
{
    // Not once the song has left the engine.
    return sequencer && m_db && m_stream && m_infos && m_port <= 1 && sequencer->GetDbInPlay() == m_db &&
           sequencer->MidiPortInPlay() == int(m_port);
}

bool MidiEdit::valid(uint16_t channel, uint16_t layer) const
{
    return isBound() && channel < NUM_SLOTS && layer < NUM_LAYERS;
}

int MidiEdit::portOf(uint16_t channel) const
{
    return channel < 16 ? int(m_port) : 1 - int(m_port);
}

MidiOutput MidiEdit::outputOf(uint16_t channel) const
{
    return outputFor(int(m_port), channel < 16 ? 0 : 1);
}

void MidiEdit::InitEditSettingData()
{
    if (!sequencer) {
        qCritical() << "Sequencer is null";
        return;
    }
    m_port = uint32_t(sequencer->MidiPortInPlay());
    m_db = sequencer->GetDbInPlay();
    m_infos = sequencer->GetMidiInfoInPlay();
    m_stream = sequencer->GetMidiStreamInPlay();
    std::memset(&m_base, 0, sizeof m_base);
    m_hasSong = isBound();
    if (!m_hasSong) {
        std::memcpy(&m_saved, &m_base, sizeof m_base);
        std::memcpy(&m_edited, &m_base, sizeof m_base);
        return;
    }
    m_base.reverbType = m_stream->reverbMacro;
    m_base.reverbLevel = m_stream->reverbLevel;
    m_base.chorusType = m_stream->chorusMacro;
    m_base.chorusLevel = m_stream->chorusLevel;
    for (int c = 0; c < NUM_SLOTS; ++c) {
        for (int l = 0; l < NUM_LAYERS; ++l) {
            const ProgramBank &pb = m_stream->programMap[c][l];
            if (pb.program == NO_PROGRAM)
                continue;
            MidiEditTrack &t = m_base.tracks[c][l];
            // A layer without bar information starts from its first program
            // and nothing else set.
            t.program = pb.program;
            t.bank = pb.bank;
            t.volume = t.pan = t.reverb = t.chorus = UNSET_BYTE;
            baseFromBarInfo(*m_infos, c, l, t);
            // The drum part is the song's own nature, not an edit: restoring
            // the mix must not transpose a drum channel.
            t.flags = DB_FLAG_IN_USE | (m_db->layers[c][l].flags & DB_FLAG_DRUM);
            if (l > 0) {
                const MidiEditTrack &p = m_base.tracks[c][l - 1];
                for (Field f : {Volume, Pan, Reverb, Chorus})
                    if (t.*kFields[f].track == UNSET_BYTE)
                        t.*kFields[f].track = p.*kFields[f].track;
            }
        }
        // Values the song never sets are the module's defaults: the edit
        // page can show them, an edit returns to them, and the file (whose
        // records hold 7-bit values) reads back the same.
        for (MidiEditTrack &t : m_base.tracks[c]) {
            const int16_t defaults[] = {kDefaultVolume, kDefaultPan, kDefaultReverb, kDefaultChorus};
            if (!t.flags)
                continue;
            for (Field f : {Volume, Pan, Reverb, Chorus})
                if (t.*kFields[f].track == UNSET_BYTE)
                    t.*kFields[f].track = defaults[f];
            if (t.bank == NO_BANK)
                t.bank = 0;
        }
    }

    std::memcpy(&m_saved, &m_base, sizeof m_base);
    AdvanceHold hold;
    m_saved.reverbType = m_db->reverbMacro;
    m_saved.reverbLevel = m_db->reverbLevel;
    m_saved.chorusType = m_db->chorusMacro;
    m_saved.chorusLevel = m_db->chorusLevel;
    m_saved.deltaKey = m_db->transpose;
    m_saved.deltaBpm = m_db->tempoDelta;
    for (int c = 0; c < NUM_SLOTS; ++c) {
        for (int l = 0; l < NUM_LAYERS; ++l) {
            MidiEditTrack &t = m_saved.tracks[c][l];
            if (!(t.flags & DB_FLAG_IN_USE))
                continue;
            const DbLayer &d = m_db->layers[c][l];
            t.flags = d.flags;
            t.muteSolo = d.muteSolo;
            if (d.flags & DB_FLAG_PROGRAM_OVERRIDE) {
                t.program = d.program & 127;
                t.bank = d.bank & 127;
            }
            for (int f = Volume; f <= Resonance; ++f)
                t.*kFields[f].track = int16_t(t.*kFields[f].track + dbField(Field(f), c, l));
            t.velocityCurve = d.velocityCurve;
            t.insertId = d.insertId;
        }
    }
    std::memcpy(&m_edited, &m_saved, sizeof m_saved);
}

int16_t &MidiEdit::dbField(Field f, uint16_t channel, uint16_t layer)
{
    const FieldInfo &i = kFields[f];
    return i.db ? m_db->layers[channel][layer].*i.db : m_db->ccOffsets[channel][layer][i.ccIndex];
}

void MidiEdit::sendController(uint16_t channel, int controller, int value)
{
    const unsigned char msg[3] = {uint8_t(0xB0 | (channel & 15)), uint8_t(controller), dataByte(value)};
    CINTERFACE_SendMidiString(outputOf(channel), msg, 3);
}

// ---- effects, tempo and key

void MidiEdit::setHeader(Header h, int value)
{
    if (!isBound())
        return;
    // Back to a value the song leaves unset: stored, nothing to send.
    const uint8_t v = value == UNSET_BYTE ? UNSET_BYTE : dataByte(value);
    uint8_t MIDI_SETTING_DATA::*edit[] = {&MIDI_SETTING_DATA::reverbType, &MIDI_SETTING_DATA::reverbLevel,
                                          &MIDI_SETTING_DATA::chorusType, &MIDI_SETTING_DATA::chorusLevel};
    uint8_t Db::*db[] = {&Db::reverbMacro, &Db::reverbLevel, &Db::chorusMacro, &Db::chorusLevel};
    void (*send[])(int) = {sendMidiReverb, sendMidiMasterReverb, sendMidiChorus, sendMidiMasterChorus};
    if (m_edited.*edit[h] == v)
        return;
    {
        AdvanceHold hold;
        m_db->*db[h] = v;
    }
    m_edited.*edit[h] = v;
    if (v != UNSET_BYTE)
        send[h](v);
}

void MidiEdit::EffectReverbTypeChanged(int value) { setHeader(ReverbType, value); }
void MidiEdit::EffectReverbValueChanged(int value) { setHeader(ReverbLevel, value); }
void MidiEdit::EffectChorusTypeChanged(int value) { setHeader(ChorusType, value); }
void MidiEdit::EffectChorusValueChanged(int value) { setHeader(ChorusLevel, value); }

void MidiEdit::DeltaBpmChanged(int delta)
{
    if (isBound())
        m_edited.deltaBpm = int16_t(delta);
}

void MidiEdit::DeltaKeyChanged(int delta)
{
    if (isBound())
        m_edited.deltaKey = int16_t(delta);
}

// ---- track values

void MidiEdit::setField(Field f, int value, uint16_t channel, uint16_t layer)
{
    if (!valid(channel, layer))
        return;
    const FieldInfo &i = kFields[f];
    const int16_t stored = int16_t(clampInt(value, i.low, i.high) + i.storeBias);
    MidiEditTrack &t = m_edited.tracks[channel][layer];
    if (t.*i.track == stored)
        return;
    const int port = portOf(channel);
    {
        AdvanceHold hold;
        // Silent before the new transpose: a note started in between would
        // get its note-off in the other key and sound on.
        if (f == Transpose)
            sequencer->stopSoundChanAtPort(port, channel & 15);
        dbField(f, channel, layer) = int16_t(stored - m_base.tracks[channel][layer].*i.track);
    }
    t.*i.track = stored;
    if (f == Volume && (m_port == 0 || m_port == 1))
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, stored & 255, channel & 15,
                                    outputOf(channel));
    else if (i.controller >= 0)
        sendController(channel, i.controller, stored + i.sendBias);
}

void MidiEdit::TrackVolumeChanged(int v, uint16_t c, uint16_t l) { setField(Volume, v, c, l); }
void MidiEdit::TrackPanPotChanged(int v, uint16_t c, uint16_t l) { setField(Pan, v, c, l); }
void MidiEdit::TrackReverbChanged(int v, uint16_t c, uint16_t l) { setField(Reverb, v, c, l); }
void MidiEdit::TrackChorusChanged(int v, uint16_t c, uint16_t l) { setField(Chorus, v, c, l); }
void MidiEdit::TrackTransposeChanged(int v, uint16_t c, uint16_t l) { setField(Transpose, v, c, l); }
void MidiEdit::SndAdsrAttackChanged(int v, uint16_t c, uint16_t l) { setField(Attack, v, c, l); }
void MidiEdit::SndAdsrDecayChanged(int v, uint16_t c, uint16_t l) { setField(Decay, v, c, l); }
void MidiEdit::SndAdsrSustainChanged(int v, uint16_t c, uint16_t l) { setField(Sustain, v, c, l); }
void MidiEdit::SndAdsrReleaseChanged(int v, uint16_t c, uint16_t l) { setField(Release, v, c, l); }
void MidiEdit::SndAdsrCutOffChanged(int v, uint16_t c, uint16_t l) { setField(CutOff, v, c, l); }
void MidiEdit::SndAdsrResonanceChanged(int v, uint16_t c, uint16_t l) { setField(Resonance, v, c, l); }

void MidiEdit::TrackVelocityChanged(int value, uint16_t channel, uint16_t layer)
{
    setVelocity(uint8_t(clampInt(value, 0, 255)), channel, layer);
}

void MidiEdit::setVelocity(uint8_t curve, uint16_t channel, uint16_t layer)
{
    if (!valid(channel, layer) || m_edited.tracks[channel][layer].velocityCurve == curve)
        return;
    AdvanceHold hold;
    m_db->layers[channel][layer].velocityCurve = curve;
    m_edited.tracks[channel][layer].velocityCurve = curve;
}

void MidiEdit::TrackMuteSoloChanged(uint8_t state, uint16_t channel, uint16_t layer)
{
    if (valid(channel, layer))
        setMuteSolo(state, channel);
}

// A channel is muted or soloed whole in the engine, whichever layer it
// plays: a layer left soloed while the row shows the channel playing would
// keep every other channel silent for good. The records keep the layers the
// song file stores.
void MidiEdit::setMuteSolo(uint8_t state, uint16_t channel)
{
    const auto kept = [&](int l) { return l == 0 || (m_base.tracks[channel][l].flags & DB_FLAG_IN_USE); };
    bool same = true;
    for (int l = 0; l < NUM_LAYERS; ++l)
        same = same && m_db->layers[channel][l].muteSolo == state
               && (!kept(l) || m_edited.tracks[channel][l].muteSolo == state);
    if (same)
        return;
    AdvanceHold hold;
    for (int l = 0; l < NUM_LAYERS; ++l) {
        m_db->layers[channel][l].muteSolo = state;
        if (kept(l))
            m_edited.tracks[channel][l].muteSolo = state;
    }
    soloRecal(m_db);
    // The engine lets go of the channels the mix silences now and strikes
    // what the song holds on those it lets sound again, at the level it has
    // by now; a channel that sounds on is not touched.
    sequencer->soundHeldNotes();
}

// ---- instruments

void MidiEdit::TrackInstrumentChanged(uint8_t program, uint8_t bank, uint8_t insert, uint16_t channel,
                                      uint16_t layer)
{
    const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
    const int16_t pos = findInstrumentPos(tables, program, bank, insert);
    if (pos >= 0 && pos < tables->GS_INSTR_NAMES_SIZE)
        TrackInstrumentChanged(tables->trkGsNames[pos], channel, layer);
}

void MidiEdit::TrackInstrumentChanged(const GS_INSTRUMENT_NAME &row, uint16_t channel, uint16_t layer)
{
    if (!valid(channel, layer))
        return;
    const int port = portOf(channel);
    bool bound = false;
    {
        AdvanceHold hold;
        setProgramBank(row.program, row.bank, row.insert, channel, layer);
        sequencer->SetRealTimeProgramChange(channel, row.program);
        if (row.insert) {
            qDebug() << "Insert task";
            bound = INSERTS_ActivateSpecialSound(&row, channel, port) != 0;
            if (bound) {
                m_edited.tracks[channel][layer].insertId = row.insert;
                m_db->layers[channel][layer].insertId = row.insert;
                qDebug() << "Insert Done";
            }
        }
        // An effect that does not bind still changes the instrument: the
        // program change is sent as for a plain instrument, so what is saved
        // is what was heard.
        if (!bound && m_db->layers[channel][layer].insertId) {
            qDebug() << "Insert Deactivate";
            INSERTS_Deactivate(channel & 15, port);
            m_edited.tracks[channel][layer].insertId = 0;
            m_db->layers[channel][layer].insertId = 0;
        }
        if (!bound)
            setProgramBank(row.program, row.bank, 0, channel, layer);
    }
    if (!bound)
        MIDI_CONTROLS_SendInstrument(channel & 15, row.program, row.bank, outputOf(channel));
}

// Program, bank and the override flag, which is clear while the layer plays
// the song's own sound. The caller holds the advance off.
void MidiEdit::setProgramBank(uint8_t program, uint8_t bank, uint8_t insert, uint16_t channel, uint16_t layer)
{
    MidiEditTrack &t = m_edited.tracks[channel][layer];
    DbLayer &d = m_db->layers[channel][layer];
    const MidiEditTrack &b = m_base.tracks[channel][layer];
    const bool own = b.program == program && b.bank == bank && b.insertId == insert;
    t.flags = uint8_t(own ? t.flags & ~DB_FLAG_PROGRAM_OVERRIDE : t.flags | DB_FLAG_PROGRAM_OVERRIDE);
    d.flags = uint8_t(own ? d.flags & ~DB_FLAG_PROGRAM_OVERRIDE : d.flags | DB_FLAG_PROGRAM_OVERRIDE);
    t.program = d.program = program;
    t.bank = d.bank = bank;
}

void MidiEdit::TrackDrumKitChanged(uint8_t program, uint8_t bank, uint16_t channel, uint16_t layer)
{
    const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
    const int16_t pos = findDrumKitPos(tables, program, bank);
    if (pos >= 0 && pos < tables->GS_DRUMKIT_NAMES_SIZE)
        TrackDrumKitChanged(tables->GSshrtDrumKit[pos], channel, layer);
}

void MidiEdit::TrackDrumKitChanged(const GS_DRUM_KIT_NAME &kit, uint16_t channel, uint16_t layer)
{
    if (!valid(channel, layer))
        return;
    {
        AdvanceHold hold;
        setProgramBank(kit.program, kit.bank, m_base.tracks[channel][layer].insertId, channel, layer);
    }
    MIDI_CONTROLS_SendInstrument(channel & 15, kit.program, kit.bank, outputOf(channel));
}

void MidiEdit::TrackInsEffectChanged(int insertId, uint16_t channel, uint16_t layer)
{
    if (!valid(channel, layer) || m_edited.tracks[channel][layer].insertId == insertId || insertId < 0 ||
        insertId > kInsertPresets)
        return;
    const int port = portOf(channel);
    AdvanceHold hold;
    DbLayer &d = m_db->layers[channel][layer];
    if (insertId > 0) {
        const GS_INSTRUMENT_NAME sound{NO_PROGRAM, NO_BANK, uint8_t(insertId), -1, -1, 0, nullptr};
        if (INSERTS_ActivateSpecialSound(&sound, channel, port)) {
            m_edited.tracks[channel][layer].insertId = d.insertId = uint8_t(insertId);
            qWarning() << "Insertion effect set";
        } else {
            qWarning() << "The insertion effect cannot be set";
        }
        return;
    }
    qWarning() << "Insertion effect removed";
    if (d.insertId)
        INSERTS_DeactivateOnly(channel, port);
    m_edited.tracks[channel][layer].insertId = d.insertId = 0;
}

void MidiEdit::UpdateEditedPrgBnkToCurrent()
{
    if (!isBound())
        return;
    AdvanceHold hold;
    for (int c = 0; c < NUM_SLOTS; ++c) {
        for (int l = 0; l < NUM_LAYERS; ++l) {
            MidiEditTrack &t = m_edited.tracks[c][l];
            const DbLayer &d = m_db->layers[c][l];
            if (!(t.flags & DB_FLAG_IN_USE))
                continue;
            t.flags = d.flags;
            t.program = d.program & 127;
            t.bank = d.bank & 127;
            t.insertId = d.insertId;
        }
    }
}

// ---- undo and restore

// Each value of the layer that differs from `to` is set back with the
// message its edit sends.
void MidiEdit::resetTrack(const MidiEditTrack &to, uint16_t channel, uint16_t layer)
{
    const MidiEditTrack &t = m_edited.tracks[channel][layer];
    setField(Volume, to.volume, channel, layer);
    if (!sameSound(t, to.program, to.bank, to.insertId)) {
        if (to.flags & DB_FLAG_DRUM) {
            TrackDrumKitChanged(to.program, to.bank, channel, layer);
        } else {
            const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
            const int16_t pos = findInstrumentPos(tables, to.program, to.bank, to.insertId);
            if (pos >= 0 && pos < tables->GS_INSTR_NAMES_SIZE) {
                GS_INSTRUMENT_NAME row = tables->trkGsNames[pos];
                // The song's own sound may lie between the table's rows.
                row.program = to.program;
                row.bank = to.bank;
                TrackInstrumentChanged(row, channel, layer);
            }
        }
    }
    setField(Chorus, to.chorus, channel, layer);
    setMuteSolo(to.muteSolo, channel);
    setField(Pan, to.pan - kFields[Pan].storeBias, channel, layer);
    setField(Reverb, to.reverb, channel, layer);
    setField(Transpose, to.transpose, channel, layer);
    setVelocity(to.velocityCurve, channel, layer);
}

void MidiEdit::undoTrack(uint16_t channel, uint16_t layer)
{
    if (!valid(channel, layer))
        return;
    resetTrack(m_saved.tracks[channel][layer], channel, layer);
    undoTrackAdsr(channel, layer);
}

void MidiEdit::undoTrackAdsr(uint16_t channel, uint16_t layer)
{
    if (!valid(channel, layer))
        return;
    for (int f : kSoundFields)
        setField(Field(f), m_saved.tracks[channel][layer].*kFields[f].track, channel, layer);
}

void MidiEdit::undoAll()
{
    if (!isBound())
        return;
    setHeader(ChorusType, m_saved.chorusType);
    setHeader(ChorusLevel, m_saved.chorusLevel);
    setHeader(ReverbType, m_saved.reverbType);
    setHeader(ReverbLevel, m_saved.reverbLevel);
    for (uint16_t c = 0; c < 16; ++c)
        undoTrack(c, 0);
}

// ---- comparing and saving

bool MidiEdit::isSetDataEqual(const MIDI_SETTING_DATA &a, const MIDI_SETTING_DATA &b)
{
    if (std::memcmp(&a, &b, sizeof a) == 0)
        return true;
    dumpRecord(a);
    dumpRecord(b);
    return false;
}

bool MidiEdit::hasUnsavedEdits() const
{
    return m_hasSong && std::memcmp(&m_saved, &m_edited, sizeof m_saved) != 0;
}

// From the records alone, never from the engine's copy of the song: by the
// time the song's stop is saved that copy may be gone (the song ended, or
// another song took its slot), and what is written must not depend on it.
int MidiEdit::SaveToFile(const QString &path, QString *error)
{
    QString dummy;
    QString &why = error ? *error : dummy;
    if (!m_hasSong) {
        why = QStringLiteral("no song was edited");
        return -1;
    }
    const int result = writeSettings(path, m_base, m_edited, why);
    if (result == 0)
        std::memcpy(&m_saved, &m_edited, sizeof m_edited);
    return result;
}

int MidiEdit::writeSettings(const QString &path, const MIDI_SETTING_DATA &base, const MIDI_SETTING_DATA &e,
                            QString &why)
{
    std::unique_ptr<SongRW> rw(SongRW::createFromFile(path, true, &why));
    if (!rw)
        return -1;
    rw->setChorusEffect(e.chorusType, e.chorusLevel);
    rw->setReverbEffect(e.reverbType, e.reverbLevel);
    rw->setDeltaKey(e.deltaKey);
    rw->setDeltaBpm(e.deltaBpm);
    // The offsets the engine plays from: edited value - the song's own.
    auto offset = [&](Field f, int c, int l) {
        const auto member = kFields[f].track;
        return int16_t(e.tracks[c][l].*member - base.tracks[c][l].*member);
    };
    auto used = [&](int c, int l) { return (base.tracks[c][l].flags & DB_FLAG_IN_USE) != 0; };
    for (int c = NUM_SLOTS - 1; c >= 0; --c) {
        for (int l = NUM_LAYERS - 1; l >= 0; --l) {
            if (used(c, l))
                rw->setTrackParameterAdv(c, l, {offset(Decay, c, l), offset(Attack, c, l), offset(Release, c, l),
                                                offset(Resonance, c, l), offset(CutOff, c, l),
                                                offset(Sustain, c, l)});
        }
    }
    for (int c = NUM_SLOTS - 1; c >= 0; --c) {
        for (int l = NUM_LAYERS - 1; l >= 0; --l) {
            if (!used(c, l))
                continue;
            const MidiEditTrack &t = e.tracks[c][l];
            MidiTrackParam p;
            p.muteSolo = t.muteSolo;
            p.program = t.program == NO_PROGRAM ? 0 : t.program & 127;
            p.bank = t.bank == NO_BANK ? 0 : t.bank & 127;
            p.programOverride = (t.flags & DB_FLAG_PROGRAM_OVERRIDE) != 0;
            p.volume = offset(Volume, c, l);
            p.pan = offset(Pan, c, l);
            p.reverb = offset(Reverb, c, l);
            p.chorus = offset(Chorus, c, l);
            p.velocityCurve = t.velocityCurve;
            p.transpose = offset(Transpose, c, l);
            p.insertId = t.insertId;
            rw->setTrackParameter(c, l, p);
        }
    }
    if (!rw->saveToFile(path)) {
        why = rw->errorString();
        return -2;
    }
    return 0;
}

void MidiEdit::setSavedData(const MIDI_SETTING_DATA &inFile)
{
    std::memcpy(&m_saved, &inFile, sizeof m_saved);
}

void MidiEdit::setTrkGSNames(int version, bool &ok, int &count)
{
    count = MIDI_CONST_SetTrkGsNames(version, nullptr);
    ok = count != 0;
}
