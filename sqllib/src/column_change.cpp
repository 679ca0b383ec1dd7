// Changing the declared type of one column.
#include <exception>

#include "platform/error.h"
#include "sqllib/csql.h"

platform::Variant CSql::SQLChangeField(platform::Connection& conn, const std::string& strTable,
                                       const std::string& strField, const std::string& strTypes) {
  try {
    conn.Execute(" alter table " + strTable + " ALTER COLUMN " + strField + " " + strTypes);
    return platform::Variant(true);
  } catch (const std::exception&) {
    // The caller learns only that the change failed; the server's reason (a
    // dependent index, a value that does not convert, a closed connection) is
    // deliberately not handed back.
    return platform::Variant(false);
  }
}
