// The Qt face of the sequencer engine: the thread that drains the MIDI send
// queues and runs the engine tick once a millisecond, the facade through which
// the application reaches the engine, and the engine's callbacks as signals.
//
// The sequencer thread never emits a signal: what the tick raises waits in a
// preallocated ring that a timer of the Sequencer's own thread (the GUI
// thread) empties every 10 ms, keeping only the latest play position and
// meter values. Signals that an engine operation raises on another thread
// (stopAllSongs and the meter resets of a stop, seekDone of a rewind, and
// everything on the simulated clock) are posted to the Sequencer's thread and
// emitted from its event loop once the operation has returned, so no
// receiver ever runs inside a facade call.
#pragma once

#include "MIDI_const.h"
#include "StreamData.h"
#include "volumes.h"

#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>

namespace Sound {
class MidiInterface;
}
class SequencerDriver;

class Sequencer : public QThread
{
    Q_OBJECT
public:
    // Monotonic: sequencerStart runs the loop on its own thread against the
    // monotonic clock. Simulated: no thread; the owner moves a simulated clock
    // with advance(), each millisecond one pass of the loop (tests and the
    // measuring tools), and the engine's own waits advance it too.
    enum class Clock { Monotonic, Simulated };

    explicit Sequencer(Clock clock = Clock::Monotonic);
    // Stops and joins the thread first: closing the program never aborts.
    ~Sequencer() override;

    void setMidiInterface(Sound::MidiInterface *midiInterface);
    void init();
    // Click sounds, then the thread at time-critical priority (Monotonic only).
    void sequencerStart();
    void stop();
    // Stops the loop and waits for the thread; logs how long that took.
    void sequencerStop();
    bool CommandQueueIsEmpty() const { return true; }
    bool CommandWaitingInQueue() const { return false; }

    // One pass of the loop at ms (SequencerDriver::pass).
    void runPass(uint64_t ms);
    // Simulated clock: its time, and ms passes one millisecond apart.
    uint64_t now() const;
    void advance(uint64_t ms);

    // ---- play

    // False for a missing handle or song information, a song that is not
    // MIDI, or when the play procedure fails; the song starts paused.
    bool preloadMidiFile(s_StreamData *song);
    // The same, but the song starts playing.
    bool playMidiFile(s_StreamData *song);
    bool preloadMtxFile(s_StreamData *) { return false; }
    void ActionStop();
    // Loop mode while a loop end bar is set, else 0 (a new song clears it).
    int getLoopMode() const { return m_loopEndBar >= 0 ? m_loopMode.load() : 0; }
    // seekDone follows when the seek is done, also for a seek the engine
    // refuses or one to the bar in play.
    int seekBar(int bar);
    void rewindOnEOT(int on);

    // ---- getters

    int GetCurrentBPM() const;
    int GetCurrentTick() const;
    // The clock's ms (monotonic, as RealTime's) of the pass that reached the
    // current tick: a loop held up by a busy machine leaves it behind.
    double currentTickMs() const;
    // The tempo in play as the engine keeps it, exact (the user's offset
    // included); 0 when nothing plays.
    double currentBpmExact() const;
    int IsValidTick() const;
    int getFastRun() const;
    int GetTickFirstNote() const;
    MidiStream *GetMidiStreamInPlay() const;
    MidiInfos *GetMidiInfoInPlay() const;
    Db *GetDbInPlay() const;
    int MidiPortInPlay() const;

    // ---- tempo, key and volumes

    void SetDeltaBpmCurrent(int delta);
    void SetDeltaTransposeCurrent(int delta);
    void SetMasterKFactor(int value);
    void setMidiChVolumesMap(MIDI_SINGLE_CHAN_VOLS which, int channel, int value, int port);
    // Volume correction of the output of the song in play, applied at once.
    void setMidiPartialVolume(int value);

    // ---- sound and melody

    void stopSoundChan(int flatChannel);
    void stopSoundChanAtPort(int port, int channel);
    void SetRealTimeProgramChange(int flatChannel, int program);
    void SetMelodyChannel(int channel);
    void ChangeMelodyMode(int mode);
    void setFastRun(int on);
    void SetEnableAutoSetBpm(int on);
    void setAutoBpmAdjustRate(int rate);
    void setCrossFadeCurve(int curve);
    void setGlobalTranspose(int semitones);

    // ---- insertion effects

    bool InsertExist() const;
    void InsertsSetEnabled(int on);
    int InsertsDeactivate(int channel, int port);
    int InsertsDeactivateOnly(int channel, int port);
    int ActivateSpecialSound(const GS_INSTRUMENT_NAME *sound, int channel, int port);
    void SetSuperSound(int on);
    // Whether the song in play has channels with an insertion effect.
    bool GetSuperSound() const;
    void LoadSuperSound(bool on);

    // ---- loops and jumps (1 accepted, 0 refused)

    // Jump loop: bars start..end through goto jumps; seek loop: through
    // seeks re-armed at every arrival.
    bool startLoop_jumpMode(int startBar, int endBar);
    bool startLoop_seekMode(int startBar, int endBar);
    bool stopLoop();
    void clearLoopInfo();
    void reloadLoopJump();
    int getLoopStartBar() const { return m_loopStartBar; }
    int getLoopEndBar() const { return m_loopEndBar; }
    int jumpImmediateSameSong(int bar);
    int jumpImmediateSameSongPost(int bar, int atBar);
    int jumpImmediateDifferentSong(s_StreamData *song, int bar);
    int jumpImmediateDifferentSongPost(s_StreamData *song, int bar, int atBar);
    int jumpFadingDifferentSong(s_StreamData *song, int bar);
    int jumpFadingDifferentSongPost(s_StreamData *song, int bar, int atBar);
    int jumpFadingDifferentSongToMidi(s_StreamData *song, int bar);
    int jumpFadingOutMidiInPlay(int bar);
    int fadeOutMidiAndStop();
    int fadeInStartFromBar(int bar);
    void dbgSequencerTick() {}

    // ---- click and melody mirror

    void EnableClick(int on);
    void SetMelodyMirror(int on);
    void SetClickBarSound(int program, int bank, int note, int velocity);
    void SetClickBeatSound(int program, int bank, int note, int velocity);
    void SetClickTimeMod(int mode);

    // ---- stored settings

    void setMidiPrecount(int bars) { m_midiPrecount = bars; }
    int getMidiPrecount() const { return m_midiPrecount; }
    // MIDI clock on the output of the song in play (SequencerDriver), each
    // clock also as SendMidiClock.
    void setMidiClock(bool on);
    bool getMidiClock() const;
    void setWizardMode(bool on);
    bool getWizardMode() const;
    void setShortMode(bool on);
    bool getShortMode() const;

    // ---- the advance switch, under the sequencer mutex; setters return the
    // previous value

    bool getEnableIntrAdvance() const;
    bool setEnableIntrAdvance(bool on);
    bool getEnableIntrAdvanceWrapper() const { return getEnableIntrAdvance(); }
    bool setEnableIntrAdvanceWrapper(bool on) { return setEnableIntrAdvance(on); }

public slots:
    void SetDrumsVolume(int value);
    void SetBassVolume(int value);
    void SetGuitarsVolume(int value);
    void SetKeyboardsVolume(int value);
    void SetOrchestraVolume(int value);
    void SetWindsVolume(int value);
    void stopSound();
    // Sounds again what the song holds where a channel came back (unmute,
    // solo's end).
    void soundHeldNotes();
    // Stops and empties both slots; stopAllSongs, then playPositionChanged(0).
    void requestStop();
    void setPause(bool on);
    void SendHarmAllNoteOff();
    void SetHarmonyMode(int mode);
    void SetHarmonyTrack(int channel);
    void SetHarmonizerSeqControl(int on);
    void UpdateSeqMixSlider(int force);
    void onSendMidiStringStarting();
    void onSendMidiStringFinished();
    void onClickSourceChanged(bool enabled, bool melodyMirror);

signals:
    void endOfJump();
    void noteOnVolumeChanged(int flatChannel, int layer, int value);
    // The effective tempo of the song in play (song, user and automatic).
    void origBpmChanged(int bpm);
    void deltaBpmChanged(int delta);
    // Read position in stream bytes, thinned to backward moves and steps of
    // more than 100 bytes.
    void playPositionChanged(int position);
    void jumpStart();
    void jumpSwapSong();
    void jumpDone();
    void songEnded();
    void stopAllSongs();
    void seekDone();
    void textEvent(int a, int b);
    void barEvent(int bar);
    void beatEvent(int beat);
    void midiLoopModeChanged();
    void precountStarted();
    void precountEnded();
    void SendMidiClock();
    void UpdatePots(int value);
    void SendMidiMute(int value);
    void Harm_SetHarmonizerMute(int value);
    void melodyModeChanged(int mode);

protected:
    void run() override;

private:
    class SignalRing;
    class SignalSink;

    bool startSong(s_StreamData *song, unsigned start);
    // Emits from the event loop of the Sequencer's own thread after the
    // current call has returned.
    template <typename F>
    void post(F &&emitter);
    // A signal of the ring's kinds: into the ring on the real-time thread,
    // else posted.
    void deliver(int kind, int value = 0);
    // Emits what the real-time thread left in the signal ring and the log ring.
    void drainRealTimeQueues();
    void raiseRealTimePriority();

    const Clock m_clock;
    std::unique_ptr<SequencerDriver> m_driver;
    std::unique_ptr<SignalRing> m_ring;
    std::unique_ptr<SignalSink> m_sink;
    QTimer m_signalTimer; // after the ring: stops before the ring goes
    Sound::MidiInterface *m_midiInterface = nullptr;
    void setLoop(int mode, int startBar, int endBar);
    // Read by the engine thread when a seek arrives.
    std::atomic<int> m_loopEndBar{-1};
    std::atomic<int> m_loopStartBar{-1};
    std::atomic<int> m_loopMode{0};
    int m_midiPrecount = 2;
    std::atomic<bool> m_stopRequest{false};
    std::atomic<int> m_lastPlayPosition{0};
    int m_prevIntrAdvance = 1;
};

// The one instance, null while none exists.
extern Sequencer *sequencer;
