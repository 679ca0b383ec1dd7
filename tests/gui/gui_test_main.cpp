// Runs the window tests on Qt's offscreen platform: no display needed, and a
// screen of 96 logical dots per inch, 15 twips to the pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "platform/qt_ui.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Settings written by the tests go to a test folder, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  platform::InstallQtUi();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
