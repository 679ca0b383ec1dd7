#include "catalog/scenario.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "catalog/languages.h"

namespace standin {

using nlohmann::json;

namespace {

SqlType TypeOf(const std::string& text, const std::string& where, const Database* db = nullptr) {
  auto t = db ? db->ResolveType(text) : ParseSqlType(text);
  if (!t) throw ScenarioError(where + ": unknown type '" + text + "'");
  return *t;
}

Value JsonValue(const json& j, const SqlType& type, const std::string& where) {
  if (j.is_null()) return Value{};
  Value raw;
  SqlType from;
  if (j.is_boolean()) {
    raw = Value(static_cast<int64_t>(j.get<bool>()));
    from = *ParseSqlType("bit");
  } else if (j.is_number_integer()) {
    raw = Value(j.get<int64_t>());
    from = *ParseSqlType("bigint");
  } else if (j.is_number()) {
    raw = Value(j.get<double>());
    from = *ParseSqlType("float");
  } else if (j.is_string()) {
    std::string s = j.get<std::string>();
    if (type.IsBinary() && s.starts_with("0x")) {
      Bytes b;
      for (size_t k = 2; k + 1 < s.size(); k += 2)
        b.push_back(static_cast<uint8_t>(std::stoi(s.substr(k, 2), nullptr, 16)));
      return Value(b);
    }
    raw = Value(s);
    from = NVarCharType(-1);
  } else {
    throw ScenarioError(where + ": a value must be null, a number or a string");
  }
  auto c = ConvertValue(raw, from, type);
  if (c.error) throw ScenarioError(where + ": " + c.error->text);
  return c.value;
}

std::vector<IndexKey> Keys(const json& j, const TableDef& table, const std::string& where) {
  std::vector<IndexKey> keys;
  for (const auto& k : j) {
    IndexKey key;
    if (k.is_object()) {
      key.column = k.at("column").get<std::string>();
      key.descending = k.value("descending", false);
    } else {
      std::string text = Trim(k.get<std::string>());
      std::string lower = Lower(text);
      if (lower.ends_with(" desc")) {
        key.descending = true;
        text = Trim(text.substr(0, text.size() - 5));
      } else if (lower.ends_with(" asc")) {
        text = Trim(text.substr(0, text.size() - 4));
      }
      key.column = text;
    }
    const ColumnDef* col = table.FindColumn(key.column);
    if (!col) throw ScenarioError(where + ": no column '" + key.column + "' in table " + table.name);
    key.column = col->name;
    keys.push_back(key);
  }
  return keys;
}

std::vector<std::string> ColumnNames(const std::vector<IndexKey>& keys) {
  std::vector<std::string> out;
  for (const auto& k : keys) out.push_back(k.column);
  return out;
}

void LoadTable(const json& jt, Database& db) {
  TableDef t;
  t.name = jt.at("name").get<std::string>();
  t.owner = jt.value("owner", "dbo");
  t.object_id = db.NewObjectId();
  const std::string where = db.name + "." + t.name;
  for (const auto& jc : jt.value("columns", json::array())) {
    ColumnDef c;
    c.name = jc.at("name").get<std::string>();
    c.type = TypeOf(jc.at("type").get<std::string>(), where + "." + c.name, &db);
    c.nullable = jc.value("nullable", true);
    c.identity = jc.value("identity", false);
    c.rowguidcol = jc.value("rowguidcol", false);
    t.columns.push_back(c);
  }
  if (t.columns.empty()) throw ScenarioError(where + ": a table needs at least one column");
  for (const auto& jr : jt.value("rows", json::array())) {
    if (!jr.is_array() || jr.size() != t.columns.size()) {
      throw ScenarioError(where + ": every row needs " + std::to_string(t.columns.size()) + " values");
    }
    std::vector<Value> row;
    for (size_t k = 0; k < t.columns.size(); ++k) {
      Value v = JsonValue(jr[k], t.columns[k].type, where + "." + t.columns[k].name);
      if (v.IsNull() && !t.columns[k].nullable)
        throw ScenarioError(where + "." + t.columns[k].name + ": NULL in a NOT NULL column");
      row.push_back(std::move(v));
    }
    t.rows.push_back(std::move(row));
  }
  for (const auto& ji : jt.value("indexes", json::array())) {
    IndexDef i;
    i.name = ji.at("name").get<std::string>();
    i.keys = Keys(ji.at("keys"), t, where + " index " + i.name);
    i.unique = ji.value("unique", false);
    i.clustered = ji.value("clustered", false);
    i.filegroup = ji.value("filegroup", "PRIMARY");
    for (const auto& key : Keys(ji.value("included", json::array()), t, where + " index " + i.name)) {
      i.included.push_back(key.column);
    }
    i.filter = ji.value("filter", "");
    t.indexes.push_back(i);
  }
  for (const auto& jc : jt.value("constraints", json::array())) {
    ConstraintDef c;
    std::string type = Lower(jc.at("type").get<std::string>());
    c.name = jc.at("name").get<std::string>();
    const std::string cw = where + " constraint " + c.name;
    if (jc.contains("column")) c.columns = Keys(json::array({jc["column"]}), t, cw);
    if (jc.contains("columns")) c.columns = Keys(jc["columns"], t, cw);
    c.expression = jc.value("expression", "");
    c.enabled = jc.value("enabled", true);
    c.not_for_replication = jc.value("not_for_replication", false);
    if (type == "default") {
      c.kind = ConstraintKind::kDefault;
      if (c.columns.size() != 1) throw ScenarioError(cw + ": a DEFAULT names one column");
    } else if (type == "check") {
      c.kind = ConstraintKind::kCheck;
    } else if (type == "primary key" || type == "unique") {
      c.kind = type == "unique" ? ConstraintKind::kUnique : ConstraintKind::kPrimaryKey;
      c.clustered = jc.value("clustered", c.kind == ConstraintKind::kPrimaryKey);
      if (c.columns.empty()) throw ScenarioError(cw + ": needs columns");
      IndexDef i;
      i.name = c.name;
      i.keys = c.columns;
      i.unique = true;
      i.clustered = c.clustered;
      i.primary_key = c.kind == ConstraintKind::kPrimaryKey;
      i.unique_constraint = !i.primary_key;
      t.indexes.push_back(i);
    } else if (type == "foreign key") {
      c.kind = ConstraintKind::kForeignKey;
      c.ref_table = jc.at("references").get<std::string>();
      c.ref_columns = jc.at("ref_columns").get<std::vector<std::string>>();
      c.delete_action = jc.value("delete_action", "No Action");
      c.update_action = jc.value("update_action", "No Action");
    } else {
      throw ScenarioError(cw + ": unknown constraint type '" + type + "'");
    }
    t.constraints.push_back(c);
  }
  for (const auto& js : jt.value("statistics", json::array())) {
    StatisticDef s;
    s.name = js.at("name").get<std::string>();
    s.columns = ColumnNames(Keys(js.at("columns"), t, where + " statistics " + s.name));
    s.auto_created = js.value("auto_created", false);
    t.statistics.push_back(s);
  }
  db.tables.push_back(std::move(t));
}

void LoadProcedure(const json& jp, Database& db) {
  ProcedureDef p;
  p.name = jp.at("name").get<std::string>();
  p.owner = jp.value("owner", "dbo");
  p.object_id = db.NewObjectId();
  p.return_status = jp.value("return_status", 0);
  const std::string where = db.name + " procedure " + p.name;
  for (const auto& jpar : jp.value("params", json::array())) {
    ProcParamDef d;
    d.name = jpar.at("name").get<std::string>();
    d.type = TypeOf(jpar.at("type").get<std::string>(), where);
    d.output = jpar.value("output", false);
    if (jpar.contains("value")) d.value = JsonValue(jpar["value"], d.type, where + " " + d.name);
    p.params.push_back(d);
  }
  for (const auto& jr : jp.value("results", json::array())) {
    ResultSetDef rs;
    for (const auto& jc : jr.at("columns")) {
      rs.columns.push_back({jc.at("name").get<std::string>(), TypeOf(jc.at("type").get<std::string>(), where),
                            jc.value("nullable", true), false, 1, 1, false});
    }
    for (const auto& row : jr.value("rows", json::array())) {
      if (row.size() != rs.columns.size()) throw ScenarioError(where + ": result row of the wrong width");
      std::vector<Value> values;
      for (size_t k = 0; k < rs.columns.size(); ++k)
        values.push_back(JsonValue(row[k], rs.columns[k].type, where));
      rs.rows.push_back(std::move(values));
    }
    p.results.push_back(std::move(rs));
  }
  db.procedures.push_back(std::move(p));
}

void LoadDatabase(const json& jd, Catalog& catalog) {
  std::string name = jd.at("name").get<std::string>();
  Database* db = catalog.FindDatabase(name);
  if (!db) db = &catalog.AddDatabase(name);
  db->owner = jd.value("owner", db->owner);
  std::string state = Lower(jd.value("state", "online"));
  if (state != "online" && state != "offline")
    throw ScenarioError(name + ": state must be online or offline");
  db->state = state == "offline" ? DbState::kOffline : DbState::kOnline;
  db->single_user = jd.value("single_user", false);
  db->case_sensitive = jd.value("case_sensitive", false);
  for (const auto& ju : jd.value("users", json::array())) {
    db->users.push_back({ju.at("name").get<std::string>(), ju.value("login", ""),
                         ju.value("roles", std::vector<std::string>{})});
  }
  for (const auto& jty : jd.value("types", json::array())) {
    std::string type_name = jty.at("name").get<std::string>();
    db->types.push_back(AliasTypeDef{type_name,
                                     TypeOf(jty.at("base").get<std::string>(), name + "." + type_name),
                                     257 + static_cast<int>(db->types.size())});
  }
  for (const auto& jt : jd.value("tables", json::array())) {
    if (db->FindTable(jt.at("name").get<std::string>())) throw ScenarioError(name + ": duplicate table");
    LoadTable(jt, *db);
  }
  for (const auto& jp : jd.value("procedures", json::array())) LoadProcedure(jp, *db);
}

std::string Padded(int n, int width) {
  std::string s = std::to_string(n);
  return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

}  // namespace

void ApplyFaults(const json& j, Faults& faults, Catalog& catalog) {
  if (j.contains("refuse_logins")) faults.refuse_logins = j["refuse_logins"].get<bool>();
  if (j.contains("drop_after")) {
    faults.statements_seen = 0;
    if (j["drop_after"].is_null() || j["drop_after"].get<int64_t>() <= 0)
      faults.drop_after.reset();
    else
      faults.drop_after = j["drop_after"].get<int64_t>();
  }
  if (j.contains("drop_on")) faults.drop_on = j["drop_on"].get<std::string>();
  if (j.contains("latency_ms")) faults.latency_ms = j["latency_ms"].get<int>();
  if (j.contains("hang_on")) faults.hang_on = j["hang_on"].get<std::string>();
  for (const char* key : {"offline", "online"}) {
    for (const auto& name : j.value(key, json::array())) {
      Database* db = catalog.FindDatabase(name.get<std::string>());
      if (!db) throw ScenarioError(std::string("faults.") + key + ": no database " + name.get<std::string>());
      db->state = std::string(key) == "offline" ? DbState::kOffline : DbState::kOnline;
    }
  }
}

json FleetDatabases(const FleetOptions& o) {
  json dbs = json::array();
  int width = std::max(3, static_cast<int>(std::to_string(o.count).size()));
  for (int n = 1; n <= o.count; ++n) {
    bool converted = o.already_converted_every > 0 && n % o.already_converted_every == 0;
    json rows = json::array();
    for (int r = 1; r <= o.rows; ++r) {
      char date[32];
      std::snprintf(date, sizeof date, "2024-%02d-%02d %02d:%02d:00", (r % 12) + 1, (r % 28) + 1,
                    (r * 7) % 24, (r * 13) % 60);
      rows.push_back({r, "CLI" + Padded(r % 97, 4), r * 1.25, date});
    }
    json table = {
        {"name", "MovCliente"},
        {"columns",
         {{{"name", "NumRegisto"}, {"type", "int"}, {"nullable", false}},
          {{"name", "Cliente"}, {"type", "nvarchar(20)"}},
          {{"name", "Valor"}, {"type", "money"}},
          {{"name", "DataSys"}, {"type", converted ? "datetime" : "smalldatetime"}}}},
        {"rows", rows},
        {"indexes",
         {{{"name", "IX_MovCliente_Registo"}, {"keys", {"NumRegisto", "DataSys"}}},
          {{"name", "IX_MovCliente_Cliente"}, {"keys", {"Cliente"}}}}},
        {"constraints",
         {{{"type", "DEFAULT"},
           {"name", "DF_MovCliente_DataSys"},
           {"column", "DataSys"},
           {"expression", "(getdate())"}},
          {{"type", "PRIMARY KEY"},
           {"name", "PK_MovCliente"},
           {"columns", {"NumRegisto"}},
           {"clustered", true}}}},
        {"statistics",
         {{{"name", "ST_MovCliente_DataSys"}, {"columns", {"DataSys"}}},
          {{"name", "_WA_Sys_00000004_" + Padded(n, 8)}, {"columns", {"DataSys"}}, {"auto_created", true}}}},
    };
    if (converted) {
      table["indexes"] = json::array({{{"name", "IX_MovCliente_Cliente"}, {"keys", {"Cliente"}}}});
      table["constraints"] = json::array({table["constraints"][1]});
      table["statistics"] = json::array();
    }
    dbs.push_back({{"name", o.prefix + Padded(n, width)}, {"tables", json::array({table})}});
  }
  return dbs;
}

json FleetScenario(const FleetOptions& o, const std::string& sa_password) {
  return {{"logins", {{{"name", "sa"}, {"password", sa_password}, {"server_roles", {"sysadmin"}}}}},
          {"databases", FleetDatabases(o)}};
}

Scenario LoadScenario(const json& j) {
  Scenario s;
  AddSystemDatabases(s.catalog);
  s.catalog.server_name = j.value("server_name", "STANDIN");
  for (const auto& jl : j.value("logins", json::array())) {
    LoginDef l;
    l.name = jl.at("name").get<std::string>();
    l.password = jl.value("password", "");
    l.default_database = jl.value("default_database", "master");
    l.server_roles = jl.value("server_roles", std::vector<std::string>{});
    const LanguageDef* language = FindLanguage(jl.value("default_language", "us_english"));
    if (!language) {
      throw ScenarioError("login " + l.name + ": unknown default_language " +
                          jl.value("default_language", ""));
    }
    l.default_language = language->name;
    l.disabled = jl.value("disabled", false);
    s.catalog.logins.push_back(l);
  }
  for (const auto& jd : j.value("databases", json::array())) LoadDatabase(jd, s.catalog);
  if (j.contains("fleet")) {
    const json& jf = j["fleet"];
    FleetOptions o;
    o.count = jf.value("count", o.count);
    o.prefix = jf.value("prefix", o.prefix);
    o.rows = jf.value("rows", o.rows);
    o.already_converted_every = jf.value("already_converted_every", 0);
    for (const auto& jd : FleetDatabases(o)) LoadDatabase(jd, s.catalog);
  }
  for (const auto& jp : j.value("processes", json::array())) {
    ProcessDef p;
    p.spid = jp.at("spid").get<int16_t>();
    p.status = jp.value("status", p.status);
    p.hostname = jp.value("hostname", "");
    p.program_name = jp.value("program_name", "");
    p.login = jp.value("login", "sa");
    p.database = jp.value("database", "master");
    p.net_address = jp.value("net_address", "");
    p.cmd = jp.value("cmd", p.cmd);
    s.catalog.processes.push_back(p);
  }
  if (j.contains("faults")) ApplyFaults(j["faults"], s.faults, s.catalog);
  return s;
}

Scenario LoadScenarioFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw ScenarioError("cannot read scenario file " + path);
  json j;
  try {
    j = json::parse(in);
  } catch (const json::exception& e) {
    throw ScenarioError(path + ": " + e.what());
  }
  try {
    return LoadScenario(j);
  } catch (const json::exception& e) {
    throw ScenarioError(path + ": " + e.what());
  }
}

}  // namespace standin
