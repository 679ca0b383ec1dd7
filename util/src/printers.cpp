// Printer helpers: a printer's default paper and orientation, the list of paper
// sizes offered, and the discontinued operations of the old printing component.
#include "platform/printers.h"

#include <optional>
#include <string>

#include "platform/ui_services.h"
#include "util/ediv.h"

bool EDiv::GetPrinterSettings(const std::string& szPrinterName, std::int32_t /*hDC*/, std::int16_t& PaperSize,
                              std::int16_t& PaperOrientation) const {
  const std::optional<platform::PrinterSettings> settings = platform::Printers().Settings(szPrinterName);
  if (!settings) {
    PaperSize = 0;
    PaperOrientation = 0;
    return false;
  }
  PaperSize = settings->paper_size;
  PaperOrientation = settings->orientation;
  return true;
}

bool EDiv::GetPrinterSettings(const std::string& szPrinterName, std::int32_t hDC,
                              std::int16_t& PaperSize) const {
  std::int16_t orientation = 0;
  return GetPrinterSettings(szPrinterName, hDC, PaperSize, orientation);
}

std::string EDiv::FillListaPrinterPaperSize() const {
  return "9:A4 210x297mm;40:Letter 8.5x12;1:Letter 8.5x11;3:Tabloid 11x17;11:A5 148x210;256:Definido;";
}

bool EDiv::SetImpressoraDefault(const std::string& /*PrinterName*/) const {
  return false;
}

std::int16_t EDiv::FastPSizeofString(const platform::Variant& /*FastP*/,
                                     const std::string& /*strString*/) const {
  // Text measuring moved to the printing component; a developer still calling
  // this is told so, a user never sees it.
  if (SharedEDiv().ISDesign()) {
    platform::MsgBox("Esta Função Foi Descontinuada Desde o Uso do VsPrinter!", platform::kMsgBoxCritical);
  }
  return 0;
}
