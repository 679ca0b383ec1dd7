// The conversion run with several databases under way at once, for the command
// line: each worker has its own connection and converts one database at a time,
// each database in one transaction, with the same statements in the same order as
// the sequential run. The database list is read once, on the master connection.
//
// What the run shows is the sequential run's: the names go to the view's progress
// caption in the list's order, the closing messages (or the connection error that
// ends the run) come after every worker has finished, and the lists keep the
// list's order. A database's statements are sent only once every database before
// it in the list has been connected to, so a connection failure leaves exactly the
// databases the sequential run would have left untouched, even those other
// workers had already connected to.
#pragma once

#include "app/conversion_run.h"
#include "app/run_control.h"

namespace app {

// `jobs` (at least 1) databases at once. With one, the run sends exactly what
// RunConversion sends. After `control` asks to stop, no new database is taken:
// those under way finish (or end rolled back when the control aborts them), the
// outcome says interrupted and no closing message is shown. `options` are the
// sequential run's.
ConversionOutcome RunConversionInParallel(ConversionView& view, int jobs, const RunControl& control,
                                          const ConversionOptions& options = {});

}  // namespace app
