// The window toolkit as the Qt-free library code sees it: windows and their
// controls reached by window handle and by member name (the late-bound members
// Name, Tag, Enabled, Container, TabIndex, Index, hWnd, Text and the rest), the
// screen's size and resolution in twips, the clipboard and the per-user settings
// store. The GUI installs the Qt implementation (platform/qt_ui.h); until then
// every call fails with kErrObjectRequired, as a call on a missing window would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/variant.h"

namespace platform {

// A window's handle: a form or one of its controls. 0 names no window.
using WindowHandle = std::int32_t;
inline constexpr WindowHandle kNoWindow = 0;

// Twips per inch: window geometry is given in twips, converted to pixels at the
// screen's logical resolution.
inline constexpr int kTwipsPerInch = 1440;

// Modifier keys held while SendKey presses a key.
inline constexpr int kKeyShift = 1;
inline constexpr int kKeyControl = 2;

// The extended styles of a list view that have an effect here (the others are
// kept as set): full-row selection and check boxes.
inline constexpr std::uint32_t kListViewFullRowSelect = 0x20;
inline constexpr std::uint32_t kListViewCheckBoxes = 0x4;

// Called with the character code of a typed character (its Unicode code point:
// the Western European characters keep their classic codes, 39 apostrophe, 180
// acute accent); returns the code to deliver instead, 0 to swallow it.
// Characters past 0x7FFF pass without a call.
using KeyPressHook = std::function<int(int key_ascii)>;

class ControlToolkit {
 public:
  virtual ~ControlToolkit() = default;

  // ---- Windows and controls ----

  // The controls of the form `form`, in the form's collection order (the order
  // they were created), those inside frames included. Throws kErrObjectRequired
  // when `form` names no window.
  virtual std::vector<WindowHandle> ControlsOf(WindowHandle form) = 0;
  // The control of `form` named `name` (letter case ignored); with `index`, the
  // element of that control array. Throws kErrControlNotFound or
  // kErrNoSuchArrayElement.
  virtual WindowHandle FindControl(WindowHandle form, const std::string& name,
                                   std::optional<int> index = std::nullopt) = 0;
  // The toolkit's type name: "TextBox", "Label", "CommandButton", "Frame",
  // "CheckBox", "OptionButton", "ComboBox", "ListBox", "ListView", "SSTab",
  // "PictureBox"; for a form, its own name ("frmConvert").
  virtual std::string TypeName(WindowHandle control) = 0;

  // Reads a member by name (letter case ignored for the toolkit's own members):
  //   Name      text, the control's name
  //   Tag       text, empty unless set
  //   Enabled   boolean, the control's own setting (a disabled frame does not
  //             change its children's setting)
  //   Visible   boolean, the control's own setting
  //   Container handle of the window or frame that holds the control
  //   TabIndex  16-bit integer
  //   Index     16-bit integer, the position in the control array
  //   hWnd      the window handle
  //   Text      text of a text box or combo box
  //   Caption   text of a label, button, frame or form
  //   Left, Top, Width, Height   geometry in twips (a form's outer frame)
  //   SelStart, SelLength, SelText   the selection of a text box
  //   PasswordChar   "*" (or another character) when a text box masks its text
  //   Value     16-bit 0, 1 or 2 (grey) for a check box, boolean for an
  //             option button
  //   Picture   the handle number of a picture control's picture, 0 for none
  // Any other name reads the control's property of that name. Throws
  // kErrMemberNotSupported when the control has no such member, kErrNotAnArray
  // for Index of a control outside an array, kErrObjectRequired when `control`
  // names no window.
  virtual Variant GetMember(WindowHandle control, const std::string& member) = 0;
  // Writes a member by name, as GetMember reads it (hWnd, Container and Index
  // are read-only and throw kErrMemberNotSupported). Values convert with the
  // classic rules and throw kErrTypeMismatch when they do not.
  virtual void SetMember(WindowHandle control, const std::string& member, const Variant& value) = 0;

  // Gives `control` the focus, activating its window.
  virtual void SetFocus(WindowHandle control) = 0;
  // Selects the characters from `start` to `end` (0-based, `end` excluded) of a
  // text box, as the edit-control selection message does: `end` -1 runs to the
  // end of the text, `start` -1 removes the selection. Throws
  // kErrMemberNotSupported when `control` is not a text box.
  virtual void SetSelection(WindowHandle control, int start, int end) = 0;
  // Repaints the window or control now, without waiting for the event loop.
  virtual void Refresh(WindowHandle window) = 0;

  // ---- Screen ----

  // The screen's size in twips.
  virtual int ScreenWidthTwips() = 0;
  virtual int ScreenHeightTwips() = 0;
  // Twips per pixel at the screen's logical resolution (15 at 96 dots per inch).
  virtual double TwipsPerPixelX() = 0;
  virtual double TwipsPerPixelY() = 0;

  // ---- Clipboard ----

  // Replaces the clipboard's content with `text`.
  virtual void SetClipboardText(const std::string& text) = 0;
  // The clipboard's text, empty when it holds none.
  virtual std::string ClipboardText() = 0;

  // ---- Per-user settings store ----

  // The value stored for `application`, `section` and `key`, or
  // `default_value` when there is none.
  virtual std::string GetSetting(const std::string& application, const std::string& section,
                                 const std::string& key, const std::string& default_value) = 0;
  // Stores a value, for the applications that keep settings.
  virtual void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                           const std::string& value) = 0;

  // The services below have a default that fails with kErrObjectRequired, as a
  // toolkit without windows does; the Qt toolkit and the test fakes give them.

  // ---- Windows by name, modal show ----

  // A new, hidden instance of the window the program registered as `name`.
  // Throws kErrControlNotFound when no window has that name.
  virtual WindowHandle LoadForm(const std::string& name);
  // Shows `form` modally; returns once it is hidden or unloaded.
  virtual void ShowModal(WindowHandle form);
  virtual void Hide(WindowHandle form);
  // Destroys `form` with its controls; their handles then name no window.
  virtual void Unload(WindowHandle form);
  // Keeps `form` above the windows of other programs and moves its top left
  // corner to the screen pixel (x, y); its size stays.
  virtual void PlaceOnTop(WindowHandle form, int x, int y);
  // The program's executable name, without folder or extension.
  virtual std::string ExeName();

  // ---- List views ----
  //
  // The list view's own members are read and written with GetMember and
  // SetMember: "Sorted", "View" (3 report), "LabelEdit" (0 automatic,
  // 1 manual), "FullRowSelect", "Checkboxes" and "SmallIcons" (the number of
  // images in the small-icon list, 0 when it has none). Items are counted from
  // 1; a missing item or sub-item throws kErrIndexOutOfBounds.

  virtual void ClearColumns(WindowHandle list_view);
  // Adds a column header; `width` in twips, `alignment` 0 left, 1 right,
  // 2 centre.
  virtual void AddColumn(WindowHandle list_view, const std::string& text, double width, int alignment);
  virtual void ClearItems(WindowHandle list_view);
  // Adds an item at the end; returns its index.
  virtual int AddItem(WindowHandle list_view, const std::string& text);
  virtual int ItemCount(WindowHandle list_view);
  // An item's members: "Index", "Text", "Key", "Tag", "SmallIcon" (1-based
  // image number, 0 none), "Checked", "Selected".
  virtual Variant GetItem(WindowHandle list_view, int index, const std::string& member);
  virtual void SetItem(WindowHandle list_view, int index, const std::string& member, const Variant& value);
  virtual int SubItemCount(WindowHandle list_view, int index);
  // Sub-items are counted from 1; setting one past the last adds it.
  virtual std::string SubItemText(WindowHandle list_view, int index, int sub_index);
  virtual void SetSubItemText(WindowHandle list_view, int index, int sub_index, const std::string& text);
  // The selected item's index; throws kErrObjectNotSet when none is selected.
  virtual int SelectedItem(WindowHandle list_view);
  virtual void SetSelectedItem(WindowHandle list_view, int index);
  // The extended style bits (kListViewFullRowSelect, kListViewCheckBoxes, ...).
  virtual std::uint32_t ListViewExtendedStyle(WindowHandle list_view);
  virtual void SetListViewExtendedStyle(WindowHandle list_view, std::uint32_t style);

  // ---- Lines of text boxes ----
  //
  // Character indexes are 0-based and count a line break of a multi-line box
  // as two characters, CR LF, as its Text, SelStart and SelLength do. Lines are
  // the lines shown: a line that wraps makes several, the first ones without a
  // line break. A single-line box has one line. -1 as an argument names the
  // caret's line.

  virtual int LineCount(WindowHandle box);
  // The line that holds `char_index` (-1: the line where the selection starts).
  virtual int LineFromChar(WindowHandle box, int char_index);
  // The index of the first character of `line`; -1 when there is no such line.
  virtual int LineIndex(WindowHandle box, int line);
  // The length of the line that holds `char_index`, without its line break; -1
  // with a selection gives the characters left unselected on the lines it
  // touches.
  virtual int LineLength(WindowHandle box, int char_index);

  // ---- Keys ----

  // Presses and releases the virtual key `virtual_key` (0 to 255) in this
  // program's focused control, with the kKeyShift and kKeyControl modifiers
  // held. The key goes to no other program. A code that maps to no key, or no
  // focused control, sends nothing.
  virtual void SendKey(int virtual_key, int modifiers);
  // Routes the typed characters of `control` through `hook` (typed keys and
  // text that an input method composes alike); an empty hook removes it.
  virtual void SetKeyPressHook(WindowHandle control, KeyPressHook hook);

  // ---- Pictures ----
  //
  // A picture control is an image or picture box (a QLabel under Qt); its
  // "Picture" member names the picture it shows, 0 for none.

  // Shows the picture stored in the file `path` in `control`, read by the
  // toolkit's own loader and formats (BMP, JPEG, PNG, GIF and the others it
  // knows). Throws kErrFileNotFound when the file cannot be opened and
  // kErrInvalidPicture when it holds no picture the loader reads; the control
  // then keeps what it showed.
  virtual void LoadPicture(WindowHandle control, const std::string& path);
  // Leaves `control` without a picture.
  virtual void ClearPicture(WindowHandle control);
};

// The toolkit in use.
ControlToolkit& Toolkit();
// Installs `toolkit`; nullptr restores the one without windows.
void SetToolkit(std::shared_ptr<ControlToolkit> toolkit);

}  // namespace platform
