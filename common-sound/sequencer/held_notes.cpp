// What the song holds, kept through a pause, a key change and the mix's
// changes: the interpreter records it as it plays, and on request brings
// what sounds in line with what the mix lets sound now.
#include "held_notes.h"

#include "RealTime.h"
#include "cinterface.h"
#include "logmsg.h"
#include "note_decay.h"
#include "sequencer_ex_p.h"

#include <atomic>
#include <cstring>

namespace {

constexpr uint8_t RESYNC_WITH_MUSIC = 1;
constexpr uint8_t RESYNC_AT_ONCE = 2;
std::atomic<uint8_t> g_resync[2];

constexpr uint8_t CC_SUSTAIN = 64;
constexpr uint8_t CC_ALL_NOTES_OFF = 123;

void send(uint8_t output, uint8_t status, uint8_t d1, uint8_t d2)
{
    const uint8_t msg[3] = {status, d1, d2};
    CINTERFACE_SendMidiEvent(output, msg, 3);
}

// One channel of a slot as the mix stands now.
struct ChannelNow {
    HeldNotes &h;
    int flat;
    uint8_t output;
    uint8_t ch;
    int transpose;    // key + transpose is where a key sounds
    bool melody;      // the melody channel
    bool halved;      // its SEMI mode
    uint32_t nowMs;

    int pitchOf(int key) const
    {
        const int p = key + transpose;
        return p < 0 || p > 127 ? -1 : p;
    }
    // The program sent last, else the one the song starts the channel with
    // (General MIDI's piano when it names none).
    uint8_t programOf() const
    {
        if (h.program[flat] != NO_PROGRAM_SENT)
            return h.program[flat];
        const uint8_t first = RT_info[flat][RT_INFO_PROGRAM].load(std::memory_order_relaxed);
        return first < 128 ? first : 0;
    }
    bool isHalved(int key) const { return (h.strikeVelocity[flat][key] & STRIKE_HALVED) != 0; }
    // Sounding, but not as the key and the melody's level now want it.
    bool stale(int key) const
    {
        const uint8_t struck = h.struck[flat][key];
        return struck != NOTE_NOT_STRUCK && (struck != pitchOf(key) || (melody && isHalved(key) != halved));
    }

    // A channel the mix keeps from sounding lets go of everything at once;
    // its notes end as a player's would, nothing else is touched.
    void silence()
    {
        if (h.sustain[flat] >= 64 && !h.pedalCut[flat]) {
            send(output, uint8_t(0xB0 | ch), CC_SUSTAIN, 0);
            h.pedalCut[flat] = 1;
        }
        send(output, uint8_t(0xB0 | ch), CC_ALL_NOTES_OFF, 0);
        std::memset(h.struck[flat], NOTE_NOT_STRUCK, sizeof h.struck[flat]);
    }

    // What the channel holds sounds as it should: each note at the key and
    // level of now, the pedal down where the song holds it. The notes that
    // already do are left alone.
    void bringBack(bool drum)
    {
        uint8_t *struck = h.struck[flat];
        // A note the pedal holds ends only with the pedal.
        if (h.sustain[flat] >= 64 && !h.pedalCut[flat]) {
            bool lift = false;
            for (int key = 0; key < 128 && !lift; ++key)
                lift = h.pedalHeld[flat][key] && stale(key);
            if (lift) {
                send(output, uint8_t(0xB0 | ch), CC_SUSTAIN, 0);
                h.pedalCut[flat] = 1;
                for (int key = 0; key < 128; ++key)
                    if (h.pedalHeld[flat][key])
                        struck[key] = NOTE_NOT_STRUCK;
            }
        }
        // Every note that ends before any is struck: a note struck at the
        // pitch another one leaves would end with it.
        for (int key = 0; key < 128; ++key) {
            if ((h.velocity[flat][key] || h.pedalHeld[flat][key]) && stale(key)) {
                send(output, uint8_t(0x80 | ch), struck[key], 0);
                struck[key] = NOTE_NOT_STRUCK;
            }
        }
        if (h.pedalCut[flat]) {
            if (h.sustain[flat] >= 64)
                send(output, uint8_t(0xB0 | ch), CC_SUSTAIN, h.sustain[flat]);
            h.pedalCut[flat] = 0;
        }
        if (drum)
            return;
        for (int key = 0; key < 128; ++key) {
            if (h.velocity[flat][key])
                strike(key, false);
            else if (h.pedalHeld[flat][key])
                strike(key, true);
        }
    }

    // Strikes a silent held note at the level it has now (its last strike,
    // decayed since); one the pedal holds is let go again at once.
    void strike(int key, bool letGo)
    {
        const int pitch = pitchOf(key);
        if (h.struck[flat][key] != NOTE_NOT_STRUCK || pitch < 0)
            return;
        const uint8_t last = h.strikeVelocity[flat][key];
        const int full = isHalved(key) ? 2 * (last & 0x7F) : last;
        // Engine time starts again at a song's fast start: none has passed.
        const uint32_t since = nowMs >= h.strikeMs[flat][key] ? nowMs - h.strikeMs[flat][key] : 0;
        const uint8_t v = velocityAfterDecay(uint8_t(full > 127 ? 127 : full), programOf(), since);
        const uint8_t sent = halved ? semiMute(v) : v;
        if (!sent)
            return; // died away meanwhile
        send(output, uint8_t(0x90 | ch), uint8_t(pitch), sent);
        h.struck[flat][key] = uint8_t(pitch);
        h.strikeVelocity[flat][key] = uint8_t(sent | (halved ? STRIKE_HALVED : 0));
        h.strikeMs[flat][key] = nowMs;
        if (letGo)
            send(output, uint8_t(0x80 | ch), uint8_t(pitch), 0);
    }
};

} // namespace

HeldNotes songHeld[2];

void HeldNotes::press(int flat, uint8_t key, uint8_t songVelocity, uint8_t pitch, uint8_t sent, uint32_t nowMs)
{
    velocity[flat][key] = songVelocity;
    pedalHeld[flat][key] = 0;
    struck[flat][key] = pitch;
    strikeVelocity[flat][key] = sent;
    strikeMs[flat][key] = nowMs;
}

void HeldNotes::letGo(int flat, uint8_t key)
{
    // The song's pedal, also while a cut let it go: the note is the song's.
    if (sustain[flat] >= 64 && velocity[flat][key]) {
        pedalHeld[flat][key] = velocity[flat][key];
        if (pedalCut[flat])
            struck[flat][key] = NOTE_NOT_STRUCK;
    } else {
        struck[flat][key] = NOTE_NOT_STRUCK;
    }
    velocity[flat][key] = 0;
}

void HeldNotes::pedal(int flat, uint8_t value)
{
    sustain[flat] = value;
    pedalCut[flat] = 0;
    if (value >= 64)
        return;
    for (int key = 0; key < 128; ++key) {
        if (!pedalHeld[flat][key])
            continue;
        pedalHeld[flat][key] = 0;
        struck[flat][key] = NOTE_NOT_STRUCK;
    }
}

void heldNotesClear(int role)
{
    HeldNotes &h = songHeld[role == 0 ? 0 : 1];
    std::memset(&h, 0, sizeof h);
    std::memset(h.struck, NOTE_NOT_STRUCK, sizeof h.struck);
    std::memset(h.program, NO_PROGRAM_SENT, sizeof h.program);
}

namespace {
struct HeldNotesInit {
    HeldNotesInit()
    {
        heldNotesClear(0);
        heldNotesClear(1);
    }
} g_heldNotesInit;
} // namespace

void heldNotesCut(int output, int channel)
{
    for (HeldNotes &h : songHeld) {
        for (int flat : {channel & 15, (channel & 15) + 16}) {
            if (h.output[flat] != output)
                continue;
            std::memset(h.struck[flat], NOTE_NOT_STRUCK, sizeof h.struck[flat]);
            h.pedalCut[flat] = 1;
        }
    }
}

void heldNotesResync(int role, bool atOnce)
{
    std::atomic<uint8_t> &request = g_resync[role == 0 ? 0 : 1];
    // At once wins over with the music when both are asked for.
    uint8_t asked = request.load(std::memory_order_relaxed);
    const uint8_t want = atOnce ? RESYNC_AT_ONCE : RESYNC_WITH_MUSIC;
    while (asked < want && !request.compare_exchange_weak(asked, want, std::memory_order_acq_rel)) {
    }
}

bool heldNoteAllowed(const Db *db, const DbLayer &L, int flat)
{
    if (db && db->anySolo == 0) {
        if (L.muteSolo == DB_MUTE)
            return false;
    } else if (db && L.muteSolo != DB_SOLO) {
        return false;
    }
    return !(flat == int(melodyChannel.load(std::memory_order_relaxed)) && mute.load(std::memory_order_relaxed) == 1);
}

void heldNotesRun(MidiStream *s, const Db *db)
{
    const int role = slotIndexOf(s);
    const uint32_t flags = sflags(s);
    // A seek under way first lands: what is held there is known then.
    if ((flags & SF_FORWARD_SEEK) || (flags & (SF_AUDIBLE | SF_FADE_OUT_NOW)) != SF_AUDIBLE)
        return;
    const uint8_t request = g_resync[role].exchange(0, std::memory_order_acq_rel);
    if (!request)
        return;
    const RealTime::MessageTime at(RealTime::messageTimeMs(), request == RESYNC_AT_ONCE);
    HeldNotes &h = songHeld[role];
    static const DbLayer noLayer{};
    const int melody = melodyChannel.load(std::memory_order_relaxed);
    const bool halved = mute.load(std::memory_order_relaxed) == 2;
    const uint32_t now = uint32_t(nowUs() / 1000);
    for (int flat = 0; flat < SEQ_FLAT_CHANNELS; ++flat) {
        if (!h.output[flat])
            continue;
        const int layer = RT_info[flat][RT_INFO_LAYER].load(std::memory_order_relaxed) & 3;
        const DbLayer &L = db ? db->layers[flat][layer] : noLayer;
        const int transpose = int(L.transpose) + int(s->transpose) + globalTranspose.load(std::memory_order_relaxed);
        ChannelNow c{h, flat, h.output[flat], uint8_t(flat & 15), transpose, flat == melody, flat == melody && halved,
                     now};
        if (heldNoteAllowed(db, L, flat))
            c.bringBack((L.flags & DB_FLAG_DRUM) != 0);
        else
            c.silence();
    }
}
