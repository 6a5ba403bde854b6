// The effect's custom button: the configuration dialog on the clip frame
// where the user clicked, fetched from the host in the media type's size.
#include "common/commonprocs.h"
#include "common/iMovieGlue.h"
#include "effect/pascalFX.h"
#include "host/HostEntry.h"
#include "quickdraw/QuickDraw.h"
#include "text/PascalString.h"

namespace {

Rect FrameForMedia(SInt16 mediaType) {
  switch (mediaType) {
    case 2: return {0, 0, 576, 720};
    case 3: return {0, 0, 540, 960};
    default: return {0, 0, 480, 720};
  }
}

// Where the host has no frame to give, the dialog opens on a black one of
// the same size: every setting can still be made, and the clip slider may
// reach frames the host does have.
GWorldPtr BlackFrame(const Rect& bounds) {
  GWorldPtr frame = AllocateRectGWorld(bounds);
  if (frame == nullptr) return nullptr;
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(frame, nullptr);
  const RGBColor black = {0, 0, 0};
  RGBForeColor(&black);
  PaintRect(&bounds);
  SetGWorld(savedPort, savedDevice);
  return frame;
}

}  // namespace

HYPluginResult CustomButton(SInt16, HYPluginParams* params) {
  const SInt32 frame = params->renderFrame + gMostRecentStartFrame;
  const Rect size = FrameForMedia(GetMediaFormat(gPascalData));
  Float32 volume = 0;
  LentFrame theGW;
  FetchHostFrame(params, frame, size.right, size.bottom, kDVHighQuality, &volume, theGW);
  GWorldPtr shown = theGW.buffer != nullptr ? theGW.buffer : BlackFrame(size);
  Assert(shown, PStr("Unable to allocate theProcessed in ConffigurePlug Init run"));
  ConfigurePlugIn(gPascalData, shown, params, gMostRecentStartFrame, gMostRecentFrameCount);
  if (theGW.buffer == nullptr) DisposeGWorld(shown);
  GiveBackHostFrame(params, theGW);
  return kPluginOK;
}
