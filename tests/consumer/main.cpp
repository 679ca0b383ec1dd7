// Calls the installed libraries as another application would: a CSql connection
// to a port where nothing listens fails with an error number, and EDiv rounds.
// Exits 0 when both answer as documented.
#include <cstdint>
#include <iostream>
#include <string>

#include "platform/currency.h"
#include "platform/session.h"
#include "sqllib/csql.h"
#include "util/ediv.h"

int main() {
  int status = 0;

  platform::Connection connection;
  std::int32_t code = 0;
  std::string text;
  // Port 1 on the loopback: refused at once, so no server is needed.
  const bool opened =
      SharedCSql().CreateDBConnection(connection, "127.0.0.1,1", "master", "sa", "", 5, code, text);
  if (opened || code == 0 || text.empty()) {
    std::cerr << "CreateDBConnection: expected a failure with its number, got opened=" << opened
              << " code=" << code << " text='" << text << "'\n";
    status = 1;
  }

  const platform::Currency rounded = SharedEDiv().Arredonda(platform::Currency::FromTicks(23450), 2);
  if (rounded != platform::Currency::FromTicks(23500)) {
    std::cerr << "Arredonda(2.345, 2) gave " << rounded.ToString() << ", expected 2.35\n";
    status = 1;
  }
  if (status == 0) std::cout << "CreateDBConnection refused as expected: " << code << ' ' << text << '\n';
  return status;
}
