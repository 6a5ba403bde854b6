#include <cstring>

#include "bundle/Bundle.h"
#include "host/HostEntry.h"

namespace {

constexpr UInt32 kChoiceFlags = 0x380;
constexpr UInt32 kFilterParamFlag = 0x1000;
constexpr SInt32 kBaseMemoryNeeded = 50000;
constexpr Float32 kSliderDefault = 0.5f;

enum : SInt16 {
  kSliderLabelList = 128,
  kSliderEndLabelList = 129,
  kButtonTitleList = 130,
  kGroupList = 17000,
};

// Item `index` of a string list, without its length byte and followed by a
// zero, cut to fit a field of `fieldSize` bytes.
void CopyListString(SInt16 listID, SInt16 index, char* field, size_t fieldSize) {
  Str255 text;
  GetIndString(text, listID, index);
  size_t length = text[0] < fieldSize - 1 ? text[0] : fieldSize - 1;
  std::memcpy(field, text + 1, length);
  field[length] = '\0';
}

}  // namespace

HYPluginResult EffectGetInfo(SInt16 which, HYPluginParams* params) {
  HYPluginGetInfo& info = params->getInfo;
  info.pluginType = kPluginFilterType;
  info.framesToBeRendered = 0;
  info.takeFromClipBefore = 0;
  info.takeFromClipAfter = 0;
  info.minSpeedFrames = 0;
  info.maxSpeedFrames = 0;
  info.mustTakeFromSingleClips = false;
  info.pluginFlags |= kChoiceFlags;
  params->getInfo2.baseMemoryNeeded = kBaseMemoryNeeded;
  SetFilterParamInfo(which, params);
  return kPluginOK;
}

void SetFilterParamInfo(SInt16, HYPluginParams* params) {
  HYPluginGetInfo& info = params->getInfo;
  HY2PluginGetInfo& info2 = params->getInfo2;
  info2.sliderCount = kHYFilterSliderCount;
  info.takeFromClipBefore = 0;
  info.takeFromClipAfter = info2.selectedFrames;
  info.framesToBeRendered = info2.selectedFrames;
  for (SInt16 i = 0; i < kHYFilterSliderCount; ++i) {
    HYPluginFilterSliderInfo& slider = info2.filterSliders[i];
    slider.defaultValue = kSliderDefault;
    CopyListString(kSliderLabelList, SInt16(i + 1), slider.label, sizeof slider.label);
    CopyListString(kSliderEndLabelList, SInt16(2 * i + 1), slider.minLabel, sizeof slider.minLabel);
    CopyListString(kSliderEndLabelList, SInt16(2 * i + 2), slider.maxLabel, sizeof slider.maxLabel);
  }
  info.pluginFlags |= kFilterParamFlag;
  CopyListString(kButtonTitleList, 1, params->getInfo3.buttonTitle, sizeof params->getInfo3.buttonTitle);
  CopyListString(kGroupList, 1, info2.group, sizeof info2.group);
}
