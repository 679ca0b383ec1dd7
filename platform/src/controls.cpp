#include "platform/controls.h"

namespace platform {
namespace {

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
  [[noreturn]] static void Fail() { RaiseError(kErrObjectRequired); }
};

std::shared_ptr<ControlToolkit>& Installed() {
  static std::shared_ptr<ControlToolkit> toolkit = std::make_shared<NoWindowToolkit>();
  return toolkit;
}

}  // namespace

ControlToolkit& Toolkit() {
  return *Installed();
}

void SetToolkit(std::shared_ptr<ControlToolkit> toolkit) {
  Installed() = toolkit ? std::move(toolkit) : std::make_shared<NoWindowToolkit>();
}

}  // namespace platform
