// The audio song player: MP3 songs with tempo and key change, 16-bit stereo
// 48 kHz WAV files and raw PCM as they are.
//
// An MP3 is decoded by Core::Mp3Decoder, stretched, shifted and brought to
// the device's rate by SoundTouch, and handed to an AudioSink as 16-bit interleaved
// stereo in buffers of 256 frames. Every buffer is written whole: silence
// stands where there is nothing to play, so no stale memory reaches the
// device.
//
// Threads: every call belongs to the thread that owns the object (the GUI
// thread). The sink's render callback runs on the device's thread; it
// allocates nothing, waits on no lock and logs nothing, and asks for
// real-time scheduling. The volume is a gain the callback applies (moving
// to a new one within a step). A tempo or key change sets up a new
// SoundTouch processor here (its setters allocate) and hands it over; the
// callback starts it where the old one stands and cross-fades, so the
// output never stops. Pause, stop and seek let the callback fade the sound
// out first (waiting a little for it), so that the stream never stops on a
// waveform cut dead; after a pause or seek it rises again. Seeks stop the
// stream first. The end of a song is
// noticed by a timer on the owning thread, which emits endedMp3() there.
#pragma once

#include "AudioSink.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

namespace Core {
class Mp3Decoder;
}

namespace Sound {

enum AudioFileType { Mp3File = 1, Mp3Memory = 2, WavFile = 3, RawPcmFile = 4 };

struct AudioCallbackRecord;
struct Stretcher;
class AudioInterface;

// Output gain of the MP3 path, 0.8 at full volume.
extern double rtaVol;
extern AudioInterface *staticAudioInterface;

class AudioInterface : public QObject
{
    Q_OBJECT
public:
    static constexpr unsigned kBufferFrames = 256;
    static constexpr int kWavRate = 48000;
    // The fade before the stream stops, and the longest the owning thread
    // waits for the callback to make it.
    static constexpr double kFadeMs = 5.0;
    static constexpr double kFadeWaitMs = 250.0;
    // How long a device that has not asked once since the fade was asked for
    // is waited for: it no longer pulls.
    static constexpr double kPullWaitMs = 50.0;
    // The device's queue in buffers: every command waits behind it, so it
    // starts short and doubles after a song whose drop-outs went on into
    // its last kCalmMs; after a song without them it is short again.
    static constexpr unsigned kQueueBuffers = 16;
    static constexpr unsigned kMostQueueBuffers = 64;
    static constexpr double kCalmMs = 10000.0;

    explicit AudioInterface(std::unique_ptr<AudioSink> sink = makeRtAudioOutput());
    ~AudioInterface() override;

    // Type by suffix: ".mp3" or ".wav"; any other file is refused, so that
    // no file is ever played as noise (raw PCM only by its explicit type).
    bool loadFile(const QString &path);
    bool loadFile(const QString &path, AudioFileType type);
    bool loadFileBuffer(const QByteArray &data, AudioFileType type);
    void releaseFile();

    // Opens and starts the stream on the chosen device; false (and no
    // stream) when there is nothing playable or the device fails.
    bool playAudio(int unused = 0);
    void pauseAudio();
    void resumeAudio();
    void stopAudio();
    // Song time in milliseconds; a paused song stays paused, a song loaded
    // and not yet played starts there.
    void jumpToSec(long ms);

    void changeBpm(float percent);
    void changeKey(float semitones);
    int getDeltaBpm() const { return m_deltaBpm; }
    int getDeltaKey() const { return m_deltaKey; }
    // 0 ... 127 on a logarithmic scale.
    void setVolume(int v);
    int getVolume() const { return int(m_volume); }
    bool isActive() const;
    // The sound server has gone under a song in play (see AudioSink::lost).
    bool outputLost() const { return m_sink->isOpen() && m_sink->lost(); }
    // The output chosen is gone: the server's default plays the song.
    bool outputStandingIn() const { return m_sink->isOpen() && m_sink->standingIn(); }

    // Song length and play position, both in song time (milliseconds), so
    // that a position can be compared with the length at any tempo. The
    // position is what was handed to the device; heardMs() what the device
    // plays now, through its drop-outs too.
    long getDuration() const;
    long getmSec() const;
    long heardMs() const;

    QMap<int, QString> availableOutputDevices();
    int getDefaultOutputDevice();
    // The output for the next song: device `id` of the list, named `name`
    // (also when the list no longer holds it: opened once it is there).
    // Refused while a song is playing, and for a device listed as not
    // playing in stereo. Never waits on the sound server.
    bool connectDeviceById(int id, const std::string &name = std::string());
    int sampleRate() const { return m_sampleRate; }

signals:
    void endedMp3();

private:
    void pollEnd();
    // True once the callback has faded the sound out (the stream runs on,
    // silent); false when no stream runs or the callback did not come.
    bool fadeOut();
    void unfade();
    bool loadWav(const QString &path);
    bool loadRaw(const QString &path);
    void prepareStretch();
    void setUpStretcher(Stretcher *stretcher);
    void changeStretch();
    void adoptIncoming();
    void seekMp3(long ms);

    int m_sampleRate = kWavRate;
    int m_deltaBpm = 0;
    int m_deltaKey = 0;
    float m_tempoPercent = 0;
    float m_keySemitones = 0;
    double m_volume = 1.0;
    QByteArray m_pcm;
    std::unique_ptr<Core::Mp3Decoder> m_decoder;
    AudioFileType m_fileType = Mp3File;
    std::unique_ptr<AudioSink> m_sink;
    int m_outputDevice = -1;
    std::string m_outputName; // empty: the server's default
    bool m_paused = false;
    long m_startMs = 0;
    unsigned m_queueBuffers = kQueueBuffers;
    std::unique_ptr<AudioCallbackRecord> m_record;
    // Every processor there is; which one the callback uses is its own.
    std::vector<std::unique_ptr<Stretcher>> m_stretchers;
    std::vector<float> m_scratch;
    QTimer m_endPoll;
};

} // namespace Sound
