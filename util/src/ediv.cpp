#include "util/ediv.h"

// The instance makes no window when it is created, so it can serve the command line.
// The alert dialog is loaded for each Alert call and unloaded before it returns: a
// window held by this program-wide instance would outlive the application object.
EDiv::EDiv() {
  FillMonthNames();
}
EDiv::~EDiv() = default;

EDiv& SharedEDiv() {
  static EDiv instance;
  return instance;
}
