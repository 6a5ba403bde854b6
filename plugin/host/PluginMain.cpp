#include "common/commonprocs.h"
#include "effect/pascalFX.h"
#include "host/HostEntry.h"
#include "text/PascalString.h"

PluginDataPtr gPascalData = nullptr;
bool gPascalInited = false;
SInt32 gMostRecentStartFrame = 0;
SInt32 gMostRecentFrameCount = 0;

namespace {

typedef HYPluginResult (*Handler)(SInt16 which, HYPluginParams* params);

Handler HandlerFor(HYPluginSelector selector) {
  switch (selector) {
    case kPlugGetInfo: return EffectGetInfo;
    case kPlugInitialize: return EffectBegin;
    case kPlugFilePlaceHolder: return MakeEffectPlaceHolder;
    case kPlugDoFrame: return EffectDrive;
    case kPlugTerminate: return EffectEnd;
    case kPlugCustomButtonClick: return CustomButton;
    default: return nullptr;  // icons, thumbnails, once-with-init: nothing to do
  }
}

// The first accepted call starts the plug-in: the effect side's hook, then the
// master record from the host's allocator, set to its defaults and overlaid
// with the remembered settings.
void StartPlugIn(HYPluginParams* params) {
  if (!gPascalInited) {
    InitPascal();
    gPascalInited = true;
  }
  if (gPascalData == nullptr) {
    UInt32 size;
    pGetConfigSize(size);
    Assert(params->procs, PStr("Nil host callbacks in main"));
    Assert(reinterpret_cast<const void*>(params->procs->NewPtrClear), PStr("Nil NewPtrClear in main"));
    gPascalData = reinterpret_cast<PluginDataPtr>(params->procs->NewPtrClear(SInt32(size)));
    InitMyPlugIn(gPascalData);
  }
}

}  // namespace

SInt32 PluginMain(SInt16 which, HYPluginParams* params) {
  if (params == nullptr) return kPluginBadParams;
  if (params->interfaceVersion <= 3) return kPluginAppIsTooOld;
  StartPlugIn(params);
  Handler handler = HandlerFor(params->selector);
  return handler ? handler(which, params) : kPluginOK;
}
