// The event interpreter: one run over the slot named by the interpreter
// pointers sends every event that is due, applying the song's stored channel
// settings and the user's offsets, and turns the bar and beat markers into
// the click, the bar and beat signals and the seek and jump hooks.
//
// Timing: the reader sits on the next event of the stream (its delta already
// read); an event's tick is the sum of the deltas before it, counted from the
// start of the running segment. A segment starts at a tempo change, a seek or
// a restart, at the exact engine time the change falls on, so rounding never
// accumulates and a late pass never shifts the rest of the song.
#include "sequencer_ex_p.h"

#include "ByteReader.h"
#include "ExtractProc.h"
#include "Fading.h"
#include "MIDI_const.h"
#include "cinterface.h"
#include "inserts.h"
#include "logmsg.h"
#include "midi_controls.h"
#include "RealTime.h"
#include "sequencer_click.h"
#include "sequencer_goto.h"
#include "sequencer_signals.h"
#include "volumes.h"

#include <algorithm>
#include <cstring>

namespace {
const char *const LOG_SRC = SEQUENCER_EX_LOG_SRC;

constexpr int FAST_START_FIRST_NOTE_TICK = 400;
constexpr int MAX_SEEK_EVENTS_PER_PASS = 49;
constexpr uint16_t NO_RUNNING_STATUS = UNSET_WORD;
constexpr uint32_t MAX_DELTA = 0x0FFFFFFF;

enum class Run { Continue, End };

// What one run reads: the slot's event buffer or a chase list.
struct Source {
    const uint8_t *data = nullptr;
    uint32_t size = 0;
    Db *db = nullptr;
    bool aux = false;
};
Source g_src;

// The tempo offset last signalled, so that the signal fires on change only.
int g_lastSignalledDelta = 0x7FFFFFFF;

// Bounded reader over the run's source: a read at or past the end yields 0
// and marks the read as failed (never touches memory beyond the stream).
struct Reader {
    uint32_t &pos;
    bool failed = false;

    explicit Reader(uint32_t &p) : pos(p) {}
    uint8_t byte()
    {
        if (failed || !g_src.data || pos >= g_src.size) {
            failed = true;
            return 0;
        }
        return g_src.data[pos++];
    }
};

inline MidiStream *S() { return irqMidiStream; }
inline Mfi *M() { return irqMfi; }
inline EngineSlotTiming &T() { return timingOf(irqMidiStream); }

bool shown()
{
    return SEQUENCER_EX_getAssociateTextArea(irqMfi) == int(txtArea.load(std::memory_order_relaxed));
}

bool crossfading()
{
    return stHas(ST_CROSSFADE);
}

int flatChannelOf(uint8_t status)
{
    const int ch = status & 15;
    return (sflags(S()) & (SF_OUT_SEL_1 | SF_OUT_SEL_2 | SF_CHASE_HIGH)) == SF_OUT_SEL_1 ? ch : ch + 16;
}

int layerOf(int flat)
{
    return RT_info[flat][RT_INFO_LAYER].load(std::memory_order_relaxed) & 3;
}

void routeSend(const uint8_t *data, int len)
{
    CINTERFACE_SendMidiEvent(eventOutput(S()).number(), data, len);
}

int transposed(int key, const DbLayer &L)
{
    return key + int(L.transpose) + int(S()->transpose) + globalTranspose.load(std::memory_order_relaxed);
}

void setMeter(int flat, int layer, int value)
{
    if (noteOnVolume[flat].load(std::memory_order_relaxed) == value)
        return;
    noteOnVolume[flat].store(int16_t(value), std::memory_order_relaxed);
    C_SIGNAL_NoteOnVolumeChanged(flat, layer, value);
}

// A read error stops this slot for good: one report, no further reads.
void streamError(uint16_t code, uint16_t stopReason = 0)
{
    M()->errorCode = code;
    stop.store(1);
    if (stopReason)
        stopchi.store(stopReason);
    sflagsSet(S(), SF_SUSPENDED);
    EngineSlotTiming &e = T();
    if (!e.errorReported) {
        e.errorReported = 1;
        rtLogMsg(1, LOG_SRC, __LINE__, "MIDI playback error, code %d: the song ends here", code);
        C_SIGNAL_SongEnded();
    }
}

ByteReader::VlqRead readVlq(Reader &r, uint32_t &value, int maxBytes)
{
    return ByteReader::readVlq(
        [&r](uint8_t &b) {
            b = r.byte();
            return !r.failed;
        },
        value, maxBytes);
}

// Delta time of up to five bytes; false after an error (reported).
bool readDelta(Reader &r, uint32_t &delta)
{
    switch (readVlq(r, delta, 5)) {
    case ByteReader::VlqRead::Ok:
        if (delta > MAX_DELTA)
            delta = MAX_DELTA;
        return true;
    case ByteReader::VlqRead::OutOfData:
        streamError(SEQ_ERR_PAST_END);
        break;
    case ByteReader::VlqRead::TooLong:
        streamError(SEQ_ERR_BAD_DELTA, STOPCHI_BAD_DELTA);
        break;
    }
    delta = 0;
    return false;
}

// Count of a SysEx or meta event: one or two bytes; a second byte that
// announces a third is taken as the last.
uint32_t readCount(Reader &r)
{
    uint32_t count;
    readVlq(r, count, 2);
    return count;
}

void updateCurrentTick()
{
    MidiStream *s = S();
    const EngineSlotTiming &e = T();
    if (e.usPerQuarter == 0)
        return;
    const uint64_t now = nowUs();
    const uint64_t elapsed = now > e.baseUs ? now - e.baseUs : 0;
    const uint32_t tpqn = M()->tpqn ? M()->tpqn : EXTRACT_TPQN;
    const uint64_t tick = elapsed * tpqn / e.usPerQuarter;
    s->currentTick = tick > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(tick);
}

// Engine time at which the pending event falls.
uint64_t pendingEventTime()
{
    const MidiStream *s = S();
    const EngineSlotTiming &e = T();
    const uint64_t now = nowUs();
    if (e.usPerQuarter == 0 || (sflags(s) & SF_FORWARD_SEEK) || s->eventTick < 0)
        return now;
    const uint32_t tpqn = M()->tpqn ? M()->tpqn : EXTRACT_TPQN;
    const uint64_t at = e.baseUs + uint64_t(s->eventTick) * e.usPerQuarter / tpqn;
    return at < now ? at : now;
}

bool isNoteOnMessage(const uint8_t *msg)
{
    return (msg[0] & 0xF0) == 0x90 && msg[2] != 0;
}

// ---- jump hooks

int tempoMatch(MidiStream *newStream, const MidiStream *oldStream)
{
    const int newSum = int(newStream->songBpm) + int(newStream->userTempoDelta);
    const int oldSum = int(oldStream->songBpm) + int(oldStream->userTempoDelta);
    if (newSum <= 0 || oldSum <= 0)
        return 0;
    const int ratio = 100 * newSum / oldSum;
    if (ratio < 85 || ratio > 115 || !isAutoBpm(newSum, oldSum))
        return 0;
    newStream->autoTempoDelta = int16_t(int(oldStream->songBpm) + int(oldStream->userTempoDelta) +
                                        int(oldStream->autoTempoDelta) - newSum);
    const int effective = newSum + int(newStream->autoTempoDelta);
    if (effective > 0)
        newStream->msPerBeat = ((60000000u / uint32_t(effective)) & ~0x7Fu) / 1000;
    timingOf(newStream).usPerQuarter = effectiveUsPerQuarter(newStream);
    return 1;
}

void armAutoBpm(MidiStream *newStream)
{
    sflagsSet(newStream, SF_AUTO_BPM);
    autoBpmStep = 0;
    autoBpmTime = tCount.load() + deltasAutoset[0];
}

void fadeOutStart()
{
    MidiStream *s = S();
    jumpStatus.store(JUMP_FADE_OUT);
    jumpFadeFactor = LEVEL_FADE_START_FACTOR;
    const uint32_t beats = uint32_t(getFadeBeat(nowIsPlaying.load()));
    prescalerFade = reloadValPrescalerFade = beats * s->msPerBeat / LEVEL_FADE_WAIT_DIVISOR;
    sflagsClear(s, SF_FADE_OUT_NOW);
}

void immediateJump()
{
    MidiStream *s = S();
    const int newRole = nowIsPlaying.load() ? 0 : 1;
    MidiStream *next = roleStream(newRole);
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:%i] Immediate Jump:", __LINE__);
    if (cueingMode.load() == CUEING_IMMEDIATE_MATCHED && tempoMatch(next, s) && autoSetBpm.load())
        armAutoBpm(next);
    if (StFlag.fetch_and(~ST_JUMP_PREPARED) & ST_JUMP_PREPARED) {
        INSERTS_SwitchBank(s->port);
        CINTERFACE_SetMidiVolumeCorrection(ownOutput(s->port).other(),
                                           CINTERFACE_GetMidiVolumeCorrection(ownOutput(s->port)));
    }
    if (sflags(s) & SF_USES_SECOND_PORT)
        RestartStream(s, M());
    else
        CloseActualStream(0);
    nowIsPlaying.store(uint16_t(newRole));
    tCount.store(0);
    updateMidiChannelVol();
    updateMidiAllChanelVolumes();
    StartStream(next);
    setTextAreaActive(newRole);
    stClear(ST_GOTO_PENDING);
    jumpStatus.store(0);
    setRtBeat(next->currentBeat);
    setRtBar(timingOf(next).bar);
    uint8_t buffer[SEQ_MSG_BUF_SIZE];
    int length = 0;
    INSERTS_LoadAllFromDb(next->db, next->port, buffer, &length);
    CINTERFACE_SendMidiEvent(homeOutput(next).number(), buffer, length);
    INSERTS_GetConfig(next->insertConfig);
    if (next->db) {
        sendMidiChorus(next->db->chorusMacro);
        sendMidiReverb(next->db->reverbMacro);
    }
    SEQUENCER_EX_MelodyClick_ResetChan();
    SEQUENCER_EX_SendHarmAllNoteOff();
    if (sflags(next) & SF_AUTO_BPM)
        autoBpmTime = tCount.load();
    C_SIGNAL_JumpSwapSong();
    C_SIGNAL_JumpDone();
    SEQUENCER_CLICK_ClickBar();
    C_SIGNAL_BarEvent(crossfading() ? -1 : int(timingOf(next).bar));
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:] END Immediate Jump:");
}

void crossFadeStart()
{
    MidiStream *s = S();
    const int leavingRole = slotIndexOf(s);
    stSet(ST_CROSSFADE);
    tCount.store(0);
    rebaseStream(s, 0);
    const int newRole = nowIsPlaying.load() ? 0 : 1;
    nowIsPlaying.store(uint16_t(newRole));
    MidiStream *next = roleStream(newRole);
    multipleFadeCurve = FadeDiscoMode;
    if (tempoMatch(next, s) && autoSetBpm.load())
        armAutoBpm(next);
    StartStream(next);
    jumpStatus.store(JUMP_CROSSFADE);
    jumpFadeFactor = CROSSFADE_START_FACTOR;
    sflagsSet(s, SF_XFADE_OWN_DB);
    sflagsClear(s, SF_XFADE_SAVED_DB);
    sflagsSet(next, SF_XFADE_SAVED_DB);
    sflagsClear(next, SF_XFADE_OWN_DB);
    savedDb = roleInfos(newRole) ? roleInfos(newRole)->db : nullptr;
    prescalerFade = reloadValPrescalerFade = uint32_t(getFadeBeat(leavingRole)) * CROSSFADE_STEP_TICKS_PER_BEAT;
    SendFade4jump();
    if (multipleFadeCurve) {
        updateMidiAllChanelVolumes();
        MidiChannelVolumeTask(roleStream(0), roleDb(0));
        MidiChannelVolumeTask(roleStream(1), roleDb(1));
    }
    updateMidiChannelVol();
    VolumeTask();
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:%i] CrossFade START:", __LINE__);
}

// ---- end of song

// A song's last notes are heard behind the output's latency (a software
// synthesizer's queue, up to a few hundred ms) and ring out after their
// note-off: the end, whose cut of every channel would leave out a note still
// queued, waits this long after the song's last event.
constexpr uint64_t kEndTailUs = 600000;
// Per slot: when the end that waits may come (0: none waits). One a second
// past its time, or further ahead than a tail (the clock starts anew with
// each song), was left behind by a stop or a seek.
uint64_t endTailUntil[2] = {0, 0};

bool endTailWaits(const MidiStream *s)
{
    uint64_t &until = endTailUntil[slotIndexOf(s) & 1];
    const uint64_t now = nowUs();
    if (until == 0 || now > until + 1000000 || until > now + kEndTailUs) {
        until = now + kEndTailUs;
        return true;
    }
    if (now < until)
        return true;
    until = 0;
    return false;
}

Run endOfSong()
{
    MidiStream *s = S();
    Mfi *m = M();
    const uint32_t flags = sflags(s);
    if (flags & SF_CHASE) {
        // Back from the chase list to the song's own events at its start bar.
        sflagsAssign(s, (flags & ~(SF_PENDING | SF_CHASE)) | SF_SKIP_DELTA);
        m->errorCode = 0;
        int b = s->startBar;
        if (cueingMode.load() == CUEING_BACK_TWO_BARS)
            b = b >= 2 ? b - 2 : 0;
        if (b >= MAX_BARS)
            b = MAX_BARS - 1;
        T().bar = s->startBar;
        s->currentBar = uint8_t(s->startBar);
        m->readPosition = irqMidiInfoStream ? irqMidiInfoStream->barOffsets[b] : 0;
        m->totalTicks = irqMidiInfoStream ? irqMidiInfoStream->barTicks[b] : 0;
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX:%i] irqMfi->bufPos=%u, irqMfi->totDt=%u", __LINE__,
                 m->readPosition, m->totalTicks);
        m->lastDelta = 0;
        s->currentBeat = 0;
        m->fastRun = 0;
        updateMidiAllChanelVolumes();
        MidiChannelVolumeTask(s, g_src.db);
        const int otherRole = s->slotByte == 2 ? 0 : 1;
        if (!(flags & SF_CHASE_FADE_IN)) {
            sflagsSet(s, SF_SUSPENDED);
            sflagsSet(roleStream(otherRole), SF_JUMP_AT_BAR);
            jumpStatus.store(JUMP_ARMED);
            return Run::End;
        }
        CloseStream(otherRole);
        tCount.store(0);
        nowIsPlaying.store(uint16_t(s->slotByte ? s->slotByte - 1 : 0));
        StartStream(s);
        if (cueingMode.load() == CUEING_IMMEDIATE)
            setTextAreaActive(slotIndexOf(s));
        prescalerFade = reloadValPrescalerFade =
            uint32_t(getFadeBeat(slotIndexOf(s))) * s->msPerBeat / LEVEL_FADE_WAIT_DIVISOR;
        jumpStatus.store(JUMP_FADE_IN);
        jumpFadeFactor = LEVEL_FADE_START_FACTOR;
        return Run::End;
    }
    if (flags & SF_CHASE_HIGH) {
        sflagsAssign(s, (flags & ~SF_CHASE_HIGH) | SF_PENDING);
        MidiStream *other = roleStream(slotIndexOf(s) == 0 ? 1 : 0);
        sflagsAssign(other, (sflags(other) & ~SF_SECOND_PORT_COPY) | SF_AUDIBLE);
        SendMidiHighChannelChanged(homeOutput(s));
        rtLogMsg(4, LOG_SRC, __LINE__, "[CloseActualStreamMF5] ");
        CloseActualStreamMF5();
        return Run::End;
    }
    if (rewindOnEOT.load()) {
        SEQUENCER_EX_RewindToTargetBar(0);
        if (!(StFlag.fetch_or(ST_PAUSE) & ST_PAUSE))
            silenceAll();
        C_SIGNAL_SongEnded();
        return Run::End;
    }
    if (jumpStatus.load() == JUMP_FADE_OUT) {
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX:%i] Fine Song durante Fade OUT MIDI->MP3 Start Jump:",
                 __LINE__);
        if (jumpFadeFactor > LEVEL_FADE_HALF)
            HalfFadeOutOperation();
        prescalerFade = 1;
        jumpFadeFactor = 0;
        sflagsSet(s, SF_SUSPENDED);
        return Run::End;
    }
    // The event stays pending and comes back at the next pass.
    if (endTailWaits(s))
        return Run::End;
    CloseActualStream(1);
    if (!(MidiStreamFirst && MidiStreamFirst->slotByte) && !(MidiStreamSecond && MidiStreamSecond->slotByte)) {
        stop.store(1);
        stopchi.store(STOPCHI_SONG_END);
    }
    C_SIGNAL_SongEnded();
    return Run::End;
}

// ---- the bar path

void countInCheck()
{
    const int target = precountBar.load(std::memory_order_relaxed);
    if (Rt.countInBar >= target)
        return;
    ++Rt.countInBar;
    if (Rt.countInBar != target) {
        C_SIGNAL_precountEnded();
        return;
    }
    const MidiInfos *infos = irqMidiInfoStream;
    if (!infos || target < 0 || target >= MAX_BARS)
        return;
    for (int c = 0; c < 16; ++c) {
        if (infos->activity[c][0][target] & 3) {
            C_SIGNAL_precountEnded();
            return;
        }
    }
}

void seekArrived()
{
    MidiStream *s = S();
    uint8_t buffer[16 * 3];
    int n = 0;
    for (int c = 0; c < 16; ++c) {
        if (seekPitchBend[c] == 0xFFFF)
            continue;
        buffer[n++] = uint8_t(0xE0 | c);
        buffer[n++] = uint8_t((seekPitchBend[c] >> 8) & 0x7F);
        buffer[n++] = uint8_t(seekPitchBend[c] & 0x7F);
    }
    if (n)
        routeSend(buffer, n);
    n = 0;
    for (int c = 0; c < 16; ++c) {
        if (seekExpression[c] == 0xFF)
            continue;
        buffer[n++] = uint8_t(0xB0 | c);
        buffer[n++] = 0x0B;
        buffer[n++] = uint8_t(seekExpression[c] & 0x7F);
    }
    if (n)
        routeSend(buffer, n);
    SEQUENCER_EX_AssignPtrs(nowIsPlaying.load());
    for (MidiStream *t : {s, ptrMidiStream}) {
        if (!t)
            continue;
        sflagsClear(t, SF_FORWARD_SEEK | SF_SEEK_AT_BAR);
        t->targetBar = -1;
        t->atBar = 0;
    }
    const int bar = rtBar();
    if (irqMidiInfoStream && bar >= 0 && bar < MAX_BARS)
        M()->totalTicks = irqMidiInfoStream->barTicks[bar];
    // The song goes on from here at its own pace: nothing it skipped is due.
    recomputeTempo(s, nowUs());
    T().nextAdvance = M()->lastDelta;
    updateCurrentTick();
    C_SIGNAL_SeekDone();
}

Run barPath()
{
    MidiStream *s = S();
    s->currentBeat = 0;
    const int bar = T().bar;
    const bool reached = int(s->atBar) <= bar;
    uint32_t flags = sflags(s);
    const int js = jumpStatus.load();
    if ((flags & SF_XFADE_OWN_DB) && js == JUMP_FADE_OUT_ARMED) {
        if ((flags & SF_FADE_OUT_NOW) || reached)
            fadeOutStart();
    } else if ((flags & (SF_JUMP_AT_BAR | SF_FADE_OUT_NOW)) && js == JUMP_ARMED && reached) {
        const int cm = cueingMode.load();
        if (cm == CUEING_IMMEDIATE || cm == CUEING_IMMEDIATE_MATCHED) {
            immediateJump();
            return Run::End;
        }
        if (cm == CUEING_CROSSFADE)
            crossFadeStart();
    }
    if (shown()) {
        setRtBar(bar);
        setRtBeat(0);
        if (SEQUENCER_CLICK_isValidClick()) {
            countInCheck();
            SEQUENCER_CLICK_ClickBar();
            C_SIGNAL_BarEvent(crossfading() ? -1 : bar);
        }
    }
    flags = sflags(s);
    if ((flags & SF_SEEK_AT_BAR) && reached) {
        sflagsClear(s, SF_SEEK_AT_BAR);
        const int target = ptrMidiStream ? ptrMidiStream->targetBar : s->targetBar;
        SEQUENCER_EX_SeekBar(target, -1);
        return Run::End;
    }
    if ((flags & SF_REWIND) && rtBar() < 2)
        sflagsClear(s, SF_REWIND);
    if ((flags & SF_FORWARD_SEEK) && s->targetBar == rtBar())
        seekArrived();
    return Run::Continue;
}

// ---- the channel path

uint8_t adjust(int offset, uint8_t value)
{
    const int v = offset + int(value);
    if (v <= 0)
        return 0;
    return v > 126 ? 127 : uint8_t(v);
}

int ccOffsetIndex(uint8_t controller)
{
    switch (controller) {
    case 75: return DB_CC75;
    case 73: return DB_CC73;
    case 72: return DB_CC72;
    case 71: return DB_CC71;
    case 74: return DB_CC74;
    case 66: return DB_CC66;
    default: return -1;
    }
}

// The harmony channel's notes go to the fourth output too (the harmonizer,
// which the program leaves off).
void harmonize(int flat, bool noteOn)
{
    if (!harmonizer.load())
        return;
    const uint8_t *msg = irq_sM;
    const uint8_t status = msg[0];
    const int harm = harmMode.load() == 1 ? int(melodyChannel.load(std::memory_order_relaxed)) : harmChannel.load();
    if (flat != harm)
        return;
    for (auto &n : harmNotes) {
        if (noteOn ? n == 0xFF : n == msg[1]) {
            n = noteOn ? msg[1] : 0xFF;
            const unsigned char out[3] = {status, msg[1], noteOn ? uint8_t(1) : msg[2]};
            CINTERFACE_SendMidiEvent4(out, 3);
            break;
        }
    }
}

// The channel message the interpreter handles now, and the channel's
// settings it plays under.
struct ChannelEvent {
    uint8_t *msg;
    uint8_t status;
    uint8_t type;
    int ch;
    int flat;
    int layer;
    const Db *db;
    const DbLayer *settings;
    uint32_t flags;
    bool seeking;
    int melody;
};

ChannelEvent channelEvent()
{
    static const DbLayer noLayer{};
    ChannelEvent e{};
    e.msg = irq_sM;
    e.status = e.msg[0];
    e.type = e.status & 0xF0;
    e.ch = e.status & 15;
    e.flat = flatChannelOf(e.status);
    e.layer = layerOf(e.flat);
    e.db = g_src.db;
    e.settings = e.db ? &e.db->layers[e.flat][e.layer] : &noLayer;
    e.flags = sflags(S());
    e.seeking = (e.flags & SF_FORWARD_SEEK) != 0;
    e.melody = melodyChannel.load(std::memory_order_relaxed);
    return e;
}

// The note's level on the channel's meter; a note-on of a channel not muted
// counts as a note seen.
void noteMeter(const ChannelEvent &e, bool noteOn, bool drum)
{
    const uint8_t key = e.msg[1];
    const int meter = noteOnVolume[e.flat].load(std::memory_order_relaxed);
    if (noteOn) {
        if (e.settings->muteSolo != DB_MUTE) {
            M()->noteSeen = 1;
            setMeter(e.flat, e.layer, drum ? 150 : (meter + key > 255 ? 255 : meter + key));
        }
    } else if (!drum) {
        setMeter(e.flat, e.layer, meter > key ? meter - key : 0);
    }
}

// Whether the mix lets the note sound (audible slot, mute and solo); a
// note-on takes the channel's velocity curve.
bool mixLetsSound(const ChannelEvent &e, bool noteOn)
{
    const DbLayer &L = *e.settings;
    uint8_t *msg = e.msg;
    bool sounds = (e.flags & (SF_AUDIBLE | SF_FADE_OUT_NOW)) == SF_AUDIBLE;
    if (e.type != 0x90)
        return sounds;
    Mfi *m = M();
    if (!m->firstNoteSeen)
        C_SIGNAL_precountEnded();
    m->firstNoteSeen = 1;
    if (L.velocityCurve >= 1 && L.velocityCurve <= VELOCITY_CURVES && msg[2] != 0)
        msg[2] = VOLUMES_VelocityCurve(L.velocityCurve, msg[2]);
    if (e.db && e.db->anySolo == 0) {
        if (L.muteSolo == DB_MUTE && noteOn)
            sounds = false;
    } else if (e.db && L.muteSolo != DB_SOLO) {
        sounds = false;
    }
    return sounds;
}

// The note at the key in play; a note-off at the pitch its note-on was
// struck at, whatever the key is now. False when it falls out of range.
bool transposeNote(const ChannelEvent &e, HeldNotes &held, bool noteOn)
{
    uint8_t *msg = e.msg;
    const uint8_t key = msg[1];
    int note = transposed(key, *e.settings);
    if (!noteOn) {
        if (held.struck[e.flat][key] != NOTE_NOT_STRUCK)
            note = held.struck[e.flat][key];
        held.letGo(e.flat, key);
    }
    // Never wrap into a status byte; the note-on and its note-off both fall
    // out of range and are both dropped.
    if (note < 0 || note > 127)
        return false;
    msg[1] = uint8_t(note);
    if (M()->messageLength == 6)
        msg[4] = uint8_t(note);
    return true;
}

// The melody channel's mode (ON, SEMI at half velocity, OFF) and its copy to
// the fourth output; true when the note was halved.
bool melodyNote(const ChannelEvent &e, bool noteOn, bool &playIt)
{
    if (e.flat != e.melody)
        return false;
    uint8_t *msg = e.msg;
    if (!noteOn) {
        if (shown() && melody_mirror.load())
            CINTERFACE_SendMidiEvent4(msg, 3);
        return false;
    }
    if (melody_mirror.load() && shown() && !stHas(ST_GOTO_PENDING))
        CINTERFACE_SendMidiEvent4(msg, 3);
    const int mode = mute.load(std::memory_order_relaxed);
    if (mode == 2) {
        msg[2] = semiMute(msg[2]);
        return true;
    }
    if (mode == 1)
        playIt = false;
    return false;
}

// What the song holds: the key struck, at which pitch and velocity, and
// where; the same key struck again at another pitch ends the first.
void rememberStrike(const ChannelEvent &e, HeldNotes &held, uint8_t key, uint8_t songVelocity, bool sounds,
                    bool halved)
{
    const uint8_t *msg = e.msg;
    const uint8_t struck = held.struck[e.flat][key];
    if (sounds && struck != NOTE_NOT_STRUCK && struck != msg[1]) {
        const uint8_t off[3] = {uint8_t(0x80 | e.ch), struck, 0};
        CINTERFACE_SendMidiEvent(held.output[e.flat], off, 3);
    }
    held.press(e.flat, key, songVelocity, sounds ? msg[1] : NOTE_NOT_STRUCK,
               uint8_t(msg[2] | (halved ? STRIKE_HALVED : 0)), uint32_t(pendingEventTime() / 1000));
    if (sounds)
        held.output[e.flat] = uint8_t(eventOutput(S()).number());
}

// A note-on or note-off of the song: the mix's rules, the key and the
// melody mode applied, and what the song holds kept.
void notePath(const ChannelEvent &e, bool &playIt)
{
    uint8_t *msg = e.msg;
    const bool drum = (e.settings->flags & DB_FLAG_DRUM) != 0;
    if (msg[1] & 0x80) {
        // A damaged stream: such a byte would leave as a status byte.
        EngineSlotTiming &timing = T();
        if (!timing.badNoteReported) {
            timing.badNoteReported = 1;
            rtLogMsg(1, LOG_SRC, __LINE__, "A note with a data byte of 80 or above: the stream is damaged");
        }
        playIt = false;
        return;
    }
    const bool noteOn = e.type == 0x90 && msg[2] != 0;
    const uint8_t key = msg[1];
    const uint8_t songVelocity = msg[2];
    noteMeter(e, noteOn, drum);
    playIt = mixLetsSound(e, noteOn);
    HeldNotes &held = songHeld[slotIndexOf(S())];
    // Where the channel's sounds go, also while the mix keeps them silent:
    // the mix lets go of them and brings them back there.
    if (noteOn && !e.seeking && !held.output[e.flat])
        held.output[e.flat] = uint8_t(eventOutput(S()).number());
    if (!drum && !transposeNote(e, held, noteOn)) {
        playIt = false;
        return;
    }
    const bool halved = melodyNote(e, noteOn, playIt);
    harmonize(e.flat, noteOn);
    if (e.seeking)
        playIt = false;
    if (!drum && noteOn && !e.seeking)
        rememberStrike(e, held, key, songVelocity, playIt && msg[2] != 0, halved);
}

// A controller of the song: the mix's offsets applied, the channel volume
// kept by the volume tables, the pedal by what the song holds.
void controllerPath(const ChannelEvent &e, bool &playIt)
{
    MidiStream *s = S();
    uint8_t *msg = e.msg;
    const DbLayer &L = *e.settings;
    const uint8_t controller = msg[1];
    // The song's upper channels are on its second port, unless they chase the first.
    const MidiOutput side = outputFor(s->port, e.flat < 16 || (e.flags & SF_CHASE_HIGH) ? 0 : 1);
    switch (controller) {
    case 7:
        msg[2] = adjust(L.volume, msg[2]);
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, msg[2], e.ch, side);
        playIt = false;
        break;
    case 10:
        msg[2] = adjust(L.pan, msg[2]);
        break;
    case 11:
        if (L.insertId) {
            refreshMidiChVolumesMap(e.ch, side);
        } else if (e.seeking) {
            seekExpression[e.ch] = msg[2];
            playIt = false;
        }
        break;
    case 91:
        msg[2] = adjust(L.reverb, msg[2]);
        break;
    case 93:
        msg[2] = adjust(L.chorus, msg[2]);
        break;
    default: {
        const int idx = ccOffsetIndex(controller);
        if (idx >= 0 && e.db)
            msg[2] = adjust(e.db->ccOffsets[e.flat][e.layer][idx], msg[2]);
        break;
    }
    }
    if (controller == 64 && playIt) {
        HeldNotes &held = songHeld[slotIndexOf(s)];
        held.pedal(e.flat, msg[2]);
        held.output[e.flat] = uint8_t(eventOutput(s).number());
    }
    if (melody_mirror.load() && e.ch == e.melody && controller != 10 && controller != 91 &&
        controller != 93)
        CINTERFACE_SendMidiEvent4(msg, 3);
}

void channelPath(bool &playIt)
{
    const ChannelEvent e = channelEvent();
    if (e.type == 0x80 || e.type == 0x90) {
        notePath(e, playIt);
    } else if (e.type == 0xE0) {
        if (e.seeking) {
            seekPitchBend[e.flat] = uint16_t((e.msg[1] << 8) | e.msg[2]);
            playIt = false;
        }
    } else if (e.type == 0xB0) {
        controllerPath(e, playIt);
    }
}

// ---- processing the pending event

void tempoEvent(const uint8_t *msg)
{
    if (msg[2] < 3)
        return;
    const uint32_t t = (uint32_t(msg[3]) << 16) | (uint32_t(msg[4]) << 8) | msg[5];
    if (t == 0)
        return;
    // The nearest whole BPM: 618556 us a quarter is 97 BPM, not 96.
    uint32_t bpm = (60000000u + t / 2) / t;
    if (bpm < 1)
        bpm = 1;
    if (bpm > 32767)
        bpm = 32767;
    S()->songBpm = int16_t(bpm);
    T().songUsPerQuarter = t;
    T().songBpmOfTempo = int16_t(bpm);
    stSet(ST_TEMPO_RECOMPUTE);
}

// The new tempo counts from the pending event's time; a slot standing still
// (tempo sum 0) has nothing due, so it takes the new tempo at once from the
// position where it stands.
void tempoRecompute(bool standingStill)
{
    MidiStream *s = S();
    if (standingStill) {
        const int32_t ahead = s->eventTick - s->currentTick;
        recomputeTempo(s, nowUs());
        s->eventTick = ahead > 0 ? ahead : 0;
    } else {
        recomputeTempo(s, pendingEventTime());
        updateCurrentTick();
    }
    stClear(ST_TEMPO_RECOMPUTE);
    if (int(nowIsPlaying.load()) + 1 == int(s->slotByte)) {
        const int delta = int(s->userTempoDelta) + int(s->autoTempoDelta);
        if (delta != g_lastSignalledDelta) {
            g_lastSignalledDelta = delta;
            C_SIGNAL_DeltaBpmChanged(delta);
        }
        C_SIGNAL_OrigBpmChanged(int(s->songBpm) + delta);
    }
}

bool isGmOrGsReset(const uint8_t *msg, int len)
{
    if (len >= 2 && msg[1] == 0x7E)
        return true;
    return len >= 9 && msg[1] == 0x41 && msg[3] == 0x42 && (msg[7] == 0x7F || msg[8] == 0x7F);
}

bool isMasterVolume(const uint8_t *msg, int len)
{
    static const uint8_t head[6] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00};
    return len >= 7 && std::memcmp(msg, head, 6) == 0;
}

bool lastReverbEmpty()
{
    for (uint8_t b : lastReverbSysEx)
        if (b)
            return false;
    return true;
}

Run processPending(bool &sent)
{
    // What the event sends carries the event's own time, not the pass's, so
    // the synthesizer can place it to the sample.
    const double lateMs = double(nowUs() - pendingEventTime()) / 1000.0;
    const RealTime::MessageTime stamp(RealTime::messageTimeMs() - lateMs);
    MidiStream *s = S();
    Mfi *m = M();
    uint8_t *msg = irq_sM;
    const int len = m->messageLength;
    const uint8_t status = msg[0];
    sent = false;
    bool playIt = (sflags(s) & (SF_AUDIBLE | SF_FADE_OUT_NOW)) == SF_AUDIBLE;

    if (status == 0xFF && msg[1] == 0x51)
        tempoEvent(msg);
    if (stHas(ST_TEMPO_RECOMPUTE))
        tempoRecompute(false);

    if (status == 0xF0) {
        if (len >= 8 && std::memcmp(msg, REVERB_SYS_EX2, 8) == 0 && lastReverbEmpty())
            std::memcpy(lastReverbSysEx, msg, len < 11 ? size_t(len) : sizeof lastReverbSysEx);
        const int js = jumpStatus.load();
        if (isMasterVolume(msg, len) && (js == JUMP_CROSSFADE || js == JUMP_FADE_IN || js == JUMP_FADE_OUT))
            return Run::Continue;
        if (!g_src.aux && isGmOrGsReset(msg, len))
            return Run::Continue;
        // A SysEx cut short would leave a device waiting for its end.
        if (len < 2 || msg[len - 1] != 0xF7)
            return Run::Continue;
    } else if (status == 0xF4 || status == 0xFF) {
        if (status == 0xFF && msg[1] == 0x2F)
            return endOfSong();
        return Run::Continue;
    } else if (status == EXTRACT_EV_PORT) {
        const uint8_t p = msg[1];
        uint32_t f = sflags(s) & ~(SF_OUT_SEL_1 | SF_OUT_SEL_2 | SF_AUDIBLE);
        f |= uint32_t(p & 3) * SF_OUT_SEL_1;
        if (!(f & SF_SECOND_PORT_COPY) || p == 1)
            f |= SF_AUDIBLE;
        sflagsAssign(s, f);
        return Run::Continue;
    } else if (status == EXTRACT_EV_BAR || (sflags(s) & SF_FADE_OUT_NOW)) {
        if (barPath() == Run::End)
            return Run::End;
        playIt = false;
    } else if (status == EXTRACT_EV_HALF_BEAT) {
        if (shown() && SEQUENCER_CLICK_isValidClick())
            SEQUENCER_CLICK_ClickHalfBeat();
        playIt = false;
    } else if (status == EXTRACT_EV_BEAT) {
        if (shown() && SEQUENCER_CLICK_isValidClick()) {
            const int beat = s->currentBeat;
            SEQUENCER_CLICK_ClickBeatOf(beat, m->beatsPerBar);
            setRtBeat(beat);
            C_SIGNAL_BeatEvent(crossfading() ? -1 : beat);
        }
        playIt = false;
    } else {
        channelPath(playIt);
    }

    GetsSliderVolStrumPannel();
    if (playIt) {
        MidiWS();
        sent = true;
    }
    if (m->programSeen) {
        updateMidiAllChanelVolumes();
        m->programSeen = 0;
    }
    return Run::Continue;
}

// ---- reading the next event

// A program change on channel ch, behind a bank select (controller 0) when
// withBank. The length written.
int putProgram(uint8_t *msg, uint8_t ch, uint8_t program, bool withBank, uint8_t bank)
{
    int n = 0;
    if (withBank) {
        msg[n++] = uint8_t(0xB0 | ch);
        msg[n++] = 0;
        msg[n++] = uint8_t(bank & 127);
    }
    msg[n++] = uint8_t(0xC0 | ch);
    msg[n++] = uint8_t(program & 127);
    return n;
}

void programChange(uint8_t status, uint8_t program, int &len)
{
    MidiStream *s = S();
    uint8_t *msg = irq_sM;
    const int flat = flatChannelOf(status);
    for (int l = 0; l < NUM_LAYERS; ++l) {
        if (s->programMap[flat][l].program == program) {
            RT_info[flat][RT_INFO_LAYER].store(uint8_t(l), std::memory_order_relaxed);
            break;
        }
    }
    const int layer = layerOf(flat);
    static const DbLayer noLayer{0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    const DbLayer &L = g_src.db ? g_src.db->layers[flat][layer] : noLayer;
    const uint8_t ch = status & 15;
    msg[0] = status;
    msg[1] = program;
    len = 2;
    if (!(L.flags & DB_FLAG_PROGRAM_OVERRIDE) || L.program == 0xFF) {
        if (L.flags & DB_FLAG_DRUM)
            changeUnknownDrumKit(msg);
    } else {
        bool done = false;
        if (INSERTS_IsEnabled() && L.insertId && L.bank >= 0x31 && L.bank <= 0x3C) {
            const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
            const int16_t pos = findInstrumentPos(tables, L.program, L.bank, L.insertId);
            if (pos >= 0 && pos < tables->GS_INSTR_NAMES_SIZE) {
                const GS_INSTRUMENT_NAME &row = tables->trkGsNames[pos];
                len = putProgram(msg, ch, row.program, row.bank != 0, row.bank);
                done = true;
            } else {
                rtLogMsg(2, LOG_SRC, __LINE__, "No sound with an insertion effect for program %d bank %d", L.program,
                         L.bank);
            }
        }
        if (!done)
            len = putProgram(msg, ch, L.program, L.bank != 0xFF, L.bank);
    }
    M()->programSeen = 1;
    songHeld[slotIndexOf(s)].program[flat] = msg[len - 1] & 127;
    if (ch == melodyChannel.load(std::memory_order_relaxed))
        CINTERFACE_SendMidiEvent4(msg, len);
}

// Reads the event at the read position into the message buffer.
Run readNext(bool &endOfTrack, bool &sysEx)
{
    MidiStream *s = S();
    Mfi *m = M();
    EngineSlotTiming &e = T();
    uint8_t *msg = irq_sM;
    endOfTrack = false;
    sysEx = false;

    if (!(m->startFlags & 2) && m->fastRun == 0) {
        m->startFlags |= 2;
        if (shown() && SEQUENCER_CLICK_isValidClick()) {
            SEQUENCER_CLICK_ClickBar();
            setRtBar(0);
            C_SIGNAL_BarEvent(crossfading() ? -1 : 0);
        }
    }
    m->ticksBeforeEvent += m->lastDelta;
    m->totalTicks += m->lastDelta;
    m->lastDelta = 0;
    const int64_t tick = int64_t(s->eventTick) + e.nextAdvance;
    s->eventTick = tick > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(tick);
    e.nextAdvance = 0;

    Reader r(m->readPosition);
    if (sflags(s) & SF_SKIP_DELTA) {
        uint32_t skipped;
        if (!readDelta(r, skipped))
            return Run::End;
        sflagsClear(s, SF_SKIP_DELTA);
    }

    uint8_t status = r.byte();
    uint8_t d1 = 0;
    bool haveD1 = false;
    if (!(status & 0x80)) {
        if (m->runningStatus >= 0x80 && m->runningStatus < 0xF0) {
            d1 = status;
            haveD1 = true;
            status = uint8_t(m->runningStatus);
        } else {
            status = 0;
        }
    }
    int len = 0;
    if (status >= 0xF0) {
        m->runningStatus = NO_RUNNING_STATUS;
        if (status == 0xF0) {
            const uint32_t count = readCount(r);
            if (!r.failed && count > uint32_t(SEQ_MAX_SYSEX_DATA)) {
                streamError(SEQ_ERR_SYSEX_TOO_LONG);
                return Run::End;
            }
            msg[0] = 0xF0;
            for (uint32_t i = 0; i < count && !r.failed; ++i)
                msg[1 + i] = r.byte();
            len = int(1 + count);
            msg[len] = 0;
            sysEx = true;
        } else if (status == 0xFF) {
            const uint8_t type = r.byte();
            const uint32_t count = readCount(r);
            msg[0] = 0xFF;
            msg[1] = type;
            msg[2] = uint8_t(count > 255 ? 255 : count);
            int idx = 3;
            for (uint32_t i = 0; i < count && !r.failed; ++i) {
                const uint8_t b = r.byte();
                if (idx <= SEQ_MAX_META_STORED)
                    msg[idx++] = b;
            }
            msg[idx] = 0;
            len = idx;
            if (type == 0x2F)
                endOfTrack = true;
            if (type == 0x58 && count >= 2) {
                m->beatsPerBar = msg[3];
                if (msg[4] < 15)
                    m->beatUnit = int16_t(1 << msg[4]);
            }
        } else if (status == EXTRACT_EV_PORT && s->fileType == FILE_TYPE_MF5) {
            msg[0] = status;
            msg[1] = r.byte();
            len = 2;
        } else if (!r.failed) {
            streamError(SEQ_ERR_BAD_STATUS);
            return Run::End;
        }
    } else if (status == 0) {
        if (!r.failed) {
            streamError(SEQ_ERR_BAD_STATUS);
            return Run::End;
        }
    } else {
        if (!haveD1)
            d1 = r.byte();
        const bool marker = status == EXTRACT_EV_BAR || status == EXTRACT_EV_BEAT ||
                            status == EXTRACT_EV_HALF_BEAT;
        if (!marker) {
            m->runningStatus = status;
            m->runningChannel = status & 15;
        }
        const uint8_t type = status & 0xF0;
        msg[0] = status;
        msg[1] = d1;
        if (status == EXTRACT_EV_BAR || status == EXTRACT_EV_BEAT) {
            const uint8_t d2 = r.byte();
            msg[2] = d2;
            len = 3;
            const uint16_t value = uint16_t((d1 & 0x7F) | ((d2 & 0x7F) << 7));
            if (status == EXTRACT_EV_BEAT) {
                s->currentBeat = uint8_t(value);
            } else {
                e.bar = value;
                s->currentBar = uint8_t(value);
            }
        } else if (type == 0x80 || type == 0xA0 || type == 0xB0 || type == 0xE0) {
            msg[2] = r.byte() & 0x7F;
            len = 3;
        } else if (type == 0x90) {
            msg[2] = r.byte() & 0x7F;
            len = 3;
            if (s->fileType != FILE_TYPE_MIDI && status == 0x99 && d1 >= 35 && d1 <= 60 && d1 != 46) {
                // Container songs' short drum notes end at once.
                msg[3] = 0x89;
                msg[4] = d1;
                msg[5] = 0;
                len = 6;
            }
        } else if (type == 0xC0) {
            programChange(status, d1, len);
        } else {
            len = 2;
        }
    }
    if (r.failed) {
        streamError(SEQ_ERR_PAST_END);
        return Run::End;
    }
    m->messageLength = uint16_t(len);
    return Run::Continue;
}

Run afterRead(bool endOfTrack, bool sysEx)
{
    MidiStream *s = S();
    Mfi *m = M();
    EngineSlotTiming &e = T();
    C_SIGNAL_PlayPositionChanged(int(m->readPosition));
    uint32_t delta = 0;
    if (!endOfTrack && !stop.load() && s->slotByte != 0) {
        Reader r(m->readPosition);
        if (!readDelta(r, delta))
            return Run::End;
    }
    m->lastDelta = delta;
    if (shown()) {
        // A forward seek runs every event at once: the song stands where it
        // reads. Otherwise the event just read waits for its time, and the
        // end of the pass puts the position where the clock stands.
        if (sflags(s) & SF_FORWARD_SEEK)
            setRtTick(m->totalTicks);
    } else if (g_src.aux)
        setRtTick(rtTick() + uint64_t(s->currentTick > s->prevEventTick ? s->currentTick - s->prevEventTick : 0));
    UpdateNoteOnOfDrumTrack(delta);
    sflagsSet(s, SF_PENDING);
    if ((sflags(s) & SF_SUSPEND_AT_NOTE) && isNoteOnMessage(irq_sM)) {
        sflagsAssign(s, (sflags(s) & ~SF_SUSPEND_AT_NOTE) | SF_SUSPENDED);
        if (MidiStream *inPlay = SEQUENCER_EX_GetMidiStreamInPlay())
            sflagsSet(inPlay, SF_JUMP_AT_BAR);
        return Run::End;
    }
    const bool seeking = (sflags(s) & SF_FORWARD_SEEK) != 0;
    if (m->fastRun == 0) {
        e.nextAdvance = seeking ? 0 : delta;
        if (INSERT_MustSend())
            INSERTS_ActivateAll();
    } else if (isNoteOnMessage(irq_sM)) {
        // Fast start: the set-up has played; the first note comes shortly.
        m->startFlags = 3;
        m->fastRun = 0;
        tCount.store(0);
        rebaseStream(s, 0);
        s->eventTick = FAST_START_FIRST_NOTE_TICK;
        e.nextAdvance = delta;
        INSERTS_ActivateAll();
        if (SEQUENCER_CLICK_isValidClick())
            C_SIGNAL_BarEvent(crossfading() ? -1 : int(e.bar));
    } else {
        tickFirstNote.store(uint16_t(tickFirstNote.load() + delta));
        e.nextAdvance = delta > 1 ? (sysEx ? delta / 2 : 1) : delta;
    }
    return Run::Continue;
}

// The position of the song being played is where the clock stands, not the
// event read ahead of it: that one's tick less the ticks it still waits.
// Written once per pass, so a reader never sees the read-ahead.
void publishClockPosition()
{
    const MidiStream *s = S();
    const uint64_t total = M()->totalTicks;
    const int64_t waiting = (sflags(s) & SF_PENDING) ? int64_t(s->eventTick) - s->currentTick : 0;
    setRtTick(waiting > 0 ? total - std::min(total, uint64_t(waiting)) : total);
}

void chooseSource()
{
    MidiStream *s = S();
    Mfi *m = M();
    const uint32_t flags = sflags(s);
    g_src = Source{};
    g_src.db = irq_dbPtr;
    if (flags & SF_CHASE) {
        g_src.data = MidiAuxBuffer;
        g_src.size = MIDI_AUX_BUFFER_SIZE;
        g_src.aux = true;
    } else if (flags & SF_CHASE_HIGH) {
        const uint32_t offset = uint32_t(ptrMF5AuxBuffer - MidiAuxBuffer);
        g_src.data = ptrMF5AuxBuffer;
        g_src.size = offset < MIDI_AUX_BUFFER_SIZE ? MIDI_AUX_BUFFER_SIZE - offset : 0;
        g_src.aux = true;
        if (!stHas(ST_JUMP_PREPARED))
            g_src.db = roleDb(slotIndexOf(s) == 0 ? 1 : 0);
    } else {
        g_src.data = m->buffer;
        g_src.size = m->streamLength < EVENT_BUFFER_SIZE ? m->streamLength : EVENT_BUFFER_SIZE;
        if (jumpStatus.load() == JUMP_CROSSFADE &&
            (flags & (SF_XFADE_SAVED_DB | SF_XFADE_OWN_DB)) == SF_XFADE_SAVED_DB && savedDb)
            g_src.db = savedDb;
    }
    irq_playbuf = const_cast<uint8_t *>(g_src.data);
}

void autoBpmReturn()
{
    MidiStream *s = S();
    if (!(sflags(s) & SF_AUTO_BPM))
        return;
    if (s->autoTempoDelta == 0) {
        sflagsClear(s, SF_AUTO_BPM);
        return;
    }
    if (tCount.load() <= autoBpmTime)
        return;
    if (autoBpmStep < 4)
        ++autoBpmStep;
    autoBpmTime += deltasAutoset[autoBpmStep];
    stSet(ST_TEMPO_RECOMPUTE);
    s->autoTempoDelta = int16_t(s->autoTempoDelta > 0 ? s->autoTempoDelta - 1 : s->autoTempoDelta + 1);
}
} // namespace

bool endTailWaiting(const MidiStream *s)
{
    const uint64_t until = endTailUntil[slotIndexOf(s) & 1];
    const uint64_t now = nowUs();
    return until != 0 && now < until && until <= now + kEndTailUs;
}


void CheckAdvance(void)
{
    MidiStream *s = S();
    Mfi *m = M();
    if (!s || !m || !irq_sM)
        return;
    chooseSource();
    autoBpmReturn();

    bool seeking = (sflags(s) & SF_FORWARD_SEEK) != 0;
    if (!seeking && T().usPerQuarter == 0 && stHas(ST_TEMPO_RECOMPUTE))
        tempoRecompute(true);
    if (!seeking)
        updateCurrentTick();
    if ((seeking || s->currentTick >= s->eventTick) && !stop.load()) {
        for (;;) {
            if (sflags(s) & SF_SUSPENDED)
                break;
            seeking = (sflags(s) & SF_FORWARD_SEEK) != 0;
            bool sent = false;
            if (sflags(s) & SF_PENDING) {
                if (processPending(sent) == Run::End)
                    break;
            }
            bool endOfTrack = false;
            bool sysEx = false;
            if (readNext(endOfTrack, sysEx) == Run::End)
                break;
            if (afterRead(endOfTrack, sysEx) == Run::End)
                break;
            s->prevEventTick = s->currentTick;
            if (seeking && sent && seekEventCount++ > MAX_SEEK_EVENTS_PER_PASS) {
                seekEventCount = 0;
                break;
            }
            if (stop.load())
                break;
            if (!(sflags(s) & SF_FORWARD_SEEK) && s->currentTick < s->eventTick)
                break;
        }
    }
    heldNotesRun(s, g_src.db);
    if (shown() && !g_src.aux && !(sflags(s) & SF_FORWARD_SEEK))
        publishClockPosition();
    if (s->slotByte != 0)
        MidiChannelVolumeTask(s, g_src.db);
}
