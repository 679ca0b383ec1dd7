#include "catalog/lock_table.h"

#include <algorithm>

namespace standin {

namespace {

// Whether holding `held` already gives what `wanted` asks for on the same resource.
bool Covers(LockMode held, LockMode wanted) {
  if (held == wanted || held == LockMode::kSchM) return true;
  if (held == LockMode::kX) return wanted != LockMode::kSchM;
  if (held == LockMode::kIX) return wanted == LockMode::kIS || wanted == LockMode::kSchS;
  if (held == LockMode::kS) return wanted == LockMode::kIS || wanted == LockMode::kSchS;
  return held == LockMode::kIS && wanted == LockMode::kSchS;
}

}  // namespace

std::string_view LockTypeName(LockType type) {
  switch (type) {
    case LockType::kDb:
      return "DB";
    case LockType::kTab:
      return "TAB";
    case LockType::kPag:
      return "PAG";
    case LockType::kRid:
      return "RID";
    case LockType::kKey:
      return "KEY";
  }
  return "";
}

std::string_view LockModeName(LockMode mode) {
  switch (mode) {
    case LockMode::kS:
      return "S";
    case LockMode::kX:
      return "X";
    case LockMode::kIS:
      return "IS";
    case LockMode::kIX:
      return "IX";
    case LockMode::kSchS:
      return "Sch-S";
    case LockMode::kSchM:
      return "Sch-M";
  }
  return "";
}

bool LocksCompatible(LockMode held, LockMode wanted) {
  // Schema stability conflicts only with schema modification, which conflicts with everything.
  if (held == LockMode::kSchM || wanted == LockMode::kSchM) return false;
  if (held == LockMode::kSchS || wanted == LockMode::kSchS) return true;
  if (held == LockMode::kX || wanted == LockMode::kX) return false;
  auto intent = [](LockMode m) { return m == LockMode::kIS || m == LockMode::kIX; };
  if (held == LockMode::kIS || wanted == LockMode::kIS) return true;
  if (intent(held) && intent(wanted)) return true;
  return held == LockMode::kS && wanted == LockMode::kS;
}

const LockEntry* LockTable::Blocker(int connection, const LockRequest& request) const {
  for (const LockEntry& e : entries_) {
    if (e.connection == connection || !e.granted || !e.resource.Same(request.resource)) continue;
    if (!LocksCompatible(e.mode, request.mode)) return &e;
  }
  return nullptr;
}

const LockEntry* LockTable::Blocker(int connection, const std::vector<LockRequest>& requests,
                                    const LockRequest** blocked) const {
  for (const LockRequest& r : requests) {
    if (const LockEntry* e = Blocker(connection, r)) {
      if (blocked) *blocked = &r;
      return e;
    }
  }
  return nullptr;
}

void LockTable::Grant(int connection, int spid, const LockRequest& request) {
  const bool held = std::any_of(entries_.begin(), entries_.end(), [&](const LockEntry& e) {
    return e.connection == connection && e.granted && e.resource.Same(request.resource) &&
           Covers(e.mode, request.mode);
  });
  if (!held) entries_.push_back(LockEntry{connection, spid, request.resource, request.mode, true});
}

void LockTable::SetWaiting(int connection, int spid, const LockRequest& request) {
  ClearWaiting(connection);
  entries_.push_back(LockEntry{connection, spid, request.resource, request.mode, false});
}

void LockTable::ClearWaiting(int connection) {
  std::erase_if(entries_, [&](const LockEntry& e) { return e.connection == connection && !e.granted; });
}

void LockTable::ReleaseAll(int connection) {
  std::erase_if(entries_, [&](const LockEntry& e) { return e.connection == connection; });
}

}  // namespace standin
