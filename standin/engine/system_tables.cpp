#include "engine/system_tables.h"

#include <algorithm>

namespace standin {

namespace {
SqlType Type(const char* text) {
  return *ParseSqlType(text);
}
ResultColumn Col(const char* name, const char* type, bool nullable = false) {
  return {name, Type(type), nullable};
}
Value Padded(std::string text, size_t width) {
  // nchar columns come back padded with spaces to their declared width.
  if (text.size() < width) text.append(width - text.size(), ' ');
  return Value(text);
}
}  // namespace

const std::vector<SystemTypeRow>& SystemTypes() {
  static const std::vector<SystemTypeRow> kRows = {
      {"image", 34, 34, 16},
      {"text", 35, 35, 16},
      {"uniqueidentifier", 36, 36, 16},
      {"date", 40, 40, 3},
      {"time", 41, 41, 5},
      {"datetime2", 42, 42, 8},
      {"datetimeoffset", 43, 43, 10},
      {"tinyint", 48, 48, 1},
      {"smallint", 52, 52, 2},
      {"int", 56, 56, 4},
      {"smalldatetime", 58, 58, 4},
      {"real", 59, 59, 4},
      {"money", 60, 60, 8},
      {"datetime", 61, 61, 8},
      {"float", 62, 62, 8},
      {"sql_variant", 98, 98, 8016},
      {"ntext", 99, 99, 16},
      {"bit", 104, 104, 1},
      {"decimal", 106, 106, 17},
      {"numeric", 108, 108, 17},
      {"smallmoney", 122, 122, 4},
      {"bigint", 127, 127, 8},
      {"hierarchyid", 240, 128, 892},
      {"geometry", 240, 129, -1},
      {"geography", 240, 130, -1},
      {"varbinary", 165, 165, 8000},
      {"varchar", 167, 167, 8000},
      {"binary", 173, 173, 8000},
      {"char", 175, 175, 8000},
      {"timestamp", 189, 189, 8},
      {"nvarchar", 231, 231, 8000},
      {"nchar", 239, 239, 8000},
      {"xml", 241, 241, -1},
      {"sysname", 231, 256, 256},
  };
  return kRows;
}

Value ObjectId(ExecContext& ctx, std::string_view name) {
  Database* db = ctx.CurrentDb();
  std::string n(name);
  // "db.owner.object" names another database.
  int dots = 0;
  for (char c : n) dots += c == '.';
  if (dots >= 2) db = ctx.server.catalog.FindDatabase(n.substr(0, n.find('.')));
  if (!db) return Value{};
  if (TableDef* t = db->FindTable(n)) return Value(static_cast<int64_t>(t->object_id));
  if (ProcedureDef* p = db->FindProcedure(n)) return Value(static_cast<int64_t>(p->object_id));
  return Value{};
}

std::optional<ResultSet> SystemTable(ExecContext& ctx, Database& db, std::string_view name) {
  ResultSet rs;
  auto& catalog = ctx.server.catalog;
  if (NamesEqual(name, "sysdatabases")) {
    rs.columns = {
        Col("name", "sysname", true),  Col("dbid", "smallint", true), Col("sid", "varbinary(85)", true),
        Col("mode", "smallint", true), Col("status", "int", true),    Col("status2", "int", true),
        Col("crdate", "datetime"),     Col("cmptlevel", "tinyint"),   Col("filename", "nvarchar(260)", true)};
    for (const auto& d : catalog.databases) {
      int64_t status = 65536 | (d.state == DbState::kOffline ? 512 : 0) | (d.single_user ? 4096 : 0);
      rs.rows.push_back({Value(d.name), Value(static_cast<int64_t>(d.dbid)), Value(Bytes{0x01}), Value(0),
                         Value(status), Value(1090519040), Value(d.created), Value(150),
                         Value("/var/opt/data/" + d.name + ".mdf")});
    }
    return rs;
  }
  if (NamesEqual(name, "sysprocesses")) {
    rs.columns = {
        Col("spid", "smallint"),    Col("kpid", "smallint"),       Col("blocked", "smallint"),
        Col("dbid", "smallint"),    Col("uid", "smallint", true),  Col("open_tran", "smallint"),
        Col("status", "nchar(30)"), Col("hostname", "nchar(128)"), Col("program_name", "nchar(128)"),
        Col("cmd", "nchar(16)"),    Col("loginame", "nchar(128)"), Col("net_address", "nchar(12)")};
    auto dbid = [&](const std::string& n) -> int64_t {
      Database* d = catalog.FindDatabase(n);
      return d ? d->dbid : 0;
    };
    std::vector<std::vector<Value>> rows;
    auto add = [&](int spid, const std::string& status, const std::string& host, const std::string& program,
                   const std::string& cmd, const std::string& login, const std::string& database,
                   const std::string& net, int open_tran) {
      rows.push_back({Value(spid), Value(0), Value(0), Value(dbid(database)), Value(1), Value(open_tran),
                      Padded(status, 30), Padded(host, 128), Padded(program, 128), Padded(cmd, 16),
                      Padded(login, 128), Padded(net, 12)});
    };
    for (const auto& p : catalog.processes) {
      add(p.spid, p.status, p.hostname, p.program_name, p.cmd, p.login, p.database, p.net_address, 0);
    }
    for (const auto& [id, s] : ctx.server.sessions) {
      bool self = id == ctx.session.connection;
      add(s.spid, self ? "runnable" : s.status, s.hostname, s.program_name,
          self ? "SELECT" : "AWAITING COMMAND", s.login, s.database, s.net_address,
          self ? ctx.session.trancount : 0);
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      return std::get<int64_t>(a[0].v) < std::get<int64_t>(b[0].v);
    });
    rs.rows = std::move(rows);
    return rs;
  }
  if (NamesEqual(name, "sysobjects")) {
    rs.columns = {Col("name", "sysname"), Col("id", "int"), Col("xtype", "char(2)"),
                  Col("uid", "smallint", true), Col("type", "char(2)", true)};
    for (const auto& t : db.tables) {
      rs.rows.push_back(
          {Value(t.name), Value(static_cast<int64_t>(t.object_id)), Value("U "), Value(1), Value("U ")});
    }
    for (const auto& p : db.procedures) {
      rs.rows.push_back(
          {Value(p.name), Value(static_cast<int64_t>(p.object_id)), Value("P "), Value(1), Value("P ")});
    }
    return rs;
  }
  if (NamesEqual(name, "syscolumns")) {
    rs.columns = {Col("name", "sysname", true),  Col("id", "int"),
                  Col("xtype", "tinyint"),       Col("xusertype", "smallint", true),
                  Col("length", "smallint"),     Col("colid", "smallint", true),
                  Col("isnullable", "int", true)};
    for (const auto& t : db.tables) {
      for (size_t c = 0; c < t.columns.size(); ++c) {
        const auto& col = t.columns[c];
        rs.rows.push_back({Value(col.name), Value(static_cast<int64_t>(t.object_id)), Value(col.type.XType()),
                           Value(col.type.alias == "sysname" ? 256 : col.type.XType()),
                           Value(col.type.ByteLength()), Value(static_cast<int64_t>(c + 1)),
                           Value(col.nullable ? 1 : 0)});
      }
    }
    return rs;
  }
  // sys.indexes and sys.index_columns (the only catalogue views that show included columns and filters).
  if (NamesEqual(name, "indexes")) {
    rs.columns = {Col("object_id", "int"),  Col("name", "sysname", true),
                  Col("index_id", "int"),   Col("type_desc", "nvarchar(60)"),
                  Col("is_unique", "bit"),  Col("is_primary_key", "bit"),
                  Col("has_filter", "bit"), Col("filter_definition", "nvarchar(max)", true)};
    for (const auto& t : db.tables) {
      int id = 1;
      for (const auto& i : t.indexes) {
        int index_id = i.clustered ? 1 : ++id;
        rs.rows.push_back({Value(t.object_id), Value(i.name), Value(index_id),
                           Value(i.clustered ? "CLUSTERED" : "NONCLUSTERED"), Value(i.unique ? 1 : 0),
                           Value(i.primary_key ? 1 : 0), Value(i.filter.empty() ? 0 : 1),
                           i.filter.empty() ? Value{} : Value(i.filter)});
      }
    }
    return rs;
  }
  if (NamesEqual(name, "index_columns")) {
    rs.columns = {Col("object_id", "int"),         Col("index_id", "int"),
                  Col("index_column_id", "int"),   Col("column_id", "int"),
                  Col("key_ordinal", "tinyint"),   Col("is_descending_key", "bit"),
                  Col("is_included_column", "bit")};
    for (const auto& t : db.tables) {
      int id = 1;
      for (const auto& i : t.indexes) {
        int index_id = i.clustered ? 1 : ++id;
        int position = 0;
        for (const auto& k : i.keys) {
          ++position;
          rs.rows.push_back({Value(t.object_id), Value(index_id), Value(position),
                             Value(t.ColumnIndex(k.column) + 1), Value(position), Value(k.descending ? 1 : 0),
                             Value(0)});
        }
        for (const auto& c : i.included) {
          rs.rows.push_back({Value(t.object_id), Value(index_id), Value(++position),
                             Value(t.ColumnIndex(c) + 1), Value(0), Value(0), Value(1)});
        }
      }
    }
    return rs;
  }
  if (NamesEqual(name, "systypes")) {
    rs.columns = {Col("name", "sysname"), Col("xtype", "tinyint"), Col("xusertype", "smallint", true),
                  Col("length", "smallint")};
    for (const auto& t : SystemTypes()) {
      rs.rows.push_back({Value(t.name), Value(t.xtype), Value(t.xusertype), Value(t.length)});
    }
    for (const auto& a : db.types) {
      rs.rows.push_back(
          {Value(a.name), Value(a.base.XType()), Value(a.xusertype), Value(a.base.ByteLength())});
    }
    return rs;
  }
  return std::nullopt;
}

}  // namespace standin
