// Drives EDiv::Alert's modal dialog from a timer: waits until WAlert1 is up
// and active, then lets the test act on it as the user would.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/qt_ui.h"
#include "util/ediv.h"

namespace testsupport {

inline QWidget* ShownAlert() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == QLatin1String("WAlert1") && window->isVisible() && window->isActiveWindow()) {
      return window;
    }
  }
  return nullptr;
}

// Runs Alert with `options`; `act` runs once the dialog is active and must
// close it. The dialog is closed with its close control if `act` leaves it up.
inline std::int16_t RunAlert(const std::vector<std::string>& options,
                             const std::function<void(QWidget*)>& act, const std::string& title = "Escolha") {
  platform::VariantArray array;
  for (const std::string& option : options) array.items.emplace_back(option);
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, &act] {
    QWidget* dialog = ShownAlert();
    if (!dialog) return;
    poll->stop();
    act(dialog);
    if (dialog->isVisible()) dialog->close();
  });
  poll->start();
  const std::int16_t choice = SharedEDiv().Alert(title, array);
  delete poll;
  return choice;
}

inline QTreeWidget* AlertList(QWidget* dialog) {
  return dialog->findChild<QTreeWidget*>(QStringLiteral("List1"));
}

// The dialog's geometry against its layout rules, in twips: entries x 300 for
// the list, the buttons 100 below it, the dialog 700 taller than list and
// button, centred on the screen; within one pixel at 15 twips to the pixel.
inline void ExpectAlertGeometry(QWidget* dialog, int entries) {
  using platform::HandleOf;
  using platform::Toolkit;
  auto twips = [](QWidget* widget, const char* member) {
    return Toolkit().GetMember(HandleOf(widget), member).ToDouble();
  };
  QWidget* list = dialog->findChild<QWidget*>(QStringLiteral("List1"));
  QWidget* cancel = dialog->findChild<QWidget*>(QStringLiteral("CancelarG"));
  QWidget* choose = dialog->findChild<QWidget*>(QStringLiteral("GravarG"));
  const double list_height = entries * 300.0;
  EXPECT_NEAR(twips(list, "Height"), list_height, 15);
  EXPECT_NEAR(twips(cancel, "Top"), 120 + list_height + 100, 15);
  EXPECT_NEAR(twips(choose, "Top"), 120 + list_height + 100, 15);
  EXPECT_NEAR(twips(cancel, "Left") - twips(choose, "Left"), 2040 - 120, 15) << "side by side";
  const double height = list_height + 375 + 700;
  EXPECT_NEAR(twips(dialog, "Height"), height, 15);
  EXPECT_NEAR(twips(dialog, "Top"), (Toolkit().ScreenHeightTwips() - height) / 2, 15);
  EXPECT_NEAR(twips(dialog, "Left"), (Toolkit().ScreenWidthTwips() - twips(dialog, "Width")) / 2, 15);
}

}  // namespace testsupport
