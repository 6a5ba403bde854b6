// Memory Manager stand-in: pointer blocks and handles that know their size.
//
// Every block starts with a 16-byte header (a magic word and the block's
// size) in front of the bytes handed out. Blocks a host's allocator handed
// out have no such header: their sizes are asked of the host.
#pragma once

#include <cstddef>

#include "MacTypes.h"

typedef SInt32 Size;

Ptr NewPtr(Size byteCount);
Ptr NewPtrClear(Size byteCount);
void DisposePtr(Ptr p);
Size GetPtrSize(Ptr p);
// Where GetPtrSize asks first: a host's answer for the blocks it handed out,
// -1 for any other pointer. Nil asks no one.
void AskSizesOfOutsideBlocks(SInt32 (*sizeOf)(Ptr block));

Handle NewHandle(Size byteCount);
Handle NewHandleClear(Size byteCount);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);
void SetHandleSize(Handle h, Size newSize);
// Blocks never move here; locking keeps its contract by doing nothing.
inline void HLock(Handle) {}
inline void HUnlock(Handle) {}

// Frames and pictures of several megabytes: backed by huge pages where the
// system offers them, so that a fresh buffer costs a few page faults rather
// than one for every 4 KB. Advice only; nothing changes where it is refused.
void AdviseLargeBuffer(void* start, size_t bytes);

// Result of the most recent allocation call: noErr or memFullErr.
OSErr MemError();

// Blocks allocated through this module and not yet disposed of.
size_t LiveMemoryBlocks();

// Test seam: make the allocation after `count` more successful ones fail
// (negative: never fail). Lets tests walk the out-of-memory paths.
void SetAllocationFailureCountdown(int count);
