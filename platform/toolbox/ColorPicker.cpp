#include "toolbox/ColorPicker.h"

#include <QColorDialog>

#include "text/PascalString.h"
#include "toolbox/Toolbox.h"

OSErr NPickColor(NColorPickerInfo* info) {
  if (info == nullptr) return paramErr;
  ToolboxHasDisplay();  // makes the application when the host has none
  const RGBColor& in = info->theColor.color.rgb;
  QColorDialog dialog(QColor::fromRgba64(in.red, in.green, in.blue));
  dialog.setOption(QColorDialog::DontUseNativeDialog, true);
  dialog.setWindowTitle(QString::fromStdString(MacRomanToUTF8(info->prompt)));
  dialog.setObjectName("NPickColor");
  info->newColorChosen = dialog.exec() == QDialog::Accepted;
  if (info->newColorChosen) {
    const QColor c = dialog.selectedColor();
    info->theColor.color.rgb = {UInt16(c.red() * 257), UInt16(c.green() * 257), UInt16(c.blue() * 257)};
  }
  return noErr;
}
