#include "effect/DataHandling.h"

#include "common/commonprocs.h"
#include "effect/relrects.h"
#include "text/PascalString.h"

PluginWorkSpace gConfigWorkSpace;
PluginDataPtr gTheConfig = nullptr;

void IndexOutOfRange(int index) {
  Str255 location;
  Num2Text(index, location);
  Str255 text;
  CopyCStringToPascal("Index out of range: ", text);
  std::string joined = PascalBytes(text) + PascalBytes(location);
  CopyCStringToPascal(joined.c_str(), text);
  Terminate(PStr("Assertion Failure"), text);
}

void ResetConfig(PluginDataPtr theConfig, bool fullInit) {
  Assert(theConfig, PStr("Nil theConfig in ResetConfig"));
  const RGBColor white = {65535, 65535, 65535}, black = {0, 0, 0};
  InitRelRect(theConfig->StartRel);
  InitRelRect(theConfig->EndRel);
  theConfig->Colors[1] = white;
  theConfig->Colors[2] = white;
  for (int k = 3; k <= 6; ++k) theConfig->Colors[k] = black;
  const SInt16 sliders[6] = {0, 50, 0, 0, 0, 0};
  for (int k = 1; k <= 6; ++k) theConfig->Sliders[k] = sliders[k - 1];
  theConfig->FrameStartColor = {0, 65535, 0};
  theConfig->FrameEndColor = {65535, 0, 0};
  if (fullInit) {
    theConfig->TheOriginalImage = nullptr;
    theConfig->TheRendered = nullptr;
    theConfig->MediaType = 1;
  }
  theConfig->KeepProps = false;
  theConfig->BlendMode = 1;
  theConfig->Smooth = false;
  theConfig->Easing = 1;
  theConfig->Spin = 0;
  theConfig->MotionBlur = 0;
  theConfig->Sync = false;
  theConfig->Outside = true;
  theConfig->ClipActive = false;
}

RelRect GetCurrentRel() {
  PluginDataPtr config = gConfigWorkSpace.TheConfig;
  Assert(config, PStr("Nil TheConfig in GetCurrentRel"));
  return gConfigWorkSpace.ActiveRel == 1 ? config->StartRel : config->EndRel;
}

void PutCurrentRel(const RelRect& theRel) {
  PluginDataPtr config = gConfigWorkSpace.TheConfig;
  Assert(config, PStr("Nil TheConfig in PutCurrentRel"));
  (gConfigWorkSpace.ActiveRel == 1 ? config->StartRel : config->EndRel) = theRel;
}
