#include "qtstart/QtStart.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>

namespace {

QtMessageHandler lgQtMessages = nullptr;
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith("This plugin does not support") || message.startsWith("QStandardPaths: XDG_RUNTIME_DIR"))
    return;
  if (lgQtMessages) lgQtMessages(type, context, message);
}

}  // namespace

void StartQt(const char* programName) {
  if (QCoreApplication::instance() != nullptr) return;
  lgQtMessages = qInstallMessageHandler(QuietOffscreenNotes);
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[64];
  std::strncpy(name, programName, sizeof name - 1);
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives as long as the process
}

bool QtHasDisplay(const char* programName) {
  StartQt(programName);
  const QString platform = QGuiApplication::platformName();
  return platform != "offscreen" && platform != "minimal";
}
