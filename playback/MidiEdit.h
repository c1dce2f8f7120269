// Live editing of the MIDI song in play: its effects, tempo and key offsets,
// and per channel (0-31) and layer (0-3) mute/solo, instrument, volume, pan,
// reverb, chorus, velocity curve, transpose, insertion effect and six sound
// controllers. Every edit is heard at once (controller, program or volume
// term on the channel's output) and lands in the engine's Db of the song,
// which holds offsets against the song's own mix; SaveToFile writes the mix
// into the song file.
//
// Which copy of the records: the engine plays its own copy of the song's
// records (taken when the song was handed to it), so edits go to that Db
// (Sequencer::GetDbInPlay). Saving reads none of it: it writes the edited
// record's offsets against the base, for the layers the song uses, so a save
// after the song ended or left the engine writes what a save during play
// would. The engine's tempo and key offsets also carry runtime changes the
// user did not ask to keep (SoundEngine::changeBpmWithOutSaving); only
// DeltaBpmChanged and DeltaKeyChanged move the edited ones.
//
// Three records: base (the song's own mix, no offsets), saved (as last loaded
// or saved) and edited; nothing is to be saved while edited equals saved.
// Channels 0-15 play on the port in play, 16-31 on the other one.
//
// Threads: GUI thread only. Db entries that the sequencer thread reads are
// written with the engine's advance held off, so the tick never sees half an
// edit (a program without its bank, a flag without its program).
#pragma once

#include "MIDI_const.h"
#include "StreamData.h"
#include "midioutput.h"

#include <QString>
#include <cstdint>

struct MidiEditTrack {
    uint8_t muteSolo;            // DB_NORMAL, DB_MUTE, DB_SOLO
    uint8_t program;
    uint8_t bank;
    int16_t volume;
    int16_t pan;
    int16_t reverb;
    int16_t chorus;
    uint8_t velocityCurve;
    int16_t transpose;
    uint8_t insertId;
    int16_t attack;              // the six sound controllers as value - 64
    int16_t decay;
    int16_t sustain;
    int16_t release;
    int16_t cutoff;
    int16_t resonance;
    uint8_t flags;               // DB_FLAG_*
    uint8_t spare;
};

struct MIDI_SETTING_DATA {
    uint8_t reverbType;
    uint8_t reverbLevel;
    uint8_t chorusType;
    uint8_t chorusLevel;
    int16_t deltaKey;
    int16_t deltaBpm;
    MidiEditTrack tracks[NUM_SLOTS][NUM_LAYERS];
};
// Records are compared byte for byte: always zeroed whole and copied whole,
// so padding never makes two equal mixes differ.
static_assert(sizeof(MidiEditTrack) == 32, "edit track layout");
static_assert(sizeof(MIDI_SETTING_DATA) == 8 + 32 * NUM_SLOTS * NUM_LAYERS, "edit record layout");

class MidiEdit
{
public:
    MidiEdit() {}

    // Binds to the song in play and builds the three records; edits before
    // the first call, or with no MIDI song in the engine, do nothing.
    void InitEditSettingData();
    bool isBound() const;

    void EffectReverbTypeChanged(int value);
    void EffectReverbValueChanged(int value);
    void EffectChorusTypeChanged(int value);
    void EffectChorusValueChanged(int value);
    // The offsets the user wants kept; the engine has already applied them.
    void DeltaBpmChanged(int delta);
    void DeltaKeyChanged(int delta);

    // state 0 play, 1 mute, 2 solo; other values are only stored.
    void TrackMuteSoloChanged(uint8_t state, uint16_t channel, uint16_t layer);
    void TrackVolumeChanged(int value, uint16_t channel, uint16_t layer);
    // -64 .. 63
    void TrackPanPotChanged(int value, uint16_t channel, uint16_t layer);
    void TrackReverbChanged(int value, uint16_t channel, uint16_t layer);
    void TrackChorusChanged(int value, uint16_t channel, uint16_t layer);
    void TrackVelocityChanged(int value, uint16_t channel, uint16_t layer);
    void TrackTransposeChanged(int value, uint16_t channel, uint16_t layer);
    // -64 .. 63, sent as controllers 73, 75, 66, 72, 74, 71.
    void SndAdsrAttackChanged(int value, uint16_t channel, uint16_t layer);
    void SndAdsrDecayChanged(int value, uint16_t channel, uint16_t layer);
    void SndAdsrSustainChanged(int value, uint16_t channel, uint16_t layer);
    void SndAdsrReleaseChanged(int value, uint16_t channel, uint16_t layer);
    void SndAdsrCutOffChanged(int value, uint16_t channel, uint16_t layer);
    void SndAdsrResonanceChanged(int value, uint16_t channel, uint16_t layer);

    // Unknown instruments and kits change nothing.
    void TrackInstrumentChanged(uint8_t program, uint8_t bank, uint8_t insert, uint16_t channel, uint16_t layer);
    void TrackInstrumentChanged(const GS_INSTRUMENT_NAME &row, uint16_t channel, uint16_t layer);
    void TrackDrumKitChanged(uint8_t program, uint8_t bank, uint16_t channel, uint16_t layer);
    void TrackDrumKitChanged(const GS_DRUM_KIT_NAME &kit, uint16_t channel, uint16_t layer);
    // 1 .. 51 binds that effect, 0 releases the channel's one.
    void TrackInsEffectChanged(int insertId, uint16_t channel, uint16_t layer);

    void UpdateEditedPrgBnkToCurrent();
    // Back to the saved record, with the same messages as the edits.
    void undoTrack(uint16_t channel, uint16_t layer);
    void undoTrackAdsr(uint16_t channel, uint16_t layer);
    void undoAll();

    // Byte for byte; a difference is dumped to the debug log.
    static bool isSetDataEqual(const MIDI_SETTING_DATA &a, const MIDI_SETTING_DATA &b);
    bool hasUnsavedEdits() const;

    // 0 saved, -1 no song was edited or no editor for the file, -2 saving
    // failed (the file and the records are then unchanged), with the reason
    // in error when given. Works after the song left the engine too.
    int SaveToFile(const QString &path, QString *error = nullptr);
    // The same for records kept from an earlier song: edited against base.
    static int writeSettings(const QString &path, const MIDI_SETTING_DATA &base, const MIDI_SETTING_DATA &edited,
                             QString &why);
    // What the song file holds when that is not what the engine plays (the
    // song stayed loaded after its edits failed to be saved).
    void setSavedData(const MIDI_SETTING_DATA &inFile);
    // Picks the instrument-name tables of a sound-set version.
    static void setTrkGSNames(int version, bool &ok, int &count);

    const MIDI_SETTING_DATA &baseData() const { return m_base; }
    const MIDI_SETTING_DATA &savedData() const { return m_saved; }
    const MIDI_SETTING_DATA &editedData() const { return m_edited; }
    int portInPlay() const { return int(m_port); }

private:
    enum Field { Volume, Pan, Reverb, Chorus, Transpose, Attack, Decay, Sustain, Release, CutOff, Resonance };
    enum Header { ReverbType, ReverbLevel, ChorusType, ChorusLevel };

    bool valid(uint16_t channel, uint16_t layer) const;
    // The engine port a song channel plays on, and its output.
    int portOf(uint16_t channel) const;
    MidiOutput outputOf(uint16_t channel) const;
    int16_t &dbField(Field f, uint16_t channel, uint16_t layer);
    void setField(Field f, int value, uint16_t channel, uint16_t layer);
    void setHeader(Header h, int value);
    void setMuteSolo(uint8_t state, uint16_t channel);
    void setVelocity(uint8_t curve, uint16_t channel, uint16_t layer);
    void setProgramBank(uint8_t program, uint8_t bank, uint8_t insert, uint16_t channel, uint16_t layer);
    void sendController(uint16_t channel, int controller, int value);
    void resetTrack(const MidiEditTrack &to, uint16_t channel, uint16_t layer);

    MIDI_SETTING_DATA m_base{};
    MIDI_SETTING_DATA m_saved{};
    MIDI_SETTING_DATA m_edited{};
    // The records were built for a song: they can be saved after it left.
    bool m_hasSong = false;
    uint32_t m_port = NO_PORT;
    Db *m_db = nullptr;
    MidiStream *m_stream = nullptr;
    MidiInfos *m_infos = nullptr;
};
