#include "w_alert1.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

#include "platform/main_mod.h"
#include "platform/qt_ui.h"

namespace {

// The layout's faces: a narrow sans-serif, the first of these the system has.
QFont LayoutFont(const QFont& base, double points) {
  QFont font = base;
  font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans Condensed")});
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

}  // namespace

WAlert1::WAlert1(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("WAlert1"));
  setWindowTitle(QString());
  // A dialog box: no help button, no resizing grip.
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setSizeGripEnabled(false);
  resize(platform::TwipsToPixels(4005, platform::TwipsPerPixelX(this)),
         platform::TwipsToPixels(1095, platform::TwipsPerPixelY(this)));

  List1 = new QTreeWidget(this);
  platform::PrepareListView(List1);
  platform::NameControl(List1, "List1");
  platform::SetTabIndex(List1, 0);
  platform::SetTwipsGeometry(List1, 120, 120, 3735, 300);
  List1->setFont(LayoutFont(font(), 8.25));
  List1->setColumnCount(1);
  List1->header()->setStretchLastSection(true);
  List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  CancelarG = new QPushButton(QStringLiteral("&Cancelar"), this);
  platform::NameControl(CancelarG, "CancelarG");
  platform::SetTabIndex(CancelarG, 1);
  platform::SetTwipsGeometry(CancelarG, 2040, 600, 1815, 375);
  CancelarG->setFont(LayoutFont(font(), 9.75));

  GravarG = new QPushButton(QStringLiteral("&Selecionar"), this);
  platform::NameControl(GravarG, "GravarG");
  platform::SetTabIndex(GravarG, 2);
  platform::SetTwipsGeometry(GravarG, 120, 600, 1815, 375);
  GravarG->setFont(LayoutFont(font(), 9.75));

  // Enter presses the button that has the focus, and in the list it is the
  // list's own key.
  platform::ApplyTabOrder(this);

  connect(GravarG, &QPushButton::clicked, this, [this] { GravarG_Click(); });
  connect(CancelarG, &QPushButton::clicked, this, [this] { CancelarG_Click(); });
  connect(List1, &QTreeWidget::itemDoubleClicked, this, [this] { List1_DblClick(); });
  List1->installEventFilter(this);
}

void WAlert1::GravarG_Click() {
  // With no entry selected (an empty list) the choice is none, not whatever
  // an earlier dialog left behind.
  QTreeWidgetItem* item = List1->currentItem();
  gAlertIndex =
      item && item->isSelected() ? static_cast<std::int16_t>(List1->indexOfTopLevelItem(item) + 1) : 0;
  hide();
}

void WAlert1::CancelarG_Click() {
  gAlertIndex = 0;
  hide();
}

void WAlert1::reject() {
  CancelarG_Click();
}

void WAlert1::showEvent(QShowEvent* event) {
  activated_since_shown_ = false;
  QDialog::showEvent(event);
  // On showing, Qt makes the first button the dialog's default, framed as
  // the one Enter presses; in the list Enter chooses the entry instead.
  QMetaObject::invokeMethod(
      this,
      [this] {
        for (QPushButton* button : {CancelarG, GravarG}) {
          if (!button->hasFocus()) button->setDefault(false);
        }
      },
      Qt::QueuedConnection);
}

bool WAlert1::event(QEvent* event) {
  // Qt activates the window again when the user comes back from another
  // program; only the first activation after showing is the dialog's start.
  if (event->type() == QEvent::WindowActivate && !activated_since_shown_) {
    activated_since_shown_ = true;
    Form_Activate();
  }
  return QDialog::event(event);
}

void WAlert1::Form_Activate() {
  if (List1->topLevelItemCount() == 0) return;
  List1->setCurrentItem(List1->topLevelItem(0), 0,
                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void WAlert1::List1_DblClick() {
  GravarG_Click();
}

void WAlert1::List1_KeyPress(std::int16_t& KeyAscii) {
  if (KeyAscii != 13) return;
  KeyAscii = 0;
  GravarG_Click();
}

bool WAlert1::eventFilter(QObject* watched, QEvent* event) {
  if (watched != List1 || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
    return QDialog::eventFilter(watched, event);
  // The item view would pass Return on to the dialog after handling it, and
  // a button could then fire as well: the key stops here.
  std::int16_t key_ascii = 13;
  List1_KeyPress(key_ascii);
  return true;
}

void RegisterWAlert1() {
  platform::RegisterForm("WAlert1", [] { return new WAlert1; });
}
