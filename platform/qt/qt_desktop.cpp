// The desktop services of QtUi: the folder dialog and the beep.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QString>
#include <QStringList>

#include "platform/qt_ui.h"

namespace platform {

std::string QtUi::BrowseForFolder(WindowHandle owner, const std::string& prompt) {
  QWidget* parent = WidgetOf(owner);
  if (parent == nullptr) parent = QApplication::activeWindow();
  QFileDialog dialog(parent, QString::fromStdString(prompt));
  // Folders of the file system only, as the classic dialog offered them.
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  return QDir::toNativeSeparators(chosen.first()).toStdString();
}

void QtUi::Beep() {
  QApplication::beep();
}

}  // namespace platform
