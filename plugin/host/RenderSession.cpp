// Render sessions, placeholder renders and the custom button. Rendering and
// the configuration dialog are not built yet: these requests are accepted
// and do nothing.
#include "host/HostEntry.h"

HYPluginResult EffectBegin(SInt16, HYPluginParams*) { return kPluginOK; }
HYPluginResult EffectDrive(SInt16, HYPluginParams*) { return kPluginOK; }
HYPluginResult EffectEnd(SInt16, HYPluginParams*) { return kPluginOK; }
HYPluginResult MakeEffectPlaceHolder(SInt16, HYPluginParams*) { return kPluginOK; }
HYPluginResult CustomButton(SInt16, HYPluginParams*) { return kPluginOK; }
