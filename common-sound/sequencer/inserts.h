// Insertion-effect blocks of the sound module. The module is switched off in
// this application (nothing enables it), so the operations the engine calls
// return at their enabled test and no insertion-effect message is ever sent.
#pragma once

#include "StreamData.h"

#include <cstdint>

extern "C" {

// Clears the block pool.
void INSERTS_Init(void);
int INSERTS_IsEnabled(void);
void INSERTS_SetAutoAssign(int on);
int INSERTS_GetAutoAssignFlag(void);
// Binds blocks for a song's channels 0-15; 1, or 0 for a null Db or when the
// module is off (the pool is then cleared). *length gets the bytes written to
// buffer (0 when off).
int INSERTS_LoadAllFromDb(Db *db, int port, uint8_t *buffer, int *length);
// Sends every pending block; the number sent.
int INSERTS_ActivateAll(void);
// 1 when a block is bound but not yet sent.
int INSERT_MustSend(void);
// Copies the pool into a stream record's configuration (nothing when off).
void INSERTS_GetConfig(uint16_t *config);
void INSERTS_SetConfig(const uint16_t *config);
// Moves bound blocks between outputs 1 and 2.
void INSERTS_SwitchBank(int sourcePort);
// Resets the blocks of a port.
void INSERTS_Reset(int port);
// Releases every block of a port into buffer (or sends at once without one).
void INSERTS_deactivateAll(int port, uint8_t *buffer, int *length);

} // extern "C"
