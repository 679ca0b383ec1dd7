#include "catalog/catalog.h"

#include <cctype>

namespace standin {

namespace {
template <typename T>
T* FindByName(std::vector<T>& items, std::string_view name, bool case_sensitive = false) {
  for (auto& item : items) {
    if (case_sensitive ? item.name == name : NamesEqual(item.name, name)) return &item;
  }
  return nullptr;
}
}  // namespace

bool IndexDef::UsesColumn(std::string_view column) const {
  for (const auto& k : keys) {
    if (NamesEqual(k.column, column)) return true;
  }
  for (const auto& c : included) {
    if (NamesEqual(c, column)) return true;
  }
  // The filter names the column as a whole word, bracketed or not.
  std::string text = Lower(filter), word = Lower(column);
  auto word_char = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#';
  };
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    bool starts = at == 0 || !word_char(text[at - 1]);
    bool ends = at + word.size() == text.size() || !word_char(text[at + word.size()]);
    if (starts && ends) return true;
  }
  return false;
}

const ColumnDef* TableDef::FindColumn(std::string_view column) const {
  int i = ColumnIndex(column);
  return i < 0 ? nullptr : &columns[i];
}

int TableDef::ColumnIndex(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (NamesEqual(columns[i].name, column)) return static_cast<int>(i);
  }
  return -1;
}

IndexDef* TableDef::FindIndex(std::string_view index) {
  return FindByName(indexes, index);
}
ConstraintDef* TableDef::FindConstraint(std::string_view constraint) {
  return FindByName(constraints, constraint);
}
StatisticDef* TableDef::FindStatistic(std::string_view statistic) {
  return FindByName(statistics, statistic);
}

TableDef* Database::FindTable(std::string_view table) {
  return FindByName(tables, LastNamePart(table), case_sensitive);
}
ProcedureDef* Database::FindProcedure(std::string_view procedure) {
  return FindByName(procedures, LastNamePart(procedure), case_sensitive);
}

std::optional<SqlType> Database::ResolveType(std::string_view text) const {
  if (auto t = ParseSqlType(text)) return t;
  for (const auto& alias : types) {
    if (case_sensitive ? alias.name == text : NamesEqual(alias.name, text)) {
      SqlType t = alias.base;
      t.alias = alias.name;
      return t;
    }
  }
  return std::nullopt;
}

Database* Catalog::FindDatabase(std::string_view database) {
  return FindByName(databases, database);
}
LoginDef* Catalog::FindLogin(std::string_view login) {
  return FindByName(logins, login);
}

Database& Catalog::AddDatabase(std::string name) {
  Database db;
  db.name = std::move(name);
  db.dbid = next_dbid++;
  // Every database is made from model, so each starts the same sequence of object ids: the same id names
  // different objects in different databases.
  db.next_object_id = 1977058079;
  db.created = DateTimeFromParts(2024, 1, 15, 9, 30, 0, 0);
  databases.push_back(std::move(db));
  return databases.back();
}

void AddSystemDatabases(Catalog& catalog) {
  for (const char* name : {"master", "tempdb", "model", "msdb"}) {
    if (!catalog.FindDatabase(name)) catalog.AddDatabase(name);
  }
}

std::string LastNamePart(std::string_view name) {
  std::string last;
  bool in_bracket = false;
  std::string current;
  for (char c : name) {
    if (c == '[' && !in_bracket) {
      in_bracket = true;
    } else if (c == ']' && in_bracket) {
      in_bracket = false;
    } else if (c == '.' && !in_bracket) {
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  return Trim(current);
}

}  // namespace standin
