#include "engine/locks.h"

#include <algorithm>
#include <cstdio>

#include "engine/statement_registry.h"
#include "engine/token_cursor.h"
#include "engine/transactions.h"

namespace standin {

namespace {

using Clock = std::chrono::steady_clock;

const IndexDef* ClusteredIndex(const TableDef& table) {
  for (const IndexDef& index : table.indexes) {
    if (index.clustered) return &index;
  }
  return nullptr;
}

// The columns that tell a row from the others: the clustered key, else a primary key or unique index, else
// an identity column, else every column.
std::vector<size_t> KeyColumns(const TableDef& table) {
  const IndexDef* key = ClusteredIndex(table);
  for (const IndexDef& index : table.indexes) {
    if (!key && (index.primary_key || index.unique)) key = &index;
  }
  std::vector<size_t> columns;
  if (key) {
    for (const IndexKey& k : key->keys) {
      const int c = table.ColumnIndex(k.column);
      if (c >= 0) columns.push_back(static_cast<size_t>(c));
    }
  }
  if (columns.empty()) {
    for (size_t c = 0; c < table.columns.size(); ++c) {
      if (table.columns[c].identity) columns.push_back(c);
    }
  }
  if (columns.empty()) {
    for (size_t c = 0; c < table.columns.size(); ++c) columns.push_back(c);
  }
  return columns;
}

uint64_t RowHash(const std::vector<Value>& row, const std::vector<size_t>& columns) {
  uint64_t h = 14695981039346656037ULL;  // FNV-1a
  auto mix = [&h](unsigned char byte) {
    h ^= byte;
    h *= 1099511628211ULL;
  };
  for (size_t c : columns) {
    const std::string text = c < row.size() && !row[c].IsNull() ? "v" + row[c].ToText() : std::string("n");
    for (char ch : text) mix(static_cast<unsigned char>(ch));
    mix(0);
  }
  return h & 0xFFFFFFFFFFFFULL;  // the 12 hex digits a KEY resource shows
}

uint64_t DataPage(const TableDef& table) {
  return 80 + static_cast<uint64_t>(table.object_id) % 9000;
}

LockRequest RowLock(const Database& db, const TableDef& table, const std::vector<Value>& row,
                    const std::vector<size_t>& key_columns, size_t slot, LockMode mode) {
  LockRequest r;
  r.mode = mode;
  r.resource.dbid = db.dbid;
  r.resource.object_id = table.object_id;
  r.resource.key = RowHash(row, key_columns);
  char text[40];
  if (ClusteredIndex(table)) {
    r.resource.type = LockType::kKey;
    r.resource.index_id = 1;
    std::snprintf(text, sizeof text, "(%012llx)", static_cast<unsigned long long>(r.resource.key));
  } else {
    r.resource.type = LockType::kRid;
    std::snprintf(text, sizeof text, "1:%llu:%zu", static_cast<unsigned long long>(DataPage(table)), slot);
  }
  r.resource.text = text;
  return r;
}

std::vector<LockRequest> IntentLocks(const Database& db, const TableDef& table, LockMode mode) {
  const LockMode intent = mode == LockMode::kX ? LockMode::kIX : LockMode::kIS;
  LockRequest page;
  page.mode = intent;
  page.resource.dbid = db.dbid;
  page.resource.object_id = table.object_id;
  page.resource.index_id = ClusteredIndex(table) ? 1 : 0;
  page.resource.type = LockType::kPag;
  page.resource.key = DataPage(table);
  page.resource.text = "1:" + std::to_string(page.resource.key);
  return {TableLock(db, table, intent), page};
}

// Whether the session waiting for `blocker` is, through the chain of waits, waiting for `connection`.
bool WaitsFor(const LockTable& locks, const LockEntry* blocker, int connection) {
  for (size_t hops = 0; blocker && hops < 64; ++hops) {
    if (blocker->connection == connection) return true;
    const LockEntry* wait = nullptr;
    for (const LockEntry& e : locks.Entries()) {
      if (!e.granted && e.connection == blocker->connection) wait = &e;
    }
    if (!wait) return false;
    blocker = locks.Blocker(wait->connection, LockRequest{wait->resource, wait->mode});
  }
  return false;
}

}  // namespace

LockRequest TableLock(const Database& db, const TableDef& table, LockMode mode) {
  LockRequest r;
  r.mode = mode;
  r.resource.dbid = db.dbid;
  r.resource.object_id = table.object_id;
  r.resource.type = LockType::kTab;
  return r;
}

std::vector<LockRequest> RowLocks(const Database& db, const TableDef& table, const std::vector<size_t>& rows,
                                  LockMode mode, const std::vector<std::vector<Value>>* changed) {
  std::vector<LockRequest> out = IntentLocks(db, table, mode);
  const std::vector<size_t> key_columns = KeyColumns(table);
  for (size_t r : rows) {
    out.push_back(RowLock(db, table, table.rows[r], key_columns, r, mode));
    if (changed && (*changed)[r] != table.rows[r]) {
      out.push_back(RowLock(db, table, (*changed)[r], key_columns, r, mode));
    }
  }
  return out;
}

std::vector<LockRequest> RowLocks(const Database& db, const TableDef& table,
                                  const std::vector<std::vector<Value>>& rows, LockMode mode) {
  std::vector<LockRequest> out = IntentLocks(db, table, mode);
  const std::vector<size_t> key_columns = KeyColumns(table);
  for (size_t r = 0; r < rows.size(); ++r) {
    out.push_back(RowLock(db, table, rows[r], key_columns, table.rows.size() + r, mode));
  }
  return out;
}

bool TakeLocks(ExecContext& ctx, const std::vector<LockRequest>& requests) {
  ServerState& server = ctx.server;
  const int connection = ctx.session.connection;
  const int spid = ctx.session.spid;
  const LockRequest* blocked = nullptr;
  const LockEntry* blocker = server.locks.Blocker(connection, requests, &blocked);
  if (!blocker) {
    // Outside a transaction the statement's locks end with it, and it runs to its end under the mutex.
    if (ctx.session.trancount > 0) {
      for (const LockRequest& r : requests) server.locks.Grant(connection, spid, r);
    }
    return true;
  }
  if (!ctx.lock_deadline && ctx.session.lock_timeout_ms >= 0) {
    ctx.lock_deadline = Clock::now() + std::chrono::milliseconds(ctx.session.lock_timeout_ms);
  }
  server.locks.SetWaiting(connection, spid, *blocked);
  while (true) {
    blocker = server.locks.Blocker(connection, requests);
    if (!blocker) {
      ctx.retry_statement = true;
      break;
    }
    if (ctx.session.trancount > 0 && WaitsFor(server.locks, blocker, connection)) {
      server.locks.ClearWaiting(connection);
      ctx.Error(1205, 13, 45,
                "Transaction (Process ID " + std::to_string(spid) +
                    ") was deadlocked on lock resources with another process and has been chosen as the "
                    "deadlock victim. Rerun the transaction.");
      ctx.abort_batch = true;
      RollbackTransaction(ctx);
      return false;
    }
    const auto now = Clock::now();
    if (ctx.lock_deadline && now >= *ctx.lock_deadline) {
      ctx.Error(1222, 16, 51, "Lock request time out period exceeded.");
      break;
    }
    if (ctx.interrupted && ctx.interrupted()) {
      ctx.cancelled = true;
      ctx.abort_batch = true;
      break;
    }
    // Woken by a release; the slice bounds how late a cancel or a time-out is noticed.
    auto until = now + std::chrono::milliseconds(50);
    if (ctx.lock_deadline && *ctx.lock_deadline < until) until = *ctx.lock_deadline;
    server.locks_released.wait_until(server.mu, until);
  }
  server.locks.ClearWaiting(connection);
  return false;
}

bool LockSchemaChange(ExecContext& ctx, const std::vector<Token>& tokens) {
  TokenCursor cur(tokens);
  if (!(cur.AcceptWord("drop") || cur.AcceptWord("alter")) || !cur.AcceptWord("table")) return true;
  std::vector<std::string> parts;
  if (!cur.Name(parts) || parts.empty()) return true;
  Database* db = ctx.CurrentDb();
  if (parts.size() >= 3) db = ctx.server.catalog.FindDatabase(parts[parts.size() - 3]);
  const TableDef* table = db ? db->FindTable(parts.back()) : nullptr;
  // A missing table is the statement's own error to report.
  if (!table) return true;
  return TakeLocks(ctx, {TableLock(*db, *table, LockMode::kSchM)});
}

}  // namespace standin
