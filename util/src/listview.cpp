// EDiv: list views and key-value lists.
#include <algorithm>
#include <utility>

#include "platform/controls.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "text_rules.h"
#include "try_step.h"
#include "util/ediv.h"

using platform::RaiseError;
using util_internal::Try;

namespace {

// Element `index` of `array`, counted as the array counts; Error 9 outside it.
const platform::Variant& Element(const platform::VariantArray& array, int index) {
  if (index < array.lower_bound || index > array.UpperBound()) RaiseError(platform::kErrSubscriptOutOfRange);
  return array.items[static_cast<std::size_t>(index - array.lower_bound)];
}

using Entry = std::pair<std::string, std::string>;

// The entries of a key-value list: only text ended by ";" forms one, and each
// splits at its first ":" (Error 5 when it has none).
std::vector<Entry> Entries(const std::string& list) {
  std::vector<Entry> entries;
  std::size_t start = 0;
  for (std::size_t end = list.find(';'); end != std::string::npos; end = list.find(';', start)) {
    const std::string entry = list.substr(start, end - start);
    const std::size_t colon = entry.find(':');
    if (colon == std::string::npos) RaiseError(platform::kErrInvalidProcedureCall);
    entries.emplace_back(entry.substr(0, colon), entry.substr(colon + 1));
    start = end + 1;
  }
  return entries;
}

std::u32string Upper(const std::string& text) {
  std::u32string upper = platform::DecodeUtf8(text);
  for (char32_t& c : upper) c = util_internal::UpperChar(c);
  return upper;
}

// What MoveListViewItem exchanges between two items.
struct ItemContents {
  std::vector<std::string> texts;  // the text, then the sub-items
  std::string tag;
  std::int16_t small_icon = 0;
  bool checked = false;
};

}  // namespace

void EDiv::CreateListViewCol(platform::WindowHandle lstView, const platform::VariantArray& aData) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  Try([&] { toolkit.ClearColumns(lstView); });
  Try([&] { toolkit.SetMember(lstView, "Sorted", platform::Variant(false)); });
  Try([&] { toolkit.SetMember(lstView, "FullRowSelect", platform::Variant(true)); });
  Try([&] { toolkit.SetMember(lstView, "View", platform::Variant(std::int32_t{3})); });
  Try([&] { toolkit.SetMember(lstView, "LabelEdit", platform::Variant(std::int32_t{1})); });
  for (int i = 0; i <= aData.UpperBound(); i += 3) {
    Try([&] {
      toolkit.AddColumn(lstView, Element(aData, i).ToString(), Element(aData, i + 1).ToDouble(),
                        Element(aData, i + 2).ToLong());
    });
  }
}

void EDiv::RowListview(platform::WindowHandle hWnd) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  toolkit.SetListViewExtendedStyle(hWnd,
                                   toolkit.ListViewExtendedStyle(hWnd) | platform::kListViewFullRowSelect);
}

void EDiv::CheckListView(platform::WindowHandle lvwList, bool blnValue) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  const int count = toolkit.ItemCount(lvwList);
  for (int i = 1; i <= count; ++i) toolkit.SetItem(lvwList, i, "Checked", platform::Variant(blnValue));
}

bool EDiv::IsTodosChecked(platform::WindowHandle lvwListView) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  if (!toolkit.GetMember(lvwListView, "Checkboxes").ToBool()) {
    platform::MsgBox("O Listview não tem CheckBoxes!", platform::kMsgBoxCritical);
    return false;
  }
  const int count = toolkit.ItemCount(lvwListView);
  for (int i = 1; i <= count; ++i) {
    if (!toolkit.GetItem(lvwListView, i, "Checked").ToBool()) return false;
  }
  return true;
}

void EDiv::MoveListViewItem(platform::WindowHandle lvwListView, std::int32_t Item,
                            std::int32_t UpDown) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  const int count = toolkit.ItemCount(lvwListView);
  if (count == 0) return;
  int neighbour = 0;
  if (UpDown == 2) {
    if (Item == 1) return;
    neighbour = Item - 1;
  } else if (UpDown == 1) {
    if (Item == count) return;
    neighbour = Item + 1;
  } else {
    throw platform::Error(platform::kErrObjectNotSet, "Object variable or With block variable not set");
  }
  // Nothing selected is the caller's error, as it always was; but the
  // sub-items exchanged are each item's own, so that rows whose last columns
  // were never filled still move whole and no row keeps a column of another.
  static_cast<void>(toolkit.SelectedItem(lvwListView));
  const bool icons = toolkit.GetMember(lvwListView, "SmallIcons").ToLong() != 0;
  const bool boxes = toolkit.GetMember(lvwListView, "Checkboxes").ToBool();

  // Everything is read before anything is written, so a failure leaves both
  // items as they were.
  auto read = [&](int index) {
    ItemContents contents;
    contents.texts.push_back(toolkit.GetItem(lvwListView, index, "Text").ToString());
    const int sub_items = toolkit.SubItemCount(lvwListView, index);
    for (int s = 1; s <= sub_items; ++s) contents.texts.push_back(toolkit.SubItemText(lvwListView, index, s));
    contents.tag = toolkit.GetItem(lvwListView, index, "Tag").ToString();
    if (icons) contents.small_icon = toolkit.GetItem(lvwListView, index, "SmallIcon").ToInteger();
    if (boxes) contents.checked = toolkit.GetItem(lvwListView, index, "Checked").ToBool();
    return contents;
  };
  const ItemContents moving = read(Item);
  const ItemContents other = read(neighbour);
  const std::size_t columns = std::max(moving.texts.size(), other.texts.size());
  // A sub-item the other row lacks is left blank.
  auto write = [&](int index, const ItemContents& contents) {
    toolkit.SetItem(lvwListView, index, "Text", platform::Variant(contents.texts[0]));
    for (std::size_t s = 1; s < columns; ++s) {
      toolkit.SetSubItemText(lvwListView, index, static_cast<int>(s),
                             s < contents.texts.size() ? contents.texts[s] : std::string());
    }
  };
  write(Item, other);
  write(neighbour, moving);
  toolkit.SetItem(lvwListView, Item, "Tag", platform::Variant(other.tag));
  toolkit.SetItem(lvwListView, neighbour, "Tag", platform::Variant(moving.tag));
  if (icons) {
    toolkit.SetItem(lvwListView, Item, "SmallIcon", platform::Variant(other.small_icon));
    toolkit.SetItem(lvwListView, neighbour, "SmallIcon", platform::Variant(moving.small_icon));
  }
  if (boxes) {
    toolkit.SetItem(lvwListView, Item, "Checked", platform::Variant(other.checked));
    toolkit.SetItem(lvwListView, neighbour, "Checked", platform::Variant(moving.checked));
  }
  toolkit.SetSelectedItem(lvwListView, neighbour);
}

std::string EDiv::eselChave(const std::string& Chave, const std::string& Lista) const {
  if (Lista.empty()) return {};
  const std::u32string wanted = Upper(Chave);
  for (const auto& [key, value] : Entries(Lista)) {
    if (Upper(key) == wanted) return value;
  }
  return {};
}

void EDiv::eselToArray(const std::string& Lista,
                       std::vector<std::array<platform::Variant, 2>>& aArray) const {
  if (Lista.empty()) return;
  const std::vector<Entry> entries = Entries(Lista);
  // A list without entries gives no valid table size.
  if (entries.empty()) RaiseError(platform::kErrSubscriptOutOfRange);
  aArray.clear();
  for (const auto& [key, value] : entries)
    aArray.push_back({platform::Variant(key), platform::Variant(value)});
}
