// Reading the whole reply of an executed statement: every result, with its
// columns, rows and information messages, until the driver reports no more.
#pragma once

#include <string>
#include <vector>

#include "odbc/odbc_api.h"
#include "platform/driver.h"

namespace platform::odbc {

// `exec_rc` is what SQLExecDirectW/SQLExecute returned (already checked), and
// `messages` the information messages that came with it. Throws Error when the
// reply fails before its first result.
BatchReply ReadReply(SQLHSTMT stmt, SQLRETURN exec_rc, std::vector<std::string> messages);

}  // namespace platform::odbc
