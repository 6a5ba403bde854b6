#include "HostApplication.h"

#include <QApplication>

#include <cstdlib>

namespace {

// Without a display, Qt's offscreen platform says at every window what it
// cannot do (raise it, grab the keyboard); that is no news to a person.
QtMessageHandler lgQtMessages = nullptr;
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith("This plugin does not support") || message.startsWith("QStandardPaths: XDG_RUNTIME_DIR"))
    return;
  if (lgQtMessages) lgQtMessages(type, context, message);
}

}  // namespace

void EnsureHostApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  lgQtMessages = qInstallMessageHandler(QuietOffscreenNotes);
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "quorvel-host";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives as long as the process
}

bool HostHasDisplay() {
  EnsureHostApplication();
  const QString platform = QGuiApplication::platformName();
  return platform != "offscreen" && platform != "minimal";
}
