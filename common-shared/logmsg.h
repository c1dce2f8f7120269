// Log call and small time and string helpers of the C-style modules.
#pragma once

#include <cstdint>

// Level 0 and 1 critical, 2 warning, 3 info, 4 debug; above 4 dropped before
// anything is formatted. Safe from any thread.
void logMsg(int level, const char *sourceFile, int line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// Monotonic clock in milliseconds.
uint64_t getTimeStampMilliSec();

// ticks * 60000 / (tpqn * bpm), truncated; 0 when tpqn or bpm is 0.
uint32_t convertTicksTimeToMilliSeconds(int ticks, unsigned tpqn, unsigned bpm);
// (tpqn * bpm) * ms / 60000, truncated; a negative time gives a negative
// count in the 32 bits (read the result as int32_t).
uint32_t convertMilliSecondsTimeToTicks(int ms, unsigned tpqn, unsigned bpm);

// ASCII case change in place for at most n characters or up to the NUL.
void strlwr_s(char *s, int n);
void strupr_s(char *s, int n);
// The same through the C library's mapping, for at most 100 characters.
char *strlwr(char *s);
char *strupr(char *s);

// Below 1000 "%i", else "%i.%03i" (1234 -> "1.234"); out needs 16 bytes.
char *_itoa_k(int value, char *out);
bool isAlphaNumChar(int c);
// Half velocity for semi-muted parts.
uint8_t semiMute(uint8_t velocity);
