#include "MKPatch.h"

#include "MIDI_const.h"
#include "MidiInterface.h"
#include "SafeSave.h"
#include "Sequencer.h"
#include "cinterface.h"
#include "inserts.h"
#include "midi_controls.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>

namespace {

constexpr int LIVE_PORT_INDEX = 2; // engine port of output 3
// A patch file is about 2 KB; anything far larger is not one.
constexpr qint64 MAX_PATCH_FILE = 64 * 1024;

const char *const KEY_NAME = "Name";
const char *const KEY_TYPE = "Type";
const char *const KEY_PART = "Part";

// The 22 lines of an active layer, in file order, with their fields.
struct ParamKey {
    const char *key;
    uint8_t S_MKLayer::*field;
};
const ParamKey PARAM_KEYS[] = {
    {"Volume", &S_MKLayer::volume},         {"Pan", &S_MKLayer::pan},
    {"Reverb", &S_MKLayer::reverb},         {"BankSelect", &S_MKLayer::bank},
    {"PrgChange", &S_MKLayer::program},     {"Attack", &S_MKLayer::attack},
    {"Release", &S_MKLayer::release},       {"CutOff", &S_MKLayer::cutoff},
    {"Decay", &S_MKLayer::decay},           {"Sustain", &S_MKLayer::sustain},
    {"Chorus", &S_MKLayer::chorus},         {"Insert", &S_MKLayer::insert},
    {"IsDrumKit", &S_MKLayer::isDrumKit},   {"Mute", &S_MKLayer::muteSolo},
    {"Resonance", &S_MKLayer::resonance},   {"Transpose", nullptr},
    {"DestChannel", &S_MKLayer::destChannel}, {"LowKeyLimit", &S_MKLayer::lowKey},
    {"HiKeyLimit", &S_MKLayer::highKey},    {"LowVelLimit", &S_MKLayer::lowVelocity},
    {"HiVelLimit", &S_MKLayer::highVelocity}, {"SrcChannel", &S_MKLayer::srcChannel},
};

// The ten mix controllers in the order a configuration sends them.
struct MixController {
    int controller;
    uint8_t S_MKLayer::*field;
};
const MixController MIX_CONTROLLERS[] = {
    {7, &S_MKLayer::volume},   {91, &S_MKLayer::reverb},    {93, &S_MKLayer::chorus},
    {10, &S_MKLayer::pan},     {66, &S_MKLayer::sustain},   {71, &S_MKLayer::resonance},
    {72, &S_MKLayer::release}, {73, &S_MKLayer::attack},    {74, &S_MKLayer::cutoff},
    {75, &S_MKLayer::decay},
};

unsigned char dataByte(unsigned value)
{
    return static_cast<unsigned char>(std::min(value, 127u));
}

void sendLive(const unsigned char *data, int len)
{
    CINTERFACE_SendMidiEvent3(data, len);
}

void sendController(uint8_t channel, int controller, unsigned value)
{
    const unsigned char msg[3] = {static_cast<unsigned char>(0xB0 | (channel & 15)),
                                  static_cast<unsigned char>(controller), dataByte(value)};
    sendLive(msg, 3);
}

// One generator for the program, so two patches made in the same
// millisecond still draw different names.
QRandomGenerator &nameGenerator()
{
    static QRandomGenerator gen{quint32(QDateTime::currentMSecsSinceEpoch())};
    return gen;
}

} // namespace

MKPatch::MKPatch(const QString &folder, bool accordion)
    : m_name(QStringLiteral("Accordion")), m_type(accordion ? 1 : 0)
{
    initLayers(accordion);
    do {
        m_path = QStringLiteral("%1P%2.PTC").arg(folder).arg(nameGenerator().generate());
    } while (QFile::exists(m_path));
}

void MKPatch::initLayers(bool accordion)
{
    for (int i = 0; i < MK_LAYERS; ++i) {
        S_MKLayer &l = m_layers[i];
        l = S_MKLayer{};
        l.layerNumber = uint32_t(i);
        l.destChannel = uint8_t(i);
        l.srcChannel = MK_ANY_CHANNEL;
        l.highKey = 127;
        l.highVelocity = 127;
        l.insertParam1 = l.insertParam2 = MK_NO_INSERT_PARAM;
        l.volume = 120;
        l.pan = 64;
        l.attack = l.release = l.cutoff = l.resonance = l.decay = l.sustain = 64;
        l.pitchBend = 1;
    }
    if (!accordion)
        return;
    // One layer for each of the accordion's three keyboard channels.
    struct Row {
        uint8_t src, low, high, bank, program, drum, volume, reverb;
        int8_t transpose;
    };
    const Row rows[3] = {{2, 0, 127, 0, 27, 0, 65, 30, 12},
                         {1, 61, 108, 24, 1, 0, 120, 0, 0},
                         {0, 44, 60, 0, 1, 1, 120, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        S_MKLayer &l = m_layers[i];
        l.active = 1;
        l.srcChannel = rows[i].src;
        l.lowKey = rows[i].low;
        l.highKey = rows[i].high;
        l.bank = rows[i].bank;
        l.program = rows[i].program;
        l.isDrumKit = rows[i].drum;
        l.volume = rows[i].volume;
        l.reverb = rows[i].reverb;
        l.transpose = rows[i].transpose;
    }
    S_MKLayer &unused = m_layers[3];
    unused.attack = unused.release = unused.cutoff = unused.resonance = unused.decay =
        unused.sustain = 0;
}

void MKPatch::setName(const QString &name)
{
    if (name != m_name)
        m_unsaved = true;
    m_name = name;
}

int MKPatch::layerCount() const
{
    return int(std::count_if(std::begin(m_layers), std::end(m_layers),
                             [](const S_MKLayer &l) { return l.active != 0; }));
}

bool MKPatch::isActive() const
{
    return layerCount() > 0;
}

bool MKPatch::hasDrumkitLayer() const
{
    return std::any_of(std::begin(m_layers), std::end(m_layers),
                       [](const S_MKLayer &l) { return l.active && l.isDrumKit; });
}

bool MKPatch::removePatchFile()
{
    return QFile::remove(m_path);
}

QByteArray MKPatch::patchText() const
{
    QString name = m_name; // one line, whatever the user typed
    for (QChar &c : name) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    QByteArray out;
    auto line = [&out](const QString &key, const QString &value) {
        out += key.toUtf8() + " = " + value.toUtf8() + '\n';
    };
    line(QLatin1String(KEY_NAME), name);
    line(QLatin1String(KEY_TYPE), QString::number(uint32_t(m_type)));
    for (int i = 0; i < MK_LAYERS; ++i) {
        const S_MKLayer &l = m_layers[i];
        line(QStringLiteral("%1_%2").arg(QLatin1String(KEY_PART)).arg(l.layerNumber),
             QString::number(l.active ? 1 : 0));
        if (!l.active)
            continue;
        for (const ParamKey &p : PARAM_KEYS) {
            // Written as a 32-bit unsigned number: -12 is 4294967284.
            const uint32_t v = p.field ? l.*p.field : uint32_t(int32_t(l.transpose));
            line(QLatin1String(p.key), QString::number(v));
        }
    }
    return out;
}

bool MKPatch::savePatch()
{
    QString why;
    if (!SafeSave::writeFile(m_path, {patchText()}, &why)) {
        qWarning().noquote() << "[MKPatch::savePatch]" << m_path << why;
        return false;
    }
    m_unsaved = false;
    return true;
}

bool MKPatch::readPatchFromFile()
{
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "The patch file to load is missing" << m_path;
        return false;
    }
    if (f.size() > MAX_PATCH_FILE) {
        qWarning().noquote() << "[MKPatch::readPatchFromFile] not a patch, too large:" << m_path;
        return false;
    }
    readPatchText(f.readAll());
    return true;
}

void MKPatch::readPatchText(const QByteArray &text)
{
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    QString key;
    QString value;
    int current = 0;
    for (int n = 0; n < lines.size(); ++n) {
        const QString &line = lines[n];
        const bool hasValue = getValueFromKey(line, key, value);
        if (n == 0) {
            m_name = value;
            continue;
        }
        // A file without a "Type" line goes on with its layers.
        if (n == 1 && key.compare(QLatin1String(KEY_TYPE), Qt::CaseInsensitive) == 0) {
            m_type = int32_t(value.toLongLong()); // written back as 32 bits
            continue;
        }
        if (!hasValue)
            continue;
        if (key.startsWith(QLatin1String(KEY_PART), Qt::CaseInsensitive)) {
            // "Part_n": the layer digit follows the key and its "_".
            const int digit = key.size() > 5 ? key.at(5).digitValue() : -1;
            if (!validLayer(digit))
                continue;
            current = digit;
            m_layers[current].active = value.toUInt() != 0 ? 1 : 0;
        }
        getParam(current, key, value);
    }
    for (S_MKLayer &l : m_layers) {
        if (l.active)
            lookUpInsertParams(l);
    }
    m_unsaved = false;
    emit layersChanged();
}

void MKPatch::lookUpInsertParams(S_MKLayer &l)
{
    const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
    const int pos = findInstrumentPos(tables, l.program, l.bank, l.insert);
    if (pos < 0 || pos >= tables->GS_INSTR_NAMES_SIZE)
        return;
    const GS_INSTRUMENT_NAME &row = tables->trkGsNames[pos];
    l.insertParam1 = uint8_t(row.param1);
    l.insertParam2 = uint8_t(row.param2);
}

bool MKPatch::getValueFromKey(const QString &line, QString &key, QString &value)
{
    key.clear();
    value.clear();
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1).trimmed();
    return true;
}

bool MKPatch::getParam(int layer, const QString &key, const QString &value)
{
    if (!validLayer(layer))
        return false;
    S_MKLayer &l = m_layers[layer];
    const uint8_t v = uint8_t(value.toUInt()); // low 8 bits; 0 when not a number
    for (const ParamKey &p : PARAM_KEYS) {
        if (key.compare(QLatin1String(p.key), Qt::CaseInsensitive) != 0)
            continue;
        if (!p.field)
            l.transpose = int8_t(v);
        else if (p.field == &S_MKLayer::isDrumKit)
            l.isDrumKit = value.toUInt() != 0 ? 1 : 0;
        else
            l.*p.field = v;
        return true;
    }
    return false;
}

MKPatch::Sound MKPatch::soundOf(const GS_INSTRUMENT_NAME &row)
{
    return {row.program, row.bank, false, row.insert, uint8_t(row.param1), uint8_t(row.param2)};
}

MKPatch::Sound MKPatch::soundOf(const GS_DRUM_KIT_NAME &row)
{
    return {row.program, row.bank, true, 0, MK_NO_INSERT_PARAM, MK_NO_INSERT_PARAM};
}

void MKPatch::assignSound(int layer, const Sound &sound)
{
    S_MKLayer &l = m_layers[layer];
    l.active = 1;
    l.program = sound.program;
    l.bank = sound.bank;
    l.isDrumKit = sound.drum ? 1 : 0;
    l.insert = sound.insert;
    if (!sound.drum) {
        l.insertParam1 = sound.param1;
        l.insertParam2 = sound.param2;
    }
    sendLayerConfiguration(layer);
    m_unsaved = true;
    emit layersChanged();
}

int MKPatch::addSound(const Sound &sound)
{
    sendAllChannelOff();
    for (int i = 0; i < MK_LAYERS; ++i) {
        if (!m_layers[i].active) {
            assignSound(i, sound);
            return i;
        }
    }
    return -1;
}

int MKPatch::addLayer(const GS_INSTRUMENT_NAME *instrument)
{
    return instrument ? addSound(soundOf(*instrument)) : -1;
}

int MKPatch::addLayer(const GS_DRUM_KIT_NAME *drumKit)
{
    return drumKit ? addSound(soundOf(*drumKit)) : -1;
}

void MKPatch::removeLayerAt(int layer)
{
    if (!validLayer(layer) || !m_layers[layer].active)
        return;
    m_layers[layer].active = 0;
    m_unsaved = true;
    emit layersChanged();
}

void MKPatch::getLayerAt(S_MKLayer *out, int layer) const
{
    if (out && validLayer(layer))
        *out = m_layers[layer];
}

template <typename T>
bool MKPatch::store(T &field, T value)
{
    if (field == value)
        return false;
    field = value;
    m_unsaved = true;
    return true;
}

void MKPatch::setMixValue(int layer, uint8_t S_MKLayer::*field, int controller, uint8_t value)
{
    if (!validLayer(layer))
        return;
    S_MKLayer &l = m_layers[layer];
    if (store(l.*field, value))
        emit layersChanged();
    sendLayerParameter(controller, &l);
}

void MKPatch::setLayerVolume(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::volume, 7, v); }
void MKPatch::setLayerPanPot(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::pan, 10, v); }
void MKPatch::setLayerChorus(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::chorus, 93, v); }
void MKPatch::setLayerReverb(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::reverb, 91, v); }
void MKPatch::setLayerAttack(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::attack, 73, v); }
void MKPatch::setLayerRelease(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::release, 72, v); }
void MKPatch::setLayerCutOff(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::cutoff, 74, v); }
void MKPatch::setLayerResonance(int layer, uint8_t v)
{
    setMixValue(layer, &S_MKLayer::resonance, 71, v);
}
void MKPatch::setLayerDecay(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::decay, 75, v); }
void MKPatch::setLayerSustain(int layer, uint8_t v) { setMixValue(layer, &S_MKLayer::sustain, 66, v); }

void MKPatch::sendVolume(const S_MKLayer &l, bool silent)
{
    sendController(l.destChannel, 7, silent ? 0 : l.volume);
}

void MKPatch::setLayerMuteSolo(int layer, uint8_t state)
{
    if (!validLayer(layer) || state > MK_SOLO)
        return;
    S_MKLayer &target = m_layers[layer];
    const uint8_t was = target.muteSolo;
    // Every other active layer in state from goes to state to.
    auto others = [&](uint8_t from, uint8_t to) {
        for (S_MKLayer &l : m_layers) {
            if (&l == &target || !l.active || l.muteSolo != from)
                continue;
            l.muteSolo = to;
            sendVolume(l, to == MK_MUTED);
        }
    };
    auto becomes = [&](uint8_t s) {
        target.muteSolo = s;
        sendVolume(target, s == MK_MUTED);
    };
    if (state == MK_SOLO) {
        others(MK_NORMAL, MK_MUTED);
        becomes(MK_SOLO);
    } else if (state == MK_MUTED) {
        if (was == MK_SOLO)
            others(MK_MUTED, MK_NORMAL);
        becomes(MK_MUTED);
    } else if (was == MK_MUTED) {
        becomes(MK_NORMAL);
    } else if (was == MK_SOLO) {
        const bool otherSolo = std::any_of(std::begin(m_layers), std::end(m_layers),
                                           [&](const S_MKLayer &l) {
                                               return &l != &target && l.active &&
                                                      l.muteSolo == MK_SOLO;
                                           });
        if (otherSolo) {
            becomes(MK_MUTED);
        } else {
            others(MK_MUTED, MK_NORMAL);
            becomes(MK_NORMAL);
        }
    }
    if (target.muteSolo != was)
        m_unsaved = true;
    emit layersChanged();
}

template <typename T>
void MKPatch::setLayerField(int layer, T S_MKLayer::*field, T value, Then then)
{
    if (!validLayer(layer))
        return;
    if (then == Then::AllOffFirst)
        sendAllChannelOff();
    const bool changed = store(m_layers[layer].*field, value);
    if (then == Then::Configure)
        sendLayerConfiguration(layer);
    if (changed)
        emit layersChanged();
}

void MKPatch::setLayerSrcChannel(int layer, uint8_t channel)
{
    setLayerField(layer, &S_MKLayer::srcChannel, channel, Then::AllOffFirst);
}

void MKPatch::setLayerDestChannel(int layer, uint8_t channel)
{
    setLayerField(layer, &S_MKLayer::destChannel, uint8_t(channel & 15), Then::AllOffFirst);
}

void MKPatch::setLayerInsert(int layer, uint8_t insert)
{
    setLayerField(layer, &S_MKLayer::insert, insert, Then::Configure);
}

void MKPatch::setLayerPitchBand(int layer, uint16_t follow)
{
    setLayerField(layer, &S_MKLayer::pitchBend, follow, Then::Configure);
}

void MKPatch::setLayerTranspose(int layer, int8_t semitones)
{
    setLayerField(layer, &S_MKLayer::transpose, semitones, Then::Configure);
}

void MKPatch::setLayerKeyRange(int layer, uint8_t low, uint8_t high)
{
    setLayerField(layer, &S_MKLayer::lowKey, low, Then::Store);
    setLayerField(layer, &S_MKLayer::highKey, high, Then::Store);
}

void MKPatch::setLayerVelocityRange(int layer, uint8_t low, uint8_t high)
{
    setLayerField(layer, &S_MKLayer::lowVelocity, low, Then::Store);
    setLayerField(layer, &S_MKLayer::highVelocity, high, Then::Store);
}

void MKPatch::setLayerInstrument(int layer, const GS_INSTRUMENT_NAME *instrument)
{
    if (!validLayer(layer) || !instrument)
        return;
    sendAllChannelOff();
    assignSound(layer, soundOf(*instrument));
}

void MKPatch::setLayerDrumKit(int layer, const GS_DRUM_KIT_NAME *drumKit)
{
    if (!validLayer(layer) || !drumKit)
        return;
    sendAllChannelOff();
    assignSound(layer, soundOf(*drumKit));
}

void MKPatch::sendLayerConfiguration(int layer)
{
    if (!validLayer(layer) || !m_layers[layer].active)
        return;
    S_MKLayer &l = m_layers[layer];
    const uint8_t c = l.isDrumKit ? MK_DRUM_CHANNEL : uint8_t(layer);
    if (l.destChannel != c) {
        l.destChannel = c;
        emit layersChanged();
    }
    // The insertion-effect module is switched off in this program, so no
    // block ever binds to the live port: a layer with an insert plays its own
    // bank and program rather than whatever the channel had before.
    const unsigned char sound[5] = {static_cast<unsigned char>(0xB0 | c), 0, dataByte(l.bank),
                                    static_cast<unsigned char>(0xC0 | c), dataByte(l.program)};
    sendLive(sound, 5);
    unsigned char mix[3 * std::size(MIX_CONTROLLERS)];
    int n = 0;
    for (const MixController &m : MIX_CONTROLLERS) {
        const bool silent = m.controller == 7 && l.muteSolo == MK_MUTED;
        mix[n++] = static_cast<unsigned char>(0xB0 | c);
        mix[n++] = static_cast<unsigned char>(m.controller);
        mix[n++] = silent ? 0 : dataByte(l.*m.field);
    }
    sendLive(mix, n);
}

void MKPatch::sendLayerParameter(int controller, const S_MKLayer *layer)
{
    if (!layer)
        return;
    for (const MixController &m : MIX_CONTROLLERS) {
        if (m.controller != controller)
            continue;
        const bool silent = controller == 7 && layer->muteSolo == MK_MUTED;
        sendController(layer->destChannel, controller, silent ? 0 : layer->*m.field);
        return;
    }
}

void MKPatch::sendAllChannelOff()
{
    for (const S_MKLayer &l : m_layers) {
        if (!l.active)
            continue;
        if (sequencer)
            sequencer->stopSoundChanAtPort(LIVE_PORT_INDEX, l.destChannel);
        else
            MIDI_CONTROLS_StopSoundChanAtPort(LIVE_PORT_INDEX, l.destChannel);
    }
}

void MKPatch::sendReset()
{
    if (MidiInterface_static)
        MidiInterface_static->send_RESET(MIDI_OUTPUT_LIVE);
    uint8_t buffer[256];
    int len = 0;
    INSERTS_deactivateAll(LIVE_PORT_INDEX, buffer, &len);
    if (len > 0)
        sendLive(buffer, std::min(len, int(sizeof buffer)));
}

void MKPatch::sendPatchConfiguration()
{
    sendReset();
    sendAllChannelOff();
    for (int i = 0; i < MK_LAYERS; ++i)
        sendLayerConfiguration(i);
}
