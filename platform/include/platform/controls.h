// The window toolkit as the Qt-free library code sees it: windows and their
// controls reached by window handle and by member name (the late-bound members
// Name, Tag, Enabled, Container, TabIndex, Index, hWnd, Text and the rest), the
// screen's size and resolution in twips, the clipboard and the per-user settings
// store. The GUI installs the Qt implementation (platform/qt_ui.h); until then
// every call fails with kErrObjectRequired, as a call on a missing window would.
#pragma once

#include <cstdint>
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
};

// The toolkit in use.
ControlToolkit& Toolkit();
// Installs `toolkit`; nullptr restores the one without windows.
void SetToolkit(std::shared_ptr<ControlToolkit> toolkit);

}  // namespace platform
