#include "dialog/sliderHandlers.h"

#include <string>

#include "common/commonprocs.h"
#include "common/iMovieGlue.h"
#include "dialog/DialogControls.h"
#include "dialog/carbonmacros.h"
#include "effect/PluginData.h"
#include "effect/PluginDefines.h"
#include "render/callpixelfx.h"
#include "render/lineEffect.h"
#include "text/PascalString.h"

namespace {

std::string NumberText(SInt32 n) {
  Str255 text;
  Num2Text(n, text);
  return PascalBytes(text);
}

// Slider n writes its value into the record and shows it; slider 1 also
// rebuilds the bordered picture, the only one that depends on it.
void SliderAction(SInt16 n, ControlRef theControl) {
  const SInt32 v = GetControl32BitValue(theControl);
  gConfigWorkSpace.TheConfig->Sliders[n] = SInt16(v);
  ShowSliderLegend(n, v);
  if (n == 1) RenderLineArt(gConfigWorkSpace.TheConfig);
  ReRenderAndBlit();
}

}  // namespace

void ShowClipPosition(SInt32 frameIndex) {
  const std::string text = NumberText(frameIndex) + "/" + NumberText(gConfigWorkSpace.MaxFrameIndex);
  SimpleSetControlText(gConfigWorkSpace.TheWindow, cClipMarkSig, 1, PStr(text.c_str()));
}

void ShowSliderLegend(SInt16 n, SInt32 value) {
  SimpleSetControlText(gConfigWorkSpace.TheWindow, cLegendSig, n, PStr((NumberText(value) + "%").c_str()));
}

void SetupSliders(WindowRef theWindow) {
  static const char* const kMissing[6] = {"Cannot access slider 1", "Cannot access slider 2", "Cannot access slider 3",
                                          "Cannot access slider 4", "Cannot access slider 5", "Cannot access slider 6"};
  static const ControlActionUPP kActions[3] = {Slider1Action, Slider2Action, Slider3Action};
  for (SInt16 n = 1; n <= 6; ++n) {
    ControlRef slider = SimpleGetControlByID(theWindow, cSliderSig, n);
    Assert(slider, PStr(kMissing[n - 1]));
    gConfigWorkSpace.Sliders[n] = slider;
    if (n <= 3) {
      SetControlAction(slider, kActions[n - 1]);
      SetControl32BitValue(slider, gConfigWorkSpace.TheConfig->Sliders[n]);
      ShowSliderLegend(n, gConfigWorkSpace.TheConfig->Sliders[n]);
    } else {
      SimpleHideControl(theWindow, cSliderSig, n);
      SimpleHideControl(theWindow, cLegendSig, n);
      SimpleHideControl(theWindow, cLabelSig, n);
    }
  }
  ControlRef clip = SimpleGetControlByID(theWindow, cClipSliderSig, 1);
  Assert(clip, PStr("Cannot access clip slider"));
  gConfigWorkSpace.ClipSlider = clip;
  SetControlAction(clip, ClipSliderAction);
  SetControl32BitMinimum(clip, 0);
  SetControl32BitMaximum(clip, gConfigWorkSpace.MaxFrameIndex);
  SetControl32BitValue(clip, gConfigWorkSpace.CurrFrameIndex);
  ShowClipPosition(gConfigWorkSpace.CurrFrameIndex);
}

void ReRenderAndBlit() {
  CallPixelEffect(gConfigWorkSpace.SourceClip, gConfigWorkSpace.TheFXClip);
  ControlRef preview = gConfigWorkSpace.TheFrameCtrl;
  SetControl32BitValue(preview, GetControl32BitValue(preview) == 0 ? 1 : 0);
}

void AccessRenderAndBlit(SInt32 frameIndex) {
  GetFrameIntoGW(gConfigWorkSpace.SourceClip, gConfigWorkSpace.iMovieParams, frameIndex + gConfigWorkSpace.MinFrameIndex,
                 cUseDisposeGWinSlider);
  ReRenderAndBlit();
}

void ClipSliderAction(ControlRef theControl, ControlPartCode) {
  const SInt32 v = GetControl32BitValue(theControl);
  gConfigWorkSpace.CurrFrameIndex = v;
  ShowClipPosition(v);
  AccessRenderAndBlit(v);
}

void Slider1Action(ControlRef theControl, ControlPartCode) { SliderAction(1, theControl); }
void Slider2Action(ControlRef theControl, ControlPartCode) { SliderAction(2, theControl); }
void Slider3Action(ControlRef theControl, ControlPartCode) { SliderAction(3, theControl); }
