// The configuration dialog as a person uses it: the real dialog, offscreen,
// driven by the host's script player with real mouse and keyboard events;
// the record it leaves checked against values worked out here, and what the
// screen shows read from the widgets and from screenshots.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <set>

#include "ConfigureCommand.h"
#include "HostApplication.h"
#include "HostServices.h"
#include "MediaSupport.h"
#include "ShownDialog.h"
#include "TestSupport.h"
#include "bundle/Bundle.h"
#include "dialog/DialogControls.h"
#include "effect/DataHandling.h"
#include "effect/PluginData.h"
#include "host/HostEntry.h"
#include "resources/ResourceFork.h"
#include "script/ScriptPlayer.h"
#include "storage/prefsloader.h"
#include "toolbox/LaunchServices.h"

namespace {

constexpr int kW = 720, kH = 480;  // the NTSC layout's preview

struct PixelRect {
  int left, top, right, bottom;
};

RelRect Rel(PixelRect r) { return {r.left / double(kW), r.right / double(kW), r.top / double(kH), r.bottom / double(kH)}; }

::testing::AssertionResult SameRel(const RelRect& got, PixelRect want) {
  const RelRect w = Rel(want);
  if (got.Left == w.Left && got.Right == w.Right && got.Top == w.Top && got.Bottom == w.Bottom)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got pixels (" << got.Left * kW << ", " << got.Top * kH << ")-(" << got.Right * kW
                                       << ", " << got.Bottom * kH << "), want (" << want.left << ", " << want.top << ")-("
                                       << want.right << ", " << want.bottom << ")";
}

// A drag over preview pixels, as the script says it: fractions whose floor
// lands on those pixels.
std::string Drag(std::vector<std::pair<int, int>> points, const std::string& modifiers = "") {
  std::string line = "drag";
  char number[32];
  for (auto [x, y] : points) {
    std::snprintf(number, sizeof number, " %.6f %.6f", (x + 0.5) / kW, (y + 0.5) / kH);
    line += number;
  }
  return line + (modifiers.empty() ? "" : " " + modifiers);
}

// The text a label of the dialog shows.
QString ShownText(OSType sig, int id) {
  auto* label = qobject_cast<QLabel*>(Shown(sig, id));
  return label ? label->text() : QString();
}

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override {
    SetOwnBundlePath(QUORVEL_TEST_BUNDLE_DIR);
    clip = WriteFlatClip(dir / "clip.mkv", 150, 64, 48);
    picture = WritePicture(dir / "picture.png", 400, 300, {40, 200, 90});
    // The plug-in starts on its first call, and each test begins from a fresh record.
    HostSession host;
    HYPluginParams info = NewParams(host, kHostInterfaceVersion);
    info.selector = kPlugGetInfo;
    PluginMain(0, &info);
    ASSERT_NE(gPascalData, nullptr);
    ReleasePictures();
    ResetConfig(gPascalData, true);
    gPascalData->StartRel = Rel(kStart);
    gPascalData->EndRel = Rel(kEnd);
  }
  void TearDown() override {
    ReleasePictures();
    SetOwnBundlePath("");
  }
  void ReleasePictures() {
    CGImageRelease(gPascalData->TheOriginalImage);
    CGImageRelease(gPascalData->TheRendered);
    gPascalData->TheOriginalImage = gPascalData->TheRendered = nullptr;
  }
  // Plays the lines on the dialog of the custom button; answers the error.
  std::string Play(const std::vector<std::string>& lines, std::function<void()> watch = nullptr) {
    options.clip = clip;
    options.script = WriteLines(dir / "script.txt", lines);
    options.watch = std::move(watch);
    std::string error;
    ConfigureEffect(PluginMain, options, error);
    return error;
  }
  static constexpr PixelRect kStart = {180, 120, 540, 360};  // 360 x 240
  static constexpr PixelRect kEnd = {612, 408, 684, 456};    // out of the way
  ScopedPreferences prefs;
  TempDir dir;
  std::string clip, picture;
  ConfigureOptions options;
};

TEST_F(Dialog, DragsMoveAndResizeTheActiveRectangle) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> path;
    const char* modifiers;
    PixelRect want;
  };
  const Case cases[] = {
      {"top-left corner", {{180, 120}, {150, 100}}, "", {150, 100, 540, 360}},
      {"top-right corner", {{540, 120}, {600, 90}}, "", {180, 90, 600, 360}},
      {"bottom-left corner", {{180, 360}, {200, 400}}, "", {200, 120, 540, 400}},
      {"bottom-right corner", {{540, 360}, {500, 300}}, "", {180, 120, 500, 300}},
      {"a corner 5 pixels off", {{545, 365}, {505, 305}}, "", {180, 120, 500, 300}},
      {"top-left past bottom-right turns over", {{180, 120}, {600, 400}}, "", {540, 360, 600, 400}},
      {"the inside", {{300, 200}, {350, 260}}, "", {230, 180, 590, 420}},
      {"option: 10 pixels out widens by 20", {{540, 360}, {550, 360}}, "option", {170, 120, 550, 360}},
      {"shift keeps 3 : 2", {{540, 360}, {600, 380}}, "shift", {180, 120, 600, 400}},
      {"shift pressed after the press does nothing", {{540, 360}, {600, 380}}, "shift-after-press", {180, 120, 600, 380}},
      // Outside the preview the rectangle stays where the last step inside put
      // it, and follows again when the mouse comes back.
      {"leaving the preview", {{300, 200}, {715, 200}, {1000, 200}}, "", {595, 120, 955, 360}},
      {"leaving and coming back", {{300, 200}, {715, 200}, {1000, 200}, {350, 250}}, "", {230, 170, 590, 410}},
      {"a press outside both rectangles", {{60, 60}, {100, 100}}, "", kStart},
  };
  for (const Case& c : cases) {
    gPascalData->StartRel = Rel(kStart);
    ASSERT_EQ(Play({Drag(c.path, c.modifiers), "ok"}), "") << c.what;
    EXPECT_TRUE(SameRel(gPascalData->StartRel, c.want)) << c.what;
    EXPECT_TRUE(SameRel(gPascalData->EndRel, kEnd)) << c.what;
  }
}

TEST_F(Dialog, WithKeepProportionsEveryDragKeepsThePicturesShape) {
  // The 400 x 300 picture: height = width x 3 / 4, rounded, the top-left fixed.
  ASSERT_EQ(Play({"picture " + picture, "keep-proportions on", Drag({{540, 390}, {600, 380}}),
                  Drag({{600, 435}, {401, 301}}), Drag({{180, 120}, {100, 50}}), "ok"}),
            "");
  EXPECT_TRUE(SameRel(gPascalData->StartRel, {100, 50, 401, 276}));  // 301 wide, 225.75 rounds to 226
  EXPECT_TRUE(gPascalData->KeepProps);
  // The whole frame, whatever the proportions.
  ASSERT_EQ(Play({"whole-frame", "ok"}), "");
  EXPECT_TRUE(SameRel(gPascalData->StartRel, {0, 0, kW, kH}));
}

TEST_F(Dialog, AClickOnTheOtherRectangleMakesItActiveAndDragsIt) {
  int selector = 0;
  auto watch = [&] {
    if (QWidget* s = Shown(cRectSig, 1)) {
      const QList<QAbstractButton*> b = s->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
      selector = b.size() == 2 ? (b[0]->isChecked() ? 1 : b[1]->isChecked() ? 2 : 0) : -1;
    }
  };
  ASSERT_EQ(Play({Drag({{640, 430}, {600, 400}}), "ok"}, watch), "");
  EXPECT_TRUE(SameRel(gPascalData->EndRel, {572, 378, 644, 426}));
  EXPECT_TRUE(SameRel(gPascalData->StartRel, kStart));
  EXPECT_EQ(selector, 2);
  EXPECT_EQ(gConfigWorkSpace.ActiveRel, 2);
  // Where both overlap, the active one wins.
  gPascalData->EndRel = Rel({200, 150, 400, 300});
  ASSERT_EQ(Play({"rect end", Drag({{300, 200}, {310, 210}}), "ok"}), "");
  EXPECT_TRUE(SameRel(gPascalData->EndRel, {210, 160, 410, 310}));
  EXPECT_TRUE(SameRel(gPascalData->StartRel, kStart));
}

TEST_F(Dialog, SlidersShowEveryValueOnTheWayAndReachBothEnds) {
  std::vector<std::string> legends;
  auto watch = [&] {
    const std::string text = ShownText(cLegendSig, 2).toStdString();
    if (!text.empty() && (legends.empty() || legends.back() != text)) legends.push_back(text);
  };
  ASSERT_EQ(Play({"slider opacity 80", "slider turn -100", "slider turn 100", "slider border 100", "ok"}, watch), "");
  std::vector<std::string> want;
  for (int v = 50; v <= 80; ++v) want.push_back(std::to_string(v) + "%");
  EXPECT_EQ(legends, want);
  EXPECT_EQ(gPascalData->Sliders[2], 80);
  EXPECT_EQ(gPascalData->Sliders[3], 100);
  EXPECT_EQ(gPascalData->Sliders[1], 100);
  // A value the slider does not hold stops the script, and the dialog is cancelled.
  const std::string error = Play({"slider opacity 30", "slider turn 101", "ok"});
  EXPECT_NE(error.find("script.txt:2: turn goes from -100 to 100"), std::string::npos) << error;
  EXPECT_EQ(gPascalData->Sliders[2], 80);
}

TEST_F(Dialog, TheClipSliderAndItsButtonsMoveThroughTheRange) {
  options.start = 5;
  options.count = 140;  // the host's frames 5 to 144: positions 0 to 139
  std::set<std::string> marks;
  auto watch = [&] { marks.insert(ShownText(cClipMarkSig, 1).toStdString()); };
  ASSERT_EQ(Play({"frame 12", "frame 139", "next", "screenshot " + dir / "last.png", "frame 0", "previous", "ok"}, watch), "");
  EXPECT_TRUE(marks.count("12/139"));
  EXPECT_TRUE(marks.count("139/139"));
  EXPECT_TRUE(marks.count("0/139"));
  EXPECT_FALSE(marks.count("140/139"));
  EXPECT_FALSE(marks.count("-1/139"));
  // At its end the preview shows the host's frame 5 + 139.
  QImage shot(QString::fromStdString(dir / "last.png"));
  const QColor seen = shot.pixelColor(120, 220);
  const FlatColour want = FlatClipColour(144);
  EXPECT_EQ(seen, QColor(want.r, want.g, want.b));
}

TEST_F(Dialog, ResetKeepsThePictureAndTheFormat) {
  ASSERT_EQ(Play({"picture " + picture, "media pal", "slider border 30", "blend screen", "keep-proportions on",
                  Drag({{300, 200}, {320, 230}}), "colour 102030", "reset", "ok"}),
            "");
  ASSERT_NE(gPascalData->TheOriginalImage, nullptr);
  EXPECT_EQ(CGImageGetWidth(gPascalData->TheOriginalImage), 400u);
  EXPECT_NE(gPascalData->TheRendered, nullptr);
  EXPECT_EQ(gPascalData->MediaType, 2);
  PluginDataRec defaults{};
  ResetConfig(&defaults, true);
  EXPECT_EQ(std::memcmp(&gPascalData->StartRel, &defaults.StartRel, sizeof(RelRect)), 0);
  EXPECT_EQ(std::memcmp(&gPascalData->Colors, &defaults.Colors, sizeof defaults.Colors), 0);
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(gPascalData->Sliders[k], defaults.Sliders[k]);
  EXPECT_EQ(gPascalData->BlendMode, 1);
  EXPECT_FALSE(gPascalData->KeepProps);
}

// The dialog in another layout opens where the one it replaces stood, as
// a person put it (here: moved by the test, as a window manager would).
TEST_F(Dialog, AnotherLayoutOpensWhereTheLastOneStood) {
  QPoint moved(-1, -1), reopened(-1, -1);
  auto watch = [&] {
    QWidget* dialog = ShownDialog();
    if (dialog == nullptr) return;
    if (dialog->objectName() == "configNTSC" && moved == QPoint(-1, -1)) {
      dialog->move(130, 70);
      moved = dialog->pos();
    }
    if (dialog->objectName() == "configHD") reopened = dialog->pos();
  };
  ASSERT_EQ(Play({"slider opacity 60", "media hd", "ok"}, watch), "");
  EXPECT_EQ(moved, QPoint(130, 70));
  EXPECT_EQ(reopened, moved);
}

TEST_F(Dialog, TheColourBoxKeepsEightBitsAChannel) {
  ASSERT_EQ(Play({"colour 3366cc", "ok"}), "");
  EXPECT_EQ(gPascalData->Colors[1].red, 0x3300);
  EXPECT_EQ(gPascalData->Colors[1].green, 0x6600);
  EXPECT_EQ(gPascalData->Colors[1].blue, 0xCC00);
  // A cancelled picker still sends the box's colour: white's 65535 comes back as 65280.
  gPascalData->Colors[1] = {65535, 65535, 65535};
  ASSERT_EQ(Play({"colour-cancel", "ok"}), "");
  EXPECT_EQ(gPascalData->Colors[1].red, 65280);
  EXPECT_EQ(gPascalData->Colors[1].blue, 65280);
}

TEST_F(Dialog, ATextFileChosenAsPictureLeavesNoPicture) {
  const std::string notes = WriteLines(dir / "notes.txt", {"not a picture"});
  AlertRecorder alerts;
  ASSERT_EQ(Play({"picture " + picture, "picture " + notes, "screenshot " + dir / "none.png", "ok"}), "");
  EXPECT_EQ(gPascalData->TheOriginalImage, nullptr);
  // The person is told which file and why.
  ASSERT_EQ(alerts.alerts().size(), 1u);
  EXPECT_EQ(alerts.alerts()[0].message, "The picture cannot be read");
  EXPECT_EQ(alerts.alerts()[0].explanation.rfind(notes + ": ", 0), 0u) << alerts.alerts()[0].explanation;
  EXPECT_GT(alerts.alerts()[0].explanation.size(), notes.size() + 4);
  EXPECT_EQ(gPascalData->TheRendered, nullptr);
  // The preview shows the frame alone.
  const FlatColour frame = FlatClipColour(0);
  EXPECT_EQ(QImage(QString::fromStdString(dir / "none.png")).pixelColor(300, 200), QColor(frame.r, frame.g, frame.b));
  // A cancelled Open dialog changes nothing.
  ASSERT_EQ(Play({"picture " + picture, "picture-cancel", "ok"}), "");
  EXPECT_NE(gPascalData->TheOriginalImage, nullptr);
}

TEST_F(Dialog, CancelPutsBackEveryByteAndReleasesWhatTheDialogMade) {
  ASSERT_EQ(Play({"picture " + picture, "ok"}), "");  // a picture held on entry
  const size_t images = LiveCGImages();
  PluginDataRec before;
  std::memcpy(&before, gPascalData, sizeof before);
  ASSERT_EQ(Play({"media pal", "picture " + picture, "slider border 40", "picture " + picture, "blend hue",
                  Drag({{300, 200}, {310, 230}}), "cancel"}),
            "");
  EXPECT_EQ(std::memcmp(gPascalData, &before, sizeof before), 0);
  EXPECT_EQ(LiveCGImages(), images);
  EXPECT_EQ(CGImageGetWidth(gPascalData->TheOriginalImage), 400u);  // still alive
  // Accepted, the new pictures stay and the ones of entry go.
  ASSERT_EQ(Play({"picture " + picture, "key return"}), "");
  EXPECT_NE(gPascalData->TheOriginalImage, before.TheOriginalImage);
  EXPECT_EQ(LiveCGImages(), images);
  // Escape cancels as the Cancel button does.
  ASSERT_EQ(Play({"slider opacity 90", "key escape"}), "");
  EXPECT_EQ(gPascalData->Sliders[2], 50);
}

TEST_F(Dialog, OKWritesTheSettingsFileEvenWithoutAChange) {
  gPascalData->Sliders[2] = 33;
  WriteFileBytes(prefs.settingsFile(), ResourceFileBytes(ResourceForkContents{}));  // no record in it
  ASSERT_EQ(Play({"ok"}), "");
  PluginDataRec read{};
  ResetConfig(&read, true);
  ASSERT_TRUE(ReadConfig(&read));
  EXPECT_EQ(read.Sliders[2], 33);
}

TEST_F(Dialog, HelpOpensTheManualWhichNamesEveryControl) {
  static std::string opened;
  DocumentOpener previous = SetDocumentOpener([](const std::string& path) -> OSStatus {
    opened = path;
    return noErr;
  });
  std::set<QString> texts;
  auto watch = [&] {
    if (QWidget* dialog = ShownDialog())
      for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(dialog)) continue;
        if (auto* l = qobject_cast<QLabel*>(w)) texts.insert(l->text());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) texts.insert(b->text());
        if (auto* g = qobject_cast<QGroupBox*>(w)) texts.insert(g->title());
      }
  };
  ASSERT_EQ(Play({"help", "ok"}, watch), "");
  SetDocumentOpener(previous);
  const std::string manual = std::string(QUORVEL_TEST_BUNDLE_DIR) + "/Contents/Resources/manual.pdf";
  EXPECT_EQ(opened, manual);
  const std::vector<UInt8> bytes = ReadFileBytes(manual);
  ASSERT_GT(bytes.size(), 5u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");
  // Every caption, button and box title of the dialog is in the manual's text
  // (the slider values and the frame number apart).
  ASSERT_EQ(std::system(("pdftotext -layout '" + manual + "' '" + dir / "manual.txt" + "'").c_str()), 0);
  const std::vector<UInt8> read = ReadFileBytes(dir / "manual.txt");
  std::string text(read.begin(), read.end());
  for (char& c : text) c = c == '\n' ? ' ' : c;
  int checked = 0;
  for (const QString& t : texts) {
    QString name = t;
    name.remove(QRegularExpression("\\(.*\\)")).replace("\n", " ").replace("\u2026", "").replace("&", "");
    name = name.simplified();
    if (name.isEmpty() || name.contains(QRegularExpression("^[-0-9.%/ ]+$")) || name.startsWith("Click the box")) continue;
    EXPECT_NE(text.find(name.toStdString()), std::string::npos) << name.toStdString();
    ++checked;
  }
  EXPECT_GT(checked, 15);
}

TEST_F(Dialog, HelpWithoutTheManualSaysSo) {
  // The bundle without its manual: every other resource of it, linked.
  const std::string bundle = dir / "NoManual.bundle";
  const std::string built = QUORVEL_TEST_BUNDLE_DIR;
  for (const char* folder : {"", "/Contents", "/Contents/Resources"}) ::mkdir((bundle + folder).c_str(), 0700);
  for (const char* item : {"/Contents/Manifest", "/Contents/Linux", "/Contents/Resources/Resources.rsrc",
                           "/Contents/Resources/quor-m.nib", "/Contents/Resources/about.nib"})
    ASSERT_EQ(::symlink((built + item).c_str(), (bundle + item).c_str()), 0) << item;
  SetOwnBundlePath(bundle);
  AlertRecorder alerts;
  ASSERT_EQ(Play({"help", "ok"}), "");
  ASSERT_EQ(alerts.alerts().size(), 1u);
  EXPECT_EQ(alerts.alerts()[0].message, "Internal Notification:");
  EXPECT_EQ(alerts.alerts()[0].explanation, "Cannot locate manual in bundle");
}

TEST_F(Dialog, WithoutAFrameFromTheHostTheDialogShowsBlack) {
  // A host whose GetFrame gives nothing, and a person who looks and cancels.
  HostSession host;
  HYPluginParams click = NewParams(host, kHostInterfaceVersion);
  click.selector = kPlugCustomButtonClick;
  Script script;
  std::string error;
  ASSERT_TRUE(ParseScript("look", "screenshot " + dir / "black.png" + "\ncancel\n", script, error)) << error;
  ScriptPlayer player(script);
  player.Start();
  EXPECT_EQ(PluginMain(0, &click), kPluginOK);  // no clip: every frame request fails
  EXPECT_EQ(player.Error(), "");
  EXPECT_EQ(QImage(QString::fromStdString(dir / "black.png")).pixelColor(300, 200), QColor(0, 0, 0));
}

TEST_F(Dialog, AScriptThatCannotBePlayedSaysWhereAndChangesNothing) {
  struct Case {
    std::vector<std::string> lines;
    std::string says;
  };
  const Case cases[] = {
      {{"wiggle", "ok"}, "script.txt:1: unknown action wiggle"},
      {{"slider opacity 70"}, "script.txt:1: the script ends without ok or cancel"},
      {{"ok", "cancel"}, "script.txt:2: nothing can follow ok"},
      {{"slider opacity 70", "picture " + dir / "missing.png", "ok"}, "script.txt:2: " + dir / "missing.png" + ": no such file"},
  };
  for (const Case& c : cases) {
    const std::string error = Play(c.lines);
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(gPascalData->Sliders[2], 50) << c.says;
  }
}

// Each layout as it looks with a picture in it, kept as artefacts of the test
// run (on a real X display under Xvfb, and offscreen).
TEST_F(Dialog, ScreenshotOfEachLayoutWithAPicture) {
  QImage art(480, 320, QImage::Format_ARGB32);
  for (int y = 0; y < art.height(); ++y)
    for (int x = 0; x < art.width(); ++x) {
      const int d = (x - 240) * (x - 240) + (y - 160) * (y - 160);
      art.setPixelColor(x, y, d < 140 * 140 ? QColor(250, 190 - y / 3, 40 + x / 4) : QColor(20, 60 + y / 4, 160));
    }
  const std::string logo = dir / "logo.png";
  ASSERT_TRUE(art.save(QString::fromStdString(logo)));
  EnsureHostApplication();
  // On a display the hand is the X server's, and the screenshots are the screen's.
  if (QGuiApplication::platformName() == "xcb") options.play.input = InputMode::X11;
  for (const char* media : {"ntsc", "pal", "hd"}) {
    // Under Xvfb "dialog-hd.png"; offscreen, where both runs may meet, "dialog-hd-offscreen.png".
    const std::string platform = QGuiApplication::platformName() == "xcb" ? "" : "-" + QGuiApplication::platformName().toStdString();
    const std::string shot = std::string(QUORVEL_ARTEFACTS_DIR) + "/dialog-" + media + platform + ".png";
    ASSERT_EQ(Play({"picture " + logo, std::string("media ") + media, Drag({{300, 200}, {200, 150}}), "rect end",
                    Drag({{640, 430}, {560, 300}}), "slider border 8", "slider turn 10", "slider opacity 85",
                    "colour ffd000", "frame 40", "screenshot " + shot, "cancel"}),
              "")
        << media;
    QImage seen(QString::fromStdString(shot));
    ASSERT_FALSE(seen.isNull()) << media;
    EXPECT_GT(seen.width(), 1000) << media;
  }
}

}  // namespace
