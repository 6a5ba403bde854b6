// Build tool: the manual, from its Markdown source to PDF, with a picture of
// the configuration dialog taken offscreen by quorvel-host itself.
//   quorvel-manual SOURCE.md OUTPUT.pdf [QUORVEL-HOST BUNDLE]
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QRegularExpression>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SamplePicture.h"
#include "SampleClip.h"

namespace {

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The dialog with the sample picture in it, as quorvel-host shows it; an
// empty image when it could not be taken (the manual is made without it).
QImage DialogPicture(const std::string& host, const std::string& bundle) {
  char pattern[] = "/tmp/quorvel-manual-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return QImage();
  const std::string dir = pattern;
  std::string error;
  QImage shot;
  if (WriteSampleClip(dir + "/clip.mp4", 720, 480, 30, error) && WriteSamplePicture(dir + "/picture.png", error)) {
    FILE* script = std::fopen((dir + "/script.txt").c_str(), "w");
    if (script != nullptr) {
      std::fprintf(script,
                   "picture %s/picture.png\ndrag 0.001 0.001 0.06 0.08\ndrag 0.999 0.999 0.42 0.48\n"
                   "rect end\ndrag 0.001 0.001 0.55 0.5\ndrag 0.999 0.999 0.93 0.9\n"
                   "slider border 6\nslider opacity 90\nslider turn 8\ncolour ffffff\nframe 12\n"
                   "screenshot %s/dialog.png\ncancel\n",
                   dir.c_str(), dir.c_str());
      std::fclose(script);
      const std::string command = "env XDG_CONFIG_HOME=" + Quoted(dir) +
                                  " QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 " + Quoted(host) +
                                  " --bundle " + Quoted(bundle) + " configure " + Quoted(dir + "/clip.mp4") +
                                  " --script " + Quoted(dir + "/script.txt") + " >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0) shot.load(QString::fromStdString(dir + "/dialog.png"));
    }
  }
  std::system(("rm -rf " + Quoted(dir)).c_str());
  return shot;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: quorvel-manual SOURCE.md OUTPUT.pdf [QUORVEL-HOST BUNDLE]\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QFile source(argv[1]);
  if (!source.open(QFile::ReadOnly)) {
    std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
    return 1;
  }
  QString text = QString::fromUtf8(source.readAll());
  QTextDocument manual;
  const QImage dialog = argc == 5 ? DialogPicture(argv[3], argv[4]) : QImage();
  if (dialog.isNull()) {
    if (argc == 5) std::fprintf(stderr, "quorvel-manual: no picture of the dialog; the manual is made without it\n");
    text.remove(QRegularExpression("!\\[[^]]*\\]\\(dialog\\.png\\)\n"));
  }
  manual.setMarkdown(text);  // which clears the document's resources: the picture comes after
  if (!dialog.isNull())
    manual.addResource(QTextDocument::ImageResource, QUrl("dialog.png"), dialog.scaledToWidth(470, Qt::SmoothTransformation));
  const std::string temp = std::string(argv[2]) + ".tmp";
  {
    QPdfWriter pdf(QString::fromStdString(temp));
    pdf.setTitle("Quorvel (moving)");
    pdf.setCreator("Quorvel (moving)");
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    manual.print(&pdf);
  }
  if (std::rename(temp.c_str(), argv[2]) != 0) {
    std::fprintf(stderr, "%s: cannot be written\n", argv[2]);
    return 1;
  }
  return 0;
}
