#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "open_connection_test.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

class CreateStoredProceduresTest : public testsupport::OpenConnectionTest {
 protected:
  void Listing(std::vector<std::pair<const char*, const char*>> procedures) {
    std::vector<std::vector<Variant>> rows;
    for (const auto& [owner, name] : procedures) {
      rows.push_back({Variant("db"), Variant(owner), Variant(name), Variant(std::int32_t{-1}),
                      Variant(std::int32_t{-1}), Variant(std::int32_t{-1}), Variant::Null(),
                      Variant(std::int16_t{2})});
    }
    driver_->OnExecute(
        "db", "sp_stored_procedures",
        Reply({Table({"PROCEDURE_QUALIFIER", "PROCEDURE_OWNER", "PROCEDURE_NAME", "NUM_INPUT_PARAMS",
                      "NUM_OUTPUT_PARAMS", "NUM_RESULT_SETS", "REMARKS", "PROCEDURE_TYPE"},
                     std::move(rows))}));
  }
  // What was sent after the listing.
  std::vector<std::string> Sent() {
    auto sent = driver_->Statements("db");
    EXPECT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "sp_stored_procedures");
    return {sent.begin() + 1, sent.end()};
  }
  platform::Variant Install(const std::string& script) {
    return SharedCSql().CreateStoredProcedures(conn_, script);
  }
};

TEST_F(CreateStoredProceduresTest, DropsWhatTheDatabaseOwnsByOwnerAndWholeName) {
  Listing({{"dbo", "GetAcessoPrincipal;1"},
           {"vendas", "Fecho Mês;10"},
           {"sys", "sp_droprole;1"},
           {"INFORMATION_SCHEMA", "x;1"},
           {"dbo", "fnTotal;0"},
           {"dbo", "a]b;1"}});
  driver_->FailExecute("db", "Drop Procedure [vendas].[Fecho Mês]",
                       Error(3701, "Cannot drop the procedure."));
  EXPECT_TRUE(Install("").IsEmpty());
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{"Drop Procedure [dbo].[GetAcessoPrincipal]",
                                      "Drop Procedure [vendas].[Fecho Mês]", "Drop Procedure [dbo].[a]]b]"}));
}

TEST_F(CreateStoredProceduresTest, SplitsAtGoLinesInCodeOnly) {
  const std::string script =
      "SET QUOTED_IDENTIFIER ON\r\nGO\r\n"
      "-- a primeira\r\n/* nota: create nada aqui\r\nGO\r\n*/\r\nCREATE PROCEDURE A AS SELECT 1\r\nGO\r\n"
      "create procedure B as select 'linha\r\nGO\r\nainda a string'\r\nGO\r\n"
      "GRANT EXECUTE ON A TO public\r\nGO\r\n"
      "Create Procedure [C\r\nGO\r\n] as select 2 -- fim\r\nGO";
  Install(script);
  EXPECT_EQ(Sent(), (std::vector<std::string>{
                        "CREATE PROCEDURE A AS SELECT 1",
                        "create procedure B as select 'linha\r\nGO\r\nainda a string'",
                        "Create Procedure [C\r\nGO\r\n] as select 2 -- fim",
                    }));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(CreateStoredProceduresTest, OnlyExactGoLinesSeparate) {
  struct Case {
    const char* script;
    std::vector<std::string> sent;
  } cases[] = {
      // Lower-case go is no separator: one batch from the first CREATE on.
      {"create procedure A as select 1\r\ngo\r\ncreate procedure B as select 2",
       {"create procedure A as select 1\r\ngo\r\ncreate procedure B as select 2"}},
      {"CREATE PROCEDURE A AS SELECT 1\r\n GO \r\nx", {"CREATE PROCEDURE A AS SELECT 1\r\n GO \r\nx"}},
      {"GO\r\nCREATE PROCEDURE A AS SELECT 1", {"CREATE PROCEDURE A AS SELECT 1"}},
      {"CREATE PROCEDURE A AS SELECT 1\r\nGO\r\nGO\r\nCREATE PROCEDURE B AS SELECT 2\r\nGO\r\n",
       {"CREATE PROCEDURE A AS SELECT 1", "CREATE PROCEDURE B AS SELECT 2"}},
      // CREATE as a whole word in code: not inside a name, a string or a comment.
      {"EXEC recreate_all -- create\r\nSELECT '[create' AS [create] CREATE VIEW V AS SELECT 1",
       {"CREATE VIEW V AS SELECT 1"}},
      // A script saved with a byte-order mark is sent from its CREATE, without the mark.
      {"\xEF\xBB\xBF"
       "CREATE PROCEDURE A AS SELECT 1\r\nGO\r\n",
       {"CREATE PROCEDURE A AS SELECT 1"}},
      // Line ends written on Linux (LF alone) or mixed separate as CR LF does; a GO
      // run into other text or in lower case still does not.
      {"CREATE PROCEDURE A AS SELECT 1\nGO\nCREATE PROCEDURE B AS SELECT 2\r\nGO\nCREATE PROCEDURE C AS\n"
       "SELECT 3\nGO",
       {"CREATE PROCEDURE A AS SELECT 1", "CREATE PROCEDURE B AS SELECT 2",
        "CREATE PROCEDURE C AS\nSELECT 3"}},
      {"CREATE PROCEDURE A AS SELECT 1\nGOX\ngo\nCREATE PROCEDURE B AS SELECT 2",
       {"CREATE PROCEDURE A AS SELECT 1\nGOX\ngo\nCREATE PROCEDURE B AS SELECT 2"}},
      {"CREATE PROCEDURE A AS SELECT '\nGO\n' /*\nGO\n*/\nGO\n",
       {"CREATE PROCEDURE A AS SELECT '\nGO\n' /*\nGO\n*/"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    platform::Connection conn;
    conn.Open("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv");
    SharedCSql().CreateStoredProcedures(conn, c.script);
    std::vector<std::string> expected{"sp_stored_procedures"};
    expected.insert(expected.end(), c.sent.begin(), c.sent.end());
    EXPECT_EQ(fresh->Statements("db"), expected) << c.script;
  }
}

TEST_F(CreateStoredProceduresTest, AFailedBatchDoesNotStopTheNext) {
  driver_->FailExecute("db", "sp_stored_procedures", Error(229, "The EXECUTE permission was denied."));
  driver_->FailExecute("db", "CREATE PROCEDURE A AS SELECT 1",
                       Error(2714, "There is already an object named 'A' in the database."));
  EXPECT_TRUE(Install("CREATE PROCEDURE A AS SELECT 1\r\nGO\r\nCREATE PROCEDURE B AS SELECT 2").IsEmpty());
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{"CREATE PROCEDURE A AS SELECT 1", "CREATE PROCEDURE B AS SELECT 2"}));
  EXPECT_TRUE(ui_->boxes.empty());
}

}  // namespace
