// The configuration dialog as a person sees it: on a real X display (Xvfb),
// played through the X server's pointer and keyboard (XTest), and judged by
// what the screen shows, read back from the X server, during a drag and
// after each gesture. Expectations are worked out here: where the picture,
// the video, the outlines and the handle rings must be.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <optional>
#include <regex>

#include "ConfigureCommand.h"
#include "HostApplication.h"
#include "HostRun.h"
#include "HostServices.h"
#include "MediaSupport.h"
#include "ShownDialog.h"
#include "TestSupport.h"
#include "bundle/Bundle.h"
#include "dialog/DialogControls.h"
#include "effect/DataHandling.h"
#include "effect/PluginData.h"
#include "host/HostEntry.h"
#include "toolbox/Toolbox.h"

namespace {

constexpr int kFrames = 150;
constexpr FlatColour kPicture = {40, 200, 90};
constexpr QRgb kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;
constexpr QRgb kStartOutline = 0xFF00FF00, kEndOutline = 0xFFFF0000;

// A rectangle relative to the frame, as the record keeps it.
struct Frac {
  double left, top, right, bottom;
};
// One given in pixels of a 720 x 480 preview.
constexpr Frac Px(double left, double top, double right, double bottom) {
  return {left / 720, top / 480, right / 720, bottom / 480};
}

// A rectangle in pixels of the preview on the screen.
struct Box {
  int left, top, right, bottom;
  bool Contains(int x, int y, int margin) const {
    return x >= left + margin && x < right - margin && y >= top + margin && y < bottom - margin;
  }
};


// What the X server shows over the widget.
QImage OnScreen(QWidget* w) {
  const QPoint at = w->mapToGlobal(QPoint(0, 0));
  return w->screen()->grabWindow(0, at.x(), at.y(), w->width(), w->height()).toImage().convertToFormat(QImage::Format_RGB32);
}

bool Near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= 3 && std::abs(qGreen(a) - qGreen(b)) <= 3 && std::abs(qBlue(a) - qBlue(b)) <= 3;
}
QRgb Rgb(FlatColour c) { return qRgb(c.r, c.g, c.b); }
std::string Text(QRgb c) {
  char t[16];
  std::snprintf(t, sizeof t, "%02x%02x%02x", qRed(c), qGreen(c), qBlue(c));
  return t;
}

// What the preview must show: the picture in its rectangle and the video
// around it, both outlines, and the rings of the active rectangle's handles.
struct Preview {
  Frac picture, start, end;
  int active;  // 1 start, 2 end
  QRgb inside, video;
};

// On the preview an edge lies at its size times the fraction, truncated,
// as the record's rectangles are mapped into it (the outlines too).
Box OnPreview(const Frac& f, QSize size) {
  return {int(size.width() * f.left), int(size.height() * f.top), int(size.width() * f.right),
          int(size.height() * f.bottom)};
}

::testing::AssertionResult Shows(const QImage& seen, const Preview& shown) {
  struct {
    Box picture, start, end;
    int active;
    QRgb inside, video;
  } want = {OnPreview(shown.picture, seen.size()), OnPreview(shown.start, seen.size()), OnPreview(shown.end, seen.size()),
            shown.active, shown.inside, shown.video};
  std::string wrong;
  int checked = 0;
  auto expect = [&](int x, int y, QRgb colour, const char* what) {
    if (x < 0 || y < 0 || x >= seen.width() || y >= seen.height()) return;
    // The preview's black border is drawn last, over everything.
    if (x == 0 || y == 0 || x == seen.width() - 1 || y == seen.height() - 1) colour = kBlack, what = "the border";
    ++checked;
    const QRgb got = seen.pixel(x, y);
    if (!Near(got, colour) && wrong.size() < 600)
      wrong += std::string(" ") + what + " at (" + std::to_string(x) + ", " + std::to_string(y) + ") is " + Text(got) +
               ", not " + Text(colour) + ";";
  };
  auto nearOutline = [&](const Box& b, int x, int y) {
    return Box{b.left - 8, b.top - 8, b.right + 8, b.bottom + 8}.Contains(x, y, 0) && !b.Contains(x, y, 8);
  };
  // The picture inside, the video outside, away from the edges.
  for (int y = 3; y < seen.height() - 3; y += 17)
    for (int x = 3; x < seen.width() - 3; x += 17) {
      if (nearOutline(want.start, x, y) || nearOutline(want.end, x, y)) continue;
      if (want.picture.Contains(x, y, 4)) {
        expect(x, y, want.inside, "the picture");
      } else if (!Box{want.picture.left - 4, want.picture.top - 4, want.picture.right + 4, want.picture.bottom + 4}
                      .Contains(x, y, 0)) {
        expect(x, y, want.video, "the video");
      }
    }
  // The outlines: one pixel on each edge of each rectangle, drawn over the
  // picture, the end rectangle's over the start's.
  auto onEdge = [](const Box& b, int x, int y) {
    return ((x == b.left || x == b.right - 1) && y >= b.top && y < b.bottom) ||
           ((y == b.top || y == b.bottom - 1) && x >= b.left && x < b.right);
  };
  for (auto [b, colour] : {std::pair{want.start, kStartOutline}, std::pair{want.end, kEndOutline}}) {
    const int mx = (b.left + b.right) / 2, my = (b.top + b.bottom) / 2;
    for (auto [x, y] : {std::pair{mx, b.top}, std::pair{mx, b.bottom - 1}, std::pair{b.left, my}, std::pair{b.right - 1, my}})
      expect(x, y, onEdge(want.end, x, y) ? kEndOutline : colour, "an outline");
  }
  // The handles: three rings about each corner of the active rectangle,
  // black, white and black from the outside in, of radius 6; none on the other.
  const Box& active = want.active == 1 ? want.start : want.end;
  const Box& other = want.active == 1 ? want.end : want.start;
  for (auto [cx, cy] : {std::pair{active.left, active.top}, std::pair{active.right, active.top},
                        std::pair{active.left, active.bottom}, std::pair{active.right, active.bottom}}) {
    if (want.active == 1 && onEdge(want.end, cx, cy - 5)) continue;  // the end's outline is drawn over them
    expect(cx, cy - 6, kBlack, "a handle's outer ring");
    expect(cx, cy - 5, kWhite, "a handle's white ring");
    expect(cx, cy - 4, kBlack, "a handle's inner ring");
  }
  for (auto [cx, cy] : {std::pair{other.left, other.top}, std::pair{other.right, other.bottom}})
    if (cx >= 0 && cy - 5 >= 0 && cx < seen.width() && cy < seen.height() && seen.pixel(cx, cy - 5) == kWhite)
      wrong += " a ring on the inactive rectangle;";
  if (checked < 40) return ::testing::AssertionFailure() << "only " << checked << " points could be checked";
  if (!wrong.empty()) return ::testing::AssertionFailure() << wrong;
  return ::testing::AssertionSuccess();
}

// A drag over preview pixels of a 720 x 480 preview, as a script says it.
std::string Drag(std::vector<std::pair<int, int>> points, const std::string& modifiers = "") {
  std::string line = "drag";
  char number[32];
  for (auto [x, y] : points) {
    std::snprintf(number, sizeof number, " %.6f %.6f", (x + 0.5) / 720, (y + 0.5) / 480);
    line += number;
  }
  return line + (modifiers.empty() ? "" : " " + modifiers);
}

class OnTheScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureHostApplication();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "these tests need an X display";
    SetOwnBundlePath(QUORVEL_TEST_BUNDLE_DIR);
    clip = WriteFlatClip(dir / "clip.mkv", kFrames, 64, 48);
    picture = WritePicture(dir / "picture.png", 400, 300, kPicture);
    HostSession host;
    HYPluginParams info = NewParams(host, kHostInterfaceVersion);
    info.selector = kPlugGetInfo;
    PluginMain(0, &info);
    ASSERT_NE(gPascalData, nullptr);
  }
  void TearDown() override {
    Release();
    SetOwnBundlePath("");
  }
  void Release() {
    CGImageRelease(gPascalData->TheOriginalImage);
    CGImageRelease(gPascalData->TheRendered);
    gPascalData->TheOriginalImage = gPascalData->TheRendered = nullptr;
  }
  // A fresh record: the start rectangle in the middle, the end one out of
  // the way, the picture opaque, unturned, with no border.
  void Fresh() {
    Release();
    ResetConfig(gPascalData, true);
    gPascalData->StartRel = {0.25, 0.75, 0.25, 0.75};  // 180, 120 - 540, 360
    gPascalData->EndRel = {612 / 720.0, 684 / 720.0, 408 / 480.0, 456 / 480.0};
    gPascalData->Sliders[2] = 100;
  }
  std::string Play(const std::vector<std::string>& lines, std::function<void()> watch) {
    options.clip = clip;
    options.script = WriteLines(dir / "script.txt", lines);
    options.watch = std::move(watch);
    options.play.input = InputMode::X11;
    std::string error;
    ConfigureEffect(PluginMain, options, error);
    return error;
  }
  ScopedPreferences prefs;
  TempDir dir;
  std::string clip, picture;
  ConfigureOptions options;
};

constexpr Frac kStart = Px(180, 120, 540, 360), kEnd = Px(612, 408, 684, 456);

TEST_F(OnTheScreen, EachGestureShowsWhatItDid) {
  const QRgb frame0 = Rgb(FlatClipColour(0)), last = Rgb(FlatClipColour(kFrames - 1));
  auto multiply = [](FlatColour p, FlatColour v) {
    auto m = [](int a, int b) { return (a * b + 127) / 255; };
    return qRgb(m(p.r, v.r), m(p.g, v.g), m(p.b, v.b));
  };
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    Preview after;
    std::optional<Preview> midway;  // after the drag's fifth step of ten, the button still down
    const char* end;
    std::optional<QRgb> colourBox;
  };
  auto half = [](FlatColour p, FlatColour v) {
    auto m = [](int a, int b) { return b + (a - b) / 2; };
    return qRgb(m(p.r, v.r), m(p.g, v.g), m(p.b, v.b));
  };
  const Frac kWhole = Px(0, 0, 720, 480);
  const Preview still{kStart, kStart, kEnd, 1, Rgb(kPicture), frame0};
  const Frac moved = Px(230, 180, 590, 420);
  const std::optional<Preview> none;
  const std::optional<QRgb> noBox;
  const Case cases[] = {
      {"a drag inside", {Drag({{300, 200}, {350, 260}})}, {moved, moved, kEnd, 1, Rgb(kPicture), frame0},
       Preview{Px(205, 150, 565, 390), Px(205, 150, 565, 390), kEnd, 1, Rgb(kPicture), frame0}, "ok", noBox},
      {"a corner", {Drag({{540, 360}, {500, 300}})}, {Px(180, 120, 500, 300), Px(180, 120, 500, 300), kEnd, 1, Rgb(kPicture), frame0},
       Preview{Px(180, 120, 520, 330), Px(180, 120, 520, 330), kEnd, 1, Rgb(kPicture), frame0}, "ok", noBox},
      {"option: about the centre", {Drag({{540, 360}, {580, 380}}, "option")},
       {Px(140, 100, 580, 380), Px(140, 100, 580, 380), kEnd, 1, Rgb(kPicture), frame0}, none, "ok", noBox},
      {"shift pressed after the press", {Drag({{540, 360}, {600, 380}}, "shift-after-press")},
       {Px(180, 120, 600, 380), Px(180, 120, 600, 380), kEnd, 1, Rgb(kPicture), frame0}, none, "ok", noBox},
      {"a click on the other rectangle", {Drag({{640, 430}, {600, 400}})},
       {kStart, kStart, Px(572, 378, 644, 426), 2, Rgb(kPicture), frame0}, none, "ok", noBox},
      {"the clip slider to the end", {"frame 149"}, {kEnd, kStart, kEnd, 1, Rgb(kPicture), last}, none, "ok", noBox},
      {"the blend pop-up", {"blend multiply"}, {kStart, kStart, kEnd, 1, multiply(kPicture, FlatClipColour(0)), frame0},
       none, "ok", noBox},
      {"next", {"frame 147", "next"}, {kEnd, kStart, kEnd, 1, Rgb(kPicture), Rgb(FlatClipColour(kFrames - 2))}, none,
       "ok", noBox},
      {"whole frame", {"whole-frame"}, {kWhole, kWhole, kEnd, 1, Rgb(kPicture), frame0}, none, "ok", noBox},
      // Reset: both rectangles the whole frame, the picture at half opacity.
      {"reset", {Drag({{300, 200}, {350, 260}}), "reset"}, {kWhole, kWhole, kWhole, 1, half(kPicture, FlatClipColour(0)), frame0},
       none, "ok", noBox},
      {"the colour picker's OK", {"colour ffd000"}, still, none, "ok", qRgb(255, 208, 0)},
      {"the colour picker's Cancel", {"colour-cancel"}, still, none, "ok", kWhite},
      {"Return", {Drag({{300, 200}, {350, 260}})}, {moved, moved, kEnd, 1, Rgb(kPicture), frame0}, none, "key return", noBox},
      {"Escape", {Drag({{300, 200}, {350, 260}})}, {moved, moved, kEnd, 1, Rgb(kPicture), frame0}, none, "key escape", noBox},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    std::vector<QImage> dragging;  // the preview after each step of a drag
    auto watch = [&] {
      QWidget* dialog = ShownDialog();
      QWidget* preview = Shown(cClipSig, 1);
      if (dialog != nullptr && preview != nullptr && dialog->property(kTrackingMouseProperty).toInt() > 0)
        dragging.push_back(OnScreen(preview));
    };
    std::vector<std::string> lines = {"picture " + picture};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    // The last look before the dialog ends: the preview and the colour box, on the screen.
    QImage after, colourBox, pictureBox;
    lines.push_back("screenshot " + dir / "after.png");
    lines.push_back(c.end);
    auto look = [&] {
      watch();
      if (QWidget* preview = Shown(cClipSig, 1)) after = OnScreen(preview);
      if (QWidget* box = Shown(cColorSig, 1)) colourBox = OnScreen(box);
      if (QWidget* box = Shown(cPictSig, 1)) pictureBox = OnScreen(box);
    };
    ASSERT_EQ(Play(lines, look), "");
    EXPECT_TRUE(Shows(after, c.after));
    if (c.midway) {
      ASSERT_EQ(dragging.size(), 11u);  // after the press, and after each of the ten moves
      EXPECT_TRUE(Shows(dragging[5], *c.midway)) << "midway";
      EXPECT_TRUE(Shows(dragging.back(), c.after)) << "before the release";
    }
    // The picture box shows the picture.
    EXPECT_TRUE(Near(pictureBox.pixel(pictureBox.width() / 2, pictureBox.height() / 2), Rgb(kPicture)));
    if (c.colourBox) {
      EXPECT_TRUE(Near(colourBox.pixel(colourBox.width() / 2, colourBox.height() / 2), *c.colourBox));
    }
    // Return keeps what the dialog did, Escape puts it back.
    const double left = std::string(c.end) == "key escape" ? 0.25 : c.after.start.left;
    EXPECT_DOUBLE_EQ(gPascalData->StartRel.Left, left);
  }
}

// In each layout a drag on the preview shows the picture following the
// mouse and standing where it was left; another layout opens where the
// first stood on the screen.
TEST_F(OnTheScreen, EachLayoutShowsTheDragAndOpensWhereTheLastStood) {
  struct Layout {
    const char* media;
    const char* window;
    int width, height;  // of the preview
  } layouts[] = {{"ntsc", "configNTSC", 720, 480}, {"pal", "configPAL", 720, 576}, {"hd", "configHD", 960, 540}};
  // The drag as the script says it, and the pixels the hand goes through.
  const double ax = 300.5 / 720, ay = 200.5 / 480, bx = 350.5 / 720, by = 260.5 / 480;
  QPoint first(-1, -1);
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.media);
    Fresh();
    auto at = [&](double f, int size) { return int(std::floor(f * size)); };
    // The start rectangle, a quarter of the frame in from each side, moved
    // by the mouse's pixels so far.
    auto movedBy = [&](double x, double y) {
      const double left = l.width / 4 + at(x, l.width) - at(ax, l.width);
      const double top = l.height / 4 + at(y, l.height) - at(ay, l.height);
      return Frac{left / l.width, top / l.height, (left + l.width / 2) / l.width, (top + l.height / 2) / l.height};
    };
    const Frac midway = movedBy(ax + (bx - ax) * 0.5, ay + (by - ay) * 0.5), after = movedBy(bx, by);
    std::vector<QImage> dragging;
    QImage last;
    QPoint place(-1, -1), opened(-1, -1);  // of the dialog in its layout, and as it first opened
    auto look = [&] {
      QWidget* dialog = ShownDialog();
      QWidget* preview = Shown(cClipSig, 1);
      if (dialog != nullptr && opened == QPoint(-1, -1)) opened = dialog->frameGeometry().topLeft();
      if (dialog == nullptr || preview == nullptr || dialog->objectName() != l.window) return;
      place = dialog->frameGeometry().topLeft();
      if (dialog->property(kTrackingMouseProperty).toInt() > 0) dragging.push_back(OnScreen(preview));
      last = OnScreen(preview);
    };
    ASSERT_EQ(Play({"picture " + picture, std::string("media ") + l.media, Drag({{300, 200}, {350, 260}}), "ok"}, look),
              "");
    ASSERT_EQ(last.size(), QSize(l.width, l.height));
    ASSERT_EQ(dragging.size(), 11u);  // after the press, and after each of the ten moves
    EXPECT_TRUE(Shows(dragging[5], {midway, midway, kEnd, 1, Rgb(kPicture), Rgb(FlatClipColour(0))})) << "midway";
    EXPECT_TRUE(Shows(last, {after, after, kEnd, 1, Rgb(kPicture), Rgb(FlatClipColour(0))})) << "after";
    EXPECT_EQ(gPascalData->StartRel.Left, after.left);
    EXPECT_EQ(place, opened) << "where the dialog reopened";
    if (first == QPoint(-1, -1)) first = place;
    EXPECT_EQ(place, first) << "where the dialog opens the next time";
  }
}

// The configuration a script leaves, as --json reports it, without the
// settings file's place (each run has its own).
std::string Record(const HostRun& r) { return std::regex_replace(r.out, std::regex(", \"SettingsFile\": \"[^\"]*\""), ""); }

// The repository's scripts, the demo's among them, played by a hand
// through the X server leave the record Qt's own events leave offscreen.
TEST(ScriptsOnTheScreen, PlayToTheSameRecordAsOffscreen) {
  TempDir dir, demoHome;
  const std::string clip = WriteFlatClip(dir / "clip.mkv", 30, 64, 48);
  const std::string picture = WritePicture(dir / "picture.png", 400, 300, {200, 30, 30});
  // The demo writes its script into demo/ of the folder it runs in.
  HostRun demo = Host("demo", demoHome.path(), "cd " + Quoted(dir.path()) + " && QT_QPA_PLATFORM=offscreen");
  ASSERT_EQ(demo.status, 0) << demo.err;
  struct Played {
    const char* what;
    std::vector<std::string> lines;  // none: the demo's own script
    const char* range;
    const char* motion = nullptr;    // what the Motion group left, when the case is about it
  };
  const Played scripts[] = {
      {"the demo", {}, ""},
      {"every field", {"picture " + picture, "media hd", "drag 0.5 0.5 0.25 0.25", "rect end", "drag 0.999 0.999 0.5 0.5",
                       "slider border 12", "slider opacity 34", "slider turn -25", "colour 123456", "blend luminosity",
                       "keep-proportions on", "ok"}, " --start 5 --count 20 --at 3"},
      {"a render's", {"picture " + picture, "drag 0.001 0.001 0.1 0.1", "drag 0.999 0.999 0.4 0.4", "rect end",
                      "drag 0.001 0.001 0.6 0.6", "drag 0.999 0.999 0.9 0.9", "slider opacity 100", "blend multiply", "ok"}, ""},
      {"modifiers and leaving the preview", {"drag 0.75 0.75 0.8 0.8 option", "drag 0.25 0.25 0.1 0.2 shift",
                                             "drag 0.5 0.5 0.6 0.6 shift-after-press", "drag 0.5 0.5 0.99 0.5 1.4 0.5 0.6 0.6",
                                             "drag 0.05 0.05 0.1 0.1", "key return"}, ""},
      {"frames, reset and the boxes", {"frame 12", "next", "previous", "frame 0", "slider border 40", "reset",
                                       "colour-cancel", "picture " + picture, "picture-cancel", "keep-proportions on",
                                       "whole-frame", "media pal", "about", "blend screen", "cancel"}, ""},
      {"the motion group", {"picture " + picture, "smooth on", "easing ease-in-out", "slider spin 1.5", "slider blur 50",
                            "media pal", "slider spin -0.25", "ok"}, "",
       "\"Smooth\": true, \"Easing\": \"ease-in-out\", \"Spin\": -0.25, \"MotionBlur\": 0.5"},
      {"the motion group cancelled", {"smooth on", "easing ease-out", "slider spin 2", "slider blur 25", "cancel"}, "",
       "\"Smooth\": false, \"Easing\": \"linear\", \"Spin\": 0, \"MotionBlur\": 0"},
  };
  for (const Played& p : scripts) {
    SCOPED_TRACE(p.what);
    const std::string script = p.lines.empty() ? dir / "demo/demo-script.txt" : WriteLines(dir / "script.txt", p.lines);
    const std::string args = "configure " + Quoted(p.lines.empty() ? dir / "demo/sample.mp4" : clip) + p.range +
                             " --script " + Quoted(script) + " --json";
    TempDir offscreenHome, x11Home;
    const HostRun offscreen = Host(args, offscreenHome.path(), "QT_QPA_PLATFORM=offscreen");
    const HostRun x11 = Host(args + " --input x11", x11Home.path());
    ASSERT_EQ(offscreen.status, 0) << offscreen.err;
    ASSERT_EQ(x11.status, 0) << x11.err;
    EXPECT_NE(Record(offscreen).find("\"StartRel\""), std::string::npos) << offscreen.out;
    EXPECT_EQ(Record(x11), Record(offscreen));
    if (p.motion) {
      EXPECT_NE(x11.out.find(p.motion), std::string::npos) << x11.out;
    }
  }
}

}  // namespace
