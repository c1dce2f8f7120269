#include "ExtractLock.h"

namespace {
thread_local int t_lockDepth = 0;
}

std::recursive_mutex &EXTRACT_Mutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

bool EXTRACT_IsLockedByThisThread()
{
    return t_lockDepth > 0;
}

ExtractLocker::ExtractLocker()
{
    EXTRACT_Mutex().lock();
    ++t_lockDepth;
}

ExtractLocker::~ExtractLocker()
{
    --t_lockDepth;
    EXTRACT_Mutex().unlock();
}
