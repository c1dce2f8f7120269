#include "sequencer_signals.h"

#include "sequencer_ex_p.h"

#include <atomic>

namespace {
std::atomic<SequencerSignalSink *> g_sink{nullptr};

inline SequencerSignalSink *sink()
{
    return g_sink.load(std::memory_order_acquire);
}
} // namespace

void C_SIGNAL_SetSink(SequencerSignalSink *s)
{
    g_sink.store(s, std::memory_order_release);
}

SequencerSignalSink *C_SIGNAL_GetSink()
{
    return sink();
}

#define VELMAR_EMIT(call)                                                      \
    do {                                                                       \
        if (SequencerSignalSink *s = sink())                                   \
            s->call;                                                           \
    } while (0)

void C_SIGNAL_NoteOnVolumeChanged(int flatChannel, int layer, int value)
{
    VELMAR_EMIT(noteOnVolumeChanged(flatChannel, layer, value));
}
void C_SIGNAL_OrigBpmChanged(int bpm) { VELMAR_EMIT(origBpmChanged(bpm)); }
void C_SIGNAL_DeltaBpmChanged(int delta) { VELMAR_EMIT(deltaBpmChanged(delta)); }
void C_SIGNAL_PlayPositionChanged(int position) { VELMAR_EMIT(playPositionChanged(position)); }
void C_SIGNAL_JumpStart(void) { VELMAR_EMIT(jumpStart()); }
void C_SIGNAL_JumpSwapSong(void) { VELMAR_EMIT(jumpSwapSong()); }
void C_SIGNAL_JumpDone(void) { VELMAR_EMIT(jumpDone()); }
void C_SIGNAL_SongEnded(void) { VELMAR_EMIT(songEnded()); }
void C_SIGNAL_StopAllSongs(void) { VELMAR_EMIT(stopAllSongs()); }
void C_SIGNAL_SeekDone(void) { VELMAR_EMIT(seekDone()); }
void C_SIGNAL_BarEvent(int bar) { VELMAR_EMIT(barEvent(bar)); }
void C_SIGNAL_BeatEvent(int beat) { VELMAR_EMIT(beatEvent(beat)); }
void C_SIGNAL_precountStarted(void) { VELMAR_EMIT(precountStarted()); }
void C_SIGNAL_precountEnded(void) { VELMAR_EMIT(precountEnded()); }
void C_SIGNAL_UpdatePots(int value) { VELMAR_EMIT(updatePots(value)); }
void C_SIGNAL_SendMidiMuteWrapper(int value) { VELMAR_EMIT(sendMidiMute(value)); }
void C_SIGNAL_Harm_SetHarmonizerMute(int value) { VELMAR_EMIT(harmSetHarmonizerMute(value)); }
void C_SIGNAL_MelodyModeChangedWrapper(int mode) { VELMAR_EMIT(melodyModeChanged(mode)); }

int C_SIGNAL_GetEnableIntrAdvance(void)
{
    SequencerHost *h = SEQUENCER_EX_GetHost();
    return h ? h->getEnableIntrAdvance() : 0;
}

void C_SIGNAL_SetNowIsPlaying(int slot)
{
    nowIsPlaying.store(uint16_t(slot ? 1 : 0), std::memory_order_relaxed);
}
