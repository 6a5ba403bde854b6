// The Open dialog as a person uses it: a real file dialog, offscreen, in
// which a file is chosen or the dialog cancelled.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "TestSupport.h"
#include "WhenReady.h"
#include "dialog/EasyFileNav.h"
#include "text/PascalString.h"
#include "toolbox/Toolbox.h"

namespace {

// Once the dialog is up: choose `file`, or cancel when it is empty.
void AnswerTheDialog(const std::string& file) {
  auto shown = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog != nullptr && w->isVisible()) return dialog;
    return static_cast<QFileDialog*>(nullptr);
  };
  WhenReady([shown] { return shown() != nullptr; }, [file, shown] {
    QFileDialog* dialog = shown();
    if (file.empty()) {
      dialog->reject();
    } else {
      // As a person does: the file's name typed into the name field, then Open.
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
      ASSERT_TRUE(name && buttons);
      name->setText(QString::fromStdString(file));
      buttons->button(QDialogButtonBox::Open)->click();
    }
  });
}

TEST(OpenDialog, ReturnsTheChosenFileWithItsTitleAndNoTypeListForAnyFile) {
  ToolboxHasDisplay();
  TempDir dir;
  WriteFileBytes(dir / "picture.png", {1, 2, 3});
  AnswerTheDialog(dir / "picture.png");
  FSSpec chosen{};
  ASSERT_TRUE(EasyNavGetFile(PStr("Please choose an image"), FOUR_CHAR_CODE("****"), FOUR_CHAR_CODE("****"), true, chosen));
  EXPECT_EQ(FSSpecPath(chosen), dir / "picture.png");
  const NavLastRequest& request = NavLastDialogRequest();
  EXPECT_EQ(request.title, "Please choose an image");
  EXPECT_FALSE(request.hadTypeList);
  EXPECT_FALSE(request.multiple);  // exactly one file, whatever the caller asked
}

TEST(OpenDialog, NamesTheTypeAndCreatorAndReportsACancel) {
  ToolboxHasDisplay();
  AnswerTheDialog("");
  FSSpec chosen{};
  chosen.parID = 12345;
  EXPECT_FALSE(EasyNavGetFile(PStr("Pick"), FOUR_CHAR_CODE("PNGf"), FOUR_CHAR_CODE("8BIM"), false, chosen));
  EXPECT_EQ(chosen.parID, 12345);  // left alone
  const NavLastRequest& request = NavLastDialogRequest();
  EXPECT_TRUE(request.hadTypeList);
  EXPECT_EQ(request.type, FOUR_CHAR_CODE("PNGf"));
  EXPECT_EQ(request.creator, FOUR_CHAR_CODE("8BIM"));
}

TEST(OpenDialog, SelectionListsKeepFourFilesAndCountThemAll) {
  AEDescList list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  FileList files;
  files.Count = 99;
  EXPECT_EQ(AEDescListToFileList(list, files), noErr);
  EXPECT_EQ(files.Count, 0);
  for (int k = 1; k <= 6; ++k) {
    FSSpec spec{};
    spec.parID = 100 + k;
    AEPutPtr(&list, 0, typeFSS, &spec, sizeof spec);
  }
  EXPECT_EQ(AEDescListToFileList(list, files), noErr);
  EXPECT_EQ(files.Count, 6);
  EXPECT_EQ(files.Spec[0].parID, 101);
  EXPECT_EQ(files.Spec[3].parID, 104);
  AEDisposeDesc(&list);
}

}  // namespace
