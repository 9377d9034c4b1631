#include "host/vst3/vst3_text.h"

#include <cstdint>

#include "editor/panel_layout.h"

namespace vst3 {

namespace {

// The displays' own layout: two integer places and one decimal.
constexpr std::int32_t kIntegerPlaces = 2;
constexpr std::int32_t kFractionPlaces = 1;

bool isSpace(Steinberg_char16 c) {
  return c == u' ' || c == u'\t';
}

bool isDigit(Steinberg_char16 c) {
  return c >= u'0' && c <= u'9';
}

}  // namespace

void driveValueText(float value, char (&text)[kDriveTextSize]) noexcept {
  // Normalized values reach 10.0 at most: the display's two integer places hold them all.
  const DisplayCells cells = displayCellsFor(value, kIntegerPlaces, kFractionPlaces);
  int length = 0;
  if (cells.negative) {
    text[length++] = '-';
  }
  for (std::int32_t j = 0; j < cells.integerCount; ++j) {
    const std::int32_t digit = cells.integerPlaces[j];
    if (digit != kBlankDigit) {
      text[length++] = static_cast<char>('0' + digit);
    }
  }
  text[length++] = '.';
  for (std::int32_t k = 0; k < cells.fractionCount; ++k) {
    text[length++] = static_cast<char>('0' + cells.fractionPlaces[k]);
  }
  text[length] = '\0';
  static_assert(1 + kIntegerPlaces + 1 + kFractionPlaces + 1 <= kDriveTextSize);
}

std::optional<double> driveValueFromText(const Steinberg_char16* text) noexcept {
  if (text == nullptr) {
    return std::nullopt;
  }
  const Steinberg_char16* c = text;
  while (isSpace(*c)) {
    ++c;
  }
  bool negative = false;
  if (*c == u'-' || *c == u'+') {
    negative = *c == u'-';
    ++c;
  }
  // Tenths as an integer, so that "3.5" is exactly 35 before the one division.
  std::int64_t tenths = 0;
  int digits = 0;
  for (; isDigit(*c); ++c, ++digits) {
    if (tenths < 1000) {
      tenths = tenths * 10 + (*c - u'0');
    }
  }
  tenths *= 10;
  if (*c == u'.') {
    ++c;
    if (isDigit(*c)) {
      tenths += *c - u'0';
      ++digits;
      // Further decimals are below what a display shows.
      while (isDigit(*c)) {
        ++c;
      }
    }
  }
  while (isSpace(*c)) {
    ++c;
  }
  if (digits == 0 || *c != 0) {
    return std::nullopt;
  }
  if (negative || tenths == 0) {
    return 0.0;
  }
  const double value = static_cast<double>(tenths) / 100.0;
  return value > 1.0 ? 1.0 : value;
}

}  // namespace vst3
