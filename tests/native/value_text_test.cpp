// Value texts as a host shows them: every number is checked as the exact 8-character text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "host/vst2/effect_base.h"

namespace {

// The base operations under test, on a concrete effect whose sample rate can be set.
class TextEffect : public EffectBase {
 public:
  TextEffect() : EffectBase(nullptr, 1, 1) {}
  void process(float**, float**, std::int32_t) override {}
};

// A host buffer with guard bytes: the text must never reach past 8 characters and terminator.
struct HostText {
  char bytes[16];
  HostText() { std::memset(bytes, '#', sizeof bytes); }
  std::string text() const { return std::string(bytes); }
  bool guardIntact() const {
    for (std::size_t i = kParameterTextLength + 1; i < sizeof bytes; ++i) {
      if (bytes[i] != '#') {
        return false;
      }
    }
    return true;
  }
};

std::string floatText(float value) {
  TextEffect effect;
  HostText buffer;
  effect.formatFloat(value, buffer.bytes);
  EXPECT_TRUE(buffer.guardIntact()) << value;
  return buffer.text();
}

struct FloatCase {
  float value;
  const char* text;
};

void PrintTo(const FloatCase& c, std::ostream* out) {
  *out << c.value << " -> \"" << c.text << '"';
}

class FormatFloatTest : public testing::TestWithParam<FloatCase> {};

TEST_P(FormatFloatTest, WritesTruncatedEightCharacterText) {
  EXPECT_EQ(floatText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FormatFloatTest,
    testing::Values(FloatCase{0.0f, "0.000000"}, FloatCase{5.0f, "5.000000"},
                    FloatCase{0.5f, "0.500000"}, FloatCase{-1.25f, "-1.25000"},
                    FloatCase{12345.678f, "12345.67"}, FloatCase{10.0f, "10.00000"},
                    FloatCase{123456.5f, "123456.5"}, FloatCase{1234567.5f, "1234567."},
                    FloatCase{-0.5f, "-0.50000"}, FloatCase{-123456.0f, "-123456."},
                    FloatCase{-0.0f, "0.000000"}, FloatCase{0.7f, "0.699999"},
                    FloatCase{3.3f, "3.299999"}, FloatCase{0.1f, "0.100000"},
                    // Limits, and the integer-only texts of the widest numbers.
                    FloatCase{100000000.0f, " Huge!  "}, FloatCase{-10000000.0f, " Huge!  "},
                    FloatCase{-9999999.0f, "-9999999"}, FloatCase{-1000000.0f, "-1000000"},
                    FloatCase{10000000.0f, "10000000"}, FloatCase{99999992.0f, "99999992"},
                    FloatCase{std::numeric_limits<float>::infinity(), " Huge!  "},
                    FloatCase{-std::numeric_limits<float>::infinity(), " Huge!  "},
                    FloatCase{std::numeric_limits<float>::quiet_NaN(), "  NaN   "},
                    FloatCase{1e-30f, "0.000000"}, FloatCase{-1e-30f, "-0.00000"}));

TEST(FormatFloat, EveryFiniteTextFitsItsField) {
  // A sweep over magnitudes and signs: no text is longer than 8 characters.
  for (int exponent = -40; exponent <= 40; ++exponent) {
    for (float mantissa : {1.0f, 1.999f, 9.99999f, 5.5f}) {
      for (float sign : {1.0f, -1.0f}) {
        const float value = sign * mantissa * std::pow(10.0f, static_cast<float>(exponent));
        EXPECT_LE(floatText(value).size(), 8u) << value;
      }
    }
  }
}

TEST(FormatDecibels, GainsAndSilence) {
  TextEffect effect;
  const struct {
    float gain;
    const char* text;
  } cases[] = {{1.0f, "0.000000"},
               {0.5f, "-6.02059"},
               {2.0f, "6.020599"},
               {0.1f, "-20.0000"},
               {0.0f, "   -\xB0   "},
               {-1.0f, "   -\xB0   "},
               {std::numeric_limits<float>::quiet_NaN(), "   -\xB0   "}};
  for (const auto& c : cases) {
    HostText buffer;
    effect.formatDecibels(c.gain, buffer.bytes);
    EXPECT_EQ(buffer.text(), c.text) << c.gain;
    EXPECT_TRUE(buffer.guardIntact());
  }
}

TEST(FormatHertzAndMilliseconds, UseTheSampleRate) {
  TextEffect effect;
  HostText buffer;
  effect.formatHertz(100.0f, buffer.bytes);
  EXPECT_EQ(buffer.text(), "441.0000");
  effect.formatHertz(1.0f, buffer.bytes);
  EXPECT_EQ(buffer.text(), "44100.00");
  effect.formatHertz(0.0f, buffer.bytes);
  EXPECT_EQ(buffer.text(), "0.000000");
  effect.formatHertz(std::numeric_limits<float>::quiet_NaN(), buffer.bytes);
  EXPECT_EQ(buffer.text(), "0.000000");
  effect.formatMilliseconds(441.0f, buffer.bytes);
  EXPECT_EQ(buffer.text(), "10.00000");
  effect.formatMilliseconds(1.0f, buffer.bytes);
  EXPECT_EQ(buffer.text(), "0.022675");

  effect.setSampleRate(0.0f);
  effect.formatMilliseconds(5.0f, buffer.bytes);
  EXPECT_EQ(buffer.text(), " Huge!  ");
  effect.formatMilliseconds(0.0f, buffer.bytes);
  EXPECT_EQ(buffer.text(), "  NaN   ");
  EXPECT_TRUE(buffer.guardIntact());
}

TEST(FormatInteger, RightAlignedWithinEightCharacters) {
  TextEffect effect;
  const struct {
    std::int32_t value;
    const char* text;
  } cases[] = {{0, "      0"},
               {42, "     42"},
               {-42, "    -42"},
               {12345678, "12345678"},
               {99999999, "99999999"},
               {100000000, " Huge!  "},
               {-9999999, "-9999999"},
               {-10000000, " Huge!  "},
               {std::numeric_limits<std::int32_t>::min(), " Huge!  "},
               {std::numeric_limits<std::int32_t>::max(), " Huge!  "}};
  for (const auto& c : cases) {
    HostText buffer;
    effect.formatInteger(c.value, buffer.bytes);
    EXPECT_EQ(buffer.text(), c.text) << c.value;
    EXPECT_TRUE(buffer.guardIntact());
  }
}

}  // namespace
