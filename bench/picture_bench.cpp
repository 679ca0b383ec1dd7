// Storing and reading back a large picture through the session layer against the
// stand-in: block by block (AppendChunk of 2048 bytes then Update; GetChunk of
// 2048 bytes), as the picture operations move it, and whole (one INSERT with the
// value as a parameter; one SELECT), in the same run. Prints throughput and the
// peak resident memory each phase added, and checks every byte read back.
//
//   picture_bench [--size BYTES] [--standin PATH]
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/error.h"
#include "platform/session.h"
#include "platform/ui_services.h"
#include "standin_process.h"

namespace {

using platform::Bytes;

constexpr std::int64_t kBlock = 2048;

// The picture's byte at `offset`: a pattern that no block repeats in step with.
std::uint8_t PictureByte(std::int64_t offset) {
  return static_cast<std::uint8_t>((offset * 2654435761u) >> 13);
}

Bytes Block(std::int64_t offset, std::int64_t count) {
  Bytes block(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) block[static_cast<std::size_t>(i)] = PictureByte(offset + i);
  return block;
}

// Counts the bytes that differ from the pattern, from `offset` on.
std::int64_t Mismatches(const Bytes& bytes, std::int64_t offset) {
  std::int64_t wrong = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    wrong += bytes[i] != PictureByte(offset + static_cast<std::int64_t>(i)) ? 1 : 0;
  }
  return wrong;
}

long StatusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

// Runs `phase`; returns its wall time in seconds and the resident memory it
// added at its peak, in MiB (the high-water mark is reset before it starts).
struct Measure {
  double seconds = 0;
  double peak_mib = 0;
};

Measure Run(const std::function<void()>& phase) {
  std::ofstream("/proc/self/clear_refs") << "5";
  const long base = StatusKiB("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  phase();
  const auto stop = std::chrono::steady_clock::now();
  return {std::chrono::duration<double>(stop - start).count(), (StatusKiB("VmHWM") - base) / 1024.0};
}

nlohmann::json Scenario() {
  auto column = [](const char* name, const char* type) {
    return nlohmann::json{{"name", name}, {"type", type}};
  };
  return {{"logins",
           {{{"name", "sa"},
             {"password", "Tavinor#2024"},
             {"default_database", "Fotos"},
             {"server_roles", {"sysadmin"}}}}},
          {"databases",
           {{{"name", "Fotos"},
             {"tables",
              {{{"name", "Artigos"},
                {"columns", {column("Codigo", "int"), column("Foto", "varbinary(max)")}},
                {"rows", {{1, nullptr}}}}}}}}}};
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t size = 64 * 1024 * 1024;
  std::string standin = STANDIN_EXECUTABLE;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size") {
      size = std::strtoll(argv[i + 1], nullptr, 10);
    } else if (option == "--standin") {
      standin = argv[i + 1];
    } else {
      std::cerr << "usage: picture_bench [--size BYTES] [--standin PATH]\n";
      return 2;
    }
  }
  try {
    const std::string scenario = "/tmp/picture_bench_" + std::to_string(getpid()) + ".json";
    std::ofstream(scenario) << Scenario().dump();
    testsupport::StandinProcess server(standin, scenario);
    std::remove(scenario.c_str());

    platform::Connection connection;
    connection.SetCommandTimeout(0);
    connection.Open("Provider=SQLOLEDB.1;User ID=sa;Initial Catalog=Fotos;Data Source=" + server.Server(),
                    "sa", "Tavinor#2024");
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    std::int64_t wrong = 0;

    const Measure chunked_write = Run([&] {
      platform::Recordset rst;
      rst.Open("select Foto from Artigos where Codigo = 1", connection, platform::CursorType::kDynamic,
               platform::LockType::kOptimistic);
      platform::Field field = rst.Fields(0);
      const std::int64_t lead = size % kBlock;
      if (lead > 0) field.AppendChunk(Block(0, lead));
      for (std::int64_t offset = lead; offset < size; offset += kBlock) {
        field.AppendChunk(Block(offset, kBlock));
        platform::Ui().DoEvents();
      }
      rst.Update();
      rst.Close();
    });
    const Measure chunked_read = Run([&] {
      platform::Recordset rst;
      rst.Open("select Foto from Artigos where Codigo = 1", connection);
      platform::Field field = rst.Fields(0);
      if (field.ActualSize() != size) throw platform::Error(0, "chunked read: wrong size");
      const std::int64_t lead = size % kBlock;
      if (lead > 0) wrong += Mismatches(field.GetChunk(lead), 0);
      for (std::int64_t offset = lead; offset < size; offset += kBlock) {
        wrong += Mismatches(field.GetChunk(kBlock), offset);
        platform::Ui().DoEvents();
      }
      rst.Close();
    });

    Bytes whole = Block(0, size);
    const Measure whole_write = Run([&] {
      platform::Command command;
      command.SetActiveConnection(connection);
      command.SetCommandTimeout(0);
      command.SetCommandText("INSERT INTO Artigos (Codigo, Foto) VALUES (2, ?)");
      command.AppendParameter(command.CreateParameter(
          "@Foto", platform::DataType::kLongVarBinary, platform::ParameterDirection::kInput,
          static_cast<int>(size), platform::Variant(std::move(whole))));
      command.Execute(platform::kExecuteNoRecords);
    });
    const Measure whole_read = Run([&] {
      const platform::Variant value =
          connection.Execute("select Foto from Artigos where Codigo = 2").Value("Foto");
      const Bytes* bytes = value.ByteArray();
      if (bytes == nullptr || static_cast<std::int64_t>(bytes->size()) != size) {
        throw platform::Error(0, "whole read: wrong size");
      }
      wrong += Mismatches(*bytes, 0);
    });
    connection.Close();
    if (wrong != 0) throw platform::Error(0, std::to_string(wrong) + " bytes read back differ");

    std::printf("picture of %.1f MiB (%lld bytes), blocks of %lld bytes\n", mib, static_cast<long long>(size),
                static_cast<long long>(kBlock));
    std::printf("%-28s %9s %10s %14s\n", "phase", "seconds", "MiB/s", "peak +RSS MiB");
    const auto row = [&](const char* name, const Measure& m) {
      std::printf("%-28s %9.3f %10.1f %14.1f\n", name, m.seconds, mib / m.seconds, m.peak_mib);
    };
    row("chunked write (AppendChunk)", chunked_write);
    row("chunked read (GetChunk)", chunked_read);
    row("whole write (one INSERT)", whole_write);
    row("whole read (one SELECT)", whole_read);
    const double write_ratio = whole_write.seconds / chunked_write.seconds;
    const double read_ratio = whole_read.seconds / chunked_read.seconds;
    std::printf("chunked / whole throughput: write %.2f, read %.2f (target: at least 0.50 each)\n",
                write_ratio, read_ratio);
    return write_ratio >= 0.5 && read_ratio >= 0.5 ? 0 : 1;
  } catch (const platform::Error& error) {
    std::cerr << "picture_bench: " << error.Number() << " " << error.Description() << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "picture_bench: " << error.what() << "\n";
    return 1;
  }
}
