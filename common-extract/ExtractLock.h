// The one process-wide lock of the decoding modules that keep their working
// state in globals (file loading and container decoding, the normaliser, the
// lyric readers, the MP3 text readers). Every entry point that runs one of
// them holds it for the whole run, so a preload and an import never
// interleave. It is recursive: an entry point may call another one.
// Take it through ExtractLocker: the decoding functions check, in debug
// builds, that the calling thread holds it that way.
#pragma once

#include <mutex>

std::recursive_mutex &EXTRACT_Mutex();

// True while the calling thread holds the lock through ExtractLocker.
bool EXTRACT_IsLockedByThisThread();

class ExtractLocker
{
public:
    ExtractLocker();
    ~ExtractLocker();
    ExtractLocker(const ExtractLocker &) = delete;
    ExtractLocker &operator=(const ExtractLocker &) = delete;
};
