#include "SoundEngine.h"

#include "AudioDevices.h"
#include "AudioInterface.h"
#include "MidiBassOutWrapper.h"
#include "MidiEdit.h"
#include "MidiInterface.h"
#include "RealTime.h"
#include "RtMidiOutWrapper.h"
#include "SoftSynth.h"
#include "Sequencer.h"
#include "SongObjects.h"
#include "logmsg.h"
#include "sequencer_ex.h"
#include "volumes.h"

#include <QDebug>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
constexpr int kPositionMs = 100;

bool bpmInRange(int d)
{
    return d >= SoundEngine::kMinDeltaBpm && d <= SoundEngine::kMaxDeltaBpm;
}

bool keyInRange(int k)
{
    return k >= -SoundEngine::kMaxDeltaKey && k <= SoundEngine::kMaxDeltaKey;
}

// The tick where a bar starts (the last bar's for one past it). The list
// has no mark of the first bar's start: the song's.
uint barStartTick(const QList<BAR_BEAT_POS> &bars, int bar)
{
    if (bar <= 0)
        return 0;
    for (const BAR_BEAT_POS &b : bars)
        if (b.bar == bar)
            return b.tick;
    return bars.last().tick;
}

// The song's own tempo in a bar, as its tempo table lists it.
int songBpmAt(const MidiInfos &mi, int bar)
{
    int bpm = 120;
    for (int i = 0; i < mi.tempoCount && i < MAX_TEMPO_ENTRIES && mi.tempoTable[i].bar <= bar; ++i)
        bpm = mi.tempoTable[i].bpm ? mi.tempoTable[i].bpm : bpm;
    return bpm;
}
} // namespace

SoundEngine::SoundEngine(QObject *parent) : SoundEngine(Devices{}, parent) {}

SoundEngine::SoundEngine(Devices devices, QObject *parent) : QObject(parent)
{
    if (!currSong)
        Song::initSong();

    m_synth = devices.synthSink ? std::make_unique<MidiBassOutWrapper>(std::move(devices.synthSink))
                                : std::make_unique<MidiBassOutWrapper>();
    m_soundBank = devices.soundBank.isEmpty() ? getSoundfontFilePath() : devices.soundBank;
    m_synth->setSoundFont(m_soundBank.toUtf8().toStdString());
    m_hardware = std::make_unique<RtMidiOutWrapper>(RtMidi::UNSPECIFIED, "RtMidi Output Client");

    m_midi = std::make_unique<Sound::MidiInterface>();
    initMidiInterfaceSoundCard(0);
    m_midi->config_GS_RESET(1);

    m_sequencer = std::make_unique<Sequencer>(devices.simulatedClock ? Sequencer::Clock::Simulated
                                                                     : Sequencer::Clock::Monotonic);
    m_sequencer->setMidiInterface(m_midi.get());
    m_sequencer->init();
    m_sequencer->sequencerStart();
    m_midiEdit = std::make_unique<MidiEdit>();

    m_positionTimer.setInterval(kPositionMs);
    m_positionTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_positionTimer, &QTimer::timeout, this, &SoundEngine::refreshInfoTime);

    m_audio = devices.audioSink ? std::make_unique<Sound::AudioInterface>(std::move(devices.audioSink))
                                : std::make_unique<Sound::AudioInterface>();
    connect(m_audio.get(), &Sound::AudioInterface::endedMp3, this, &SoundEngine::songEnded);

    Sequencer *s = m_sequencer.get();
    connect(s, &Sequencer::barEvent, this, &SoundEngine::on_barEvent);
    connect(s, &Sequencer::beatEvent, this, &SoundEngine::on_beatEvent);
    connect(s, &Sequencer::seekDone, this, &SoundEngine::on_seekDone);
    connect(s, &Sequencer::noteOnVolumeChanged, this, &SoundEngine::noteOnChan);
    connect(s, &Sequencer::origBpmChanged, this, &SoundEngine::bpmChangedRuntime);
    connect(s, &Sequencer::songEnded, this, &SoundEngine::songEnded);
    connect(currSong, &Song::loadSongChange, this, &SoundEngine::onCurrentSongChanged);

    m_outputWatch.setObjectName(QStringLiteral("outputWatch"));
    // The devices are listed in the background: the first list is there
    // before the settings connect what was chosen.
    AudioDevices::known();
    m_outputWatch.setInterval(250);
    connect(&m_outputWatch, &QTimer::timeout, this, &SoundEngine::watchOutputs);
    m_outputWatch.start();
}

void SoundEngine::watchOutputs()
{
    // Between songs and while a song is paused (its notes cut) the
    // synthesizer's queue fits what the machine needs: one grown for a
    // drop-out comes back within seconds of calm, not at the next song's
    // start only (every command waits behind it). Not while notes sound: a
    // new stream would be heard as a gap.
    SoftSynth *synth = m_synth->expander()->synth();
    if (const PlayingState state = getPlayingState();
        m_midiOutIndex == kSynthIndex && m_portOpen
        && (state == ePsIdle || state == ePsReady || state == ePsPaused))
        synth->fitQueue();
    const bool lost = synth->outputLost() || m_audio->outputLost();
    const bool standingIn = !lost && (synth->sink()->standingIn() || m_audio->outputStandingIn());
    if (standingIn != m_outputStandingIn) {
        m_outputStandingIn = standingIn;
        emit soundOutputStandingIn(standingIn ? m_synthDeviceName : QString());
    }
    if (lost == m_outputLost)
        return;
    m_outputLost = lost;
    qWarning() << (lost ? "SoundEngine: the sound output is lost" : "SoundEngine: the sound output is back");
    emit soundOutputLost(lost);
    // The song waits, paused, for the sound to come back, and goes on then,
    // unless the user has stopped or played it meanwhile.
    if (lost && getPlayingState() == ePsPlaying) {
        m_pausedForOutput = setPlayingState(ePsPaused) == ePsPaused;
    } else if (!lost && std::exchange(m_pausedForOutput, false) && getPlayingState() == ePsPaused) {
        setPlayingState(ePsPlaying);
    }
}

SoundEngine::~SoundEngine()
{
    // Quitting ends the song as a stop does: its edits are saved first.
    if (m_state == ePsPlaying || m_state == ePsPaused)
        emit trackStopped();
    m_positionTimer.stop();
    m_audio->stopAudio();
    m_sequencer->ActionStop();
    // The thread writes to the outputs until it has stopped.
    m_sequencer.reset();
    m_midi->closeMidiBaseOutPorts();
    m_midi.reset();
    m_audio.reset();
}

const SoftSynth *SoundEngine::synthesizer() const
{
    return m_synth->expander()->synth();
}

QString SoundEngine::getSoundfontFilePath()
{
    return QStringLiteral("%1/%2").arg(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                                      QStringLiteral("Basic.sfc"));
}

bool SoundEngine::isMidi() const
{
    return currSong->baseType() == SONG_FORMAT_MIDI;
}

// ---- transport

SoundEngine::PlayingState SoundEngine::getPlayingState() const
{
    QMutexLocker lock(&m_stateMutex);
    return m_state;
}

SoundEngine::PlayingState SoundEngine::setPlayingState(PlayingState request)
{
    QMutexLocker lock(&m_stateMutex);
    if (m_changing) {
        qWarning() << "SoundEngine: request" << request << "from inside a state change refused";
        return m_state;
    }
    m_changing = true;
    const PlayingState old = m_state;
    PlayingState next = old;
    switch (old) {
    case ePsIdle:
        if (request == ePsReady)
            next = ePsReady;
        break;
    case ePsPlaying:
    case ePsPaused:
        m_seeking = false;
        if (request == ePsPlaying && old == ePsPaused) {
            m_positionTimer.start();
            if (isMidi()) {
                seekPendingBar();
                m_sequencer->setPause(false);
            } else {
                m_audio->resumeAudio();
                restartLatency();
            }
            next = ePsPlaying;
        } else if (request == ePsPaused && old == ePsPlaying) {
            m_positionTimer.stop();
            if (isMidi())
                m_sequencer->setPause(true);
            else
                m_audio->pauseAudio();
            next = ePsPaused;
        } else if (request == ePsReady) {
            stopToStart(old == ePsPaused);
            next = ePsReady;
        } else if (request == ePsTrackStopped && old == ePsPlaying) {
            emit trackStopped();
        } else if (request == ePsStopUnload) {
            // At the end of a song the next one stays for the playlist.
            stopAndUnload(old == ePsPaused);
            next = ePsIdle;
        }
        break;
    case ePsReady:
        if (request == ePsPlaying && currSong->isLoaded()) {
            if (startOfPlay())
                next = ePsPlaying;
        } else if (request == ePsReady || request == ePsStopUnload) {
            stopAndUnload(true);
            next = ePsIdle;
        }
        break;
    default:
        break;
    }
    if (next != old) {
        m_state = next;
        emit playStateChanged(next);
    }
    m_changing = false;
    return m_state;
}

bool SoundEngine::startOfPlay()
{
    m_bar = m_beat = 0;
    m_heard = 0;
    m_seeking = false;
    Db &db = currSong->db();
    // A stored offset the transport cannot show is not played either.
    if (!bpmInRange(db.tempoDelta))
        db.tempoDelta = 0;
    if (!keyInRange(db.transpose))
        db.transpose = 0;
    const int d = db.tempoDelta;
    const int k = db.transpose;
    restartLatency();
    if (isMidi()) {
        // Before the first note: a synthesizer whose audio thread came later
        // than its queue bridges gets a deeper one now, while nothing sounds.
        if (m_midiOutIndex == kSynthIndex && m_portOpen)
            m_synth->expander()->synth()->fitQueue();
        // The offsets go in while the song still waits, so its first notes
        // already sound at them.
        m_sequencer->SetDeltaBpmCurrent(d);
        m_sequencer->SetDeltaTransposeCurrent(k);
        seekPendingBar();
        m_sequencer->setPause(false);
        m_midiEdit->InitEditSettingData();
    } else if (currSong->baseType() == SONG_FORMAT_MP3) {
        m_audio->changeBpm(float(d));
        m_audio->changeKey(float(k));
        const long startAt = std::exchange(m_startAtMs, 0);
        const bool loaded = m_audio->loadFile(currSong->path());
        if (loaded && startAt > 0)
            m_audio->jumpToSec(startAt);
        if (!loaded || !m_audio->playAudio(currSong->slot())) {
            qWarning() << "SoundEngine: the audio song does not play:" << currSong->path();
            m_audio->releaseFile();
            return false;
        }
        restartLatency();
    } else {
        // Video and the like are never played as sound.
        qWarning() << "SoundEngine: no player for the song format" << Qt::hex << currSong->format();
        return false;
    }
    emit songBpmChanged(baseBpm(), d);
    emit songKeyChanged(k);
    m_positionTimer.start();
    emit refreshInstr();
    return true;
}

void SoundEngine::returnToStart()
{
    m_heard = 0;
    m_startAtMs = 0;
    m_pendingBar = -1;
    emit mSecOfPlaying(0, 0);
    emit barBeatOfPlaying(0, 0);
}

void SoundEngine::stopToStart(bool fromPause)
{
    m_positionTimer.stop();
    if (isMidi()) {
        // Paused first: nothing may sound between the stop and the seek.
        if (!fromPause)
            m_sequencer->setPause(true);
        m_sequencer->seekBar(0);
    } else {
        m_audio->stopAudio();
    }
    emit trackStopped();
    returnToStart();
}

void SoundEngine::stopAndUnload(bool alsoNext)
{
    m_positionTimer.stop();
    m_pendingBar = -1;
    m_startAtMs = 0;
    emit trackStopped();
    // The engine stops before the song's records are cleared.
    m_sequencer->requestStop();
    m_audio->stopAudio();
    m_audio->releaseFile();
    currSong->unloadSongFile();
    if (alsoNext)
        nextSong->unloadSongFile();
}

void SoundEngine::songEnded()
{
    QMutexLocker lock(&m_stateMutex);
    if (m_changing || (m_state != ePsPlaying && m_state != ePsPaused) || !currSong->isLoaded())
        return;
    // The report is queued: a MIDI song started since would still be running.
    if (isMidi() && SEQUENCER_EX_IsRunning())
        return;
    setPlayingState(ePsStopUnload);
}

void SoundEngine::onCurrentSongChanged(Song::LoadSongState state)
{
    QMutexLocker lock(&m_stateMutex);
    if (m_changing || m_state == ePsIdle)
        return;
    // The current song was loaded or unloaded around the transport: the
    // transport follows, so the new song is not left waiting silent behind
    // a "playing" state and the old one does not play on.
    const bool loaded = state == Song::eLsLoaded;
    if (!(loaded && m_state != ePsReady) && state != Song::eLsUnloaded)
        return;
    m_positionTimer.stop();
    m_seeking = false;
    m_pendingBar = -1;
    m_startAtMs = 0;
    m_audio->stopAudio();
    m_audio->releaseFile();
    if (!loaded || !isMidi())
        m_sequencer->requestStop();
    const PlayingState next = loaded ? ePsReady : ePsIdle;
    if (loaded)
        returnToStart();
    m_state = next;
    emit playStateChanged(next);
}

void SoundEngine::jumpTo(long pos)
{
    m_heard = 0;
    if (isMidi()) {
        m_bar = int(pos);
        const PlayingState state = getPlayingState();
        if (state == ePsReady || state == ePsPaused) {
            // Stopped, the engine takes no seek, and paused it would take
            // only the first: Play goes there, to the last place asked for.
            m_pendingBar = std::max(0, int(pos));
        } else {
            // The engine answers every seek with seekDone, a refused one too.
            m_seeking = true;
            m_sequencer->seekBar(int(pos));
        }
        reportStill();
    } else {
        // Stopped, the stream is closed: Play starts the song there.
        if (getPlayingState() == ePsReady)
            m_startAtMs = std::max(0L, pos);
        else
            m_audio->jumpToSec(pos);
        restartLatency();
        reportStill();
    }
}

// Before Play: the bar sought while paused or stopped.
void SoundEngine::seekPendingBar()
{
    const int bar = std::exchange(m_pendingBar, -1);
    if (bar < 0)
        return;
    m_seeking = true;
    m_bar = bar;
    m_sequencer->seekBar(bar);
}

// Paused or stopped, no report comes until Play: a seek made meanwhile is
// shown where it landed at once.
void SoundEngine::reportStill()
{
    const PlayingState state = getPlayingState();
    if ((state != ePsPaused && state != ePsReady) || !currSong->isLoaded())
        return;
    if (isMidi()) {
        // Where the bar sought starts, timed as the reports after Play time
        // it: at the tempo in play there.
        const QList<BAR_BEAT_POS> &bars = currSong->barsBeats();
        if (bars.isEmpty())
            return;
        const int bar = std::clamp(m_bar, 0, int(bars.last().bar));
        const uint tick = barStartTick(bars, bar);
        const int bpm = std::max(1, songBpmAt(currSong->midiInfos(), bar) + currSong->db().tempoDelta);
        m_heard = tick;
        m_bar = bar;
        m_beat = 0;
        const double tpq = std::max(1u, currSong->ticksPerQuarter());
        emit mSecOfPlaying(uint(double(tick) * 60000.0 / (tpq * bpm)), tick);
        emit barBeatOfPlaying(uint(bar), 0);
    } else if (currSong->baseType() == SONG_FORMAT_MP3) {
        emit mSecOfPlaying(state == ePsReady ? uint(m_startAtMs) : audioHeard(), 0);
    }
}

void SoundEngine::restartLatency()
{
    m_ticksSeen.clear();
    m_latencyMs = 0;
}

// The position heard: what the output plays now. It never goes back by
// itself (the output settling after the start): only a seek or a stop moves
// it back.
void SoundEngine::refreshInfoTime()
{
    if (m_seeking || !currSong->isLoaded() || getPlayingState() != ePsPlaying)
        return;
    if (isMidi()) {
        const int tick = m_sequencer->GetCurrentTick();
        const int bpm = m_sequencer->GetCurrentBPM();
        if (bpm < 1 || tick < 0)
            return;
        m_heard = std::max(m_heard, uint(std::max(0, midiHeardTick(tick, bpm))));
        // At the tempo the engine plays, not its whole BPM: a song of 97 BPM
        // has 618556 us a quarter, and 96.99997 BPM counted as 96 would run
        // the time shown 1 % ahead.
        const double exact = m_sequencer->currentBpmExact();
        const double tpq = std::max(1u, currSong->ticksPerQuarter());
        emit mSecOfPlaying(exact > 0 ? uint(double(m_heard) * 60000.0 / (tpq * exact))
                                     : convertTicksTimeToMilliSeconds(m_heard, currSong->ticksPerQuarter(), unsigned(bpm)),
                           m_heard);
    } else if (currSong->baseType() == SONG_FORMAT_MP3 || currSong->baseType() == SONG_FORMAT_AUDIO) {
        emit mSecOfPlaying(audioHeard(), 0);
    }
}

// The tick a MIDI song is heard at now, the engine at `tick`. The synthesizer
// tells which message time it plays; the tick the engine had at that time
// comes from the last reports, each taken with the moment the engine reached
// it, so that neither a tempo change nor a loop held up by a busy machine
// moves it.
int SoundEngine::midiHeardTick(int tick, int bpm)
{
    const double now = RealTime::nowMs();
    const double reached = std::min(now, m_sequencer->currentTickMs());
    double heardAt = reached;
    if (m_midiOutIndex == kSynthIndex) {
        const double heard = synthesizer()->heardMessageMs(now);
        if (std::isfinite(heard))
            heardAt = std::min(heard, reached);
    }
    m_latencyMs = now - heardAt;
    const double ticksPerMs = (m_sequencer->currentBpmExact() > 0 ? m_sequencer->currentBpmExact() : bpm)
                              * currSong->ticksPerQuarter() / 60000.0;
    // A gap in the reports (a pause, a seek) starts them again.
    if (!m_ticksSeen.isEmpty() && (tick < m_ticksSeen.last().second || reached - m_ticksSeen.last().first > 250))
        m_ticksSeen.clear();
    if (m_ticksSeen.isEmpty() || reached > m_ticksSeen.last().first)
        m_ticksSeen.append({reached, tick});
    if (m_ticksSeen.size() > 12)
        m_ticksSeen.removeFirst();
    for (qsizetype i = m_ticksSeen.size() - 1; i > 0; --i) {
        const QPair<double, int> &a = m_ticksSeen[i - 1], &b = m_ticksSeen[i];
        if (a.first <= heardAt && heardAt <= b.first)
            return a.second + int(std::lround((heardAt - a.first) * (b.second - a.second) / (b.first - a.first)));
    }
    return tick - int(std::lround((reached - heardAt) * ticksPerMs));
}

// The audio path hands the device its frames ahead of time, in bursts; what
// the device plays now is behind them by what it holds, and stood still while
// it ran dry.
uint SoundEngine::audioHeard()
{
    const long heard = m_audio->heardMs();
    const double speed = 1 + m_audio->getDeltaBpm() / 100.0;
    m_latencyMs = std::max(0.0, (m_audio->getmSec() - heard) / speed);
    m_heard = std::max(m_heard, uint(std::max(0L, heard)));
    return m_heard;
}

void SoundEngine::on_barEvent(int bar)
{
    // A bar or beat the engine passed before a stop or a pause can come in
    // after it on a busy machine: the place shown then stands.
    if (getPlayingState() != ePsPlaying)
        return;
    m_bar = bar;
    m_beat = 0;
    if (!m_seeking)
        emit barBeatOfPlaying(uint(bar), 0);
}

void SoundEngine::on_beatEvent(int beat)
{
    if (getPlayingState() != ePsPlaying)
        return;
    m_beat = beat;
    if (!m_seeking)
        emit barBeatOfPlaying(uint(m_bar), uint(beat));
}

void SoundEngine::on_seekDone()
{
    qDebug() << "on_seekDone";
    m_seeking = false;
    refreshInfoTime();
}

void SoundEngine::noteOnChan(int flatChannel, int, int value)
{
    emit isPlayingTrack(flatChannel + 1, value);
}

void SoundEngine::bpmChangedRuntime(int bpm)
{
    // The engine reports the tempo it plays; the views get the song's own.
    const int d = getDeltaBpm();
    emit songBpmChanged(currSong->baseType() == SONG_FORMAT_MP3 ? currSong->info().bpm : bpm - d, d);
}

// ---- tempo, key and volumes

int SoundEngine::baseBpm() const
{
    if (currSong->baseType() != SONG_FORMAT_MIDI)
        return currSong->info().bpm;
    if (m_state == ePsPlaying || m_state == ePsPaused) {
        const int bpm = m_sequencer->GetCurrentBPM() - currSong->db().tempoDelta;
        if (bpm > 0)
            return bpm;
    }
    // Before the engine has read the song's first tempo event.
    const MidiInfos &mi = currSong->midiInfos();
    return mi.tempoCount > 0 && mi.tempoTable[0].bpm ? mi.tempoTable[0].bpm : 120;
}

bool SoundEngine::applyBpm(int delta)
{
    if (!bpmInRange(delta) || !currSong->isLoaded())
        return false;
    const int base = baseBpm();
    if (isMidi())
        m_sequencer->SetDeltaBpmCurrent(delta);
    else
        m_audio->changeBpm(float(delta));
    currSong->db().tempoDelta = int16_t(delta);
    emit songBpmChanged(base, delta);
    return true;
}

bool SoundEngine::applyKey(int delta)
{
    if (!keyInRange(delta) || !currSong->isLoaded())
        return false;
    if (isMidi())
        m_sequencer->SetDeltaTransposeCurrent(delta);
    else
        m_audio->changeKey(float(delta));
    currSong->db().transpose = int16_t(delta);
    emit songKeyChanged(delta);
    return true;
}

void SoundEngine::changeBpm(int delta)
{
    if (applyBpm(delta) && isMidi())
        m_midiEdit->DeltaBpmChanged(delta);
}

void SoundEngine::changeKey(int delta)
{
    if (applyKey(delta) && isMidi())
        m_midiEdit->DeltaKeyChanged(delta);
}

void SoundEngine::changeBpmWithOutSaving(int delta)
{
    applyBpm(delta);
}

void SoundEngine::changeKeyWithOutSaving(int delta)
{
    applyKey(delta);
}

// The song's own offsets: every change sets them, and a start plays them
// (an MP3's audio path takes them only then).
int SoundEngine::getDeltaBpm() const
{
    const int d = currSong->isLoaded() ? currSong->db().tempoDelta : 0;
    return bpmInRange(d) ? d : 0;
}

int SoundEngine::getDeltaKey() const
{
    const int k = currSong->isLoaded() ? currSong->db().transpose : 0;
    return keyInRange(k) ? k : 0;
}

void SoundEngine::setSlidersVol(eSliders group, int volume)
{
    using Setter = void (Sequencer::*)(int);
    static const Setter setters[] = {&Sequencer::SetDrumsVolume,     &Sequencer::SetBassVolume,
                                     &Sequencer::SetGuitarsVolume,   &Sequencer::SetKeyboardsVolume,
                                     &Sequencer::SetOrchestraVolume, &Sequencer::SetWindsVolume};
    if (group >= eSlDrums && group <= eSlWinds)
        (m_sequencer.get()->*setters[group])(volume);
}

void SoundEngine::changeMusicVolume(unsigned volume)
{
    setMidiGeneralVolume(0, int(volume) * 8);
    m_audio->setVolume(int(volume));
}

void SoundEngine::setMelodyMute(int mode)
{
    m_sequencer->ChangeMelodyMode(mode);
}

void SoundEngine::setMelodyMuteTrack(int channel)
{
    m_sequencer->SetMelodyChannel(channel);
}

void SoundEngine::setFastRun(bool on)
{
    m_sequencer->setFastRun(on ? 1 : 0);
}

void SoundEngine::setTrackVolume(int channel, int volume)
{
    for (uint16_t layer = 0; layer < NUM_LAYERS; ++layer)
        m_midiEdit->TrackVolumeChanged(volume, uint16_t(channel - 1), layer);
}

void SoundEngine::setTrackMuteSolo(int channel, int state)
{
    for (uint16_t layer = 0; layer < NUM_LAYERS; ++layer)
        m_midiEdit->TrackMuteSoloChanged(uint8_t(state), uint16_t(channel - 1), layer);
}

void SoundEngine::changeInstrWithStruct(const GS_INSTRUMENT_NAME *row, int channel)
{
    for (uint16_t layer = 0; row && layer < NUM_LAYERS; ++layer)
        m_midiEdit->TrackInstrumentChanged(*row, uint16_t(channel - 1), layer);
}

void SoundEngine::changeDrumWithStruct(const GS_DRUM_KIT_NAME *kit, int channel)
{
    if (kit)
        m_midiEdit->TrackDrumKitChanged(*kit, uint16_t(channel - 1), 0);
}

// ---- outputs and devices

QMap<QString, int> SoundEngine::listSoundCards() const
{
    QMap<QString, int> cards;
    if (m_expanderEnabled)
        cards.insert(QStringLiteral("Timbra MIDI Module"), kSynthIndex);
    const std::vector<std::string> ports = RtMidiOutWrapper::availableDevices();
    for (size_t i = 0; i < ports.size(); ++i)
        cards.insert(QString::fromStdString(ports[i]), int(i));
    return cards;
}

QMap<int, QString> SoundEngine::listAudioDevices()
{
    return m_audio->availableOutputDevices();
}

int SoundEngine::getDefaultOutputAudioDevice()
{
    return m_audio->getDefaultOutputDevice();
}

bool SoundEngine::initMidiInterfaceSoundCard(int index)
{
    if (index == kSynthIndex && !m_expanderEnabled)
        return false;
    if (index == m_midiOutIndex)
        return true;
    // Hardware ports share one client: no new binding.
    if (m_midiOutIndex >= 0 && index != kSynthIndex && m_midiOutIndex != kSynthIndex) {
        m_midiOutIndex = index;
        return true;
    }
    IMidiOutput *device = index == kSynthIndex ? static_cast<IMidiOutput *>(m_synth.get()) : m_hardware.get();
    bool named = false;
    int rows = 0;
    MidiEdit::setTrkGSNames(index == kSynthIndex ? SOUNDSET_SOFT_SYNTH : SOUNDSET_EXTERNAL_PORT, named, rows);
    m_midi->closeMidiBaseOutPorts();
    m_midi->initMidiOutPortsSound({device});
    m_midiOutIndex = index;
    return true;
}

bool SoundEngine::connectToSoundCardByIdx(int index)
{
    if (!m_midi)
        return false;
    if (m_portOpen)
        closeMidiPort();
    if (!initMidiInterfaceSoundCard(index)) {
        m_portOpen = false;
        return false;
    }
    m_chosenMidiOut = index;
    m_failedAudioDevice.clear();
    m_failedSoundBank.clear();
    if (index >= 0 && m_midi->openMidiBaseOutPorts(index, -1, -1, -1, -1, -1)) {
        qInfo() << "Connected to port " << index;
        m_portOpen = true;
        return true;
    }
    qWarning() << "Unable to open one midi out port";
    m_portOpen = false;
    // The output layer lets go of an output that failed: bound again on the
    // next try. It stays chosen, so that the synthesizer opens on the next
    // audio device.
    m_midiOutIndex = -1;
    const int error = index == kSynthIndex ? m_synth->lastError() : 0;
    if (error == SOFTSYNTH_ERROR_DEVICE || error == SOFTSYNTH_ERROR_DRIVER)
        m_failedAudioDevice = m_synthDeviceName.isEmpty()
                                  ? listAudioDevices().value(getDefaultOutputAudioDevice(), QStringLiteral("?"))
                                  : m_synthDeviceName;
    // The bank that cannot be opened (1) or read (a file of another kind).
    if (error == 1 || error == SOFTSYNTH_ERROR_FILEFORM)
        m_failedSoundBank = m_soundBank;
    return false;
}

bool SoundEngine::connectToSoundCardByIdx(int index1, int index2)
{
    if (index1 < 0)
        return false;
    if (m_portOpen)
        closeMidiPort();
    if (!m_midi->openMidiBaseOutPorts(index1, index2, -1, -1, -1, -1))
        return false;
    qInfo() << "Connected to port " << index1 << " & " << index2;
    m_portOpen = true;
    return true;
}

void SoundEngine::closeMidiPort()
{
    m_midi->closeMidiBaseOutPorts();
    m_portOpen = false;
}

bool SoundEngine::connectAudioDeviceById(int id, const QString &name)
{
    m_synth->setOutputAudioDevice(id, name);
    m_synthDeviceName = name;
    // Also a synthesizer that could not open before: it may open here.
    if (m_chosenMidiOut == kSynthIndex && m_expanderEnabled) {
        closeMidiPort();
        connectToSoundCardByIdx(kSynthIndex);
    }
    return m_audio->connectDeviceById(id, name.toStdString());
}

void SoundEngine::enableVirtualExpander(bool on)
{
    m_expanderEnabled = on;
    if (on || m_midiOutIndex != kSynthIndex)
        return;
    closeMidiPort();
    m_midi->initMidiOutPortsSound({});
    m_midiOutIndex = -1;
}
