#include "tools/plughost/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define PLUGHOST_GETPID _getpid
#else
#include <unistd.h>
#define PLUGHOST_GETPID getpid
#endif

namespace plughost {
namespace {

// Built by appending: GCC 12's -Wrestrict misfires on "literal" + std::string on 32-bit targets.
std::string quoted(const std::filesystem::path& path) {
  std::string text(1, '\'');
  text += path.string();
  text += '\'';
  return text;
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::filesystem::path target) : target_(std::move(target)) {
  std::error_code error;
  if (std::filesystem::is_directory(target_, error)) {
    throw std::runtime_error("cannot write " + quoted(target_) + ": it is a directory");
  }
  // A hidden name in the same folder, so the final rename never crosses file systems.
  static std::atomic<unsigned> counter{0};
  std::string name(1, '.');
  name += target_.filename().string();
  name +=
      ".plughost-" + std::to_string(PLUGHOST_GETPID()) + "-" + std::to_string(counter++) + ".tmp";
  temporary_ = target_.parent_path() / name;
  stream_ = std::fopen(temporary_.string().c_str(), "wb");
  if (stream_ == nullptr) {
    throw std::runtime_error("cannot write " + quoted(target_) + ": " + std::strerror(errno));
  }
}

AtomicOutputFile::~AtomicOutputFile() {
  if (!committed_) {
    discard();
  }
}

void AtomicOutputFile::discard() noexcept {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void AtomicOutputFile::commit() {
  if (committed_) {
    return;
  }
  bool ok = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
  int savedErrno = errno;
  ok = std::fclose(stream_) == 0 && ok;
  stream_ = nullptr;
  if (!ok) {
    discard();
    throw std::runtime_error("cannot write " + quoted(target_) + ": " +
                             std::strerror(savedErrno != 0 ? savedErrno : errno));
  }
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) {
    discard();
    throw std::runtime_error("cannot write " + quoted(target_) + ": " + error.message());
  }
  committed_ = true;
}

}  // namespace plughost
