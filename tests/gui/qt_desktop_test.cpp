// The folder dialog of the Qt UI services, driven as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/qt_ui.h"
#include "util/ediv.h"

namespace {

// Runs BrowseForFolder; `act` gets the dialog once it is up and must close it.
std::string Browse(platform::WindowHandle owner, const std::function<void(QFileDialog*)>& act) {
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&poll, &act] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    poll.stop();
    act(dialog);
  });
  poll.start();
  return SharedEDiv().BrowseForFolder(owner, "Pasta das cópias");
}

class QtFolderDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = std::make_unique<QWidget>();
    owner_->show();
  }
  std::unique_ptr<QWidget> owner_;
};

TEST_F(QtFolderDialogTest, AcceptedGivesTheFolderAndTheDialogBelongsToTheOwner) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QWidget* parent = nullptr;
  QString title;
  bool folders_only = false;
  const std::string chosen = Browse(platform::HandleOf(owner_.get()), [&](QFileDialog* dialog) {
    parent = dialog->parentWidget();
    title = dialog->windowTitle();
    folders_only =
        dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
    dialog->setDirectory(folder.path());
    static_cast<QDialog*>(dialog)->accept();  // protected in QFileDialog, public in QDialog
  });
  EXPECT_EQ(QDir(QString::fromStdString(chosen)).canonicalPath(), QDir(folder.path()).canonicalPath());
  EXPECT_EQ(parent, owner_.get());
  EXPECT_EQ(title, QStringLiteral("Pasta das cópias"));
  EXPECT_TRUE(folders_only);
}

TEST_F(QtFolderDialogTest, CancelledGivesNothing) {
  const std::string chosen =
      Browse(platform::HandleOf(owner_.get()), [](QFileDialog* dialog) { dialog->reject(); });
  EXPECT_EQ(chosen, "");
}

}  // namespace
