#include "ChordsParser.h"

#include <cctype>
#include <cstring>

const char *const chordListSharp[12] = {"C", "C#", "D", "D#", "E", "F",
                                        "F#", "G", "G#", "A", "A#", "B"};
const char *const chordListFlat[12] = {"C", "Db", "D", "Eb", "E", "F",
                                       "Gb", "G", "Ab", "A", "Bb", "B"};
const char *const chordListComplete[17] = {"C", "C#", "Db", "D", "D#", "Eb", "E", "F", "F#",
                                           "Gb", "G", "G#", "Ab", "A", "A#", "Bb", "B"};
const char *const chordList[12] = {"C", "Db", "D", "Eb", "E", "F",
                                   "F#", "G", "Ab", "A", "Bb", "B"};
const char *const chordList2[12] = {"C", "C#", "D", "D#", "E", "F",
                                    "Gb", "G", "G#", "A", "A#", "B"};
const char *const italChord[7] = {"La", "Si", "Do", "Re", "Mi", "Fa", "Sol"};

const uint8_t chordDegreeSemitones[CHORD_DEGREES] = {0, 2, 4, 5, 7, 9, 11, 12, 14, 16, 17, 19, 21};

// Marks of degrees 1-13: 1 natural, 2 raised, 3 lowered. The first row whose
// marks equal a parsed chord's names it, so the order matters.
const ChordSignature chordsDB[CHORD_TYPES] = {
    {"", {1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"m", {1, 0, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"5", {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"(b5)", {1, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"7", {1, 0, 1, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"M7", {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}},
    {"m7", {1, 0, 3, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"mM7", {1, 0, 3, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}},
    {"7(b5)", {1, 0, 1, 0, 3, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"m7(b5)", {1, 0, 3, 0, 3, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"M7(b5)", {1, 0, 1, 0, 3, 0, 1, 0, 0, 0, 0, 0, 0}},
    {"mM7(b5)", {1, 0, 3, 0, 3, 0, 1, 0, 0, 0, 0, 0, 0}},
    {"7aug", {1, 0, 1, 0, 2, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"m7aug", {1, 0, 3, 0, 2, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"M7aug", {1, 0, 1, 0, 2, 0, 1, 0, 0, 0, 0, 0, 0}},
    {"dim7", {1, 0, 3, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0}},
    {"7sus4", {1, 0, 0, 1, 1, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"2", {1, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"sus2", {1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"sus4", {1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"6", {1, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0}},
    {"6/9", {1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}},
    {"m6", {1, 0, 3, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0}},
    {"m6/9", {1, 0, 3, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}},
    {"9", {1, 0, 1, 0, 1, 0, 3, 0, 1, 0, 0, 0, 0}},
    {"7(b9)", {1, 0, 1, 0, 1, 0, 3, 0, 3, 0, 0, 0, 0}},
    {"7(#9)", {1, 0, 1, 0, 1, 0, 3, 0, 2, 0, 0, 0, 0}},
    {"m9", {1, 0, 3, 0, 1, 0, 3, 0, 1, 0, 0, 0, 0}},
    {"m7(b9)", {1, 0, 3, 0, 1, 0, 3, 0, 3, 0, 0, 0, 0}},
    {"m7(#9)", {1, 0, 3, 0, 1, 0, 3, 0, 2, 0, 0, 0, 0}},
    {"M9", {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0}},
    {"M7(b9)", {1, 0, 1, 0, 1, 0, 1, 0, 3, 0, 0, 0, 0}},
    {"M7(#9)", {1, 0, 1, 0, 1, 0, 1, 0, 2, 0, 0, 0, 0}},
    {"add9", {1, 0, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}},
    {"madd9", {1, 0, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}},
    {"9sus4", {1, 0, 0, 1, 1, 0, 3, 0, 1, 0, 0, 0, 0}},
    {"11", {1, 0, 1, 0, 1, 0, 3, 0, 0, 0, 1, 0, 0}},
    {"m11", {1, 0, 3, 0, 1, 0, 3, 0, 0, 0, 1, 0, 0}},
    {"M11", {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 1, 0, 0}},
    {"add11", {1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0}},
    {"madd11", {1, 0, 3, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0}},
    {"13", {1, 0, 1, 0, 1, 0, 3, 0, 0, 0, 0, 0, 1}},
    {"m13", {1, 0, 3, 0, 1, 0, 3, 0, 0, 0, 0, 0, 1}},
    {"M13", {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1}},
    {"add13", {1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
    {"madd13", {1, 0, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
    {"aug", {1, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"dim", {1, 0, 3, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0}},
};

const ChordSignature chordsDBEnd = {"end", {0}};

const S_GUITAR_CHORD emptyGuitarChord = {
    "", {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}, -1, -1, -1, 0};

namespace {

bool isNoteLetter(char c)
{
    return c >= 'A' && c <= 'G';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Bounded copy that always terminates; returns the length written.
int copyText(char *dst, int size, const char *src)
{
    if (size <= 0)
        return 0;
    int n = 0;
    while (src && src[n] && n < size - 1) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = '\0';
    return n;
}

bool startsWithNoCase(const char *s, const char *word)
{
    for (; *word; ++s, ++word)
        if (std::tolower(static_cast<unsigned char>(*s)) != *word)
            return false;
    return true;
}

int rootLength(const char *name)
{
    if (!name[0])
        return 0;
    return (name[1] == '#' || name[1] == 'b') ? 2 : 1;
}

int wrapSemitones(int semitones)
{
    return ((semitones % 12) + 12) % 12;
}

// Respells the root of the text in buf (capacity cap bytes) moved by
// semitones; the list holding the written root decides the spelling.
void transposeRootIn(char *buf, int cap, int semitones, const char *const *firstList,
                     const char *const *otherList)
{
    if (semitones == 0 || cap <= 1)
        return;
    const int oldLen = rootLength(buf);
    if (oldLen == 0)
        return;
    const char *const *list = nullptr;
    int index = -1;
    for (int i = 0; i < 12 && !list; ++i) {
        if (std::strncmp(buf, firstList[i], size_t(oldLen)) == 0 && firstList[i][oldLen] == '\0')
            list = firstList;
        else if (std::strncmp(buf, otherList[i], size_t(oldLen)) == 0 && otherList[i][oldLen] == '\0')
            list = otherList;
        if (list)
            index = i;
    }
    if (!list)
        return;
    const char *newRoot = list[(wrapSemitones(semitones) + index) % 12];
    int newLen = int(std::strlen(newRoot));
    if (newLen > cap - 1)
        newLen = cap - 1;
    int restLen = int(std::strlen(buf + oldLen));
    if (newLen + restLen > cap - 1)
        restLen = cap - 1 - newLen;
    std::memmove(buf + newLen, buf + oldLen, size_t(restLen));
    std::memcpy(buf, newRoot, size_t(newLen));
    buf[newLen + restLen] = '\0';
}

// The part after the first "/" as a name of its own, then the root.
void transposeWhole(char *buf, int cap, int semitones, const char *const *upFirst,
                    const char *const *downFirst)
{
    const char *const *first = semitones >= 1 ? upFirst : downFirst;
    const char *const *other = semitones >= 1 ? downFirst : upFirst;
    if (char *slash = std::strchr(buf, '/')) {
        const int bassAt = int(slash - buf) + 1;
        transposeRootIn(buf + bassAt, cap - bassAt, semitones, first, other);
    }
    transposeRootIn(buf, cap, semitones, first, other);
}

enum class Modifier { None, Maj, Min, Flat, Sharp, Sus, Aug, Dim, Add, No };

struct DegreeMarks {
    uint8_t d[CHORD_DEGREES] = {};
    uint8_t &operator[](int degree) { return d[degree - 1]; }

    void set(int degree, uint8_t mark)
    {
        if (degree >= 1 && degree <= CHORD_DEGREES)
            d[degree - 1] = mark;
    }
};

void applyNumber(DegreeMarks &m, int n, Modifier mod)
{
    if (mod == Modifier::No) {
        m.set(n, DEGREE_ABSENT);
        return;
    }
    if (mod == Modifier::Sus && n == 2) {
        m[4] = DEGREE_ABSENT;
        m[2] = DEGREE_NATURAL;
        return;
    }
    if (n == 7) {
        if (mod == Modifier::Maj || mod == Modifier::Sharp)
            m[7] = DEGREE_NATURAL;
        else if (mod == Modifier::Dim)
            m[6] = DEGREE_NATURAL;
        else
            m[7] = DEGREE_LOWERED;
        return;
    }
    if (n == 4 && mod != Modifier::Add)
        m[3] = DEGREE_ABSENT;
    m.set(n, mod == Modifier::Sharp ? DEGREE_RAISED
             : mod == Modifier::Flat ? DEGREE_LOWERED
                                     : DEGREE_NATURAL);
    // A bare extension implies the seventh: 9 is dominant, M9 major, 6/9 none.
    if (n >= 8 && mod != Modifier::Add && !m[7] && !m[6])
        m[7] = mod == Modifier::Maj ? DEGREE_NATURAL : DEGREE_LOWERED;
}

// Reads the degree list after the root into marks; false on an unreadable token.
bool parseRest(const char *rest, DegreeMarks &m)
{
    Modifier mod = Modifier::None;
    int pending = 0;
    const char *p = rest;
    while (*p) {
        if (startsWithNoCase(p, "maj")) {
            mod = Modifier::Maj;
            p += 3;
        } else if (startsWithNoCase(p, "mj")) {
            mod = Modifier::Maj;
            p += 2;
        } else if (*p == 'M') {
            mod = Modifier::Maj;
            p += 1;
        } else if (*p == 'm') {
            m[3] = DEGREE_LOWERED;
            mod = Modifier::Min;
            if (startsWithNoCase(p + 1, "in"))
                p += 3;
            else if (p[1] == 'i' || p[1] == 'I')
                p += 2;
            else
                p += 1;
        } else if (*p == 'b' || *p == '-' || *p == '#' || *p == '+') {
            const Modifier acc = (*p == 'b' || *p == '-') ? Modifier::Flat : Modifier::Sharp;
            if (pending) {
                // 7+ is a major seventh, 5- a lowered fifth.
                applyNumber(m, pending, acc);
                pending = 0;
                mod = Modifier::None;
            } else {
                mod = acc;
            }
            p += 1;
        } else if (startsWithNoCase(p, "sus")) {
            m[3] = DEGREE_ABSENT;
            m[4] = DEGREE_NATURAL;
            mod = Modifier::Sus;
            p += 3;
        } else if (std::strncmp(p, "aug", 3) == 0) {
            m[5] = DEGREE_RAISED;
            mod = Modifier::Aug;
            p += 3;
        } else if (std::strncmp(p, "dim", 3) == 0) {
            m[3] = DEGREE_LOWERED;
            m[5] = DEGREE_LOWERED;
            mod = Modifier::Dim;
            p += 3;
        } else if (std::strncmp(p, "add", 3) == 0) {
            mod = Modifier::Add;
            p += 3;
        } else if (std::strncmp(p, "no", 2) == 0) {
            mod = Modifier::No;
            p += 2;
        } else if (p[0] == '1' && (p[1] == '1' || p[1] == '3')) {
            const int n = p[1] == '1' ? 11 : 13;
            applyNumber(m, n, mod);
            pending = mod == Modifier::None ? n : 0;
            mod = Modifier::None;
            p += 2;
        } else if (std::strchr("724569", *p)) {
            const int n = *p - '0';
            applyNumber(m, n, mod);
            pending = mod == Modifier::None ? n : 0;
            mod = Modifier::None;
            p += 1;
        } else if (*p == '/' || *p == '_' || *p == '(' || *p == ')') {
            if (mod != Modifier::None && pending)
                applyNumber(m, pending, mod);
            mod = Modifier::None;
            pending = 0;
            p += 1;
        } else {
            return false;
        }
    }
    if (pending && mod != Modifier::None)
        applyNumber(m, pending, mod);
    return true;
}

void setUnrecognised(const char *input, ChordInfo *out)
{
    out->root = -1;
    out->type = -1;
    out->bass = -1;
    copyText(out->text, CHORD_TEXT_SIZE, input);
    ChordsParser_GetItalianString(out->text, out->italianText, CHORD_TEXT_SIZE);
}

} // namespace

int ChordsParser_PitchClass(const char *note)
{
    static const struct {
        const char *name;
        int pc;
    } names[] = {{"C", 0},  {"B#", 0}, {"C#", 1}, {"Db", 1},  {"D", 2},   {"D#", 3},
                 {"Eb", 3}, {"E", 4},  {"Fb", 4}, {"F", 5},   {"E#", 5},  {"F#", 6},
                 {"Gb", 6}, {"G", 7},  {"G#", 8}, {"Ab", 8},  {"A", 9},   {"A#", 10},
                 {"Bb", 10}, {"B", 11}, {"Cb", 11}};
    if (!note)
        return -1;
    for (const auto &n : names)
        if (std::strcmp(note, n.name) == 0)
            return n.pc;
    return -1;
}

int ChordsParser_ParseChord(const char *text, ChordInfo *out)
{
    if (!out)
        return 0;
    bool blank = true;
    for (const char *p = text; p && *p; ++p)
        if (!isBlank(*p))
            blank = false;
    if (blank) {
        setUnrecognised("", out);
        return 0;
    }

    char s[CHORD_TEXT_SIZE];
    int len = 0;
    for (const char *p = text; *p && len < CHORD_TEXT_SIZE - 1; ++p)
        if (!isBlank(*p))
            s[len++] = *p;
    s[len] = '\0';

    // "6/9" keeps its slash: only a note name after it is a bass.
    const char *bassText = "";
    if (char *slash = std::strchr(s, '/')) {
        if (slash[1] && isNoteLetter(slash[1])) {
            bassText = slash + 1;
            *slash = '\0';
        }
    }

    if (!isNoteLetter(s[0])) {
        setUnrecognised(text, out);
        return 0;
    }
    char rootText[3] = {s[0], 0, 0};
    if (s[1] == '#' || s[1] == 'b')
        rootText[1] = s[1];
    const char *rest = s + std::strlen(rootText);

    DegreeMarks marks;
    marks[1] = marks[3] = marks[5] = DEGREE_NATURAL;
    if (std::strcmp(rest, "5") == 0) {
        marks[3] = DEGREE_ABSENT;
    } else if (!parseRest(rest, marks)) {
        setUnrecognised(text, out);
        return 0;
    }

    int type = -1;
    for (int t = 0; t < CHORD_TYPES && type < 0; ++t)
        if (std::memcmp(chordsDB[t].degree, marks.d, CHORD_DEGREES) == 0)
            type = t;
    if (type < 0) {
        setUnrecognised(text, out);
        return 1;
    }

    const int bass = ChordsParser_PitchClass(bassText);
    out->root = int16_t(ChordsParser_PitchClass(rootText));
    out->type = int16_t(type);
    out->bass = int16_t(bass);
    int n = copyText(out->text, CHORD_TEXT_SIZE, rootText);
    n += copyText(out->text + n, CHORD_TEXT_SIZE - n, chordsDB[type].suffix);
    if (bass >= 0) {
        n += copyText(out->text + n, CHORD_TEXT_SIZE - n, "/");
        copyText(out->text + n, CHORD_TEXT_SIZE - n, bassText);
    }
    ChordsParser_GetItalianString(out->text, out->italianText, CHORD_TEXT_SIZE);
    return 1;
}

int ChordsParser_TransposeChord(char *dst, const char *src, int semitones, int length)
{
    if (!dst || length <= 0)
        return 1;
    if (!src) {
        dst[0] = '\0';
        return 1;
    }
    if (dst != src) {
        size_t n = std::strlen(src);
        if (n > size_t(length - 1))
            n = size_t(length - 1);
        std::memmove(dst, src, n);
        dst[n] = '\0';
    } else {
        dst[length - 1] = '\0';
    }
    transposeWhole(dst, length, semitones, chordListSharp, chordListFlat);
    return 1;
}

void ChordsParser_GetTransposedString(char *name, int semitones)
{
    if (!name)
        return;
    const bool up = semitones >= 1;
    transposeRootIn(name, CHORD_TEXT_SIZE, semitones, up ? chordListSharp : chordListFlat,
                    up ? chordListFlat : chordListSharp);
}

void ChordsParser_GetItalianString(const char *src, char *dst, int length)
{
    if (!dst || length <= 0)
        return;
    if (!src)
        src = "";
    int srcLen = 0;
    while (srcLen < length && src[srcLen])
        ++srcLen;

    bool convert = true;
    for (int i = 0; i + 1 < srcLen; ++i) {
        if ((src[i] == 'D' && (src[i + 1] == 'o' || src[i + 1] == 'O'))
            || (src[i] == 'd' && src[i + 1] == 'o'))
            convert = false;
    }
    int bassAt = -1;
    for (int i = 0; i < srcLen; ++i) {
        if (src[i] == '/') {
            bassAt = i + 1;
            break;
        }
    }

    // dst may be src itself, so build in a local buffer first.
    char work[4 * CHORD_TEXT_SIZE];
    const int cap = length < int(sizeof work) ? length : int(sizeof work);
    int n = 0;
    for (int i = 0; i < srcLen && n < cap - 1; ++i) {
        const char c = src[i];
        if (convert && (i == 0 || i == bassAt) && isNoteLetter(c)) {
            for (const char *it = italChord[c - 'A']; *it && n < cap - 1; ++it)
                work[n++] = *it;
        } else {
            work[n++] = c;
        }
    }
    std::memcpy(dst, work, size_t(n));
    dst[n] = '\0';
}

void transposeChord(char *name, int semitones, int keepInternational)
{
    if (!name)
        return;
    name[TWIN_CHORD_SIZE - 1] = '\0';
    transposeWhole(name, TWIN_CHORD_SIZE, semitones, chordList2, chordList);
    if (!keepInternational)
        changeChordIntoITA(name);
}

void changeChordIntoITA(char *name)
{
    if (!name)
        return;
    ChordsParser_GetItalianString(name, name, TWIN_ITALIAN_LEN + 1);
}
