// A drag step in the configuration dialog, as a person's mouse makes it, in
// each layout: a 1000 x 750 picture turned 28.8 degrees at 50 % opacity in
// half the frame, moved by mouse events, one at a time. A step is the time
// from one wait of the drag's tracking loop to the next: the mouse event,
// the new rectangle, the preview rendered again, the control drawn into the
// window's port, painted and flushed to the window system (on a display,
// until the X server has it). Reports only.
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "../tests/render/RenderSupport.h"
#include "HostApplication.h"
#include "HostServices.h"
#include "MediaSupport.h"
#include "TestSupport.h"
#include "bundle/Bundle.h"
#include "effect/DataHandling.h"
#include "host/HostEntry.h"
#include "media/ClipReader.h"
#include "toolbox/Toolbox.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSteps = 120;

// Drives the drag: a move each time the tracking loop waits for one.
class Drag : public QObject {
 public:
  std::vector<double> stepMs;

  void Begin(QWidget* window, QWidget* preview) {
    window_ = window;
    preview_ = preview;
    window->installEventFilter(this);
    Post(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
  }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::DynamicPropertyChange || window_->property(kTrackingMouseProperty).toInt() == 0)
      return false;
    // What the step drew reaches the screen before the mouse moves on (a
    // fast mouse would otherwise see several steps coalesced into one
    // repaint): the repaint the step asked for, the flush of the window's
    // backing store, and on a display a round trip to the X server, which
    // answers once it has drawn what came before.
    QCoreApplication::sendPostedEvents(window_, QEvent::UpdateRequest);
    if (QGuiApplication::platformName() == "xcb") window_->screen()->grabWindow(0, 0, 0, 1, 1);
    const auto now = Clock::now();
    if (sent_ > 0) stepMs.push_back(std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
    if (sent_++ < kSteps) {
      at_ += QPoint(sent_ % 40 < 20 ? 3 : -3, sent_ % 40 < 20 ? 2 : -2);  // back and forth
      Post(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    } else if (sent_ == kSteps + 1) {
      Post(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
      for (QWidget* w : window_->findChildren<QWidget*>())
        if (w->property("command").toString() == "not!") {
          QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, {}));
          QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton, {}));
        }
    }
    return false;
  }

 private:
  void Post(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QCoreApplication::postEvent(preview_, new QMouseEvent(type, QPointF(at_), preview_->mapToGlobal(QPointF(at_)), button, buttons, {}));
  }
  QWidget* window_ = nullptr;
  QWidget* preview_ = nullptr;
  QPoint at_{480, 270};
  int sent_ = 0;
  Clock::time_point last_;
};

QWidget* Preview(QWidget* window) {
  for (QWidget* w : window->findChildren<QWidget*>())
    if (w->property("controlSignature").toString() == "Clip") return w;
  return nullptr;
}

}  // namespace

int main() {
  ScopedPreferences prefs;
  TempDir dir;
  SetOwnBundlePath(QUORVEL_BUNDLE_DIR);
  EnsureHostApplication();
  const std::string clip = WriteFlatClip(dir / "clip.mkv", 10, 64, 48);
  std::string error;
  auto reader = ClipReader::Open(clip, error);
  HostSession host;
  host.clip = reader.get();
  HYPluginParams params = NewParams(host, kHostInterfaceVersion);
  params.selector = kPlugGetInfo;
  PluginMain(0, &params);
  std::vector<Pixel> px;
  for (int y = 0; y < 750; ++y)
    for (int x = 0; x < 1000; ++x) px.push_back({255, UInt8(x * 255 / 1000), UInt8(y * 255 / 750), 128});
  gPascalData->TheOriginalImage = PictureFrom(1000, 750, px);
  gPascalData->StartRel = gPascalData->EndRel = {0.25, 0.75, 0.25, 0.75};
  gPascalData->Sliders[2] = 50;
  gPascalData->Sliders[3] = 8;

  std::printf("drag step in each layout, picture 1000 x 750 turned 28.8 degrees, 50 %% opacity, shown on the %s platform\n",
              QGuiApplication::platformName().toUtf8().constData());
  struct Run {
    SInt16 media, blend;
  };
  const char* kLayouts[] = {"configNTSC", "configPAL", "configHD"};
  const char* kPreviews[] = {"NTSC (720 x 480)", "PAL (720 x 576)", "HD (960 x 540)"};
  for (Run run : {Run{1, 1}, Run{2, 1}, Run{3, 1}, Run{3, 2}, Run{3, 16}}) {
    gPascalData->MediaType = run.media;
    gPascalData->BlendMode = run.blend;
    Drag drag;
    QTimer find;
    QObject::connect(&find, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == kLayouts[run.media - 1] && Preview(w) != nullptr) {
          find.stop();
          drag.Begin(w, Preview(w));
        }
    });
    find.start(10);
    params.selector = kPlugCustomButtonClick;
    PluginMain(0, &params);
    ReclaimLentFrames(host);
    std::vector<double> ms = drag.stepMs;
    if (ms.empty()) return std::fprintf(stderr, "the drag did not run\n"), 1;
    std::sort(ms.begin(), ms.end());
    std::printf("  %-17s %-10s  median %5.2f ms   90th percentile %5.2f ms   slowest %5.2f ms   (%zu steps)\n",
                kPreviews[run.media - 1], run.blend == 1 ? "normal" : run.blend == 2 ? "multiply" : "luminosity",
                ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), ms.size());
  }
  return 0;
}
