// An output file that appears only when it is complete: everything goes into a temporary file
// beside the target, and commit() renames it over the target. Without commit() (an error, an
// exception) the temporary file is removed and the target is left as it was.
#pragma once

#include <cstdio>
#include <filesystem>

namespace plughost {

class AtomicOutputFile {
 public:
  // Throws std::runtime_error naming the target when the temporary file cannot be created.
  explicit AtomicOutputFile(std::filesystem::path target);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  std::FILE* stream() const { return stream_; }
  const std::filesystem::path& target() const { return target_; }

  // Flushes, closes and renames; throws std::runtime_error naming the target on failure.
  void commit();

 private:
  void discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

}  // namespace plughost
