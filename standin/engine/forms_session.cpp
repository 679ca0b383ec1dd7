// Statements about the session itself: SET options, the login's language, USE, and transaction control.
#include "catalog/languages.h"
#include "engine/statement_registry.h"
#include "engine/transactions.h"

namespace standin {

namespace {

// USE: the database must exist (911), be online (942) and, in single-user mode, be free (924).
void Use(ExecContext& ctx, const Captures& caps) {
  const std::string& name = caps.Text("db");
  Database* db = ctx.server.catalog.FindDatabase(name);
  if (!db) {
    ctx.Error(911, 16, 1,
              "Database '" + name + "' does not exist. Make sure that the name is entered correctly.");
    return;
  }
  if (db->state == DbState::kOffline) {
    ctx.Error(942, 14, 4, "Database '" + db->name + "' cannot be opened because it is offline.");
    return;
  }
  if (db->single_user && ctx.server.SessionsIn(db->name, ctx.session.connection) > 0) {
    ctx.Error(924, 14, 1,
              "Database '" + db->name + "' is already open and can only have one user at a time.");
    return;
  }
  std::string old = ctx.session.database;
  ctx.session.database = db->name;
  auto live = ctx.server.sessions.find(ctx.session.connection);
  if (live != ctx.server.sessions.end()) live->second.database = db->name;
  ctx.Env(EnvItem{EnvType::kDatabase, db->name, old, {}, {}});
  ctx.Info(5701, "Changed database context to '" + db->name + "'.", 1);
}

// SET LANGUAGE sets the date order too; SET DATEFORMAT sets only the order.
void SetLanguage(ExecContext& ctx, const Captures& caps) {
  const LanguageDef* language = FindLanguage(caps.Text("language"));
  if (!language) return NotModelled(ctx, caps["language"].tokens);
  std::string old = ctx.session.language;
  ctx.session.language = language->name;
  ctx.session.date_order = language->order;
  ctx.Env(EnvItem{EnvType::kLanguage, language->name, old, {}, {}});
  ctx.Info(5703, std::string("Changed language setting to ") + language->name + ".", 1);
}

void SetDateFormat(ExecContext& ctx, const Captures& caps) {
  auto order = ParseDateOrder(caps.Text("order"));
  if (!order) return NotModelled(ctx, caps["order"].tokens);
  ctx.session.date_order = *order;
}

// The session's login's default language beside the session's own (syslogins' row
// for the login; sid = suser_sid()), as clients read it to name the login's own
// language at login.
void LoginLanguage(ExecContext& ctx, const Captures&) {
  ResultSet rs;
  rs.columns = {{"language", NVarCharType(128), true}, {"", NVarCharType(128), true}};
  if (const LoginDef* login = ctx.CurrentLogin()) {
    const LanguageDef* language = FindLanguage(login->default_language);
    rs.rows.push_back({language ? Value(std::string(language->name)) : Value(login->default_language),
                       Value(ctx.session.language)});
  }
  ctx.Rows(std::move(rs));
}

}  // namespace

void RegisterSessionForms(StatementRegistry& r) {
  // Drivers send SET options after login and when attributes change; the server accepts them without output.
  r.AddForm("set language", "set language {language:arg}", SetLanguage);
  r.AddForm("set dateformat", "set dateformat {order:arg}", SetDateFormat);
  r.AddForm("login language",
            "select language , @@language from master . dbo . syslogins where sid = suser_sid ( )",
            LoginLanguage);
  r.AddForm("set option", "set {option:rest}", [](ExecContext&, const Captures&) {});
  r.AddForm("use", "use {db}", Use);
  r.AddForm("begin transaction", "begin tran|transaction [{name}]",
            [](ExecContext& ctx, const Captures&) { BeginTransaction(ctx); });
  r.AddForm("commit", "commit [tran|transaction|work] [{name}]",
            [](ExecContext& ctx, const Captures&) { CommitTransaction(ctx); });
  r.AddForm("rollback", "rollback [tran|transaction|work] [{name}]",
            [](ExecContext& ctx, const Captures&) { RollbackTransaction(ctx); });
  // What FreeTDS sends for transaction control below TDS 7.2.
  r.AddForm("conditional commit", "if @@trancount > 0 commit [begin transaction|tran]",
            [](ExecContext& ctx, const Captures& caps) {
              if (ctx.session.trancount > 0) CommitTransaction(ctx);
              if (caps.Has("begin")) BeginTransaction(ctx);
            });
  r.AddForm("conditional rollback", "if @@trancount > 0 rollback [begin transaction|tran]",
            [](ExecContext& ctx, const Captures& caps) {
              if (ctx.session.trancount > 0) RollbackTransaction(ctx);
              if (caps.Has("begin")) BeginTransaction(ctx);
            });
}

}  // namespace standin
