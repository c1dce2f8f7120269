#include "SongInfoRecord.h"

#include "ByteReader.h"
#include "MakerRecords.h"
#include "MfxHeader.h"
#include "StreamData.h"
#include "Utf16Text.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char *const ID3v1_genres[ID3V1_GENRE_COUNT] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "Alt. Rock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrum. Pop", "Instrum. Rock", "Ethnic", "Gothic", "Darkwave",
    "Techno-Indust.", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
    "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk/Rock", "National Folk", "Swing", "Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progress. Rock", "Psychadel. Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A Capella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Thrash Metal", "Anime", "Jpop", "Synthpop", "LagMusic", "Art Rock", "Deep House",
    "Tech House", "Deepstep", "Dubstep", "Future House", "Subground", "Trap", "EBM",
    "Progressive House", "Melbourne Bounce", "Dutch House", "Electro House", "Boiler Room",
    "HardTekno", "Minimal House", "Ambient House", "Chill Out", "Dub", "Hardstyle", "Freestyle",
    "Drumstep",
};

namespace {
const char *const kSharpMajorKeys[8] = {"C", "G", "D", "A", "E", "B", "F#", "C#"};
const char *const kFlatMajorKeys[8] = {"C", "F", "Bb", "Eb", "Ab", "Db", "Gb", "Cb"};
const char *const kSharpMinorKeys[8] = {"A", "E", "B", "F#", "C#", "G#", "D#", "A#"};
const char *const kFlatMinorKeys[8] = {"A", "D", "G", "C", "F", "Bb", "Eb", "Ab"};

constexpr uint32_t MICROSECONDS_PER_MINUTE = 60000000;
constexpr int ROW_TEXT_SIZE = 41;
constexpr int NUMBER_TEXT_MAX = 20;

// Copies at most maxBytes of src (never past srcAvail) into a field of
// fieldSize bytes, zero-filled behind the text.
void copyField(char *field, int fieldSize, const uint8_t *src, uint32_t srcAvail, uint32_t maxBytes)
{
    const uint32_t n = std::min({maxBytes, srcAvail, uint32_t(fieldSize - 1)});
    std::memset(field, 0, size_t(fieldSize));
    std::memcpy(field, src, n);
}

// Decimal number from at most NUMBER_TEXT_MAX characters.
int parseNumber(const uint8_t *src, uint32_t srcAvail)
{
    char buf[NUMBER_TEXT_MAX + 1];
    copyField(buf, sizeof buf, src, srcAvail, NUMBER_TEXT_MAX);
    return std::atoi(buf);
}

// Maker text-track row (05): a row beginning with "(" names the artist. The
// row text lies between the command byte and the closing F7.
void takeArtistRow(const uint8_t *f0, uint32_t avail, SONG_INFO *info, bool &artistFound)
{
    const uint32_t L = f0[MAKER_OFS_LENGTH];
    if (L < 7)
        return;
    const uint32_t present = avail > uint32_t(MAKER_OFS_DATA) ? avail - MAKER_OFS_DATA : 0;
    const uint32_t n = std::min({L - 6, uint32_t(ROW_TEXT_SIZE), present});
    char row[ROW_TEXT_SIZE + 1] = {};
    uint32_t len = 0;
    while (len < n && f0[MAKER_OFS_DATA + len] != 0xF7 && f0[MAKER_OFS_DATA + len] != 0) {
        row[len] = char(f0[MAKER_OFS_DATA + len]);
        ++len;
    }
    if (row[0] != '(')
        return;
    const char *start = row + 1;
    while (*start == ' ')
        ++start;
    size_t textLen = std::strlen(start);
    while (textLen > 0 && start[textLen - 1] == ' ')
        --textLen;
    if (textLen > 0 && start[textLen - 1] == ')')
        --textLen;
    copyField(info->artist, sizeof info->artist, reinterpret_cast<const uint8_t *>(start),
              uint32_t(textLen), SONG_INFO_ARTIST_MAX);
    artistFound = true;
}

// Room for a title of UTF-16 text in UTF-8, with the "@T" in front.
constexpr uint32_t UTF8_TITLE_SIZE = 3 * SONG_INFO_TITLE_MAX + 8;

int getSmfSongInfo(const uint8_t *data, uint32_t length, SONG_INFO *info)
{
    char savedTitle[SONG_INFO_TITLE_SIZE];
    std::memcpy(savedTitle, info->title, sizeof savedTitle);
    // A Standard MIDI File plays at 120 BPM until a tempo event says
    // otherwise (and a tempo of 0 says nothing): the length is computed so too.
    info->bpm = DEFAULT_BPM;

    bool titleFound = false, artistFound = false, genreFound = false, composerFound = false;
    bool markerFound = false, tempoFound = false, keyFound = false, lengthFound = false;
    bool isMaker = false;

    const auto visit = [&](const SmfEvent &e) {
        if (titleFound && artistFound && genreFound && composerFound && markerFound && tempoFound &&
            keyFound && lengthFound)
            return true;
        if (e.status == 0xF0) {
            uint32_t avail = 0;
            const uint8_t *ev = makerRecord(data, e, avail);
            if (!ev)
                return false;
            const uint8_t cmd = ev[MAKER_OFS_COMMAND];
            if (cmd == MAKER_CMD_TEXT_ROW2 && !artistFound) {
                takeArtistRow(ev, avail, info, artistFound);
            } else if (cmd == MAKER_CMD_DELTA_KEY && !keyFound) {
                // The player's key offset: the last such record, as the player reads them.
                if (avail >= uint32_t(MAKER_SIZE_SHORT))
                    std::snprintf(info->key, sizeof info->key, "%i",
                                  makerSignedPair(ev[MAKER_OFS_DATA], ev[MAKER_OFS_DATA + 1]));
            }
            return false;
        }
        if (e.status != 0xFF)
            return false;
        const uint8_t type = e.metaType;
        const bool wanted =
            (type == 0x51 && !tempoFound) || (type == 0x06 && !markerFound) || type == MAKER_META ||
            ((type == 0x03 || type == 0x02 || type == 0x01) && !titleFound) ||
            (type == 0x59 && !keyFound);
        if (!wanted)
            return false;
        const uint32_t len = uint32_t(e.dataLength);
        const uint8_t *text = data + e.dataPos;
        uint32_t textAvail = len;
        uint8_t utf8[UTF8_TITLE_SIZE];
        if ((type == 0x01 || type == 0x03) && hasUtf16Bom(text, textAvail)) {
            textAvail = utf16BomToUtf8(text, textAvail, utf8, sizeof utf8);
            text = utf8;
        }
        switch (type) {
        case 0x51:
            if (textAvail >= 3) {
                const uint32_t t = uint32_t(text[0]) << 16 | uint32_t(text[1]) << 8 | text[2];
                if (t != 0) {
                    info->bpm = t > MICROSECONDS_PER_MINUTE ? 0 : int32_t(MICROSECONDS_PER_MINUTE / t);
                    tempoFound = true;
                }
            }
            break;
        case 0x06:
            info->flags = SONG_FLAG_MARKERS;
            markerFound = true;
            break;
        case MAKER_META: {
            if (len == 0 || textAvail == 0)
                break;
            const uint8_t sub = text[0];
            const uint8_t *s = text + 1;
            const uint32_t sAvail = textAvail - 1;
            if (sub >= MAKER_META_GENRE && sub <= MAKER_META_BPM)
                isMaker = true;
            if (sub == MAKER_META_ARTIST && !artistFound) {
                copyField(info->artist, sizeof info->artist, s, sAvail, SONG_INFO_ARTIST_MAX);
                artistFound = true;
            } else if (sub == MAKER_META_GENRE && !genreFound) {
                copyField(info->genre, sizeof info->genre, s, sAvail, SONG_INFO_GENRE_MAX);
                genreFound = true;
            } else if (sub == MAKER_META_COMPOSER && !composerFound) {
                copyField(info->composer, sizeof info->composer, s, sAvail, SONG_INFO_COMPOSER_MAX);
                composerFound = true;
            } else if (sub == MAKER_META_BPM && !tempoFound) {
                info->bpm = parseNumber(s, sAvail);
                tempoFound = true;
            } else if (sub == MAKER_META_SECONDS && !lengthFound) {
                info->seconds = parseNumber(s, sAvail);
                lengthFound = true;
            }
            break;
        }
        case 0x03:
            copyField(info->title, sizeof info->title, text, textAvail, SONG_INFO_TITLE_MAX);
            titleFound = true;
            break;
        case 0x02: {
            char copyright[128];
            copyField(copyright, sizeof copyright, text, textAvail, 127);
            for (int i = 0; i < 6 && copyright[i]; ++i)
                copyright[i] = char(std::toupper(static_cast<unsigned char>(copyright[i])));
            if (std::strstr(copyright, "KVERO"))
                isMaker = true;
            break;
        }
        case 0x59:
            if (textAvail >= 2) {
                getKeyString(info->key, int8_t(text[0]), text[1]);
                keyFound = true;
            }
            break;
        case 0x01:
            if (textAvail >= 2 && text[0] == '@' && text[1] == 'T') {
                uint32_t i = 2;
                while (i < textAvail && text[i] == ' ')
                    ++i;
                copyField(info->title, sizeof info->title, text + i, textAvail - i, SONG_INFO_TITLE_MAX);
                titleFound = true;
                isMaker = true;
            }
            break;
        }
        return false;
    };
    walkSmfTracks(data, length, [&](int, int start, int end) {
        return walkSmfTrack(data, start, end, visit);
    });

    if (titleFound && !isMaker)
        std::memcpy(info->title, savedTitle, sizeof savedTitle);
    return 1;
}

int getMfxSongInfo(const uint8_t *data, uint32_t length, SONG_INFO *info, int fileType)
{
    if (length < mfxHeaderSize(fileType)) {
        info->format = SONG_FORMAT_NONE;
        return 0;
    }
    info->format |= fileType == FILE_TYPE_MF3 ? SONG_FORMAT_MF3
                    : fileType == FILE_TYPE_MF4 ? SONG_FORMAT_MF4
                                                : SONG_FORMAT_MF5;
    const uint8_t *title = data + MFX_OFS_TITLE;
    int skip = 0;
    while (skip < MFX_TEXT_FIELD_SIZE && title[skip] == ' ')
        ++skip;
    if (skip < MFX_TEXT_FIELD_SIZE && title[skip] != 0)
        copyField(info->title, sizeof info->title, title + skip, MFX_TEXT_FIELD_SIZE - skip,
                  MFX_TEXT_FIELD_SIZE);
    copyField(info->artist, sizeof info->artist, data + MFX_OFS_ARTIST, MFX_TEXT_FIELD_SIZE,
              MFX_TEXT_FIELD_SIZE);
    copyField(info->composer, sizeof info->composer, data + MFX_OFS_AUTHOR, MFX_TEXT_FIELD_SIZE,
              MFX_TEXT_FIELD_SIZE);
    copyField(info->genre, sizeof info->genre, data + MFX_OFS_GENRE, MFX_TEXT_FIELD_SIZE,
              MFX_TEXT_FIELD_SIZE);
    info->flags = data[MFX_OFS_FLAGS];
    info->bpm = readU16le(data + MFX_OFS_TEMPO);
    std::memset(info->key, 0, sizeof info->key);
    if (fileType == FILE_TYPE_MF3)
        std::snprintf(info->key, sizeof info->key, "0");
    else
        std::snprintf(info->key, sizeof info->key, "%i", int(int16_t(readU16le(data + MFX_OFS_DELTA_KEY))));
    return 1;
}

// Text of an ID3v2 text frame (encoding byte first) as bytes for the field:
// Latin-1 is left for decodeChars, UTF-16 and UTF-8 become UTF-8. Stops at
// the first NUL; cut to maxBytes without splitting a character.
void id3Text(const uint8_t *frame, uint32_t size, char *field, int fieldSize, uint32_t maxBytes)
{
    std::memset(field, 0, size_t(fieldSize));
    if (size < 1)
        return;
    const uint8_t encoding = frame[0];
    const uint8_t *p = frame + 1;
    const uint32_t n = size - 1;
    if (encoding == 0) {
        const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(p, 0, n));
        copyField(field, fieldSize, p, nul ? uint32_t(nul - p) : n, maxBytes);
        return;
    }
    QString text;
    if (encoding == 1 || encoding == 2) {
        bool bigEndian = encoding == 2;
        uint32_t i = 0;
        if (encoding == 1 && n >= 2) {
            if (p[0] == 0xFE && p[1] == 0xFF) {
                bigEndian = true;
                i = 2;
            } else if (p[0] == 0xFF && p[1] == 0xFE) {
                i = 2;
            }
        }
        for (; i + 1 < n; i += 2) {
            const char16_t unit = bigEndian ? char16_t(p[i] << 8 | p[i + 1]) : char16_t(p[i + 1] << 8 | p[i]);
            if (unit == 0)
                break;
            text.append(QChar(unit));
        }
    } else if (encoding == 3) {
        const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(p, 0, n));
        text = QString::fromUtf8(reinterpret_cast<const char *>(p), nul ? qsizetype(nul - p) : qsizetype(n));
    } else {
        return;
    }
    QByteArray utf8 = text.toUtf8();
    uint32_t len = std::min<uint32_t>(uint32_t(utf8.size()), std::min(maxBytes, uint32_t(fieldSize - 1)));
    while (len > 0 && len < uint32_t(utf8.size()) && (uint8_t(utf8[len]) & 0xC0) == 0x80)
        --len;
    std::memcpy(field, utf8.constData(), len);
}

} // namespace

int getFileType(const uint8_t *head, uint8_t *smfFormat)
{
    return getFileTypeN(head, head ? FILE_TYPE_HEAD_SIZE : 0, smfFormat);
}

int getFileTypeN(const uint8_t *data, uint32_t length, uint8_t *smfFormat)
{
    if (smfFormat)
        *smfFormat = 0;
    if (!data || length < 3)
        return FILE_TYPE_UNKNOWN;
    if (length >= 4) {
        if (std::memcmp(data, "MThd", 4) == 0) {
            if (smfFormat && length >= 10)
                *smfFormat = data[9];
            return FILE_TYPE_MIDI;
        }
        if (std::memcmp(data, "_MF3", 4) == 0)
            return FILE_TYPE_MF3;
        if (std::memcmp(data, "_MF4", 4) == 0)
            return FILE_TYPE_MF4;
        if (std::memcmp(data, "_MF5", 4) == 0)
            return FILE_TYPE_MF5;
    }
    if (std::memcmp(data, "ID3", 3) == 0)
        return FILE_TYPE_ID3;
    return FILE_TYPE_UNKNOWN;
}

char *getKeyString(char *out, int sharpsOrFlats, int minor)
{
    const int n = std::abs(sharpsOrFlats) % 8;
    const char *name;
    if (minor)
        name = sharpsOrFlats < 0 ? kFlatMinorKeys[n] : kSharpMinorKeys[n];
    else
        name = sharpsOrFlats < 0 ? kFlatMajorKeys[n] : kSharpMajorKeys[n];
    std::snprintf(out, 4, "%s%s", name, minor ? "m" : "");
    return out;
}

int getMidiSongInfo(const uint8_t *data, uint32_t length, SONG_INFO *info)
{
    const int type = getFileTypeN(data, length, nullptr);
    if (type == FILE_TYPE_MIDI)
        return getSmfSongInfo(data, length, info);
    if (type == FILE_TYPE_MF3 || type == FILE_TYPE_MF4 || type == FILE_TYPE_MF5)
        return getMfxSongInfo(data, length, info, type);
    info->format = SONG_FORMAT_NONE;
    return 0;
}

int getMp3SongInfoId3v2(const uint8_t *data, uint32_t length, SONG_INFO *info)
{
    constexpr uint32_t HEADER = 10;
    if (!data || length < HEADER || std::memcmp(data, "ID3", 3) != 0)
        return 0;
    const uint8_t version = data[3];
    const uint32_t tagEnd = std::min<uint64_t>(uint64_t(HEADER) + readSyncsafe32(data + 6), length);

    // Text frames go straight into their field; the two without one are numbers.
    struct Wanted {
        const char *id;
        char *field;
        int fieldSize;
        int maxChars;
        bool names;              // a title, artist or genre makes the tag count
        bool taken;
    } frames[] = {
        {"TIT2", info->title, int(sizeof info->title), SONG_INFO_TITLE_MAX, true, false},
        {"TPE1", info->artist, int(sizeof info->artist), SONG_INFO_ARTIST_MAX, true, false},
        {"TCON", info->genre, int(sizeof info->genre), SONG_INFO_GENRE_MAX, true, false},
        {"TCOM", info->composer, int(sizeof info->composer), SONG_INFO_COMPOSER_MAX, false, false},
        {"TBPM", nullptr, 0, 0, false, false},
        {"TKEY", info->key, int(sizeof info->key), SONG_INFO_KEY_MAX, false, false},
        {"TLEN", nullptr, 0, 0, false, false},
    };
    constexpr int TBPM = 4;
    constexpr int FRAME_COUNT = int(sizeof frames / sizeof frames[0]);
    int taken = 0;
    bool named = false;

    uint32_t pos = 0;
    while (taken < FRAME_COUNT && pos + HEADER <= tagEnd) {
        const uint8_t *t = static_cast<const uint8_t *>(std::memchr(data + pos, 'T', tagEnd - pos));
        if (!t)
            break;
        const uint32_t f = uint32_t(t - data);
        if (f + HEADER > tagEnd)
            break;
        int which = -1;
        for (int i = 0; i < FRAME_COUNT; ++i)
            if (!frames[i].taken && std::memcmp(t, frames[i].id, 4) == 0)
                which = i;
        if (which < 0) {
            pos = f + 1;
            continue;
        }
        const uint32_t size = version >= 4 ? readSyncsafe32(t + 4) : readU32be(t + 4);
        if (size == 0) {
            pos = f + HEADER;
            continue;
        }
        const uint32_t avail = std::min(size, tagEnd - (f + HEADER));
        const uint8_t *body = t + HEADER;
        Wanted &w = frames[which];
        if (w.field) {
            id3Text(body, avail, w.field, w.fieldSize, uint32_t(w.maxChars - 1));
            named = named || w.names;
        } else {
            char number[NUMBER_TEXT_MAX + 1];
            id3Text(body, avail, number, sizeof number, NUMBER_TEXT_MAX - 1);
            if (which == TBPM) {
                info->bpm = std::atoi(number);
            } else {
                const long value = std::atol(number);
                info->seconds = int32_t(value >= 1001 ? value / 1000 : value);
            }
        }
        w.taken = true;
        ++taken;
        if (uint64_t(f) + HEADER + size >= tagEnd)
            break;
        pos = f + HEADER + size;
    }
    return named ? 1 : 0;
}

int getMp3SongInfoId3v1(const uint8_t *data, uint32_t length, SONG_INFO *info)
{
    constexpr uint32_t TAG = 128;
    if (!data || length < TAG + 1)
        return 0;
    const uint8_t *tag = data + length - TAG;
    if (std::memcmp(tag, "TAG", 3) != 0)
        return 0;
    bool titleTaken = false;
    if (tag[3] != 0) {
        copyField(info->title, sizeof info->title, tag + 3, 30, 30);
        titleTaken = true;
    }
    if (tag[33] == 0)
        return titleTaken ? 1 : 0;
    copyField(info->artist, sizeof info->artist, tag + 33, 30, 30);
    if (!titleTaken)
        return 1;
    const uint8_t genre = tag[127];
    if (genre < ID3V1_GENRE_COUNT) {
        std::memset(info->genre, 0, sizeof info->genre);
        std::snprintf(info->genre, sizeof info->genre, "%s", ID3v1_genres[genre]);
    }
    return 1;
}

int getMp3SongInfo(const uint8_t *data, uint32_t length, SONG_INFO *info)
{
    if (getMp3SongInfoId3v2(data, length, info) == 1)
        return 1;
    return getMp3SongInfoId3v1(data, length, info);
}
