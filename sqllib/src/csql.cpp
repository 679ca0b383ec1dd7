#include "sqllib/csql.h"

CSql& SharedCSql() {
  static CSql instance;
  return instance;
}
