// Controls reached by handle and member name, the screen, the clipboard and the
// settings store over Qt.
#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeView>
#include <cmath>

#include "platform/qt_ui.h"
#include "qt_members.h"

namespace platform {

QWidget* RequireWidget(WindowHandle handle) {
  QWidget* widget = WidgetOf(handle);
  if (!widget) RaiseError(kErrObjectRequired);
  return widget;
}

void ThrowNotSupported() {
  throw Error(kErrMemberNotSupported, "Object doesn't support this property or method");
}

namespace {

QWidget* Require(WindowHandle handle) {
  return RequireWidget(handle);
}

[[noreturn]] void NotSupported() {
  ThrowNotSupported();
}

bool Is(const std::string& member, const char* name) {
  return QString::fromStdString(member).compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

std::string Utf8(const QString& text) {
  return text.toStdString();
}
QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

Variant FromQVariant(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
      return Variant(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
      return Variant(static_cast<std::int32_t>(value.toInt()));
    case QMetaType::Float:
    case QMetaType::Double:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
      return Variant(value.toDouble());
    default:
      if (value.canConvert<QString>()) return Variant(Utf8(value.toString()));
      RaiseError(kErrTypeMismatch);
  }
}

// Converts `value` to the kind the property holds now, with the classic rules.
QVariant ToQVariant(const Variant& value, const QVariant& current) {
  switch (current.typeId()) {
    case QMetaType::Bool:
      return QVariant(value.ToBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
      return QVariant(static_cast<int>(value.ToLong()));
    case QMetaType::Float:
    case QMetaType::Double:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
      return QVariant(value.ToDouble());
    default:
      return QVariant(ToQString(value.ToString()));
  }
}

// The Text member: the content of the controls that hold typed text.
std::optional<QString> TextOf(QWidget* widget) {
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) return CrLfText(box->document());
  if (auto* box = qobject_cast<QTextEdit*>(widget)) return CrLfText(box->document());
  if (auto* box = qobject_cast<QComboBox*>(widget)) return box->currentText();
  return std::nullopt;
}

bool SetTextOf(QWidget* widget, const QString& text) {
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->setText(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
    plain->setPlainText(FromCrLf(text));
  } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
    rich->setPlainText(FromCrLf(text));
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    combo->setCurrentText(text);
  } else {
    return false;
  }
  return true;
}

// The Caption member: the fixed text of labels, buttons, frames and windows.
std::optional<QString> CaptionOf(QWidget* widget) {
  if (widget->isWindow()) return widget->windowTitle();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
  return std::nullopt;
}

bool SetCaptionOf(QWidget* widget, const QString& caption) {
  if (widget->isWindow()) {
    widget->setWindowTitle(caption);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(caption);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(caption);
  } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
    frame->setTitle(caption);
  } else {
    return false;
  }
  return true;
}

// The selection of a text box as start, length and text.
struct Selection {
  int start;
  int length;
  QString text;
};

std::optional<Selection> SelectionOf(QWidget* widget) {
  if (auto* box = qobject_cast<QLineEdit*>(widget)) {
    if (!box->hasSelectedText()) return Selection{box->cursorPosition(), 0, {}};
    return Selection{box->selectionStart(), box->selectionLength(), box->selectedText()};
  }
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
    const QTextCursor cursor = box->textCursor();
    QString text = cursor.selectedText();
    // The document separates paragraphs with U+2029; a text box's text uses
    // CR LF, and so do its positions.
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    const int start = ToCrLfPosition(box->document(), cursor.selectionStart());
    return Selection{start, ToCrLfPosition(box->document(), cursor.selectionEnd()) - start, text};
  }
  return std::nullopt;
}

// Selects from `start` for `length` characters, both clamped to the text.
bool Select(QWidget* widget, int start, int length) {
  const std::optional<QString> text = TextOf(widget);
  if (!text || qobject_cast<QComboBox*>(widget) || qobject_cast<QTextEdit*>(widget)) return false;
  const int size = static_cast<int>(text->size());
  const int from = std::clamp(start, 0, size);
  // In 64 bits: a length up to the largest 32-bit number must not overflow.
  const int to = static_cast<int>(std::clamp<long long>(static_cast<long long>(from) + length, 0, size));
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->setSelection(from, to - from);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
    QTextCursor cursor = plain->textCursor();
    cursor.setPosition(FromCrLfPosition(plain->document(), from));
    cursor.setPosition(FromCrLfPosition(plain->document(), to), QTextCursor::KeepAnchor);
    plain->setTextCursor(cursor);
  }
  return true;
}

bool ReplaceSelection(QWidget* widget, const QString& text) {
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->insert(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
    plain->insertPlainText(FromCrLf(text));
  } else {
    return false;
  }
  return true;
}

// A window's Left, Top, Width and Height take in its frame, a control's its own
// rectangle.
QRect OuterRect(QWidget* widget) {
  return widget->isWindow() ? widget->frameGeometry() : widget->geometry();
}

int ToTwips(int pixels, double twips_per_pixel) {
  return static_cast<int>(std::lround(pixels * twips_per_pixel));
}

void SetOuterRect(QWidget* widget, const QRect& rect) {
  if (!widget->isWindow()) {
    widget->setGeometry(rect);
    return;
  }
  const QRect frame = widget->frameGeometry();
  const QRect client = widget->geometry();
  widget->move(rect.topLeft());
  widget->resize(rect.width() - (frame.width() - client.width()),
                 rect.height() - (frame.height() - client.height()));
}

// The nearest named control or window around `widget`: Qt puts the controls of
// a tab control on unnamed page widgets of its own, which are no container a
// form's code knows.
QWidget* ContainerOf(QWidget* widget) {
  QWidget* parent = widget->parentWidget();
  while (!parent->isWindow() && parent->parentWidget()) {
    const QString name = parent->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) break;
    parent = parent->parentWidget();
  }
  return parent;
}

// The Value of a check box (0 unchecked, 1 checked, 2 grey) or an option button
// (true when chosen).
std::optional<Variant> ValueOf(QWidget* widget) {
  if (auto* box = qobject_cast<QCheckBox*>(widget)) {
    // Qt numbers the grey state 1 and the checked one 2.
    const Qt::CheckState state = box->checkState();
    const int value = state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0;
    return Variant(static_cast<std::int16_t>(value));
  }
  if (auto* option = qobject_cast<QRadioButton*>(widget)) return Variant(option->isChecked());
  return std::nullopt;
}

bool SetValueOf(QWidget* widget, const Variant& value) {
  if (auto* box = qobject_cast<QCheckBox*>(widget)) {
    const std::int16_t state = value.ToInteger();
    if (state < 0 || state > 2) throw Error(kErrInvalidProcedureCall, "Invalid property value");
    if (state == 2) box->setTristate(true);
    box->setCheckState(state == 1 ? Qt::Checked : state == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
    return true;
  }
  if (auto* option = qobject_cast<QRadioButton*>(widget)) {
    option->setChecked(value.ToBool());
    return true;
  }
  return false;
}

bool IsVisibleMember(QWidget* widget) {
  if (widget->isWindow()) return widget->isVisible();
  // A control is visible unless it was hidden itself; a window not yet shown
  // does not make its controls invisible.
  return !(widget->testAttribute(Qt::WA_WState_ExplicitShowHide) &&
           widget->testAttribute(Qt::WA_WState_Hidden));
}

// The name under which `widget` holds the property `member`, letter case
// ignored as for the toolkit's own members; empty when it has none.
QByteArray PropertyName(const QWidget* widget, const std::string& member) {
  const QString wanted = ToQString(member);
  const QMetaObject* meta = widget->metaObject();
  for (int i = 0; i < meta->propertyCount(); ++i) {
    if (wanted.compare(QLatin1String(meta->property(i).name()), Qt::CaseInsensitive) == 0) {
      return meta->property(i).name();
    }
  }
  for (const QByteArray& name : widget->dynamicPropertyNames()) {
    if (wanted.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return name;
  }
  return {};
}

QScreen* PrimaryScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) RaiseError(kErrObjectRequired);
  return screen;
}

}  // namespace

std::vector<WindowHandle> QtToolkit::ControlsOf(WindowHandle form) {
  std::vector<WindowHandle> handles;
  for (QWidget* control : ControlWidgets(Require(form))) handles.push_back(HandleOf(control));
  return handles;
}

WindowHandle QtToolkit::FindControl(WindowHandle form, const std::string& name, std::optional<int> index) {
  bool named = false;
  for (QWidget* control : ControlWidgets(Require(form))) {
    if (control->objectName().compare(ToQString(name), Qt::CaseInsensitive) != 0) continue;
    named = true;
    const QVariant element = control->property(kIndexProperty);
    if (!index || (element.isValid() && element.toInt() == *index)) return HandleOf(control);
  }
  if (!named) throw Error(kErrControlNotFound, "Control '" + name + "' not found");
  throw Error(kErrNoSuchArrayElement, "Control array element '" + std::to_string(*index) + "' doesn't exist");
}

std::string QtToolkit::TypeName(WindowHandle control) {
  QWidget* widget = Require(control);
  const QVariant declared = widget->property(kTypeNameProperty);
  if (declared.isValid()) return Utf8(declared.toString());
  if (widget->isWindow()) return Utf8(widget->objectName());
  if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget) ||
      qobject_cast<QTextEdit*>(widget)) {
    return "TextBox";
  }
  if (qobject_cast<QLabel*>(widget)) return "Label";
  if (qobject_cast<QPushButton*>(widget)) return "CommandButton";
  if (qobject_cast<QCheckBox*>(widget)) return "CheckBox";
  if (qobject_cast<QRadioButton*>(widget)) return "OptionButton";
  if (qobject_cast<QGroupBox*>(widget)) return "Frame";
  if (qobject_cast<QComboBox*>(widget)) return "ComboBox";
  if (qobject_cast<QListWidget*>(widget)) return "ListBox";
  if (qobject_cast<QTreeView*>(widget)) return "ListView";
  if (qobject_cast<QTabWidget*>(widget)) return "SSTab";
  return widget->metaObject()->className();
}

Variant QtToolkit::GetMember(WindowHandle control, const std::string& member) {
  QWidget* widget = Require(control);
  if (Is(member, "Name")) return Variant(Utf8(widget->objectName()));
  if (Is(member, "hWnd")) return Variant(HandleOf(widget));
  if (Is(member, "Tag")) return Variant(Utf8(widget->property(kTagProperty).toString()));
  if (Is(member, "Enabled")) return Variant(!widget->testAttribute(Qt::WA_ForceDisabled));
  if (Is(member, "Visible")) return Variant(IsVisibleMember(widget));
  if (Is(member, "Container")) {
    if (widget->isWindow() || !widget->parentWidget()) NotSupported();
    return Variant(HandleOf(ContainerOf(widget)));
  }
  if (Is(member, "TabIndex")) {
    const QVariant tab_index = widget->property(kTabIndexProperty);
    if (!tab_index.isValid()) NotSupported();
    return Variant(static_cast<std::int16_t>(tab_index.toInt()));
  }
  if (Is(member, "Index")) {
    const QVariant index = widget->property(kIndexProperty);
    if (!index.isValid()) throw Error(kErrNotAnArray, "Object not an array");
    return Variant(static_cast<std::int16_t>(index.toInt()));
  }
  if (Is(member, "Text")) {
    if (auto text = TextOf(widget)) return Variant(Utf8(*text));
    NotSupported();
  }
  if (Is(member, "Caption")) {
    if (auto caption = CaptionOf(widget)) return Variant(Utf8(*caption));
    NotSupported();
  }
  if (Is(member, "Left")) return Variant(ToTwips(OuterRect(widget).x(), TwipsPerPixelX()));
  if (Is(member, "Top")) return Variant(ToTwips(OuterRect(widget).y(), TwipsPerPixelY()));
  if (Is(member, "Width")) return Variant(ToTwips(OuterRect(widget).width(), TwipsPerPixelX()));
  if (Is(member, "Height")) return Variant(ToTwips(OuterRect(widget).height(), TwipsPerPixelY()));
  if (Is(member, "SelStart") || Is(member, "SelLength") || Is(member, "SelText")) {
    const std::optional<Selection> selection = SelectionOf(widget);
    if (!selection) NotSupported();
    if (Is(member, "SelStart")) return Variant(static_cast<std::int32_t>(selection->start));
    if (Is(member, "SelLength")) return Variant(static_cast<std::int32_t>(selection->length));
    return Variant(Utf8(selection->text));
  }
  if (Is(member, "PasswordChar")) {
    if (!qobject_cast<QLineEdit*>(widget)) NotSupported();
    return Variant(Utf8(widget->property(kPasswordCharProperty).toString()));
  }
  if (Is(member, "Value")) {
    if (auto value = ValueOf(widget)) return *value;
  }
  if (Is(member, "Picture")) {
    // A picture's handle: a number that names the picture shown, 0 for none.
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      const QPixmap picture = label->pixmap();
      return Variant(std::to_string(picture.isNull() ? 0 : picture.cacheKey()));
    }
  }
  if (auto value = ListViewMember(widget, member)) return *value;
  const QByteArray name = PropertyName(widget, member);
  if (name.isEmpty()) NotSupported();
  return FromQVariant(widget->property(name.constData()));
}

void QtToolkit::SetMember(WindowHandle control, const std::string& member, const Variant& value) {
  QWidget* widget = Require(control);
  if (Is(member, "hWnd") || Is(member, "Container") || Is(member, "Index")) NotSupported();
  if (Is(member, "Name")) {
    widget->setObjectName(ToQString(value.ToString()));
  } else if (Is(member, "Tag")) {
    widget->setProperty(kTagProperty, ToQString(value.ToString()));
  } else if (Is(member, "Enabled")) {
    widget->setEnabled(value.ToBool());
  } else if (Is(member, "Visible")) {
    widget->setVisible(value.ToBool());
  } else if (Is(member, "TabIndex")) {
    widget->setProperty(kTabIndexProperty, static_cast<int>(value.ToInteger()));
    ApplyTabOrder(widget->window());
  } else if (Is(member, "Text")) {
    if (!SetTextOf(widget, ToQString(value.ToString()))) NotSupported();
  } else if (Is(member, "Caption")) {
    if (!SetCaptionOf(widget, ToQString(value.ToString()))) NotSupported();
  } else if (Is(member, "Left") || Is(member, "Top") || Is(member, "Width") || Is(member, "Height")) {
    QRect rect = OuterRect(widget);
    const bool across = Is(member, "Left") || Is(member, "Width");
    const int pixels =
        static_cast<int>(std::lround(value.ToDouble() / (across ? TwipsPerPixelX() : TwipsPerPixelY())));
    if (Is(member, "Left")) rect.moveLeft(pixels);
    if (Is(member, "Top")) rect.moveTop(pixels);
    if (Is(member, "Width")) rect.setWidth(pixels);
    if (Is(member, "Height")) rect.setHeight(pixels);
    SetOuterRect(widget, rect);
  } else if (Is(member, "SelStart")) {
    if (!Select(widget, value.ToLong(), 0)) NotSupported();
  } else if (Is(member, "SelLength")) {
    const std::optional<Selection> selection = SelectionOf(widget);
    if (!selection || !Select(widget, selection->start, value.ToLong())) NotSupported();
  } else if (Is(member, "SelText")) {
    if (!ReplaceSelection(widget, ToQString(value.ToString()))) NotSupported();
  } else if (Is(member, "PasswordChar")) {
    auto* box = qobject_cast<QLineEdit*>(widget);
    if (!box) NotSupported();
    const std::string mask = value.ToString();
    SetPasswordChar(box, mask.empty() ? '\0' : mask.front());
  } else if (Is(member, "Value") && SetValueOf(widget, value)) {
  } else if (SetListViewMember(widget, member, value)) {
  } else {
    // Other members are the widget's own properties; one it does not have
    // cannot be created by writing to it. Writing a dynamic property answers
    // false even when it succeeds: only a declared one can refuse a value.
    const QByteArray name = PropertyName(widget, member);
    if (name.isEmpty()) NotSupported();
    const bool declared = widget->metaObject()->indexOfProperty(name.constData()) >= 0;
    if (!widget->setProperty(name.constData(), ToQVariant(value, widget->property(name.constData()))) &&
        declared) {
      NotSupported();
    }
  }
}

void QtToolkit::SetFocus(WindowHandle control) {
  QWidget* widget = Require(control);
  if (!widget->isEnabled() || !widget->isVisible()) {
    RaiseError(kErrInvalidProcedureCall);
  }
  if (!widget->isActiveWindow()) widget->activateWindow();
  widget->setFocus(Qt::OtherFocusReason);
}

void QtToolkit::SetSelection(WindowHandle control, int start, int end) {
  QWidget* widget = Require(control);
  if (start < 0) {
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
      box->deselect();
      return;
    }
    if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
      QTextCursor cursor = box->textCursor();
      cursor.clearSelection();
      box->setTextCursor(cursor);
      return;
    }
    NotSupported();
  }
  const std::optional<QString> text = TextOf(widget);
  const int last = end < 0 && text ? static_cast<int>(text->size()) : end;
  if (!Select(widget, start, last - start)) NotSupported();
}

void QtToolkit::Refresh(WindowHandle window) {
  Require(window)->repaint();
}

// Counted in the screen's own pixels: its size in device-independent pixels is
// rounded down when the device pixel ratio is not whole.
int QtToolkit::ScreenWidthTwips() {
  const QScreen* screen = PrimaryScreen();
  const double ratio = screen->devicePixelRatio();
  return ToTwips(static_cast<int>(std::lround(screen->geometry().width() * ratio)), TwipsPerPixelX() / ratio);
}

int QtToolkit::ScreenHeightTwips() {
  const QScreen* screen = PrimaryScreen();
  const double ratio = screen->devicePixelRatio();
  return ToTwips(static_cast<int>(std::lround(screen->geometry().height() * ratio)),
                 TwipsPerPixelY() / ratio);
}

double QtToolkit::TwipsPerPixelX() {
  PrimaryScreen();
  return platform::TwipsPerPixelX(nullptr);
}

double QtToolkit::TwipsPerPixelY() {
  PrimaryScreen();
  return platform::TwipsPerPixelY(nullptr);
}

void QtToolkit::SetClipboardText(const std::string& text) {
  QGuiApplication::clipboard()->setText(ToQString(text));
}

std::string QtToolkit::ClipboardText() {
  return Utf8(QGuiApplication::clipboard()->text());
}

std::string QtToolkit::GetSetting(const std::string& application, const std::string& section,
                                  const std::string& key, const std::string& default_value) {
  QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tavinor"),
                  ToQString(application));
  store.beginGroup(ToQString(section));
  return Utf8(store.value(ToQString(key), ToQString(default_value)).toString());
}

void QtToolkit::SaveSetting(const std::string& application, const std::string& section,
                            const std::string& key, const std::string& value) {
  QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tavinor"),
                  ToQString(application));
  store.beginGroup(ToQString(section));
  store.setValue(ToQString(key), ToQString(value));
}

}  // namespace platform
