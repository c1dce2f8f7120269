// MP3 decoding for the audio path.
//
// The decoder feeds libmpg123 in chunks of kFeedChunk bytes, from the whole
// file held in memory (preloadFile) or read from the open file (presetFile),
// and always delivers interleaved signed 16-bit stereo, at the rate given to
// init() or at the file's own rate: mono files come out on both channels, so
// the stream never changes shape. Seeks land on the sample asked for, in VBR
// files too.
//
// Threads: fillBuffer() runs on the audio thread. It allocates nothing
// (libmpg123 takes its input buffers from its pool) and logs nothing. Every
// other call belongs to the thread that owns the decoder and must not overlap
// a fillBuffer() call (the audio path stops its stream first).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

class QDataStream;
class QFile;
struct mpg123_handle_struct;

namespace Core {

class Mp3Decoder : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFeedChunk = 2048;
    static constexpr int kChannels = 2;

    Mp3Decoder();
    ~Mp3Decoder() override;

    // Closes what was loaded and prepares a handle forced to `rate`, or, when
    // the caller converts the rate itself, left at the file's own rate
    // (libmpg123's own conversion costs more than the whole decode).
    bool init(long rate, bool forceRate = true);
    // Whole file into memory, then its length. False when the data holds no
    // playable MPEG audio.
    bool preloadFile(const QString &path);
    bool preloadFile(const QByteArray &data);
    // Streams from the open file instead; no length, no scan.
    bool presetFile(const QString &path);
    // One read of at most len bytes at the read position (a pending seek
    // first); -1 at the end or on a read error.
    int readMp3FileChunk(uchar *buf, int len);
    // Length of the loaded data in milliseconds, 0 when none.
    long calcStreamDuration();
    // Decodes up to `size` bytes into out. 0 with data (*done bytes), 1 at
    // the end of the input, negative on a decoder error.
    int fillBuffer(uchar *out, unsigned long size, unsigned long *done);

    // Seek to a song time; the next fillBuffer() starts there.
    void setTimePos(long ms);
    // Output frame the last seek landed on.
    int64_t seekLandedFrame() const { return m_landedFrame; }
    float getTimePos() const;
    long getTotMilliSecs() const { return long(m_totalMs); }
    long getSampleRate() const;
    int getChannels() const;
    void setVolume(double gain);
    void close();

private:
    bool openLoaded();
    // Next chunk of input in m_chunk; bytes read, 0 at the end.
    int nextChunk();
    void readFormat();
    long outputRate() const { return m_forcedRate ? m_forcedRate : m_rate; }

    QFile *m_file = nullptr;
    QDataStream *m_stream = nullptr;
    int64_t m_fileSize = 0;
    long m_rate = 0;
    int m_channels = 0;
    int m_encoding = 0;
    QByteArray m_memory;
    uint32_t m_memorySize = 0;
    uchar m_chunk[kFeedChunk];
    bool m_inMemory = false;
    uint64_t m_readPos = 0;
    mpg123_handle_struct *m_handle = nullptr;
    int64_t m_totalMs = 0;
    // A seek to the file's first byte is a real seek, hence the flag.
    bool m_seekPending = false;
    int64_t m_seekOffset = 0;
    long m_forcedRate = 0;
    int64_t m_landedFrame = 0;
};

} // namespace Core
