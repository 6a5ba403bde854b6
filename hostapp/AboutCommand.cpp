#include "AboutCommand.h"

#include <dlfcn.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

QWidget* VisibleAboutWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->objectName() == "about") return w;
  return nullptr;
}

}  // namespace

int RunAbout(const LoadedPlugin& plugin, const std::string& screenshot) {
  auto showAbout = reinterpret_cast<void (*)()>(::dlsym(plugin.library, "QuorvelShowAbout"));
  if (showAbout == nullptr) {
    std::fprintf(stderr, "quorvel-host: %s has no about window\n", plugin.bundlePath.c_str());
    return 1;
  }
  // The host's application, which the plug-in's windows then use.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "quorvel-host";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  bool saved = screenshot.empty();
  if (!screenshot.empty()) {
    QTimer::singleShot(500, &app, [&] {
      QWidget* about = VisibleAboutWindow();
      if (about == nullptr) return;
      saved = about->grab().save(QString::fromStdString(screenshot), "PNG");
      for (QAbstractButton* b : about->findChildren<QAbstractButton*>())
        if (b->property("command").toString() == "ok  ") b->click();
    });
  }
  showAbout();
  if (!saved) {
    std::fprintf(stderr, "quorvel-host: cannot write the screenshot %s\n", screenshot.c_str());
    return 1;
  }
  return 0;
}
