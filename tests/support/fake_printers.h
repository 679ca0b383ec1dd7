// Printers held in memory, for tests: each name answers the settings given it,
// and every name asked for is logged.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/printers.h"

namespace testsupport {

class FakePrinters final : public platform::PrinterServices {
 public:
  std::optional<platform::PrinterSettings> Settings(const std::string& name) override {
    asked.push_back(name);
    const auto found = printers.find(name);
    if (found == printers.end()) return std::nullopt;
    return found->second;
  }

  std::map<std::string, platform::PrinterSettings> printers;
  std::vector<std::string> asked;
};

}  // namespace testsupport
