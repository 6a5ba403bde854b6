// Color Picker stand-in: NPickColor on Qt's colour dialog (not the desktop's
// native one), modal, titled with the prompt. The dialog works in 8 bits a
// channel: a chosen channel c comes back as c * 257, so its high byte is c.
#pragma once

#include "MacTypes.h"

typedef void* CMProfileRef;
struct PMColor {
  CMProfileRef profile;
  struct {
    RGBColor rgb;
  } color;
};
struct PickerMenuItemInfo {
  SInt16 editMenuID, cutItem, copyItem, pasteItem, clearItem, undoItem;
};
typedef SInt16 DialogPlacementSpec;
enum : UInt32 {
  kColorPickerDialogIsMoveable = 1,
  kColorPickerDialogIsModal = 2,
  kColorPickerAppIsColorSyncAware = 16,
  kColorPickerInPickerDialog = 128,
};

struct NColorPickerInfo {
  PMColor theColor;
  CMProfileRef dstProfile;
  UInt32 flags;
  DialogPlacementSpec placeWhere;
  Point dialogOrigin;
  OSType pickerType;
  void* eventProc;
  void* colorProc;
  UInt32 colorProcData;
  Str255 prompt;
  PickerMenuItemInfo mInfo;
  Boolean newColorChosen;
};

// Shows the picker starting from theColor. noErr either way; newColorChosen
// says whether the person chose a colour (then in theColor) or cancelled.
OSErr NPickColor(NColorPickerInfo* info);
