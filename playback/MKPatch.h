// One master-keyboard patch: up to four layers, each a sound with its own
// keyboard channel, key and velocity range and mix values, played live on
// MIDI output 3 (the live port). The patch is kept as a ".PTC" text file of
// "Key = value" lines and sends every change to the sound module at once.
//
// Threads: a patch lives on the GUI thread and is changed only there. The
// listener never reads a patch; it reads the immutable routing snapshot that
// MasterKeyboard publishes whenever layersChanged() fires for the selected
// patch, so deleting a patch never races with a note being routed.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

struct GS_INSTRUMENT_NAME;
struct GS_DRUM_KIT_NAME;

constexpr int MK_LAYERS = 4;
constexpr uint8_t MK_ANY_CHANNEL = 255; // a layer that listens to every keyboard channel
constexpr uint8_t MK_DRUM_CHANNEL = 9;
constexpr uint8_t MK_NO_INSERT_PARAM = 255;

enum MKMuteSolo : uint8_t { MK_NORMAL = 0, MK_MUTED = 1, MK_SOLO = 2 };

struct S_MKLayer {
    uint32_t layerNumber;
    uint8_t active;
    uint8_t muteSolo;      // MKMuteSolo
    uint8_t srcChannel;    // MK_ANY_CHANNEL or 0-15
    uint8_t destChannel;   // on output 3; recomputed by every configuration
    uint8_t lowKey;
    uint8_t highKey;
    uint8_t lowVelocity;
    uint8_t highVelocity;
    uint8_t bank;
    uint8_t program;
    uint8_t isDrumKit;
    uint8_t insert;        // insertion-effect type, 0 none
    uint8_t insertInForce; // the insert switched on now; never saved
    uint8_t insertParam1;  // MK_NO_INSERT_PARAM: none
    uint8_t insertParam2;
    uint8_t volume;        // CC7
    uint8_t pan;           // CC10
    uint8_t chorus;        // CC93
    uint8_t reverb;        // CC91
    uint8_t attack;        // CC73
    uint8_t release;       // CC72
    uint8_t cutoff;        // CC74
    uint8_t resonance;     // CC71
    uint8_t decay;         // CC75
    uint8_t sustain;       // CC66
    uint16_t pitchBend;    // 1: the layer follows pitch bend; never saved
    int8_t transpose;      // semitones
};

class MKPatch : public QObject
{
    Q_OBJECT
public:
    // Fresh layers, or the accordion set-up (type 1, three layers); the path
    // is a new "P<random>.PTC" file of folder (which ends with a separator).
    MKPatch(const QString &folder, bool accordion);

    QString getPath() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }
    QString getName() const { return m_name; }
    void setName(const QString &name);
    int getType() const { return m_type; }
    // Always the number of active layers.
    int layerCount() const;
    bool hasUsavedChange() const { return m_unsaved; }
    bool isActive() const;
    bool hasDrumkitLayer() const;
    bool removePatchFile();

    // Writes the ".PTC" file through a safe save: a failed write leaves the
    // old file as it was. Line breaks in the name become blanks.
    bool savePatch();
    // False, with a warning and the patch unchanged, when the file cannot be
    // read or is too large to be a patch. Malformed lines are skipped.
    bool readPatchFromFile();
    // The file's text, and reading from text; read never fails on content.
    QByteArray patchText() const;
    void readPatchText(const QByteArray &text);
    // Splits "key = value" at its first "=" (names may hold "="); false when
    // there is none. Both parts are trimmed.
    static bool getValueFromKey(const QString &line, QString &key, QString &value);
    // Stores one of the 22 layer parameters (key in any case); false for
    // "Name", "Type", "Part" and unknown keys.
    bool getParam(int layer, const QString &key, const QString &value);

    // The first inactive layer becomes the sound and is sent; -1 when all
    // four are in use (only the all-off messages are then sent).
    int addLayer(const GS_INSTRUMENT_NAME *instrument);
    int addLayer(const GS_DRUM_KIT_NAME *drumKit);
    void removeLayerAt(int layer);
    void getLayerAt(S_MKLayer *out, int layer) const;

    void setLayerVolume(int layer, uint8_t value);
    void setLayerPanPot(int layer, uint8_t value);
    void setLayerChorus(int layer, uint8_t value);
    void setLayerReverb(int layer, uint8_t value);
    void setLayerAttack(int layer, uint8_t value);
    void setLayerRelease(int layer, uint8_t value);
    void setLayerCutOff(int layer, uint8_t value);
    void setLayerResonance(int layer, uint8_t value);
    void setLayerDecay(int layer, uint8_t value);
    void setLayerSustain(int layer, uint8_t value);
    // MKMuteSolo; the other active layers follow (solo silences them).
    void setLayerMuteSolo(int layer, uint8_t state);
    void setLayerSrcChannel(int layer, uint8_t channel);
    void setLayerDestChannel(int layer, uint8_t channel);
    void setLayerInsert(int layer, uint8_t insert);
    void setLayerPitchBand(int layer, uint16_t follow);
    void setLayerTranspose(int layer, int8_t semitones);
    void setLayerKeyRange(int layer, uint8_t low, uint8_t high);
    void setLayerVelocityRange(int layer, uint8_t low, uint8_t high);
    void setLayerInstrument(int layer, const GS_INSTRUMENT_NAME *instrument);
    void setLayerDrumKit(int layer, const GS_DRUM_KIT_NAME *drumKit);

    // Sound, effects and the ten mix controllers of an active layer on its
    // channel of output 3 (channel 10 for a drum kit, else the layer number).
    void sendLayerConfiguration(int layer);
    // One of the ten mix controllers of a layer; other numbers send nothing.
    void sendLayerParameter(int controller, const S_MKLayer *layer);
    // Stops every sound on the channels of the active layers.
    void sendAllChannelOff();
    // Reset of output 3, its inserts off, all off, then every layer.
    void sendPatchConfiguration();
    void sendReset();

signals:
    // Any layer field changed (also the channel a configuration chose).
    void layersChanged();

private:
    static bool validLayer(int layer) { return layer >= 0 && layer < MK_LAYERS; }
    void initLayers(bool accordion);
    // Stores value in field, marking the patch unsaved when it differs.
    template <typename T>
    bool store(T &field, T value);
    void setMixValue(int layer, uint8_t S_MKLayer::*field, int controller, uint8_t value);
    void sendVolume(const S_MKLayer &l, bool silent);
    // A sound from a table row; a drum kit keeps the insert parameters.
    struct Sound {
        uint8_t program, bank;
        bool drum;
        uint8_t insert, param1, param2;
    };
    static Sound soundOf(const GS_INSTRUMENT_NAME &row);
    static Sound soundOf(const GS_DRUM_KIT_NAME &row);
    // Makes the layer that sound, sends it and marks the patch unsaved.
    void assignSound(int layer, const Sound &sound);
    int addSound(const Sound &sound);
    enum class Then { Store, AllOffFirst, Configure };
    template <typename T>
    void setLayerField(int layer, T S_MKLayer::*field, T value, Then then);
    void lookUpInsertParams(S_MKLayer &l);

    S_MKLayer m_layers[MK_LAYERS];
    QString m_name;
    int m_type = 0;
    QString m_path;
    bool m_unsaved = false;
};
