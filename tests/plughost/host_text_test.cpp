#include "tools/plughost/host_text.h"

#include <gtest/gtest.h>

#include "tools/plughost/host_error.h"
#include "tools/plughost/parameter_assignment.h"
#include "tools/plughost/plugin_report.h"

namespace {

using namespace plughost;

TEST(HostText, ConvertsLatin1AndStopsAtTerminatorOrCapacity) {
  // The silence text of a decibel display: the degree sign is the single byte 0xB0.
  EXPECT_EQ(hostText("   -\xB0   ", 16), "   -\xC2\xB0   ");
  EXPECT_EQ(hostText("ab\0cd", 5), "ab");
  EXPECT_EQ(hostText("abcdef", 3), "abc");
  EXPECT_EQ(hostText("a\tb\x7F", 8), "a?b?");
  EXPECT_EQ(hostText("\xFF", 1), "\xC3\xBF");
}

TEST(HostText, FourCharacterCodes) {
  EXPECT_EQ(fourCharText(0x56737450), "VstP");
  EXPECT_EQ(fourCharText(fourCharCode("Wnk2")), "Wnk2");
  EXPECT_EQ(fourCharText(0), "0x00000000");
  EXPECT_EQ(fourCharText(static_cast<std::int32_t>(0x56737401)), "0x56737401");
  EXPECT_EQ(hex32(-1), "0xFFFFFFFF");
}

TEST(HostText, TrimsAndPrintsShortestFloats) {
  EXPECT_EQ(trimmed("  X  "), "X");
  EXPECT_EQ(trimmed(" Boost"), "Boost");
  EXPECT_EQ(trimmed("   "), "");
  EXPECT_EQ(shortestFloatText(0.2f), "0.2");
  EXPECT_EQ(shortestFloatText(0.5f), "0.5");
  EXPECT_EQ(shortestFloatText(1.0f / 3.0f), "0.33333334");
}

TEST(FlagNames, PublishedNamesInBitOrderAndUnknownBitsInHex) {
  EXPECT_EQ(flagNames(29), (std::vector<std::string>{"effFlagsHasEditor", "effFlagsHasVu",
                                                     "effFlagsCanMono", "effFlagsCanReplacing"}));
  EXPECT_EQ(flagNames(2 | 32 | 4096),
            (std::vector<std::string>{"effFlagsHasClip", "effFlagsProgramChunks",
                                      "effFlagsCanDoubleReplacing"}));
  EXPECT_EQ(flagNames(64), (std::vector<std::string>{"0x00000040"}));
  EXPECT_TRUE(flagNames(0).empty());
}

TEST(ParameterAssignment, AcceptsIndexEqualsValue) {
  struct Case {
    const char* text;
    std::int32_t index;
    float value;
  };
  for (const Case& c : {Case{"0=0.5", 0, 0.5f}, Case{"3=1", 3, 1.0f}, Case{"12=.25", 12, 0.25f},
                        Case{"1=0", 1, 0.0f}, Case{"2=1e-1", 2, 0.1f}}) {
    SCOPED_TRACE(c.text);
    ParameterAssignment a = parseParameterAssignment(c.text);
    EXPECT_EQ(a.index, c.index);
    EXPECT_EQ(a.value, c.value);
    EXPECT_EQ(a.text, c.text);
    EXPECT_FALSE(a.frame);
  }
}

TEST(ParameterAssignment, NamesAndFramesAreKeptForThePluginToResolve) {
  const ParameterAssignment named = parseParameterAssignment("low_gain=0.25");
  EXPECT_EQ(named.index, -1);
  EXPECT_EQ(named.key, "low_gain");
  EXPECT_EQ(named.value, 0.25f);
  const ParameterAssignment timed = parseParameterAssignment("2=0.75@48000");
  EXPECT_EQ(timed.index, 2);
  EXPECT_EQ(timed.value, 0.75f);
  ASSERT_TRUE(timed.frame);
  EXPECT_EQ(*timed.frame, 48000u);
}

TEST(ParameterAssignment, RejectsWithOneClearMessage) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"0.5", "bad --param '0.5': expected INDEX=VALUE"},
      {"=0.5", "bad --param '=0.5': index '' is not a parameter number or name"},
      {"a-b=0.5", "bad --param 'a-b=0.5': index 'a-b' is not a parameter number or name"},
      {"-1=0.5", "bad --param '-1=0.5': index '-1' is not a parameter number or name"},
      {"1.5=0.5", "index '1.5' is not a parameter number or name"},
      {"0=0.5@", "bad --param '0=0.5@': frame '' is not a frame number"},
      {"0=0.5@-3", "frame '-3' is not a frame number"},
      {"0=0.5@1x", "frame '1x' is not a frame number"},
      {"0=", "bad --param '0=': value '' is not a number"},
      {"0=abc", "bad --param '0=abc': value 'abc' is not a number"},
      {"0=0.5x", "value '0.5x' is not a number"},
      {"0=nan", "value 'nan' is not a number"},
      {"0=inf", "value 'inf' is not a number"},
      {"0=1.01", "bad --param '0=1.01': value 1.01 is outside the parameter range 0 to 1"},
      {"0=-0.1", "value -0.1 is outside the parameter range 0 to 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parseParameterAssignment(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const HostError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(ParameterAssignment, IndicesAreCheckedAgainstThePlugin) {
  std::vector<ParameterAssignment> assignments = {parseParameterAssignment("3=0.5")};
  EXPECT_NO_THROW(checkParameterIndices(assignments, 4));
  try {
    checkParameterIndices(assignments, 3);
    ADD_FAILURE() << "accepted";
  } catch (const HostError& e) {
    EXPECT_STREQ(e.what(),
                 "bad --param '3=0.5': index 3 is out of range (the plug-in has 3 parameters, 0 "
                 "to 2)");
  }
}

}  // namespace
