// EDiv: text boxes and keyboard.
#include <exception>

#include "platform/controls.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

namespace {

// Runs one step; a failure skips it and the next step still runs.
template <typename Step>
void Try(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace

void EDiv::Sel(platform::WindowHandle hWnd) {
  // The events run between the steps let a focus change already under way
  // finish first, so that it cannot take the selection away afterwards.
  Try([] { platform::Ui().DoEvents(); });
  Try([hWnd] { platform::Toolkit().SetFocus(hWnd); });
  Try([] { platform::Ui().DoEvents(); });
  Try([hWnd] { platform::Toolkit().SetSelection(hWnd, 0, -1); });
}
