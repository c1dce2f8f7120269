#include "Fading.h"

#include "RealTime.h"
#include "cinterface.h"
#include "inserts.h"
#include "sequencer_click.h"
#include "sequencer_ex_p.h"
#include "sequencer_goto.h"
#include "sequencer_signals.h"
#include "volumes.h"

#include <initializer_list>

namespace {
const char *const LOG_SRC = "../common-sound/sequencer/Fading";

// Half way down a cross-fade the entering song becomes the shown one and
// takes over the insertion effects.
constexpr int CROSSFADE_HALF = CROSSFADE_START_FACTOR / 2;
// The entering song's insertion effects are bound a tenth of the way into a
// fade-in.
constexpr int FADE_IN_INSERTS = 90;
// The first step of a fade-out is when a waiting jump is announced.
constexpr int FADE_OUT_STARTED = LEVEL_FADE_START_FACTOR - 1;
// 100 steps 41 ticks apart: a fade-in or fade-out lasts about four seconds.
constexpr uint32_t FADE_STEP_TICKS = 40;
constexpr int CROSSFADE_SOURCE = 1;   // the cross-fade term of an output
constexpr int FADE_TERM = 1;          // general and per-channel fade terms

uint8_t fading = 0;
uint8_t shortResuming = 0;
uint8_t fadeFactor = 127;

bool occupied(const MidiStream *s) { return s && s->slotByte != 0; }

MidiStream *streamWith(uint32_t flag)
{
    if (occupied(MidiStreamFirst) && (sflags(MidiStreamFirst) & flag))
        return MidiStreamFirst;
    if (occupied(MidiStreamSecond) && (sflags(MidiStreamSecond) & flag))
        return MidiStreamSecond;
    return nullptr;
}

// The engine's close and set-up operations work on the interpreted slot.
void interpret(MidiStream *s)
{
    irqMidiStream = s;
    const int role = slotIndexOf(s);
    irqMidiInfoStream = roleInfos(role);
    irqMfi = s->slotByte == 2 ? mfiSecond : mfiFirst;
    irq_sM = slotMsgBuf[s->slotByte == 2 ? 1 : 0];
    irq_dbPtr = s->db ? s->db : roleDb(role);
}

void allGroupsChanged()
{
    for (int g = 0; g < SEQ_SLIDER_GROUPS; ++g)
        sliderChanged(g);
}

void releaseInsertsOf(const MidiStream *s)
{
    uint8_t buffer[SEQ_MSG_BUF_SIZE];
    int length = 0;
    INSERTS_deactivateAll(s->port, buffer, &length);
    CINTERFACE_SendMidiEvent(homeOutput(s).number(), buffer, length);
}

int curveLevel(const uint8_t *curve, int i) { return curve[i] * 127 / 100; }

void setChannelTerms(int port, const Db *db, const uint8_t *drumCurve, const uint8_t *curve, int i)
{
    for (int c = 0; c < 16; ++c) {
        const bool drum = db && (db->layers[port * 16 + c][0].flags & DB_FLAG_DRUM);
        VOLUMES_setMidiChVolumesMap(FADE_TERM, curveLevel(drum ? drumCurve : curve, i), c, ownOutput(port));
    }
}

void crossFadeHalf()
{
    setTextAreaActive(nowIsPlaying.load());
    prescalerFade = reloadValPrescalerFade;
    SEQUENCER_EX_MelodyClick_ResetChan();
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:%i] CrossFade HALF PHASE:", __LINE__);
    MidiStream *leaving = streamWith(SF_XFADE_OWN_DB);
    MidiStream *entering = streamWith(SF_XFADE_SAVED_DB);
    if (leaving)
        releaseInsertsOf(leaving);
    if (entering) {
        uint8_t buffer[SEQ_MSG_BUF_SIZE];
        int length = 0;
        INSERTS_LoadAllFromDb(entering->db, entering->port, buffer, &length);
        CINTERFACE_SendMidiEvent(homeOutput(entering).number(), buffer, length);
        INSERTS_GetConfig(entering->insertConfig);
    }
    C_SIGNAL_JumpSwapSong();
}

void crossFadeEnd()
{
    MidiStream *leaving = streamWith(SF_XFADE_OWN_DB);
    MidiStream *entering = streamWith(SF_XFADE_SAVED_DB);
    if (entering) {
        INSERTS_LoadAllFromDb(entering->db, entering->port, nullptr, nullptr);
        INSERTS_GetConfig(entering->insertConfig);
    }
    if (leaving) {
        const MidiOutput leavingOutput = homeOutput(leaving);
        interpret(leaving);
        if (entering && (sflags(entering) & SF_USES_SECOND_PORT)) {
            LoadActualStreamForSetupMF5();
            maxMidiChVolumesMap(FADE_TERM, leavingOutput);
        } else {
            CloseActualStream(1);
        }
        // The emptied output starts its next song at full level.
        maxMidiSourceVolume(CROSSFADE_SOURCE, leavingOutput);
    }
    stClear(ST_CROSSFADE);
    allGroupsChanged();
    for (MidiStream *s : {MidiStreamFirst, MidiStreamSecond})
        if (s)
            sflagsClear(s, SF_XFADE_SAVED_DB | SF_XFADE_OWN_DB);
    stClear(ST_GOTO_PENDING);
    jumpStatus.store(0);
    C_SIGNAL_JumpDone();
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:%i] CrossFade END:", __LINE__);
}

void crossFadeTask()
{
    if (prescalerFade > 0) {
        --prescalerFade;
        return;
    }
    // The start of the cross-fade took the first step already.
    const bool first = jumpFadeFactor == FADE_CURVE_STEPS - 1;
    SendFade4jump();
    if (first)
        C_SIGNAL_JumpStart();
    if (jumpFadeFactor == CROSSFADE_HALF)
        crossFadeHalf();
    else if (jumpFadeFactor != 0)
        prescalerFade = reloadValPrescalerFade;
    else
        crossFadeEnd();
}

void fadeOutEnd()
{
    MidiStream *s = streamWith(SF_XFADE_OWN_DB);
    if (s && (sflags(s) & SF_FADE_AND_STOP)) {
        stop.store(1);
        stopchi.store(STOPCHI_FADE_STOP);
        C_SIGNAL_SongEnded();
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX:%i] STOP after FadeOut:", __LINE__);
    } else {
        C_SIGNAL_JumpDone();
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:%i] FadeOUt END:", __LINE__);
    }
    if (s) {
        sflagsClear(s, SF_XFADE_OWN_DB);
        releaseInsertsOf(s);
        interpret(s);
        CloseActualStream(1);
    }
    allGroupsChanged();
    stClear(ST_GOTO_PENDING | ST_CROSSFADE);
    jumpStatus.store(0);
}

// A fade-in or fade-out step every FADE_STEP_TICKS + 1 ticks: false while
// waiting for it.
bool fadeStep()
{
    if (prescalerFade > 0) {
        --prescalerFade;
        return false;
    }
    prescalerFade = FADE_STEP_TICKS;
    if (jumpFadeFactor > 0)
        --jumpFadeFactor;
    return true;
}

void fadeOutTask()
{
    if (!fadeStep())
        return;
    const MidiStream *s = streamWith(SF_XFADE_OWN_DB);
    if (jumpFadeFactor == FADE_OUT_STARTED && s && !(sflags(s) & SF_FADE_AND_STOP)) {
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX:%i] CrossFade MIDI->MP3 Start Jump:", __LINE__);
        C_SIGNAL_JumpStart();
    }
    setMidiGeneralVolume(FADE_TERM, jumpFadeFactor);
    if (jumpFadeFactor == 0)
        fadeOutEnd();
    else if (jumpFadeFactor == LEVEL_FADE_HALF)
        HalfFadeOutOperation();
}

void fadeInTask()
{
    if (!fadeStep())
        return;
    setMidiGeneralVolume(FADE_TERM, LEVEL_FADE_START_FACTOR - jumpFadeFactor);
    MidiStream *entering = streamWith(SF_XFADE_SAVED_DB);
    if (jumpFadeFactor == FADE_IN_INSERTS) {
        if (entering)
            INSERTS_LoadAllFromDb(entering->db, entering->port, nullptr, nullptr);
        C_SIGNAL_SendMidiMuteWrapper(0);
    } else if (jumpFadeFactor == LEVEL_FADE_HALF) {
        SEQUENCER_EX_MelodyClick_ResetChan();
        setTextAreaActive(nowIsPlaying.load());
        prescalerFade = reloadValPrescalerFade;
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:%i] CrossFade HALF PHASE:", __LINE__);
    } else if (jumpFadeFactor == 0) {
        if (entering)
            sflagsClear(entering, SF_XFADE_SAVED_DB);
        stClear(ST_CROSSFADE | ST_GOTO_PENDING);
        allGroupsChanged();
        jumpFadeFactor1 = 100;
        jumpFadeFactor2 = 100;
        jumpStatus.store(0);
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUNECER_EX:%i] FadeIn END:", __LINE__);
    }
}
} // namespace

const uint8_t FadeInCurveClassic[FADE_CURVE_STEPS] = {10, 20, 30, 40, 45, 50, 55, 60, 65, 70,
                                                      75, 80, 83, 86, 89, 92, 94, 96, 98, 100};
const uint8_t FadeInCurveLinear[FADE_CURVE_STEPS] = {5,  10, 15, 20, 25, 30, 35, 40, 45, 50,
                                                     55, 60, 65, 70, 75, 80, 85, 90, 95, 100};
const uint8_t FadeInCurveEndFast[FADE_CURVE_STEPS] = {0, 0, 0, 0, 0, 0, 0,  0,  0,  0,
                                                      0, 0, 0, 0, 0, 20, 40, 60, 80, 100};

const uint8_t *FadeInCurve = FadeInCurveLinear;
uint8_t FadeDiscoMode = 0;
uint8_t multipleFadeCurve = 0;
int jumpFadeFactor = 0;
int jumpFadeFactor1 = CROSSFADE_START_FACTOR;
int jumpFadeFactor2 = CROSSFADE_START_FACTOR;
uint32_t prescalerFade = 0;
uint32_t reloadValPrescalerFade = 0;

void SetCrossFadeCurve(int n)
{
    const char *text;
    switch (n) {
    case 1:
        FadeInCurve = FadeInCurveClassic;
        FadeDiscoMode = 0;
        text = "Fade Classic, DiscoMode=0";
        break;
    case 2:
        FadeDiscoMode = 1;
        text = "DiscoMode=1";
        break;
    case 3:
        FadeDiscoMode = 2;
        text = "DiscoMode=2";
        break;
    default:
        FadeInCurve = FadeInCurveLinear;
        FadeDiscoMode = 0;
        text = "Fade Linear, DiscoMode=0";
        break;
    }
    rtLogMsg(4, LOG_SRC, __LINE__, "[SetCrossFadeCurve] Value %i, %s", n, text);
}

void SendFade4jump(void)
{
    if (jumpFadeFactor > 0)
        --jumpFadeFactor;
    const int f = jumpFadeFactor;
    if (!occupied(MidiStreamFirst) || !occupied(MidiStreamSecond) || f < 1)
        return;
    if (!multipleFadeCurve) {
        const uint8_t *c = FadeInCurve;
        const bool firstLeaves = (sflags(MidiStreamFirst) & SF_JUMP_AT_BAR) != 0;
        const int leaving = c[f];
        const int entering = c[FADE_CURVE_STEPS - f];
        jumpFadeFactor1 = firstLeaves ? leaving : entering;
        jumpFadeFactor2 = firstLeaves ? entering : leaving;
        setMidiCableSourceVolume(CROSSFADE_SOURCE, jumpFadeFactor1, MidiOutput::of<1>());
        setMidiCableSourceVolume(CROSSFADE_SOURCE, jumpFadeFactor2, MidiOutput::of<2>());
        return;
    }
    const MidiStream *leavingStream =
        (sflags(MidiStreamFirst) & SF_JUMP_AT_BAR) ? MidiStreamFirst : MidiStreamSecond;
    const MidiStream *enteringStream = leavingStream == MidiStreamFirst ? MidiStreamSecond : MidiStreamFirst;
    const int p = leavingStream->port != 0 ? 1 : 0;
    const Db *L = leavingStream->db;
    const Db *E = enteringStream->db;
    const int back = FADE_CURVE_STEPS - f;
    if (multipleFadeCurve == 2) {
        setChannelTerms(p, nullptr, FadeInCurveClassic, FadeInCurveClassic, f);
        setChannelTerms(1 - p, E, FadeInCurveEndFast, FadeInCurveClassic, back);
    } else {
        setChannelTerms(p, L, FadeInCurveClassic, FadeInCurveLinear, f);
        setChannelTerms(1 - p, E, FadeInCurveClassic, FadeInCurveLinear, back);
    }
}

void MidiSequencer_FadeTasks(void)
{
    switch (jumpStatus.load()) {
    case JUMP_CROSSFADE: crossFadeTask(); break;
    case JUMP_FADE_OUT: fadeOutTask(); break;
    case JUMP_FADE_IN: fadeInTask(); break;
    default: break;
    }
}

void HalfFadeOutOperation(void)
{
    SEQUENCER_EX_MelodyClick_ResetChan();
    setTextAreaActive(nowIsPlaying.load());
    prescalerFade = reloadValPrescalerFade;
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX:%i] CrossFade HALF PHASE:", __LINE__);
    MidiStream *s = streamWith(SF_XFADE_OWN_DB);
    if (!s)
        return;
    interpret(s);
    if (!(sflags(s) & SF_FADE_AND_STOP))
        C_SIGNAL_JumpSwapSong();
}

int isFading(void) { return fading; }
int isShortResuming(void) { return shortResuming; }

void ResetShortSong(void)
{
    fading = 0;
    shortResuming = 0;
    fadeFactor = 127;
}
