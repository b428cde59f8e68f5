#pragma once

#include <malloc.h>

// glibc gives each thread that allocates while the others hold the heap an
// arena of its own, up to eight per core, and keeps what they freed. Burns,
// preparations and queue jobs run on many short-lived threads, so a long
// session's memory kept growing with no leak behind it. Two arenas keep it
// flat; nothing of ours allocates hotly enough to contend on them.
//
// Call first thing in main(), before any thread starts.
inline void limitAllocatorArenas()
{
    ::mallopt(M_ARENA_MAX, 2);
}
