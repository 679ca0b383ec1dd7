#include "engine/transactions.h"

namespace standin {

namespace {
Bytes Descriptor(uint64_t d) {
  Bytes out(8);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(d >> (8 * i));
  return out;
}

void RestoreUndo(ServerState& server, SessionState& session) {
  for (auto& [key, saved] : session.undo) {
    Database* live = server.catalog.FindDatabase(saved.name);
    if (live) *live = std::move(saved);
  }
  session.undo.clear();
}
}  // namespace

void BeginTransaction(ExecContext& ctx) {
  if (ctx.session.trancount++ > 0) return;
  static uint64_t next_descriptor = 0x100;
  ctx.session.tran_descriptor = ++next_descriptor + (static_cast<uint64_t>(ctx.session.spid) << 32);
  ctx.Env(EnvItem{EnvType::kBeginTran, "", "", Descriptor(ctx.session.tran_descriptor), {}});
}

void CommitTransaction(ExecContext& ctx) {
  if (ctx.session.trancount == 0) {
    ctx.Error(3902, 16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    return;
  }
  if (--ctx.session.trancount > 0) return;
  ctx.session.undo.clear();
  ctx.server.ReleaseLocks(ctx.session.connection);
  ctx.Env(EnvItem{EnvType::kCommitTran, "", "", {}, Descriptor(ctx.session.tran_descriptor)});
  ctx.session.tran_descriptor = 0;
}

void RollbackTransaction(ExecContext& ctx) {
  if (ctx.session.trancount == 0) {
    ctx.Error(3903, 16, 1, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    return;
  }
  ctx.session.trancount = 0;
  RestoreUndo(ctx.server, ctx.session);
  ctx.server.ReleaseLocks(ctx.session.connection);
  ctx.Env(EnvItem{EnvType::kRollbackTran, "", "", {}, Descriptor(ctx.session.tran_descriptor)});
  ctx.session.tran_descriptor = 0;
}

void RollbackOnDisconnect(ServerState& server, SessionState& session) {
  server.ReleaseLocks(session.connection);
  if (session.trancount == 0) return;
  session.trancount = 0;
  RestoreUndo(server, session);
}

}  // namespace standin
