// The database session layer: connection, result set (with its fields) and command
// (with its parameters), in the shape the library code is written against. Objects
// are handles: copies share one underlying object, as object references do in the
// classic component model, and a result set keeps its connection's session alive.
//
// The layer sits on a Driver (platform/driver.h): the real one talks ODBC to SQL
// Server through unixODBC and FreeTDS; tests install a scripted one.
//
// Every operation may throw platform::Error with the error number and text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/variant.h"

namespace platform {

inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;

enum class CursorType : int { kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum class LockType : int { kReadOnly = 1, kPessimistic = 2, kOptimistic = 3, kBatchOptimistic = 4 };
inline constexpr int kOptionUnspecified = -1;
inline constexpr int kOptionPersistedFile = 256;  // Open a result saved to a file
inline constexpr int kExecuteNoRecords = 128;

enum class CommandType : int { kText = 1, kStoredProcedure = 4 };
enum class DataType : int {
  kSmallInt = 2,
  kInteger = 3,
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kBoolean = 11,
  kUnsignedTinyInt = 17,
  kBigInt = 20,
  kGuid = 72,
  kBinary = 128,
  kChar = 129,
  kWChar = 130,
  kNumeric = 131,
  kDBTimeStamp = 135,
  kVarChar = 200,
  kLongVarChar = 201,
  kVarWChar = 202,
  kLongVarWChar = 203,
  kVarBinary = 204,
  kLongVarBinary = 205,
};
enum class ParameterDirection : int { kInput = 1, kOutput = 2, kInputOutput = 3, kReturnValue = 4 };

class Connection;
struct ConnectionState;
struct RecordsetState;
struct CommandState;

// One column of the current row of a result set.
class Field {
 public:
  [[nodiscard]] const std::string& Name() const;
  // The value of the current row; throws Error(kErrBofOrEof) when there is no
  // current row.
  [[nodiscard]] Variant Value() const;
  // Replaces the value of the current row (written back by Recordset::Update).
  void SetValue(Variant value);
  // Length in bytes of the current value (binary and text columns).
  [[nodiscard]] std::int64_t ActualSize() const;
  // The next `length` bytes of a binary value, reading on from the last call.
  [[nodiscard]] Bytes GetChunk(std::int64_t length);
  // Appends bytes to the value being written (the first call after a move replaces).
  void AppendChunk(const Bytes& chunk);

 private:
  friend class Recordset;
  Field(std::shared_ptr<RecordsetState> state, int index) : state_(std::move(state)), index_(index) {}
  std::shared_ptr<RecordsetState> state_;
  int index_;
};

class Recordset {
 public:
  Recordset();

  // Runs `source` on `connection` and positions on the first row of its first
  // result. With kOptionPersistedFile, `source` is the path of a saved result file
  // and `connection` may be closed. Throws Error on failure; the result set then
  // stays closed.
  void Open(const std::string& source, const Connection& connection,
            CursorType cursor = CursorType::kForwardOnly, LockType lock = LockType::kReadOnly,
            int options = kOptionUnspecified);
  // Opens a result file written by Save, positioned on its first row; the result
  // set is read-only and needs no connection. Throws Error(kErrInvalidUse) for a
  // missing file or one that is not a saved result.
  void OpenFile(const std::string& path);
  // Writes every row of the current result to `path` as a small JSON document of
  // our own (column names and types, then the rows, each value with its kind), so
  // that OpenFile gives back the same names, kinds and values.
  void Save(const std::string& path) const;

  // kStateOpen (1) while it holds a result with columns, kStateClosed (0) otherwise.
  [[nodiscard]] int State() const;
  // True for what NextRecordset returns when the batch has no further result (the
  // classic component's Nothing); such a result set is closed as well.
  [[nodiscard]] bool IsNothing() const;
  // At-start and at-end; both true at once for an empty result. Throw
  // Error(kErrObjectClosed) on a closed result set.
  [[nodiscard]] bool Bof() const;
  [[nodiscard]] bool Eof() const;
  // Throws Error(kErrBofOrEof) when already past the last row.
  void MoveNext();
  // Throws Error(kErrObjectClosed) when not open.
  void Close();
  // The following result of the same batch or procedure call, as a new result set;
  // this one is closed. The returned one is closed when there is no further
  // result. Errors the server raised after the current result surface here.
  Recordset NextRecordset();

  // Field by name (without regard to case) or 0-based position; throws
  // Error(kErrItemNotFound) for an unknown name.
  [[nodiscard]] Field Fields(const std::string& name) const;
  [[nodiscard]] Field Fields(int index) const;
  [[nodiscard]] int FieldCount() const;
  // Shorthand for Fields(name).Value().
  [[nodiscard]] Variant Value(const std::string& name) const { return Fields(name).Value(); }

  // Writes the changed values of the current row back to its table (result sets
  // opened with LockType::kOptimistic or kPessimistic on a single-table query). The
  // row is found by the query's own condition and the row's original values of its
  // non-binary columns. The update and the check that it changed exactly one row
  // are one step (a transaction of its own, or a savepoint in the caller's): when
  // it changes no row or several, it is undone and Error(kErrRowNotLocated) or
  // Error(kErrUnspecified) is thrown.
  // Throws Error(kErrUpdateNotSupported) for a read-only result set.
  void Update();

  // Messages (server information, severity 10 and below) that came with the result.
  [[nodiscard]] std::vector<std::string> Messages() const;

 private:
  friend class Connection;
  friend class Command;
  explicit Recordset(std::shared_ptr<RecordsetState> state) : state_(std::move(state)) {}
  std::shared_ptr<RecordsetState> state_;
};

class Connection {
 public:
  Connection();

  // Seconds; 0 waits without limit; a negative value throws Error(kErrInvalidUse).
  // The command time-out (default 30) applies to statements run afterwards and may
  // change at any time; the connection time-out (default 15) applies to Open and
  // throws Error(kErrObjectOpen) while open.
  void SetCommandTimeout(int seconds);
  [[nodiscard]] int CommandTimeout() const;
  void SetConnectionTimeout(int seconds);
  [[nodiscard]] int ConnectionTimeout() const;
  // The OLE DB form ("Provider=SQLOLEDB.1;...;Data Source=...;Initial Catalog=...").
  // Throws Error(kErrObjectOpen) while open.
  void SetConnectionString(const std::string& text);
  [[nodiscard]] const std::string& ConnectionString() const;

  // Opens the session. An empty `connection_string` uses the one set before; the
  // password is handed to the server and never kept in the string. Throws Error
  // with the server's or the driver's number and text; the connection then stays
  // closed. Throws Error(kErrObjectOpen) when already open.
  void Open(const std::string& connection_string = {}, const std::string& user = {},
            const std::string& password = {}, int options = kOptionUnspecified);
  // Throws Error(kErrObjectClosed) when not open.
  void Close();
  [[nodiscard]] int State() const;

  // Runs a batch; returns a result set on its first result (closed when the batch
  // returns no rows). The whole reply is read, so the connection is free for the
  // next statement while the caller reads the result.
  Recordset Execute(const std::string& text, int options = kOptionUnspecified);
  // The same, handing back in `records_affected` the number of rows the batch's
  // last counted statement changed (-1 when no statement gave a count).
  Recordset Execute(const std::string& text, std::int64_t& records_affected,
                    int options = kOptionUnspecified);

  // True between BeginTrans and the CommitTrans or RollbackTrans that ends it.
  [[nodiscard]] bool InTransaction() const;

  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();

 private:
  friend class Recordset;
  friend class Command;
  std::shared_ptr<ConnectionState> state_;
};

class Parameter {
 public:
  Parameter();
  [[nodiscard]] const std::string& Name() const;
  [[nodiscard]] DataType Type() const;
  [[nodiscard]] ParameterDirection Direction() const;
  [[nodiscard]] int Size() const;
  // Input value before execution; output or return value after it.
  [[nodiscard]] Variant Value() const;
  void SetValue(Variant value);

 private:
  friend class Command;
  struct Data;
  std::shared_ptr<Data> data_;
};

class Command {
 public:
  Command();
  void SetActiveConnection(const Connection& connection);
  void SetCommandText(const std::string& text);
  void SetCommandType(CommandType type);
  void SetCommandTimeout(int seconds);

  [[nodiscard]] Parameter CreateParameter(const std::string& name, DataType type,
                                          ParameterDirection direction, int size, Variant value = {}) const;
  void AppendParameter(const Parameter& parameter);
  // By name, without regard to case; throws Error(kErrItemNotFound).
  [[nodiscard]] Parameter Parameters(const std::string& name) const;
  [[nodiscard]] Parameter Parameters(int index) const;
  [[nodiscard]] int ParameterCount() const;

  // Runs the text or the procedure; output and return values are readable from
  // the parameters afterwards. With kExecuteNoRecords no result set is kept.
  Recordset Execute(int options = kOptionUnspecified);

 private:
  std::shared_ptr<CommandState> state_;
};

}  // namespace platform
