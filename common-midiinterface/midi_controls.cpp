#include "midi_controls.h"

#include "cinterface.h"
#include "logmsg.h"
#include "RealTime.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#define MC_SOURCE "../common-midiinterface/midi_controls"

const unsigned char GM_RESET[6] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const unsigned char GS_RESET[11] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40,
                                    0x00, 0x7F, 0x00, 0x41, 0xF7};
const unsigned char GM_MASTER_VOL[8] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0xFF, 0xF7};
const unsigned char REVERB_SYS_EX[11] = {0xF0, 0x41, 0x00, 0x42, 0x12, 0x40,
                                         0x01, 0x30, 0x00, 0x00, 0xF7};
const unsigned char REVERB_MASTER_SYS_EX[11] = {0xF0, 0x41, 0x00, 0x42, 0x12, 0x40,
                                                0x01, 0x33, 0x00, 0x00, 0xF7};
const unsigned char CHORUS_SYS_EX[11] = {0xF0, 0x41, 0x00, 0x42, 0x12, 0x40,
                                         0x01, 0x38, 0x00, 0x00, 0xF7};
const unsigned char CHORUS_MASTER_SYS_EX[11] = {0xF0, 0x41, 0x00, 0x42, 0x12, 0x40,
                                                0x01, 0x3A, 0x00, 0x00, 0xF7};
const unsigned char REVERB_SYS_EX2[11] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40,
                                          0x01, 0x30, 0xFF, 0x00, 0xF7};

namespace {

constexpr int kGsValuePos = 8;
constexpr int kGsChecksumPos = 9;
constexpr int kGsAddressPos = 5; // address (3 bytes) and value: bytes 5..8
constexpr unsigned char kNotSent = 0xFF; // no 7-bit value equals it

std::atomic<int> sendGSreset{0};

// Last value sent of each reverb and chorus message.
enum EffectMessage { ReverbType, ReverbLevel, ChorusType, ChorusLevel, EffectMessages };
std::atomic<unsigned char> lastSent[EffectMessages] = {{kNotSent}, {kNotSent}, {kNotSent},
                                                       {kNotSent}};

unsigned char nrpnBuffer[MIDI_CONTROLS_NRPN_LEN] = {0xB0, 0x63, 0x00, 0xB0, 0x62,
                                                    0x00, 0xB0, 0x06, 0x00};

// After a reset the module is back at its default effects, so the next
// request must go out even when it repeats the last value.
void forgetLastSent()
{
    for (auto &v : lastSent)
        v.store(kNotSent);
}

void sendMasterVolume(int output, int volume)
{
    unsigned char msg[sizeof GM_MASTER_VOL];
    std::memcpy(msg, GM_MASTER_VOL, sizeof msg);
    msg[6] = static_cast<unsigned char>(volume & 127);
    CINTERFACE_SendMidiEvent(output, msg, int(sizeof msg));
}

void buildNrpn(unsigned char *out, int nrpn, int value, int chan)
{
    // 7-bit fields: a byte of 80 or above would turn into a status byte and
    // the message would be cut into garbage.
    const unsigned char status = static_cast<unsigned char>(0xB0 | (chan & 15));
    out[0] = status;
    out[1] = 0x63;
    out[2] = static_cast<unsigned char>((nrpn >> 8) & 127);
    out[3] = status;
    out[4] = 0x62;
    out[5] = static_cast<unsigned char>(nrpn & 127);
    out[6] = status;
    out[7] = 0x06;
    out[8] = static_cast<unsigned char>(value & 127);
}

void sendEffect(EffectMessage which, const unsigned char *templ, int arg)
{
    const unsigned char value = static_cast<unsigned char>(arg & 0xFF);
    if (value > 127)
        return;
    if (lastSent[which].exchange(value) == value)
        return;
    unsigned char msg[11];
    std::memcpy(msg, templ, sizeof msg);
    msg[kGsValuePos] = value;
    msg[kGsChecksumPos] = MIDI_CONTROLS_RolandChecksum(msg + kGsAddressPos, 4);
    CINTERFACE_SendMidiEvent1(msg, int(sizeof msg));
}

void buildStopSound(unsigned char *out, int chan)
{
    const unsigned char status = static_cast<unsigned char>(0xB0 | (chan & 15));
    const unsigned char msg[MIDI_CONTROLS_STOP_SOUND_LEN] = {status, 0x7B, 0x00, status, 0x78,
                                                             0x00, status, 0x40, 0x00};
    std::memcpy(out, msg, sizeof msg);
}

void resetPitchBend(int output, int chan)
{
    const unsigned char msg[3] = {static_cast<unsigned char>(0xE0 | (chan & 15)), 0x00, 0x40};
    CINTERFACE_SendMidiEvent(output, msg, 3);
}

} // namespace

unsigned char MIDI_CONTROLS_RolandChecksum(const unsigned char *addressAndData, int len)
{
    unsigned sum = 0;
    for (int i = 0; i < len; ++i)
        sum += addressAndData[i];
    return static_cast<unsigned char>((128 - sum % 128) % 128);
}

extern "C" {

void MIDI_CONTROLS_PushGM_Reset(int port)
{
    if (port >= 1 && port <= 4) {
        forgetLastSent();
        CINTERFACE_SendMidiEvent(port, GM_RESET, int(sizeof GM_RESET));
    }
    rtLogMsg(3, MC_SOURCE, __LINE__, "MIDI GM-RESET MIDI port: %i", port - 1);
}

void MIDI_CONTROLS_PushGS_Reset(int port)
{
    if (port >= 1 && port <= 4) {
        forgetLastSent();
        CINTERFACE_SendMidiEvent(port, GS_RESET, int(sizeof GS_RESET));
    }
    rtLogMsg(3, MC_SOURCE, __LINE__, "MIDI GS-RESET MIDI port: %i", port - 1);
}

void MIDI_CONTROLS_Push_Reset(int port)
{
    MIDI_CONTROLS_PushGM_Reset(port);
    if (sendGSreset.load() != 0)
        MIDI_CONTROLS_PushGS_Reset(port);
}

void MIDI_CONTROLS_Config_GS_Reset(int on)
{
    sendGSreset.store(on);
}

void MIDI_CONTROLS_SendMasterSysExVolSequencer(int volume)
{
    sendMasterVolume(1, volume);
    sendMasterVolume(2, volume);
}

unsigned char *MIDI_CONTROLS_Set_NRPN(int nrpn, int value, int chan)
{
    buildNrpn(nrpnBuffer, nrpn, value, chan);
    return nrpnBuffer;
}

void MIDI_CONTROLS_SetMasterSAM1_vol(int volume)
{
    unsigned char msg[MIDI_CONTROLS_NRPN_LEN];
    buildNrpn(msg, 0x3707, volume, 0);
    CINTERFACE_QueueMidiEvent1(msg, MIDI_CONTROLS_NRPN_LEN);
    buildNrpn(msg, 0x3799, 0, 0);
    CINTERFACE_QueueMidiEvent1(msg, MIDI_CONTROLS_NRPN_LEN);
}

void MIDI_CONTROLS_SetClickRouting(int routing)
{
    unsigned char msg[MIDI_CONTROLS_NRPN_LEN];
    buildNrpn(msg, 0x371F, routing, 0);
    CINTERFACE_QueueMidiEvent1(msg, MIDI_CONTROLS_NRPN_LEN);
    buildNrpn(msg, 0x3799, 0, 0);
    CINTERFACE_QueueMidiEvent1(msg, MIDI_CONTROLS_NRPN_LEN);
    rtLogMsg(4, MC_SOURCE, __LINE__, "@@@@@@ SetRouting Melody %d", routing);
}

void sendMidiReverb(int type)
{
    sendEffect(ReverbType, REVERB_SYS_EX, type);
}

void sendMidiMasterReverb(int level)
{
    sendEffect(ReverbLevel, REVERB_MASTER_SYS_EX, level);
}

void sendMidiChorus(int type)
{
    sendEffect(ChorusType, CHORUS_SYS_EX, type);
}

void sendMidiMasterChorus(int level)
{
    sendEffect(ChorusLevel, CHORUS_MASTER_SYS_EX, level);
}

void MIDI_CONTROLS_NoteSentOnOutput1(const unsigned char *m, int len)
{
    if (!m || len < 6 || m[0] != 0xF0)
        return;
    // GM System On (or GM2 On), any device.
    if (len == 6 && m[1] == 0x7E && m[3] == 0x09 && (m[4] == 0x01 || m[4] == 0x03)
        && m[5] == 0xF7) {
        forgetLastSent();
        return;
    }
    // GS DT1, any device, checksum not looked at.
    if (len != 11 || m[1] != 0x41 || m[3] != 0x42 || m[4] != 0x12 || m[10] != 0xF7
        || m[5] != 0x40)
        return;
    if (m[6] == 0x00 && m[7] == 0x7F && m[8] == 0x00) {
        forgetLastSent();
        return;
    }
    if (m[6] != 0x01 || m[8] > 127)
        return;
    switch (m[7]) {
    case 0x30: lastSent[ReverbType].store(m[8]); break;
    case 0x33: lastSent[ReverbLevel].store(m[8]); break;
    case 0x38: lastSent[ChorusType].store(m[8]); break;
    case 0x3A: lastSent[ChorusLevel].store(m[8]); break;
    default: break;
    }
}

void MIDI_CONTROLS_StopSoundChan(int flatChannel)
{
    if (flatChannel < 0 || flatChannel > 63)
        return;
    unsigned char msg[MIDI_CONTROLS_STOP_SOUND_LEN];
    buildStopSound(msg, flatChannel);
    CINTERFACE_SendMidiEvent(flatChannel / 16 + 1, msg, MIDI_CONTROLS_STOP_SOUND_LEN);
}

void MIDI_CONTROLS_StopSoundChanAtPort(int port, int chan)
{
    const int flat = port * 16 + chan;
    if (flat < 0 || flat > 63)
        return;
    unsigned char msg[MIDI_CONTROLS_STOP_SOUND_LEN];
    buildStopSound(msg, chan);
    CINTERFACE_SendMidiEvent(flat / 16 + 1, msg, MIDI_CONTROLS_STOP_SOUND_LEN);
}

void MIDI_CONTROLS_StopSoundChanAtPort_Ex(int port, int chan, unsigned char *buffer, int *length)
{
    if (!buffer || !length)
        return;
    buildStopSound(buffer, chan);
    *length = MIDI_CONTROLS_STOP_SOUND_LEN;
}

void MIDI_CONTROLS_ResetPitchBand_1(int chan)
{
    resetPitchBend(1, chan);
}

void MIDI_CONTROLS_ResetPitchBand_2(int chan)
{
    resetPitchBend(2, chan);
}

} // extern "C"

void MIDI_CONTROLS_PushSysExVol(int volume, MidiOutput output)
{
    if (output.number() <= 3)
        sendMasterVolume(output.number(), volume);
}

void MIDI_CONTROLS_Send_NRPN(int nrpn, int value, MidiOutput output, int chan, int queued)
{
    // A buffer of its own per call: the engine and the GUI thread both send.
    unsigned char msg[MIDI_CONTROLS_NRPN_LEN];
    buildNrpn(msg, nrpn, value, chan);
    if (output == MidiOutput::of<3>()) {
        CINTERFACE_SendMidiEvent3(msg, 3);
        CINTERFACE_SendMidiEvent3(msg + 3, 3);
        CINTERFACE_SendMidiEvent3(msg + 6, 3);
    } else if (queued && output.hasVolumes()) {
        CINTERFACE_QueueMidiEvent(output.number(), msg, MIDI_CONTROLS_NRPN_LEN);
    } else {
        CINTERFACE_SendMidiEvent(output.number(), msg, MIDI_CONTROLS_NRPN_LEN);
    }
}

void MIDI_CONTROLS_SendInstrument(int chan, int program, int bank, MidiOutput output)
{
    const unsigned char msg[5] = {static_cast<unsigned char>(0xB0 | (chan & 15)), 0x00,
                                  static_cast<unsigned char>(bank & 127),
                                  static_cast<unsigned char>(0xC0 | (chan & 15)),
                                  static_cast<unsigned char>(program & 127)};
    CINTERFACE_SendMidiString(output, msg, 5);
}

std::string hexStr(const std::vector<unsigned char> *data, int count)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    if (!data || count <= 0)
        return out;
    const size_t n = std::min(size_t(count), data->size());
    out.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = (*data)[i];
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    return out;
}
