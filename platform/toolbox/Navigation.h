// Navigation Services and Apple Event descriptor lists, as far as the Open
// dialog uses them. The dialog is Qt's own file dialog (not the desktop's
// native one), modal, with the options' window title.
#pragma once

#include <string>
#include <vector>

#include "MacTypes.h"
#include "files/Files.h"
#include "memory/MacMemory.h"

typedef UInt32 DescType;
constexpr DescType typeFSS = FOUR_CHAR_CODE("fss ");
constexpr DescType typeAEList = FOUR_CHAR_CODE("list");
typedef UInt32 AEKeyword;

struct AEDesc {
  DescType descriptorType;
  std::vector<FSSpec>* items;  // the files the list holds
};
typedef AEDesc AEDescList;

OSErr AECreateList(const void* factoring, Size factoredSize, Boolean isRecord, AEDescList* outList);
OSErr AEPutPtr(AEDescList* list, long index, DescType type, const void* data, Size size);
OSErr AECountItems(const AEDescList* list, long* count);
OSErr AEGetNthPtr(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword, DescType* typeCode,
                  void* data, Size maximumSize, Size* actualSize);
OSErr AEDisposeDesc(AEDesc* desc);

enum : UInt32 { kNavAllowMultipleFiles = 0x00000080 };
enum : OSErr { userCanceledErr = -128 };

struct NavDialogOptions {
  UInt16 version;
  UInt32 dialogOptionFlags;
  Str255 windowTitle;
  Str255 message;
};

struct NavTypeList {
  OSType componentSignature;
  short reserved;
  short osTypeCount;
  OSType osType[1];
};
typedef NavTypeList** NavTypeListHandle;

struct NavReplyRecord {
  UInt16 version;
  Boolean validRecord;
  AEDescList selection;
};

OSErr NavGetDefaultDialogOptions(NavDialogOptions* options);
// Runs the Open dialog; userCanceledErr when the user cancels.
OSErr NavGetFile(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* options, void* eventProc,
                 void* previewProc, void* filterProc, NavTypeListHandle typeList, void* callBackUD);
OSErr NavDisposeReply(NavReplyRecord* reply);

// What the last Open dialog was given, for tests: whether it had a type
// list, and the type and creator in it.
struct NavLastRequest {
  bool hadTypeList = false;
  OSType type = 0;
  OSType creator = 0;
  std::string title;
  bool multiple = false;
};
const NavLastRequest& NavLastDialogRequest();
