#include "Sequencer.h"

#include "MidiInterface.h"
#include "RealTime.h"
#include "SequencerDriver.h"
#include "ThreadPriority.h"
#include "cinterface.h"
#include "inserts.h"
#include "logmsg.h"
#include "midi_controls.h"
#include "play_ex.h"
#include "sequencer_click.h"
#include "sequencer_ex.h"
#include "sequencer_goto.h"
#include "sequencer_signals.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QtDebug>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>

#ifdef __linux__
#include <sys/prctl.h>
#endif

Sequencer *sequencer = nullptr;

namespace {
// The engine's two event buffers. Static, so that nothing is allocated for a
// song start, and a song fills only the pages it needs.
uint8_t g_eventBuffer[2][EVENT_BUFFER_SIZE];

constexpr int POSITION_STEP = 100;          // stream bytes between position reports
constexpr unsigned long JOIN_WARN_MS = 2000;
constexpr int SIGNAL_DRAIN_MS = 10;         // the GUI thread emits the engine's signals this often

// Sleeps until just after the next whole millisecond of the monotonic clock,
// so each pass reads a new stamp early in its millisecond: a fixed 1 ms sleep
// plus the pass itself would drift across the millisecond and make events up
// to a whole millisecond late. Returns how late it woke, in milliseconds.
double sleepToNextMillisecond()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    constexpr long kNsPerMs = 1000000L;
    constexpr long kAfterBoundaryNs = 20000L;
    timespec next = now;
    next.tv_nsec = (now.tv_nsec / kNsPerMs + 1) * kNsPerMs + kAfterBoundaryNs;
    if (next.tv_nsec >= 1000000000L) {
        next.tv_sec += 1;
        next.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
    }
    timespec woke{};
    clock_gettime(CLOCK_MONOTONIC, &woke);
    return double(woke.tv_sec - next.tv_sec) * 1e3 + double(woke.tv_nsec - next.tv_nsec) / 1e6;
}
} // namespace

// Signals raised on the real-time thread wait here, preallocated, until the
// GUI thread's timer emits them. Position and meter updates only keep their
// latest value: the window draws what is current, not every step.
class Sequencer::SignalRing
{
public:
    enum Kind : uint8_t {
        OrigBpm, DeltaBpm, JumpStart, JumpSwapSong, JumpDone, SongEnded, StopAllSongs,
        SeekDone, Bar, Beat, PrecountStarted, PrecountEnded, MidiClock, Pots, MidiMute,
        HarmonizerMute, MelodyMode
    };
    struct Event {
        Kind kind;
        int value;
    };
    static constexpr size_t kEvents = 1024;
    static constexpr int kMeters = SEQ_FLAT_CHANNELS * NUM_LAYERS;

    SignalRing() : m_events(kEvents) {}

    void push(Kind kind, int value = 0)
    {
        if (!m_events.push({kind, value}))
            m_lost.fetch_add(1, std::memory_order_relaxed);
    }
    void position(int value)
    {
        m_position.store(value, std::memory_order_relaxed);
        m_positionDirty.store(true, std::memory_order_release);
    }
    void meter(int flatChannel, int layer, int value)
    {
        if (flatChannel < 0 || flatChannel >= SEQ_FLAT_CHANNELS || layer < 0 || layer >= NUM_LAYERS)
            return;
        const int i = flatChannel * NUM_LAYERS + layer;
        m_meter[i].store(value, std::memory_order_relaxed);
        m_meterDirty[i / 64].fetch_or(uint64_t(1) << (i % 64), std::memory_order_release);
    }

    // GUI thread.
    void emitAll(Sequencer *q)
    {
        // A receiver that ends up here again (a stop on the end of a song)
        // leaves the rest to the drain in progress.
        std::unique_lock<std::mutex> lock(m_consumer, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        for (int w = 0; w < 2; ++w) {
            uint64_t bits = m_meterDirty[w].exchange(0, std::memory_order_acquire);
            for (int bit = 0; bits; ++bit, bits >>= 1) {
                if (!(bits & 1))
                    continue;
                const int i = w * 64 + bit;
                emit q->noteOnVolumeChanged(i / NUM_LAYERS, i % NUM_LAYERS,
                                            m_meter[i].load(std::memory_order_relaxed));
            }
        }
        if (m_positionDirty.exchange(false, std::memory_order_acquire))
            emit q->playPositionChanged(m_position.load(std::memory_order_relaxed));
        // Last: an end of song stays the last thing the window hears.
        while (Event *e = m_events.front()) {
            const Event ev = *e;
            m_events.pop();
            emitEvent(q, ev);
        }
        if (const int lost = m_lost.exchange(0))
            qWarning() << "Sequencer:" << lost << "signals of the engine thread lost";
    }

    static void emitEvent(Sequencer *q, const Event &e)
    {
        switch (e.kind) {
        case OrigBpm: emit q->origBpmChanged(e.value); break;
        case DeltaBpm: emit q->deltaBpmChanged(e.value); break;
        case JumpStart: emit q->jumpStart(); break;
        case JumpSwapSong: emit q->jumpSwapSong(); break;
        case JumpDone: emit q->jumpDone(); break;
        case SongEnded: emit q->songEnded(); break;
        case StopAllSongs: emit q->stopAllSongs(); break;
        case SeekDone: emit q->seekDone(); break;
        case Bar: emit q->barEvent(e.value); break;
        case Beat: emit q->beatEvent(e.value); break;
        case PrecountStarted: emit q->precountStarted(); break;
        case PrecountEnded: emit q->precountEnded(); break;
        case MidiClock: emit q->SendMidiClock(); break;
        case Pots: emit q->UpdatePots(e.value); break;
        case MidiMute: emit q->SendMidiMute(e.value); break;
        case HarmonizerMute: emit q->Harm_SetHarmonizerMute(e.value); break;
        case MelodyMode: emit q->melodyModeChanged(e.value); break;
        }
    }

private:
    RealTime::BoundedQueue<Event> m_events;
    std::mutex m_consumer;
    std::atomic<int> m_lost{0};
    std::atomic<int> m_position{0};
    std::atomic<bool> m_positionDirty{false};
    std::atomic<int> m_meter[kMeters] = {};
    std::atomic<uint64_t> m_meterDirty[2] = {};
};

// The engine's callbacks, turned into the Sequencer's signals: through the
// ring on the real-time thread, posted to the Sequencer's thread elsewhere.
class Sequencer::SignalSink : public SequencerSignalSink
{
public:
    explicit SignalSink(Sequencer *owner) : q(owner) {}

    void noteOnVolumeChanged(int flatChannel, int layer, int value) override
    {
        if (RealTime::isRealTimeThread())
            return q->m_ring->meter(flatChannel, layer, value);
        q->post([s = q, flatChannel, layer, value] {
            emit s->noteOnVolumeChanged(flatChannel, layer, value);
        });
    }
    void playPositionChanged(int position) override
    {
        const int last = q->m_lastPlayPosition.load(std::memory_order_relaxed);
        if (position >= last && position - last <= POSITION_STEP)
            return;
        q->m_lastPlayPosition.store(position, std::memory_order_relaxed);
        if (RealTime::isRealTimeThread())
            return q->m_ring->position(position);
        q->post([s = q, position] { emit s->playPositionChanged(position); });
    }
    void origBpmChanged(int bpm) override { q->deliver(SignalRing::OrigBpm, bpm); }
    void deltaBpmChanged(int delta) override { q->deliver(SignalRing::DeltaBpm, delta); }
    void jumpStart() override { q->deliver(SignalRing::JumpStart); }
    void jumpSwapSong() override { q->deliver(SignalRing::JumpSwapSong); }
    void jumpDone() override { q->deliver(SignalRing::JumpDone); }
    void songEnded() override { q->deliver(SignalRing::SongEnded); }
    void stopAllSongs() override { q->deliver(SignalRing::StopAllSongs); }
    void seekDone() override
    {
        q->deliver(SignalRing::SeekDone);
        // A seek loop arms its next jump back at every arrival.
        if (q->m_loopMode.load() == 2 && q->m_loopEndBar.load() >= 0)
            SEQUENCER_EX_SeekBar(q->m_loopStartBar.load(), q->m_loopEndBar.load());
    }
    void barEvent(int bar) override { q->deliver(SignalRing::Bar, bar); }
    void beatEvent(int beat) override { q->deliver(SignalRing::Beat, beat); }
    void precountStarted() override { q->deliver(SignalRing::PrecountStarted); }
    void precountEnded() override { q->deliver(SignalRing::PrecountEnded); }
    void updatePots(int value) override { q->deliver(SignalRing::Pots, value); }
    void sendMidiMute(int value) override { q->deliver(SignalRing::MidiMute, value); }
    void harmSetHarmonizerMute(int value) override
    {
        q->deliver(SignalRing::HarmonizerMute, value);
    }
    void melodyModeChanged(int mode) override { q->deliver(SignalRing::MelodyMode, mode); }

private:
    Sequencer *q;
};

Sequencer::Sequencer(Clock clock)
    : QThread(nullptr),
      m_clock(clock),
      m_driver(new SequencerDriver(clock == Clock::Simulated ? SequencerDriver::Clock::Simulated
                                                             : SequencerDriver::Clock::Monotonic)),
      m_ring(new SignalRing),
      m_sink(new SignalSink(this))
{
    m_signalTimer.setInterval(SIGNAL_DRAIN_MS);
    connect(&m_signalTimer, &QTimer::timeout, this, &Sequencer::drainRealTimeQueues);
    SEQUENCER_EX_SetRamBuffers(g_eventBuffer[0], g_eventBuffer[1]);
    m_driver->setClockListener([](void *self) { static_cast<Sequencer *>(self)->deliver(SignalRing::MidiClock); },
                               this);
    C_SIGNAL_SetSink(m_sink.get());
    sequencer = this;
}

Sequencer::~Sequencer()
{
    if (isRunning()) {
        m_stopRequest.store(true);
        if (!wait(QDeadlineTimer(JOIN_WARN_MS))) {
            qWarning() << "Sequencer thread still running after" << JOIN_WARN_MS << "ms, waiting";
            wait();
        }
    }
    if (C_SIGNAL_GetSink() == m_sink.get())
        C_SIGNAL_SetSink(nullptr);
    if (sequencer == this)
        sequencer = nullptr;
}

template <typename F>
void Sequencer::post(F &&emitter)
{
    QMetaObject::invokeMethod(this, std::forward<F>(emitter), Qt::QueuedConnection);
}

void Sequencer::deliver(int kind, int value)
{
    if (RealTime::isRealTimeThread()) {
        m_ring->push(SignalRing::Kind(kind), value);
        return;
    }
    post([this, kind, value] { SignalRing::emitEvent(this, {SignalRing::Kind(kind), value}); });
}

void Sequencer::drainRealTimeQueues()
{
    m_ring->emitAll(this);
    RealTime::drainLog();
}

// ---- lifecycle

void Sequencer::setMidiInterface(Sound::MidiInterface *midiInterface)
{
    m_midiInterface = midiInterface;
    m_driver->setMidiInterface(midiInterface);
}

void Sequencer::init()
{
    SequencerDriver::initEngine();
}

void Sequencer::sequencerStart()
{
    SEQUENCER_EX_SetClickBarSound(0, 0, 56, 64);
    SEQUENCER_EX_SetClickBeatSound(0, 0, 34, 64);
    if (m_clock != Clock::Monotonic)
        return;
    // Cleared here rather than in run(): a stop asked for before the thread
    // got going must not be lost.
    m_stopRequest.store(false);
    m_signalTimer.start();
    start(QThread::TimeCriticalPriority);
}

void Sequencer::stop()
{
    m_stopRequest.store(true);
}

void Sequencer::sequencerStop()
{
    QElapsedTimer timer;
    timer.start();
    m_stopRequest.store(true);
    wait();
    m_signalTimer.stop();
    drainRealTimeQueues();
    qDebug().noquote() << QStringLiteral("Sequencer Thread termination time is ") +
                              QString::number(timer.elapsed());
}

void Sequencer::run()
{
    qDebug() << "Sequencer thread started";
    raiseRealTimePriority();
    const RealTime::ThreadScope realTime;
    Sound::MidiInterface *const outputs = m_midiInterface;
    if (outputs)
        outputs->setRealTimeWriter(true);
    while (!m_stopRequest.load()) {
        runPass(getTimeStampMilliSec());
        RealTime::noteWakeLateness(sleepToNextMillisecond());
    }
    if (outputs) {
        outputs->setRealTimeWriter(false);
        outputs->flushDeferred();
    }
}

void Sequencer::raiseRealTimePriority()
{
    setPriority(QThread::TimeCriticalPriority);
    // Without it (most users, unless RealtimeKit grants it) the loop keeps
    // the normal policy; it still runs every millisecond, and the
    // synthesizer's latency covers how late it wakes.
    ThreadPriority::raiseThisThread(ThreadPriority::Role::Sequencer, ThreadPriority::kSequencerPriority);
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

void Sequencer::runPass(uint64_t ms)
{
    m_driver->pass(ms);
}

uint64_t Sequencer::now() const
{
    return m_driver->now();
}

void Sequencer::advance(uint64_t ms)
{
    m_driver->advance(ms);
}

// ---- play

bool Sequencer::startSong(s_StreamData *song, unsigned start)
{
    if (!song || !song->info || (song->info->format & SONG_FORMAT_BASE_MASK) != SONG_FORMAT_MIDI)
        return false;
    setLoop(0, m_loopStartBar.load(), -1);
    return PLAY_EX_PlayProcedure(start, song) != 0;
}

bool Sequencer::preloadMidiFile(s_StreamData *song)
{
    return startSong(song, 0);
}

bool Sequencer::playMidiFile(s_StreamData *song)
{
    return startSong(song, 1);
}

void Sequencer::requestStop()
{
    SEQUENCER_EX_ActionStop();
    post([this] { emit playPositionChanged(0); });
}

void Sequencer::ActionStop()
{
    SEQUENCER_EX_ActionStop();
}

void Sequencer::setPause(bool on)
{
    if (on)
        SEQUENCER_EX_ActionPause();
    else
        SEQUENCER_EX_ActionResume();
}

int Sequencer::seekBar(int bar)
{
    const int result = SEQUENCER_EX_SeekBar(bar, 0);
    // A refused seek never completes in the engine; whoever waits for the
    // seek must still hear that it is over.
    if (!result)
        post([this] { emit seekDone(); });
    return result;
}

void Sequencer::rewindOnEOT(int on)
{
    SEQUENCER_EX_RewindOnEOT(on);
}

// ---- getters

int Sequencer::GetCurrentBPM() const { return SEQUENCER_EX_GetCurrentBPM(); }
int Sequencer::GetCurrentTick() const { return int(SEQUENCER_EX_GetCurrentTick()); }
double Sequencer::currentTickMs() const { return double(m_driver->lastTickMs()); }
double Sequencer::currentBpmExact() const
{
    uint64_t baseUs = 0, nowUs = 0;
    uint32_t usPerQuarter = 0;
    if (!SEQUENCER_EX_GetTempoSegment(&baseUs, &usPerQuarter, &nowUs) || usPerQuarter == 0)
        return 0;
    return 60000000.0 / usPerQuarter;
}
int Sequencer::IsValidTick() const { return SEQUENCER_EX_IsValidTick(); }
int Sequencer::getFastRun() const { return SEQUENCER_EX_GetFastRun(); }
int Sequencer::GetTickFirstNote() const { return SEQUENCER_EX_GetTickFirstNote(); }
MidiStream *Sequencer::GetMidiStreamInPlay() const { return SEQUENCER_EX_GetMidiStreamInPlay(); }
MidiInfos *Sequencer::GetMidiInfoInPlay() const { return SEQUENCER_EX_GetMidiInfoInPlay(); }
Db *Sequencer::GetDbInPlay() const { return SEQUENCER_EX_GetDbInPlay(); }
int Sequencer::MidiPortInPlay() const { return SEQUENCER_EX_MidiPortInPlay(); }

// ---- tempo, key and volumes

void Sequencer::SetDeltaBpmCurrent(int delta) { SEQUENCER_EX_SetDeltaBpmCurrent(delta); }
void Sequencer::SetDeltaTransposeCurrent(int delta) { SEQUENCER_EX_SetDeltaTransposeCurrent(delta); }
void Sequencer::SetMasterKFactor(int value) { VOLUME_setMasterKFactor(value & 127); }

void Sequencer::setMidiChVolumesMap(MIDI_SINGLE_CHAN_VOLS which, int channel, int value, int port)
{
    if (port == 0 || port == 1)
        VOLUMES_setMidiChVolumesMap(which, value, channel, ownOutput(port));
}

void Sequencer::setMidiPartialVolume(int value)
{
    const int port = SEQUENCER_EX_MidiPortInPlay();
    if (!m_midiInterface || (port != 0 && port != 1))
        return;
    const MidiOutput output = ownOutput(port);
    m_midiInterface->SetMidiVolumeCorrection(output, value);
    MIDI_CONTROLS_PushSysExVol(m_midiInterface->GetLastGMVolumeSent(output), output);
}

void Sequencer::SetDrumsVolume(int value) { SEQUENCER_EX_SetSlidersValue(0, value); }
void Sequencer::SetBassVolume(int value) { SEQUENCER_EX_SetSlidersValue(1, value); }
void Sequencer::SetGuitarsVolume(int value) { SEQUENCER_EX_SetSlidersValue(2, value); }
void Sequencer::SetKeyboardsVolume(int value) { SEQUENCER_EX_SetSlidersValue(3, value); }
void Sequencer::SetOrchestraVolume(int value) { SEQUENCER_EX_SetSlidersValue(4, value); }
void Sequencer::SetWindsVolume(int value) { SEQUENCER_EX_SetSlidersValue(5, value); }
void Sequencer::UpdateSeqMixSlider(int force) { VOLUMES_UpdateSeqMixSlider(force); }

// ---- sound and melody

void Sequencer::stopSound() { SEQUENCER_EX_StopSound(); }
void Sequencer::soundHeldNotes() { SEQUENCER_EX_SoundHeldNotes(); }
void Sequencer::stopSoundChan(int flatChannel) { SEQUENCER_EX_StopSoundChan(flatChannel); }
void Sequencer::stopSoundChanAtPort(int port, int channel) { SEQUENCER_EX_StopSoundChanAtPort(port, channel); }

void Sequencer::SetRealTimeProgramChange(int flatChannel, int program)
{
    EX_SEQUENCER_SetRealTimeProgramChange(flatChannel, program);
}

void Sequencer::SetMelodyChannel(int channel) { SEQUENCER_EX_SetMelodyChannel(channel); }
void Sequencer::ChangeMelodyMode(int mode) { SEQUENCER_EX_ChangeMelodyMode(mode); }
void Sequencer::setFastRun(int on) { SEQUENCER_EX_SetFastRun(on); }
void Sequencer::SetEnableAutoSetBpm(int on) { SEQUENCER_EX_SetEnableAutoSetBpm(on); }
void Sequencer::setAutoBpmAdjustRate(int rate) { SEQUENCER_EX_SetAutoBpmAdjustRate(rate); }
void Sequencer::setCrossFadeCurve(int curve) { SEQUENCER_EX_SetCrossFadeCurve(curve); }

void Sequencer::setGlobalTranspose(int semitones)
{
    // Held from the silence to the new key: a note started in between would
    // get its note-off in the new key and sound on.
    const int previous = SEQUENCER_EX_SetEnableIntrAdvance(0);
    SEQUENCER_EX_StopSound();
    SEQUENCER_EX_SetGlobalTranspose(semitones);
    SEQUENCER_EX_SetEnableIntrAdvance(previous);
}

void Sequencer::SendHarmAllNoteOff() { SEQUENCER_EX_SendHarmAllNoteOff(); }
void Sequencer::SetHarmonyMode(int mode) { SEQUENCER_EX_SetHarmonyMode(mode); }
void Sequencer::SetHarmonyTrack(int channel) { SEQUENCER_EX_SetHarmonyTrack(channel); }
void Sequencer::SetHarmonizerSeqControl(int on) { SEQUENCER_EX_SetHarmonizerSeqControl(on); }

// ---- insertion effects

bool Sequencer::InsertExist() const { return INSERTS_IsEnabled() != 0; }
void Sequencer::InsertsSetEnabled(int on) { INSERTS_SetEnabled(on); }
int Sequencer::InsertsDeactivate(int channel, int port) { return INSERTS_Deactivate(channel, port); }
int Sequencer::InsertsDeactivateOnly(int channel, int port) { return INSERTS_DeactivateOnly(channel, port); }

int Sequencer::ActivateSpecialSound(const GS_INSTRUMENT_NAME *sound, int channel, int port)
{
    const int previous = SEQUENCER_EX_SetEnableIntrAdvance(0);
    const int result = INSERTS_ActivateSpecialSound(sound, channel, port);
    SEQUENCER_EX_SetEnableIntrAdvance(previous);
    return result;
}

void Sequencer::SetSuperSound(int on) { INSERTS_SetAutoAssign(on); }
bool Sequencer::GetSuperSound() const { return INSERTS_GetAutoAssign(SEQUENCER_EX_GetDbInPlay()) != 0; }

void Sequencer::LoadSuperSound(bool on)
{
    const int previous = SEQUENCER_EX_SetEnableIntrAdvance(0);
    Db *db = SEQUENCER_EX_GetDbInPlay();
    const int port = SEQUENCER_EX_MidiPortInPlay();
    if (on) {
        INSERTS_SetAutoAssign(1);
        INSERTS_LoadAllFromDb(db, port, nullptr, nullptr);
    } else {
        INSERTS_RemoveAllSuperSounds(db, port);
        INSERTS_SetAutoAssign(0);
    }
    SEQUENCER_EX_SetEnableIntrAdvance(previous);
}

// ---- loops and jumps

void Sequencer::setLoop(int mode, int startBar, int endBar)
{
    m_loopMode.store(mode);
    m_loopStartBar.store(startBar);
    m_loopEndBar.store(endBar);
    post([this] { emit midiLoopModeChanged(); });
}

bool Sequencer::startLoop_jumpMode(int startBar, int endBar)
{
    if (!SEQUENCER_EX_ActionJumpImmediateSameSong(startBar, endBar))
        return false;
    setLoop(1, startBar, endBar);
    return true;
}

bool Sequencer::startLoop_seekMode(int startBar, int endBar)
{
    if (!SEQUENCER_EX_ActionJumpClear() || !SEQUENCER_EX_SeekBar(startBar, endBar))
        return false;
    setLoop(2, startBar, endBar);
    return true;
}

bool Sequencer::stopLoop()
{
    const int mode = m_loopMode.load();
    if (mode == 2)
        SEQUENCER_EX_ClearSeekFlags();
    else if (mode == 1 && !SEQUENCER_EX_ActionJumpClear())
        return false;
    else if (mode == 0)
        return false;
    setLoop(0, m_loopStartBar.load(), -1);
    return true;
}

void Sequencer::clearLoopInfo() { setLoop(0, m_loopStartBar.load(), -1); }

void Sequencer::reloadLoopJump()
{
    if (m_loopMode.load() == 1 && m_loopEndBar.load() >= 0)
        SEQUENCER_EX_ActionJumpImmediateSameSong(m_loopStartBar.load(), m_loopEndBar.load());
}

int Sequencer::jumpImmediateSameSong(int bar) { return SEQUENCER_EX_ActionJumpImmediateSameSong(bar, 0); }
int Sequencer::jumpImmediateSameSongPost(int bar, int atBar)
{
    return SEQUENCER_EX_ActionJumpImmediateSameSong(bar, atBar);
}
int Sequencer::jumpImmediateDifferentSong(s_StreamData *song, int bar)
{
    return SEQUENCER_EX_ActionJumpImmediateDifferentSong(song, bar, 0);
}
int Sequencer::jumpImmediateDifferentSongPost(s_StreamData *song, int bar, int atBar)
{
    return SEQUENCER_EX_ActionJumpImmediateDifferentSong(song, bar, atBar);
}
int Sequencer::jumpFadingDifferentSong(s_StreamData *song, int bar)
{
    return SEQUENCER_EX_ActionJumpFadingDifferentSong(song, bar, 0);
}
int Sequencer::jumpFadingDifferentSongPost(s_StreamData *song, int bar, int atBar)
{
    return SEQUENCER_EX_ActionJumpFadingDifferentSong(song, bar, atBar);
}
int Sequencer::jumpFadingDifferentSongToMidi(s_StreamData *song, int bar)
{
    return SEQUENCER_EX_ActionJumpMP3Midi(song, bar);
}
int Sequencer::jumpFadingOutMidiInPlay(int bar) { return SEQUENCER_EX_ActionJumpFadeOutMidiInPlay(bar, 0); }
int Sequencer::fadeOutMidiAndStop() { return SEQUENCER_EX_ActionJumpFadeOutMidiInPlay(0, 1); }
int Sequencer::fadeInStartFromBar(int bar) { return SEQUENCER_EX_ActionFadeInStartFromBar(bar); }

// ---- click and melody mirror

void Sequencer::EnableClick(int on) { SEQUENCER_EX_EnableClick(on); }
void Sequencer::SetMelodyMirror(int on) { SEQUENCER_EX_SetMelodyMirror(on); }

void Sequencer::SetClickBarSound(int program, int bank, int note, int velocity)
{
    SEQUENCER_EX_SetClickBarSound(program, bank, note, velocity);
}

void Sequencer::SetClickBeatSound(int program, int bank, int note, int velocity)
{
    SEQUENCER_EX_SetClickBeatSound(program, bank, note, velocity);
}

void Sequencer::SetClickTimeMod(int mode) { SEQUENCER_EX_SetClickTimeMod(mode); }

void Sequencer::onClickSourceChanged(bool enabled, bool melodyMirror)
{
    SEQUENCER_EX_EnableClick(enabled ? 1 : 0);
    SEQUENCER_EX_SetMelodyMirror(melodyMirror ? 1 : 0);
}

// ---- stored settings

void Sequencer::setWizardMode(bool on) { SEQUENCER_EX_SetWizardMode(on ? 1 : 0); }
bool Sequencer::getWizardMode() const { return (SEQUENCER_EX_GetStFlag() & ST_WIZARD_MODE) != 0; }
void Sequencer::setShortMode(bool on) { SEQUENCER_EX_SetShortMode(on ? 1 : 0); }
bool Sequencer::getShortMode() const { return (SEQUENCER_EX_GetStFlag() & ST_SHORT_MODE) != 0; }

void Sequencer::setMidiClock(bool on) { m_driver->setMidiClock(on); }
bool Sequencer::getMidiClock() const { return m_driver->midiClock(); }

// ---- the advance switch

bool Sequencer::getEnableIntrAdvance() const
{
    return m_driver->getEnableIntrAdvance() != 0;
}

bool Sequencer::setEnableIntrAdvance(bool on)
{
    return SEQUENCER_EX_SetEnableIntrAdvance(on ? 1 : 0) != 0;
}

void Sequencer::onSendMidiStringStarting()
{
    m_prevIntrAdvance = SEQUENCER_EX_SetEnableIntrAdvance(0);
}

void Sequencer::onSendMidiStringFinished()
{
    SEQUENCER_EX_SetEnableIntrAdvance(m_prevIntrAdvance);
}
