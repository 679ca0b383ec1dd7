// tavinor: the conversion tool's window.
#include <QApplication>
#include <exception>
#include <iostream>

#include "frm_convert.h"
#include "platform/qt_ui.h"
#include "util/ediv.h"
#include "w_alert1.h"

int main(int argc, char** argv) {
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
