#include "platform/printers.h"

namespace platform {
namespace {

std::shared_ptr<PrinterServices>& Installed() {
  static std::shared_ptr<PrinterServices> printers = std::make_shared<NoPrinters>();
  return printers;
}

}  // namespace

PrinterServices& Printers() {
  return *Installed();
}

void SetPrinters(std::shared_ptr<PrinterServices> printers) {
  Installed() = printers ? std::move(printers) : std::make_shared<NoPrinters>();
}

}  // namespace platform
