// Support for the unit tests: a fresh scratch folder per test, raw byte helpers, and the
// message of the error an action raises.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "tools/plughost/host_error.h"

namespace plughost_test {

// What the host error raised by an action says, or "(no error)".
inline std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const plughost::HostError& e) {
    return e.what();
  }
  return "(no error)";
}

inline std::filesystem::path scratchDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir = std::filesystem::path(PLUGHOST_TEST_SCRATCH) /
                              (std::string(info->test_suite_name()) + "." + info->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void put16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(std::string& s, std::uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

}  // namespace plughost_test
