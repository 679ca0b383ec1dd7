// The STATE reply of the control channel: a database's tables, columns, indexes, constraints, statistics and
// (on request) rows as JSON.
#include "catalog/scenario.h"

namespace standin {

using json = nlohmann::json;

namespace {
json ValueJson(const Value& v) {
  if (v.IsNull()) return nullptr;
  if (auto* i = std::get_if<int64_t>(&v.v)) return *i;
  if (auto* d = std::get_if<double>(&v.v)) return *d;
  return v.ToText();
}

const char* KindName(ConstraintKind k) {
  switch (k) {
    case ConstraintKind::kPrimaryKey:
      return "PRIMARY KEY";
    case ConstraintKind::kUnique:
      return "UNIQUE";
    case ConstraintKind::kForeignKey:
      return "FOREIGN KEY";
    case ConstraintKind::kCheck:
      return "CHECK";
    case ConstraintKind::kDefault:
      return "DEFAULT";
  }
  return "";
}

json KeysJson(const std::vector<IndexKey>& keys) {
  json out = json::array();
  for (const auto& k : keys) out.push_back(k.column + (k.descending ? " DESC" : ""));
  return out;
}
}  // namespace

json DatabaseState(const Database& db, bool with_rows) {
  json tables = json::array();
  for (const auto& t : db.tables) {
    json jt = {{"name", t.name}, {"owner", t.owner}, {"row_count", t.rows.size()}};
    jt["columns"] = json::array();
    for (const auto& c : t.columns) {
      json jc = {{"name", c.name}, {"type", c.type.DeclText()}, {"nullable", c.nullable}};
      if (c.identity) jc["identity"] = {{"seed", c.seed}, {"increment", c.increment}};
      if (c.rowguidcol) jc["rowguidcol"] = true;
      jt["columns"].push_back(jc);
    }
    jt["indexes"] = json::array();
    for (const auto& i : t.indexes) {
      jt["indexes"].push_back({{"name", i.name},
                               {"keys", KeysJson(i.keys)},
                               {"unique", i.unique},
                               {"clustered", i.clustered},
                               {"primary_key", i.primary_key},
                               {"included", i.included},
                               {"filter", i.filter}});
    }
    jt["constraints"] = json::array();
    for (const auto& c : t.constraints) {
      json jc = {{"type", KindName(c.kind)}, {"name", c.name}, {"columns", KeysJson(c.columns)}};
      if (!c.expression.empty()) jc["expression"] = c.expression;
      if (c.kind == ConstraintKind::kForeignKey) jc["references"] = c.ref_table;
      jt["constraints"].push_back(jc);
    }
    jt["statistics"] = json::array();
    for (const auto& s : t.statistics) {
      jt["statistics"].push_back(
          {{"name", s.name}, {"columns", s.columns}, {"auto_created", s.auto_created}});
    }
    if (with_rows) {
      jt["rows"] = json::array();
      for (const auto& row : t.rows) {
        json jr = json::array();
        for (const auto& v : row) jr.push_back(ValueJson(v));
        jt["rows"].push_back(jr);
      }
    }
    tables.push_back(jt);
  }
  json procedures = json::array();
  for (const auto& p : db.procedures) {
    json jp = {{"name", p.name}, {"owner", p.owner}};
    if (!p.body.empty()) jp["body"] = p.body;
    procedures.push_back(jp);
  }
  return {{"name", db.name},
          {"state", db.state == DbState::kOffline ? "offline" : "online"},
          {"single_user", db.single_user},
          {"case_sensitive", db.case_sensitive},
          {"tables", tables},
          {"procedures", procedures}};
}

}  // namespace standin
