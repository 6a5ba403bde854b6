// The dialog's Motion group: the Smooth box, the Easing pop-up, and the
// Spin and Motion blur sliders with their live preview.
#pragma once

#include "effect/PluginData.h"
#include "toolbox/Toolbox.h"

// Finds the group's controls, attaches the sliders' live actions, and shows
// the configuration's motion.
void SetupMotion(WindowRef theWindow);
// Shows theConfig's motion in the group's controls.
void Motion2Dlg(PluginDataPtr theConfig);
// The Smooth box and the Easing pop-up sent their command: into the record.
void SmoothChanged();
void EasingChanged();
void SpinAction(ControlRef theControl, ControlPartCode partCode);
void BlurAction(ControlRef theControl, ControlPartCode partCode);
