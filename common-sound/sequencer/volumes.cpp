#include "volumes.h"

#include "MIDI_const.h"
#include "cinterface.h"
#include "logmsg.h"
#include "midi_controls.h"
#include "RealTime.h"
#include "sequencer_ex_p.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {
const char *const LOG_SRC = "../common-sound/sequencer/volumes";

struct Term {
    std::atomic<uint16_t> value{0};
    std::atomic<uint16_t> maximum{0};
};

// Terms are written by the GUI thread and read by the tick without a lock;
// every mark is taken with an exchange before its terms are read, so a value
// stored while a task runs is sent in this pass or the next one.
Term g_general[2];
std::atomic<uint8_t> g_generalChanged{0};
float g_generalFactor = 1.0f;

Term g_source[2][VOLUME_OUTPUTS];       // [source][output]
std::atomic<int> g_sourceChanged[VOLUME_OUTPUTS];
std::atomic<int> changedMidiCable[VOLUME_OUTPUTS];
float g_sourceFactor[VOLUME_OUTPUTS] = {1.0f, 1.0f};
std::atomic<float> g_masterK{1.0f};

std::atomic<uint8_t> Sliders[VOLUME_GROUPS];
std::atomic<uint8_t> SliderChanged[VOLUME_GROUPS];
uint8_t lastSlider[VOLUME_GROUPS];

std::atomic<uint8_t> g_chanVol[2][VOLUME_OUTPUTS][VOLUME_TABLE_CHANNELS];   // [term][output][channel]
uint8_t g_groupVol[VOLUME_OUTPUTS][VOLUME_TABLE_CHANNELS];
std::atomic<uint8_t> g_chanChanged[VOLUME_OUTPUTS][VOLUME_TABLE_CHANNELS];

std::atomic<uint8_t> g_busy{0};

struct SliderInit {
    SliderInit()
    {
        for (auto &s : Sliders)
            s.store(127);
        for (auto &o : g_groupVol)
            for (auto &c : o)
                c = 127;
        for (auto &t : g_chanVol)
            for (auto &o : t)
                for (auto &c : o)
                    c.store(127);
    }
} g_sliderInit;

// Six 128-entry curves; 0 stays 0 so a note-on of velocity 0 keeps ending a note.
struct VelocityCurves {
    uint8_t table[VELOCITY_CURVES][128];
    VelocityCurves()
    {
        for (int k = 0; k < VELOCITY_CURVES; ++k) {
            for (int v = 0; v < 128; ++v) {
                const double x = v / 127.0;
                double y;
                switch (k) {
                case 0: y = std::pow(x, 0.5); break;          // 1: light touch, loud
                case 1: y = std::pow(x, 0.75); break;         // 2: soft
                case 2: y = std::pow(x, 1.35); break;         // 3: firm
                case 3: y = std::pow(x, 2.0); break;          // 4: heavy
                case 4: y = (40.0 + 87.0 * x) / 127.0; break; // 5: narrow range
                default: y = 0.5 - 0.5 * std::cos(x * M_PI); break; // 6: S-shaped
                }
                int out = int(std::lround(y * 127.0));
                if (v == 0)
                    out = 0;
                else if (out < 1)
                    out = 1;
                else if (out > 127)
                    out = 127;
                table[k][v] = uint8_t(out);
            }
        }
    }
};
const VelocityCurves g_curves;


float termFactor(const Term &t1, const Term &t0)
{
    const uint16_t m0 = t0.maximum.load(std::memory_order_relaxed);
    const uint16_t m1 = t1.maximum.load(std::memory_order_relaxed);
    if (m0 == 0 || m1 == 0)
        return 0.0f;
    // A term above its maximum is full volume: beyond it the 7-bit volume
    // would wrap round to a quiet one.
    const uint16_t v0 = std::min(t0.value.load(std::memory_order_relaxed), m0);
    const uint16_t v1 = std::min(t1.value.load(std::memory_order_relaxed), m1);
    const float f0 = float(v0) / float(m0);
    return (float(v1) * f0) / float(m1);
}

void sendController7(MidiOutput output, int channel, uint8_t value)
{
    const unsigned char msg[3] = {uint8_t(0xB0 | (channel & 15)), 7, uint8_t(value & 127)};
    CINTERFACE_SendMidiEvent(output.number(), msg, 3);
}

void sendMarked(MidiOutput output)
{
    const int o = output.volumeRow();
    for (int c = 0; c < 16; ++c) {
        if (!g_chanChanged[o][c].exchange(0, std::memory_order_acq_rel))
            continue;
        const float t0 = g_chanVol[MIDI_CHAN_VOL_TRACK][o][c].load(std::memory_order_relaxed);
        const float t1 = g_chanVol[MIDI_CHAN_VOL_FADE][o][c].load(std::memory_order_relaxed);
        const float v = float(g_groupVol[o][c]) * (t1 * t0) / 16129.0f;
        sendController7(output, c, uint8_t(int(v)));
    }
}

// Applies group g to one table entry and marks it for sending.
void applyGroup(MidiOutput output, int c, int flat, int g, const DbLayer &layer0, bool needInUse)
{
    if (needInUse && !(layer0.flags & DB_FLAG_IN_USE))
        return;
    const int o = output.volumeRow();
    if (layer0.flags & DB_FLAG_DRUM) {
        g_groupVol[o][c] = Sliders[VOLUME_GROUP_DRUMS].load(std::memory_order_relaxed);
    } else {
        const uint8_t program = RT_info[flat][RT_INFO_PROGRAM].load(std::memory_order_relaxed);
        if (program != 255 && sliderGroupInstrMap[program & 127] == g)
            g_groupVol[o][c] = Sliders[g].load(std::memory_order_relaxed);
    }
    g_chanChanged[o][c].store(1, std::memory_order_release);
}
} // namespace

void setMidiGeneralVolume(int which, int value)
{
    if (which < 0 || which > 1)
        return;
    g_general[which].value.store(uint16_t(value < 0 ? 0 : value), std::memory_order_relaxed);
    g_generalChanged.store(1, std::memory_order_release);
}

void maxMidiGeneralVolume(int which)
{
    if (which < 0 || which > 1)
        return;
    g_general[which].value.store(g_general[which].maximum.load(), std::memory_order_relaxed);
    g_generalChanged.store(1, std::memory_order_release);
}

void setMaxMidiGeneralVolume(int which, int maximum)
{
    if (which < 0 || which > 1)
        return;
    g_general[which].maximum.store(uint16_t(maximum < 0 ? 0 : maximum), std::memory_order_relaxed);
}

void updateMidiGeneralVol(void)
{
    g_generalChanged.store(1, std::memory_order_release);
}

void SEQUENCER_EX_ResetFadingVolume(void)
{
    maxMidiGeneralVolume(1);
}

void setMidiCableSourceVolume(int source, int value, MidiOutput output)
{
    if (source < 0 || source > 1 || !output.hasVolumes())
        return;
    const int o = output.volumeRow();
    const uint16_t v = uint16_t(value < 0 ? 0 : value);
    const uint16_t old = g_source[source][o].value.exchange(v, std::memory_order_relaxed);
    // Only ever marks: a repeat of the same value must not take back the
    // mark of a change the task has not sent yet.
    if (old != v)
        g_sourceChanged[o].store(1, std::memory_order_release);
}

void maxMidiSourceVolume(int source, MidiOutput output)
{
    if (source < 0 || source > 1 || !output.hasVolumes())
        return;
    setMidiCableSourceVolume(source, g_source[source][output.volumeRow()].maximum.load(), output);
}

void setMaxMidiSourceVolume(int source, int maximum)
{
    if (source < 0 || source > 1)
        return;
    for (int o = 0; o < VOLUME_OUTPUTS; ++o)
        g_source[source][o].maximum.store(uint16_t(maximum < 0 ? 0 : maximum));
}

void updateMidiChannelVol(void)
{
    for (auto &c : g_sourceChanged)
        c.store(1, std::memory_order_release);
}

void VOLUME_setMasterKFactor(int value)
{
    int v = value & 255;
    if (v > 127)
        v = 127;
    g_masterK.store(float(double(v) / 127.0), std::memory_order_relaxed);
    for (auto &c : changedMidiCable)
        c.store(1, std::memory_order_release);
}

void VOLUMES_setMidiChVolumesMap(int which, int value, int channel, MidiOutput output)
{
    if (which < 0 || which > 1 || channel < 0 || channel >= VOLUME_TABLE_CHANNELS || !output.hasVolumes()) {
        if (!SEQUENCER_EX_InsideTick())
            rtLogMsg(2, LOG_SRC, __LINE__, "[VOLUMES_setMidiChVolumesMap] ignored term %d channel %d output %d",
                     which, channel, output.number());
        return;
    }
    const int o = output.volumeRow();
    const int v = value < 0 ? 0 : (value > 127 ? 127 : value);
    g_chanVol[which][o][channel].store(uint8_t(v), std::memory_order_relaxed);
    g_chanChanged[o][channel].store(1, std::memory_order_release);
}

int VOLUMES_GetMidiChVolumesMap(int which, int channel, MidiOutput output)
{
    if (which < 0 || which > 1 || channel < 0 || channel >= VOLUME_TABLE_CHANNELS || !output.hasVolumes())
        return -1;
    return g_chanVol[which][output.volumeRow()][channel].load(std::memory_order_relaxed);
}

void refreshMidiChVolumesMap(int channel, MidiOutput output)
{
    if (channel < 0 || channel >= VOLUME_TABLE_CHANNELS || !output.hasVolumes())
        return;
    g_chanChanged[output.volumeRow()][channel].store(1, std::memory_order_release);
}

void maxMidiChVolumesMap(int which, MidiOutput output)
{
    if (which < 0 || which > 1 || !output.hasVolumes())
        return;
    const int o = output.volumeRow();
    for (int c = 0; c < VOLUME_TABLE_CHANNELS; ++c) {
        g_chanVol[which][o][c].store(127, std::memory_order_relaxed);
        g_chanChanged[o][c].store(1, std::memory_order_release);
    }
}

void resetMidiChVolumesMap(MidiOutput output)
{
    if (!output.hasVolumes())
        return;
    const int o = output.volumeRow();
    for (int c = 0; c < VOLUME_TABLE_CHANNELS; ++c) {
        g_chanVol[0][o][c].store(127, std::memory_order_relaxed);
        g_chanVol[1][o][c].store(127, std::memory_order_relaxed);
    }
    updateMidiAllChanelVolumes();
    g_source[0][o].value.store(g_source[0][o].maximum.load());
    const uint16_t max1 = g_source[1][o].maximum.load();
    const uint16_t old1 = g_source[1][o].value.exchange(max1);
    if (old1 != max1)
        g_sourceChanged[o].store(1, std::memory_order_release);
}

void CopyVolumesMap(MidiOutput to, MidiOutput from)
{
    if (!to.hasVolumes() || !from.hasVolumes() || to == from)
        return;
    for (int t = 0; t < 2; ++t)
        for (int c = 0; c < VOLUME_TABLE_CHANNELS; ++c)
            g_chanVol[t][to.volumeRow()][c].store(g_chanVol[t][from.volumeRow()][c].load());
}

void VOLUMES_SetSliderValue(int group, int value)
{
    if (group < 0 || group >= VOLUME_GROUPS)
        return;
    Sliders[group].store(uint8_t(value & 127), std::memory_order_relaxed);
    SliderChanged[group].store(1, std::memory_order_release);
}

int VOLUMES_GetSliderValue(int group)
{
    if (group < 0 || group >= VOLUME_GROUPS)
        return -1;
    return Sliders[group].load(std::memory_order_relaxed);
}

void updateMidiAllChanelVolumes(void)
{
    for (auto &g : SliderChanged)
        g.store(1, std::memory_order_release);
}

void sliderChanged(int group)
{
    if (group < 0 || group >= VOLUME_GROUPS)
        return;
    SliderChanged[group].store(1, std::memory_order_release);
}

void VOLUMES_UpdateSeqMixSlider(int force)
{
    if (SEQUENCER_EX_Stop())
        return;
    for (int g = 0; g < VOLUME_GROUPS; ++g) {
        const uint8_t v = Sliders[g].load(std::memory_order_relaxed);
        if (force || v / 4 != lastSlider[g] / 4) {
            SliderChanged[g].store(1, std::memory_order_release);
            lastSlider[g] = v;
        }
    }
}

void VOLUMES_ClearLastSliders(void)
{
    for (auto &s : lastSlider)
        s = 0;
}

void initVolumes(void)
{
    g_general[0].maximum.store(GENERAL_MUSIC_MAX);
    g_general[1].maximum.store(GENERAL_FADE_MAX);
    g_general[0].value.store(GENERAL_MUSIC_MAX);
    g_general[1].value.store(GENERAL_FADE_MAX);
    g_generalChanged.store(1);
    for (int o = 0; o < VOLUME_OUTPUTS; ++o) {
        for (int c = 0; c < VOLUME_TABLE_CHANNELS; ++c) {
            g_chanVol[0][o][c].store(127);
            g_chanVol[1][o][c].store(127);
            g_chanChanged[o][c].store(0);
            g_groupVol[o][c] = 127;
        }
        g_sourceChanged[o].store(g_source[1][o].value.load() != SOURCE1_MAX);
        g_source[0][o].maximum.store(SOURCE0_MAX);
        g_source[0][o].value.store(SOURCE0_MAX);
        g_source[1][o].maximum.store(SOURCE1_MAX);
        g_source[1][o].value.store(SOURCE1_MAX);
    }
    for (auto &g : SliderChanged)
        g.store(0);
}

void VolumeTask(void)
{
    if (g_busy.exchange(1, std::memory_order_acquire))
        return;
    bool generalNow = false;
    if (g_generalChanged.exchange(0, std::memory_order_acq_rel)) {
        g_generalFactor = termFactor(g_general[1], g_general[0]);
        generalNow = true;
    }
    for (int o = 0; o < VOLUME_OUTPUTS; ++o) {
        if (g_sourceChanged[o].exchange(0, std::memory_order_acq_rel)) {
            g_sourceFactor[o] = termFactor(g_source[1][o], g_source[0][o]);
            changedMidiCable[o].store(1, std::memory_order_relaxed);
        }
    }
    const float k = g_masterK.load(std::memory_order_relaxed);
    for (int o = 0; o < VOLUME_OUTPUTS; ++o) {
        if (changedMidiCable[o].exchange(0, std::memory_order_acq_rel) || generalNow) {
            const float v = ((g_generalFactor * g_sourceFactor[o]) * 127.0f + 0.5f) * k;
            MIDI_CONTROLS_PushSysExVol(int(v) & 127, kVolumeOutputs[o]);
        }
    }
    g_busy.store(0, std::memory_order_release);
}

void MidiChannelVolumeTask(MidiStream *stream, Db *db)
{
    if (!stream || !db || stream->port > 1)
        return;
    // The song's first port on the slot's own output, its second on the other.
    const MidiOutput own = outputFor(stream->port, 0);
    const MidiOutput upper = outputFor(stream->port, 1);
    const bool ownUpper = !(sflags(stream) & SF_SECOND_PORT_COPY);
    for (int g = 0; g < VOLUME_GROUPS; ++g) {
        if (!SliderChanged[g].exchange(0, std::memory_order_acq_rel))
            continue;
        for (int c = 0; c < 16; ++c) {
            applyGroup(own, c, c, g, db->layers[c][0], true);
            if (ownUpper)
                applyGroup(upper, c, c + 16, g, db->layers[c + 16][0], false);
        }
    }
    sendMarked(own);
    if (ownUpper)
        sendMarked(upper);
}

void SendMidiHighChannelChanged(MidiOutput output)
{
    if (output.hasVolumes())
        sendMarked(output);
}

void MidiChannelVolume(int volume, int channel, int port)
{
    sendController7(outputFor(port, channel > 15 ? 1 : 0), channel & 15, uint8_t(volume & 127));
}

uint8_t VOLUMES_VelocityCurve(int curve, uint8_t velocity)
{
    if (curve < 1 || curve > VELOCITY_CURVES)
        return velocity;
    return g_curves.table[curve - 1][velocity & 127];
}
