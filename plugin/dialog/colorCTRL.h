// The colour box: shows one colour (its value, 0x00RRGGBB) and, clicked,
// lets the user pick a new one in the colour picker.
#pragma once

#include "toolbox/Toolbox.h"

void RegisterColorBox();
void UnregisterColorBox();
OSStatus ColorBoxControlHandler(EventHandlerCallRef handlerCallRef, EventRef event, void* userData);
void ColorBoxDraw(const Rect& theRect, const RGBColor& theColor);
// The colour picker starting from inColor; true and outColor set when the
// user chose a colour.
bool UseColorPicker(Point where, ConstStr255Param prompt, const RGBColor& inColor, RGBColor& outColor);
