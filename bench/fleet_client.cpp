// fleet_client: one conversion run against a server, with a silent window, and
// what it cost this process, as one JSON line on standard output:
//   {"status":"completed","databases":N,"detected":D,"failed":F,"wall_seconds":W,
//    "user_seconds":U,"system_seconds":S,"cpu_seconds":C,"peak_rss_kib":R,"ru_maxrss_kib":M}
// "databases" counts the databases the run went into (its progress captions);
// wall time covers the run only, CPU time and peak resident memory the whole
// process, start-up and the driver's loading included. Peak memory is the
// kernel's high-water mark of this program's own address space (VmHWM):
// ru_maxrss would also count the resident size of the process that started it,
// which Linux carries over through fork and exec.
// Usage: fleet_client --server HOST,PORT --login LOGIN [--dry-run] [--keep-dependents]
//        (password: first line of stdin)
// --dry-run plans instead of converting ("detected" and "failed" are then the
// predictions); --keep-dependents creates the dependents of DataSys again.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/conversion_plan.h"
#include "app/conversion_run.h"
#include "platform/ui_services.h"

namespace {

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// VmHWM from /proc/self/status, in KiB; -1 when it cannot be read.
long PeakResidentKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

long CountNames(const std::string& list) {
  return static_cast<long>(std::count(list.begin(), list.end(), ';'));
}

int Usage() {
  std::cerr
      << "usage: fleet_client --server HOST,PORT --login LOGIN [--dry-run] [--keep-dependents]  (password: "
         "first line of stdin)\n";
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::string server, login;
  bool dry_run = false;
  app::ConversionOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dry-run") {
      dry_run = true;
      continue;
    }
    if (arg == "--keep-dependents") {
      options.keep_dependents = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    if (arg == "--server") {
      server = argv[++i];
    } else if (arg == "--login") {
      login = argv[++i];
    } else {
      return Usage();
    }
  }
  if (server.empty() || login.empty()) return Usage();
  std::string password;
  std::getline(std::cin, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();

  // The closing message boxes are kept, not shown: two boxes whatever the fleet's size.
  auto ui = std::make_shared<platform::RecordingUi>();
  platform::SetUi(ui);
  long databases = 0;
  app::FixedFieldsView view(server, login, password, [&databases](const std::string&) { ++databases; });

  const auto start = std::chrono::steady_clock::now();
  const app::ConversionOutcome outcome = dry_run ? app::PlanConversion(
                                                       view, [](const app::DatabasePlan&) {}, options)
                                                 : app::RunConversion(view, options);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const bool completed = outcome.status == app::ConversionOutcome::Status::kCompleted;
  std::printf(
      "{\"status\":\"%s\",\"databases\":%ld,\"detected\":%ld,\"failed\":%ld,\"wall_seconds\":%.6f,"
      "\"user_seconds\":%.6f,\"system_seconds\":%.6f,\"cpu_seconds\":%.6f,\"peak_rss_kib\":%ld,"
      "\"ru_maxrss_kib\":%ld}\n",
      completed ? "completed" : "connection_failed", databases, CountNames(outcome.detected_list),
      CountNames(outcome.failed_list), wall.count(), Seconds(usage.ru_utime), Seconds(usage.ru_stime),
      Seconds(usage.ru_utime) + Seconds(usage.ru_stime), PeakResidentKib(), usage.ru_maxrss);
  return completed ? 0 : 2;
}
