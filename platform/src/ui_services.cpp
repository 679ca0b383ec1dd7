#include "platform/ui_services.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "platform/error.h"

namespace platform {
namespace {

std::shared_ptr<UiServices>& Installed() {
  static std::shared_ptr<UiServices> services = std::make_shared<ConsoleUi>();
  return services;
}

}  // namespace

UiServices& Ui() {
  return *Installed();
}

void SetUi(std::shared_ptr<UiServices> services) {
  Installed() = services ? std::move(services) : std::make_shared<ConsoleUi>();
}

void MsgBox(const std::string& text, int style, const std::string& title) {
  Ui().MsgBox(text, style, title.empty() ? kAppTitle : title);
}

void ShowError(std::int32_t number, const std::string& text) {
  MsgBox(std::to_string(number) + "\r" + text, kMsgBoxCritical);
}

void ShowError(const std::exception& failure) {
  if (const auto* error = dynamic_cast<const Error*>(&failure)) {
    ShowError(error->Number(), error->Description());
  } else {
    MsgBox(failure.what(), kMsgBoxCritical);
  }
}

void ConsoleUi::MsgBox(const std::string& text, int style, const std::string& /*title*/) {
  // Message texts break lines with a lone carriage return; a terminal wants "\n".
  std::string lines = text;
  std::replace(lines.begin(), lines.end(), '\r', '\n');
  std::ostream& out = style == kMsgBoxCritical ? std::cerr : information_;
  out << lines << '\n' << std::flush;
}

void ConsoleUi::Beep() {
  if (isatty(STDERR_FILENO) == 1) std::cerr << '\a' << std::flush;
}

}  // namespace platform
