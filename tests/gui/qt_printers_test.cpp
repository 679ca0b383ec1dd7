// The printers as Qt Print Support and CUPS tell them.
#include <gtest/gtest.h>

#include <QPrinterInfo>
#include <QString>

#include "platform/qt_ui.h"
#include "util/ediv.h"

namespace {

TEST(QtPrinters, ANameNoPrinterHasGivesFalseAndZeros) {
  // The installed printer services are these (InstallQtUi); no printer has this name.
  const std::string name = "tavinor-no-such-printer-7f3a";
  EXPECT_FALSE(platform::QtPrinters().Settings(name).has_value());
  std::int16_t paper = 9;
  std::int16_t orientation = 2;
  EXPECT_FALSE(SharedEDiv().GetPrinterSettings(name, 0, paper, orientation));
  EXPECT_EQ(paper, 0);
  EXPECT_EQ(orientation, 0);
}

TEST(QtPrinters, EveryPrinterOfTheMachineHasAPaperAndAnOrientation) {
  const QStringList names = QPrinterInfo::availablePrinterNames();
  if (names.isEmpty()) GTEST_SKIP() << "this machine has no printer";
  for (const QString& name : names) {
    std::int16_t paper = 0;
    std::int16_t orientation = 0;
    EXPECT_TRUE(SharedEDiv().GetPrinterSettings(name.toStdString(), 0, paper, orientation))
        << name.toStdString();
    EXPECT_GE(paper, 0);
    EXPECT_TRUE(orientation == 1 || orientation == 2) << orientation;
  }
}

}  // namespace
