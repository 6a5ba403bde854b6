#include "dialog/motionControls.h"

#include <cmath>
#include <cstdio>

#include "common/commonprocs.h"
#include "dialog/DialogControls.h"
#include "dialog/carbonmacros.h"
#include "dialog/sliderHandlers.h"
#include "text/PascalString.h"

namespace {

// The sliders move in hundredths: of a turn for the spin, of a frame's time
// for the blur.
constexpr Float64 cHundredths = 100.0;

void ShowSpin(Float64 turns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", turns);
  SimpleSetControlText(gConfigWorkSpace.TheWindow, cSpinLegendSig, 1, PStr(text));
}

void ShowBlur(Float64 shutter) {
  char text[16];
  std::snprintf(text, sizeof text, "%ld%%", std::lround(shutter * 100));
  SimpleSetControlText(gConfigWorkSpace.TheWindow, cBlurLegendSig, 1, PStr(text));
}

}  // namespace

void SetupMotion(WindowRef theWindow) {
  const struct {
    OSType sig;
    const char* missing;
  } controls[] = {{cSmoothSig, "Cannot access the smooth box"},
                  {cEasingSig, "Cannot access the easing pop-up"},
                  {cSpinSig, "Cannot access the spin slider"},
                  {cBlurSig, "Cannot access the motion blur slider"}};
  for (const auto& c : controls) Assert(SimpleGetControlByID(theWindow, c.sig, 1), PStr(c.missing));
  SetControlAction(SimpleGetControlByID(theWindow, cSpinSig, 1), SpinAction);
  SetControlAction(SimpleGetControlByID(theWindow, cBlurSig, 1), BlurAction);
  Motion2Dlg(gConfigWorkSpace.TheConfig);
}

void Motion2Dlg(PluginDataPtr theConfig) {
  WindowRef window = gConfigWorkSpace.TheWindow;
  SimpleSetControlValueByID(window, cSmoothSig, 1, theConfig->Smooth ? 1 : 0);
  SimpleSetControlValueByID(window, cEasingSig, 1, theConfig->Easing);
  SimpleSetControlValueByID(window, cSpinSig, 1, SInt32(std::lround(theConfig->Spin * cHundredths)));
  SimpleSetControlValueByID(window, cBlurSig, 1, SInt32(std::lround(theConfig->MotionBlur * cHundredths)));
  ShowSpin(theConfig->Spin);
  ShowBlur(theConfig->MotionBlur);
}

void SmoothChanged() {
  gConfigWorkSpace.TheConfig->Smooth = SimpleGetControlValueByID(gConfigWorkSpace.TheWindow, cSmoothSig, 1) == 1;
  ReRenderAndBlit();
}

void EasingChanged() {
  gConfigWorkSpace.TheConfig->Easing = SInt16(SimpleGetControlValueByID(gConfigWorkSpace.TheWindow, cEasingSig, 1));
  ReRenderAndBlit();
}

void SpinAction(ControlRef theControl, ControlPartCode) {
  gConfigWorkSpace.TheConfig->Spin = GetControl32BitValue(theControl) / cHundredths;
  ShowSpin(gConfigWorkSpace.TheConfig->Spin);
  ReRenderAndBlit();
}

void BlurAction(ControlRef theControl, ControlPartCode) {
  gConfigWorkSpace.TheConfig->MotionBlur = GetControl32BitValue(theControl) / cHundredths;
  ShowBlur(gConfigWorkSpace.TheConfig->MotionBlur);
  ReRenderAndBlit();
}
