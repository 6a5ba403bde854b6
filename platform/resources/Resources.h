// Resource Manager stand-in over the classic resource file format.
//
// An open file is read and validated whole when it is opened; a damaged file
// is refused with mapReadErr. Changes are kept in memory until UpdateResFile
// or CloseResFile, which write the whole file to a temporary beside it, flush
// it and rename it over the old one: the file on disk always holds either the
// old or the new contents. Contents the format cannot hold (a data area past
// 16 MiB, a map past 64 KiB) are not written: ResError is addResFailed and the
// file stays as it was.
#pragma once

#include "MacTypes.h"
#include "files/Files.h"

enum : SInt8 { fsCurPerm = 0, fsRdPerm = 1, fsWrPerm = 2, fsRdWrPerm = 3 };
enum : SInt16 { smSystemScript = -1 };

void FSpCreateResFile(const FSSpec* spec, OSType creator, OSType fileType, SInt16 scriptTag);
// The file's reference number (made current), or -1 with ResError set.
SInt16 FSpOpenResFile(const FSSpec* spec, SInt8 permission);
void UseResFile(SInt16 refNum);
SInt16 CurResFile();
void UpdateResFile(SInt16 refNum);
void CloseResFile(SInt16 refNum);
OSErr ResError();

// The resource of the current file, as a handle the file owns; nil when absent.
Handle Get1Resource(ResType type, ResID id);
SInt16 Count1Resources(ResType type);
void AddResource(Handle data, ResType type, ResID id, ConstStr255Param name);
void RemoveResource(Handle resource);
void DetachResource(Handle resource);
void ReleaseResource(Handle resource);
void ChangedResource(Handle resource);
void GetResInfo(Handle resource, ResID* id, ResType* type, Str255 name);

// Finder type and creator of a file (kept as the file's Finder-info extended
// attribute where the file system has them).
struct FInfo {
  OSType fdType;
  OSType fdCreator;
};
OSErr FSpGetFInfo(const FSSpec* spec, FInfo* info);
