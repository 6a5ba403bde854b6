#include "toolbox/Navigation.h"

#include <QApplication>
#include <QFileDialog>

#include <cstring>
#include <string>

#include "memory/MacMemory.h"
#include "text/PascalString.h"
#include "toolbox/Toolbox.h"

namespace {
NavLastRequest lgLastRequest;
}

OSErr AECreateList(const void*, Size, Boolean, AEDescList* outList) {
  if (outList == nullptr) return paramErr;
  *outList = {typeAEList, new std::vector<FSSpec>};
  return noErr;
}

OSErr AEPutPtr(AEDescList* list, long index, DescType type, const void* data, Size size) {
  if (list == nullptr || list->items == nullptr || type != typeFSS || size != Size(sizeof(FSSpec)) || data == nullptr)
    return paramErr;
  FSSpec spec;
  std::memcpy(&spec, data, sizeof spec);
  if (index <= 0 || size_t(index) > list->items->size())
    list->items->push_back(spec);
  else
    (*list->items)[size_t(index - 1)] = spec;
  return noErr;
}

OSErr AECountItems(const AEDescList* list, long* count) {
  if (list == nullptr || count == nullptr) return paramErr;
  *count = list->items ? long(list->items->size()) : 0;
  return noErr;
}

OSErr AEGetNthPtr(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword, DescType* typeCode,
                  void* data, Size maximumSize, Size* actualSize) {
  if (list == nullptr || list->items == nullptr || index < 1 || size_t(index) > list->items->size()) return paramErr;
  if (desiredType != typeFSS || data == nullptr) return paramErr;
  const Size size = Size(sizeof(FSSpec));
  std::memcpy(data, &(*list->items)[size_t(index - 1)], size_t(maximumSize < size ? maximumSize : size));
  if (keyword) *keyword = 0;
  if (typeCode) *typeCode = typeFSS;
  if (actualSize) *actualSize = size;
  return noErr;
}

OSErr AEDisposeDesc(AEDesc* desc) {
  if (desc == nullptr) return paramErr;
  delete desc->items;
  desc->items = nullptr;
  return noErr;
}

OSErr NavGetDefaultDialogOptions(NavDialogOptions* options) {
  if (options == nullptr) return paramErr;
  std::memset(options, 0, sizeof *options);
  options->dialogOptionFlags = kNavAllowMultipleFiles;
  return noErr;
}

OSErr NavGetFile(AEDesc*, NavReplyRecord* reply, NavDialogOptions* options, void*, void*, void*,
                 NavTypeListHandle typeList, void*) {
  if (reply == nullptr || options == nullptr) return paramErr;
  std::memset(reply, 0, sizeof *reply);
  lgLastRequest = NavLastRequest();
  lgLastRequest.hadTypeList = typeList != nullptr && *typeList != nullptr;
  if (lgLastRequest.hadTypeList) {
    lgLastRequest.type = (*typeList)->osType[0];
    lgLastRequest.creator = (*typeList)->componentSignature;
  }
  lgLastRequest.title = MacRomanToUTF8(options->windowTitle);
  lgLastRequest.multiple = (options->dialogOptionFlags & kNavAllowMultipleFiles) != 0;
  ToolboxHasDisplay();  // makes the application when the host has none
  QFileDialog dialog(nullptr, QString::fromStdString(lgLastRequest.title));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(lgLastRequest.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dialog.setObjectName("NavGetFile");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return userCanceledErr;
  AECreateList(nullptr, 0, false, &reply->selection);
  for (const QString& file : dialog.selectedFiles()) {
    const std::string path = file.toStdString();
    const size_t slash = path.find_last_of('/');
    FSSpec spec;
    Str255 leaf;
    CopyCStringToPascal(path.substr(slash + 1).c_str(), leaf);
    if (FSMakeFSSpec(kOnSystemDisk, DirIDForPath(path.substr(0, slash)), leaf, &spec) == noErr)
      AEPutPtr(&reply->selection, 0, typeFSS, &spec, sizeof spec);
  }
  reply->validRecord = true;
  return noErr;
}

OSErr NavDisposeReply(NavReplyRecord* reply) {
  if (reply == nullptr) return paramErr;
  AEDisposeDesc(&reply->selection);
  reply->validRecord = false;
  return noErr;
}

const NavLastRequest& NavLastDialogRequest() { return lgLastRequest; }
