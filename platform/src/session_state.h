// The shared state behind the Connection, Recordset and Command handles. Private
// to the session layer: the handles in platform/session.h are thin owners of these.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "platform/session.h"

namespace platform {

struct ConnectionState {
  int command_timeout = 30;
  int connection_timeout = 15;
  std::string connection_string;
  std::shared_ptr<Driver> driver;
  std::unique_ptr<DriverSession> session;  // null while closed
  bool in_transaction = false;

  // The open session; throws Error(kErrConnectionUnusable) while closed.
  DriverSession& Session();
};

// The results of a batch not yet handed out, shared by the result sets taken from
// it one after the other with NextRecordset.
struct PendingResults {
  std::deque<ResultTable> results;
  std::optional<Error> trailing_error;
};

struct RecordsetState {
  bool open = false;
  bool nothing = false;  // given by NextRecordset when the batch has no further result
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Variant>> rows;
  std::size_t position = 0;  // the current row; rows.size() when past the end
  std::vector<std::string> messages;
  std::shared_ptr<PendingResults> pending;  // null once closed by the caller

  // What Update needs: where the rows came from and how they may be changed.
  std::shared_ptr<ConnectionState> connection;
  std::string source;
  LockType lock = LockType::kReadOnly;
  // Per column of the current row: the value set since the last move, if any,
  // whether AppendChunk has started replacing it, and how far GetChunk has read.
  std::vector<std::optional<Variant>> edits;
  std::vector<bool> chunk_started;
  std::vector<Bytes> chunk_buffers;
  std::vector<std::int64_t> chunk_offsets;

  void ResetRowEdits();
  // Throws Error(kErrObjectClosed) unless open.
  void RequireOpen() const;
  // Throws Error(kErrBofOrEof) unless positioned on a row.
  void RequireCurrentRow() const;
  // Throws Error(kErrObjectClosed), Error(kErrItemNotFound) for a column the
  // result does not have, or Error(kErrBofOrEof) without a current row.
  void RequireField(int index) const;
  // The value of column `index` in the current row, edits included.
  [[nodiscard]] const Variant& CurrentValue(int index);
};

// `text` without its Password (or PWD) keys; unchanged when it has none.
std::string RemovePassword(const std::string& text);

// Makes the first result set of a reply; the rest stays pending for NextRecordset.
std::shared_ptr<RecordsetState> RecordsetFromReply(BatchReply reply,
                                                   std::shared_ptr<ConnectionState> connection,
                                                   std::string source, LockType lock);

// Writes the changed fields of the current row back to its table (recordset_update.cpp).
void UpdateCurrentRow(RecordsetState& state);

// Saved result files (recordset_file.cpp).
void SaveRecordsetFile(const RecordsetState& state, const std::string& path);
void LoadRecordsetFile(RecordsetState& state, const std::string& path);

// Error texts of the classic data-access component, raised with their numbers.
Error ObjectClosedError();
Error ObjectOpenError();
Error BofOrEofError();
Error ItemNotFoundError();
Error ConnectionUnusableError();

}  // namespace platform
