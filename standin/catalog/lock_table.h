// The locks that sessions' open transactions hold, and the requests waiting for them, as sp_lock lists them.
// A resource is a database, a table, a page or a row (RID in a heap, KEY in a clustered index); a row is
// known by a hash of its key values, so it keeps its identity while other rows come and go.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

enum class LockType { kDb, kTab, kPag, kRid, kKey };
enum class LockMode { kS, kX, kIS, kIX, kSchS, kSchM };

// "DB", "TAB", "PAG", "RID", "KEY" and "S", "X", "IS", "IX", "Sch-S", "Sch-M", as sp_lock shows them.
std::string_view LockTypeName(LockType type);
std::string_view LockModeName(LockMode mode);
// Whether a lock of mode `held` lets another session take `wanted` on the same resource.
bool LocksCompatible(LockMode held, LockMode wanted);

struct LockResource {
  int16_t dbid = 0;
  int32_t object_id = 0;
  int16_t index_id = 0;
  LockType type = LockType::kTab;
  uint64_t key = 0;  // rows: the hash of the row's key values; pages: the page number
  std::string text;  // the Resource column: "1:80:0", "(0a1b2c3d4e5f)", "1:80", empty for a table
  bool Same(const LockResource& other) const {
    return dbid == other.dbid && object_id == other.object_id && type == other.type && key == other.key;
  }
};

struct LockRequest {
  LockResource resource;
  LockMode mode = LockMode::kS;
};

struct LockEntry {
  int connection = 0;
  int spid = 0;
  LockResource resource;
  LockMode mode = LockMode::kS;
  bool granted = true;  // false: the WAIT row of a request blocked by another session
};

class LockTable {
 public:
  // The granted lock of another connection that `request` conflicts with; nullptr when it can be granted.
  const LockEntry* Blocker(int connection, const LockRequest& request) const;
  // The first blocker of any of `requests`; `blocked` receives the request it blocks.
  const LockEntry* Blocker(int connection, const std::vector<LockRequest>& requests,
                           const LockRequest** blocked = nullptr) const;
  // Records a granted lock; one the connection already holds in the same or a stronger mode is not repeated.
  void Grant(int connection, int spid, const LockRequest& request);
  // Shows `request` as waiting (replacing any earlier WAIT row of the connection), or clears the WAIT row.
  void SetWaiting(int connection, int spid, const LockRequest& request);
  void ClearWaiting(int connection);
  // Releases every lock of the connection (the end of its transaction or of the connection).
  void ReleaseAll(int connection);
  const std::vector<LockEntry>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }

 private:
  std::vector<LockEntry> entries_;
};

}  // namespace standin
