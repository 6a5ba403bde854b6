#include "toolbox/LaunchServices.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstdio>

#include "toolbox/Toolbox.h"

namespace {

OSStatus OpenWithDesktop(const std::string& path) {
  if (!ToolboxHasDisplay()) {
    std::fprintf(stderr, "quorvel: no display to show %s on; open it with a viewer of your choice\n", path.c_str());
    return noErr;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)))) return kLSApplicationNotFoundErr;
  return noErr;
}

DocumentOpener lgOpener = OpenWithDesktop;

}  // namespace

OSStatus LSOpenFSRef(const FSRef* inRef, FSRef*) {
  if (inRef == nullptr) return paramErr;
  const std::string path = FSRefPath(*inRef);
  if (path.empty()) return fnfErr;
  return lgOpener(path);
}

DocumentOpener SetDocumentOpener(DocumentOpener opener) {
  DocumentOpener previous = lgOpener;
  lgOpener = opener ? opener : OpenWithDesktop;
  return previous;
}
