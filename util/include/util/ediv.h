// EDiv: the general utility class shared by the applications built on the library.
// One shared instance, created on first use (SharedEDiv) and living until the
// program ends. Its operations are grouped by area; each area's code lives in its
// own source file under util/src/.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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
  // (or empty, or over 32767 characters, or of 32767 spaces, whose count would not fit in
  // 16 bits) gives Argc 1 and an empty Argv(1). Never throws.
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

  // ======== System, display and printer helpers (system.cpp, printers.cpp, locale_items.cpp) ========

  // ---- Colours: 32-bit values, red in the low byte, then green, then blue ----
  static constexpr std::int32_t VERDE_ESCURO = 32768;  // 0, 128, 0
  static constexpr std::int32_t MAGNENTA = 16711935;   // 255, 0, 255
  static constexpr std::int32_t CINZENTO = 12632256;   // 192, 192, 192
  static constexpr std::int32_t BRANCO = 16777215;     // 255, 255, 255
  static constexpr std::int32_t PRETO = 0;             // 0, 0, 0
  static constexpr std::int32_t AMARELO = 65535;       // 255, 255, 0
  static constexpr std::int32_t VERMELHO = 255;        // 255, 0, 0
  static constexpr std::int32_t VERDE = 65280;         // 0, 255, 0
  static constexpr std::int32_t AZUL = 12582912;       // 0, 0, 192

  // ---- System (system.cpp, with GetMachineName above) ----

  // The free space of the file system holding the file or folder strDisco
  // (statvfs: free blocks times fragment size, the blocks kept for the
  // administrator included): in bytes for enumUnidades 0, in units of 1024
  // bytes for 1, of 1,024,000 bytes for 2; 0 for any other unit and when the
  // path does not exist or cannot be read.
  double FreeSpace(const std::string& strDisco, std::int32_t enumUnidades) const;
  // A new random (version 4) identifier from the kernel's random source, as 38
  // characters: braces, upper-case hexadecimal digits and hyphens, as in
  // {0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9}. Throws Error kErrUnspecified when
  // the random source fails; it never gives the zero identifier.
  std::string GetGUID() const;
  // Lets the user choose a folder in the desktop's folder dialog, owned by the
  // window lngHwnd and titled strPrompt (platform::UiServices::BrowseForFolder).
  // The folder's path; "" when the user cancels, without a desktop, and on any
  // failure.
  std::string BrowseForFolder(platform::WindowHandle lngHwnd, const std::string& strPrompt) const;
  // Sounds the desktop's beep (BEL on a terminal) and then waits Duration
  // milliseconds (a negative Duration counts as 0), so that callers pausing
  // between beeps keep their rhythm. The desktop chooses the pitch: Frequency
  // cannot be honoured.
  void Bip(std::int32_t Frequency, std::int32_t Duration) const;
  // Blocks until the NSec-th turn of a second of the clock, without letting
  // window events run: between NSec - 1 and NSec seconds, as a wait that
  // counted whole seconds of the time of day always lasted. The wait is
  // measured on the monotonic clock, so setting the clock or a change of
  // daylight saving time does not lengthen or shorten it. NSec 0 or negative
  // returns at once.
  void Espera(std::int16_t NSec) const;
  // True when strSQL, run on conn, returns at least one row. Catches nothing: a
  // statement that fails reaches the caller as platform::Error, and one that
  // returns no result set throws kErrObjectClosed.
  bool VerSeExiste(const platform::Connection& conn, const std::string& strSQL) const;
  // True in a developer's build (compiled without NDEBUG), false in a
  // delivered one (Release, RelWithDebInfo and the packages).
  bool ISDesign() const;
  // Refused: changes nothing and returns false. Wayland does not let a program
  // change the display mode, and under X11 it would change the whole desktop
  // and leave it changed after the program ends.
  bool MudaResolucao(std::int32_t Comprimento, std::int32_t Altura) const;

  // ---- Printers (printers.cpp), through platform::Printers() ----

  // The default paper and orientation of the printer szPrinterName: PaperSize
  // the classic paper number (9 A4, 1 Letter, 11 A5, ...; 256 for a size
  // without one), PaperOrientation 1 portrait or 2 landscape. For a printer
  // that does not exist both are 0 and the result is false. hDC is not read.
  bool GetPrinterSettings(const std::string& szPrinterName, std::int32_t hDC, std::int16_t& PaperSize,
                          std::int16_t& PaperOrientation) const;
  bool GetPrinterSettings(const std::string& szPrinterName, std::int32_t hDC, std::int16_t& PaperSize) const;
  // "9:A4 210x297mm;40:Letter 8.5x12;1:Letter 8.5x11;3:Tabloid 11x17;11:A5 148x210;256:Definido;":
  // the paper sizes offered, keyed by classic paper number.
  std::string FillListaPrinterPaperSize() const;
  // Discontinued: does nothing and returns false.
  bool SetImpressoraDefault(const std::string& PrinterName = "") const;
  // Discontinued: returns 0; in a developer's build (ISDesign) it first shows
  // "Esta Função Foi Descontinuada Desde o Uso do VsPrinter!" (error icon).
  std::int16_t FastPSizeofString(const platform::Variant& FastP, const std::string& strString) const;

  // ---- Regional settings (locale_items.cpp) ----

  // The regional setting LocalSetting (a classic locale item code; the flag
  // bits 0x80000000 and 0x40000000 are ignored) of the user's locale, read
  // from the POSIX locale the environment chooses (LC_ALL, LC_* and LANG): a
  // text, or Empty for a code outside the table below and for a value the
  // locale does not define. Date and time patterns are given in the classic
  // pattern letters (d dd ddd dddd, M MM MMM MMMM, yy yyyy, h hh H HH, mm,
  // ss, tt; other text between apostrophes).
  //   0x04 language's own name    0x05 telephone country code
  //   0x08 country's own name
  //   0x0D measure: 0 metric, 1 US
  //   0x0E decimal separator      0x0F thousands separator
  //   0x10 digit grouping ("3;0": threes; "0": none)
  //   0x14 currency symbol        0x15 international currency code ("EUR")
  //   0x16 money decimal sep.     0x17 money thousands separator
  //   0x18 money grouping         0x19 money fraction digits
  //   0x1A international money fraction digits
  //   0x1B currency placement: 0 "€1", 1 "1€", 2 "€ 1", 3 "1 €"
  //   0x1D date separator         0x1E time separator
  //   0x1F short date pattern     0x20 long date pattern (the locale's date
  //        and time pattern without its time)
  //   0x1003 time pattern
  //   0x21 short date order, 0x22 long date order: 0 month-day-year,
  //        1 day-month-year, 2 year-month-day
  //   0x23 0 for a 12-hour clock, 1 for 24 hours
  //   0x28 morning mark (AM)      0x29 afternoon mark (PM)
  //   0x2A to 0x30 day names, Monday to Sunday; 0x31 to 0x37 abbreviated
  //   0x38 to 0x43 month names, January to December; 0x44 to 0x4F abbreviated
  //   0x50 positive sign          0x51 negative sign
  //   0x52, 0x53 sign position of positive and negative money amounts,
  //   0x54, 0x56 currency symbol before them (1) or after (0),
  //   0x55, 0x57 a space between symbol and amount (1) or none (0)
  //   0x59 ISO 639 language code  0x5A ISO 3166 country code
  //   0x1001 language's English name   0x1002 country's English name
  //   0x100C first day of the week: 0 Monday to 6 Sunday
  platform::Variant Get_locale(std::int32_t LocalSetting) const;
  // Refused: changes nothing and returns false. Linux keeps no per-user store
  // of regional settings that a program could write; they come from the
  // environment the session starts with.
  bool Set_locale(std::int32_t Setting, const std::string& Symbol) const;

  // ======== end of the system, display and printer helpers ========

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

  // ======== Windows: the alert dialog, list views, forms, text boxes, keys ========
  //
  // These reach windows through platform::Toolkit(); without windows (the command
  // line) every toolkit call fails with Error 424. Sizes are in twips.

  // ---- Alert list dialog (alert.cpp) ----

  // Shows the window registered as "WAlert1" with the caption Titulo and one
  // list entry per element of Opcoes (from index 0; an element below the
  // array's lower bound, or past the 32767th entry, adds none), sized to the
  // entries and centred on the screen, modally. Returns gAlertIndex as the
  // dialog leaves it: the 1-based entry chosen, 0 when cancelled. Each step
  // that fails is skipped; nothing is raised or shown. The window is loaded
  // for the call and unloaded before it returns.
  std::int16_t Alert(const std::string& Titulo, const platform::VariantArray& Opcoes);

  // ---- List views and key-value lists (listview.cpp) ----
  //
  // A list view is named by its window handle and an item by its 1-based index.
  // A key-value list is a text of entries "key:value;": text after the last ";"
  // is no entry, the key ends at an entry's first ":", nothing is trimmed.

  // Makes lstView a report (view 3) without sorting, with full-row selection
  // and manual label editing, and gives it one column per triple of aData from
  // index 0: title, width in twips, alignment (0 left, 1 right, 2 centre). The
  // old columns go first. Each step that fails is skipped (a last triple with
  // elements missing adds no column).
  void CreateListViewCol(platform::WindowHandle lstView, const platform::VariantArray& aData) const;
  // Adds full-row selection to the list view's extended style; the other bits
  // stay. Failures reach the caller.
  void RowListview(platform::WindowHandle hWnd) const;
  // Checks or unchecks every item, whether or not the list view shows check
  // boxes. Failures reach the caller.
  void CheckListView(platform::WindowHandle lvwList, bool blnValue) const;
  // True when every item is checked (or there are none). A list view without
  // check boxes shows "O Listview não tem CheckBoxes!" (error icon) and gives
  // false.
  bool IsTodosChecked(platform::WindowHandle lvwListView) const;
  // Moves item Item one place up (UpDown 2) or down (1) by exchanging its
  // text, sub-item texts, tag and (where the list view has them) small icon
  // and checked state with its neighbour's, then selects the neighbour; keys
  // stay with their places. All sub-items of both items are exchanged; where
  // one item has fewer, the other's extra sub-items are left blank. Nothing
  // happens for an empty list, the first item going up or the last going down.
  // Throws Error 91 for another UpDown and when no item is selected, Error
  // 35600 for an item that does not exist; nothing has changed then.
  void MoveListViewItem(platform::WindowHandle lvwListView, std::int32_t Item, std::int32_t UpDown) const;
  // The value of the first entry of Lista whose key equals Chave, letter case
  // ignored; empty when Lista is empty or no key matches. Throws Error 5 when
  // an entry has no ":".
  std::string eselChave(const std::string& Chave, const std::string& Lista) const;
  // The entries of Lista as rows of key and value; aArray is left as it was
  // when Lista is empty. Throws Error 5 when an entry has no ":", Error 9 when
  // a non-empty Lista has no ";".
  void eselToArray(const std::string& Lista, std::vector<std::array<platform::Variant, 2>>& aArray) const;

  // ---- Forms and controls (forms.cpp) ----
  //
  // Forms and controls are named by window handle; a form's controls are taken
  // in its collection order. The applications' controls carry kind prefixes:
  // "txt" text box, "eval" value box ("Decimais", "Comprimento", "Valor"),
  // "deci" decimal box ("Decimais", "Comprimento"), "eint" integer box
  // ("Minimo", "Maximo", "Valor"), "opt" option button and "chk" check box
  // ("Value"), "edat" date box ("ConteudoAMD"), "esel" selection box ("Chave"),
  // "pic" and "img" pictures ("Picture"). A control tagged "0" is left out of
  // enabling and of the search for usable fields.

  // Sets Enabled of the controls whose container is fraFrame, except those
  // tagged "0" and those named CMDFECHAR or CMDCANCELAR (any letter case);
  // frames, tab controls and picture boxes inside are not changed themselves,
  // but with blnRecurseContainers their controls are, and so on down. Failures
  // are ignored step by step, and a test that fails counts as passed.
  void EnableFrame(platform::WindowHandle frmForm, platform::WindowHandle fraFrame, bool blnValue,
                   bool blnRecurseContainers = true) const;
  // Enables xControl when it sits in a container of xForm, and that container
  // the same way, up to the one that sits on the form. Failures reach the
  // caller.
  void EnableControlContainer(platform::WindowHandle xForm, platform::WindowHandle xControl) const;
  // Among the enabled controls of frmForm not tagged "0", whose first three
  // name letters occur in strCtrlNameIncludeLeft3 (case-sensitive; empty
  // accepts none) and whose TabIndex lies in TabIndexInicial..TabIndexFinal:
  // the one of lowest tab index for Indice 1, of highest for Indice 2 (ties
  // keep the first met; tab index 0 is never the highest). kNoWindow when none
  // or for another Indice. A control the name leaves out is not asked for its
  // other members. Failures reach the caller.
  platform::WindowHandle GetControlDisponivel(platform::WindowHandle frmForm, std::int16_t TabIndexInicial,
                                              std::int16_t TabIndexFinal, std::int32_t Indice,
                                              const std::string& strCtrlNameIncludeLeft3 = "") const;
  // Centres FormX on the screen, or on ParentForm (a parent smaller than FormX
  // in a direction gives its own top or left there). Failures reach the
  // caller. The toolkit may not place top-level windows: Wayland ignores it.
  void CenterForm(platform::WindowHandle FormX,
                  platform::WindowHandle ParentForm = platform::kNoWindow) const;
  // Keeps mForm above other windows and moves it to the position remembered in
  // the settings store (application ExeName, section the form's name, keys "X"
  // and "Y" in twips, 0 when missing). Failures are ignored step by step.
  // Honoured under X11 with a window manager; not under Wayland.
  void FormAlwaysOnTop(platform::WindowHandle mForm) const;
  // Sets "Decimais" to NumCasas and "Comprimento" to 18 on the "eval" controls
  // (ctrlName "Todos") or on the control named ctrlName (case-sensitive).
  // Failures reach the caller; what was set stays set.
  void SetCasasDecimaisEmValores(platform::WindowHandle xForm, std::int16_t NumCasas,
                                 const std::string& ctrlName = "Todos") const;
  // The same for the "deci" controls.
  void SetCasasDecimaisEmDecimais(platform::WindowHandle xForm, std::int16_t NumCasas,
                                  const std::string& ctrlName = "Todos") const;
  // Sets "Minimo", "Maximo" and, with SetValCtrlToMin, "Valor" (to Minimo) on
  // the "eint" controls or the one named ctrlName. Failures are ignored step by
  // step.
  void SetMinMaxEmInteiros(platform::WindowHandle xForm, std::int16_t Minimo, std::int16_t Maximo,
                           bool SetValCtrlToMin = true, const std::string& ctrlName = "Todos") const;
  // True when the control belongs to a control array (its Index can be read).
  bool ControlIsArray(platform::WindowHandle ctrlControl) const;
  // The values of mForm's controls joined without separators, in collection
  // order, by kind prefix: "txt" Text, "eval" and "eint" Valor, "opt" and
  // "chk" Value, "edat" ConteudoAMD, "esel" Chave, "pic" and "img" Picture.
  // Controls whose name begins with one of the comma-separated prefixes of
  // StripExclude (trimmed, letter case ignored) are left out; an empty prefix
  // leaves out every control. A Null value adds nothing. Failures reach the
  // caller.
  std::string CreateCheckSumForm(platform::WindowHandle mForm, const std::string& StripExclude) const;

  // ---- Text boxes and keys (textbox.cpp, with Sel above) ----
  //
  // Keys go to this program's focused control only (platform::ControlToolkit::
  // SendKey lists the virtual keys it knows). Positions are 1-based; a line
  // break of a multi-line box counts as its two characters, CR LF.

  // Filters the character KeyAscii typed into a field whose tag is Tag, after
  // letting pending events run: an apostrophe (39) becomes a grave accent (96);
  // the accent keys 126, 180, 96, 94 and 168 are swallowed (0); in a field
  // whose tag reads as a number, Enter (13) becomes Tab and Escape (27)
  // Shift+Tab, and the key is swallowed. A form routes its fields' typed
  // characters here with platform::ControlToolkit::SetKeyPressHook.
  void ControlEnter(std::int16_t& KeyAscii, const std::string& Tag) const;
  // Presses and releases the virtual key Key. Throws Error 6 (overflow) for a
  // Key outside 0 to 255, before anything is sent.
  void MandaTeclas(std::int32_t Key) const;
  // Puts StrToInsert on the clipboard; unless it is blank, gives ctrl the focus
  // and sends it Ctrl+V, so that it pastes the text at its caret once events
  // run. Failures reach the caller.
  void InsertTexto(const std::string& StrToInsert, platform::WindowHandle ctrl) const;
  // Line information of the text box txtObj, by Info: 0 the number of lines;
  // 1 the caret position (the end of the selection); 2 the caret's line; 3 and
  // 4 the first and last position of the caret's line; 5 its length; 6 the
  // caret's column; 7 and 8 the first and last position of line lineNumber; 9
  // the length of line lineNumber without its line break (0 for a line that
  // does not exist); any other Info 0. Failures reach the caller.
  std::int32_t txtgetLineInfo(platform::WindowHandle txtObj, std::int32_t Info,
                              std::int32_t lineNumber = 0) const;
  // The text of line lineNumber (0: the caret's line) with its line break,
  // which the box is left selecting. Failures reach the caller.
  std::string txtGetLineText(platform::WindowHandle txtObj, std::int32_t lineNumber) const;

  // ======== Pictures stored in tables and access rights ========

  // ---- Pictures in binary columns (images.cpp) ----
  //
  // Both operations read the column strField of the rows of strTable that the
  // condition sqlWHERE selects ("select <strField> from <strTable> where
  // <sqlWHERE>", every text inserted as given), and move a value of L bytes as
  // a block of L mod 2048 bytes followed by L div 2048 blocks of 2048, letting
  // pending window events run after each full block. A value may have at most
  // 32767 full blocks (67,108,863 bytes); a larger one fails with Error 6.

  // Stores the bytes of the file strImgFilePath in strField of the first row
  // the query returns; an empty strImgFilePath stores the two bytes 00 00,
  // which stand for "no picture". True when the column was written. On any
  // failure (a file that cannot be read, a query that fails, no row, a
  // condition that selects more than one row) nothing is written, a message box
  // without icon shows the error text, a carriage return and the error number,
  // and the result is false.
  bool AddImagemToTable(const std::string& strImgFilePath, const platform::Connection& connDB,
                        const std::string& strTable, const std::string& strField,
                        const std::string& sqlWHERE) const;
  // Reads strField of the first row the query returns into the file
  // "output.bin" of the temporary folder (the environment variable "temp",
  // else TMPDIR, else the system's), replacing its content, and shows it in the
  // picture control ctrlPicture. The file is written privately under another
  // name and then renamed, so a link planted at output.bin is replaced, never
  // followed. With no row, a NULL or empty value, or the 00 00 marker, the
  // control is left without a picture (no file is written when there is no
  // row). On any failure the control is left without a picture too, and
  // nothing is shown; the mouse pointer is the hourglass while it runs and the
  // default afterwards. Always returns Empty.
  platform::Variant GetImagemFromTable(platform::WindowHandle ctrlPicture, const platform::Connection& connDB,
                                       const std::string& strTable, const std::string& strField,
                                       const std::string& sqlWHERE) const;

  // ---- Access rights (access_rights.cpp) ----

  // The company code of the principal access, from the output parameter
  // "@Empresa" (nvarchar(4)) of the stored procedure "GetAcessoPrincipal" on
  // gconnconfig: "" when it is NULL, and never more than 4 characters. Failures
  // (no such procedure: Error 2812; a closed connection) reach the caller.
  std::string GetAcessoPrincipal(const platform::Connection& gconnconfig) const;
  // The value of field Field (letter case ignored) in the first row of the
  // result saved in the file Filename (platform::Recordset::Save): Empty when
  // no field has that name or the result has no rows. A file that is missing,
  // malformed or holds a number out of range for its kind raises Error 3001.
  platform::Variant GetFileFieldValue(const std::string& Filename, const std::string& Field) const;

 private:
  // Fills the month-name table; called when the instance is created.
  void FillMonthNames();
  // The full month names at the positions 1 to 12 (0 unused).
  std::array<std::string, 13> month_names_;
};

// The shared instance, created on first call.
EDiv& SharedEDiv();
