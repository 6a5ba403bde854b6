#include "AboutCommand.h"

#include <dlfcn.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "HostApplication.h"

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
  EnsureHostApplication();
  bool saved = screenshot.empty();
  if (!screenshot.empty()) {
    QTimer::singleShot(500, qApp, [&] {
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
