// The dry run: what the conversion run would do in each database, and whether it
// would succeed, read from the same lists the run reads plus a few catalogue
// queries. It sends nothing that changes anything.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/conversion_run.h"
#include "platform/session.h"

namespace app {

struct DatabasePlan {
  enum class Prediction { kAlreadyConverted, kWillConvert, kWillFail };
  std::string name;
  std::vector<std::string> types;  // the type query's rows
  Prediction prediction = Prediction::kWillConvert;
  std::vector<std::string> statements;  // what the run would send, in order
  std::vector<std::string> reasons;     // why it would fail
  std::vector<std::string> findings;    // checks that could not be made, and why
  std::int64_t unconvertible_values = 0;
  std::vector<std::string> examples;  // up to five values that will not convert
};

// Plans one database on its open connection, for the run that `options` asks for.
DatabasePlan PlanDatabase(platform::Connection& database, const std::string& name,
                          const ConversionOptions& options = {});

// Plans every Parvimar database as the run would walk them; `on_plan` gets each in
// the server's order. The outcome's lists name the databases predicted to need the
// change and those predicted to fail, as the run's own lists would. Once `control`
// (when given) asks to stop, no further database is planned.
ConversionOutcome PlanConversion(ConversionView& view,
                                 const std::function<void(const DatabasePlan&)>& on_plan,
                                 const ConversionOptions& options = {}, const RunControl* control = nullptr);

// "already converted", "will convert" or "will fail".
const char* PredictionText(DatabasePlan::Prediction prediction);

}  // namespace app
