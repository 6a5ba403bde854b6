#include "dialog/EasyFileNav.h"

#include "memory/MacMemory.h"
#include "text/PascalString.h"

bool EasyNavGetFile(ConstStr255Param InMessage, OSType InType, OSType InCreator, bool, FSSpec& OutFile) {
  NavDialogOptions options;
  NavGetDefaultDialogOptions(&options);
  CopyPascalString(InMessage, options.windowTitle);
  options.dialogOptionFlags &= ~UInt32(kNavAllowMultipleFiles);  // exactly one file
  NavReplyRecord reply;
  OSErr err;
  if (InType == FOUR_CHAR_CODE("****")) {
    err = NavGetFile(nullptr, &reply, &options, nullptr, nullptr, nullptr, nullptr, nullptr);
  } else {
    Handle list = NewHandleClear(12);
    if (list == nullptr) return false;
    NavTypeList* types = reinterpret_cast<NavTypeList*>(*list);
    types->componentSignature = InCreator;
    types->osTypeCount = 1;
    types->osType[0] = InType;
    err = NavGetFile(nullptr, &reply, &options, nullptr, nullptr, nullptr, reinterpret_cast<NavTypeListHandle>(list),
                     nullptr);
    DisposeHandle(list);
  }
  if (err != noErr) return false;
  FileList files;
  AEDescListToFileList(reply.selection, files);
  bool result = reply.validRecord;
  if (result && files.Count == 0) result = false;
  if (result) OutFile = files.Spec[0];
  NavDisposeReply(&reply);
  return result;
}

OSErr AEDescListToFileList(const AEDescList& InList, FileList& OutFileList) {
  OutFileList.Count = 0;
  long count = 0;
  OSErr err = AECountItems(&InList, &count);
  if (err != noErr) return err;
  for (long item = 1; item <= count; ++item) {
    FSSpec spec;
    AEKeyword keyword;
    DescType type;
    Size size;
    err = AEGetNthPtr(&InList, item, typeFSS, &keyword, &type, &spec, sizeof spec, &size);
    if (err != noErr) return err;
    if (item <= cMaxFilesInList) OutFileList.Spec[item - 1] = spec;
    OutFileList.Count = SInt16(item);
  }
  return noErr;
}
