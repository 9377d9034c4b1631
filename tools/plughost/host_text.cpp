#include "tools/plughost/host_text.h"

#include <charconv>
#include <cstdio>

namespace plughost {

std::string hostText(const char* buffer, std::size_t capacity) {
  std::string text;
  for (std::size_t i = 0; i < capacity && buffer[i] != '\0'; ++i) {
    auto byte = static_cast<unsigned char>(buffer[i]);
    if (byte < 0x20 || byte == 0x7F) {
      text += '?';
    } else if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

std::string hex32(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string fourCharText(std::int32_t code) {
  auto bits = static_cast<std::uint32_t>(code);
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    auto c = static_cast<unsigned char>(bits >> shift);
    if (c < 0x20 || c > 0x7E) {
      return hex32(code);
    }
    text += static_cast<char>(c);
  }
  return text;
}

std::string trimmed(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) {
    return {};
  }
  std::size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

std::string shortestFloatText(float value) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace plughost
