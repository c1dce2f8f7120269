// Callbacks through which the C engine reports to the application. The
// Sequencer turns them into its Qt signals; a test driver records them. Each
// C_SIGNAL_* does nothing while no sink is installed.
#pragma once

class SequencerSignalSink
{
public:
    virtual void noteOnVolumeChanged(int flatChannel, int layer, int value) {}
    virtual void origBpmChanged(int bpm) {}
    virtual void deltaBpmChanged(int delta) {}
    // Raw read position of every read; thinning is the receiver's business.
    virtual void playPositionChanged(int position) {}
    virtual void jumpStart() {}
    virtual void jumpSwapSong() {}
    virtual void jumpDone() {}
    virtual void songEnded() {}
    virtual void stopAllSongs() {}
    virtual void seekDone() {}
    virtual void barEvent(int bar) {}
    virtual void beatEvent(int beat) {}
    virtual void precountStarted() {}
    virtual void precountEnded() {}
    virtual void updatePots(int value) {}
    virtual void sendMidiMute(int value) {}
    virtual void harmSetHarmonizerMute(int value) {}
    virtual void melodyModeChanged(int mode) {}
    virtual ~SequencerSignalSink() = default;
};

// The sink stays owned by the caller; null removes it.
void C_SIGNAL_SetSink(SequencerSignalSink *sink);
SequencerSignalSink *C_SIGNAL_GetSink();

extern "C" {
void C_SIGNAL_NoteOnVolumeChanged(int flatChannel, int layer, int value);
void C_SIGNAL_OrigBpmChanged(int bpm);
void C_SIGNAL_DeltaBpmChanged(int delta);
void C_SIGNAL_PlayPositionChanged(int position);
void C_SIGNAL_JumpStart(void);
void C_SIGNAL_JumpSwapSong(void);
void C_SIGNAL_JumpDone(void);
void C_SIGNAL_SongEnded(void);
void C_SIGNAL_StopAllSongs(void);
void C_SIGNAL_SeekDone(void);
void C_SIGNAL_BarEvent(int bar);
void C_SIGNAL_BeatEvent(int beat);
void C_SIGNAL_precountStarted(void);
void C_SIGNAL_precountEnded(void);
void C_SIGNAL_UpdatePots(int value);
void C_SIGNAL_SendMidiMuteWrapper(int value);
void C_SIGNAL_Harm_SetHarmonizerMute(int value);
void C_SIGNAL_MelodyModeChangedWrapper(int mode);
// The advance switch of the host (0 without one).
int C_SIGNAL_GetEnableIntrAdvance(void);
// Sets the engine's slot in play.
void C_SIGNAL_SetNowIsPlaying(int slot);
}
