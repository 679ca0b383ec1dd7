// Helpers shared by the statements that create objects and add rows (forms_create.cpp,
// forms_create_table.cpp, forms_insert.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/statement_registry.h"

namespace standin {

// Constraint names share the database's object namespace with tables.
bool ObjectNameTaken(Database& db, std::string_view name);
// Checks that every key names a column of `table` (reporting `missing_error` otherwise) and spells them as
// the table does.
bool ResolveKeys(ExecContext& ctx, const TableDef& table, std::vector<IndexKey>& keys, int missing_error);
// The definition text as the server stores it: a number as "((0))", anything else inside one pair of
// brackets.
std::string StoredDefinition(const std::string& text);
// Key equality under the case-insensitive collation: character keys compare without case and trailing spaces.
bool SameKey(const Value& a, const Value& b, const SqlType& type);

// The column definitions and table constraints of ALTER TABLE ... ADD, appended to `table`; false after an
// error.
bool ParseAddedColumns(ExecContext& ctx, Database& db, const std::vector<Token>& tokens, TableDef& table);
// The value a column DEFAULT gives a new row: a constant, getdate() or newid().
Value DefaultValue(const ConstraintDef& constraint, const SqlType& type);

// A unique index that already holds the row's key among `existing`: 2627 for a constraint's index, 2601 for a
// plain one, each then 3621.
bool KeysAreFree(ExecContext& ctx, const TableDef& table, const std::vector<std::vector<Value>>& existing,
                 const std::vector<Value>& row);

void CreateTable(ExecContext& ctx, const Captures& caps);
void Insert(ExecContext& ctx, const Captures& caps);

}  // namespace standin
