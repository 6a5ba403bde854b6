#include "dialog/aboutwindow.h"

#include <string>

#include "common/commonprocs.h"
#include "dialog/DialogControls.h"
#include "dialog/carbonmacros.h"
#include "dialog/nibwindows.h"
#include "effect/PluginDefines.h"
#include "text/PascalString.h"

namespace {
WindowRef lgTheWindow = nullptr;
}

void ShowAbout() {
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  lgTheWindow = OpenNibWindowFromCFBundle(cMyBundleID, "about", "about");
  if (lgTheWindow == nullptr) return;
  const EventTypeSpec commands = {kEventClassCommand, kEventCommandProcess};
  InstallWindowEventHandler(lgTheWindow, NewEventHandlerUPP(AboutDialogHandler), 1, &commands, lgTheWindow, nullptr);
  SimpleSetControlText(lgTheWindow, FOUR_CHAR_CODE("Plug"), 1, PStr(cMyClearName));
  SimpleSetControlText(lgTheWindow, FOUR_CHAR_CODE("Vers"), 1, PStr((std::string("Version ") + cPlugVersion).c_str()));
  ShowWindow(lgTheWindow);
  BringToFront(lgTheWindow);
  RunAppModalLoopForWindow(lgTheWindow);
  DisposeWindow(lgTheWindow);
  lgTheWindow = nullptr;
  SetGWorld(savedPort, savedDevice);
}

OSStatus AboutDialogHandler(EventHandlerCallRef, EventRef event, void* userData) {
  HICommand command;
  GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof(HICommand), nullptr, &command);
  Str255 text;
  CommandID2Str(command.commandID, text);
  const std::string name = PascalBytes(text);
  if (name == cCmdOK || name == cCmdCancel) {
    QuitAppModalLoopForWindow(static_cast<WindowRef>(userData));
    return noErr;
  }
  return eventNotHandledErr;
}
