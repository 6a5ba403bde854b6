// Lifecycle of configuration records: size, copy, release, initialise.
// Every record pointer is a memory block (memory/MacMemory.h).
#pragma once

#include "effect/PluginData.h"
#include "quickdraw/QuickDraw.h"

// The effect side's start hook.
void InitPascal();
void pGetConfigSize(UInt32& theSize);
void InitMyPlugIn(void* theData);
// Copies every byte of source into dest, then gives dest its own copy of
// TheRendered and no TheOriginalImage. Blocks of different sizes end
// through Terminate; a nil argument does nothing.
void pCopyConfig(void* source, void* dest);
// Whether two blocks can take pCopyConfig: the same size, and room for the record.
bool ConfigBlocksMatch(void* source, void* dest);
// Releases the record's TheRendered.
void pUncopyConfig(void* theData);
// Defaults, then the remembered settings (written back at once).
void InitPluginData(PluginDataPtr theConfig);
SInt16 GetMediaFormat(PluginDataPtr theData);

// Runs the configuration dialog on theData over the clip frame theGW (lent by
// the host for the dialog's lifetime). The dialog shows the effect's frames
// firstFrameIndex to firstFrameIndex + numberOfFrames - 1 and opens on
// position params->renderFrame of them.
void ConfigurePlugIn(PluginDataPtr theData, GWorldPtr theGW, HYPluginParams* params, SInt32 firstFrameIndex,
                     SInt32 numberOfFrames);

// A host frame: the rectangle interpolated from 0 to maxFrames, then drawn.
void DoPascalPixelEffect(GWorldPtr source, GWorldPtr dest, PluginDataPtr theConfig,
                         SInt32 currentFrameIndex, SInt32 maxFrames);
// The effect side's per-frame entry for the host side. The fades, the host's
// slider values and the opacity are accepted and not used: the host's sliders
// do not change the picture and the frame driver does the fading.
void DoEffect(PluginDataPtr myConfig, HYPluginParams* params, GWorldPtr theSource, GWorldPtr theTarget,
              SInt32 currentFrameIndex, SInt32 fadeInFrames, SInt32 fadeOutFrames, SInt32 totalFrames,
              Float32 S1, Float32 S2, Float32 S3, SInt16& opacity);
