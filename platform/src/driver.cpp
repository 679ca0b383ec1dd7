// The driver connections open with: the ODBC one unless a test installed another.
#include "platform/driver.h"

#include <memory>
#include <mutex>

#include "session_state.h"

namespace platform {
namespace {

std::mutex driver_mutex;
std::shared_ptr<Driver> installed_driver;

}  // namespace

std::shared_ptr<Driver> CurrentDriverShared() {
  const std::lock_guard lock(driver_mutex);
  if (!installed_driver) installed_driver = MakeOdbcDriver();
  return installed_driver;
}

Driver& CurrentDriver() {
  return *CurrentDriverShared();
}

void SetDriver(std::shared_ptr<Driver> driver) {
  const std::lock_guard lock(driver_mutex);
  installed_driver = std::move(driver);
}

}  // namespace platform
