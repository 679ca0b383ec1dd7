// The window toolkit over Qt Widgets: message boxes, the program-wide pointer and
// the event pump (UiServices), and windows, controls, screen, clipboard and the
// settings store (ControlToolkit). The windows of the program are built with the
// helpers below, which give Qt widgets the toolkit's members: a control's Name is
// its object name; Tag, TabIndex and Index are properties of those names; its
// window handle is a number handed out on first use; geometry is set in twips.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/controls.h"
#include "platform/printers.h"
#include "platform/ui_services.h"

class QIcon;
class QLineEdit;
class QTreeWidget;
class QWidget;
template <typename T>
class QList;

namespace platform {

class QtUi final : public UiServices {
 public:
  // A modal QMessageBox with the style's icon (16 error, 32 question, 48 warning,
  // 64 information, otherwise none), an OK button only and `title` ("Tavinor"
  // when empty); carriage returns break lines and the text is shown as plain
  // text, never as markup.
  void MsgBox(const std::string& text, int style, const std::string& title) override;
  // Sets the pointer of every window of the program: 0 gives the windows their
  // own pointers back, 11 is the hourglass; the other classic pointer numbers
  // map onto the nearest Qt cursor.
  void SetMousePointer(int pointer) override;
  [[nodiscard]] int MousePointer() const override { return pointer_; }
  // Runs the window events pending now, then returns.
  void DoEvents() override;

  // ---- Desktop services (qt_desktop.cpp) ----
  // A modal QFileDialog for folders only, child of `owner` (the active window
  // for kNoWindow or a handle that names no window), titled `prompt`; the
  // desktop's own folder dialog where the platform offers one. The chosen
  // folder's path, "" when cancelled.
  std::string BrowseForFolder(WindowHandle owner, const std::string& prompt) override;
  // QApplication::beep(): the desktop's bell, at its own pitch and length.
  void Beep() override;

 private:
  int pointer_ = kPointerDefault;
  bool overriding_ = false;
};

class QtToolkit final : public ControlToolkit {
 public:
  std::vector<WindowHandle> ControlsOf(WindowHandle form) override;
  WindowHandle FindControl(WindowHandle form, const std::string& name, std::optional<int> index) override;
  std::string TypeName(WindowHandle control) override;
  Variant GetMember(WindowHandle control, const std::string& member) override;
  void SetMember(WindowHandle control, const std::string& member, const Variant& value) override;
  void SetFocus(WindowHandle control) override;
  void SetSelection(WindowHandle control, int start, int end) override;
  void Refresh(WindowHandle window) override;
  int ScreenWidthTwips() override;
  int ScreenHeightTwips() override;
  double TwipsPerPixelX() override;
  double TwipsPerPixelY() override;
  void SetClipboardText(const std::string& text) override;
  std::string ClipboardText() override;
  // Values live in the user's configuration folder, one file per application
  // ("Tavinor/<application>.ini"), one group per section.
  std::string GetSetting(const std::string& application, const std::string& section, const std::string& key,
                         const std::string& default_value) override;
  void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                   const std::string& value) override;

  // Windows by name (RegisterForm); a QDialog shows modally with exec(),
  // another window in a local event loop. Unload deletes the window at once:
  // it is not for a window's own handlers.
  WindowHandle LoadForm(const std::string& name) override;
  void ShowModal(WindowHandle form) override;
  void Hide(WindowHandle form) override;
  void Unload(WindowHandle form) override;
  // Sets Qt::WindowStaysOnTopHint: honoured under X11 by a window manager that
  // keeps such windows above, not under Wayland, where a program can neither
  // stay above others nor place its own top-level windows.
  void PlaceOnTop(WindowHandle form, int x, int y) override;
  std::string ExeName() override;

  // List views are QTreeWidgets prepared with PrepareListView; sub-items are
  // the further columns.
  void ClearColumns(WindowHandle list_view) override;
  void AddColumn(WindowHandle list_view, const std::string& text, double width, int alignment) override;
  void ClearItems(WindowHandle list_view) override;
  int AddItem(WindowHandle list_view, const std::string& text) override;
  int ItemCount(WindowHandle list_view) override;
  Variant GetItem(WindowHandle list_view, int index, const std::string& member) override;
  void SetItem(WindowHandle list_view, int index, const std::string& member, const Variant& value) override;
  int SubItemCount(WindowHandle list_view, int index) override;
  std::string SubItemText(WindowHandle list_view, int index, int sub_index) override;
  void SetSubItemText(WindowHandle list_view, int index, int sub_index, const std::string& text) override;
  int SelectedItem(WindowHandle list_view) override;
  void SetSelectedItem(WindowHandle list_view, int index) override;
  std::uint32_t ListViewExtendedStyle(WindowHandle list_view) override;
  void SetListViewExtendedStyle(WindowHandle list_view, std::uint32_t style) override;

  // Lines of QLineEdit (one) and QPlainTextEdit boxes.
  int LineCount(WindowHandle box) override;
  int LineFromChar(WindowHandle box, int char_index) override;
  int LineIndex(WindowHandle box, int line) override;
  int LineLength(WindowHandle box, int char_index) override;

  // Keys are posted as Qt key events to QApplication::focusWidget(). Mapped
  // virtual keys: 8 Backspace, 9 Tab (with Shift, Backtab), 13 Enter, 16 Shift,
  // 17 Control, 18 Alt, 19 Pause, 20 Caps Lock, 27 Escape, 32 space, 33 to 40
  // Page Up, Page Down, End, Home and the arrows, 45 Insert, 46 Delete, 48 to
  // 57 the digits, 65 to 90 the letters (lower case unless Shift is held), 96
  // to 111 the numeric keypad, 112 to 135 F1 to F24, 144 Num Lock, 145 Scroll
  // Lock, and the punctuation keys 186 to 192 and 219 to 222 of a US layout.
  void SendKey(int virtual_key, int modifiers) override;
  // An event filter on `control` that sees its key presses and the text an
  // input method commits (dead keys, compose).
  void SetKeyPressHook(WindowHandle control, KeyPressHook hook) override;

  // Pictures are QLabel pixmaps, loaded by QImageReader (its plug-ins give the
  // formats) and scaled to nothing: the label shows the picture's own size.
  void LoadPicture(WindowHandle control, const std::string& path) override;
  void ClearPicture(WindowHandle control) override;
};

// ---- Printers (qt_printers.cpp) ----

// The printers Qt Print Support knows (on Linux, the CUPS destinations). The
// paper is the printer's default page size as its classic paper number
// (QPageSize::windowsId); a valid size without one gives kPaperUserDefined, no
// valid size 0. Qt does not tell a printer's default orientation, so it comes
// from the CUPS destination's "orientation-requested" option (4 and 5 are
// landscape); a destination without that option is portrait.
class QtPrinters final : public PrinterServices {
 public:
  std::optional<PrinterSettings> Settings(const std::string& name) override;
};

// Installs QtUi, QtToolkit and QtPrinters for the whole program; a QApplication
// must exist.
void InstallQtUi();

// Makes `factory` the maker of the window LoadForm loads as `name` (letter case
// ignored). The window it returns has no parent and is not shown.
void RegisterForm(const std::string& name, std::function<QWidget*()> factory);

// ---- Handles ----

// The window handle of `widget`, handed out on first use; kNoWindow for nullptr.
WindowHandle HandleOf(QWidget* widget);
// The widget of `handle`, or nullptr when it names no window (any more).
QWidget* WidgetOf(WindowHandle handle);

// ---- Building windows ----

// Names a control; with `index`, makes it element `index` of the control array
// `name` (several controls then share the name).
void NameControl(QWidget* control, const std::string& name, std::optional<int> index = std::nullopt);
// Gives a control its place in the tab order; ApplyTabOrder then chains the
// focus through the window's controls by that number. Qt keeps the controls
// of a frame together in the chain, so a frame's controls are best numbered
// one after another.
void SetTabIndex(QWidget* control, int tab_index);
void ApplyTabOrder(QWidget* window);
// Shows every character of `box` as `mask`; a null character shows the text.
void SetPasswordChar(QLineEdit* box, char mask);

// Gives a list view the classic defaults: icon view (no headers), one
// selected item at most, no full-row selection, no check boxes.
void PrepareListView(QTreeWidget* list);
// The list view's small-icon image list; items name its icons from 1.
void SetSmallIcons(QTreeWidget* list, const QList<QIcon>& icons);

// Twips per pixel of the screen that shows `widget` (or the primary screen), at
// kTwipsPerInch over the screen's logical dots per inch.
double TwipsPerPixelX(const QWidget* widget);
double TwipsPerPixelY(const QWidget* widget);
// `twips` in whole pixels at `twips_per_pixel`, rounded to the nearest.
int TwipsToPixels(int twips, double twips_per_pixel);
// Places a control in its window; all four values in twips.
void SetTwipsGeometry(QWidget* control, int left, int top, int width, int height);
// Gives a window a fixed client area of `width` x `height` twips.
void SetClientSizeTwips(QWidget* window, int width, int height);

}  // namespace platform
