// Pictures kept in binary columns: stored from a file block by block, and read
// back into the temporary folder's output.bin and shown in a picture control.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/controls.h"
#include "platform/error.h"
#include "platform/session.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

using platform::Bytes;
using platform::Variant;

namespace {

constexpr std::int64_t kBlockBytes = 2048;
// The count of full blocks is a 16-bit signed number.
constexpr std::int64_t kMaxFullBlocks = 32767;

// How a value of `length` bytes is moved: the remainder first, then the full
// blocks. Error 6 when it has more full blocks than can be counted.
struct BlockPlan {
  std::int64_t lead = 0;
  std::int64_t full = 0;
};

BlockPlan PlanBlocks(std::int64_t length) {
  if (length < 0 || length / kBlockBytes > kMaxFullBlocks) platform::RaiseError(platform::kErrOverflow);
  return {length % kBlockBytes, length / kBlockBytes};
}

std::string Query(const std::string& table, const std::string& field, const std::string& where) {
  return "select " + field + " from " + table + " where " + where;
}

// Closes the result set however the operation ends, so that a failure part-way
// leaves nothing open.
class ClosingRecordset {
 public:
  ClosingRecordset() = default;
  ClosingRecordset(const ClosingRecordset&) = delete;
  ClosingRecordset& operator=(const ClosingRecordset&) = delete;
  ~ClosingRecordset() {
    if (rst_.State() == platform::kStateOpen) {
      try {
        rst_.Close();
      } catch (const std::exception&) {
        // Closing an open result set does not fail; nothing to report from here.
      }
    }
  }
  platform::Recordset& operator*() { return rst_; }
  platform::Recordset* operator->() { return &rst_; }

 private:
  platform::Recordset rst_;
};

// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }
  [[nodiscard]] int get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Closes now; false when the system reports that written data was lost.
  bool Close() {
    if (fd_ < 0) return true;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return closed;
  }

 private:
  int fd_;
};

// The picture file being stored, read in blocks.
class SourceFile {
 public:
  explicit SourceFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_.get() < 0) {
      platform::RaiseError(errno == ENOENT || errno == ENOTDIR ? platform::kErrFileNotFound
                                                               : platform::kErrPathFileAccess);
    }
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
      platform::RaiseError(platform::kErrPathFileAccess);
    }
    length_ = info.st_size;
  }
  [[nodiscard]] std::int64_t Length() const { return length_; }
  // The next `count` bytes; a file that ends sooner (it shrank while being read)
  // or cannot be read fails rather than storing part of it.
  Bytes Read(std::int64_t count) {
    Bytes block(static_cast<std::size_t>(count));
    std::size_t done = 0;
    while (done < block.size()) {
      const ssize_t got = ::read(fd_.get(), block.data() + done, block.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) platform::RaiseError(platform::kErrPathFileAccess);
      done += static_cast<std::size_t>(got);
    }
    return block;
  }

 private:
  Descriptor fd_;
  std::int64_t length_ = 0;
};

// The temporary folder: "temp", else TMPDIR, else the system's default.
std::string TemporaryFolder() {
  for (const char* name : {"temp", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return P_tmpdir;
}

// output.bin, written as a private file of its own (mode 0600, created new, so
// no link planted at either name is followed) and renamed over output.bin once
// complete. A failure part-way removes the private file; output.bin then keeps
// what it held.
class OutputFile {
 public:
  explicit OutputFile(const std::string& folder)
      : final_path_(folder + (folder.back() == '/' ? "" : "/") + "output.bin"),
        private_path_(final_path_ + ".XXXXXX") {
    fd_.Reset(::mkostemp(private_path_.data(), O_CLOEXEC));
    if (fd_.get() < 0) {
      private_path_.clear();
      platform::RaiseError(platform::kErrPathFileAccess);
    }
    ::fchmod(fd_.get(), S_IRUSR | S_IWUSR);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() {
    if (!private_path_.empty()) ::unlink(private_path_.c_str());
  }

  void Write(const Bytes& block) {
    std::size_t done = 0;
    while (done < block.size()) {
      const ssize_t put = ::write(fd_.get(), block.data() + done, block.size() - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) platform::RaiseError(platform::kErrPathFileAccess);
      done += static_cast<std::size_t>(put);
    }
  }
  // Puts the complete file in place of output.bin; returns its path.
  const std::string& Commit() {
    if (!fd_.Close() || ::rename(private_path_.c_str(), final_path_.c_str()) != 0) {
      platform::RaiseError(platform::kErrPathFileAccess);
    }
    private_path_.clear();
    return final_path_;
  }

 private:
  std::string final_path_;
  std::string private_path_;
  Descriptor fd_;
};

// The next `count` bytes of the field; a value that ends sooner fails.
Bytes Chunk(platform::Field& field, std::int64_t count) {
  Bytes block = field.GetChunk(count);
  if (static_cast<std::int64_t>(block.size()) != count) platform::RaiseError(platform::kErrPathFileAccess);
  return block;
}

// The failure box of AddImagemToTable: text first, then the number, no icon.
void ShowStoreFailure(const std::exception& failure) {
  const auto* error = dynamic_cast<const platform::Error*>(&failure);
  const std::string text = error ? error->Description() : std::string(failure.what());
  const std::int32_t number = error ? error->Number() : platform::kErrUnspecified;
  platform::MsgBox(text + "\r" + std::to_string(number), platform::kMsgBoxPlain);
}

}  // namespace

bool EDiv::AddImagemToTable(const std::string& strImgFilePath, const platform::Connection& connDB,
                            const std::string& strTable, const std::string& strField,
                            const std::string& sqlWHERE) const {
  try {
    ClosingRecordset rst;
    rst->Open(Query(strTable, strField, sqlWHERE), connDB, platform::CursorType::kDynamic,
              platform::LockType::kOptimistic, platform::kOptionUnspecified);
    // The query names one column: the picture's, however the caller spelled it.
    platform::Field field = rst->Fields(0);
    if (strImgFilePath.empty()) {
      // Two zero bytes: a value that is no picture, in place of the stored one.
      field.AppendChunk(Bytes{0, 0});
    } else {
      SourceFile file(strImgFilePath);
      const BlockPlan plan = PlanBlocks(file.Length());
      // An empty file stores an empty value; a length that is a multiple of the
      // block size has no leading block to append.
      if (file.Length() == 0) field.SetValue(Variant(Bytes{}));
      if (plan.lead > 0) field.AppendChunk(file.Read(plan.lead));
      for (std::int64_t block = 0; block < plan.full; ++block) {
        field.AppendChunk(file.Read(kBlockBytes));
        platform::Ui().DoEvents();
      }
    }
    rst->Update();
    rst->Close();
    return true;
  } catch (const std::exception& failure) {
    ShowStoreFailure(failure);
    return false;
  }
}

Variant EDiv::GetImagemFromTable(platform::WindowHandle ctrlPicture, const platform::Connection& connDB,
                                 const std::string& strTable, const std::string& strField,
                                 const std::string& sqlWHERE) const {
  try {
    ClosingRecordset rst;
    rst->Open(Query(strTable, strField, sqlWHERE), connDB, platform::CursorType::kForwardOnly,
              platform::LockType::kReadOnly, platform::kOptionUnspecified);
    platform::Ui().SetMousePointer(platform::kPointerHourglass);
    bool shown = false;
    if (!rst->Eof()) {
      platform::Field field = rst->Fields(0);
      const std::int64_t length = field.ActualSize();
      const BlockPlan plan = PlanBlocks(length);
      OutputFile file(TemporaryFolder());
      bool marker = false;
      if (plan.lead > 0) {
        const Bytes lead = Chunk(field, plan.lead);
        marker = lead == Bytes{0, 0};
        file.Write(lead);
      }
      for (std::int64_t block = 0; block < plan.full; ++block) {
        file.Write(Chunk(field, kBlockBytes));
        platform::Ui().DoEvents();
      }
      const std::string& path = file.Commit();
      // NULL, an empty value and the 00 00 marker hold no picture: the control
      // shows none rather than the one it showed before.
      if (length > 0 && !marker) {
        platform::Toolkit().LoadPicture(ctrlPicture, path);
        shown = true;
      }
    }
    rst->Close();
    if (!shown) platform::Toolkit().ClearPicture(ctrlPicture);
  } catch (const std::exception&) {
    // Nothing is shown; the control must not go on showing another row's picture.
    try {
      platform::Toolkit().ClearPicture(ctrlPicture);
    } catch (const std::exception&) {
      // No such control: there is nothing to clear.
    }
  }
  platform::Ui().SetMousePointer(platform::kPointerDefault);
  return Variant();
}
