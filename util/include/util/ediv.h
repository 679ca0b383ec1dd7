// EDiv: the general utility class shared by the applications built on the library.
// One shared instance, created on first use (SharedEDiv) and living until the
// program ends. Its operations are grouped by area; each area's code lives in its
// own source file under util/src/.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/currency.h"
#include "platform/session.h"
#include "platform/variant.h"

class EDiv {
 public:
  EDiv();
  ~EDiv();
  EDiv(const EDiv&) = delete;
  EDiv& operator=(const EDiv&) = delete;

  // ---- Text boxes and keyboard (textbox.cpp) ----

  // Gives the text box `hWnd` the focus and selects its whole text, so that
  // typing replaces the value; pending window events run before and after the
  // focus moves. Each step that fails (no such window, not a text box) is
  // skipped; nothing is raised.
  void Sel(platform::WindowHandle hWnd);

  // ---- Rounding (rounding.cpp) ----
  //
  // Money amounts are platform::Currency values (ten-thousandths). The digit-based
  // operations read a value as its integer part (toward zero) and its fraction digits:
  // a currency amount has at most four, a double the digits of its 15-significant-digit
  // text (1234.56 held as a double shows 55 followed by nines), a single those of its
  // 7-digit text. They truncate, round up or round to tens on those digits and rebuild
  // the value from the digits kept.
  //
  // Negative values: every mode with a digit step (truncate, round up, integer part,
  // tens, hundreds, thousands) gives the mirror image of the positive result, so money
  // rounds symmetrically about zero (-2.191 rounded up to 2 places is -2.20, -1236 to
  // tens down is -1230). The modes that round the value itself keep their own rule:
  // ArredondaVal modes 1, 13 and negative modes round half up (a negative tie moves
  // toward zero: -2.125 gives -2.12); rounding to even is symmetric.

  // Num rounded half away from zero to NumCasas (0 to 4) decimal places (2.345 gives
  // 2.35, -2.345 gives -2.35). Comp is the width of the number pattern: 0 is replaced
  // by 12 and the caller's variable keeps the change; the width never cuts digits off.
  // NumCasas outside 0..4 shows "O Número de casas Decimais tem que ser  entre (0 e 4)"
  // (no icon) and gives 0. Throws Error 6 (overflow) when the rounded amount leaves the
  // currency range and Error 5 for a negative Comp.
  platform::Currency Arredonda(const platform::Currency& Num, std::int16_t NumCasas,
                               std::int16_t& Comp) const;
  platform::Currency Arredonda(const platform::Currency& Num, std::int16_t NumCasas) const;
  // Numero rounded half away from zero to a whole number, then to a ten: UpDown below 1
  // cuts toward zero to a multiple of ten (1236 gives 1230); 1 or more cuts and moves
  // ten away from zero (1231 gives 1240, 1230 gives 1240, 0 gives 10, -123 gives -130).
  // Gives a variant holding currency. Throws Error 6 when the result leaves the range.
  platform::Variant ArredondaDez(const platform::Currency& Numero, std::int16_t UpDown) const;
  // curVal rounded by mode lngTipo to lngCasasDec places; the places in force (d) never
  // exceed the fraction digits the value has. Mode 0 gives curVal unchanged.
  // With d of 1 or more: 1 half up; 2, 3, 4 half up then tens, hundreds, thousands half
  // up; 5 truncate; 6, 7, 8 truncate then down; 9 round up; 10, 11, 12 round up then up;
  // 13 half up to a whole number; 14 the integer part; 15 the integer part plus 1;
  // 16 and above truncate; negative modes as 1.
  // With d of 0 or less (no places asked for, or a whole value): 1, 13 and negative modes add
  // one hundredth to a fraction of exactly one half and round to whole, ties to even;
  // 2, 3, 4 that then tens, hundreds, thousands half up; 5, 14, 16+ the integer part;
  // 6, 7, 8 the integer part then down; 9, 15 the integer part plus 1 when there is a
  // fraction; 10, 11, 12 that then up. Tens, hundreds and thousands act on the integer
  // part: half up adds the complement of its last digits from half upward and otherwise
  // drops them, down drops them, up always adds the complement (1230 up gives 1240).
  // Never throws: a step that fails (a negative lngCasasDec in a half-up mode, a result
  // outside the currency range) is skipped, and a result never formed is 0 (the tens
  // step needs a value reached before it).
  platform::Currency ArredondaVal(platform::Currency curVal, std::int32_t lngCasasDec,
                                  std::int32_t lngTipo = 1) const;
  // The earlier numbering. Mode 0, a whole value, and a value with no more fraction
  // digits than lngCasasDec come back unchanged. With d of 1 or more: 1 and negative
  // modes round to even; 2, 3 round to even then tens, hundreds half up; 4 to 7 and 13+
  // truncate; 8 to 12 round up. With d of 0 or less: 1 adds one hundredth to a fraction
  // of exactly one half and rounds to whole, ties to even (0 for a negative
  // lngCasasDec); 3 the integer part plus 1; others the integer part. Never throws.
  platform::Currency OldArredondaVal(platform::Currency curVal, std::int32_t lngCasasDec,
                                     std::int32_t lngTipo = 1) const;
  // Any numeric variant (a numeric text reads as a double). Mode 4, a whole value and a
  // value with no more fraction digits than lngCasasDec come back unchanged. Only the
  // first six fraction digits are read by the digit-built modes. With d of 1 or more:
  // mode 1 rounds to even on the fraction digits (a double's 2.135 gives 2.14) and keeps
  // the kind of varVal (currency, decimal, single; others give a double); 3 rounds up; every other mode (0
  // too) truncates. With d of 0 or less: 1 as ArredondaVal's mode 1 with d of 0, in varVal's kind (empty for
  // a negative lngCasasDec); 3 the integer part plus 1 when there is a fraction; others the integer part. The
  // digit-built results are doubles. Never throws: a value that is not a number (Null, a non-numeric text, an
  // array) gives an empty variant.
  platform::Variant ArredondaValDecimal(const platform::Variant& varVal, std::int32_t lngCasasDec,
                                        std::int32_t lngTipo = 1) const;

  // ---- Strings, numbers and scrambling (strings.cpp) ----
  //
  // Texts are UTF-8; positions, lengths and counts are in characters (a byte that is not
  // valid UTF-8 reads as one character U+FFFD). Trimming removes spaces (U+0020) only. The operations that
  // count in 16 bits (ContaCHR, BinToDec, InverteBin, Encrypt, Decrypt) throw Error 6 (overflow) for a text
  // of more than 32767 characters. Apart from GetArg, failures reach the caller as platform::Error.

  // Splits SString at every occurrence of sChar (taken left to right, never
  // overlapping) into ARR, from index 0, each piece trimmed; empty pieces are kept
  // ("a, b,,c" at "," gives a, b, "", c). A text without sChar gives one piece, the
  // text trimmed. Returns true. Throws Error 5 for an empty sChar.
  bool StripString(const std::string& SString, const std::string& sChar, platform::VariantArray& ARR) const;
  // Splits StringToStrip at Character into aReturn, from index 0, pieces untrimmed and
  // empty pieces dropped ("a, b,,c" gives a, " b", c). A blank text gives false and one
  // element holding nothing; otherwise true. Throws Error 5 for an empty Character.
  bool FastStripString(const std::string& StringToStrip, const std::string& Character,
                       platform::VariantArray& aReturn) const;
  // xString with every carriage return and line feed replaced one for one by the first
  // character of ReplaceChar (nothing replaced when it is empty), then trimmed.
  std::string StripVBCRLFString(const std::string& xString, const std::string& ReplaceChar = " ") const;
  // How many characters of strString equal strCHR, upper and lower case alike; 0 when
  // strCHR is not exactly one character.
  std::int16_t ContaCHR(const std::string& strString, const std::string& strCHR) const;
  // Cuts MCommand at single spaces into Argv(1) to Argv(Argc); Argv(0) is unused. The
  // last argument is not trimmed, and the character after a space is never taken as a
  // separator: "a  b" gives 3 arguments, "a", " b" and "". A command without spaces
  // (or empty, or over 32767 characters) gives Argc 1 and an empty Argv(1). Never throws.
  void GetArg(const std::string& MCommand, std::vector<std::string>& Argv, std::int16_t& Argc) const;
  // GetArg over the program's own command line (CommandLine()).
  void GetArg(std::vector<std::string>& Argv, std::int16_t& Argc) const;
  // Records the program's command line: each executable's main() passes its argc and
  // argv here at start-up. The arguments after the program name are kept joined by
  // single spaces, as GetArg cuts them.
  static void SetCommandLine(int argc, const char* const* argv);
  // The command line recorded by SetCommandLine; empty until it is called.
  static std::string CommandLine();
  // Texto trimmed, padded on the left to Nchar characters with the first character of
  // Caracter ("0" when empty); a longer text comes back trimmed only. Zerar("12", 5)
  // gives "00012".
  std::string Zerar(const std::string& Texto, std::int16_t Nchar, const std::string& Caracter = "") const;
  // The value of a binary-digit text, most significant first; characters other than
  // "1" count as 0 but keep their place. Throws Error 6 above 32767.
  std::int16_t BinToDec(const std::string& Binario) const;
  // Num in binary digits padded with "0" to at least 8 (0 and negatives give 00000000,
  // 300 gives 100101100).
  std::string DecToBin(std::int16_t Num) const;
  // The complement of an 8-digit binary text with its 4-digit halves exchanged
  // (01000001 gives 11101011): characters 5 to 8 then 1 to 4 of the complemented text.
  // Characters other than "0" and "1" are kept as they are.
  std::string InverteBin(const std::string& Bin) const;
  // Sorts aArray in place by a stable bubble sort: ascending for ordType 1, descending
  // otherwise. Numbers (booleans, dates, currency) compare numerically, texts by
  // character code, Empty as 0 or ""; a number orders before any text; a Null element
  // is never moved past its neighbour. Throws Error 9 for an array without elements,
  // Error 6 for bounds outside the 16-bit range, Error 13 for nested arrays or error
  // values (the array keeps the swaps already made).
  void SortArray(platform::VariantArray& aArray, std::int32_t ordType) const;
  // 1 for true, 0 for false.
  std::int16_t BoolToInt(bool MValor) const;
  // false for 0, true for 1; any other value shows "Esta Função só deve ser utilizada
  // com valores de 1 e 0" (no icon) and gives false.
  bool IntToBool(std::int16_t MValor) const;
  // The keyless scrambling of stored texts (scrambling.cpp): each character of code c
  // in code page 1252 becomes the character of code (255 - c) with its 4-bit halves
  // exchanged ("abc" gives the codes 233, 217, 201). It is its own inverse, so Encrypt
  // and Decrypt are the same transformation. Characters outside code page 1252 pass
  // through unchanged. The result has as many characters as Frase.
  std::string Encrypt(const std::string& Frase) const;
  std::string Decrypt(const std::string& Frase) const;

  // ---- Dates and calendar names (dates.cpp) ----

  // The month name for Index 1 to 12: full ("Março") when Completo, else short ("Mar").
  // Another Index gives the number followed by " - Não Definido".
  std::string Meses(std::int16_t Index, bool Completo = false) const;
  // The weekday name for Index 1 (Sunday) to 7 (Saturday): full ("Sábado") when
  // Completo, else short ("Sáb"). Another Index gives the number followed by
  // " - Não Defenido".
  std::string Dias(std::int16_t Index, bool Completo = false) const;
  // The full month name from the instance's month-name table. Throws Error 9
  // (subscript out of range) for Mes outside 1 to 12.
  std::string MesesStr(std::int16_t Mes) const;
  // A year-month-day text in words: "2010-03-05" gives "05 de Março de 2010". The text
  // trimmed must be 10 characters long, else the result is empty; the day is its last
  // 2 characters, the month its characters 6 and 7 (as Meses writes it, out-of-range
  // text included), the year its first 4, all taken from the untrimmed text. Throws
  // Error 13 (type mismatch) when the month characters are not a number.
  std::string DataExtenso(const std::string& DataAMD) const;
  // The minutes since midnight of a date and time (or a text the platform reads as
  // one); seconds are dropped (13:45:59 gives 825). Throws Error 94 (invalid use of
  // Null) for Null and Error 13 for a value that is not a date.
  std::int32_t DataToMinutes(const platform::Variant& mdata) const;

  // ---- System helpers (system.cpp) ----

  // The computer's host name, as the operating system reports it (gethostname):
  // the name the database driver sends at login, which the server shows as the
  // process's host name. On success writes it to rpsComputerName (without trailing
  // spaces) and returns true; on failure returns false and leaves rpsComputerName
  // unchanged.
  bool GetMachineName(platform::Variant& rpsComputerName) const;

  // ---- Data access helpers (data_helpers.cpp) ----
  //
  // The statement builders read aCampos and aValores from index 1 to their upper
  // bound (element 0 is never read). Values are written by kind: numbers (Integer,
  // Long, Single, Double, Currency, Decimal, Byte) as their text with "." as the
  // decimal separator whatever the locale; a boolean as -1 or 0, after first being
  // replaced in the caller's array by that 16-bit integer; a date as
  // 'yyyymmdd hh:mm:ss', which the server reads the same under every language;
  // a text between apostrophes; a byte array as a 0x literal; Null, Empty and any
  // value without a literal form as NULL, so no column ever takes another's value.
  // Apostrophes inside a text are inserted as they are, not doubled: a caller that
  // may pass such values escapes them before the call. The builders never throw.

  // "INSERT INTO <Tabela trimmed> (a,b,c) VALUES (1 , 'abc' , 2.5 )".
  std::string InsertSQL(const std::string& Tabela, const platform::VariantArray& aCampos,
                        platform::VariantArray& aValores) const;
  // "UPDATE <Tabela> SET a=1,b='abc' <sWhere>", with Tabela as given (not trimmed)
  // and sWhere holding its own WHERE keyword (empty: every row is updated).
  // aValores is a variant holding the array of values; the assignments stop at the
  // shorter of the two arrays.
  std::string UpdateSQL(const std::string& Tabela, const platform::VariantArray& aCampos,
                        platform::Variant& aValores, const std::string& sWhere) const;
  // Runs strSQL on the open connection conn as a text command that returns no
  // rows. True when it ran; false on any failure, with nothing shown.
  bool RunSQL(const platform::Connection& conn, const std::string& strSQL) const;
  // Lets pending window events run once, then runs strSQL on connTemp and gives
  // the value of field strField in its first row: Empty when the query returned no
  // rows, Null on any failure (bad statement, missing field, closed connection).
  platform::Variant GetFieldValue(const platform::Connection& connTemp, const std::string& strSQL,
                                  const std::string& strField) const;
  // True when the result set has no rows (at its start and at its end together).
  // False for a closed result set, which cannot be asked.
  bool IsVazio(const platform::Recordset& rstRecordset) const;
  // Default when VAR is Null, else VAR.
  platform::Variant IsNulo(const platform::Variant& VAR, const platform::Variant& Default) const;

 private:
  // Fills the month-name table; called when the instance is created.
  void FillMonthNames();
  // The full month names at the positions 1 to 12 (0 unused).
  std::array<std::string, 13> month_names_;
};

// The shared instance, created on first call.
EDiv& SharedEDiv();
