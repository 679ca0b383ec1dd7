// WAlert1: the list-choice dialog behind EDiv::Alert. A list of options with
// "&Selecionar" and "&Cancelar"; the choice goes back through gAlertIndex and
// the dialog hides itself. EDiv::Alert loads it by name (RegisterWAlert1),
// fills, sizes and shows it, and unloads it afterwards.
#pragma once

#include <QDialog>
#include <cstdint>

class QPushButton;
class QTreeWidget;

class WAlert1 final : public QDialog {
 public:
  explicit WAlert1(QWidget* parent = nullptr);

  // "&Selecionar", a double-click or Enter in the list: gAlertIndex becomes the
  // 1-based position of the selected entry (0 when none is), then the dialog
  // hides.
  void GravarG_Click();
  // "&Cancelar", Escape or the window's close control: gAlertIndex becomes 0,
  // then the dialog hides.
  void CancelarG_Click();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape and the close control come here.
  void reject() override;

 private:
  // The first activation after the dialog is shown selects the first entry.
  void Form_Activate();
  void List1_DblClick();
  // Enter (13) is consumed and chooses; other keys are left to the list.
  void List1_KeyPress(std::int16_t& KeyAscii);

  QTreeWidget* List1 = nullptr;
  QPushButton* CancelarG = nullptr;
  QPushButton* GravarG = nullptr;
  bool activated_since_shown_ = false;
};

// Makes WAlert1 loadable by name; the program calls it once at start-up.
void RegisterWAlert1();
