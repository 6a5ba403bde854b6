// The configuration dialog as it is on the screen, for tests that watch it:
// its window, and its widgets by the control IDs the interface files give them.
#pragma once

#include <QApplication>
#include <QWidget>

#include "MacTypes.h"

inline QWidget* ShownDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && (w->objectName() == "configNTSC" || w->objectName() == "configPAL" || w->objectName() == "configHD"))
      return w;
  return nullptr;
}

inline QWidget* Shown(OSType sig, int id) {
  QWidget* dialog = ShownDialog();
  if (dialog == nullptr) return nullptr;
  const char text[5] = {char(sig >> 24), char(sig >> 16), char(sig >> 8), char(sig), 0};
  for (QWidget* w : dialog->findChildren<QWidget*>())
    if (w->property("controlSignature").toString() == text && w->property("controlID").toInt() == id) return w;
  return nullptr;
}
