// The printers of the computer as the library code sees them: a printer's default
// paper and orientation, looked up by name. The window installs the Qt and CUPS
// implementation (platform/qt_ui.h); a program without it knows no printer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// The classic paper number of a size that has none of its own (a user-defined size).
inline constexpr std::int16_t kPaperUserDefined = 256;
// The classic orientation numbers.
inline constexpr std::int16_t kOrientationPortrait = 1;
inline constexpr std::int16_t kOrientationLandscape = 2;

// A printer's defaults as the classic printer record gives them.
struct PrinterSettings {
  // The classic paper number (9 A4, 1 Letter, 11 A5, ...); kPaperUserDefined for
  // a size without one; 0 when the printer names no valid size.
  std::int16_t paper_size = 0;
  // kOrientationPortrait or kOrientationLandscape.
  std::int16_t orientation = kOrientationPortrait;
};

class PrinterServices {
 public:
  virtual ~PrinterServices() = default;
  // The defaults of the printer named `name` (exactly as the system names it);
  // nullopt when no printer has that name.
  virtual std::optional<PrinterSettings> Settings(const std::string& name) = 0;
};

// Knows no printer: every name gives nullopt.
class NoPrinters final : public PrinterServices {
 public:
  std::optional<PrinterSettings> Settings(const std::string& /*name*/) override { return std::nullopt; }
};

// The printers in use; NoPrinters until others are installed.
PrinterServices& Printers();
// Installs `printers`; nullptr restores NoPrinters.
void SetPrinters(std::shared_ptr<PrinterServices> printers);

}  // namespace platform
