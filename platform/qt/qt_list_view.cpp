// The common-controls list view over QTreeWidget: column headers, items with
// their sub-items (the further columns), keys, tags, icons and check marks.
#include <QHeaderView>
#include <QTreeWidget>
#include <cmath>

#include "platform/qt_ui.h"
#include "qt_members.h"

namespace platform {
namespace {

// What an item keeps besides its texts.
constexpr int kKeyRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;
constexpr int kSmallIconRole = Qt::UserRole + 2;
// The checked state while the list view shows no check boxes.
constexpr int kCheckedRole = Qt::UserRole + 3;

constexpr const char* kExtendedStyleProperty = "ExtendedStyle";
constexpr const char* kViewProperty = "View";
constexpr const char* kLabelEditProperty = "LabelEdit";
// The small-icon image list, a list of QIcon.
constexpr const char* kSmallIconsProperty = "SmallIconList";
// The number of column headers added.
constexpr const char* kColumnsProperty = "ColumnHeaders";

bool Is(const std::string& member, const char* name) {
  return QString::fromStdString(member).compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

QTreeWidget* RequireListView(WindowHandle handle) {
  auto* list = qobject_cast<QTreeWidget*>(RequireWidget(handle));
  if (!list) ThrowNotSupported();
  return list;
}

[[noreturn]] void OutOfBounds() {
  throw Error(kErrIndexOutOfBounds, "Index out of bounds");
}

QTreeWidgetItem* RequireItem(QTreeWidget* list, int index) {
  if (index < 1 || index > list->topLevelItemCount()) OutOfBounds();
  return list->topLevelItem(index - 1);
}

bool HasCheckBoxes(const QTreeWidget* list) {
  return (list->property(kExtendedStyleProperty).toUInt() & kListViewCheckBoxes) != 0;
}

bool IsChecked(const QTreeWidgetItem* item, bool boxes) {
  return boxes ? item->checkState(0) == Qt::Checked : item->data(0, kCheckedRole).toBool();
}

void ShowChecked(QTreeWidgetItem* item, bool boxes, bool checked) {
  item->setData(0, kCheckedRole, checked);
  if (boxes) {
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  } else {
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    item->setData(0, Qt::CheckStateRole, QVariant());
  }
}

void ApplyExtendedStyle(QTreeWidget* list, std::uint32_t style) {
  const bool had_boxes = HasCheckBoxes(list);
  list->setProperty(kExtendedStyleProperty, style);
  list->setSelectionBehavior((style & kListViewFullRowSelect) ? QAbstractItemView::SelectRows
                                                              : QAbstractItemView::SelectItems);
  const bool boxes = (style & kListViewCheckBoxes) != 0;
  if (boxes == had_boxes) return;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    ShowChecked(item, boxes, IsChecked(item, had_boxes));
  }
}

std::uint32_t ExtendedStyle(const QTreeWidget* list) {
  return list->property(kExtendedStyleProperty).toUInt();
}

QIcon SmallIcon(const QTreeWidget* list, int number) {
  const QVariantList icons = list->property(kSmallIconsProperty).toList();
  if (number < 1 || number > icons.size()) return {};
  return icons[number - 1].value<QIcon>();
}

}  // namespace

std::optional<Variant> ListViewMember(QWidget* widget, const std::string& member) {
  auto* list = qobject_cast<QTreeWidget*>(widget);
  if (!list) return std::nullopt;
  if (Is(member, "Sorted")) return Variant(list->isSortingEnabled());
  if (Is(member, "FullRowSelect")) return Variant((ExtendedStyle(list) & kListViewFullRowSelect) != 0);
  if (Is(member, "Checkboxes")) return Variant(HasCheckBoxes(list));
  if (Is(member, "View")) return Variant(static_cast<std::int32_t>(list->property(kViewProperty).toInt()));
  if (Is(member, "LabelEdit")) {
    return Variant(static_cast<std::int32_t>(list->property(kLabelEditProperty).toInt()));
  }
  if (Is(member, "SmallIcons")) {
    return Variant(static_cast<std::int32_t>(list->property(kSmallIconsProperty).toList().size()));
  }
  return std::nullopt;
}

bool SetListViewMember(QWidget* widget, const std::string& member, const Variant& value) {
  auto* list = qobject_cast<QTreeWidget*>(widget);
  if (!list) return false;
  if (Is(member, "Sorted")) {
    list->setSortingEnabled(value.ToBool());
  } else if (Is(member, "FullRowSelect") || Is(member, "Checkboxes")) {
    const std::uint32_t bit = Is(member, "Checkboxes") ? kListViewCheckBoxes : kListViewFullRowSelect;
    const std::uint32_t style = ExtendedStyle(list);
    ApplyExtendedStyle(list, value.ToBool() ? style | bit : style & ~bit);
  } else if (Is(member, "View")) {
    // 3 is the report view, with its column headers; the icon and list views
    // show the items without them.
    const std::int32_t view = value.ToLong();
    list->setProperty(kViewProperty, view);
    list->setHeaderHidden(view != 3);
  } else if (Is(member, "LabelEdit")) {
    // 0 lets a click on a selected item edit its text, 1 leaves editing to code.
    const std::int32_t mode = value.ToLong();
    list->setProperty(kLabelEditProperty, mode);
    list->setEditTriggers(mode == 0 ? QAbstractItemView::SelectedClicked : QAbstractItemView::NoEditTriggers);
  } else {
    return false;
  }
  return true;
}

void PrepareListView(QTreeWidget* list) {
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setHeaderHidden(true);
  list->setProperty(kViewProperty, 0);
  ApplyExtendedStyle(list, 0);
}

void SetSmallIcons(QTreeWidget* list, const QList<QIcon>& icons) {
  QVariantList values;
  for (const QIcon& icon : icons) values.push_back(QVariant::fromValue(icon));
  list->setProperty(kSmallIconsProperty, values);
}

void QtToolkit::ClearColumns(WindowHandle list_view) {
  QTreeWidget* list = RequireListView(list_view);
  list->setColumnCount(0);
  list->setProperty(kColumnsProperty, 0);
}

void QtToolkit::AddColumn(WindowHandle list_view, const std::string& text, double width, int alignment) {
  QTreeWidget* list = RequireListView(list_view);
  // setColumnCount(0) leaves one column behind in Qt; the count of headers the
  // program added is kept apart.
  const int column = list->property(kColumnsProperty).toInt();
  list->setProperty(kColumnsProperty, column + 1);
  list->setColumnCount(column + 1);
  QTreeWidgetItem* header = list->headerItem();
  header->setText(column, QString::fromStdString(text));
  const Qt::Alignment align = alignment == 1   ? Qt::AlignRight
                              : alignment == 2 ? Qt::AlignHCenter
                                               : Qt::AlignLeft;
  header->setTextAlignment(column, align | Qt::AlignVCenter);
  list->setColumnWidth(column,
                       TwipsToPixels(static_cast<int>(std::lround(width)), platform::TwipsPerPixelX(list)));
}

void QtToolkit::ClearItems(WindowHandle list_view) {
  RequireListView(list_view)->clear();
}

int QtToolkit::AddItem(WindowHandle list_view, const std::string& text) {
  QTreeWidget* list = RequireListView(list_view);
  auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
  item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
  list->addTopLevelItem(item);
  ShowChecked(item, HasCheckBoxes(list), false);
  return list->topLevelItemCount();
}

int QtToolkit::ItemCount(WindowHandle list_view) {
  return RequireListView(list_view)->topLevelItemCount();
}

Variant QtToolkit::GetItem(WindowHandle list_view, int index, const std::string& member) {
  QTreeWidget* list = RequireListView(list_view);
  QTreeWidgetItem* item = RequireItem(list, index);
  if (Is(member, "Index")) return Variant(static_cast<std::int32_t>(index));
  if (Is(member, "Text")) return Variant(item->text(0).toStdString());
  if (Is(member, "Key")) return Variant(item->data(0, kKeyRole).toString().toStdString());
  if (Is(member, "Tag")) return Variant(item->data(0, kTagRole).toString().toStdString());
  if (Is(member, "SmallIcon"))
    return Variant(static_cast<std::int32_t>(item->data(0, kSmallIconRole).toInt()));
  if (Is(member, "Checked")) return Variant(IsChecked(item, HasCheckBoxes(list)));
  if (Is(member, "Selected")) return Variant(item->isSelected());
  ThrowNotSupported();
}

void QtToolkit::SetItem(WindowHandle list_view, int index, const std::string& member, const Variant& value) {
  QTreeWidget* list = RequireListView(list_view);
  QTreeWidgetItem* item = RequireItem(list, index);
  if (Is(member, "Text")) {
    item->setText(0, QString::fromStdString(value.ToString()));
  } else if (Is(member, "Key")) {
    item->setData(0, kKeyRole, QString::fromStdString(value.ToString()));
  } else if (Is(member, "Tag")) {
    item->setData(0, kTagRole, QString::fromStdString(value.ToString()));
  } else if (Is(member, "SmallIcon")) {
    const std::int32_t number = value.ToLong();
    item->setData(0, kSmallIconRole, number);
    item->setIcon(0, SmallIcon(list, number));
  } else if (Is(member, "Checked")) {
    ShowChecked(item, HasCheckBoxes(list), value.ToBool());
  } else if (Is(member, "Selected")) {
    item->setSelected(value.ToBool());
  } else {
    ThrowNotSupported();
  }
}

int QtToolkit::SubItemCount(WindowHandle list_view, int index) {
  return std::max(0, RequireItem(RequireListView(list_view), index)->columnCount() - 1);
}

std::string QtToolkit::SubItemText(WindowHandle list_view, int index, int sub_index) {
  QTreeWidgetItem* item = RequireItem(RequireListView(list_view), index);
  if (sub_index < 1 || sub_index >= item->columnCount()) OutOfBounds();
  return item->text(sub_index).toStdString();
}

void QtToolkit::SetSubItemText(WindowHandle list_view, int index, int sub_index, const std::string& text) {
  QTreeWidgetItem* item = RequireItem(RequireListView(list_view), index);
  if (sub_index < 1 || sub_index > item->columnCount()) OutOfBounds();
  item->setText(sub_index, QString::fromStdString(text));
}

int QtToolkit::SelectedItem(WindowHandle list_view) {
  QTreeWidget* list = RequireListView(list_view);
  QTreeWidgetItem* item = list->currentItem();
  if (!item || !item->isSelected()) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) throw Error(kErrObjectNotSet, "Object variable or With block variable not set");
    item = selected.front();
  }
  return list->indexOfTopLevelItem(item) + 1;
}

void QtToolkit::SetSelectedItem(WindowHandle list_view, int index) {
  QTreeWidget* list = RequireListView(list_view);
  QTreeWidgetItem* item = RequireItem(list, index);
  list->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::uint32_t QtToolkit::ListViewExtendedStyle(WindowHandle list_view) {
  return ExtendedStyle(RequireListView(list_view));
}

void QtToolkit::SetListViewExtendedStyle(WindowHandle list_view, std::uint32_t style) {
  ApplyExtendedStyle(RequireListView(list_view), style);
}

}  // namespace platform
