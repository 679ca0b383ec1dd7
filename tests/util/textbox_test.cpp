#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

namespace {

using platform::Error;
using platform::WindowHandle;

// One log for the event pump and the toolkit, so the order of their calls shows.
using CallLog = std::vector<std::string>;

class LoggingUi final : public platform::UiServices {
 public:
  explicit LoggingUi(CallLog& log) : log_(log) {}
  void MsgBox(const std::string&, int, const std::string&) override { log_.push_back("MsgBox"); }
  void SetMousePointer(int) override {}
  [[nodiscard]] int MousePointer() const override { return 0; }
  void DoEvents() override { log_.push_back("DoEvents"); }

 private:
  CallLog& log_;
};

// A toolkit with one text box, whose focus and selection calls can be made to fail.
class TextBoxToolkit final : public platform::ControlToolkit {
 public:
  explicit TextBoxToolkit(CallLog& log) : log_(log) {}
  bool focus_fails = false;
  bool selection_fails = false;

  void SetFocus(WindowHandle control) override {
    log_.push_back("SetFocus " + std::to_string(control));
    if (focus_fails) throw Error(platform::kErrInvalidProcedureCall, "Invalid procedure call or argument");
  }
  void SetSelection(WindowHandle control, int start, int end) override {
    log_.push_back("SetSelection " + std::to_string(control) + " " + std::to_string(start) + " " +
                   std::to_string(end));
    if (selection_fails)
      throw Error(platform::kErrMemberNotSupported, "Object doesn't support this property");
  }

  std::vector<WindowHandle> ControlsOf(WindowHandle) override { Unused(); }
  WindowHandle FindControl(WindowHandle, const std::string&, std::optional<int>) override { Unused(); }
  std::string TypeName(WindowHandle) override { Unused(); }
  platform::Variant GetMember(WindowHandle, const std::string&) override { Unused(); }
  void SetMember(WindowHandle, const std::string&, const platform::Variant&) override { Unused(); }
  void Refresh(WindowHandle) override { Unused(); }
  int ScreenWidthTwips() override { Unused(); }
  int ScreenHeightTwips() override { Unused(); }
  double TwipsPerPixelX() override { Unused(); }
  double TwipsPerPixelY() override { Unused(); }
  void SetClipboardText(const std::string&) override { Unused(); }
  std::string ClipboardText() override { Unused(); }
  std::string GetSetting(const std::string&, const std::string&, const std::string&,
                         const std::string&) override {
    Unused();
  }
  void SaveSetting(const std::string&, const std::string&, const std::string&, const std::string&) override {
    Unused();
  }

 private:
  [[noreturn]] void Unused() {
    log_.push_back("unexpected call");
    throw Error(platform::kErrObjectRequired, "Object required");
  }
  CallLog& log_;
};

class SelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetUi(std::make_shared<LoggingUi>(log_));
    platform::SetToolkit(toolkit_);
  }
  void TearDown() override {
    platform::SetUi(nullptr);
    platform::SetToolkit(nullptr);
  }

  CallLog log_;
  std::shared_ptr<TextBoxToolkit> toolkit_ = std::make_shared<TextBoxToolkit>(log_);
};

TEST_F(SelTest, FocusesBetweenEventPumpsThenSelectsTheWholeText) {
  SharedEDiv().Sel(42);
  EXPECT_EQ(log_, (CallLog{"DoEvents", "SetFocus 42", "DoEvents", "SetSelection 42 0 -1"}));
}

TEST_F(SelTest, AFailedStepIsSkippedAndTheRestStillRuns) {
  toolkit_->focus_fails = true;
  toolkit_->selection_fails = true;
  EXPECT_NO_THROW(SharedEDiv().Sel(7));
  EXPECT_EQ(log_, (CallLog{"DoEvents", "SetFocus 7", "DoEvents", "SetSelection 7 0 -1"}));
}

TEST(SelWithoutWindows, RaisesNothing) {
  // The default toolkit fails every call with 424; Sel absorbs each failure.
  platform::SetToolkit(nullptr);
  EXPECT_NO_THROW(SharedEDiv().Sel(platform::kNoWindow));
}

}  // namespace
