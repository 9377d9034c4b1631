// What a host sees of the real DLL: descriptor bytes, dispatcher answers, parameters, programs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/wine/dll_loader.h"

using dlltest::Plugin;

namespace {

std::int32_t readInt(const AEffect* effect, std::size_t offset) {
  std::int32_t value;
  std::memcpy(&value, reinterpret_cast<const char*>(effect) + offset, sizeof value);
  return value;
}

TEST(DllLoad, ExportsMainUnderItsPlainName) {
  ASSERT_NE(dlltest::pluginMain(), nullptr);
  HMODULE module = dlltest::pluginModule();
  EXPECT_EQ(GetProcAddress(module, "VSTPluginMain"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "_main"), nullptr);
}

TEST(DllLoad, HostWithoutVersionGetsNothing) {
  dlltest::hostRequests().clear();
  dlltest::versionAnswer() = 0;
  EXPECT_EQ(dlltest::pluginMain()(dlltest::recordingHost), nullptr);
  dlltest::versionAnswer() = 2400;
  ASSERT_EQ(dlltest::hostRequests().size(), 1u);
  EXPECT_EQ(dlltest::hostRequests()[0].opcode, audioMasterVersion);
  EXPECT_EQ(dlltest::hostRequests()[0].effect, nullptr);
  EXPECT_EQ(dlltest::pluginMain()(nullptr), nullptr);
}

TEST(Descriptor, EveryOffsetAsTheHostReadsIt) {
  Plugin plugin;
  const AEffect* d = plugin.effect;
  ASSERT_NE(d, nullptr);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(d);
  // "VstP" stands in memory in reverse order, as a little-endian integer.
  EXPECT_EQ(bytes[0], 'P');
  EXPECT_EQ(bytes[3], 'V');
  EXPECT_EQ(readInt(d, 0), 0x56737450);
  for (std::size_t offset : {4u, 8u, 12u, 16u, 80u}) {
    EXPECT_NE(readInt(d, offset), 0) << "entry at " << offset;
  }
  EXPECT_EQ(readInt(d, 20), 2);   // programs
  EXPECT_EQ(readInt(d, 24), 4);   // parameters
  EXPECT_EQ(readInt(d, 28), 2);   // inputs
  EXPECT_EQ(readInt(d, 32), 2);   // outputs
  EXPECT_EQ(readInt(d, 36), 29);  // editor, vu, mono, replacing
  for (std::size_t offset : {40u, 44u, 48u, 52u, 56u, 68u}) {
    EXPECT_EQ(readInt(d, offset), 0) << "field at " << offset;
  }
  float ioRatio;
  std::memcpy(&ioRatio, bytes + 60, 4);
  EXPECT_EQ(ioRatio, 1.0f);
  EXPECT_NE(readInt(d, 64), 0);           // object
  EXPECT_EQ(readInt(d, 72), 0x576E6B32);  // "Wnk2"
  EXPECT_EQ(readInt(d, 76), 1);
  for (std::size_t offset = 84; offset < 144; ++offset) {
    EXPECT_EQ(bytes[offset], 0) << "future byte " << offset;
  }
}

TEST(Dispatcher, AnswersEveryOpcode) {
  Plugin plugin;
  char buffer[256];
  const struct {
    std::int32_t opcode;
    VstIntPtr answer;
  } silent[] = {{effOpen, 0},
                {effMainsChanged, 0},
                {effEditDraw, 0},
                {effEditMouse, 0},
                {effEditKey, 0},
                {effEditTop, 0},
                {effEditSleep, 0},
                {23, 0},
                {100, 0},
                {-1, 0},
                {0x7fffffff, 0},
                {-0x7fffffff, 0},
                {effIdentify, 0x4E764566}};
  for (const auto& c : silent) {
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(plugin.dispatch(c.opcode, 1, 1, buffer, 1.0f), c.answer) << c.opcode;
  }
  EXPECT_EQ(plugin.dispatch(effGetVu), 0);
  EXPECT_EQ(plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
  EXPECT_EQ(plugin.dispatch(effSetBlockSize, 0, 512), 0);
  EXPECT_EQ(plugin.dispatch(effGetProgram), 0);

  EditorRect* rect = nullptr;
  EXPECT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 400);
  EXPECT_EQ(rect->right, 270);
  EXPECT_EQ(plugin.dispatch(effEditIdle), 0);
  EXPECT_EQ(plugin.dispatch(effEditClose), 0);  // an editor that is not open stays closed
}

TEST(Parameters, NamesLabelsAndDisplays) {
  Plugin plugin;
  const char* names[] = {" Boost", " Volume", " ---", " ---"};
  const char* labels[] = {"  X  ", "  X ", "  X ", "  X "};
  const char* displays[] = {"5.000000", "5.000000", "5.000000", "2.000000"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin.text(effGetParamName, i), names[i]);
    EXPECT_EQ(plugin.text(effGetParamLabel, i), labels[i]);
    EXPECT_EQ(plugin.text(effGetParamDisplay, i), displays[i]);
  }
  const struct {
    float value;
    const char* text;
  } shown[] = {
      {0.25f, "2.500000"}, {0.999f, "9.989999"}, {1.0f, "10.00000"}, {-0.125f, "-1.25000"}};
  for (const auto& c : shown) {
    plugin.set(0, c.value);
    EXPECT_EQ(plugin.get(0), c.value);
    EXPECT_EQ(plugin.text(effGetParamDisplay, 0), c.text);
  }
}

TEST(Parameters, HostChangesAreNotReportedBack) {
  Plugin plugin;
  dlltest::hostRequests().clear();
  plugin.set(3, 0.75f);
  plugin.set(7, 0.75f);
  EXPECT_EQ(plugin.get(3), 0.75f);
  EXPECT_EQ(plugin.get(7), 0.0f);
  EXPECT_TRUE(dlltest::hostRequests().empty());
}

TEST(Programs, SelectionAndNames) {
  Plugin plugin;
  EXPECT_EQ(plugin.text(effGetProgramName), "Init");
  plugin.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(plugin.dispatch(effGetProgram), 1);
  plugin.set(1, 0.8f);
  char name[] = "Hot lead";
  plugin.dispatch(effSetProgramName, 0, 0, name);
  plugin.dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(plugin.get(1), 0.5f);
  EXPECT_EQ(plugin.text(effGetProgramName), "Init");
  plugin.dispatch(effSetProgram, 0, 2);
  plugin.dispatch(effSetProgram, 0, -1);
  EXPECT_EQ(plugin.dispatch(effGetProgram), 0);
  plugin.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(plugin.get(1), 0.8f);
  EXPECT_EQ(plugin.text(effGetProgramName), "Hot lead");

  char longName[40];
  std::memset(longName, 'x', sizeof longName - 1);
  longName[sizeof longName - 1] = '\0';
  plugin.dispatch(effSetProgramName, 0, 0, longName);
  EXPECT_EQ(plugin.text(effGetProgramName), std::string(23, 'x'));
}

TEST(Instances, AreIndependentAndCloseWithOne) {
  Plugin first;
  Plugin second;
  ASSERT_NE(first.effect, second.effect);
  EXPECT_NE(first.effect->object, second.effect->object);
  first.set(2, 0.9f);
  EXPECT_EQ(second.get(2), 0.5f);
  EXPECT_EQ(first.close(), 1);
  EXPECT_EQ(second.get(2), 0.5f);
  EXPECT_EQ(second.close(), 1);
}

}  // namespace
