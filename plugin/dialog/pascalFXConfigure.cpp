// pascalFX's configuration: the dialog's working state, its custom
// controls and the dialog itself, over one clip frame.
#include "common/commonprocs.h"
#include "dialog/clipCTRL.h"
#include "dialog/colorCTRL.h"
#include "dialog/configdlghandler.h"
#include "dialog/pictCTRL.h"
#include "effect/DataHandling.h"
#include "effect/pascalFX.h"
#include "render/callpixelfx.h"
#include "text/PascalString.h"

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

