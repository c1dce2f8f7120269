// The monotonic clock in milliseconds: the clock heard-record places its
// frames on and heard-beep tells its beeps by.
#pragma once

#include <ctime>

inline double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
