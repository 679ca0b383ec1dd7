// The statements of the conversion run as the server must receive them, for tests
// that script or check them: the run's own list.
#pragma once

#include "app/conversion_statements.h"

namespace testsupport {

using app::kAlterDataSys;
using app::kDatabaseListQuery;
using app::kTypeQuery;

}  // namespace testsupport
