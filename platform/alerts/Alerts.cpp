#include "alerts/Alerts.h"

#include <cstdio>
#include <cstdlib>

struct OpaqueDialogPtr {
  AlertContent content;
};

namespace {

DialogItemIndex PrintAlert(const AlertContent& content) {
  const char* kind = content.type == kAlertStopAlert      ? "Error"
                     : content.type == kAlertCautionAlert ? "Warning"
                                                          : "Note";
  std::fprintf(stderr, "%s: %s", kind, content.message.c_str());
  if (!content.explanation.empty()) std::fprintf(stderr, " %s", content.explanation.c_str());
  std::fprintf(stderr, "\n");
  return kAlertStdAlertOKButton;
}

AlertPresenter lgPresenter = PrintAlert;

}  // namespace

AlertPresenter SetAlertPresenter(AlertPresenter presenter) {
  AlertPresenter previous = lgPresenter;
  lgPresenter = presenter ? presenter : PrintAlert;
  return previous;
}

OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             AlertStdCFStringAlertParamPtr param, DialogRef* outAlert) {
  if (outAlert == nullptr) return paramErr;
  AlertContent content{alertType, CFStringUTF8(error), CFStringUTF8(explanation), "OK", ""};
  if (param != nullptr) {
    if (param->defaultText != nullptr) content.defaultButton = CFStringUTF8(param->defaultText);
    if (param->cancelText != nullptr) content.cancelButton = CFStringUTF8(param->cancelText);
  }
  *outAlert = new OpaqueDialogPtr{content};
  return noErr;
}

OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP, DialogItemIndex* outItemHit) {
  if (inAlert == nullptr) return paramErr;
  DialogItemIndex hit = lgPresenter(inAlert->content);
  delete inAlert;
  if (outItemHit != nullptr) *outItemHit = hit;
  return noErr;
}

