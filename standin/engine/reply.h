// What the statement engine hands to the wire layer: the ordered items of a reply (result sets, messages,
// environment changes, return status and values, and the DONE-family tokens that end statements).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/value.h"

namespace standin {

struct ResultColumn {
  std::string name;
  SqlType type;
  bool nullable = true;
};

struct ResultSet {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Value>> rows;
};

struct MessageItem {
  bool error = false;  // ERROR token; otherwise INFO
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t severity = 0;
  std::string text;
  std::string procedure;
  int32_t line = 1;
};

// A result set; inside a procedure it is followed by DONEINPROC with its row count.
struct RowsItem {
  ResultSet rows;
  bool in_procedure = false;
};

enum class EnvType : uint8_t {
  kDatabase = 1,
  kLanguage = 2,
  kPacketSize = 4,
  kCollation = 7,
  kBeginTran = 8,
  kCommitTran = 9,
  kRollbackTran = 10,
};

struct EnvItem {
  EnvType type = EnvType::kDatabase;
  std::string new_text, old_text;  // database, language, packet size
  Bytes new_bytes, old_bytes;      // collation, transaction descriptors
};

struct ReturnStatusItem {
  int32_t status = 0;
};

struct ReturnValueItem {
  uint16_t ordinal = 0;
  std::string name;
  SqlType type;
  Value value;
};

enum class DoneKind : uint8_t { kDone = 0xFD, kDoneProc = 0xFE, kDoneInProc = 0xFF };

struct DoneItem {
  DoneKind kind = DoneKind::kDone;
  bool count = false;
  int64_t rows = 0;
  bool error = false;
  bool attention = false;
  bool in_transaction = false;
  uint16_t command = 0;
};

using ReplyItem = std::variant<MessageItem, RowsItem, EnvItem, ReturnStatusItem, ReturnValueItem, DoneItem>;

struct Reply {
  std::vector<ReplyItem> items;

  // The reply's error numbers, in order; a convenience for tests and the log.
  std::vector<int32_t> ErrorNumbers() const;
  std::vector<int32_t> InfoNumbers() const;
  std::vector<const ResultSet*> ResultSets() const;
  const MessageItem* FirstError() const;
};

}  // namespace standin
