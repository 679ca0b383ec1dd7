#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "error_number.h"
#include "fake_toolkit.h"
#include "platform/controls.h"
#include "platform/ui_services.h"
#include "util/ediv.h"
#include "util_test_support.h"

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

// A text box on the fake toolkit, for the line and key operations.
class TextBoxTest : public RecordingUiTest {
 protected:
  void SetUp() override {
    RecordingUiTest::SetUp();
    platform::SetToolkit(toolkit_);
    toolkit_->Member(box_, "Text") = platform::Variant("ab\r\ncd");
  }
  void TearDown() override {
    platform::SetToolkit(nullptr);
    RecordingUiTest::TearDown();
  }
  void Caret(int position) { toolkit_->SetSelection(box_, position, position); }

  std::shared_ptr<testsupport::FakeToolkit> toolkit_ = std::make_shared<testsupport::FakeToolkit>();
  WindowHandle form_ = toolkit_->AddForm("frmTexto");
  WindowHandle box_ = toolkit_->Add(form_, "txtNotas", "TextBox");
};

TEST_F(TextBoxTest, EveryLineCodeOnTwoLines) {
  struct Case {
    int caret, info, line, expected;
  };
  // "ab" CR LF "cd": the second line starts at position 5 (1-based).
  for (const Case& c :
       {Case{1, 0, 0, 2}, Case{1, 1, 0, 2}, Case{5, 1, 0, 6}, Case{1, 2, 0, 1}, Case{5, 2, 0, 2},
        Case{5, 3, 0, 5}, Case{5, 4, 0, 7}, Case{1, 4, 0, 3}, Case{5, 5, 0, 2}, Case{5, 6, 0, 2},
        Case{0, 6, 0, 1}, Case{0, 7, 1, 1}, Case{0, 7, 2, 5}, Case{0, 7, 3, 0}, Case{0, 8, 1, 3},
        Case{0, 8, 2, 7}, Case{0, 9, 1, 2}, Case{0, 9, 2, 2}, Case{0, 9, 3, 0}, Case{0, 10, 1, 0},
        Case{0, -1, 1, 0}}) {
    SCOPED_TRACE(testing::Message() << "caret " << c.caret << " code " << c.info << " line " << c.line);
    Caret(c.caret);
    EXPECT_EQ(SharedEDiv().txtgetLineInfo(box_, c.info, c.line), c.expected);
  }
}

TEST_F(TextBoxTest, WrappedLinesHaveNoLineBreak) {
  toolkit_->Member(box_, "Text") = platform::Variant("abcdefg\r\nhi");
  (*toolkit_)[box_].wrap = 3;  // "abc", "def", "g", "hi"
  EXPECT_EQ(SharedEDiv().txtgetLineInfo(box_, 0), 4);
  EXPECT_EQ(SharedEDiv().txtgetLineInfo(box_, 9, 1), 3) << "nothing taken off for a break that is not there";
  EXPECT_EQ(SharedEDiv().txtgetLineInfo(box_, 9, 3), 1);
  EXPECT_EQ(SharedEDiv().txtGetLineText(box_, 2), "def");
  EXPECT_EQ(SharedEDiv().txtGetLineText(box_, 3), "g\r\n");
}

TEST_F(TextBoxTest, LineTextKeepsItsBreakAndTheSelection) {
  EXPECT_EQ(SharedEDiv().txtGetLineText(box_, 1), "ab\r\n");
  EXPECT_EQ(SharedEDiv().txtGetLineText(box_, 2), "cd") << "the last line runs to the end";
  EXPECT_EQ(toolkit_->GetMember(box_, "SelText"), platform::Variant("cd"));
  Caret(1);
  EXPECT_EQ(SharedEDiv().txtGetLineText(box_, 0), "ab\r\n") << "0 is the caret's line";
  toolkit_->Member(box_, "Text") = platform::Variant("uma linha");
  EXPECT_EQ(SharedEDiv().txtGetLineText(box_, 1), "uma linha");
}

TEST_F(TextBoxTest, ControlEnterFiltersAccentsAndMovesOnNumericTags) {
  struct Case {
    std::int16_t key;
    const char* tag;
    std::int16_t expected;
    const char* sent;  // the key sent, if any
  };
  for (const Case& c :
       {Case{39, "1", 96, ""}, Case{39, "", 96, ""}, Case{126, "", 0, ""}, Case{180, "1", 0, ""},
        Case{96, "", 0, ""}, Case{94, "", 0, ""}, Case{168, "", 0, ""}, Case{65, "1", 65, ""},
        Case{13, "1", 0, "SendKey 9 0"}, Case{27, "2.5", 0, "SendKey 9 1"}, Case{13, "", 13, ""},
        Case{13, "a", 13, ""}, Case{27, "", 27, ""}}) {
    SCOPED_TRACE(testing::Message() << c.key << " tag '" << c.tag << "'");
    toolkit_->log.clear();
    std::int16_t key = c.key;
    SharedEDiv().ControlEnter(key, c.tag);
    EXPECT_EQ(key, c.expected);
    EXPECT_EQ(toolkit_->log, *c.sent ? std::vector<std::string>{c.sent} : std::vector<std::string>{});
  }
}

TEST_F(TextBoxTest, KeysAndPasting) {
  SharedEDiv().MandaTeclas(65);
  EXPECT_EQ(testsupport::ErrorNumber([] { SharedEDiv().MandaTeclas(256); }), platform::kErrOverflow);
  EXPECT_EQ(testsupport::ErrorNumber([] { SharedEDiv().MandaTeclas(-1); }), platform::kErrOverflow);
  SharedEDiv().InsertTexto("   ", box_);
  EXPECT_EQ(toolkit_->clipboard, "   ");
  SharedEDiv().InsertTexto("olá", box_);
  EXPECT_EQ(toolkit_->clipboard, "olá");
  EXPECT_EQ(toolkit_->log, (std::vector<std::string>{"SendKey 65 0", "SetFocus txtNotas", "SendKey 86 2"}));
}

}  // namespace
