#include "sqllib/sql_quote.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

struct QuoteCase {
  const char* input;
  const char* name;
  const char* literal;
  const char* like;
};

// Plain names and values come out as the classic statements wrote them; anything
// else is bracketed, doubled or escaped so that it stays one name or one value.
constexpr QuoteCase kCases[] = {
    {"MovCliente", "MovCliente", "'MovCliente'", "'MovCliente'"},
    {"IX_DataSys", "IX_DataSys", "'IX_DataSys'", "'IX[_]DataSys'"},
    {"_wa_sys_1", "_wa_sys_1", "'_wa_sys_1'", "'[_]wa[_]sys[_]1'"},
    {"#tmp", "#tmp", "'#tmp'", "'#tmp'"},
    {"NonClusteredIndex-20240105-093000", "[NonClusteredIndex-20240105-093000]",
     "'NonClusteredIndex-20240105-093000'", "'NonClusteredIndex-20240105-093000'"},
    {"a]b", "[a]]b]", "'a]b'", "'a]b'"},
    {"O'Brien", "[O'Brien]", "'O''Brien'", "'O''Brien'"},
    {"x' or '1'='1", "[x' or '1'='1]", "'x'' or ''1''=''1'", "'x'' or ''1''=''1'"},
    {"two words", "[two words]", "'two words'", "'two words'"},
    {"1st", "[1st]", "'1st'", "'1st'"},
    {"Order", "[Order]", "'Order'", "'Order'"},
    {"index", "[index]", "'index'", "'index'"},
    {"50%[a]", "[50%[a]]]", "'50%[a]'", "'50[%][[]a]'"},
    {"Ação", "Ação", "N'Ação'", "N'Ação'"},
    {"Nº", "Nº", "N'Nº'", "N'Nº'"},
    // A symbol outside ASCII is no letter: the server would refuse it bare.
    {"N°", "[N°]", "N'N°'", "N'N°'"},
    {"Preço€", "[Preço€]", "N'Preço€'", "N'Preço€'"},
    {"", "[]", "''", "''"},
};

TEST(SqlQuote, NamesLiteralsAndPatterns) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(csql::QuoteName(c.input), c.name);
    EXPECT_EQ(csql::QuoteLiteral(c.input), c.literal);
    EXPECT_EQ(csql::QuoteLike(c.input), c.like);
  }
}

TEST(SqlQuote, ObjectNamesAsCallersHandThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"MovCliente", "MovCliente"},
      {"dbo.MovCliente", "dbo.MovCliente"},
      {"dbo.Mov Cliente", "dbo.[Mov Cliente]"},
      {"[Minha Tabela]", "[Minha Tabela]"},
      {"[a]]b].c", "[a]]b].c"},
      {"[a]b", "[[a]]b]"},
      {"[aberto", "[[aberto]"},
      {"a..b", "[a..b]"},
      {"x'; drop table y --", "[x'; drop table y --]"},
      {"a.b.c.d.e", "[a.b.c.d.e]"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(csql::QuoteObjectName(input), expected) << input;
  EXPECT_EQ(csql::BracketName("PK_Locks"), "[PK_Locks]");
  EXPECT_EQ(csql::BracketName("a]b"), "[a]]b]");
}

TEST(SqlQuote, RegularIdentifierCharacters) {
  EXPECT_TRUE(csql::IsRegularIdentifier("a@b$c#d_1"));
  EXPECT_FALSE(csql::IsRegularIdentifier("@var"));
  EXPECT_FALSE(csql::IsRegularIdentifier("$x"));
  EXPECT_FALSE(csql::IsRegularIdentifier("a.b"));
  EXPECT_FALSE(csql::IsRegularIdentifier("a\tb"));
  EXPECT_TRUE(csql::IsRegularIdentifier("ÉpocaÂÿž"));
  EXPECT_FALSE(csql::IsRegularIdentifier("a\u00A0b")) << "a no-break space";
  EXPECT_FALSE(csql::IsRegularIdentifier("Pre\xE7o")) << "Latin-1 bytes are no UTF-8";
  EXPECT_FALSE(csql::IsRegularIdentifier("x×y"));
}

}  // namespace
