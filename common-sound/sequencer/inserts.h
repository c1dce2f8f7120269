// The two insertion-effect blocks of the sound module. Each can be bound to
// one flat channel (port * 16 + channel, ports 0-1; port 2 is output 3),
// which tells the module which part uses it (EFX assign and an NRPN), sets
// the part's program and loads one of 51 stored effect presets as NRPNs.
//
// The whole module is off until INSERTS_SetEnabled(1); nothing in the
// application switches it on, so every operation then returns at its enabled
// test and no insertion-effect message is ever sent.
//
// The engine calls the binding and sending operations from inside its tick;
// callers on another thread hold the engine's advance off around them.
#pragma once

#include "MIDI_const.h"
#include "StreamData.h"

#include <cstdint>

constexpr int INSERT_BLOCKS = 2;
constexpr int INSERT_PRESETS = 51;
constexpr int INSERT_PRESET_SIZE = 256;

extern "C" {

// Clears the pool and sorts every preset's pairs by parameter.
void INSERTS_Init(void);
void INSERTS_SetEnabled(int on);
int INSERTS_IsEnabled(void);
void INSERTS_SetAutoAssign(int on);
int INSERTS_GetAutoAssignFlag(void);
// 1 when any layer of channels 0-15 of db has an insertion-effect id.
int INSERTS_GetAutoAssign(const Db *db);
// 0 while auto-assign is off, else the number of channels auto-assign would give a super sound.
int INSERTS_GetNumOfInsert2Fit(Db *db);
// Gives the best-scoring channels their super sound (writing db with apply);
// the number given.
int INSERTS_AutoAssign(Db *db, int apply);
// Binds blocks for a song's channels 0-15; 1, or 0 for a null Db or when the
// module is off (the pool is then cleared). With a buffer (room for 18 bytes)
// the binding messages are appended to it and *length counts them; without,
// they are sent at once.
int INSERTS_LoadAllFromDb(Db *db, int port, uint8_t *buffer, int *length);
// Sends every pending block; the number sent.
int INSERTS_ActivateAll(void);
// 1 when a block is bound but not yet sent.
int INSERT_MustSend(void);
// Sends the block bound to a flat channel; 0 when none or off.
int INSERTS_activate(int flatChannel);
// Binds and sends a block for an instrument row with an effect: 1 bound, 2
// already bound with that preset (nothing sent), 0 off or no block free.
int INSERTS_ActivateSpecialSound(const GS_INSTRUMENT_NAME *sound, int channel, int port);
// Releases the block of a channel and restores the sound's own program; 0
// when none or off.
int INSERTS_Deactivate(int channel, int port);
// The same without the program message.
int INSERTS_DeactivateOnly(int channel, int port);
// Releases every block of a port (0-2) into buffer (room for 50 bytes), or
// sends at once without one.
void INSERTS_deactivateAll(int port, uint8_t *buffer, int *length);
// The same for port 1-3 (port - 1), sent as one message.
void INSERTS_DeactivateAll(int port);
// Undoes auto-assign in db and releases the port's blocks.
void INSERTS_RemoveAllSuperSounds(Db *db, int port);
// Resets the blocks of a port in the sound module and frees them.
void INSERTS_Reset(int port);
// Moves bound blocks from output 1 to output 2 (source 0) or back (1).
void INSERTS_SwitchBank(int sourcePort);
void INSERTS_SetNextChanWithInsert(int block, int channel, int port);
int INSERT_GetFirstBlockFree(void);
int INSERTS_Available(void);
// 1 or 2 for the block bound to a flat channel, else 0.
int INSERTS_GetBlockUsingChannel(int flatChannel);
// The block (0/1) bound with a preset, else -1.
int INSERT_GetBlockOfInsert(int preset);
int INSERT_ClearFlags(int block);
int INSERTS_SetStructure(int flatChannel, int preset, int program, int bank, int playProgram,
                         int playBank, int block);
// Copies the pool into / from a stream record's configuration (nothing when off).
void INSERTS_GetConfig(uint16_t *config);
void INSERTS_SetConfig(const uint16_t *config);
// 0 no insert id over channels 0-15, 1 all the same, 2 two different ones.
int NumInsertCurrentlyUsed(const Db *db);

} // extern "C"
