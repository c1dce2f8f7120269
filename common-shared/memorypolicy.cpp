#include "memorypolicy.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace MemoryPolicy {

void apply()
{
#ifdef __GLIBC__
    // Left to itself glibc raises its thresholds as blocks are freed: after
    // a store answer of ten megabytes each thread's arena may keep twice
    // that free at its top, where malloc_trim does not reach, and the store
    // listings' readers each may have an arena. Fixed thresholds bound what
    // an arena keeps. Blocks of up to 32 MiB (a CD+G picture scaled to the
    // view, several MB at each picture change) come from the arenas and
    // reuse what the last one freed; a block of its own mapped each time
    // would cost the window page faults over the whole of it at every
    // change. An arena keeps up to 16 MiB free at its top: the largest
    // such picture is freed and made again without going back to the
    // system each time.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
#endif
}

} // namespace MemoryPolicy
