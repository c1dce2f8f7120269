#include "inserts.h"

#include "ExtractProc.h"
#include "RealTime.h"
#include "cinterface.h"
#include "midi_controls.h"
#include "sequencer_ex_p.h"
#include "volumes.h"

#include <atomic>
#include <cstring>

namespace {
const char *const LOG_SRC = "../common-sound/sequencer/inserts";

// Nine fields for each of the two blocks, field f of block b at 2f + b.
enum Field { USED, FLAT, PRESET, PROGRAM, BANK, PLAY_PROGRAM, PLAY_BANK, PENDING, SPARE };
uint16_t g_pool[INSERT_CONFIG_WORDS];

std::atomic<int> g_enabled{0};
std::atomic<int> g_autoAssign{0};

constexpr uint8_t PRESET_END = 0xFF;
constexpr int NRPN_EFFECT_MSB = 0x3700;
constexpr int NRPN_NEXT_CHANNEL = NRPN_EFFECT_MSB | 0x01;

// Effect presets as (parameter, value) pairs ended by 0xFF; INSERTS_Init
// sorts them by parameter. Only presets 0, 5 and 9 carry the sound module's
// full settings; the others carry just their effect number (parameter 00)
// until the module's values are supplied, and 50 is empty.
uint8_t g_presets[INSERT_PRESETS][INSERT_PRESET_SIZE];

void loadPresets()
{
    static const uint8_t preset0[] = {0x00, 0x00, 0x20, 0x00, 0x30, 0x06, 0x3F, 0x01, 0x40, 0x03,
                                      0x46, 0x07, 0x59, 0x00, 0x70, 0x03};
    static const uint8_t preset5[] = {0x00, 0x05, 0x20, 0x00, 0x30, 0x00, 0x40, 0x01, 0x46, 0x16,
                                      0x50, 0x03, 0x52, 0x7F, 0x53, 0x6B, 0x54, 0x75, 0x59, 0x00};
    static const uint8_t preset9[] = {0x00, 0x09, 0x20, 0x0B, 0x30, 0x00, 0x59, 0x00, 0x66, 0x06};
    std::memset(g_presets, PRESET_END, sizeof g_presets);
    for (int p = 0; p < INSERT_PRESETS - 1; ++p) {
        g_presets[p][0] = 0x00;
        g_presets[p][1] = uint8_t(p);
    }
    std::memcpy(g_presets[0], preset0, sizeof preset0);
    std::memcpy(g_presets[5], preset5, sizeof preset5);
    std::memcpy(g_presets[9], preset9, sizeof preset9);
}

// Each step takes the first smallest remaining parameter.
void sortPreset(uint8_t *preset)
{
    int pairs = 0;
    while (pairs < INSERT_PRESET_SIZE / 2 && preset[2 * pairs] != PRESET_END)
        ++pairs;
    for (int i = 0; i < pairs; ++i) {
        int best = i;
        for (int j = i + 1; j < pairs; ++j)
            if (preset[2 * j] < preset[2 * best])
                best = j;
        if (best != i) {
            std::swap(preset[2 * i], preset[2 * best]);
            std::swap(preset[2 * i + 1], preset[2 * best + 1]);
        }
    }
}

struct SuperSound {
    uint8_t fromBank, fromProgram, toBank, toProgram;
};
const SuperSound SUPER_SOUNDS[12] = {
    {0, 29, 49, 29}, {0, 30, 49, 30}, {0, 4, 49, 4},   {0, 7, 49, 7},
    {0, 81, 52, 81}, {0, 80, 49, 80}, {0, 11, 49, 11}, {0, 62, 49, 62},
    {0, 57, 49, 57}, {0, 65, 49, 65}, {0, 56, 49, 56}, {0, 66, 49, 66},
};

bool enabled() { return g_enabled.load(std::memory_order_relaxed) != 0; }
uint16_t &field(Field f, int block) { return g_pool[2 * f + block]; }
bool bound(int block) { return field(USED, block) != 0; }
int flatOf(int block) { return int16_t(field(FLAT, block)); }
int portOf(int block) { return flatOf(block) / 16; }

void release(int block)
{
    field(USED, block) = 0;
    field(PRESET, block) = UNSET_WORD;
    field(PLAY_PROGRAM, block) = UNSET_WORD;
    field(PLAY_BANK, block) = UNSET_WORD;
    field(PENDING, block) = 0;
}

int blockOfFlat(int flat)
{
    for (int b = 0; b < INSERT_BLOCKS; ++b)
        if (bound(b) && flatOf(b) == flat)
            return b;
    return -1;
}

// Port 2 goes out at once on its output, 3; ports 0 and 1 join their
// output's send queue behind the song's own set-up.
void sendQueued(int port, const uint8_t *data, int len)
{
    if (port == 2)
        CINTERFACE_SendMidiEvent3(data, len);
    else if (port == 0 || port == 1)
        CINTERFACE_QueueMidiEvent(ownOutput(port).number(), data, len);
}

// An NRPN of a block on an engine port's own output, at once; a port with no
// output of its own sends nothing.
void sendNrpn(int nrpn, int value, int port, int block)
{
    if (port >= 0 && port <= 2)
        MIDI_CONTROLS_Send_NRPN(nrpn, value, ownOutput(port), block, 0);
}

constexpr int EFX_ASSIGN_LEN = 11;

// GS EFX assign of a part: 0 effect off, 1 block 1, 2 block 2. The checksum
// is filled in: a GS module drops a message whose checksum is wrong.
void buildEfxAssign(uint8_t *out, int channel, int used, bool on)
{
    static const uint8_t TEMPLATE[EFX_ASSIGN_LEN] = {0xF0, 0x41, 0x00, 0x42, 0x12, 0x40,
                                                     0xFF, 0x22, 0xFF, 0x00, 0xF7};
    std::memcpy(out, TEMPLATE, EFX_ASSIGN_LEN);
    out[6] = uint8_t(0x40 | (channel & 15));
    out[8] = uint8_t(!on ? 0 : (used == 1 ? 1 : 2));
    out[9] = MIDI_CONTROLS_RolandChecksum(out + 5, 4);
}

void sendEfxAssign(int channel, int used, int port, bool on)
{
    if (port > 2 || port < 0 || !enabled())
        return;
    uint8_t msg[EFX_ASSIGN_LEN];
    buildEfxAssign(msg, channel, used, on);
    rtLogMsg(3, LOG_SRC, __LINE__, "Insert SysEx Port %d, Chan %d, Insert %d, Val %d", port,
             channel & 15, used, msg[8]);
    CINTERFACE_SendMidiEvent(ownOutput(port).number(), msg, EFX_ASSIGN_LEN);
}

int writeProgram(uint8_t *out, int channel, int program, int bank)
{
    out[0] = uint8_t(0xB0 | (channel & 15));
    out[1] = 0x00;
    out[2] = uint8_t(bank & 0x7F);
    out[3] = uint8_t(0xC0 | (channel & 15));
    out[4] = uint8_t(program & 0x7F);
    return 5;
}

void sendProgram(int port, int channel, int program, int bank)
{
    uint8_t msg[5];
    rtLogMsg(3, LOG_SRC, __LINE__, "Insert Send Instrument Port %d, Chan %d, Prg %d, Bank %d", port,
             channel & 15, program, bank);
    sendQueued(port, msg, writeProgram(msg, channel, program, bank));
}

void sendPreset(int block, int preset, int port)
{
    rtLogMsg(3, LOG_SRC, __LINE__, "Insert Send Preset %d, InsertNo %d", preset, block);
    if (preset < 0 || preset >= INSERT_PRESETS)
        return;
    const uint8_t *p = g_presets[preset];
    for (int i = 0; i + 1 < INSERT_PRESET_SIZE && p[i] != PRESET_END; i += 2)
        sendNrpn(NRPN_EFFECT_MSB | p[i], p[i + 1], port, block);
}

// The program while the effect is on: the override, or the sound's own.
int playValue(int block, Field play, Field own)
{
    const uint16_t v = field(play, block);
    return v > 254 ? field(own, block) : v;
}

// The pending set-up of a block, as the song start sends it.
void activateBlock(int block)
{
    const int flat = flatOf(block);
    const int port = flat / 16;
    const int channel = flat & 15;
    rtLogMsg(3, LOG_SRC, __LINE__, "_activateInsert %d", flat);
    SEQUENCER_EX_StopSoundChanAtPort(port, channel);
    sendEfxAssign(channel, field(USED, block), port, true);
    if (int16_t(field(PLAY_PROGRAM, block)) >= 0)
        sendProgram(port, channel, playValue(block, PLAY_PROGRAM, PROGRAM),
                    playValue(block, PLAY_BANK, BANK));
    // The preset goes to the module of the block's own output (output 1 only
    // would leave a song on output 2 with the effect unset).
    sendPreset(block, field(PRESET, block), port);
    field(PENDING, block) = 0;
}

void bindBlock(int block, int flat, int preset)
{
    field(FLAT, block) = uint16_t(flat);
    field(PRESET, block) = uint16_t(preset);
    field(USED, block) = uint16_t(block + 1);
    field(PLAY_PROGRAM, block) = UNSET_WORD;
    field(PLAY_BANK, block) = UNSET_WORD;
    field(PENDING, block) = 1;
}

int deactivate(int channel, int port, bool restoreProgram)
{
    if (!enabled())
        return 0;
    rtLogMsg(3, LOG_SRC, __LINE__, "Insert deactivate Port %d, Chan %d, sendPrg %d", port, channel,
             restoreProgram ? 1 : 0);
    const int block = blockOfFlat(port * 16 + (channel & 15));
    if (block < 0)
        return 0;
    AdvanceHold hold;
    SEQUENCER_EX_StopSoundChanAtPort(port, channel);
    if (restoreProgram && field(PLAY_PROGRAM, block) < 255)
        sendProgram(port, channel, field(PROGRAM, block), field(BANK, block));
    sendEfxAssign(channel, field(USED, block), port, false);
    release(block);
    return 1;
}
} // namespace

void INSERTS_Init(void)
{
    std::memset(g_pool, 0, sizeof g_pool);
    loadPresets();
    for (auto &preset : g_presets)
        sortPreset(preset);
}

void INSERTS_SetEnabled(int on) { g_enabled.store(on ? 1 : 0, std::memory_order_relaxed); }
int INSERTS_IsEnabled(void) { return enabled() ? 1 : 0; }
void INSERTS_SetAutoAssign(int on) { g_autoAssign.store(on, std::memory_order_relaxed); }
int INSERTS_GetAutoAssignFlag(void) { return g_autoAssign.load(std::memory_order_relaxed); }

int INSERTS_GetAutoAssign(const Db *db)
{
    if (!db)
        return 0;
    for (int c = 0; c < 16; ++c)
        for (int l = 0; l < NUM_LAYERS; ++l)
            if (db->layers[c][l].insertId)
                return 1;
    return 0;
}

int INSERTS_GetNumOfInsert2Fit(Db *db)
{
    return INSERTS_GetAutoAssignFlag() ? INSERTS_AutoAssign(db, 0) : 0;
}

int INSERTS_AutoAssign(Db *db, int apply)
{
    if (!db)
        return 0;
    int limit = 2;
    if (apply) {
        int used = 0;
        for (int c = 0; c < 16; ++c)
            for (int l = 0; l < NUM_LAYERS; ++l)
                used += db->layers[c][l].insertId ? 1 : 0;
        limit = INSERTS_Available() - used;
        if (limit < 1)
            return 0;
    }
    struct Score {
        uint32_t score;
        uint32_t channel;
    } list[16];
    const int melody = melodyChannel.load(std::memory_order_relaxed);
    const int harmony = harmChannel.load(std::memory_order_relaxed);
    for (int c = 0; c < 16; ++c)
        list[c] = {(c == melody || c == harmony) ? 0u : EXTRACT_GetNoteScore(c), uint32_t(c)};
    int ranked = 0;
    for (; ranked < 16; ++ranked) {
        int best = -1;
        for (int j = ranked; j < 16; ++j)
            if (list[j].score > 0 && (best < 0 || list[j].score > list[best].score))
                best = j;
        if (best < 0)
            break;
        std::swap(list[ranked], list[best]);
    }
    int count = 0;
    for (int i = 0; i < ranked; ++i) {
        DbLayer &layer = db->layers[list[i].channel][0];
        if (layer.flags & DB_FLAG_PROGRAM_OVERRIDE)
            continue;
        for (const SuperSound &row : SUPER_SOUNDS) {
            if (row.fromProgram != layer.program || row.fromBank != layer.bank)
                continue;
            const uint8_t id = EXTR_INFO_getInstrumentInsert(row.toProgram, row.toBank, 0);
            if (id == 0) {
                rtLogMsg(2, LOG_SRC, __LINE__, "INTERNAL WARNING: no insertion effect for the replacement sound");
                continue;
            }
            if (apply) {
                layer.program = row.toProgram;
                layer.bank = row.toBank;
                layer.flags |= DB_FLAG_PROGRAM_OVERRIDE;
                layer.insertId = id;
            }
            if (++count >= limit)
                return count;
        }
    }
    rtLogMsg(4, LOG_SRC, __LINE__, "Sounds replaced: %d", count);
    return count;
}

int INSERTS_LoadAllFromDb(Db *db, int port, uint8_t *buffer, int *length)
{
    if (length)
        *length = 0;
    if (!db) {
        rtLogMsg(2, LOG_SRC, __LINE__, "INTERNAL WARNING: insertion effects asked for without channel settings");
        return 0;
    }
    if (!enabled()) {
        std::memset(g_pool, 0, sizeof g_pool);
        return 0;
    }
    for (int b = 0; b < INSERT_BLOCKS; ++b)
        if (bound(b) && portOf(b) == port)
            release(b);
    if (INSERTS_GetAutoAssignFlag())
        INSERTS_AutoAssign(db, 1);
    for (int c = 0; c < 16; ++c) {
        for (int l = 0; l < NUM_LAYERS; ++l) {
            DbLayer &layer = db->layers[c][l];
            const int block = INSERT_GetFirstBlockFree();
            if (!layer.insertId || block < 0)
                continue;
            layer.flags |= DB_FLAG_PROGRAM_OVERRIDE;
            bindBlock(block, port * 16 + c, (layer.insertId - 1) & 63);
            if (buffer && length) {
                const uint8_t status = uint8_t(0xB0 | block);
                const uint8_t nrpn[MIDI_CONTROLS_NRPN_LEN] = {status, 0x63, 0x37, status, 0x62,
                                                              0x01, status, 0x06, uint8_t(c)};
                std::memcpy(buffer + *length, nrpn, sizeof nrpn);
                *length += MIDI_CONTROLS_NRPN_LEN;
            } else {
                INSERTS_SetNextChanWithInsert(block, c, port);
            }
        }
    }
    return 1;
}

int INSERTS_ActivateAll(void)
{
    if (!enabled())
        return 0;
    int sent = 0;
    for (int b = 0; b < INSERT_BLOCKS; ++b) {
        if (bound(b) && field(PENDING, b)) {
            activateBlock(b);
            ++sent;
        }
    }
    return sent;
}

int INSERT_MustSend(void)
{
    for (int b = 0; b < INSERT_BLOCKS; ++b)
        if (bound(b) && field(PENDING, b))
            return 1;
    return 0;
}

int INSERTS_activate(int flat)
{
    if (!enabled())
        return 0;
    const int block = blockOfFlat(flat);
    if (block < 0)
        return 0;
    rtLogMsg(3, LOG_SRC, __LINE__, "Insert Activate Chan %d, insert %d", flat, field(PRESET, block));
    const int port = flat / 16;
    const int channel = flat & 15;
    SEQUENCER_EX_StopSoundChanAtPort(port, channel);
    const int program = playValue(block, PLAY_PROGRAM, PROGRAM);
    const int bank = playValue(block, PLAY_BANK, BANK);
    {
        AdvanceHold hold;
        sendEfxAssign(channel, field(USED, block), port, false);
        if (program != 255 && bank != 255)
            sendProgram(port, channel, program, bank);
        sendPreset(block, field(PRESET, block), port);
        sendEfxAssign(channel, field(USED, block), port, true);
    }
    field(PENDING, block) = 0;
    refreshMidiChVolumesMap(channel, ownOutput(port));
    return 1;
}

int INSERTS_ActivateSpecialSound(const GS_INSTRUMENT_NAME *sound, int channel, int port)
{
    if (!enabled() || !sound)
        return 0;
    const int flat = port * 16 + (channel & 15);
    int block = blockOfFlat(flat);
    const int preset = (sound->insert - 1) & 63;
    const uint8_t playProgram = uint8_t(sound->param1);
    const uint8_t playBank = uint8_t(sound->param2);
    if (block >= 0) {
        if (playProgram == 255 && playBank == 255 && field(PRESET, block) == preset)
            return 2;
        release(block);
    } else {
        block = INSERT_GetFirstBlockFree();
        if (block < 0)
            return 0;
    }
    bindBlock(block, flat, preset);
    field(PROGRAM, block) = sound->program;
    field(BANK, block) = sound->bank;
    field(PLAY_PROGRAM, block) = playProgram;
    field(PLAY_BANK, block) = playBank;
    INSERTS_activate(flat);
    return 1;
}

int INSERTS_Deactivate(int channel, int port) { return deactivate(channel, port, true); }
int INSERTS_DeactivateOnly(int channel, int port) { return deactivate(channel, port, false); }

void INSERTS_deactivateAll(int port, uint8_t *buffer, int *length)
{
    if (length)
        *length = 0;
    if (!enabled())
        return;
    rtLogMsg(3, LOG_SRC, __LINE__, "Insert deactivate all Port %d", port);
    for (int b = 0; b < INSERT_BLOCKS; ++b) {
        if (!bound(b) || portOf(b) != port)
            continue;
        const int channel = flatOf(b) & 15;
        const bool restore = int16_t(field(PLAY_PROGRAM, b)) >= 0;
        if (buffer && length) {
            int n = 0;
            MIDI_CONTROLS_StopSoundChanAtPort_Ex(port, channel, buffer + *length, &n);
            *length += n;
            buildEfxAssign(buffer + *length, channel, field(USED, b), false);
            *length += EFX_ASSIGN_LEN;
            rtLogMsg(3, LOG_SRC, __LINE__, "Insert SysEx Port %d, Chan %d, Insert %d, Val %d", port,
                     channel, field(USED, b), 0);
            if (restore)
                *length += writeProgram(buffer + *length, channel, field(PROGRAM, b), field(BANK, b));
        } else {
            SEQUENCER_EX_StopSoundChanAtPort(port, channel);
            sendEfxAssign(channel, field(USED, b), port, false);
            if (restore)
                sendProgram(port, channel, field(PROGRAM, b), field(BANK, b));
        }
        release(b);
    }
}

void INSERTS_DeactivateAll(int port)
{
    uint8_t buffer[64];
    int length = 0;
    INSERTS_deactivateAll(port - 1, buffer, &length);
    if (length <= 0)
        return;
    sendQueued(port - 1, buffer, length);
}

void INSERTS_RemoveAllSuperSounds(Db *db, int port)
{
    if (db && INSERTS_Available() < INSERT_BLOCKS) {
        int freed = INSERTS_Available();
        for (int c = 0; c < 16 && freed < INSERT_BLOCKS; ++c) {
            DbLayer &layer = db->layers[c][0];
            if (!layer.insertId)
                continue;
            for (const SuperSound &row : SUPER_SOUNDS) {
                if (row.toProgram != (layer.program & 0x7F) || row.toBank != (layer.bank & 0x7F))
                    continue;
                layer.program = row.fromProgram;
                layer.bank = row.fromBank;
                layer.insertId = 0;
                layer.flags &= uint8_t(~DB_FLAG_PROGRAM_OVERRIDE);
                ++freed;
                rtLogMsg(4, LOG_SRC, __LINE__, "Insert %d Rimosso", 0);
                break;
            }
        }
    }
    INSERTS_deactivateAll(port, nullptr, nullptr);
    rtLogMsg(4, LOG_SRC, __LINE__, "Insert Rimossi ");
}

void INSERTS_Reset(int port)
{
    if (!enabled())
        return;
    for (int b = 0; b < INSERT_BLOCKS; ++b) {
        if (flatOf(b) / 16 != port)
            continue;
        {
            AdvanceHold hold;
            rtLogMsg(3, LOG_SRC, __LINE__, "Insert RESET");
            // On the port's own output, where the block was sent, whichever
            // block it is.
            for (int c = 0; c < 16; ++c)
                sendEfxAssign(c, field(USED, b), port, false);
            for (int ch = 0; ch < INSERT_BLOCKS; ++ch) {
                sendNrpn(NRPN_EFFECT_MSB | 0x20, 0, port, ch);
                sendNrpn(NRPN_EFFECT_MSB | 0x30, 0, port, ch);
            }
        }
        release(b);
    }
}

void INSERTS_SwitchBank(int sourcePort)
{
    if (!enabled())
        return;
    rtLogMsg(3, LOG_SRC, __LINE__, "Insert Switch SourcePort %d", sourcePort);
    for (int b = 0; b < INSERT_BLOCKS; ++b) {
        if (!bound(b))
            continue;
        const int flat = flatOf(b);
        const int used = field(USED, b);
        if (sourcePort == 0 && flat >= 0 && flat < 16) {
            sendEfxAssign(flat, used, 0, false);
            field(FLAT, b) = uint16_t(flat + 16);
            sendEfxAssign(flat, used, 1, true);
        } else if (sourcePort == 1 && flat >= 16 && flat < 32) {
            sendEfxAssign(flat, used, 1, false);
            field(FLAT, b) = uint16_t(flat - 16);
            sendEfxAssign(flat, used, 0, true);
        }
    }
}

void INSERTS_SetNextChanWithInsert(int block, int channel, int port)
{
    rtLogMsg(4, LOG_SRC, __LINE__, "INSERT %d SetNextChanWithInsert port %d channel %d ", block, port,
             channel);
    if (block == 0 || block == 1)
        sendNrpn(NRPN_NEXT_CHANNEL, port * 16 + channel, port, block);
}

int INSERT_GetFirstBlockFree(void)
{
    for (int b = 0; b < INSERT_BLOCKS; ++b)
        if (!bound(b))
            return b;
    return -1;
}

int INSERTS_Available(void) { return (bound(0) ? 0 : 1) + (bound(1) ? 0 : 1); }

int INSERTS_GetBlockUsingChannel(int flat)
{
    const int b = blockOfFlat(flat);
    return b < 0 ? 0 : b + 1;
}

int INSERT_GetBlockOfInsert(int preset)
{
    for (int b = 0; b < INSERT_BLOCKS; ++b)
        if (bound(b) && field(PRESET, b) == preset)
            return b;
    return -1;
}

int INSERT_ClearFlags(int block)
{
    if (block != 0 && block != 1)
        return 0;
    release(block);
    return 1;
}

int INSERTS_SetStructure(int flat, int preset, int program, int bank, int playProgram, int playBank,
                         int block)
{
    if (!enabled() || block < 0 || block >= INSERT_BLOCKS || bound(block))
        return 0;
    bindBlock(block, flat, preset);
    field(PROGRAM, block) = uint16_t(program);
    field(BANK, block) = uint16_t(bank);
    field(PLAY_PROGRAM, block) = uint16_t(playProgram);
    field(PLAY_BANK, block) = uint16_t(playBank);
    return 1;
}

void INSERTS_GetConfig(uint16_t *config)
{
    if (enabled() && config)
        std::memcpy(config, g_pool, sizeof g_pool);
}

void INSERTS_SetConfig(const uint16_t *config)
{
    if (enabled() && config)
        std::memcpy(g_pool, config, sizeof g_pool);
}

int NumInsertCurrentlyUsed(const Db *db)
{
    if (!db)
        return 0;
    int first = 0;
    for (int c = 0; c < 16; ++c) {
        for (int l = 0; l < NUM_LAYERS; ++l) {
            const int id = db->layers[c][l].insertId & 63;
            if (!id)
                continue;
            if (!first)
                first = id;
            else if (id != first)
                return 2;
        }
    }
    return first ? 1 : 0;
}
