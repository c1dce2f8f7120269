#include "Extract.h"

#include "SongFile.h"
#include "Utf16Text.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr qint64 HEAD_SIZE = 2048;
constexpr qint64 ID3V1_SIZE = 128;
constexpr qint64 MIN_MIDI_HEAD = 22;
constexpr qint64 MIN_MP3_HEAD = 128;
const char UNKNOWN_TEXT[] = "<UNKNOWN>";
const char NO_KEY_TEXT[] = "- - -";

// ISO 8859-15 differs from Latin-1 in eight places.
QString fromIso885915(const char *data, int length)
{
    QString out;
    out.reserve(length);
    for (int i = 0; i < length; ++i) {
        const uint8_t b = uint8_t(data[i]);
        char16_t c = b;
        switch (b) {
        case 0xA4: c = 0x20AC; break;
        case 0xA6: c = 0x0160; break;
        case 0xA8: c = 0x0161; break;
        case 0xB4: c = 0x017D; break;
        case 0xB8: c = 0x017E; break;
        case 0xBC: c = 0x0152; break;
        case 0xBD: c = 0x0153; break;
        case 0xBE: c = 0x0178; break;
        }
        out.append(QChar(c));
    }
    return out;
}

// Stores UTF-8 text of at most maxBytes (never splitting a character) into a
// zero-filled field.
void storeUtf8(char *field, int fieldSize, int maxBytes, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    int len = std::min({int(utf8.size()), maxBytes, fieldSize - 1});
    while (len > 0 && len < utf8.size() && (uint8_t(utf8[len]) & 0xC0) == 0x80)
        --len;
    std::memset(field, 0, size_t(fieldSize));
    std::memcpy(field, utf8.constData(), size_t(len));
}

void storeLatin(char *field, int fieldSize, const char *text)
{
    std::memset(field, 0, size_t(fieldSize));
    std::strncpy(field, text, size_t(fieldSize - 1));
}

bool validUtf8(const char *text, int length)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // decode() is lazy: only the conversion to a string runs it.
    const QString decoded = decoder.decode(QByteArrayView(text, length));
    return !decoder.hasError();
}

// Bytes of text to decode as UTF-8: all n when they are valid UTF-8, fewer
// when the text filled its field and only a character cut there is not; -1
// when the text is not UTF-8 (a Latin-1 letter at the end stays one).
int utf8Prefix(const char *text, int n, bool filled)
{
    for (int cut = 0; cut <= (filled ? 3 : 0) && n - cut >= 0; ++cut) {
        if (cut > 0 && (uint8_t(text[n - cut]) & 0xC0) != 0xC0)
            continue;
        if (validUtf8(text, n - cut))
            return n - cut;
    }
    return -1;
}

// Decoded, trimmed field text; empty when the field is. A copy cut at the
// field's limit may end inside a UTF-8 character: that tail is dropped rather
// than taking the whole text for ISO 8859-15.
QString cleanField(const char *field, int bytes)
{
    if (field[0] == 0)
        return QString();
    int n = int(strnlen(field, size_t(bytes)));
    const int utf8 = n == bytes ? utf8Prefix(field, n, true) : -1;
    if (utf8 > 0)
        n = utf8;
    return Extract::decodeChars(field, n).trimmed();
}

int nulUnits(const char *text, int length, int unit)
{
    int n = 0;
    while (n + unit <= length) {
        bool zero = true;
        for (int i = 0; i < unit; ++i)
            zero = zero && text[n + i] == 0;
        if (zero)
            break;
        n += unit;
    }
    return n;
}

} // namespace

const QMap<QString, int> &Extract::mapFileExtToFrmBaseType()
{
    static const QMap<QString, int> map = {
        {"MID", 1}, {"MIDI", 1}, {"KAR", 1}, {"MF3", 1}, {"MF4", 1}, {"MF5", 1},
        {"MP3", 2},
        {"WAV", 4}, {"AAC", 4}, {"OGG", 4}, {"FLAC", 4}, {"AIF", 4}, {"AU", 4},
        {"MP4", 8}, {"MOV", 8}, {"MKV", 8},
        {"MTA", 16}, {"MTV", 32},
    };
    return map;
}

const QMap<uint32_t, QString> &Extract::mapFrmFullTypeToFrmDesc()
{
    static const QMap<uint32_t, QString> map = {
        {SONG_FORMAT_NONE, "???"}, {SONG_FORMAT_MIDI, "MIDI"}, {SONG_FORMAT_MF3, "MF3"},
        {SONG_FORMAT_MF4, "MF4"}, {SONG_FORMAT_MF5, "MF5"}, {SONG_FORMAT_MP3, "MP3"},
        {SONG_FORMAT_WAV, "WAV"}, {SONG_FORMAT_AAC, "AAC"}, {SONG_FORMAT_OGG, "OGG"},
        {SONG_FORMAT_FLAC, "FLAC"}, {SONG_FORMAT_AIF, "AIF"}, {SONG_FORMAT_AU, "AU"},
        {SONG_FORMAT_MP4, "MP4"}, {SONG_FORMAT_MOV, "MOV"}, {SONG_FORMAT_MKV, "MKV"},
        {SONG_FORMAT_MTA, "MTA"}, {SONG_FORMAT_MTV, "MTV"},
    };
    return map;
}

QString Extract::decodeChars(const char *text, int length)
{
    if (!text || length < 1)
        return QString();
    const auto *u = reinterpret_cast<const uint8_t *>(text);
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    int bom = 0;
    int n = 0;
    if (length >= 4 && ((u[0] == 0xFF && u[1] == 0xFE && u[2] == 0 && u[3] == 0) ||
                        (u[0] == 0 && u[1] == 0 && u[2] == 0xFE && u[3] == 0xFF))) {
        encoding = u[0] ? QStringConverter::Utf32LE : QStringConverter::Utf32BE;
        bom = 4;
        n = bom + nulUnits(text + bom, length - bom, 4);
    } else if (length >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF))) {
        encoding = u[0] == 0xFF ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
        bom = 2;
        n = bom + nulUnits(text + bom, length - bom, 2);
    } else {
        if (length >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF)
            bom = 3;
        const void *nul = std::memchr(text, 0, size_t(length));
        n = nul ? int(static_cast<const char *>(nul) - text) : length;
    }

    QString result;
    if (bom) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        result = decoder.decode(QByteArrayView(text + bom, n - bom));
    } else {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        result = decoder.decode(QByteArrayView(text, n));
        if (decoder.hasError())
            result = fromIso885915(text, n);
    }
    if (!result.isEmpty() && result.at(0) == QChar(0))
        return QString();
    return result;
}

QString Extract::decodeLyricText(const char *text, int length)
{
    if (!text || length < 1)
        return QString();
    if (hasUtf16Bom(reinterpret_cast<const uint8_t *>(text), uint32_t(length)))
        return decodeChars(text, length);
    const int n = int(strnlen(text, size_t(length)));
    const int utf8 = utf8Prefix(text, n, n >= length - 1);
    return utf8 < 0 ? QString::fromLatin1(text, n) : QString::fromUtf8(text, utf8);
}

int Extract::visibleCharsOfBytes(const char *text, int length, int visibleBytes)
{
    if (!text || length < 1)
        return visibleBytes;
    const int n = int(strnlen(text, size_t(length)));
    if (utf8Prefix(text, n, n >= length - 1) < 0)
        return visibleBytes;
    // Each continuation byte among the counted ones is no character of its own.
    int bytes = 0, continuations = 0;
    for (int i = 0; i < n && bytes < visibleBytes; ++i) {
        const uint8_t b = uint8_t(text[i]);
        if (b <= ' ')
            continue;
        ++bytes;
        if ((b & 0xC0) == 0x80)
            ++continuations;
    }
    return visibleBytes - continuations;
}

bool Extract::GetSongInfoFromFile(SONG_INFO *info, const QString &path)
{
    if (!info)
        return false;
    // A FIFO or device named like a song is no song: opening one could block.
    struct stat st {};
    if (::stat(nativeSongPath(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    QFile file;
    return GetSongInfoFromOpenFile(info, path, file);
}

bool Extract::GetSongInfoFromOpenFile(SONG_INFO *info, const QString &path, QFile &file)
{
    if (!info)
        return false;
    const QFileInfo fileInfo(path);
    const QString baseName = fileInfo.completeBaseName();
    const QString suffix = fileInfo.suffix().toUpper();
    const int base = mapFileExtToFrmBaseType().value(suffix, 0);
    if (base == 0) {
        info->format = SONG_FORMAT_NONE;
        return false;
    }

    std::memset(info, 0, sizeof *info);
    info->format = uint32_t(base);
    storeUtf8(info->title, sizeof info->title, SONG_INFO_TITLE_MAX, baseName);
    storeLatin(info->artist, sizeof info->artist, UNKNOWN_TEXT);
    storeLatin(info->genre, sizeof info->genre, UNKNOWN_TEXT);
    storeLatin(info->composer, sizeof info->composer, UNKNOWN_TEXT);
    storeLatin(info->key, sizeof info->key, NO_KEY_TEXT);

    if (base == SONG_FORMAT_MIDI || base == SONG_FORMAT_MP3) {
        // Not a usable song from here on when anything fails.
        if (!file.isOpen() && openSongFile(path, file) != SongFileStatus::Ok) {
            info->format = SONG_FORMAT_NONE;
            return false;
        }
        QByteArray head = file.seek(0) ? file.read(HEAD_SIZE) : QByteArray();
        if ((base == SONG_FORMAT_MIDI && head.size() < MIN_MIDI_HEAD) ||
            (base == SONG_FORMAT_MP3 && head.size() < MIN_MP3_HEAD)) {
            info->format = SONG_FORMAT_NONE;
            return false;
        }
        if (base == SONG_FORMAT_MP3) {
            const qint64 size = file.size();
            if (size > head.size()) {
                // The ID3v1 tag lives in the last 128 bytes.
                if (head.size() > size - ID3V1_SIZE)
                    head.truncate(int(size - ID3V1_SIZE));
                const QByteArray tail = file.seek(size - ID3V1_SIZE) ? file.read(ID3V1_SIZE) : QByteArray();
                if (tail.size() != ID3V1_SIZE) {
                    info->format = SONG_FORMAT_NONE;
                    return false;
                }
                head += tail;
            }
        }
        const auto *data = reinterpret_cast<const uint8_t *>(head.constData());
        const uint32_t length = uint32_t(head.size());
        if (base == SONG_FORMAT_MIDI) {
            if (getMidiSongInfo(data, length, info) == 0) {
                info->format = SONG_FORMAT_NONE;
                return false;
            }
        } else {
            const bool id3 = std::memcmp(data, "ID3", 3) == 0;
            const bool frameSync = data[0] == 0xFF && data[1] >= 0xE1;
            const bool zeros = data[0] == 0 && data[1] == 0;
            if (!id3 && !frameSync && !zeros) {
                info->format = SONG_FORMAT_NONE;
                return false;
            }
            getMp3SongInfo(data, length, info);
        }
    } else if (base == SONG_FORMAT_VIDEO) {
        if (suffix.endsWith("MP4"))
            info->format = SONG_FORMAT_MP4;
        else if (suffix.endsWith("MOV"))
            info->format = SONG_FORMAT_MOV;
        else if (suffix.endsWith("MKV"))
            info->format = SONG_FORMAT_MKV;
        else
            info->format = SONG_FORMAT_NONE;
    }

    const QString title = cleanField(info->title, SONG_INFO_TITLE_MAX);
    if (title.isEmpty())
        storeUtf8(info->title, sizeof info->title, SONG_INFO_TITLE_MAX, baseName);
    else
        storeUtf8(info->title, sizeof info->title, SONG_INFO_TITLE_MAX, title);

    struct {
        char *field;
        int size;
        int max;
        const char *empty;
    } const fields[] = {
        {info->artist, sizeof info->artist, SONG_INFO_ARTIST_MAX, UNKNOWN_TEXT},
        {info->genre, sizeof info->genre, SONG_INFO_GENRE_MAX, UNKNOWN_TEXT},
        {info->composer, sizeof info->composer, SONG_INFO_COMPOSER_MAX, UNKNOWN_TEXT},
        {info->key, sizeof info->key, SONG_INFO_KEY_MAX, NO_KEY_TEXT},
    };
    for (const auto &f : fields) {
        const QString text = cleanField(f.field, f.max);
        if (text.isEmpty())
            storeLatin(f.field, f.size, f.empty);
        else
            storeUtf8(f.field, f.size, f.max, text);
    }
    return true;
}
