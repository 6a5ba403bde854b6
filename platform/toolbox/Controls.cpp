// Controls: found by control ID, read and set, shown and hidden, texts.
// Standard controls are Qt widgets of the interface file; a selector is a
// frame of checkable buttons whose value is the checked one's number.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include <cstring>

#include "text/PascalString.h"
#include "toolbox/ToolboxPrivate.h"

namespace {

OSType CodeFromText(const QString& text) {
  QByteArray b = text.toLatin1();
  if (b.size() != 4) return 0;
  return FOUR_CHAR_CODE({b[0], b[1], b[2], b[3], 0});
}

// The buttons of a selector, in the interface file's order.
QList<QAbstractButton*> SelectorButtons(QWidget* w) {
  QList<QAbstractButton*> buttons;
  if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w) ||
      qobject_cast<QLabel*>(w) || toolbox::IsCustomControlWidget(w))
    return buttons;
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
    if (b->isCheckable()) buttons.push_back(b);
  return buttons;
}

// Changes made by code, not by the person at the controls.
struct SettingValue {
  explicit SettingValue(ControlRef c) : control(c) { control->settingValue = true; }
  ~SettingValue() { control->settingValue = false; }
  ControlRef control;
};

enum : ControlPartCode { kThumbPart = 129, kPageAreaPart = 22 };

void Adopt(WindowRef window, QWidget* w) {
  auto c = std::make_unique<OpaqueControlRef>();
  c->widget = w;
  c->window = window;
  c->signature = CodeFromText(w->property("controlSignature").toString());
  c->id = w->property("controlID").toInt();
  const QVariant command = w->property("command");
  c->command = command.isValid() ? CodeFromText(command.toString()) : 0;
  ControlRef control = c.get();
  if (toolbox::IsCustomControlWidget(w)) {
    toolbox::BindCustomControl(w, control);
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    QObject::connect(button, &QAbstractButton::clicked,
                     [control] { toolbox::SendCommand(control->window, control->command); });
  } else if (auto* popup = qobject_cast<QComboBox*>(w)) {
    QObject::connect(popup, QOverload<int>::of(&QComboBox::activated),
                     [control](int) { toolbox::SendCommand(control->window, control->command); });
  } else if (auto* slider = qobject_cast<QSlider*>(w)) {
    // Live tracking: the action runs for every change the person makes.
    QObject::connect(slider, &QSlider::valueChanged, [control, slider](int) {
      if (control->action == nullptr || control->settingValue) return;
      control->action(control, slider->isSliderDown() ? kThumbPart : kPageAreaPart);
      toolbox::FlushWindows();
    });
    QObject::connect(slider, &QSlider::sliderReleased,
                     [control] { toolbox::SendCommand(control->window, control->command); });
  } else {
    for (QAbstractButton* b : SelectorButtons(w))
      QObject::connect(b, &QAbstractButton::clicked,
                       [control] { toolbox::SendCommand(control->window, control->command); });
  }
  window->controls.push_back(std::move(c));
}

}  // namespace

namespace toolbox {

void AdoptControls(WindowRef window) {
  for (QWidget* w : window->widget->findChildren<QWidget*>())
    if (w->property("controlSignature").isValid() || w->property("command").isValid() || IsCustomControlWidget(w))
      Adopt(window, w);
}

}  // namespace toolbox

OSStatus GetControlByID(WindowRef window, const ControlID* id, ControlRef* outControl) {
  if (outControl) *outControl = nullptr;
  if (window == nullptr || id == nullptr || outControl == nullptr) return paramErr;
  for (auto& c : window->controls)
    if (c->signature == id->signature && c->id == id->id && c->widget) {
      *outControl = c.get();
      return noErr;
    }
  return errUnknownControl;
}

SInt32 GetControl32BitValue(ControlRef c) {
  if (c == nullptr || !c->widget) return 0;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->value();
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) return b->isCheckable() ? b->isChecked() : 0;
  if (auto* p = qobject_cast<QComboBox*>(c->widget)) return p->currentIndex() + 1;
  const QList<QAbstractButton*> choices = SelectorButtons(c->widget);
  for (int k = 0; k < choices.size(); ++k)
    if (choices[k]->isChecked()) return k + 1;
  return choices.isEmpty() ? c->value : 0;
}

void SetControl32BitValue(ControlRef c, SInt32 value) {
  if (c == nullptr || !c->widget) return;
  SettingValue guard(c);
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->setValue(value);
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) return b->setChecked(value != 0);
  if (auto* p = qobject_cast<QComboBox*>(c->widget)) return p->setCurrentIndex(value - 1);
  const QList<QAbstractButton*> choices = SelectorButtons(c->widget);
  if (!choices.isEmpty()) {
    if (value >= 1 && value <= choices.size()) choices[value - 1]->setChecked(true);
    return;
  }
  // A custom control is drawn again when its value is set, changed or not.
  c->value = value < c->minimum ? c->minimum : (value > c->maximum && c->maximum > c->minimum ? c->maximum : value);
  Draw1Control(c);
}

SInt32 GetControl32BitMinimum(ControlRef c) {
  if (c == nullptr || !c->widget) return 0;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->minimum();
  if (qobject_cast<QComboBox*>(c->widget) || !SelectorButtons(c->widget).isEmpty()) return 1;
  return c->minimum;
}

void SetControl32BitMinimum(ControlRef c, SInt32 value) {
  if (c == nullptr || !c->widget) return;
  SettingValue guard(c);
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->setMinimum(value);
  c->minimum = value;
}

SInt32 GetControl32BitMaximum(ControlRef c) {
  if (c == nullptr || !c->widget) return 0;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->maximum();
  if (auto* p = qobject_cast<QComboBox*>(c->widget)) return p->count();
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) return b->isCheckable() ? 1 : 0;
  const QList<QAbstractButton*> choices = SelectorButtons(c->widget);
  return choices.isEmpty() ? c->maximum : SInt32(choices.size());
}

void SetControl32BitMaximum(ControlRef c, SInt32 value) {
  if (c == nullptr || !c->widget) return;
  SettingValue guard(c);
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->setMaximum(value);
  c->maximum = value;
}

OSStatus SetControlData(ControlRef c, ControlPartCode, OSType tag, Size size, const void* data) {
  if (c == nullptr || !c->widget || size < 0 || size > 255) return paramErr;
  if (tag != kControlEditTextTextTag) return errUnknownControl;
  Str255 text;
  text[0] = UInt8(size);
  if (size > 0) std::memcpy(text + 1, data, size_t(size));
  const QString utf = QString::fromStdString(MacRomanToUTF8(text));
  if (auto* label = qobject_cast<QLabel*>(c->widget)) label->setText(utf);
  else if (auto* button = qobject_cast<QAbstractButton*>(c->widget)) button->setText(utf);
  else if (auto* edit = qobject_cast<QLineEdit*>(c->widget)) edit->setText(utf);
  else if (auto* box = qobject_cast<QGroupBox*>(c->widget)) box->setTitle(utf);
  else return errUnknownControl;
  return noErr;
}

std::string GetControlTextUTF8(ControlRef c) {
  if (c == nullptr || !c->widget) return std::string();
  if (auto* label = qobject_cast<QLabel*>(c->widget)) return label->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(c->widget)) return button->text().toStdString();
  if (auto* edit = qobject_cast<QLineEdit*>(c->widget)) return edit->text().toStdString();
  if (auto* box = qobject_cast<QGroupBox*>(c->widget)) return box->title().toStdString();
  return std::string();
}

void ShowControl(ControlRef c) {
  if (c && c->widget) c->widget->show();
}
void HideControl(ControlRef c) {
  if (c && c->widget) c->widget->hide();
}
Boolean IsControlVisible(ControlRef c) { return c && c->widget && !c->widget->isHidden(); }

Rect* GetControlBounds(ControlRef c, Rect* bounds) {
  if (bounds == nullptr) return nullptr;
  *bounds = {0, 0, 0, 0};
  if (c && c->widget) {
    const QPoint tl = c->widget->mapTo(c->window->widget, QPoint(0, 0));
    *bounds = {SInt16(tl.y()), SInt16(tl.x()), SInt16(tl.y() + c->widget->height()), SInt16(tl.x() + c->widget->width())};
  }
  return bounds;
}

void HiliteControl(ControlRef c, ControlPartCode part) {
  if (c == nullptr || !c->widget) return;
  c->hilite = part;
  c->widget->setEnabled(part != kControlInactivePart && part != kControlDisabledPart);
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) b->setDown(part > 0 && part < kControlDisabledPart);
  Draw1Control(c);
}

ControlPartCode GetControlHilite(ControlRef c) { return c ? c->hilite : 0; }

void Draw1Control(ControlRef c) {
  if (c == nullptr || !c->widget) return;
  toolbox::DrawCustomControl(c);  // into the port now, whether or not the window is on screen yet
  toolbox::FlushWindows();
  c->widget->update();
}

WindowRef GetControlOwner(ControlRef c) { return c ? c->window : nullptr; }

void SetControlAction(ControlRef c, ControlActionUPP action) {
  if (c) c->action = action;
}

void* ControlWidget(ControlRef control) { return control ? control->widget.data() : nullptr; }
