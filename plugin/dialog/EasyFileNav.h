// EasyFile's Open dialog: the user's choice of one file, through the
// toolkit's file dialog.
#pragma once

#include "files/Files.h"
#include "toolbox/Navigation.h"

// The files of an Open dialog's selection: how many items it had, and the
// first four.
constexpr int cMaxFilesInList = 4;
struct FileList {
  SInt16 Count;
  FSSpec Spec[cMaxFilesInList];  // Spec[0] is the first file
};

// Asks for one file in the Open dialog titled InMessage; every file is
// offered when InType is '****'. True and OutFile set when one was chosen.
bool EasyNavGetFile(ConstStr255Param InMessage, OSType InType, OSType InCreator, bool InAllowMultiple, FSSpec& OutFile);
OSErr AEDescListToFileList(const AEDescList& InList, FileList& OutFileList);

