#include <gtest/gtest.h>

#include <memory>

#include "error_number.h"
#include "fake_toolkit.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

using platform::Variant;
using testsupport::FakeToolkit;

class ListViewTest : public RecordingUiTest {
 protected:
  void SetUp() override {
    RecordingUiTest::SetUp();
    platform::SetToolkit(toolkit_);
    form_ = toolkit_->AddForm("frmLista");
    list_ = toolkit_->Add(form_, "lvwLista", "ListView");
    for (const char* member : {"Sorted", "View", "LabelEdit", "SmallIcons"}) toolkit_->Member(list_, member);
    toolkit_->Member(list_, "SmallIcons") = Variant(std::int32_t{2});
  }
  void TearDown() override {
    platform::SetToolkit(nullptr);
    RecordingUiTest::TearDown();
  }
  // Three rows "a", "b", "c", each with two sub-items, a key, a tag and an icon.
  void FillThree() {
    (*toolkit_)[list_].style |= platform::kListViewCheckBoxes;
    int n = 0;
    for (const std::string text : {"a", "b", "c"}) {
      toolkit_->AddItem(list_, text);
      ++n;
      (*toolkit_)[list_].items.back() = {text, "k" + text, "t" + text, n, n == 2, {text + "1", text + "2"}};
    }
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const auto& item : (*toolkit_)[list_].items) {
      texts.push_back(item.text + "|" + item.sub_items[0] + "|" + item.sub_items[1] + "|" + item.key + "|" +
                      item.tag + "|" + std::to_string(item.small_icon) + "|" + (item.checked ? "x" : "-"));
    }
    return texts;
  }

  std::shared_ptr<FakeToolkit> toolkit_ = std::make_shared<FakeToolkit>();
  platform::WindowHandle form_ = 0, list_ = 0;
};

TEST_F(ListViewTest, ColumnsComeInTriplesAndALastShortTripleAddsNone) {
  toolkit_->AddColumn(list_, "old", 1, 0);
  platform::VariantArray data{0,
                              {Variant("Nome"), Variant(1500), Variant(0), Variant("Valor"), Variant(900.5),
                               Variant(1), Variant("Sobra")}};
  SharedEDiv().CreateListViewCol(list_, data);
  const auto& columns = (*toolkit_)[list_].columns;
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[1].text, "Valor");
  EXPECT_EQ(columns[1].width, 900.5);
  EXPECT_EQ(columns[1].alignment, 1);
  EXPECT_EQ(toolkit_->Member(list_, "View"), Variant(std::int32_t{3}));
  EXPECT_EQ(toolkit_->Member(list_, "LabelEdit"), Variant(std::int32_t{1}));
  EXPECT_EQ(toolkit_->Member(list_, "Sorted"), Variant(false));
  EXPECT_TRUE((*toolkit_)[list_].style & platform::kListViewFullRowSelect);
}

TEST_F(ListViewTest, RowListviewAddsFullRowAndKeepsTheOtherBits) {
  (*toolkit_)[list_].style = 0x5;
  SharedEDiv().RowListview(list_);
  EXPECT_EQ((*toolkit_)[list_].style, 0x25u);
}

TEST_F(ListViewTest, CheckingAllAndTestingAll) {
  (*toolkit_)[list_].style |= platform::kListViewCheckBoxes;
  EXPECT_TRUE(SharedEDiv().IsTodosChecked(list_)) << "no items";
  FillThree();
  EXPECT_FALSE(SharedEDiv().IsTodosChecked(list_));
  SharedEDiv().CheckListView(list_, true);
  EXPECT_TRUE(SharedEDiv().IsTodosChecked(list_));
  EXPECT_TRUE(ui_->boxes.empty());

  (*toolkit_)[list_].style = 0;
  SharedEDiv().CheckListView(list_, false);  // the switch is not looked at
  EXPECT_FALSE((*toolkit_)[list_].items[0].checked);
  EXPECT_FALSE(SharedEDiv().IsTodosChecked(list_));
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "O Listview não tem CheckBoxes!");
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxCritical);
}

TEST_F(ListViewTest, MovesExchangeContentsKeepKeysAndSelectTheNeighbour) {
  FillThree();
  toolkit_->SetSelectedItem(list_, 2);
  SharedEDiv().MoveListViewItem(list_, 2, 2);
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"b|b1|b2|ka|tb|2|x", "a|a1|a2|kb|ta|1|-", "c|c1|c2|kc|tc|3|-"}));
  EXPECT_EQ(toolkit_->SelectedItem(list_), 1);

  SharedEDiv().MoveListViewItem(list_, 1, 1);
  SharedEDiv().MoveListViewItem(list_, 2, 1);
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"a|a1|a2|ka|ta|1|-", "c|c1|c2|kb|tc|3|-", "b|b1|b2|kc|tb|2|x"}));
  EXPECT_EQ(toolkit_->SelectedItem(list_), 3);
}

TEST_F(ListViewTest, MovesThatCannotHappenChangeNothing) {
  SharedEDiv().MoveListViewItem(list_, 1, 2);  // no items
  FillThree();
  toolkit_->SetSelectedItem(list_, 1);
  const auto before = Texts();
  SharedEDiv().MoveListViewItem(list_, 1, 2);
  SharedEDiv().MoveListViewItem(list_, 3, 1);
  EXPECT_EQ(testsupport::ErrorNumber([&] { SharedEDiv().MoveListViewItem(list_, 2, 3); }),
            platform::kErrObjectNotSet);
  EXPECT_EQ(testsupport::ErrorNumber([&] { SharedEDiv().MoveListViewItem(list_, 4, 2); }),
            platform::kErrIndexOutOfBounds);
  EXPECT_EQ(Texts(), before);
  EXPECT_EQ(toolkit_->SelectedItem(list_), 1);
}

TEST_F(ListViewTest, RowsWithFewerSubItemsMoveWhole) {
  FillThree();
  auto& items = (*toolkit_)[list_].items;
  items[0].sub_items.push_back("a3");
  items[1].sub_items.resize(1);
  // Whichever item is selected, each row takes all of the other's columns.
  toolkit_->SetSelectedItem(list_, 3);
  SharedEDiv().MoveListViewItem(list_, 2, 2);
  EXPECT_EQ(items[0].text, "b");
  EXPECT_EQ(items[0].sub_items, (std::vector<std::string>{"b1", "", ""}));
  EXPECT_EQ(items[1].text, "a");
  EXPECT_EQ(items[1].sub_items, (std::vector<std::string>{"a1", "a2", "a3"}));
  EXPECT_EQ(toolkit_->SelectedItem(list_), 1);
}

TEST(KeyValueLists, LookUpAndTable) {
  const EDiv& ediv = SharedEDiv();
  const std::string paper = "9:A4 210x297mm;40:Letter 8.5x12;";
  struct Case {
    const char* key;
    const char* list;
    const char* value;
  };
  for (const Case& c :
       {Case{"40", paper.c_str(), "Letter 8.5x12"}, Case{"9", paper.c_str(), "A4 210x297mm"},
        Case{"a", "A:maiúscula;", "maiúscula"}, Case{"é", "É:acento;", "acento"},
        Case{"h", "h:12:30;", "12:30"}, Case{"x", "a:1;x:2", ""}, Case{"7", paper.c_str(), ""},
        Case{"", ":vazia;", "vazia"}, Case{"a", "", ""}, Case{" a", "a:1; a:2;", "2"}}) {
    SCOPED_TRACE(std::string(c.key) + " in " + c.list);
    EXPECT_EQ(ediv.eselChave(c.key, c.list), c.value);
  }
  EXPECT_EQ(testsupport::ErrorNumber([&] { ediv.eselChave("a", "a:1;semdoispontos;"); }),
            platform::kErrInvalidProcedureCall);

  std::vector<std::array<Variant, 2>> table{{Variant("antes"), Variant("")}};
  ediv.eselToArray("", table);
  EXPECT_EQ(table.size(), 1u) << "an empty list leaves the table";
  ediv.eselToArray("9:A4;h:12:30;resto", table);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1][0], Variant("h"));
  EXPECT_EQ(table[1][1], Variant("12:30"));
  EXPECT_EQ(testsupport::ErrorNumber([&] { ediv.eselToArray("a:1", table); }),
            platform::kErrSubscriptOutOfRange);
  EXPECT_EQ(testsupport::ErrorNumber([&] { ediv.eselToArray("a1;", table); }),
            platform::kErrInvalidProcedureCall);
}

}  // namespace
