// Runs the window tests on Qt's offscreen platform: no display needed, and a
// screen of 96 logical dots per inch, 15 twips to the pixel. TAVINOR_GUI_PLATFORM
// chooses another (xcb under Xvfb, for the screenshots).
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "platform/qt_ui.h"
#include "w_alert1.h"

int main(int argc, char** argv) {
  const QByteArray platform_name = qgetenv("TAVINOR_GUI_PLATFORM");
  qputenv("QT_QPA_PLATFORM", platform_name.isEmpty() ? QByteArray("offscreen") : platform_name);
  // Settings written by the tests go to a test folder, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  platform::InstallQtUi();
  RegisterWAlert1();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
