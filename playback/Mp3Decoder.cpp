#include "Mp3Decoder.h"

#include "SongFile.h"

#include <QDataStream>
#include <QFile>

#include <mpg123.h>

#include <cstring>

namespace Core {

namespace {
// Pool of libmpg123 input buffers, each larger than one feed chunk, so that
// feeding on the audio thread reuses memory instead of allocating it.
constexpr long kFeedPool = 16;
constexpr long kFeedBuffer = 4 * Mp3Decoder::kFeedChunk;
} // namespace

Mp3Decoder::Mp3Decoder()
{
    mpg123_init();
}

Mp3Decoder::~Mp3Decoder()
{
    close();
    mpg123_exit();
}

bool Mp3Decoder::init(long rate, bool forceRate)
{
    close();
    if (rate < 1)
        return false;
    int error = MPG123_OK;
    m_handle = mpg123_new(nullptr, &error);
    if (!m_handle)
        return false;
    // Quiet rather than verbose: libmpg123 would otherwise print its
    // warnings from the audio thread.
    bool ok = mpg123_param(m_handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0) == MPG123_OK
        && mpg123_param(m_handle, MPG123_FEEDPOOL, kFeedPool, 0) == MPG123_OK
        && mpg123_param(m_handle, MPG123_FEEDBUFFER, kFeedBuffer, 0) == MPG123_OK
        && mpg123_format_none(m_handle) == MPG123_OK;
    if (forceRate) {
        ok = ok && mpg123_param(m_handle, MPG123_FORCE_RATE, rate, 0) == MPG123_OK
            && mpg123_format(m_handle, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    } else {
        const long *rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; ok && i < count; ++i)
            ok = mpg123_format(m_handle, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    }
    if (!ok) {
        mpg123_delete(m_handle);
        m_handle = nullptr;
        return false;
    }
    m_forcedRate = forceRate ? rate : 0;
    return true;
}

bool Mp3Decoder::preloadFile(const QString &path)
{
    // Read as a song is: never waiting on a FIFO, its size checked first.
    QByteArray bytes;
    return !path.isEmpty() && readSongFile(path, SONG_FILE_MAX_MP3_BYTES, bytes) == SongFileStatus::Ok
        && preloadFile(bytes);
}

bool Mp3Decoder::preloadFile(const QByteArray &data)
{
    if (data.isEmpty() || !m_handle || uint64_t(data.size()) > UINT32_MAX)
        return false;
    m_memory = data;
    m_memorySize = uint32_t(data.size());
    m_inMemory = true;
    m_readPos = 0;
    m_seekPending = false;
    m_totalMs = calcStreamDuration();
    return m_totalMs > 0;
}

bool Mp3Decoder::presetFile(const QString &path)
{
    if (path.isEmpty() || !m_handle)
        return false;
    auto *file = new QFile(path);
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        return false;
    }
    m_file = file;
    m_stream = new QDataStream(m_file);
    m_fileSize = m_file->size();
    m_readPos = 0;
    m_inMemory = false;
    m_seekPending = false;
    return openLoaded();
}

bool Mp3Decoder::openLoaded()
{
    if (mpg123_open_feed(m_handle) != MPG123_OK)
        return false;
    mpg123_set_filesize(m_handle, m_inMemory ? off_t(m_memorySize) : off_t(m_fileSize));
    return true;
}

int Mp3Decoder::readMp3FileChunk(uchar *buf, int len)
{
    if (len < 1)
        return -1;
    if (m_seekPending) {
        m_readPos = uint64_t(m_seekOffset);
        m_seekPending = false;
        if (m_file && !m_file->seek(m_seekOffset))
            return -1;
    }
    int n = -1;
    if (m_inMemory) {
        if (m_readPos >= m_memorySize)
            return -1;
        n = int(std::min<uint64_t>(uint64_t(len), m_memorySize - m_readPos));
        std::memcpy(buf, m_memory.constData() + m_readPos, size_t(n));
    } else if (m_stream) {
        n = m_stream->readRawData(reinterpret_cast<char *>(buf), len);
        if (n < 1)
            return -1;
    }
    if (n > 0)
        m_readPos += uint64_t(n);
    return n;
}

int Mp3Decoder::nextChunk()
{
    const int n = readMp3FileChunk(m_chunk, kFeedChunk);
    return n > 0 ? n : 0;
}

void Mp3Decoder::readFormat()
{
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(m_handle, &rate, &channels, &encoding) == MPG123_OK) {
        m_rate = rate;
        m_channels = channels;
        m_encoding = encoding;
    }
}

long Mp3Decoder::calcStreamDuration()
{
    if (!m_handle || !m_inMemory || !openLoaded())
        return 0;
    off_t samples = mpg123_length(m_handle);
    while (samples == MPG123_NEED_MORE) {
        const int n = nextChunk();
        if (n == 0 || mpg123_feed(m_handle, m_chunk, size_t(n)) != MPG123_OK)
            break;
        samples = mpg123_length(m_handle);
    }
    readFormat();
    if (samples <= 0 || m_rate < 1 || m_channels < 1)
        return 0;
    return long(double(samples) / double(m_rate) * 1000.0);
}

int Mp3Decoder::fillBuffer(uchar *out, unsigned long size, unsigned long *done)
{
    *done = 0;
    if (!m_handle)
        return -1;
    while (*done < size) {
        size_t got = 0;
        const int rc = mpg123_read(m_handle, out + *done, size - *done, &got);
        *done += got;
        switch (rc) {
        case MPG123_OK:
            break;
        case MPG123_NEW_FORMAT:
            readFormat();
            break;
        case MPG123_NEED_MORE: {
            const int n = nextChunk();
            if (n == 0)
                return *done ? 0 : 1;
            if (mpg123_feed(m_handle, m_chunk, size_t(n)) != MPG123_OK)
                return -1;
            break;
        }
        case MPG123_DONE:
            return *done ? 0 : 1;
        default:
            return *done ? 0 : -1;
        }
    }
    return 0;
}

void Mp3Decoder::setTimePos(long ms)
{
    if (!m_handle || ms < 0)
        return;
    const off_t sample = off_t(double(outputRate()) * double(ms) / 1000.0);
    off_t inputOffset = 0;
    const off_t landed = mpg123_feedseek(m_handle, sample, SEEK_SET, &inputOffset);
    if (landed < 0 || inputOffset < 0)
        return;
    m_seekOffset = inputOffset;
    m_seekPending = true;
    m_landedFrame = landed;
    // Past the frames it has indexed, libmpg123 finds the target by reading
    // every frame up to it: exact also in VBR files, whose own table of
    // contents is only approximate. Do that reading here rather than in the
    // audio callback; the first decoded frame waits for the next read.
    uchar none[1];
    for (;;) {
        size_t got = 0;
        const int rc = mpg123_read(m_handle, none, 0, &got);
        if (rc == MPG123_NEW_FORMAT) {
            readFormat();
            continue;
        }
        if (rc != MPG123_NEED_MORE)
            break;
        const int n = nextChunk();
        if (n == 0 || mpg123_feed(m_handle, m_chunk, size_t(n)) != MPG123_OK)
            break;
    }
}

float Mp3Decoder::getTimePos() const
{
    if (!m_handle || outputRate() < 1)
        return 0;
    return float(double(mpg123_tell(m_handle)) / double(outputRate()));
}

long Mp3Decoder::getSampleRate() const
{
    return m_inMemory ? m_rate : 0;
}

int Mp3Decoder::getChannels() const
{
    return m_inMemory ? m_channels : 0;
}

void Mp3Decoder::setVolume(double gain)
{
    if (m_handle)
        mpg123_volume(m_handle, gain);
}

void Mp3Decoder::close()
{
    if (m_handle) {
        mpg123_close(m_handle);
        mpg123_delete(m_handle);
        m_handle = nullptr;
    }
    m_memory = QByteArray();
    m_memorySize = 0;
    delete m_stream;
    m_stream = nullptr;
    delete m_file;
    m_file = nullptr;
    m_fileSize = 0;
    m_inMemory = false;
    m_readPos = 0;
    m_seekPending = false;
    m_landedFrame = 0;
    // A length left from the previous song would be reported for the next.
    m_totalMs = 0;
    m_rate = 0;
    m_channels = 0;
    m_encoding = 0;
}

} // namespace Core
