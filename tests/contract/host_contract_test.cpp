// What a host sees of the built plug-in, loaded through its exported entry point: descriptor
// bytes, dispatcher answers, parameters, programs and instances. The same program runs against
// the Linux shared object and, under Wine, against each DLL; what differs between them comes
// from one table.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tests/support/host_recorder.h"
#include "tests/support/plugin_loader.h"

using testhost::Plugin;

namespace {

// Where a host of a pointer width reads each field: the published layout, written out here
// rather than taken from our own header, so that a mistake there cannot hide itself.
struct DescriptorLayout {
  std::size_t dispatcher, process, setParameter, getParameter;
  std::size_t numPrograms, numParams, numInputs, numOutputs, flags;
  std::size_t resvd1, resvd2, initialDelay, realQualities, offQualities, ioRatio;
  std::size_t object, user, uniqueID, version, processReplacing, future, size;
};
constexpr DescriptorLayout kLayout32{4,  8,  12, 16, 20, 24, 28, 32, 36, 40, 44,
                                     48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 144};
constexpr DescriptorLayout kLayout64{8,  16, 24, 32, 40, 44,  48,  52,  56,  64,  72,
                                     80, 84, 88, 92, 96, 104, 112, 116, 120, 128, 192};

// What each build shows a host beyond the common contract.
struct BuildContract {
  const char* name;
  const DescriptorLayout* layout;
  // The 32-bit DLL answers exactly the requests it always did; the builds after it tell hosts
  // that each of the four parameters may be automated.
  VstIntPtr canBeAutomated;
  // 64-bit hosts look for VSTPluginMain, older ones for `main`.
  bool exportsVstPluginMain;
  // The DLL's module definition gives one function both names; the shared object's `main` is
  // an alias function of its own.
  bool oneFunctionForBothNames;
};
constexpr BuildContract kBuilds[] = {
    {"Linux shared object", &kLayout64, 1, true, false},
    {"32-bit DLL", &kLayout32, 0, false, false},
    {"64-bit DLL", &kLayout64, 1, true, true},
};

// The test program is built by the same compiler, for the same system, as the plug-in it loads.
const BuildContract& thisBuild() {
#if defined(_WIN64)
  return kBuilds[2];
#elif defined(_WIN32)
  return kBuilds[1];
#else
  return kBuilds[0];
#endif
}

std::int32_t readInt(const AEffect* effect, std::size_t offset) {
  std::int32_t value;
  std::memcpy(&value, reinterpret_cast<const char*>(effect) + offset, sizeof value);
  return value;
}

std::uintptr_t readPointer(const AEffect* effect, std::size_t offset) {
  std::uintptr_t value;
  std::memcpy(&value, reinterpret_cast<const char*>(effect) + offset, sizeof value);
  return value;
}

class HostContract : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(testhost::pluginMain(), nullptr) << thisBuild().name; }

  HostRecorder host;
};

TEST_F(HostContract, ExportsTheEntryUnderTheNamesHostsLookFor) {
  const testhost::PluginEntry vstPluginMain = testhost::exportedEntry("VSTPluginMain");
  EXPECT_EQ(testhost::exportedEntry("_main"), nullptr);
  if (!thisBuild().exportsVstPluginMain) {
    EXPECT_EQ(vstPluginMain, nullptr);
    return;
  }
  ASSERT_NE(vstPluginMain, nullptr);
  if (thisBuild().oneFunctionForBothNames) {
    EXPECT_EQ(vstPluginMain, testhost::pluginMain());
  }
  // Either name gives the same plug-in.
  AEffect* effect = vstPluginMain(HostRecorder::callback);
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(effect->uniqueID, 0x576E6B32);
  EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
  host.versionAnswer = 0;
  EXPECT_EQ(vstPluginMain(HostRecorder::callback), nullptr);
}

TEST_F(HostContract, HostWithoutVersionGetsNothing) {
  host.versionAnswer = 0;
  EXPECT_EQ(testhost::pluginMain()(HostRecorder::callback), nullptr);
  ASSERT_EQ(host.requests.size(), 1u);
  EXPECT_EQ(host.requests[0].opcode, audioMasterVersion);
  EXPECT_EQ(host.requests[0].effect, nullptr);
  EXPECT_EQ(testhost::pluginMain()(nullptr), nullptr);
}

TEST_F(HostContract, EveryDescriptorOffsetAsTheHostReadsIt) {
  const DescriptorLayout& layout = *thisBuild().layout;
  Plugin plugin;
  const AEffect* d = plugin.effect;
  ASSERT_NE(d, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(d);
  // "VstP" stands in memory in reverse order, as a little-endian integer.
  EXPECT_EQ(bytes[0], 'P');
  EXPECT_EQ(bytes[3], 'V');
  EXPECT_EQ(readInt(d, 0), 0x56737450);
  for (std::size_t offset : {layout.dispatcher, layout.process, layout.setParameter,
                             layout.getParameter, layout.processReplacing}) {
    EXPECT_TRUE(testhost::insidePlugin(readPointer(d, offset))) << "entry at " << offset;
  }
  const struct {
    std::size_t offset;
    std::int32_t value;
  } ints[] = {{layout.numPrograms, 2},  {layout.numParams, 4},
              {layout.numInputs, 2},    {layout.numOutputs, 2},
              {layout.flags, 29},  // editor, vu, mono, replacing
              {layout.initialDelay, 0}, {layout.realQualities, 0},
              {layout.offQualities, 0}, {layout.uniqueID, 0x576E6B32},  // "Wnk2"
              {layout.version, 1}};
  for (const auto& field : ints) {
    EXPECT_EQ(readInt(d, field.offset), field.value) << "field at " << field.offset;
  }
  for (std::size_t offset : {layout.resvd1, layout.resvd2, layout.user}) {
    EXPECT_EQ(readPointer(d, offset), 0u) << "pointer-sized field at " << offset;
  }
  float ioRatio;
  std::memcpy(&ioRatio, bytes + layout.ioRatio, sizeof ioRatio);
  EXPECT_EQ(ioRatio, 1.0f);
  // The object lives on the heap, wherever the system put it; only its full width reaches it.
  const std::uintptr_t object = readPointer(d, layout.object);
  EXPECT_NE(object, 0u);
  EXPECT_EQ(object, reinterpret_cast<std::uintptr_t>(d->object));
  for (std::size_t offset = layout.future; offset < layout.size; ++offset) {
    EXPECT_EQ(bytes[offset], 0) << "future byte " << offset;
  }
}

TEST_F(HostContract, CanBeAutomatedAsThisBuildAnswersIt) {
  Plugin plugin;
  for (std::int32_t index : {0, 1, 2, 3}) {
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, index), thisBuild().canBeAutomated) << index;
  }
  for (std::int32_t index : {-1, 4, 1000}) {
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, index), 0) << index;
  }
}

TEST_F(HostContract, DispatcherAnswersEveryOpcode) {
  Plugin plugin;
  char buffer[256];
  const struct {
    std::int32_t opcode;
    VstIntPtr answer;
  } answers[] = {{effOpen, 0},
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
  for (const auto& c : answers) {
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

TEST_F(HostContract, ParameterNamesLabelsAndDisplays) {
  Plugin plugin;
  const struct {
    const char* name;
    const char* label;
    const char* display;
    float value;
  } parameters[] = {{" Boost", "  X  ", "5.000000", 0.5f},
                    {" Volume", "  X ", "5.000000", 0.5f},
                    {" ---", "  X ", "5.000000", 0.5f},
                    {" ---", "  X ", "2.000000", 0.2f}};
  for (std::int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin.text(effGetParamName, i), parameters[i].name) << i;
    EXPECT_EQ(plugin.text(effGetParamLabel, i), parameters[i].label) << i;
    EXPECT_EQ(plugin.text(effGetParamDisplay, i), parameters[i].display) << i;
    EXPECT_EQ(plugin.get(i), parameters[i].value) << i;
  }
  // Unknown indices leave the host's text untouched.
  for (std::int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
    for (std::int32_t index : {-1, 4, 1000}) {
      EXPECT_EQ(plugin.text(opcode, index).substr(0, 4), "####") << opcode << " " << index;
    }
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

TEST_F(HostContract, HostValuesAreKeptUnchangedAndNotReportedBack) {
  Plugin plugin;
  host.requests.clear();
  for (float value : {0.0f, 1.0f, -1.0f, 2.0f, 1e9f, 0.123456f, 0.75f}) {
    plugin.set(2, value);
    EXPECT_EQ(plugin.get(2), value);
  }
  for (std::int32_t index : {-1, 4, 7}) {
    plugin.set(index, 1.0f);
    EXPECT_EQ(plugin.get(index), 0.0f) << index;
  }
  EXPECT_TRUE(host.requests.empty());
}

TEST_F(HostContract, EachProgramKeepsItsOwnValuesAndName) {
  Plugin plugin;
  EXPECT_EQ(plugin.text(effGetProgramName), "Init");
  plugin.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(plugin.dispatch(effGetProgram), 1);
  EXPECT_EQ(plugin.text(effGetProgramName), "Init");
  EXPECT_EQ(plugin.get(1), 0.5f);
  plugin.set(1, 0.8f);
  char name[] = "Hot lead";
  plugin.dispatch(effSetProgramName, 0, 0, name);
  plugin.dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(plugin.get(1), 0.5f);
  EXPECT_EQ(plugin.text(effGetProgramName), "Init");
  plugin.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(plugin.get(1), 0.8f);
  EXPECT_EQ(plugin.text(effGetProgramName), "Hot lead");

  // Out-of-range program numbers change nothing.
  for (VstIntPtr program : {2, -1, 1000}) {
    plugin.dispatch(effSetProgram, 0, program);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 1) << program;
    EXPECT_EQ(plugin.get(1), 0.8f) << program;
  }
}

TEST_F(HostContract, ProgramNamesAreCutToTheField) {
  Plugin plugin;
  const struct {
    std::string given;
    std::string kept;
  } cases[] = {{"", ""},
               {"Crunch", "Crunch"},
               {std::string(23, 'a'), std::string(23, 'a')},
               {std::string(24, 'b'), std::string(23, 'b')},
               {std::string(300, 'c'), std::string(23, 'c')}};
  for (const auto& c : cases) {
    std::string given = c.given;
    plugin.dispatch(effSetProgramName, 0, 0, given.data());
    EXPECT_EQ(plugin.text(effGetProgramName), c.kept) << c.given.size();
  }
  plugin.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(plugin.text(effGetProgramName), "Init");
}

TEST_F(HostContract, InstancesAreIndependentAndCloseOneByOne) {
  Plugin first;
  Plugin second;
  ASSERT_NE(first.effect, nullptr);
  ASSERT_NE(second.effect, nullptr);
  ASSERT_NE(first.effect, second.effect);
  EXPECT_NE(first.effect->object, second.effect->object);
  first.set(2, 0.9f);
  first.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(second.get(2), 0.5f);
  EXPECT_EQ(second.dispatch(effGetProgram), 0);
  EXPECT_EQ(first.close(), 1);
  EXPECT_EQ(second.get(2), 0.5f);
  second.set(2, 0.25f);
  EXPECT_EQ(second.get(2), 0.25f);
  EXPECT_EQ(second.text(effGetParamDisplay, 2), "2.500000");
  EXPECT_EQ(second.close(), 1);
}

}  // namespace
