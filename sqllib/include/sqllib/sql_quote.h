// Quoting of names and values placed in T-SQL statement text. Every name or value
// that CSql, EDiv or the conversion run puts into a statement goes through one of
// these three helpers. Each leaves a plain name or value as it is (a regular
// identifier stays bare, a value without apostrophes keeps its text), so the
// classic statement texts stay word for word for ordinary names.
#pragma once

#include <string>
#include <string_view>

namespace csql {

// True when `name` can stand bare in a statement: it starts with a letter, "_" or
// "#", goes on with letters, digits, "_", "@", "$" or "#", and is not a reserved
// word. Outside ASCII only the Latin letters (accented letters, ª, º) count as
// letters; a name with any other such character is bracketed.
bool IsRegularIdentifier(std::string_view name);

// A name as it may stand in a statement: bare when it is a regular identifier,
// else between brackets with "]" doubled ("Index-1" gives "[Index-1]", "a]b" gives
// "[a]]b]").
std::string QuoteName(std::string_view name);

// A name between brackets whatever it holds, with "]" doubled: for the places
// where a statement always brackets the name ("[dbo].[" name "]").
std::string BracketName(std::string_view name);

// An object or column name as a caller may hand it: a qualified name ("dbo.T")
// or one the caller already bracketed ("[Minha Tabela]") keeps its meaning, each
// of its dot-separated parts going through QuoteName unless it is bracketed
// already; anything else is quoted whole by QuoteName.
std::string QuoteObjectName(std::string_view name);

// A value as a string literal: between apostrophes with "'" doubled ("O'Brien"
// gives 'O''Brien'). A value holding characters outside ASCII is written as a
// Unicode literal (N'...') so that no letter is lost to the database's code page.
std::string QuoteLiteral(std::string_view value);

// A value as a LIKE pattern literal that matches only the value itself: "_", "%"
// and "[" are escaped by brackets ("Mov_Cliente" gives 'Mov[_]Cliente'). For the
// catalogue procedures whose name arguments are patterns (sp_tables, sp_columns).
std::string QuoteLike(std::string_view value);

}  // namespace csql
