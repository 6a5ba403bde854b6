// Lifecycle of configuration records: size, copy, release, initialise.
// Every record pointer is a memory block (memory/MacMemory.h).
#pragma once

#include "effect/PluginData.h"

// The effect side's start hook.
void InitPascal();
void pGetConfigSize(UInt32& theSize);
void InitMyPlugIn(void* theData);
// Copies every byte of source into dest, then gives dest its own copy of
// TheRendered and no TheOriginalImage. Blocks of different sizes end the
// process; a nil argument does nothing.
void pCopyConfig(void* source, void* dest);
// Releases the record's TheRendered.
void pUncopyConfig(void* theData);
// Defaults, then the remembered settings (written back at once).
void InitPluginData(PluginDataPtr theConfig);
SInt16 GetMediaFormat(PluginDataPtr theData);
