// The host-facing module: the entry point, its handlers and its state.
#pragma once

#include "HostPluginSDK.h"
#include "effect/PluginData.h"

// One render session's state, kept in the parameter block's clientData.
struct EffectData {
  SInt32 frameCount;  // zero-filled at allocation; nothing sets it
  SInt32 effectSourceCount;
  Float32 sliderValues[kHYFilterSliderCount];
  SInt32 fadeInFrames;
  SInt32 fadeOutFrames;
  GWorldPtr effectGWorld;  // the work buffer, only while a frame is made
  PluginDataPtr pascalData;  // the session's copy of the master record
};

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
HYPluginResult ApplyEffect(GWorldPtr sourceFrame, HYPluginParams* params);
void ApplyLineArtEffect(GWorldPtr sourceFrame, GWorldPtr targetFrame, HYPluginParams* params);
