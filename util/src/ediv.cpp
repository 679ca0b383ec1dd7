#include "util/ediv.h"

// The instance makes no window when it is created, so it can serve the command line;
// the alert-list window is made when it is first needed.
EDiv::EDiv() {
  FillMonthNames();
}
EDiv::~EDiv() = default;

EDiv& SharedEDiv() {
  static EDiv instance;
  return instance;
}
