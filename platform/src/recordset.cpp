// Recordset and Field: a result read whole from the server, walked forward row by
// row, with the rest of its batch kept for NextRecordset.
#include <algorithm>
#include <string>
#include <utility>

#include "platform/driver.h"
#include "platform/error.h"
#include "platform/session.h"
#include "platform/text.h"
#include "session_state.h"

namespace platform {
namespace {

// Takes the next result off `pending` into `state`; a result without columns
// leaves `state` closed but still able to move on to the following result.
void TakeResult(RecordsetState& state, ResultTable result) {
  state.columns = std::move(result.columns);
  state.rows = std::move(result.rows);
  state.position = 0;
  state.open = !state.columns.empty();
  state.messages.insert(state.messages.end(), std::make_move_iterator(result.messages.begin()),
                        std::make_move_iterator(result.messages.end()));
  state.ResetRowEdits();
}

bool IsTextType(DataType type) {
  switch (type) {
    case DataType::kChar:
    case DataType::kWChar:
    case DataType::kVarChar:
    case DataType::kVarWChar:
    case DataType::kLongVarChar:
    case DataType::kLongVarWChar:
      return true;
    default:
      return false;
  }
}

}  // namespace

void RecordsetState::ResetRowEdits() {
  edits.assign(columns.size(), std::nullopt);
  chunk_started.assign(columns.size(), false);
  chunk_buffers.assign(columns.size(), Bytes());
  chunk_offsets.assign(columns.size(), 0);
}

void RecordsetState::RequireOpen() const {
  if (!open) throw ObjectClosedError();
}

void RecordsetState::RequireCurrentRow() const {
  RequireOpen();
  if (position >= rows.size()) throw BofOrEofError();
}

void RecordsetState::RequireField(int index) const {
  RequireOpen();
  // A Field kept from before the result set was reopened may point past the
  // columns it has now.
  if (index < 0 || static_cast<std::size_t>(index) >= columns.size()) throw ItemNotFoundError();
  RequireCurrentRow();
}

const Variant& RecordsetState::CurrentValue(int index) {
  RequireField(index);
  const auto column = static_cast<std::size_t>(index);
  if (chunk_started[column] && !edits[column]) {
    // Appended chunks are gathered in a buffer and made a value only when read, so
    // that appending block by block does not copy the whole value each time. The
    // value takes the buffer over; a chunk appended after that takes it back.
    Bytes& bytes = chunk_buffers[column];
    edits[column] = IsTextType(columns[column].type) ? Variant(std::string(bytes.begin(), bytes.end()))
                                                     : Variant(std::move(bytes));
    bytes = Bytes();
  }
  if (edits[column]) return *edits[column];
  return rows[position][column];
}

std::shared_ptr<RecordsetState> RecordsetFromReply(BatchReply reply,
                                                   std::shared_ptr<ConnectionState> connection,
                                                   std::string source, LockType lock) {
  auto state = std::make_shared<RecordsetState>();
  state->connection = std::move(connection);
  state->source = std::move(source);
  state->lock = lock;
  state->messages = std::move(reply.messages);
  state->pending = std::make_shared<PendingResults>();
  state->pending->results.assign(std::make_move_iterator(reply.results.begin()),
                                 std::make_move_iterator(reply.results.end()));
  if (state->pending->results.empty()) {
    // An error after no result at all is the batch's failure, not a later one.
    if (reply.trailing_error) throw *reply.trailing_error;
    return state;
  }
  state->pending->trailing_error = std::move(reply.trailing_error);
  ResultTable first = std::move(state->pending->results.front());
  state->pending->results.pop_front();
  TakeResult(*state, std::move(first));
  return state;
}

Recordset::Recordset() : state_(std::make_shared<RecordsetState>()) {}

void Recordset::Open(const std::string& source, const Connection& connection, CursorType /*cursor*/,
                     LockType lock, int options) {
  if (state_->open) throw ObjectOpenError();
  if (options != kOptionUnspecified && (options & kOptionPersistedFile) != 0) {
    OpenFile(source);
    return;
  }
  // Every cursor type is served from the result read whole; the rows come in the
  // server's order and are walked forward, which is all callers do.
  BatchReply reply = connection.state_->Session().Execute(source, connection.state_->command_timeout);
  std::shared_ptr<RecordsetState> opened =
      RecordsetFromReply(std::move(reply), connection.state_, source, lock);
  *state_ = std::move(*opened);
}

void Recordset::OpenFile(const std::string& path) {
  if (state_->open) throw ObjectOpenError();
  RecordsetState loaded;
  LoadRecordsetFile(loaded, path);
  loaded.open = true;
  loaded.ResetRowEdits();
  *state_ = std::move(loaded);
}

void Recordset::Save(const std::string& path) const {
  state_->RequireOpen();
  SaveRecordsetFile(*state_, path);
}

int Recordset::State() const {
  return state_->open ? kStateOpen : kStateClosed;
}

bool Recordset::IsNothing() const {
  return state_->nothing;
}

bool Recordset::Bof() const {
  state_->RequireOpen();
  // Rows are only walked forward, so the start is passed once there is a row.
  return state_->rows.empty();
}

bool Recordset::Eof() const {
  state_->RequireOpen();
  return state_->position >= state_->rows.size();
}

void Recordset::MoveNext() {
  state_->RequireCurrentRow();
  ++state_->position;
  state_->ResetRowEdits();
}

void Recordset::Close() {
  state_->RequireOpen();
  state_->open = false;
  state_->pending.reset();
  state_->rows.clear();
  state_->columns.clear();
  state_->ResetRowEdits();
}

Recordset Recordset::NextRecordset() {
  if (!state_->pending) throw ObjectClosedError();
  std::shared_ptr<PendingResults> pending = std::move(state_->pending);
  state_->open = false;
  state_->rows.clear();
  state_->columns.clear();
  state_->ResetRowEdits();

  auto next = std::make_shared<RecordsetState>();
  next->connection = state_->connection;
  next->source = state_->source;
  next->lock = state_->lock;
  if (pending->results.empty()) {
    if (pending->trailing_error) throw *pending->trailing_error;
    next->nothing = true;
    return Recordset(next);
  }
  ResultTable result = std::move(pending->results.front());
  pending->results.pop_front();
  next->pending = std::move(pending);
  TakeResult(*next, std::move(result));
  return Recordset(next);
}

Field Recordset::Fields(const std::string& name) const {
  state_->RequireOpen();
  const auto& columns = state_->columns;
  const auto found = std::find_if(columns.begin(), columns.end(), [&](const ColumnInfo& column) {
    return EqualsIgnoringCase(column.name, name);
  });
  if (found == columns.end()) throw ItemNotFoundError();
  return Field(state_, static_cast<int>(found - columns.begin()));
}

Field Recordset::Fields(int index) const {
  state_->RequireOpen();
  if (index < 0 || index >= static_cast<int>(state_->columns.size())) throw ItemNotFoundError();
  return Field(state_, index);
}

int Recordset::FieldCount() const {
  state_->RequireOpen();
  return static_cast<int>(state_->columns.size());
}

void Recordset::Update() {
  state_->RequireCurrentRow();
  UpdateCurrentRow(*state_);
}

std::vector<std::string> Recordset::Messages() const {
  return state_->messages;
}

const std::string& Field::Name() const {
  state_->RequireOpen();
  if (index_ >= static_cast<int>(state_->columns.size())) throw ItemNotFoundError();
  return state_->columns[static_cast<std::size_t>(index_)].name;
}

Variant Field::Value() const {
  return state_->CurrentValue(index_);
}

void Field::SetValue(Variant value) {
  state_->RequireField(index_);
  const auto column = static_cast<std::size_t>(index_);
  state_->edits[column] = std::move(value);
  state_->chunk_started[column] = false;
  state_->chunk_buffers[column].clear();
}

namespace {

// The bytes of a value as the chunk operations see it: binary values as they are,
// texts as their UTF-8 bytes.
Bytes ValueBytes(const Variant& value) {
  if (const Bytes* bytes = value.ByteArray()) return *bytes;
  if (const auto* text = value.Get<std::string>()) return Bytes(text->begin(), text->end());
  if (value.IsNull() || value.IsEmpty()) return {};
  RaiseError(kErrTypeMismatch);
}

}  // namespace

std::int64_t Field::ActualSize() const {
  const Variant& value = state_->CurrentValue(index_);
  if (value.IsNull() || value.IsEmpty()) return 0;
  if (const Bytes* bytes = value.ByteArray()) return static_cast<std::int64_t>(bytes->size());
  if (const auto* text = value.Get<std::string>()) return static_cast<std::int64_t>(text->size());
  return static_cast<std::int64_t>(value.ToString().size());
}

Bytes Field::GetChunk(std::int64_t length) {
  if (length < 0) throw Error(kErrInvalidUse, "The chunk length must not be negative.");
  const Variant& value = state_->CurrentValue(index_);
  Bytes text_bytes;
  const Bytes* all = value.ByteArray();
  if (all == nullptr) {
    text_bytes = ValueBytes(value);
    all = &text_bytes;
  }
  std::int64_t& offset = state_->chunk_offsets[static_cast<std::size_t>(index_)];
  const auto size = static_cast<std::int64_t>(all->size());
  const std::int64_t start = std::min(offset, size);
  const std::int64_t end = std::min(size, start + length);
  offset = end;
  return Bytes(all->begin() + start, all->begin() + end);
}

void Field::AppendChunk(const Bytes& chunk) {
  state_->RequireField(index_);
  const auto column = static_cast<std::size_t>(index_);
  Bytes& buffer = state_->chunk_buffers[column];
  // The first chunk after a move replaces the value; later ones extend it.
  if (!state_->chunk_started[column]) {
    buffer.clear();
    state_->chunk_started[column] = true;
  } else if (state_->edits[column]) {
    // The value was read since the last chunk and holds the bytes gathered so far.
    buffer = ValueBytes(*state_->edits[column]);
  }
  buffer.insert(buffer.end(), chunk.begin(), chunk.end());
  state_->edits[column].reset();
}

}  // namespace platform
