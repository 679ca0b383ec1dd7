// Statements that create objects or add rows: CREATE TABLE, DROP TABLE, CREATE INDEX, CREATE STATISTICS,
// ALTER TABLE ... ADD CONSTRAINT (DEFAULT ... FOR, PRIMARY KEY, UNIQUE, CHECK) and INSERT ... VALUES.
#include <algorithm>

#include "engine/create_support.h"

namespace standin {

namespace {

std::vector<IndexKey> KeysOf(const Capture& c) {
  std::vector<IndexKey> keys;
  for (const auto& p : c.parts) {
    bool desc = p.ends_with(" DESC");
    keys.push_back({desc ? p.substr(0, p.size() - 5) : p, desc});
  }
  return keys;
}

}  // namespace

// Constraint names share the database's object namespace with tables.
bool ObjectNameTaken(Database& db, std::string_view name) {
  for (const auto& t : db.tables) {
    if (NamesEqual(t.name, name)) return true;
    for (const auto& c : t.constraints) {
      if (NamesEqual(c.name, name)) return true;
    }
  }
  return db.FindProcedure(name) != nullptr;
}

// Checks that every key names a column of `table` (reporting `missing_error` otherwise) and spells them as
// the table does.
bool ResolveKeys(ExecContext& ctx, const TableDef& table, std::vector<IndexKey>& keys, int missing_error) {
  for (auto& k : keys) {
    const ColumnDef* col = table.FindColumn(k.column);
    if (!col) {
      if (missing_error == 1911) {
        ctx.Error(1911, 16, 1, "Column name '" + k.column + "' does not exist in the target table or view.");
      } else {
        ctx.Error(1769, 16, 1,
                  "Foreign key '" + k.column + "' references invalid column '" + k.column +
                      "' in referencing table '" + table.name + "'.");
      }
      return false;
    }
    k.column = col->name;
  }
  return true;
}

// Key equality under the case-insensitive collation: character keys compare without case and trailing spaces.
bool SameKey(const Value& a, const Value& b, const SqlType& type) {
  if (!type.IsCharacter() || a.IsNull() || b.IsNull()) return a == b;
  std::string x = Lower(a.ToText()), y = Lower(b.ToText());
  while (!x.empty() && x.back() == ' ') x.pop_back();
  while (!y.empty() && y.back() == ' ') y.pop_back();
  return x == y;
}

namespace {

// The server keeps the expression, not the text: parentheses around the whole of it are not stored.
std::string Unwrapped(const std::string& written) {
  std::string text = written;
  while (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
    int depth = 0;
    size_t k = 0;
    for (; k < text.size(); ++k) {
      if (text[k] == '(') ++depth;
      if (text[k] == ')' && --depth == 0) break;
    }
    if (k != text.size() - 1) break;
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

// Tokens as the server prints an expression back: a space only between two words.
std::string Compact(const std::vector<Token>& tokens) {
  std::string out;
  bool word_before = false;
  for (const auto& token : tokens) {
    const bool word = token.kind != TokenKind::kPunct;
    if (word && word_before) out += ' ';
    out += token.raw;
    word_before = word;
  }
  return out;
}

// The one column of the table that a check names, bracketed, when it names exactly one: such a check is kept
// as that column's own.
std::vector<IndexKey> CheckColumn(const TableDef& table, const std::string& expression) {
  std::vector<IndexKey> named;
  for (const auto& column : table.columns) {
    if (Lower(expression).find("[" + Lower(column.name) + "]") != std::string::npos) {
      named.push_back({column.name, false});
    }
  }
  return named.size() == 1 ? named : std::vector<IndexKey>{};
}

}  // namespace

// The definition text as the server stores it: a number as "((0))", anything else inside one pair of
// brackets.
std::string StoredDefinition(const std::string& written) {
  const std::string text = Unwrapped(written);
  bool number = !text.empty() && text.find_first_not_of("-.0123456789") == std::string::npos;
  return number ? "((" + text + "))" : "(" + text + ")";
}

namespace {

TableDef* TableFor(ExecContext& ctx, const Capture& name, int error) {
  Database* db = ctx.CurrentDb();
  TableDef* table = db->FindTable(name.text);
  if (!table) {
    ctx.Error(error, 16, 1,
              "Cannot find the object \"" + name.text +
                  "\" because it does not exist or you do not have permissions.");
  }
  return table;
}

// A unique index cannot be built over rows that share a key: 1505.
bool KeysDistinct(ExecContext& ctx, const TableDef& table, const std::vector<IndexKey>& keys,
                  const std::string& index) {
  for (size_t a = 0; a < table.rows.size(); ++a) {
    for (size_t b = 0; b < a; ++b) {
      bool same = true;
      std::string shown;
      for (const auto& k : keys) {
        auto c = static_cast<size_t>(table.ColumnIndex(k.column));
        same = same && SameKey(table.rows[a][c], table.rows[b][c], table.columns[c].type);
        shown += (shown.empty() ? "" : ", ") + table.rows[a][c].ToText();
      }
      if (!same) continue;
      ctx.Error(
          1505, 16, 1,
          "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object "
          "name '" +
              table.owner + "." + table.name + "' and the index name '" + index +
              "'. The duplicate key value is (" + shown + ").");
      ctx.Terminated();
      return false;
    }
  }
  return true;
}

void CreateIndexOrStatistics(ExecContext& ctx, const Captures& caps, bool statistics) {
  Database* db = ctx.CurrentDb();
  TableDef* table = TableFor(ctx, caps["table"], 1088);
  if (!table) return;
  const std::string& name = caps.Text("name");
  if (table->FindIndex(name) || table->FindStatistic(name)) {
    ctx.Error(1913, 16, 1,
              "The operation failed because an index or statistics with name '" + name +
                  "' already exists on table '" + table->name + "'.");
    return;
  }
  std::vector<IndexKey> keys = KeysOf(caps["keys"]);
  if (!ResolveKeys(ctx, *table, keys, 1911)) return;
  if (!statistics && caps.Has("unique") && !KeysDistinct(ctx, *table, keys, name)) return;
  std::vector<IndexKey> included_keys = KeysOf(caps["included"]);
  if (!ResolveKeys(ctx, *table, included_keys, 1911)) return;
  std::vector<std::string> included;
  for (const auto& k : included_keys) included.push_back(k.column);
  bool clustered = caps.Has("clustered");
  if (clustered) {
    for (const auto& i : table->indexes) {
      if (i.clustered) {
        ctx.Error(1902, 16, 3,
                  "Cannot create more than one clustered index on table '" + table->name +
                      "'. Drop the existing clustered index '" + i.name + "' before creating another.");
        return;
      }
    }
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(caps.Text("table"));
  if (statistics) {
    StatisticDef s{name, {}, false};
    for (const auto& k : keys) s.columns.push_back(k.column);
    table->statistics.push_back(s);
  } else {
    IndexDef i;
    i.name = name;
    i.keys = keys;
    i.unique = caps.Has("unique");
    i.clustered = clustered;
    i.included = included;
    if (caps.Has("filter")) i.filter = "(" + Unwrapped(Compact(caps["filter"].tokens)) + ")";
    table->indexes.push_back(i);
  }
}

void AddConstraint(ExecContext& ctx, const Captures& caps, ConstraintKind kind) {
  Database* db = ctx.CurrentDb();
  TableDef* table = TableFor(ctx, caps["table"], 4902);
  if (!table) return;
  const std::string& name = caps.Text("name");
  auto refuse = [&](int number, uint8_t state, std::string text) {
    ctx.Error(number, 16, state, std::move(text));
    ctx.Error(1750, 16, 0, "Could not create constraint or index. See previous errors.");
  };
  if (ObjectNameTaken(*db, name)) {
    return refuse(2714, 5, "There is already an object named '" + name + "' in the database.");
  }
  ConstraintDef c;
  c.kind = kind;
  c.name = name;
  c.expression = StoredDefinition(caps.Text("expr"));
  if (kind == ConstraintKind::kDefault) {
    const ColumnDef* col = table->FindColumn(caps.Text("column"));
    if (!col) {
      return refuse(1752, 0,
                    "Column '" + caps.Text("column") + "' in table '" + table->name +
                        "' is invalid for creating a default constraint.");
    }
    for (const auto& other : table->constraints) {
      if (other.kind == ConstraintKind::kDefault && NamesEqual(other.columns.at(0).column, col->name)) {
        return refuse(1781, 1, "Column already has a DEFAULT bound to it.");
      }
    }
    c.columns = {{col->name, false}};
  } else if (kind == ConstraintKind::kCheck) {
    c.columns = CheckColumn(*table, c.expression);
    c.not_trusted = caps.Has("nocheck");
  } else if (kind == ConstraintKind::kPrimaryKey || kind == ConstraintKind::kUnique) {
    c.columns = KeysOf(caps["keys"]);
    if (!ResolveKeys(ctx, *table, c.columns, 1911)) return;
    c.clustered = kind == ConstraintKind::kPrimaryKey ? !caps.Has("nonclustered") : caps.Has("clustered");
    for (const auto& other : table->constraints) {
      if (kind == ConstraintKind::kPrimaryKey && other.kind == ConstraintKind::kPrimaryKey) {
        return refuse(1779, 0, "Table '" + table->name + "' already has a primary key defined on it.");
      }
    }
    for (const auto& col : c.columns) {
      if (kind == ConstraintKind::kPrimaryKey && table->FindColumn(col.column)->nullable) {
        return refuse(
            8111, 1,
            "Cannot define PRIMARY KEY constraint on nullable column in table '" + table->name + "'.");
      }
    }
    for (const auto& i : table->indexes) {
      if (c.clustered && i.clustered) {
        return refuse(1902, 3,
                      "Cannot create more than one clustered index on table '" + table->name +
                          "'. Drop the existing clustered index '" + i.name + "' before creating another.");
      }
    }
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(caps.Text("table"));
  if (kind == ConstraintKind::kPrimaryKey || kind == ConstraintKind::kUnique) {
    IndexDef i;
    i.name = name;
    i.keys = c.columns;
    i.unique = true;
    i.clustered = c.clustered;
    i.primary_key = kind == ConstraintKind::kPrimaryKey;
    i.unique_constraint = !i.primary_key;
    table->indexes.push_back(i);
  }
  table->constraints.push_back(c);
}

void DropTable(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  const std::string& name = caps.Text("table");
  TableDef* table = db->FindTable(name);
  if (!table) {
    ctx.Error(
        3701, 11, 5,
        "Cannot drop the table '" + name + "', because it does not exist or you do not have permission.");
    return;
  }
  for (const auto& other : db->tables) {
    for (const auto& c : other.constraints) {
      if (&other != table && c.kind == ConstraintKind::kForeignKey &&
          NamesEqual(LastNamePart(c.ref_table), table->name)) {
        ctx.Error(3726, 16, 1,
                  "Could not drop object '" + table->name +
                      "' because it is referenced by a FOREIGN KEY constraint.");
        return;
      }
    }
  }
  ctx.BeforeChange(*db);
  std::erase_if(db->tables, [&](const TableDef& t) { return NamesEqual(t.name, name); });
}

}  // namespace

void RegisterCreateForms(StatementRegistry& r) {
  r.AddForm("create table", "create table {table:name} ( {body:rest}", CreateTable);
  r.AddForm("drop table", "drop table {table:name}", DropTable);
  r.AddForm("create index",
            "create [unique] [clustered|nonclustered] index {name} on {table:name} ( {keys:keys} ) "
            "[include ( {included:keys} )] [on {filegroup}] [where {filter:rest}]",
            [](ExecContext& ctx, const Captures& caps) { CreateIndexOrStatistics(ctx, caps, false); });
  r.AddForm("create statistics", "create statistics {name} on {table:name} ( {keys:keys} )",
            [](ExecContext& ctx, const Captures& caps) { CreateIndexOrStatistics(ctx, caps, true); });
  r.AddForm(
      "add default", "alter table {table:name} add constraint {name} default {expr:expr} for {column}",
      [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kDefault); });
  r.AddForm(
      "add primary key",
      "alter table {table:name} [with check|nocheck] add constraint {name} primary key "
      "[clustered|nonclustered] "
      "( {keys:keys} ) [on {filegroup}]",
      [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kPrimaryKey); });
  r.AddForm(
      "add unique",
      "alter table {table:name} [with check|nocheck] add constraint {name} unique [clustered|nonclustered] "
      "( {keys:keys} ) [on {filegroup}]",
      [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kUnique); });
  r.AddForm("add check",
            "alter table {table:name} [with check|nocheck] add constraint {name} check {expr:expr}",
            [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kCheck); });
  r.AddForm("insert", "insert [into] {table:name} {body:rest}", Insert);
}

}  // namespace standin
