#include "effect/pascalFX.h"

#include <cstring>

#include "common/commonprocs.h"
#include "dialog/clipCTRL.h"
#include "dialog/colorCTRL.h"
#include "dialog/configdlghandler.h"
#include "dialog/pictCTRL.h"
#include "effect/DataHandling.h"
#include "effect/relrects.h"
#include "render/callpixelfx.h"
#include "memory/MacMemory.h"
#include "storage/prefsloader.h"
#include "text/PascalString.h"

void InitPascal() {}

void pGetConfigSize(UInt32& theSize) { theSize = sizeof(PluginDataRec); }

void InitMyPlugIn(void* theData) {
  Assert(theData, PStr("Unable to allocate new data structure"));
  InitPluginData(static_cast<PluginDataPtr>(theData));
}

void pCopyConfig(void* source, void* dest) {
  if (source == nullptr || dest == nullptr) return;
  Ptr sourceBlock = static_cast<Ptr>(source), destBlock = static_cast<Ptr>(dest);
  UInt32 size;
  pGetConfigSize(size);
  // A block shorter than the record cannot take the copy either.
  if (GetPtrSize(sourceBlock) != GetPtrSize(destBlock) || UInt32(GetPtrSize(destBlock)) < size)
    Terminate(PStr("Non-Matching Blocks"), PStr("The Size of Source and Dest do not match"));
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

void InitPluginData(PluginDataPtr theConfig) {
  Assert(theConfig, PStr("Nil theConfig on InitPluginData"));
  ResetConfig(theConfig, true);
  // Persistence failures are silent: without a saved record the defaults stay.
  EnsureSettingsFile();
  ReadConfig(theConfig);
  SaveConfig(theConfig);
}

SInt16 GetMediaFormat(PluginDataPtr theData) { return theData ? theData->MediaType : 1; }

void ConfigurePlugIn(PluginDataPtr theData, GWorldPtr theGW, HYPluginParams* params, SInt32 firstFrameIndex,
                     SInt32 numberOfFrames) {
  gTheConfig = theData;
  gConfigWorkSpace.TheConfig = gTheConfig;
  gConfigWorkSpace.SourceClip = theGW;
  gConfigWorkSpace.iMovieParams = params;
  gConfigWorkSpace.MinFrameIndex = firstFrameIndex;
  gConfigWorkSpace.MaxFrameIndex = (numberOfFrames < 1 ? 1 : numberOfFrames) - 1;
  // The dialog opens where the click was made: the preview shows that frame
  // with the rectangle of that position, and the clip slider stands there.
  const SInt32 at = params->renderFrame;
  gConfigWorkSpace.CurrFrameIndex = at < 0 ? 0 : at > gConfigWorkSpace.MaxFrameIndex ? gConfigWorkSpace.MaxFrameIndex : at;
  gConfigWorkSpace.ActiveRel = 1;
  gConfigWorkSpace.TheFXClip = AllocateRectGWorld(GetPortRect(theGW));
  Assert(gConfigWorkSpace.TheFXClip, PStr("Unable to allocate theProcessed in ConffigurePlug Init run"));
  Assert(theData, PStr("uninited theData in Configure master proc. need to call init before calling me"));
  CallPixelEffect(theGW, gConfigWorkSpace.TheFXClip);
  RegisterColorBox();
  RegisterClipCtrl();
  RegisterPictureControl();
  DoConfig(gTheConfig);
  UnregisterClipCtrl();
  UnregisterColorBox();
  UnregisterPictureControl();
  DisposeGWorld(gConfigWorkSpace.TheFXClip);
  gConfigWorkSpace.TheFXClip = nullptr;
  gConfigWorkSpace.SourceClip = nullptr;
}

void DoPascalPixelEffect(GWorldPtr source, GWorldPtr dest, PluginDataPtr theConfig,
                         SInt32 currentFrameIndex, SInt32 maxFrames) {
  const Rect theFrame = GetPortRect(dest);
  const RelRect tween = CalcTweenRel(0, maxFrames, currentFrameIndex, theConfig->StartRel, theConfig->EndRel);
  PixelDrive(source, dest, Rel2Rect(tween, theFrame), theConfig, currentFrameIndex, maxFrames);
}

void DoEffect(PluginDataPtr myConfig, HYPluginParams*, GWorldPtr theSource, GWorldPtr theTarget,
              SInt32 currentFrameIndex, SInt32, SInt32, SInt32 totalFrames, Float32, Float32, Float32,
              SInt16&) {
  Assert(myConfig, PStr("uninited theData in Plugin Effect master proc. need to call init before calling me"));
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  DoPascalPixelEffect(theSource, theTarget, myConfig, currentFrameIndex, totalFrames);
  SetGWorld(savedPort, savedDevice);
}
