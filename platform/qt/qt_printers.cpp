// Printers over Qt Print Support, with the default orientation from CUPS.
#include <cups/cups.h>

#include <QPageSize>
#include <QPrinterInfo>
#include <QString>
#include <cstring>
#include <memory>

#include "platform/qt_ui.h"

namespace platform {
namespace {

// "printer" or "printer/instance", as CUPS names its destinations.
std::int16_t CupsOrientation(const std::string& name) {
  const auto slash = name.find('/');
  const std::string queue = name.substr(0, slash);
  const std::string instance = slash == std::string::npos ? std::string() : name.substr(slash + 1);
  std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)> dest(
      cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), instance.empty() ? nullptr : instance.c_str()),
      [](cups_dest_t* d) { cupsFreeDests(1, d); });
  if (!dest) return kOrientationPortrait;
  // The user's own default (lpoptions) or the queue's, as the destination
  // carries it; IPP numbers the orientations 3 portrait, 4 landscape, 5 reverse
  // landscape, 6 reverse portrait.
  const char* value = cupsGetOption(CUPS_ORIENTATION, dest->num_options, dest->options);
  if (value == nullptr)
    value = cupsGetOption("orientation-requested-default", dest->num_options, dest->options);
  if (value != nullptr &&
      (std::strcmp(value, CUPS_ORIENTATION_LANDSCAPE) == 0 || std::strcmp(value, "5") == 0)) {
    return kOrientationLandscape;
  }
  return kOrientationPortrait;
}

}  // namespace

std::optional<PrinterSettings> QtPrinters::Settings(const std::string& name) {
  const QPrinterInfo printer = QPrinterInfo::printerInfo(QString::fromStdString(name));
  if (printer.isNull()) return std::nullopt;
  PrinterSettings settings;
  const QPageSize page = printer.defaultPageSize();
  if (page.isValid()) {
    const int code = page.windowsId();
    settings.paper_size = code > 0 && code < 0x8000 ? static_cast<std::int16_t>(code) : kPaperUserDefined;
  }
  settings.orientation = CupsOrientation(name);
  return settings;
}

}  // namespace platform
