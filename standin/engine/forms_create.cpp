// Statements that create objects or add rows: CREATE TABLE, DROP TABLE, CREATE INDEX, CREATE STATISTICS,
// ALTER TABLE ... ADD CONSTRAINT (DEFAULT ... FOR, PRIMARY KEY, UNIQUE, CHECK) and INSERT ... VALUES.
#include <algorithm>

#include "engine/statement_registry.h"

namespace standin {

namespace {

bool IsP(const Token& t, std::string_view p) {
  return t.kind == TokenKind::kPunct && t.text == p;
}
bool IsW(const Token& t, std::string_view w) {
  return t.kind == TokenKind::kWord && NamesEqual(t.text, w);
}

std::vector<IndexKey> KeysOf(const Capture& c) {
  std::vector<IndexKey> keys;
  for (const auto& p : c.parts) {
    bool desc = p.ends_with(" DESC");
    keys.push_back({desc ? p.substr(0, p.size() - 5) : p, desc});
  }
  return keys;
}

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

// Appends the value of a literal token (string, number, NULL or bound parameter); false for anything else.
bool LiteralValue(const Token& v, bool negative, std::vector<Value>& out) {
  if (v.is_bound) {
    out.push_back(v.bound);
  } else if (v.kind == TokenKind::kString) {
    out.emplace_back(v.text);
  } else if (v.kind == TokenKind::kNumber && v.text.find('.') == std::string::npos) {
    out.emplace_back(static_cast<int64_t>(std::stoll(v.text)) * (negative ? -1 : 1));
  } else if (v.kind == TokenKind::kNumber) {
    out.emplace_back(std::stod(v.text) * (negative ? -1 : 1));
  } else if (IsW(v, "null")) {
    out.emplace_back();
  } else {
    return false;
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

// The definition text as the server stores it: a number as "((0))", anything else inside one pair of
// brackets.
std::string StoredDefinition(const std::string& text) {
  if (text.starts_with("(")) return text;
  bool number = !text.empty() && text.find_first_not_of("-.0123456789") == std::string::npos;
  return number ? "((" + text + "))" : "(" + text + ")";
}

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

// CREATE TABLE name (column type [IDENTITY[(seed, increment)]] [NULL | NOT NULL] [[CONSTRAINT n] DEFAULT
// expr]
//                    [, ...] [, CONSTRAINT n PRIMARY KEY [CLUSTERED | NONCLUSTERED] (keys)])
void CreateTable(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  const std::vector<Token>& t = caps["body"].tokens;
  const std::string& name = caps["table"].text;
  if (ObjectNameTaken(*db, name)) {
    ctx.Error(2714, 16, 6, "There is already an object named '" + name + "' in the database.");
    return;
  }
  TableDef table;
  table.name = name;
  size_t i = 0;
  auto at_end = [&] { return i >= t.size(); };
  auto syntax = [&] { SyntaxErrorNear(ctx, t, i); };
  auto ident = [&](std::string& out) {
    if (at_end() || !(t[i].kind == TokenKind::kWord || t[i].kind == TokenKind::kQuotedIdent) ||
        (t[i].kind == TokenKind::kWord && IsReserved(t[i].text))) {
      return false;
    }
    out = t[i++].text;
    return true;
  };
  auto paren_group = [&](std::string& out) {  // "( ... )" kept as written
    int depth = 0;
    bool word_before = false;
    do {
      if (at_end()) return false;
      if (IsP(t[i], "(")) ++depth;
      if (IsP(t[i], ")")) --depth;
      bool word = t[i].kind != TokenKind::kPunct;
      if (word && word_before) out += ' ';
      out += t[i].kind == TokenKind::kString ? "'" + t[i].text + "'" : t[i].raw;
      word_before = word;
      ++i;
    } while (depth > 0);
    return true;
  };
  while (true) {
    if (!at_end() && IsW(t[i], "constraint")) {
      ++i;
      ConstraintDef c;
      if (!ident(c.name)) return syntax();
      bool pk = !at_end() && IsW(t[i], "primary");
      bool uq = !at_end() && IsW(t[i], "unique");
      if (!pk && !uq) return syntax();
      i += pk ? 1 : 0;
      if (pk && (at_end() || !IsW(t[i++], "key"))) return syntax();
      if (uq) ++i;
      c.kind = pk ? ConstraintKind::kPrimaryKey : ConstraintKind::kUnique;
      c.clustered = pk;
      if (!at_end() && (IsW(t[i], "clustered") || IsW(t[i], "nonclustered")))
        c.clustered = IsW(t[i++], "clustered");
      if (at_end() || !IsP(t[i++], "(")) return syntax();
      do {
        IndexKey k;
        if (!ident(k.column)) return syntax();
        if (!at_end() && (IsW(t[i], "asc") || IsW(t[i], "desc"))) k.descending = IsW(t[i++], "desc");
        c.columns.push_back(k);
      } while (!at_end() && IsP(t[i], ",") && ++i);
      if (at_end() || !IsP(t[i++], ")")) return syntax();
      if (!ResolveKeys(ctx, table, c.columns, 1911)) return;
      IndexDef index{c.name, c.columns, true, c.clustered, pk, !pk, "PRIMARY"};
      table.indexes.push_back(index);
      table.constraints.push_back(c);
    } else {
      ColumnDef col;
      if (!ident(col.name)) return syntax();
      if (at_end() || t[i].kind != TokenKind::kWord) return syntax();
      std::string type_text = t[i++].text;
      if (!at_end() && IsP(t[i], "(")) {
        if (!paren_group(type_text)) return syntax();
      }
      auto type = ParseSqlType(type_text);
      if (!type) {
        ctx.Error(2715, 16, 6,
                  "Column, parameter, or variable #" + std::to_string(table.columns.size() + 1) +
                      ": Cannot find data type " + type_text.substr(0, type_text.find('(')) + ".");
        return;
      }
      col.type = *type;
      while (!at_end() && !IsP(t[i], ",") && !IsP(t[i], ")")) {
        if (IsW(t[i], "identity")) {
          ++i;
          col.identity = true;
          col.nullable = false;
          if (!at_end() && IsP(t[i], "(")) {
            if (i + 4 >= t.size() || t[i + 1].kind != TokenKind::kNumber || !IsP(t[i + 2], ",") ||
                t[i + 3].kind != TokenKind::kNumber || !IsP(t[i + 4], ")")) {
              return syntax();
            }
            col.seed = std::stoll(t[i + 1].text);
            col.increment = std::stoll(t[i + 3].text);
            i += 5;
          }
        } else if (IsW(t[i], "not") && i + 1 < t.size() && IsW(t[i + 1], "null")) {
          col.nullable = false;
          i += 2;
        } else if (IsW(t[i], "null")) {
          col.nullable = true;
          ++i;
        } else if (IsW(t[i], "constraint") || IsW(t[i], "default")) {
          ConstraintDef c;
          c.kind = ConstraintKind::kDefault;
          c.columns = {{col.name, false}};
          if (IsW(t[i], "constraint")) {
            ++i;
            if (!ident(c.name) || at_end() || !IsW(t[i], "default")) return syntax();
          } else {
            // An unnamed default gets a generated name, as the server makes one up.
            c.name = "DF__" + name.substr(0, 9) + "__" + col.name.substr(0, 9) + "__" +
                     std::to_string(db->next_object_id);
          }
          ++i;
          if (at_end()) return syntax();
          if (IsP(t[i], "(")) {
            if (!paren_group(c.expression)) return syntax();
          } else {
            c.expression =
                StoredDefinition(t[i].kind == TokenKind::kString ? "'" + t[i].text + "'" : t[i].raw);
            ++i;
          }
          table.constraints.push_back(c);
        } else {
          return syntax();
        }
      }
      if (table.FindColumn(col.name)) {
        ctx.Error(2705, 16, 3,
                  "Column names in each table must be unique. Column name '" + col.name + "' in table '" +
                      name + "' is specified more than once.");
        return;
      }
      table.columns.push_back(col);
    }
    if (at_end()) return syntax();
    if (IsP(t[i], ")")) {
      ++i;
      break;
    }
    if (!IsP(t[i++], ",")) return syntax();
  }
  if (!at_end()) return syntax();
  ctx.BeforeChange(*db);
  table.object_id = db->NewObjectId();
  db->tables.push_back(std::move(table));
}

// INSERT [INTO] table [(columns)] VALUES (values) [, (values)]...
void Insert(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  TableDef* table = db->FindTable(caps.Text("table"));
  if (!table) {
    ctx.Error(208, 16, 1, "Invalid object name '" + JoinTokens(caps["table"].tokens) + "'.");
    return;
  }
  const std::vector<Token>& t = caps["body"].tokens;
  size_t i = 0;
  std::vector<int> targets;
  if (i < t.size() && IsP(t[i], "(")) {
    ++i;
    while (i < t.size() && !IsP(t[i], ")")) {
      if (IsP(t[i], ",")) {
        ++i;
        continue;
      }
      int col = table->ColumnIndex(t[i].text);
      if (col < 0) {
        ctx.Error(207, 16, 1, "Invalid column name '" + t[i].text + "'.");
        return;
      }
      if (table->columns[col].identity) {
        ctx.Error(544, 16, 1,
                  "Cannot insert explicit value for identity column in table '" + table->name +
                      "' when IDENTITY_INSERT is set to OFF.");
        return;
      }
      targets.push_back(col);
      ++i;
    }
    ++i;
  } else {
    for (size_t c = 0; c < table->columns.size(); ++c) {
      if (!table->columns[c].identity) targets.push_back(static_cast<int>(c));
    }
  }
  if (i >= t.size() || !IsW(t[i], "values")) return SyntaxErrorNear(ctx, t, i);
  ++i;
  std::vector<std::vector<Value>> new_rows;
  auto rows = table->rows;
  while (i < t.size()) {
    if (!IsP(t[i], "(")) return SyntaxErrorNear(ctx, t, i);
    ++i;
    std::vector<Value> values;
    while (i < t.size() && !IsP(t[i], ")")) {
      if (IsP(t[i], ",")) {
        ++i;
        continue;
      }
      bool negative = IsP(t[i], "-") && i + 1 < t.size();
      if (negative) ++i;
      const Token& v = t[i++];
      if (!LiteralValue(v, negative, values)) return SyntaxErrorNear(ctx, t, i - 1);
    }
    if (i >= t.size()) return SyntaxErrorNear(ctx, t, i);
    ++i;
    if (values.size() != targets.size()) {
      ctx.Error(213, 16, 1, "Column name or number of supplied values does not match table definition.");
      return;
    }
    std::vector<Value> row(table->columns.size());
    for (size_t c = 0; c < table->columns.size(); ++c) {
      const ColumnDef& col = table->columns[c];
      if (col.identity) {
        int64_t next = col.seed;
        for (const auto& r : rows) {
          if (auto* n = std::get_if<int64_t>(&r[c].v)) next = std::max(next, *n + col.increment);
        }
        row[c] = Value(next);
      }
    }
    for (size_t k = 0; k < targets.size(); ++k) {
      const ColumnDef& col = table->columns[targets[k]];
      SqlType from = std::holds_alternative<int64_t>(values[k].v)  ? *ParseSqlType("bigint")
                     : std::holds_alternative<double>(values[k].v) ? *ParseSqlType("float")
                                                                   : VarCharType(-1);
      auto converted = ConvertValue(values[k], from, col.type);
      if (converted.error) {
        ctx.Error(*converted.error);
        ctx.Info(3621, "The statement has been terminated.", 0);
        return;
      }
      row[targets[k]] = converted.value;
    }
    for (size_t c = 0; c < table->columns.size(); ++c) {
      if (row[c].IsNull() && !table->columns[c].nullable) {
        ctx.Error(515, 16, 2,
                  "Cannot insert the value NULL into column '" + table->columns[c].name + "', table '" +
                      db->name + "." + table->owner + "." + table->name +
                      "'; column does not allow nulls. INSERT fails.");
        ctx.Info(3621, "The statement has been terminated.", 0);
        return;
      }
    }
    for (const auto& index : table->indexes) {
      if (!index.unique) continue;
      for (const auto& existing : rows) {
        bool same = true;
        std::string shown;
        for (const auto& k : index.keys) {
          int c = table->ColumnIndex(k.column);
          same = same && SameKey(existing[c], row[c], table->columns[c].type);
          shown += (shown.empty() ? "" : ", ") + row[c].ToText();
        }
        if (same) {
          std::string kind = index.primary_key ? "PRIMARY KEY" : "UNIQUE KEY";
          if (index.primary_key || index.unique_constraint) {
            ctx.Error(2627, 14, 1,
                      "Violation of " + kind + " constraint '" + index.name +
                          "'. Cannot insert duplicate key in object '" + table->owner + "." + table->name +
                          "'. The duplicate key value is (" + shown + ").");
          } else {
            ctx.Error(2601, 14, 1,
                      "Cannot insert duplicate key row in object '" + table->owner + "." + table->name +
                          "' with unique index '" + index.name + "'. The duplicate key value is (" + shown +
                          ").");
          }
          ctx.Info(3621, "The statement has been terminated.", 0);
          return;
        }
      }
    }
    rows.push_back(row);
    new_rows.push_back(std::move(row));
    if (i < t.size() && IsP(t[i], ",")) ++i;
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(caps.Text("table"));
  table->rows = std::move(rows);
  ctx.row_count = static_cast<int64_t>(new_rows.size());
}

}  // namespace

void RegisterCreateForms(StatementRegistry& r) {
  r.AddForm("create table", "create table {table:name} ( {body:rest}", CreateTable);
  r.AddForm("drop table", "drop table {table:name}", DropTable);
  r.AddForm("create index",
            "create [unique] [clustered|nonclustered] index {name} on {table:name} ( {keys:keys} )",
            [](ExecContext& ctx, const Captures& caps) { CreateIndexOrStatistics(ctx, caps, false); });
  r.AddForm("create statistics", "create statistics {name} on {table:name} ( {keys:keys} )",
            [](ExecContext& ctx, const Captures& caps) { CreateIndexOrStatistics(ctx, caps, true); });
  r.AddForm(
      "add default", "alter table {table:name} add constraint {name} default {expr:expr} for {column}",
      [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kDefault); });
  r.AddForm(
      "add primary key",
      "alter table {table:name} add constraint {name} primary key [clustered|nonclustered] ( {keys:keys} )",
      [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kPrimaryKey); });
  r.AddForm(
      "add unique",
      "alter table {table:name} add constraint {name} unique [clustered|nonclustered] ( {keys:keys} )",
      [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kUnique); });
  r.AddForm("add check", "alter table {table:name} add constraint {name} check {expr:expr}",
            [](ExecContext& ctx, const Captures& caps) { AddConstraint(ctx, caps, ConstraintKind::kCheck); });
  r.AddForm("insert", "insert [into] {table:name} {body:rest}", Insert);
}

}  // namespace standin
