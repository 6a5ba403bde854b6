// The sliders with their live preview, the clip slider, and the two routines
// through which the whole dialog refreshes its preview.
#pragma once

#include "toolbox/Toolbox.h"

// Finds the sliders, stores them in the workspace, attaches the live
// actions, sets values, ranges and texts.
void SetupSliders(WindowRef theWindow);
// Renders the preview from SourceClip into TheFXClip and has the clip
// preview control redrawn.
void ReRenderAndBlit();
// Fetches frame frameIndex of the effect into SourceClip, then ReRenderAndBlit.
void AccessRenderAndBlit(SInt32 frameIndex);
void ClipSliderAction(ControlRef theControl, ControlPartCode partCode);
void Slider1Action(ControlRef theControl, ControlPartCode partCode);
void Slider2Action(ControlRef theControl, ControlPartCode partCode);
void Slider3Action(ControlRef theControl, ControlPartCode partCode);
// The text of ('ClpM', 1): the frame shown, a slash, the last frame.
void ShowClipPosition(SInt32 frameIndex);
// The text of ('Lgnd', n): the value followed by "%".
void ShowSliderLegend(SInt16 n, SInt32 value);
