// Saved result files. The first byte chooses the case:
//  - even: the rest is a file on disk. Reading it either fails with kErrInvalidUse
//    or gives, for every cell, exactly the number the file holds (never one cut
//    down to fit the cell's kind).
//  - odd: the rest describes a result, which Save writes and the reader must give
//    back equal, or Save refuses it with kErrTypeMismatch (text that is not UTF-8).
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/error.h"
#include "session_state.h"

namespace {

using nlohmann::json;
using platform::Variant;
using platform::VarType;

const std::string& ScratchPath() {
  static const std::string path = "/dev/shm/fuzz_recordset_" + std::to_string(getpid()) + ".json";
  return path;
}

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << what << "\n";
  std::abort();
}

// The value the reader gave for `cell` must be the file's own number.
void CheckCell(const json& cell, const Variant& value) {
  if (cell.is_null()) {
    if (!value.IsNull()) Fail("null cell read as a value");
    return;
  }
  const json& number = cell.size() > 1 ? cell[1] : cell;
  switch (value.Type()) {
    case VarType::kInteger:
      if (json(*value.Get<std::int16_t>()) != number) Fail("Integer narrowed: " + number.dump());
      break;
    case VarType::kLong:
      if (json(*value.Get<std::int32_t>()) != number) Fail("Long narrowed: " + number.dump());
      break;
    case VarType::kByte:
      if (json(*value.Get<std::uint8_t>()) != number) Fail("Byte narrowed: " + number.dump());
      break;
    case VarType::kCurrency:
      if (json(value.Get<platform::Currency>()->Ticks()) != number)
        Fail("Currency narrowed: " + number.dump());
      break;
    case VarType::kDouble:
      if (number.is_number() && json(*value.Get<double>()) != number)
        Fail("Double changed: " + number.dump());
      break;
    case VarType::kSingle:
      if (number.is_number() && std::isinf(*value.Get<float>())) Fail("Single overflowed: " + number.dump());
      break;
    default:
      break;
  }
}

void ReadAnyFile(const std::string& text) {
  std::ofstream(ScratchPath(), std::ios::binary | std::ios::trunc) << text;
  platform::RecordsetState state;
  try {
    platform::LoadRecordsetFile(state, ScratchPath());
  } catch (const platform::Error& error) {
    if (error.Number() != platform::kErrInvalidUse)
      Fail("unexpected error " + std::to_string(error.Number()));
    return;
  }
  const json document = json::parse(text);  // the reader took it, so it parses
  std::size_t r = 0;
  for (const json& cells : document.at("rows")) {
    for (std::size_t c = 0; c < cells.size(); ++c) CheckCell(cells[c], state.rows.at(r).at(c));
    ++r;
  }
}

Variant MakeValue(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 13)) {
    case 0:
      return Variant();
    case 1:
      return Variant::Null();
    case 2:
      return Variant(in.ConsumeIntegral<std::int16_t>());
    case 3:
      return Variant(in.ConsumeIntegral<std::int32_t>());
    case 4:
      return Variant(in.ConsumeIntegral<std::uint8_t>());
    case 5: {
      const auto bits = in.ConsumeIntegral<std::uint32_t>();
      float f;
      static_assert(sizeof f == sizeof bits);
      std::memcpy(&f, &bits, sizeof f);
      return Variant(f);
    }
    case 6: {
      const auto bits = in.ConsumeIntegral<std::uint64_t>();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return in.ConsumeBool() ? Variant(d) : Variant(platform::Date(d));
    }
    case 7:
      return Variant(in.ConsumeBool());
    case 8:
      return Variant(platform::Currency::FromTicks(in.ConsumeIntegral<std::int64_t>()));
    case 9: {
      // Up to 38 digits, as SQL Server's decimal holds.
      platform::Decimal d;
      d.value = in.ConsumeIntegralInRange<std::int64_t>(-999999999999999999, 999999999999999999);
      d.value = d.value * 100000000000000000 + in.ConsumeIntegralInRange<std::int64_t>(0, 99999999999999999);
      d.scale = in.ConsumeIntegralInRange(0, 38);
      return Variant(d);
    }
    case 10:
    case 11:
      return Variant(in.ConsumeRandomLengthString(40));
    default: {
      const std::string bytes = in.ConsumeRandomLengthString(40);
      return Variant(platform::Bytes(bytes.begin(), bytes.end()));
    }
  }
}

bool Same(const Variant& a, const Variant& b) {
  if (a == b) return true;
  // NaN is never equal to itself; the same kind holding NaN is the same value here.
  if (a.Type() != b.Type()) return false;
  if (const float* f = a.Get<float>()) return std::isnan(*f) && std::isnan(*b.Get<float>());
  if (const double* d = a.Get<double>()) return std::isnan(*d) && std::isnan(*b.Get<double>());
  if (const auto* t = a.Get<platform::Date>()) {
    return std::isnan(t->Serial()) && std::isnan(b.Get<platform::Date>()->Serial());
  }
  return false;
}

void SaveAndReadBack(FuzzedDataProvider& in) {
  platform::RecordsetState saved;
  const int columns = in.ConsumeIntegralInRange(1, 4);
  for (int c = 0; c < columns; ++c) {
    saved.columns.push_back({in.ConsumeRandomLengthString(20),
                             static_cast<platform::DataType>(in.ConsumeIntegral<std::int32_t>()),
                             {},
                             false});
  }
  const int rows = in.ConsumeIntegralInRange(0, 3);
  for (int r = 0; r < rows; ++r) {
    std::vector<Variant> row;
    for (int c = 0; c < columns; ++c) row.push_back(MakeValue(in));
    saved.rows.push_back(std::move(row));
  }
  try {
    platform::SaveRecordsetFile(saved, ScratchPath());
  } catch (const platform::Error& error) {
    if (error.Number() != platform::kErrTypeMismatch) Fail("Save: unexpected error");
    return;
  }
  platform::RecordsetState loaded;
  try {
    platform::LoadRecordsetFile(loaded, ScratchPath());
  } catch (const platform::Error& error) {
    Fail(std::string("a saved file does not read back: ") + error.what());
  }
  if (loaded.columns.size() != saved.columns.size() || loaded.rows.size() != saved.rows.size()) {
    Fail("a saved file reads back another shape");
  }
  for (std::size_t c = 0; c < saved.columns.size(); ++c) {
    if (loaded.columns[c].name != saved.columns[c].name || loaded.columns[c].type != saved.columns[c].type) {
      Fail("a column reads back changed");
    }
  }
  for (std::size_t r = 0; r < saved.rows.size(); ++r) {
    for (std::size_t c = 0; c < saved.columns.size(); ++c) {
      if (!Same(saved.rows[r][c], loaded.rows[r][c])) {
        Fail("a value reads back changed: " + saved.rows[r][c].TypeName() + " became " +
             loaded.rows[r][c].TypeName());
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) {
    ReadAnyFile(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  } else {
    FuzzedDataProvider in(data + 1, size - 1);
    SaveAndReadBack(in);
  }
  return 0;
}
