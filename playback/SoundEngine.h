// The one object through which the user interface plays songs. It owns the
// outputs (the software synthesizer at MIDI output index 1000 and the
// hardware MIDI port client), the output layer, the Sequencer thread and the
// audio path, and runs the transport as a small state machine over the
// current song (currSong): a MIDI song plays through the Sequencer, an MP3
// song through Sound::AudioInterface.
//
// States: 0 idle, 1 playing, 2 paused, 3 ready. Requests: 1 play or resume,
// 2 pause, 3 stop to the start (from ready: stop and unload both songs),
// 8 report the track stopped, 9 stop and unload; 6 and 7 do nothing. Every
// stop emits trackStopped, so the edit page saves. The usual road: 9, then 3,
// then currSong->loadSongFile, then 1; the end of the song requests 9.
//
// Threads: GUI thread only. The Sequencer's signals reach the engine on the
// GUI thread. Signals are emitted while the state lock is held; a request
// made from inside a receiver is refused (the state is returned unchanged)
// instead of deadlocking.
#pragma once

#include "AudioSink.h"
#include "Song.h"
#include "SynthAudioSink.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QTimer>
#include <memory>

class MidiBassOutWrapper;
class MidiEdit;
struct GS_DRUM_KIT_NAME;
struct GS_INSTRUMENT_NAME;
class RtMidiOutWrapper;
class Sequencer;
class SoftSynth;
namespace Sound {
class AudioInterface;
class MidiInterface;
} // namespace Sound

class SoundEngine : public QObject
{
    Q_OBJECT
public:
    enum PlayingState {
        ePsIdle = 0,
        ePsPlaying = 1,
        ePsPaused = 2,
        ePsReady = 3,
        ePsNextSong = 5, // defined, never entered
        ePsTakeNext = 6,
        ePsDropNext = 7,
        ePsTrackStopped = 8,
        ePsStopUnload = 9,
    };
    Q_ENUM(PlayingState)

    enum eSliders { eSlDrums = 0, eSlBass, eSlGuitars, eSlKeyboards, eSlOrchestra, eSlWinds };
    Q_ENUM(eSliders)

    static constexpr int kSynthIndex = 1000;
    static constexpr int kMinDeltaBpm = -50;
    static constexpr int kMaxDeltaBpm = 100;
    static constexpr int kMaxDeltaKey = 12;

    // Where the sound goes. Null sinks mean the audio devices through
    // RtAudio; an empty sound bank means getSoundfontFilePath(). A test may
    // run the Sequencer on its own clock (advanced by sequencer()->advance).
    struct Devices {
        std::unique_ptr<SynthAudioSink> synthSink;
        std::unique_ptr<Sound::AudioSink> audioSink;
        QString soundBank;
        bool simulatedClock = false;
    };

    explicit SoundEngine(QObject *parent = nullptr);
    SoundEngine(Devices devices, QObject *parent = nullptr);
    // Stops the song (emitting trackStopped, as every stop does) and the
    // Sequencer thread, then frees the devices.
    ~SoundEngine() override;

    // ---- transport

    PlayingState setPlayingState(PlayingState request);
    PlayingState getPlayingState() const;
    // MIDI: to the start of bar pos; audio: to pos milliseconds.
    void jumpTo(long pos);

    // ---- tempo, key and volumes

    // Ignored outside -50..100 (tempo) and -12..12 (key) or with no song.
    void changeBpm(int delta);
    void changeKey(int delta);
    int getDeltaBpm() const;
    int getDeltaKey() const;
    void setSlidersVol(eSliders group, int volume);
    void setSlidersMuteSolo(eSliders, int) {}
    // 0 .. 127 for both the MIDI songs and the audio songs.
    void changeMusicVolume(unsigned volume);
    void setMelodyMute(int mode);
    void setMelodyMuteTrack(int channel);
    void setFastRun(bool on);

    // The mix of the MIDI song in play, channels counted from 1; heard at once.
    void setTrackVolume(int channel, int volume);
    void setTrackMuteSolo(int channel, int state);
    void changeInstrWithStruct(const GS_INSTRUMENT_NAME *row, int channel);
    void changeDrumWithStruct(const GS_DRUM_KIT_NAME *kit, int channel);
    MidiEdit *midiEdit() const { return m_midiEdit.get(); }

    // ---- outputs and devices

    // "Timbra MIDI Module" -> 1000 while the synthesizer is switched on,
    // then each hardware MIDI output port by its name.
    QMap<QString, int> listSoundCards() const;
    QMap<int, QString> listAudioDevices();
    int getDefaultOutputAudioDevice();
    // Binds the synthesizer (1000) or the hardware client to output 1.
    bool initMidiInterfaceSoundCard(int index);
    bool connectToSoundCardByIdx(int index);
    bool connectToSoundCardByIdx(int index1, int index2);
    void closeMidiPort();
    bool getIsMidiPortConnected() const { return m_portOpen; }
    // The output chosen last, also when it did not open (-1: none).
    int midiOutputIndex() const { return m_chosenMidiOut; }
    // The synthesizer and the audio path on the audio device `id` (the
    // number listAudioDevices gives it) named `name`. A synthesizer that is
    // the MIDI output opens again on it, also one that failed to open.
    bool connectAudioDeviceById(int id, const QString &name);
    // After a MIDI connection failed because the synthesizer's audio device
    // did not open: that device's name; else empty.
    QString failedAudioDevice() const { return m_failedAudioDevice; }
    // After a MIDI connection failed because the synthesizer could not load
    // its sound bank (missing or unreadable): that bank's path; else empty.
    QString failedSoundBank() const { return m_failedSoundBank; }
    // Switching the synthesizer off closes it when it is the MIDI output.
    void enableVirtualExpander(bool on);
    void SoundCardConnect() {}
    static QString getSoundfontFilePath();

    // How long the sound of the song in play lags what the engine played, as
    // the last position report took it: the synthesizer's latency for MIDI
    // messages (0 for a MIDI port), what the device holds for an audio song.
    // The reports are that much behind, so they give the position heard.
    double outputLatencyMs() const { return m_latencyMs; }

    Sequencer *sequencer() const { return m_sequencer.get(); }
    const SoftSynth *synthesizer() const;
    Sound::AudioInterface *audioInterface() const { return m_audio.get(); }

public slots:
    // The end of the song in play: stop and unload it.
    void songEnded();
    void changeBpmWithOutSaving(int delta);
    void changeKeyWithOutSaving(int delta);
    void refreshInfoTime();

signals:
    void mSecOfPlaying(uint msec, uint tick);
    void barBeatOfPlaying(uint bar, uint beat);
    void isPlayingTrack(int channel, int value);
    // The song's own tempo and the user's offset.
    void songBpmChanged(int bpm, int delta);
    void songKeyChanged(int delta);
    void trackStopped();
    void refreshInstr();
    void playStateChanged(SoundEngine::PlayingState state);
    // The sound server went away (true) or a new stream is open on it again
    // (false). A song playing when it went is paused meanwhile, and goes on
    // when it is back.
    void soundOutputLost(bool lost);
    // The output chosen (named) is gone and the server's default plays in
    // its place; empty once no stream stands in any more.
    void soundOutputStandingIn(const QString &chosen);

private slots:
    void on_barEvent(int bar);
    void on_beatEvent(int beat);
    void on_seekDone();
    void noteOnChan(int flatChannel, int layer, int value);
    void bpmChangedRuntime(int bpm);
    void onCurrentSongChanged(Song::LoadSongState state);

private:
    bool isMidi() const;
    void watchOutputs();
    bool startOfPlay();
    void stopToStart(bool fromPause);
    void stopAndUnload(bool alsoNext);
    void returnToStart();
    bool applyBpm(int delta);
    bool applyKey(int delta);
    // The song's tempo without the user's offset.
    int baseBpm() const;
    // A start, seek or resume: the reports start again.
    void restartLatency();
    uint audioHeard();
    int midiHeardTick(int tick, int bpm);
    void reportStill();
    void seekPendingBar();

    std::unique_ptr<MidiBassOutWrapper> m_synth;
    std::unique_ptr<RtMidiOutWrapper> m_hardware;
    std::unique_ptr<Sound::MidiInterface> m_midi;
    std::unique_ptr<Sequencer> m_sequencer;
    std::unique_ptr<MidiEdit> m_midiEdit;
    std::unique_ptr<Sound::AudioInterface> m_audio;
    QTimer m_positionTimer;
    QTimer m_outputWatch{this};
    bool m_outputLost = false;
    bool m_outputStandingIn = false;
    bool m_pausedForOutput = false;
    PlayingState m_state = ePsIdle;
    mutable QRecursiveMutex m_stateMutex;
    bool m_changing = false;
    int m_bar = 0;
    int m_beat = 0;
    bool m_seeking = false;
    // Where Play goes after a seek made while stopped (audio, ms) or while
    // paused or stopped (MIDI, bar; -1 none).
    long m_startAtMs = 0;
    int m_pendingBar = -1;
    uint m_heard = 0;   // the last position reported: ticks (MIDI) or ms (audio)
    // The output latency as the last report took it; MIDI: the moments
    // (RealTime's clock) the engine reached the ticks of the last reports.
    double m_latencyMs = 0;
    QList<QPair<double, int>> m_ticksSeen;
    int m_midiOutIndex = -1; // bound to the output layer
    int m_chosenMidiOut = -1; // asked for last, also when it failed
    bool m_portOpen = false;
    QString m_synthDeviceName;
    QString m_failedAudioDevice;
    QString m_soundBank;
    QString m_failedSoundBank;
    bool m_expanderEnabled = true;
};
