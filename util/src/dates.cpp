// Portuguese month and weekday names, dates in words and times of day in minutes.
#include <array>
#include <cmath>
#include <string>

#include "platform/date.h"
#include "platform/error.h"
#include "platform/text.h"
#include "text_rules.h"
#include "util/ediv.h"

namespace {

struct Name {
  const char* full;
  const char* brief;
};

constexpr std::array<Name, 12> kMonths = {{{"Janeiro", "Jan"},
                                           {"Fevereiro", "Fev"},
                                           {"Março", "Mar"},
                                           {"Abril", "Abr"},
                                           {"Maio", "Mai"},
                                           {"Junho", "Jun"},
                                           {"Julho", "Jul"},
                                           {"Agosto", "Ago"},
                                           {"Setembro", "Set"},
                                           {"Outubro", "Out"},
                                           {"Novembro", "Nov"},
                                           {"Dezembro", "Dez"}}};

constexpr std::array<Name, 7> kWeekdays = {{{"Domingo", "Dom"},
                                            {"Segunda Feira", "Seg"},
                                            {"Terça Feira", "Ter"},
                                            {"Quarta Feira", "Qua"},
                                            {"Quinta Feira", "Qui"},
                                            {"Sexta Feira", "Sex"},
                                            {"Sábado", "Sáb"}}};

}  // namespace

void EDiv::FillMonthNames() {
  for (std::size_t i = 0; i < kMonths.size(); ++i) month_names_[i + 1] = kMonths[i].full;
}

std::string EDiv::Meses(std::int16_t Index, bool Completo) const {
  if (Index < 1 || Index > 12) return std::to_string(Index) + " - Não Definido";
  const Name& name = kMonths[static_cast<std::size_t>(Index - 1)];
  return Completo ? name.full : name.brief;
}

std::string EDiv::Dias(std::int16_t Index, bool Completo) const {
  // The out-of-range text differs from Meses' ("Defenido"): callers compare against it.
  if (Index < 1 || Index > 7) return std::to_string(Index) + " - Não Defenido";
  const Name& name = kWeekdays[static_cast<std::size_t>(Index - 1)];
  return Completo ? name.full : name.brief;
}

std::string EDiv::MesesStr(std::int16_t Mes) const {
  if (Mes < 1 || Mes > 12) platform::RaiseError(platform::kErrSubscriptOutOfRange);
  return month_names_[static_cast<std::size_t>(Mes)];
}

std::string EDiv::DataExtenso(const std::string& DataAMD) const {
  if (platform::CharCount(platform::Trim(DataAMD)) != 10) return {};
  // The parts come from the text as given, so a padded text shifts them; the
  // separators at positions 5 and 8 are not read.
  const std::u32string text = platform::DecodeUtf8(DataAMD);
  const std::string day = platform::EncodeUtf8(text.substr(text.size() - 2));
  const std::string year = platform::EncodeUtf8(text.substr(0, 4));
  const double month = std::trunc(platform::Variant(platform::EncodeUtf8(text.substr(5, 2))).ToDouble());
  return day + " de " + Meses(static_cast<std::int16_t>(month), true) + " de " + year;
}

std::int32_t EDiv::DataToMinutes(const platform::Variant& mdata) const {
  const platform::DateParts parts = mdata.ToDate().Parts();
  return parts.hour * 60 + parts.minute;
}
