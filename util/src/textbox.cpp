// EDiv: text boxes and keyboard.
#include <exception>

#include "platform/controls.h"
#include "platform/ui_services.h"
#include "try_step.h"
#include "util/ediv.h"

using util_internal::Try;

void EDiv::Sel(platform::WindowHandle hWnd) {
  // The events run between the steps let a focus change already under way
  // finish first, so that it cannot take the selection away afterwards.
  Try([] { platform::Ui().DoEvents(); });
  Try([hWnd] { platform::Toolkit().SetFocus(hWnd); });
  Try([] { platform::Ui().DoEvents(); });
  Try([hWnd] { platform::Toolkit().SetSelection(hWnd, 0, -1); });
}
