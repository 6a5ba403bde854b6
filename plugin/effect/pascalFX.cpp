// The record's lifecycle. The module's other routines live with the layer
// they use: InitPluginData with the settings file (storage/), the effect
// drive with the drawing (render/), ConfigurePlugIn with the dialog.
#include "effect/pascalFX.h"

#include <cstring>

#include "common/commonprocs.h"
#include "memory/MacMemory.h"
#include "text/PascalString.h"

void InitPascal() {}

void pGetConfigSize(UInt32& theSize) { theSize = sizeof(PluginDataRec); }

void InitMyPlugIn(void* theData) {
  Assert(theData, PStr("Unable to allocate new data structure"));
  InitPluginData(static_cast<PluginDataPtr>(theData));
}

bool ConfigBlocksMatch(void* source, void* dest) {
  Ptr sourceBlock = static_cast<Ptr>(source), destBlock = static_cast<Ptr>(dest);
  UInt32 size;
  pGetConfigSize(size);
  // A block shorter than the record cannot take the copy either.
  return GetPtrSize(sourceBlock) == GetPtrSize(destBlock) && UInt32(GetPtrSize(destBlock)) >= size;
}

void pCopyConfig(void* source, void* dest) {
  if (source == nullptr || dest == nullptr) return;
  if (!ConfigBlocksMatch(source, dest))
    Terminate(PStr("Non-Matching Blocks"), PStr("The Size of Source and Dest do not match"));
  UInt32 size;
  pGetConfigSize(size);
  std::memcpy(dest, source, size);
  PluginDataPtr from = static_cast<PluginDataPtr>(source), to = static_cast<PluginDataPtr>(dest);
  if (from->TheRendered != nullptr) to->TheRendered = CGImageCreateCopy(from->TheRendered);
  to->TheOriginalImage = nullptr;
}

void pUncopyConfig(void* theData) {
  Assert(theData, PStr("Nil data in pUncopyConfig"));
  PluginDataPtr record = static_cast<PluginDataPtr>(theData);
  if (record->TheRendered != nullptr) CGImageRelease(record->TheRendered);
}

SInt16 GetMediaFormat(PluginDataPtr theData) { return theData ? theData->MediaType : 1; }
