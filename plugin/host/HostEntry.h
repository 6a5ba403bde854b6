// The host-facing module: the entry point, its handlers and its state.
#pragma once

#include "HostPluginSDK.h"
#include "effect/PluginData.h"

extern PluginDataPtr gPascalData;
extern bool gPascalInited;
extern SInt32 gMostRecentStartFrame;
extern SInt32 gMostRecentFrameCount;

// The entry point behind the library's exported "main".
SInt32 PluginMain(SInt16 which, HYPluginParams* params);

HYPluginResult EffectGetInfo(SInt16 which, HYPluginParams* params);
void SetFilterParamInfo(SInt16 which, HYPluginParams* params);
HYPluginResult EffectBegin(SInt16 which, HYPluginParams* params);
HYPluginResult EffectDrive(SInt16 which, HYPluginParams* params);
HYPluginResult EffectEnd(SInt16 which, HYPluginParams* params);
HYPluginResult MakeEffectPlaceHolder(SInt16 which, HYPluginParams* params);
HYPluginResult CustomButton(SInt16 which, HYPluginParams* params);
