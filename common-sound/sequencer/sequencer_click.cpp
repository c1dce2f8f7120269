#include "sequencer_click.h"

#include "cinterface.h"
#include "logmsg.h"
#include "midi_controls.h"
#include "RealTime.h"
#include "sequencer_ex_p.h"
#include "sequencer_signals.h"

#include <atomic>

namespace {
const char *const LOG_SRC = "../common-sound/sequencer/sequencer_click";

std::atomic<int> g_clickEnabled{1};
std::atomic<int> ClickTimeMod{0};
std::atomic<uint8_t> g_barNote{56}, g_barVelocity{64};
std::atomic<uint8_t> g_beatNote{34}, g_beatVelocity{64};
uint8_t g_barSound[5] = {0xB9, 0x00, 0x00, 0xC9, 0x00};
uint8_t g_beatSound[5] = {0xB9, 0x00, 0x00, 0xC9, 0x00};
const uint8_t CLEAR_FX_CLICK[6] = {0xB9, 0x5B, 0x00, 0xB9, 0x5D, 0x00};
constexpr int MELODY_CLICK_CHANNEL = 3;

bool clicksAllowed()
{
    return !stHas(ST_CROSSFADE) && g_clickEnabled.load(std::memory_order_relaxed) != 0;
}

void sendNote(uint8_t note, uint8_t velocity)
{
    const unsigned char msg[3] = {uint8_t(0x90 | CLICK_CHANNEL), uint8_t(note & 127),
                                  uint8_t(velocity & 127)};
    CINTERFACE_SendMidiEvent4(msg, 3);
}

void setSound(uint8_t *sound, int program, int bank)
{
    sound[2] = uint8_t(bank & 127);
    sound[4] = uint8_t(program & 127);
}
} // namespace

std::atomic<int> precountBar{1};

void SEQUENCER_EX_InitPrecountBar(void)
{
    C_SIGNAL_precountStarted();
    Rt.countInBar = 0;
}

void SEQUENCER_EX_SetPrecountBar(int bars)
{
    if (bars > 0)
        precountBar.store(bars - 1, std::memory_order_relaxed);
}

int SEQUENCER_EX_GetPrecountBar(void)
{
    return precountBar.load(std::memory_order_relaxed) + 1;
}

void SEQUENCER_EX_SetClickBarSound(int program, int bank, int note, int velocity)
{
    setSound(g_barSound, program, bank);
    CINTERFACE_SendMidiEvent4(g_barSound, 5);
    CINTERFACE_SendMidiEvent4(CLEAR_FX_CLICK, 6);
    g_barNote.store(uint8_t(note & 127));
    g_barVelocity.store(uint8_t(velocity & 127));
}

void SEQUENCER_EX_SetClickBeatSound(int program, int bank, int note, int velocity)
{
    setSound(g_beatSound, program, bank);
    CINTERFACE_SendMidiEvent4(g_beatSound, 5);
    g_beatNote.store(uint8_t(note & 127));
    g_beatVelocity.store(uint8_t(velocity & 127));
}

void SEQUENCER_CLICK_ClickBarBeatRestore(void)
{
    CINTERFACE_SendMidiEvent4(g_barSound, 5);
    CINTERFACE_SendMidiEvent4(CLEAR_FX_CLICK, 6);
    CINTERFACE_SendMidiEvent4(g_beatSound, 5);
}

void SEQUENCER_EX_ClickClrFX(int channel)
{
    if (channel < 0 || channel > 15) {
        rtLogMsg(2, LOG_SRC, __LINE__, "[SEQUENCER_EX_ClickClrFX] channel %d ignored", channel);
        return;
    }
    const uint8_t status = uint8_t(0xB0 | channel);
    const unsigned char msg[6] = {status, 0x5B, 0x00, status, 0x5D, 0x00};
    CINTERFACE_SendMidiEvent4(msg, 6);
}

void SEQUENCER_EX_SetClickTimeMod(int mode)
{
    ClickTimeMod.store(mode, std::memory_order_relaxed);
}

void SEQUENCER_EX_EnableClick(int on)
{
    g_clickEnabled.store(on, std::memory_order_relaxed);
    rtLogMsg(4, LOG_SRC, __LINE__, "@@@@@@ Click enable %d", on);
}

void SEQUENCER_CLICK_ClickBar(void)
{
    if (clicksAllowed())
        sendNote(g_barNote.load(), g_barVelocity.load());
}

void SEQUENCER_CLICK_ClickBeat(int accent)
{
    if (!clicksAllowed())
        return;
    int velocity = g_beatVelocity.load();
    if (accent && ClickTimeMod.load(std::memory_order_relaxed) == 2) {
        velocity += CLICK_ACCENT;
        if (velocity > 127)
            velocity = 127;
    }
    sendNote(g_beatNote.load(), uint8_t(velocity));
}

void SEQUENCER_CLICK_ClickHalfBeat(void)
{
    if (clicksAllowed() && ClickTimeMod.load(std::memory_order_relaxed) == 2)
        sendNote(g_beatNote.load(), g_beatVelocity.load());
}

void SEQUENCER_CLICK_ClickBeatOf(int beat, int beatsPerBar)
{
    switch (ClickTimeMod.load(std::memory_order_relaxed)) {
    case 1:
        if (beat % 2 == 0 || beatsPerBar % 2 != 0)
            SEQUENCER_CLICK_ClickBeat(0);
        break;
    case 2:
        SEQUENCER_CLICK_ClickBeat(beatsPerBar % 2 == 0 && beat == beatsPerBar / 2);
        break;
    default:
        SEQUENCER_CLICK_ClickBeat(0);
        break;
    }
}

int SEQUENCER_CLICK_isValidClick(void)
{
    if (!irqMidiStream || !irqMfi || irqMfi->fastRun)
        return 0;
    const uint32_t busy = SF_CHASE | SF_CHASE_HIGH | SF_REWIND | SF_FORWARD_SEEK;
    return (sflags(irqMidiStream) & busy) ? 0 : 1;
}

void SEQUENCER_EX_SetMelodyMirror(int on)
{
    melody_mirror.store(on, std::memory_order_relaxed);
    const int channel = melodyChannel.load(std::memory_order_relaxed) & 15;
    const int port = SEQUENCER_EX_MidiPortInPlay();
    if (port == 0 || port == 1)
        SEQUENCER_EX_StopSoundChanAtPort(port, channel);
    SEQUENCER_EX_StopSoundChanAtPort(3, channel);
    rtLogMsg(3, LOG_SRC, __LINE__, "@@@@@@ Melody Mirror %d", on);
}

int SEQUENCER_EX_GetMelodyMirror(void)
{
    return melody_mirror.load(std::memory_order_relaxed);
}

void SEQUENCER_EX_MelodyClick_ResetChan(void)
{
    unsigned char msg[MIDI_CONTROLS_STOP_SOUND_LEN];
    int len = 0;
    MIDI_CONTROLS_StopSoundChanAtPort_Ex(3, MELODY_CLICK_CHANNEL, msg, &len);
    CINTERFACE_QueueMidiEvent4(msg, len);
    const uint8_t status = uint8_t(0xB0 | MELODY_CLICK_CHANNEL);
    const unsigned char clear[6] = {status, 0x5B, 0x00, status, 0x5D, 0x00};
    CINTERFACE_QueueMidiEvent4(clear, 6);
    if (!SEQUENCER_EX_InsideTick())
        rtLogMsg(4, LOG_SRC, __LINE__, "@@@@@@ Melody Clear Efx on Port4");
}
