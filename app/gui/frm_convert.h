// frmConvert: the program's main window. It collects the server name, login and
// password, starts the conversion run and shows the run's progress; closing it
// ends the program.
#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "app/conversion_run.h"

class QLabel;
class QLineEdit;
class QPushButton;

class frmConvert final : public QWidget, public app::ConversionView {
 public:
  explicit frmConvert(QWidget* parent = nullptr);

  // The run's view of the window: the three fields as they read now, the
  // repaint and the progress label.
  std::string ServerText() override;
  std::string LoginText() override;
  std::string PasswordText() override;
  void Refresh() override;
  // Shows `caption` in lblConverte and repaints the label at once, so the name
  // of the database being converted is seen while the run holds the window.
  void SetProgressCaption(const std::string& caption) override;

  // "&Converter": runs the conversion to its end. The window takes no input
  // meanwhile, and a click that arrives while a run is under way does nothing.
  void cmdConverter_Click();
  // "&Fechar": unloads the window, which ends the program.
  void cmdFechar_Click();

  // True while a conversion run is under way.
  [[nodiscard]] bool Running() const { return running_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void txtSQLServer_GotFocus();
  void txtSQLLogin_GotFocus();
  void txtSQLPassword_GotFocus();

  std::array<QLabel*, 3> Label1{};
  QLineEdit* txtSQLServer = nullptr;
  QLineEdit* txtSQLLogin = nullptr;
  QLineEdit* txtSQLPassword = nullptr;
  QPushButton* cmdConverter = nullptr;
  QPushButton* cmdFechar = nullptr;
  QLabel* lblConverte = nullptr;
  bool running_ = false;
  // True once a text box has had the focus.
  bool activated_ = false;
};
