// The one start of Qt in a process, whoever needs it first: the host for
// its dialogs and scripts, or the plug-in's toolbox when its host runs no Qt.
#pragma once

// Makes the process's QApplication unless one exists. Without a display it
// runs Qt's offscreen platform, whose notes about what it cannot do (raise a
// window, grab the keyboard) are kept from the terminal.
void StartQt(const char* programName);
// Whether windows reach a screen (not the offscreen platform); starts Qt.
bool QtHasDisplay(const char* programName);
