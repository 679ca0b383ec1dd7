// EDiv: the general utility class shared by the applications built on the library.
// One shared instance, created on first use (SharedEDiv) and living until the
// program ends. Its operations are grouped by area; each area's code lives in its
// own source file under util/src/.
#pragma once

#include <cstdint>
#include <string>

#include "platform/currency.h"
#include "platform/variant.h"

class EDiv {
 public:
  EDiv();
  ~EDiv();
  EDiv(const EDiv&) = delete;
  EDiv& operator=(const EDiv&) = delete;

  // ---- Text boxes and keyboard (textbox.cpp) ----

  // ---- Rounding (rounding.cpp) ----

  // ---- Strings, numbers and scrambling (strings.cpp) ----

  // ---- Dates and calendar names (dates.cpp) ----

 private:
};

// The shared instance, created on first call.
EDiv& SharedEDiv();
