#include "AboutCommand.h"

#include <dlfcn.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

#include "HostApplication.h"
#include "script/Hand.h"

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
  if (screenshot.empty() && !HostHasDisplay()) {
    std::fprintf(stderr, "quorvel-host: there is no display to show the about window on\n");
    return 1;
  }
  bool saved = screenshot.empty();
  // Once the window is on the screen and every repaint before it is done,
  // the screenshot is taken (from the screen on a display) and the window closed.
  Marker painted;
  painted.arrived = [&] {
    QWidget* about = VisibleAboutWindow();
    if (about == nullptr) return;
    QImage image = about->grab().toImage();
    if (QGuiApplication::platformName() == "xcb") {
      const QRect area = about->frameGeometry();
      image = about->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    }
    saved = !image.isNull() && image.save(QString::fromStdString(screenshot), "PNG");
    for (QAbstractButton* b : about->findChildren<QAbstractButton*>())
      if (b->property("command").toString() == "ok  ") b->click();
  };
  QTimer shown;
  QObject::connect(&shown, &QTimer::timeout, [&] {
    QWidget* about = VisibleAboutWindow();
    if (about == nullptr || about->windowHandle() == nullptr || !about->windowHandle()->isExposed()) return;
    shown.stop();
    painted.Post(Qt::LowEventPriority - 1);
  });
  if (!screenshot.empty()) shown.start(10);
  showAbout();
  if (!saved) {
    std::fprintf(stderr, "quorvel-host: cannot write the screenshot %s\n", screenshot.c_str());
    return 1;
  }
  return 0;
}
