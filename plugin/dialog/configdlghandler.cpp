#include "dialog/configdlghandler.h"

#include <cstring>
#include <string>

#include "common/commonprocs.h"
#include "dialog/DialogControls.h"
#include "dialog/EasyFileNav.h"
#include "dialog/aboutwindow.h"
#include "dialog/carbonmacros.h"
#include "dialog/dlgUtils.h"
#include "dialog/motionControls.h"
#include "dialog/nibwindows.h"
#include "dialog/sliderHandlers.h"
#include "effect/DataHandling.h"
#include "effect/PluginDefines.h"
#include "effect/relrects.h"
#include "files/EasyFile.h"
#include "render/lineEffect.h"
#include "storage/prefsloader.h"
#include "text/PascalString.h"
#include "toolbox/LaunchServices.h"

namespace {

WindowRef lgTheWindow = nullptr;
SInt16 lgItemHit = -1;  // 1 OK, 2 Cancel, 0 reopen with another layout, -1 none yet

const char* WindowFor(SInt16 mediaType) {
  return mediaType >= 1 && mediaType <= 3 ? cMediaWindows[mediaType - 1] : cMediaWindows[0];
}

// The picture box learns of a new picture: its value passes through 0, so
// even the same picture is seen as a change and drawn again.
void ShowPicture(WindowRef window, CGImageRef picture) {
  SimpleSetControlValueByID(window, cPictSig, 1, 0);
  SimpleSetControlValueByID(window, cPictSig, 1, picture != nullptr ? 1 : 0);
}

void StepClip(SInt32 delta) {
  SInt32 v = GetControl32BitValue(gConfigWorkSpace.ClipSlider);
  if ((delta > 0 && v >= gConfigWorkSpace.MaxFrameIndex) || (delta < 0 && v <= 0)) return;
  v += delta;
  SetControl32BitValue(gConfigWorkSpace.ClipSlider, v);
  gConfigWorkSpace.CurrFrameIndex = v;
  AccessRenderAndBlit(v);
  ShowClipPosition(v);
}

void OpenManual() {
  CFStringRef id = CFStringCreateWithCString(kCFAllocatorDefault, cMyBundleID, kCFStringEncodingUTF8);
  CFBundleRef bundle = CFBundleGetBundleWithIdentifier(id);
  CFRelease(id);
  if (bundle == nullptr) {
    Notify(PStr("Cannot Locate Bundle. Proceed with caution. Crash imminent"));
    return;
  }
  CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, "manual", kCFStringEncodingUTF8);
  CFStringRef type = CFStringCreateWithCString(kCFAllocatorDefault, "pdf", kCFStringEncodingUTF8);
  CFURLRef url = CFBundleCopyResourceURL(bundle, name, type, nullptr);
  CFRelease(name);
  CFRelease(type);
  if (url == nullptr) {
    Notify(PStr("Cannot locate manual in bundle"));
    return;
  }
  FSRef ref;
  if (CFURLGetFSRef(url, &ref)) {
    const OSStatus err = LSOpenFSRef(&ref, nullptr);
    if (err != noErr) {
      Str255 number;
      Num2Text(err, number);
      Notify(PStr(("LSOpen failed with " + PascalBytes(number)).c_str()));
    }
  }
  CFRelease(url);
}

void ChoosePicture(PluginDataPtr config) {
  FSSpec file;
  if (!EasyNavGetFile(PStr("Please choose an image"), FOUR_CHAR_CODE("****"), FOUR_CHAR_CODE("****"), false, file))
    return;
  CGImageRelease(config->TheOriginalImage);
  CGImageRelease(config->TheRendered);
  config->TheOriginalImage = nullptr;
  config->TheRendered = nullptr;
  config->TheOriginalImage = GetCGImageFromFSSUsingCG(file);
  if (config->TheOriginalImage == nullptr) {
    // The person is told why the file gave no picture.
    Str255 headline, why;
    CopyCStringToPascal("The picture cannot be read", headline);
    CopyCStringToPascal(PictureImportFailure().c_str(), why);
    StandardWarning(headline, why, PStr("OK"), PStr(""));
  }
  ShowPicture(gConfigWorkSpace.TheWindow, config->TheOriginalImage);
  CalcAndKeepImageProps();
  RenderLineArt(config);
  ReRenderAndBlit();
}

}  // namespace

void DoConfig(PluginDataPtr theConfig) {
  Assert(theConfig, PStr("Nil theConfig on DoConfig"));
  PluginDataRec backup;
  std::memcpy(&backup, theConfig, sizeof backup);
  // Cancel puts the record back byte for byte, so the pictures it held on
  // entry stay alive until the dialog ends, whatever it does to the record.
  CGImageRetain(backup.TheOriginalImage);
  CGImageRetain(backup.TheRendered);
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  do {
    lgTheWindow = OpenNibWindowFromCFBundle(cMyBundleID, cMyPluginName, WindowFor(theConfig->MediaType));
    const EventTypeSpec commands = {kEventClassCommand, kEventCommandProcess};
    InstallWindowEventHandler(lgTheWindow, NewEventHandlerUPP(TheDialogHandler), 1, &commands, lgTheWindow, nullptr);
    lgItemHit = -1;
    SetupDialog(lgTheWindow, theConfig);
    ShowWindow(lgTheWindow);
    SetGWorld(GetWindowPort(lgTheWindow), nullptr);
    BringToFront(lgTheWindow);
    RunAppModalLoopForWindow(lgTheWindow);
    DisposeWindow(lgTheWindow);
    lgTheWindow = nullptr;
    gConfigWorkSpace.TheWindow = nullptr;
  } while (lgItemHit != 1 && lgItemHit != 2);
  SetGWorld(savedPort, savedDevice);
  if (lgItemHit == 1) {
    SaveConfig(theConfig);
    CGImageRelease(backup.TheOriginalImage);
    CGImageRelease(backup.TheRendered);
  } else {
    // The pictures made while the dialog ran go; the retained ones return.
    CGImageRelease(theConfig->TheOriginalImage);
    CGImageRelease(theConfig->TheRendered);
    std::memcpy(theConfig, &backup, sizeof backup);
  }
}

void SetupDialog(WindowRef theWindow, PluginDataPtr theConfig) {
  Assert(theWindow, PStr("Nil Window in SetupDialog"));
  Assert(theConfig, PStr("Nil theConfig in SetupDialog"));
  gConfigWorkSpace.TheWindow = theWindow;
  gConfigWorkSpace.TheFrameCtrl = SimpleGetControlByID(theWindow, cClipSig, 1);
  Assert(gConfigWorkSpace.TheFrameCtrl, PStr("Cannot acces Clip 1 CTRL"));
  SetupColors(theWindow, theConfig);
  SetupSliders(theWindow);
  SetupMotion(theWindow);
  SimpleSetControlValueByID(theWindow, cMediaSig, 1, theConfig->MediaType);
  SetupPictures(theWindow);
  Config2Dlg(theConfig);
  CalcAndKeepImageProps();
  RenderLineArt(theConfig);
  ReRenderAndBlit();
}

void SetupColors(WindowRef theWindow, PluginDataPtr theConfig) {
  for (SInt16 n = 1; n <= 6; ++n) {
    ControlRef box = SimpleGetControlByID(theWindow, cColorSig, n);
    Assert(box, PStr(("Cannot allocate color" + std::to_string(n) + " in SetupDialog").c_str()));
    SetControl32BitMinimum(box, 0);
    SetControl32BitMaximum(box, 16777215);
    SetControl32BitValue(box, RGBColor2Longint(theConfig->Colors[n]));
    if (n == 1) {
      SimpleShowControl(theWindow, cColorSig, n);
      SimpleShowControl(theWindow, cColorLegendSig, n);
    } else {
      SimpleHideControl(theWindow, cColorSig, n);
      SimpleHideControl(theWindow, cColorLegendSig, n);
    }
    gConfigWorkSpace.Colors[n] = box;
  }
}

void SetupPictures(WindowRef theWindow) {
  ControlRef box = SimpleGetControlByID(theWindow, cPictSig, 1);
  Assert(box, PStr("Cannot find picture control in SetupPictures"));
  SetControl32BitMinimum(box, -2147483647);
  SetControl32BitMaximum(box, 2147483647);
  ShowPicture(theWindow, gConfigWorkSpace.TheConfig->TheOriginalImage);
}

void Config2Dlg(PluginDataPtr theConfig) {
  for (SInt16 n = 1; n <= 6; ++n) SetControl32BitValue(gConfigWorkSpace.Colors[n], RGBColor2Longint(theConfig->Colors[n]));
  for (SInt16 n = 1; n <= 6; ++n) {
    SetControl32BitValue(gConfigWorkSpace.Sliders[n], theConfig->Sliders[n]);
    ShowSliderLegend(n, theConfig->Sliders[n]);
  }
  SimpleSetControlValueByID(gConfigWorkSpace.TheWindow, cBlendSig, 1, theConfig->BlendMode);
  SimpleSetControlValueByID(gConfigWorkSpace.TheWindow, cPropSig, 1, theConfig->KeepProps ? 1 : 0);
  Motion2Dlg(theConfig);
  ReRenderAndBlit();
}

OSStatus TheDialogHandler(EventHandlerCallRef, EventRef theEvent, void* userData) {
  HICommand command;
  GetEventParameter(theEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
  Str255 text;
  CommandID2Str(command.commandID, text);
  const std::string name = PascalBytes(text);
  lgItemHit = -1;
  WindowRef window = gConfigWorkSpace.TheWindow;
  PluginDataPtr config = gConfigWorkSpace.TheConfig;
  if (name == cCmdOK) {
    lgItemHit = 1;
    QuitAppModalLoopForWindow(static_cast<WindowRef>(userData));
  } else if (name == cCmdCancel) {
    lgItemHit = 2;
    QuitAppModalLoopForWindow(static_cast<WindowRef>(userData));
  } else if (name == cCmdAbout) {
    ShowAbout();
  } else if (name.compare(0, 3, "Col") == 0 && name[3] >= '1' && name[3] <= '6') {
    const SInt16 n = SInt16(name[3] - '0');
    config->Colors[n] = Longint2RGBColor(SimpleGetControlValueByID(window, cColorSig, n));
    RenderLineArt(config);
    ReRenderAndBlit();
  } else if (name == cCmdNext) {
    StepClip(+1);
  } else if (name == cCmdPrevious) {
    StepClip(-1);
  } else if (name == cCmdReset) {
    const SInt16 mediaType = config->MediaType;
    ResetConfig(config, false);
    config->MediaType = mediaType;
    Config2Dlg(config);
    RenderLineArt(config);
    ReRenderAndBlit();
  } else if (name == cCmdMedia) {
    const SInt16 before = config->MediaType;
    config->MediaType = SInt16(SimpleGetControlValueByID(window, cMediaSig, 1));
    if (config->MediaType != before) {
      lgItemHit = 0;
      QuitAppModalLoopForWindow(static_cast<WindowRef>(userData));
    }
  } else if (name == cCmdWholeFrame) {
    RelRect whole;
    InitRelRect(whole);
    PutCurrentRel(whole);
    ReRenderAndBlit();
  } else if (name == cCmdHelp) {
    OpenManual();
  } else if (name == cCmdRect) {
    gConfigWorkSpace.ActiveRel = SInt16(SimpleGetControlValueByID(window, cRectSig, 1));
    CalcAndKeepImageProps();
    ReRenderAndBlit();
  } else if (name == cCmdProp) {
    config->KeepProps = SimpleGetControlValueByID(window, cPropSig, 1) == 1;
    CalcAndKeepImageProps();
    ReRenderAndBlit();
  } else if (name == cCmdPict) {
    ChoosePicture(config);
  } else if (name == cCmdBlend) {
    config->BlendMode = SInt16(SimpleGetControlValueByID(window, cBlendSig, 1));
    ReRenderAndBlit();
  } else if (name == cCmdSmooth) {
    SmoothChanged();
  } else if (name == cCmdEasing) {
    EasingChanged();
  } else {
    return eventNotHandledErr;
  }
  return noErr;
}
