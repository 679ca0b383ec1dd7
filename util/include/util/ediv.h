// EDiv: the general utility class shared by the applications built on the library.
// One shared instance, created on first use (SharedEDiv) and living until the
// program ends. Its operations are grouped by area; each area's code lives in its
// own source file under util/src/.
#pragma once

#include <cstdint>
#include <string>

#include "platform/controls.h"
#include "platform/currency.h"
#include "platform/variant.h"

class EDiv {
 public:
  EDiv();
  ~EDiv();
  EDiv(const EDiv&) = delete;
  EDiv& operator=(const EDiv&) = delete;

  // ---- Text boxes and keyboard (textbox.cpp) ----

  // Gives the text box `hWnd` the focus and selects its whole text, so that
  // typing replaces the value; pending window events run before and after the
  // focus moves. Each step that fails (no such window, not a text box) is
  // skipped; nothing is raised.
  void Sel(platform::WindowHandle hWnd);

  // ---- Rounding (rounding.cpp) ----

  // ---- Strings, numbers and scrambling (strings.cpp) ----

  // ---- Dates and calendar names (dates.cpp) ----

 private:
};

// The shared instance, created on first call.
EDiv& SharedEDiv();
