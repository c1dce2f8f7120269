// How the C library's allocator treats big blocks and the free memory at
// the top of each thread's arena, for the whole program: set once, first
// thing at start, before any other thread runs.
#pragma once

namespace MemoryPolicy {

void apply();

} // namespace MemoryPolicy
