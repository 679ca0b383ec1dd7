#include "platform/controls.h"

namespace platform {
namespace {

[[noreturn]] void NoWindow() {
  throw Error(kErrObjectRequired, "Object required");
}

// The toolkit of a program without windows (the command line, the library's own
// tests): there is no window to reach, so every call fails as a call on a
// missing object does.
class NoWindowToolkit final : public ControlToolkit {
 public:
  std::vector<WindowHandle> ControlsOf(WindowHandle) override { Fail(); }
  WindowHandle FindControl(WindowHandle, const std::string&, std::optional<int>) override { Fail(); }
  std::string TypeName(WindowHandle) override { Fail(); }
  Variant GetMember(WindowHandle, const std::string&) override { Fail(); }
  void SetMember(WindowHandle, const std::string&, const Variant&) override { Fail(); }
  void SetFocus(WindowHandle) override { Fail(); }
  void SetSelection(WindowHandle, int, int) override { Fail(); }
  void Refresh(WindowHandle) override { Fail(); }
  int ScreenWidthTwips() override { Fail(); }
  int ScreenHeightTwips() override { Fail(); }
  double TwipsPerPixelX() override { Fail(); }
  double TwipsPerPixelY() override { Fail(); }
  void SetClipboardText(const std::string&) override { Fail(); }
  std::string ClipboardText() override { Fail(); }
  std::string GetSetting(const std::string&, const std::string&, const std::string&,
                         const std::string&) override {
    Fail();
  }
  void SaveSetting(const std::string&, const std::string&, const std::string&, const std::string&) override {
    Fail();
  }

 private:
  [[noreturn]] static void Fail() { NoWindow(); }
};

std::shared_ptr<ControlToolkit>& Installed() {
  static std::shared_ptr<ControlToolkit> toolkit = std::make_shared<NoWindowToolkit>();
  return toolkit;
}

}  // namespace

WindowHandle ControlToolkit::LoadForm(const std::string&) {
  NoWindow();
}
void ControlToolkit::ShowModal(WindowHandle) {
  NoWindow();
}
void ControlToolkit::Hide(WindowHandle) {
  NoWindow();
}
void ControlToolkit::Unload(WindowHandle) {
  NoWindow();
}
void ControlToolkit::PlaceOnTop(WindowHandle, int, int) {
  NoWindow();
}
std::string ControlToolkit::ExeName() {
  NoWindow();
}
void ControlToolkit::ClearColumns(WindowHandle) {
  NoWindow();
}
void ControlToolkit::AddColumn(WindowHandle, const std::string&, double, int) {
  NoWindow();
}
void ControlToolkit::ClearItems(WindowHandle) {
  NoWindow();
}
int ControlToolkit::AddItem(WindowHandle, const std::string&) {
  NoWindow();
}
int ControlToolkit::ItemCount(WindowHandle) {
  NoWindow();
}
Variant ControlToolkit::GetItem(WindowHandle, int, const std::string&) {
  NoWindow();
}
void ControlToolkit::SetItem(WindowHandle, int, const std::string&, const Variant&) {
  NoWindow();
}
int ControlToolkit::SubItemCount(WindowHandle, int) {
  NoWindow();
}
std::string ControlToolkit::SubItemText(WindowHandle, int, int) {
  NoWindow();
}
void ControlToolkit::SetSubItemText(WindowHandle, int, int, const std::string&) {
  NoWindow();
}
int ControlToolkit::SelectedItem(WindowHandle) {
  NoWindow();
}
void ControlToolkit::SetSelectedItem(WindowHandle, int) {
  NoWindow();
}
std::uint32_t ControlToolkit::ListViewExtendedStyle(WindowHandle) {
  NoWindow();
}
void ControlToolkit::SetListViewExtendedStyle(WindowHandle, std::uint32_t) {
  NoWindow();
}
int ControlToolkit::LineCount(WindowHandle) {
  NoWindow();
}
int ControlToolkit::LineFromChar(WindowHandle, int) {
  NoWindow();
}
int ControlToolkit::LineIndex(WindowHandle, int) {
  NoWindow();
}
int ControlToolkit::LineLength(WindowHandle, int) {
  NoWindow();
}
void ControlToolkit::SendKey(int, int) {
  NoWindow();
}
void ControlToolkit::SetKeyPressHook(WindowHandle, KeyPressHook) {
  NoWindow();
}
void ControlToolkit::LoadPicture(WindowHandle, const std::string&) {
  NoWindow();
}
void ControlToolkit::ClearPicture(WindowHandle) {
  NoWindow();
}

ControlToolkit& Toolkit() {
  return *Installed();
}

void SetToolkit(std::shared_ptr<ControlToolkit> toolkit) {
  Installed() = toolkit ? std::move(toolkit) : std::make_shared<NoWindowToolkit>();
}

}  // namespace platform
