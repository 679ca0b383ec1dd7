// Binding command parameters to an ODBC statement and reading output and return
// values back once the reply has been read.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "odbc/odbc_api.h"
#include "odbc/odbc_types.h"
#include "platform/driver.h"

namespace platform::odbc {

class BoundParameters {
 public:
  // The text to prepare: "{? = call name(?,?)}" or "{call name(?,?)}" for a
  // procedure, `text` itself for a statement with "?" markers.
  static std::string CallText(const std::string& text, CommandType type,
                              const std::vector<ParameterBinding>& parameters);

  // Binds `parameters` to `stmt`; for a procedure the return-value parameter goes
  // first, the others follow in their order. The buffers live in this object,
  // which must outlive the execution.
  void Bind(SQLHSTMT stmt, CommandType type, const std::vector<ParameterBinding>& parameters);

  // Writes the output and return values into `parameters` (call after every
  // result has been read: the driver fills them only then).
  void ReadOutputs(std::vector<ParameterBinding>& parameters) const;

 private:
  struct Slot {
    std::size_t parameter = 0;  // index into the caller's parameters
    const OdbcType* odbc = nullptr;
    bool output = false;
    std::vector<unsigned char> buffer;
    // An input value the driver reads in place instead of from `buffer`, kept
    // alive here until the execution ends.
    Variant in_place;
    SQLLEN indicator = 0;
  };
  std::deque<Slot> slots_;  // stable addresses: the driver keeps pointers into them
};

}  // namespace platform::odbc
