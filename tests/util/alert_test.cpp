#include <gtest/gtest.h>

#include <memory>

#include "fake_toolkit.h"
#include "platform/main_mod.h"
#include "util/ediv.h"

namespace {

using platform::Variant;
using testsupport::FakeToolkit;

// WAlert1 as the fake builds it: its layout in twips, and a user who picks
// `choice` (or leaves gAlertIndex alone when it is negative).
class AlertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolkit_->form_factories["WAlert1"] = [this] {
      form_ = toolkit_->AddForm("WAlert1");
      for (const auto& [name, top, height] :
           {std::tuple{"List1", 120, 300}, std::tuple{"CancelarG", 600, 375},
            std::tuple{"GravarG", 600, 375}}) {
        const auto control =
            toolkit_->Add(form_, name, name == std::string("List1") ? "ListView" : "CommandButton");
        toolkit_->Member(control, "Top") = Variant(top);
        toolkit_->Member(control, "Height") = Variant(height);
      }
      for (const char* member : {"Caption", "Top", "Left", "Height"})
        toolkit_->Member(form_, member) = Variant(0);
      toolkit_->Member(form_, "Width") = Variant(4125);
      return form_;
    };
    toolkit_->on_show_modal = [this](platform::WindowHandle form) {
      const auto list = toolkit_->FindControl(form, "List1", std::nullopt);
      for (int i = 1; i <= toolkit_->ItemCount(list); ++i) {
        shown_.push_back(toolkit_->GetItem(list, i, "Text").ToString());
      }
      if (choice_ >= 0) gAlertIndex = choice_;
    };
    platform::SetToolkit(toolkit_);
  }
  void TearDown() override { platform::SetToolkit(nullptr); }

  std::shared_ptr<FakeToolkit> toolkit_ = std::make_shared<FakeToolkit>();
  platform::WindowHandle form_ = 0;
  std::vector<std::string> shown_;
  int choice_ = -1;
};

TEST_F(AlertTest, FillsSizesCentresShowsAndUnloads) {
  choice_ = 2;
  platform::VariantArray options{0, {Variant("Um"), Variant(std::int32_t{2}), Variant("Três")}};
  EXPECT_EQ(SharedEDiv().Alert("Escolha", options), 2);
  EXPECT_EQ(shown_, (std::vector<std::string>{"Um", "2", "Três"}));
  const std::vector<std::string> expected = {
      "Set WAlert1.Caption=Escolha", "Set List1.Height=900",    "Set CancelarG.Top=1120",
      "Set GravarG.Top=1120",        "Set WAlert1.Height=1975", "Set WAlert1.Top=6692.5",
      "Set WAlert1.Left=7537.5",     "ShowModal WAlert1",       "Unload WAlert1"};
  EXPECT_EQ(toolkit_->log, expected);
}

TEST_F(AlertTest, CountsFromZeroWhateverTheLowerBound) {
  // Elements below index 0's place cannot be read: index 0 of an array from 1
  // does not exist, so only the elements 1 and 2 show.
  platform::VariantArray options{1, {Variant("a"), Variant("b")}};
  SharedEDiv().Alert("t", options);
  EXPECT_EQ(shown_, (std::vector<std::string>{"a", "b"}));
}

TEST_F(AlertTest, HandsBackWhatTheDialogLeftInTheProgramWideChoice) {
  gAlertIndex = 4;  // the dialog's own buttons decide; Alert does not reset it
  EXPECT_EQ(SharedEDiv().Alert("t", {}), 4);
}

TEST(AlertWithoutWindows, RaisesNothing) {
  platform::SetToolkit(nullptr);
  gAlertIndex = 0;
  EXPECT_EQ(SharedEDiv().Alert("t", platform::VariantArray{0, {Variant("a")}}), 0);
}

}  // namespace
