// Keys pressed by the program itself, and the hook on typed characters.
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPointer>

#include "platform/qt_ui.h"
#include "qt_members.h"

namespace platform {
namespace {

struct KeyOf {
  int key = 0;  // Qt::Key, 0 when the virtual key is not mapped
  QString text;
  bool keypad = false;
};

// The punctuation keys of a US layout: virtual key, plain and shifted character.
struct Punctuation {
  int virtual_key;
  char plain;
  char shifted;
};
constexpr Punctuation kPunctuation[] = {{186, ';', ':'},  {187, '=', '+'}, {188, ',', '<'}, {189, '-', '_'},
                                        {190, '.', '>'},  {191, '/', '?'}, {192, '`', '~'}, {219, '[', '{'},
                                        {220, '\\', '|'}, {221, ']', '}'}, {222, '\'', '"'}};

KeyOf MapVirtualKey(int vk, bool shift, bool control) {
  if (vk >= 'A' && vk <= 'Z') {
    // A control key types the control character, as the platform does.
    const QChar letter(shift ? vk : vk + ('a' - 'A'));
    return {vk, control ? QString(QChar(vk - 'A' + 1)) : QString(letter)};
  }
  if (vk >= '0' && vk <= '9') {
    static const char* const kShiftedDigits = ")!@#$%^&*(";
    return {vk, QString(QLatin1Char(shift ? kShiftedDigits[vk - '0'] : static_cast<char>(vk)))};
  }
  if (vk >= 96 && vk <= 105) return {Qt::Key_0 + (vk - 96), QString(QChar('0' + (vk - 96))), true};
  if (vk >= 112 && vk <= 135) return {Qt::Key_F1 + (vk - 112), {}};
  for (const Punctuation& p : kPunctuation) {
    if (p.virtual_key != vk) continue;
    const char c = shift ? p.shifted : p.plain;
    return {static_cast<unsigned char>(c), QString(QLatin1Char(c))};
  }
  switch (vk) {
    case 8:
      return {Qt::Key_Backspace, QStringLiteral("\b")};
    case 9:
      return {shift ? Qt::Key_Backtab : Qt::Key_Tab, QStringLiteral("\t")};
    case 13:
      return {Qt::Key_Return, QStringLiteral("\r")};
    case 16:
      return {Qt::Key_Shift, {}};
    case 17:
      return {Qt::Key_Control, {}};
    case 18:
      return {Qt::Key_Alt, {}};
    case 19:
      return {Qt::Key_Pause, {}};
    case 20:
      return {Qt::Key_CapsLock, {}};
    case 27:
      return {Qt::Key_Escape, QStringLiteral("\x1b")};
    case 32:
      return {Qt::Key_Space, QStringLiteral(" ")};
    case 33:
      return {Qt::Key_PageUp, {}};
    case 34:
      return {Qt::Key_PageDown, {}};
    case 35:
      return {Qt::Key_End, {}};
    case 36:
      return {Qt::Key_Home, {}};
    case 37:
      return {Qt::Key_Left, {}};
    case 38:
      return {Qt::Key_Up, {}};
    case 39:
      return {Qt::Key_Right, {}};
    case 40:
      return {Qt::Key_Down, {}};
    case 45:
      return {Qt::Key_Insert, {}};
    case 46:
      return {Qt::Key_Delete, {}};
    case 106:
      return {Qt::Key_Asterisk, QStringLiteral("*"), true};
    case 107:
      return {Qt::Key_Plus, QStringLiteral("+"), true};
    case 109:
      return {Qt::Key_Minus, QStringLiteral("-"), true};
    case 110:
      return {Qt::Key_Period, QStringLiteral("."), true};
    case 111:
      return {Qt::Key_Slash, QStringLiteral("/"), true};
    case 144:
      return {Qt::Key_NumLock, {}};
    case 145:
      return {Qt::Key_ScrollLock, {}};
    default:
      return {};
  }
}

// The Qt key that types `c`: Qt numbers the keys of the Latin-1 characters by
// their upper-case code.
int KeyForCharacter(QChar c) {
  if (c == QLatin1Char('\r')) return Qt::Key_Return;
  if (c == QChar(27)) return Qt::Key_Escape;
  if (c == QLatin1Char('\b')) return Qt::Key_Backspace;
  const int upper = c.toUpper().unicode();
  return upper < 0x100 ? upper : static_cast<int>(Qt::Key_unknown);
}

// Passes each typed character of one control through the hook.
class KeyPressFilter final : public QObject {
 public:
  KeyPressFilter(QWidget* control, KeyPressHook hook) : QObject(control), hook_(std::move(hook)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (delivering_) return false;
    if (event->type() == QEvent::KeyPress) return OnKey(watched, static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::InputMethod) return OnInput(watched, static_cast<QInputMethodEvent*>(event));
    return false;
  }

 private:
  // The text after the hook: characters swallowed or replaced.
  QString Filtered(const QString& text) {
    QString kept;
    for (const QChar c : text) {
      if (c.unicode() > 0x7FFF) {
        kept.append(c);
        continue;
      }
      const int code = hook_(c.unicode());
      if (code > 0 && code <= 0xFFFF) kept.append(QChar(static_cast<char16_t>(code)));
    }
    return kept;
  }

  void Deliver(QObject* target, QEvent* event) {
    delivering_ = true;
    QCoreApplication::sendEvent(target, event);
    delivering_ = false;
  }

  bool OnKey(QObject* watched, QKeyEvent* key) {
    if (key->text().isEmpty()) return false;
    const QString text = Filtered(key->text());
    if (text == key->text()) return false;
    if (text.isEmpty()) return true;
    QKeyEvent replacement(QEvent::KeyPress, KeyForCharacter(text.front()), key->modifiers(), text,
                          key->isAutoRepeat());
    Deliver(watched, &replacement);
    return true;
  }

  bool OnInput(QObject* watched, QInputMethodEvent* input) {
    // Only committed text is typed; what is still being composed is not.
    if (input->commitString().isEmpty()) return false;
    const QString text = Filtered(input->commitString());
    if (text == input->commitString()) return false;
    QInputMethodEvent replacement(input->preeditString(), input->attributes());
    replacement.setCommitString(text, input->replacementStart(), input->replacementLength());
    Deliver(watched, &replacement);
    return true;
  }

  KeyPressHook hook_;
  bool delivering_ = false;
};

constexpr const char* kHookName = "qt_keypress_hook";

}  // namespace

void QtToolkit::SendKey(int virtual_key, int modifiers) {
  const bool shift = (modifiers & kKeyShift) != 0;
  const bool control = (modifiers & kKeyControl) != 0;
  const KeyOf mapped = MapVirtualKey(virtual_key, shift, control);
  QWidget* target = QApplication::focusWidget();
  if (mapped.key == 0 || !target) return;
  Qt::KeyboardModifiers held;
  if (shift) held |= Qt::ShiftModifier;
  if (control) held |= Qt::ControlModifier;
  if (mapped.keypad) held |= Qt::KeypadModifier;
  // Posted like keys typed: they reach the control once events run, after
  // whatever is already queued.
  QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, mapped.key, held, mapped.text));
  QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, mapped.key, held, mapped.text));
}

void QtToolkit::SetKeyPressHook(WindowHandle control, KeyPressHook hook) {
  QWidget* widget = RequireWidget(control);
  if (QObject* old = widget->findChild<QObject*>(QLatin1String(kHookName), Qt::FindDirectChildrenOnly)) {
    widget->removeEventFilter(old);
    delete old;
  }
  if (!hook) return;
  auto* filter = new KeyPressFilter(widget, std::move(hook));
  filter->setObjectName(QLatin1String(kHookName));
  widget->installEventFilter(filter);
}

}  // namespace platform
