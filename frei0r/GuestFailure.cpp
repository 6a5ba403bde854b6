#include "GuestFailure.h"

#include <cstdio>

#include "alerts/Alerts.h"
#include "common/commonprocs.h"

void AfterTerminate() { throw GuestFailure(); }

void ShowAlertsAsLines() {
  SetAlertPresenter([](const AlertContent& content) -> DialogItemIndex {
    std::fprintf(stderr, "quorvel: %s%s%s\n", content.message.c_str(), content.explanation.empty() ? "" : " ",
                 content.explanation.c_str());
    return kAlertStdAlertOKButton;
  });
}
