// The server's processes as the maintenance library asks about them: the processes of a login, this
// workstation's processes in a database (sysprocesses joined to sysdatabases), and the current database's id.
// These are the exact query shapes the library sends; the general SELECT (forms_select.cpp) has no joins and
// no functions in WHERE.
#include <algorithm>

#include "engine/statement_registry.h"
#include "engine/system_tables.h"

namespace standin {

namespace {

std::string RightTrimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Upper case as the default collation folds it: ASCII and the Latin-1 letters, in UTF-8.
std::string Upper(const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      auto next = static_cast<unsigned char>(out[i + 1]);
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) out[i + 1] = static_cast<char>(next - 0x20);
      ++i;
    }
  }
  return out;
}

ResultSet Processes(ExecContext& ctx) {
  return *SystemTable(ctx, *ctx.CurrentDb(), "sysprocesses");
}

std::string Text(const ResultSet& rs, const std::vector<Value>& row, const char* column) {
  for (size_t c = 0; c < rs.columns.size(); ++c) {
    if (NamesEqual(rs.columns[c].name, column)) return row[c].IsNull() ? "" : RightTrimmed(row[c].ToText());
  }
  return {};
}

// select * from sysprocesses where net_address<>' ' and upper(loginame)=upper('<login>')
void LoginProcesses(ExecContext& ctx, const Captures& caps) {
  const std::vector<Token>& t = caps["cond"].tokens;
  static const char* const kShape[] = {"<>", "",  "and",   "upper", "(", "loginame",
                                       ")",  "=", "upper", "(",     "",  ")"};
  bool shaped = t.size() == std::size(kShape);
  for (size_t k = 0; shaped && k < t.size(); ++k) {
    shaped = *kShape[k] ? NamesEqual(t[k].text, kShape[k]) : t[k].kind == TokenKind::kString;
  }
  if (!shaped) {
    NotModelled(ctx, t);
    return;
  }
  const std::string blank = RightTrimmed(t[1].text);
  const std::string login = Upper(RightTrimmed(t[10].text));
  ResultSet all = Processes(ctx);
  ResultSet rs{all.columns, {}};
  for (auto& row : all.rows) {
    if (RightTrimmed(Text(all, row, "net_address")) != blank && Upper(Text(all, row, "loginame")) == login) {
      rs.rows.push_back(std::move(row));
    }
  }
  ctx.Rows(std::move(rs));
}

// The processes of one host in one database, as KILL candidates.
void HostProcesses(ExecContext& ctx, const Captures& caps) {
  ResultSet all = Processes(ctx);
  ResultSet rs;
  rs.columns = {all.columns[0], all.columns[6], {"name", *ParseSqlType("sysname"), false}};
  for (const auto& row : all.rows) {
    const int64_t dbid = std::get<int64_t>(row[3].v);
    auto db = std::find_if(ctx.server.catalog.databases.begin(), ctx.server.catalog.databases.end(),
                           [&](const Database& d) { return d.dbid == dbid; });
    if (db == ctx.server.catalog.databases.end()) continue;
    if (NamesEqual(Text(all, row, "hostname"), RightTrimmed(caps.Text("host"))) &&
        NamesEqual(db->name, RightTrimmed(caps.Text("db")))) {
      rs.rows.push_back({row[0], row[6], Value(db->name)});
    }
  }
  ctx.Rows(std::move(rs));
}

void DatabaseByUpperName(ExecContext& ctx, const Captures& caps) {
  ResultSet rs;
  rs.columns = {{caps["column"].text, *ParseSqlType("sysname"), false}};
  const std::string wanted = Upper(caps.Text("name"));
  for (const auto& d : ctx.server.catalog.databases) {
    if (Upper(d.name) == wanted) rs.rows.push_back({Value(d.name)});
  }
  ctx.Rows(std::move(rs));
}

void CurrentDatabaseId(ExecContext& ctx, const Captures& caps) {
  ResultSet rs;
  rs.columns = {{caps.Text("alias"), IntType(), true}};
  rs.rows.push_back({Value(static_cast<int64_t>(ctx.CurrentDb()->dbid))});
  ctx.Rows(std::move(rs));
}

}  // namespace

void RegisterProcessForms(StatementRegistry& r) {
  r.AddForm("processes of a login", "select * from sysprocesses where net_address {cond:rest}",
            LoginProcesses);
  r.AddForm(
      "processes of a host",
      "select sysprocesses . spid , sysprocesses . status , sysdatabases . name from sysprocesses inner "
      "join sysdatabases on sysdatabases . dbid = sysprocesses . dbid where sysprocesses . hostname = "
      "{host:str} and sysdatabases . name = {db:str}",
      HostProcesses);
  r.AddForm("database by upper-cased name",
            "select {column} from sysdatabases where upper ( name ) = upper ( {name:str} )",
            DatabaseByUpperName);
  r.AddForm("current database id", "select {alias} = db_id ( )", CurrentDatabaseId);
}

}  // namespace standin
