// The list view helpers on a real QTreeWidget through the Qt toolkit.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QIcon>
#include <QPixmap>
#include <QTreeWidget>
#include <memory>

#include "error_number.h"
#include "platform/qt_ui.h"
#include "util/ediv.h"

namespace {

using platform::Toolkit;
using platform::Variant;
using testsupport::ErrorNumber;

class QtListView : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<QWidget>();
    list_ = new QTreeWidget(form_.get());
    platform::PrepareListView(list_);
    platform::NameControl(list_, "lvwLista");
    handle_ = platform::HandleOf(list_);
  }
  // Rows "a", "b", "c" with a sub-item and a key each.
  void FillThree() {
    SharedEDiv().CreateListViewCol(
        handle_,
        {0, {Variant("Nome"), Variant(1500), Variant(0), Variant("Valor"), Variant(900), Variant(1)}});
    for (const std::string text : {"a", "b", "c"}) {
      const int index = Toolkit().AddItem(handle_, text);
      Toolkit().SetSubItemText(handle_, index, 1, text + "1");
      Toolkit().SetItem(handle_, index, "Key", Variant("k" + text));
      Toolkit().SetItem(handle_, index, "Tag", Variant("t" + text));
    }
  }
  std::string Row(int index) {
    return Toolkit().GetItem(handle_, index, "Text").ToString() + "|" +
           Toolkit().SubItemText(handle_, index, 1) + "|" +
           Toolkit().GetItem(handle_, index, "Key").ToString() + "|" +
           Toolkit().GetItem(handle_, index, "Tag").ToString() + "|" +
           (Toolkit().GetItem(handle_, index, "Checked").ToBool() ? "x" : "-");
  }

  std::unique_ptr<QWidget> form_;
  QTreeWidget* list_ = nullptr;
  platform::WindowHandle handle_ = 0;
};

TEST_F(QtListView, ColumnsMakeAReportWithFullRowSelection) {
  EXPECT_TRUE(list_->isHeaderHidden()) << "the icon view until a report is asked for";
  FillThree();
  ASSERT_EQ(list_->columnCount(), 2);
  EXPECT_EQ(list_->headerItem()->text(1), QStringLiteral("Valor"));
  EXPECT_EQ(list_->columnWidth(0), 100) << "1500 twips";
  EXPECT_EQ(list_->headerItem()->textAlignment(1) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  EXPECT_FALSE(list_->isHeaderHidden());
  EXPECT_EQ(list_->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list_->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(Toolkit().GetMember(handle_, "View"), Variant(std::int32_t{3}));
  EXPECT_EQ(ErrorNumber([&] { Toolkit().SubItemText(handle_, 1, 2); }), platform::kErrIndexOutOfBounds);
  EXPECT_EQ(ErrorNumber([&] { Toolkit().GetItem(handle_, 4, "Text"); }), platform::kErrIndexOutOfBounds);

  Toolkit().SetListViewExtendedStyle(handle_, 0);
  EXPECT_EQ(list_->selectionBehavior(), QAbstractItemView::SelectItems);
  SharedEDiv().RowListview(handle_);
  EXPECT_EQ(list_->selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(QtListView, ChecksSurviveTheCheckBoxSwitchAndTheUsersClick) {
  FillThree();
  SharedEDiv().CheckListView(handle_, true);  // no boxes shown: kept all the same
  EXPECT_EQ(list_->topLevelItem(0)->data(0, Qt::CheckStateRole), QVariant());
  Toolkit().SetMember(handle_, "Checkboxes", Variant(true));
  EXPECT_EQ(list_->topLevelItem(0)->checkState(0), Qt::Checked);
  EXPECT_TRUE(SharedEDiv().IsTodosChecked(handle_));
  list_->topLevelItem(1)->setCheckState(0, Qt::Unchecked);  // as a click does
  EXPECT_FALSE(SharedEDiv().IsTodosChecked(handle_));
  Toolkit().SetMember(handle_, "Checkboxes", Variant(false));
  EXPECT_EQ(Toolkit().GetItem(handle_, 2, "Checked"), Variant(false));
  EXPECT_EQ(Toolkit().GetItem(handle_, 1, "Checked"), Variant(true));
}

TEST_F(QtListView, MovingTheSelectedRowKeepsKeysAndSelection) {
  FillThree();
  Toolkit().SetMember(handle_, "Checkboxes", Variant(true));
  Toolkit().SetItem(handle_, 2, "Checked", Variant(true));
  EXPECT_EQ(ErrorNumber([&] { Toolkit().SelectedItem(handle_); }), platform::kErrObjectNotSet);
  Toolkit().SetSelectedItem(handle_, 2);
  SharedEDiv().MoveListViewItem(handle_, 2, 2);
  EXPECT_EQ(Row(1), "b|b1|ka|tb|x");
  EXPECT_EQ(Row(2), "a|a1|kb|ta|-");
  EXPECT_EQ(Toolkit().SelectedItem(handle_), 1);
  EXPECT_EQ(list_->currentItem(), list_->topLevelItem(0));

  // A row whose value column was never filled moves whole, and takes a blank.
  Toolkit().AddItem(handle_, "d");
  Toolkit().SetSelectedItem(handle_, 4);
  SharedEDiv().MoveListViewItem(handle_, 4, 2);
  EXPECT_EQ(Row(3), "d||kc||-");
  EXPECT_EQ(Row(4), "c|c1||tc|-");
  EXPECT_EQ(Toolkit().SelectedItem(handle_), 3);
}

TEST_F(QtListView, SmallIconsComeFromTheImageList) {
  FillThree();
  EXPECT_EQ(Toolkit().GetMember(handle_, "SmallIcons"), Variant(std::int32_t{0}));
  QPixmap red(16, 16);
  red.fill(Qt::red);
  platform::SetSmallIcons(list_, {QIcon(red), QIcon(red)});
  EXPECT_EQ(Toolkit().GetMember(handle_, "SmallIcons"), Variant(std::int32_t{2}));
  Toolkit().SetItem(handle_, 3, "SmallIcon", Variant(std::int32_t{2}));
  EXPECT_FALSE(list_->topLevelItem(2)->icon(0).isNull());
  Toolkit().SetSelectedItem(handle_, 3);
  SharedEDiv().MoveListViewItem(handle_, 3, 2);
  EXPECT_EQ(Toolkit().GetItem(handle_, 2, "SmallIcon"), Variant(std::int32_t{2}));
  EXPECT_TRUE(list_->topLevelItem(2)->icon(0).isNull());
}

}  // namespace
