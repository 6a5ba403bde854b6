// File Manager and Folder Manager stand-in. Volumes and directory IDs stand
// for folders of the Linux file system: each folder the stand-in hands out
// gets a directory ID that resolves back to its path, so an FSSpec (directory
// ID + name) names one path.
#pragma once

#include <string>

#include "MacTypes.h"

struct FSSpec {
  SInt16 vRefNum;
  SInt32 parID;
  Str63 name;
};

// A resolved reference to an existing file: the absolute path, zero-terminated.
// An all-zero FSRef refers to nothing.
struct FSRef {
  char path[4096];
};

enum : SInt16 { kOnSystemDisk = -32768 };
enum : Boolean { kDontCreateFolder = 0, kCreateFolder = 1 };
constexpr OSType kPreferencesFolderType = FOUR_CHAR_CODE("pref");

// Finds a special folder. The Preferences folder is $XDG_CONFIG_HOME (an
// absolute path), else ~/.config; as Linux programs do, it is created with
// mode 0700 when it is missing.
OSErr FindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, SInt16* foundVRefNum,
                 SInt32* foundDirID);

// Fills `spec` for `name` in the folder `dirID`. noErr when the item exists,
// fnfErr when it does not (the spec is still valid for creating it),
// dirNFErr when the folder is unknown, paramErr for a name that is not a
// single file name.
OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, FSSpec* spec);
// fnfErr when the file does not exist.
OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef);

// Renames the file or folder to `newName` in the same folder; dupFNErr when
// an item of that name exists (nothing is overwritten).
OSErr FSpRename(const FSSpec* spec, ConstStr255Param newName);

// The stand-in's own conversions between designations and paths.
std::string FSSpecPath(const FSSpec& spec);
std::string FSRefPath(const FSRef& ref);
// A directory ID for an existing folder (registered on first use).
SInt32 DirIDForPath(const std::string& folder);
