// The value-to-text operations every effect offers its host. Texts fill an 8-character field;
// number texts truncate their digits and never round.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/vst2/effect_base.h"

namespace {

constexpr char kHugeText[] = " Huge!  ";
constexpr char kSilenceText[] = "   -\xB0   ";  // minus and degree sign, Windows Latin-1
constexpr char kNotANumberText[] = "  NaN   ";
static_assert(sizeof kHugeText == kParameterTextLength + 1);
static_assert(sizeof kSilenceText == kParameterTextLength + 1);
static_assert(sizeof kNotANumberText == kParameterTextLength + 1);

constexpr double kPositiveLimit = 99999999.0;
constexpr double kNegativeLimit = 9999999.0;

char digitChar(double digit) {
  return static_cast<char>('0' + static_cast<int>(digit));
}

}  // namespace

void EffectBase::formatDecibels(float value, char* text) {
  if (value > 0.0f) {
    formatFloat(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text);
  } else {
    std::memcpy(text, kSilenceText, sizeof kSilenceText);
  }
}

void EffectBase::formatHertz(float samples, char* text) {
  const float rate = getSampleRate();
  // A period that is not a number is treated like an empty period.
  if (samples == 0.0f || std::isnan(samples)) {
    formatFloat(0.0f, text);
  } else {
    formatFloat(static_cast<float>(static_cast<double>(rate) / static_cast<double>(samples)), text);
  }
}

void EffectBase::formatMilliseconds(float samples, char* text) {
  const double scaled = static_cast<double>(samples) * 1000.0;
  formatFloat(static_cast<float>(scaled / static_cast<double>(getSampleRate())), text);
}

void EffectBase::formatFloat(float value, char* text) {
  double v = value;
  if (std::isnan(v)) {
    std::memcpy(text, kNotANumberText, sizeof kNotANumberText);
    return;
  }
  const bool negative = v < 0.0;  // a negative zero counts as non-negative
  if (negative) {
    v = -v;
  }
  if (v > (negative ? kNegativeLimit : kPositiveLimit)) {
    std::memcpy(text, kHugeText, sizeof kHugeText);
    return;
  }

  // Integer digits, produced from the right. The quotient is deliberately left unrounded: the
  // digits are those of floor(v), at most 8 of them within the limits above.
  char integerDigits[8];
  int integerCount = 0;
  double integerPart = std::floor(v);
  do {
    integerDigits[integerCount++] = digitChar(std::trunc(std::fmod(integerPart, 10.0)));
    integerPart /= 10.0;
  } while (integerPart >= 1.0 && integerCount < 8);

  int length = 0;
  if (negative) {
    text[length++] = '-';
  }
  while (integerCount > 0) {
    text[length++] = integerDigits[--integerCount];
  }
  // A number whose integer digits fill the whole field gets no point.
  if (length < kParameterTextLength) {
    text[length++] = '.';
  }

  const int places = kParameterTextLength - length;
  double fraction = std::fmod(v, 1.0) * std::pow(10.0, places);
  for (int k = places - 1; k >= 0; --k) {
    if (fraction > 0.0) {
      text[length + k] = digitChar(std::trunc(std::fmod(fraction, 10.0)));
      fraction /= 10.0;
    } else {
      text[length + k] = '0';
    }
  }
  text[length + places] = '\0';
}

void EffectBase::formatInteger(std::int32_t value, char* text) {
  if (value >= 100000000 || value < -9999999) {
    std::memcpy(text, kHugeText, sizeof kHugeText);
    return;
  }
  std::snprintf(text, kParameterTextLength + 1, "%7d", static_cast<int>(value));
}
