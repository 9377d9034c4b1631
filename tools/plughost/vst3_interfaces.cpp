#include "tools/plughost/vst3_interfaces.h"

#include <cstdio>

namespace plughost::vst3 {

std::string classIdText(const Steinberg_TUID id) {
  const auto* b = reinterpret_cast<const unsigned char*>(id);
#if SMTG_COM_COMPATIBLE
  // COM order: the first word and the two halves of the second are stored little-endian.
  const unsigned char ordered[16] = {b[3], b[2], b[1],  b[0],  b[5],  b[4],  b[7],  b[6],
                                     b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
#else
  const unsigned char* ordered = b;
#endif
  std::string text;
  char digits[3];
  for (int i = 0; i < 16; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(ordered[i]));
    text += digits;
  }
  return text;
}

namespace {

void appendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string utf8(const Steinberg_char16* text, std::size_t capacity) {
  constexpr std::uint32_t kReplacement = 0xFFFD;
  std::string out;
  for (std::size_t i = 0; i < capacity && text[i] != 0; ++i) {
    const std::uint32_t unit = text[i];
    if (unit >= 0xD800 && unit < 0xDC00) {
      const std::uint32_t low = i + 1 < capacity ? text[i + 1] : 0;
      if (low >= 0xDC00 && low < 0xE000) {
        appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
      } else {
        appendUtf8(out, kReplacement);
      }
    } else if (unit >= 0xDC00 && unit < 0xE000) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::string fieldText(const char* text, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && text[length] != '\0') {
    ++length;
  }
  return {text, length};
}

void copyText(Steinberg_Vst_String128 field, const char* text) {
  constexpr std::size_t kCapacity = 128;
  std::size_t i = 0;
  for (; text[i] != '\0' && i + 1 < kCapacity; ++i) {
    field[i] = static_cast<Steinberg_char16>(static_cast<unsigned char>(text[i]));
  }
  field[i] = 0;
}

}  // namespace plughost::vst3
