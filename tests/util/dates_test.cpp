#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/date.h"
#include "platform/variant.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

TEST(Dates, MonthAndWeekdayNames) {
  struct Case {
    bool month;
    std::int16_t index;
    bool full;
    std::string name;
  } cases[] = {
      {true, 1, true, "Janeiro"},
      {true, 3, true, "Março"},
      {true, 3, false, "Mar"},
      {true, 12, false, "Dez"},
      {true, 13, true, "13 - Não Definido"},
      {true, 13, false, "13 - Não Definido"},
      {true, 0, false, "0 - Não Definido"},
      {true, -1, true, "-1 - Não Definido"},
      {false, 1, false, "Dom"},
      {false, 2, true, "Segunda Feira"},
      {false, 7, true, "Sábado"},
      {false, 7, false, "Sáb"},
      {false, 0, true, "0 - Não Defenido"},
      {false, 8, false, "8 - Não Defenido"},
  };
  EDiv e;
  for (const Case& c : cases) {
    EXPECT_EQ(c.month ? e.Meses(c.index, c.full) : e.Dias(c.index, c.full), c.name) << c.index;
  }
  EXPECT_EQ(e.Meses(2), "Fev");
  EXPECT_EQ(e.Dias(4), "Qua");
}

TEST(Dates, MonthNameTableIsFilledOnCreation) {
  const EDiv e;
  for (std::int16_t month = 1; month <= 12; ++month) EXPECT_EQ(e.MesesStr(month), e.Meses(month, true));
  EXPECT_EQ(e.MesesStr(12), "Dezembro");
  EXPECT_EQ(ErrorNumber([&] { (void)e.MesesStr(0); }), platform::kErrSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumber([&] { (void)e.MesesStr(13); }), platform::kErrSubscriptOutOfRange);
}

TEST(Dates, DataExtensoWritesTheDateInWords) {
  struct Case {
    std::string text, words;
  } cases[] = {
      {"2010-03-05", "05 de Março de 2010"},
      {"2010/13/01", "01 de 13 - Não Definido de 2010"},
      {"1999-12-31  ", "   de Dezembro de 1999"},
      // Trimmed it is 10 characters long, but the parts come from the text as given.
      {" 2010-03-05", "05 de 0 - Não Definido de  201"},
      {"", ""},
      {"2010-03-0", ""},
      {"2010-03-051", ""},
  };
  EDiv e;
  for (const Case& c : cases) EXPECT_EQ(e.DataExtenso(c.text), c.words) << c.text;
  EXPECT_EQ(ErrorNumber([&] { (void)e.DataExtenso("2010-ab-05"); }), platform::kErrTypeMismatch);
}

TEST(Dates, DataToMinutesDropsSeconds) {
  EDiv e;
  const auto at = [](int hour, int minute, int second) {
    return platform::Variant(platform::Date::FromParts({2010, 3, 5, hour, minute, second}));
  };
  EXPECT_EQ(e.DataToMinutes(at(13, 45, 59)), 825);
  EXPECT_EQ(e.DataToMinutes(at(0, 0, 0)), 0);
  EXPECT_EQ(e.DataToMinutes(at(23, 59, 59)), 1439);
  EXPECT_EQ(e.DataToMinutes(platform::Variant("9:05")), 545);
  EXPECT_EQ(ErrorNumber([&] { (void)e.DataToMinutes(platform::Variant::Null()); }),
            platform::kErrInvalidUseOfNull);
}

}  // namespace
