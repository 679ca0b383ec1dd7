#include "util/ediv.h"

EDiv::EDiv() = default;
EDiv::~EDiv() = default;

EDiv& SharedEDiv() {
  static EDiv instance;
  return instance;
}
