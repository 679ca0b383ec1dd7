// Changing the declared type of one column.
#include <exception>

#include "platform/error.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

platform::Variant CSql::SQLChangeField(platform::Connection& conn, const std::string& strTable,
                                       const std::string& strField, const std::string& strTypes) {
  try {
    // Names go in as the other schema changes write them: bare when regular,
    // bracketed otherwise, so a name with a space or a quote stays one name.
    conn.Execute(" alter table " + csql::QuoteObjectName(strTable) + " ALTER COLUMN " +
                 csql::QuoteObjectName(strField) + " " + strTypes);
    return platform::Variant(true);
  } catch (const std::exception&) {
    // The caller learns only that the change failed; the server's reason (a
    // dependent index, a value that does not convert, a closed connection) is
    // deliberately not handed back.
    return platform::Variant(false);
  }
}
