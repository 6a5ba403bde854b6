#include "common/commonprocs.h"
#include "effect/pascalFX.h"
#include "host/HostEntry.h"
#include "memory/MacMemory.h"
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

// The host's callbacks that a request is served with: the allocator at
// start-up, and what each handler calls.
bool HostGivesWhatIsNeeded(const HYPluginParams* params) {
  const HYProcs* p = params->procs;
  if (p == nullptr || (gPascalData == nullptr && p->NewPtrClear == nullptr)) return false;
  const bool frames = p->GetFrame != nullptr && p->ReleaseFrame != nullptr;
  const bool session = p->NewPtrClear != nullptr && p->DisposePtr != nullptr && p->GetPtrSize != nullptr &&
                       p->GetFilterInfo != nullptr && p->ReleaseFilterInfo != nullptr;
  switch (params->selector) {
    case kPlugInitialize: return session;
    case kPlugDoFrame: return frames && p->Blit != nullptr && p->MixAudio != nullptr;
    case kPlugTerminate: return p->DisposePtr != nullptr;
    case kPlugFilePlaceHolder: return session && frames && p->Blit != nullptr && p->MixAudio != nullptr;
    case kPlugCustomButtonClick: return frames;
    default: return true;
  }
}

// The first accepted call starts the plug-in: the effect side's hook, then the
// master record from the host's allocator, set to its defaults and overlaid
// with the remembered settings. False when the host's allocator gave
// nothing: the alert has told so, and the next call tries again.
bool StartPlugIn(HYPluginParams* params) {
  if (!gPascalInited) {
    InitPascal();
    gPascalInited = true;
  }
  if (gPascalData == nullptr) {
    UInt32 size;
    pGetConfigSize(size);
    Ptr block = params->procs->NewPtrClear(SInt32(size));
    if (!CheckFromOutside(block, PStr("Unable to allocate new data structure"))) return false;
    gPascalData = reinterpret_cast<PluginDataPtr>(block);
    InitMyPlugIn(gPascalData);
  }
  return true;
}

}  // namespace

SInt32 PluginMain(SInt16 which, HYPluginParams* params) {
  if (params == nullptr) return kPluginBadParams;
  if (params->interfaceVersion <= 3) return kPluginAppIsTooOld;
  // What comes from the host is answered with a result, never with the end
  // of its process: a missing callback, an allocator that gives nothing.
  if (!CheckFromOutside(HostGivesWhatIsNeeded(params) ? params : nullptr, PStr("Nil host callbacks in main")))
    return kPluginBadParams;
  // The blocks the host hands out are measured by the host.
  AskSizesOfOutsideBlocks(params->procs->GetPtrSize);
  if (!StartPlugIn(params)) return kPluginOutOfMemory;
  Handler handler = HandlerFor(params->selector);
  return handler ? handler(which, params) : kPluginOK;
}
