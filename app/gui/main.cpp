// tavinor: the conversion tool's window.
#include <QApplication>
#include <exception>
#include <iostream>
#include <string_view>

#include "frm_convert.h"
#include "platform/qt_ui.h"
#include "util/ediv.h"
#include "w_alert1.h"

namespace {

constexpr char kUsage[] =
    "Usage: tavinor [QT-ARGUMENT...]\n"
    "\n"
    "Opens the window of the conversion run: type the SQL Server, a login and its\n"
    "password and press Converter to bring MovCliente.DataSys to \"datetime null\" in\n"
    "every Parvimar database of that server.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Other arguments go to the Qt toolkit (see QApplication). tavinor-convert does\n"
    "the same from the command line.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so that they work without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "tavinor " << TAVINOR_VERSION << '\n';
      return 0;
    }
  }
  EDiv::SetCommandLine(argc, argv);
  try {
    QApplication application(argc, argv);
    platform::InstallQtUi();
    RegisterWAlert1();
    frmConvert window;
    window.show();
    window.activateWindow();
    return QApplication::exec();
  } catch (const std::exception& failure) {
    std::cerr << "tavinor: " << failure.what() << '\n';
    return 1;
  }
}
