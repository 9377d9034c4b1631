// What a host sees of the real DLL: descriptor bytes, dispatcher answers, parameters, programs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/wine/dll_loader.h"

using dlltest::Plugin;

namespace {

constexpr bool k64Bit = sizeof(void*) == 8;

// Where a host of this pointer width reads each field: the published layout, written out here
// rather than taken from our own header, so that a mistake there cannot hide itself.
struct DescriptorLayout {
  std::size_t dispatcher, process, setParameter, getParameter;
  std::size_t numPrograms, numParams, numInputs, numOutputs, flags;
  std::size_t resvd1, resvd2, initialDelay, realQualities, offQualities, ioRatio;
  std::size_t object, user, uniqueID, version, processReplacing, future, size;
};
constexpr DescriptorLayout kLayout =
    k64Bit ? DescriptorLayout{8,  16, 24, 32, 40, 44,  48,  52,  56,  64,  72,
                              80, 84, 88, 92, 96, 104, 112, 116, 120, 128, 192}
           : DescriptorLayout{4,  8,  12, 16, 20, 24, 28, 32, 36, 40, 44,
                              48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 144};

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

// True when the address lies inside the loaded DLL's image: a truncated pointer would not.
bool insideDll(std::uintptr_t address) {
  const auto base = reinterpret_cast<std::uintptr_t>(dlltest::pluginModule());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return address > base && address < base + nt->OptionalHeader.SizeOfImage;
}

TEST(DllLoad, ExportsTheEntryUnderTheNamesHostsLookFor) {
  ASSERT_NE(dlltest::pluginMain(), nullptr);
  HMODULE module = dlltest::pluginModule();
  FARPROC vstPluginMain = GetProcAddress(module, "VSTPluginMain");
  if constexpr (k64Bit) {
    // 64-bit hosts look for VSTPluginMain, older ones for main: both reach the same function.
    EXPECT_EQ(reinterpret_cast<void*>(vstPluginMain),
              reinterpret_cast<void*>(dlltest::pluginMain()));
  } else {
    EXPECT_EQ(vstPluginMain, nullptr);
  }
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
  for (std::size_t offset : {kLayout.dispatcher, kLayout.process, kLayout.setParameter,
                             kLayout.getParameter, kLayout.processReplacing}) {
    EXPECT_TRUE(insideDll(readPointer(d, offset))) << "entry at " << offset;
  }
  EXPECT_EQ(readInt(d, kLayout.numPrograms), 2);
  EXPECT_EQ(readInt(d, kLayout.numParams), 4);
  EXPECT_EQ(readInt(d, kLayout.numInputs), 2);
  EXPECT_EQ(readInt(d, kLayout.numOutputs), 2);
  EXPECT_EQ(readInt(d, kLayout.flags), 29);  // editor, vu, mono, replacing
  for (std::size_t offset : {kLayout.resvd1, kLayout.resvd2, kLayout.user}) {
    EXPECT_EQ(readPointer(d, offset), 0u) << "pointer-sized field at " << offset;
  }
  for (std::size_t offset : {kLayout.initialDelay, kLayout.realQualities, kLayout.offQualities}) {
    EXPECT_EQ(readInt(d, offset), 0) << "field at " << offset;
  }
  float ioRatio;
  std::memcpy(&ioRatio, bytes + kLayout.ioRatio, 4);
  EXPECT_EQ(ioRatio, 1.0f);
  // The object lives on the heap, wherever the system put it; only its full width reaches it.
  const std::uintptr_t object = readPointer(d, kLayout.object);
  EXPECT_NE(object, 0u);
  EXPECT_EQ(object, reinterpret_cast<std::uintptr_t>(d->object));
  EXPECT_EQ(readInt(d, kLayout.uniqueID), 0x576E6B32);  // "Wnk2"
  EXPECT_EQ(readInt(d, kLayout.version), 1);
  for (std::size_t offset = kLayout.future; offset < kLayout.size; ++offset) {
    EXPECT_EQ(bytes[offset], 0) << "future byte " << offset;
  }
}

TEST(Dispatcher, CanBeAutomatedOnlyBeyondThe32BitDll) {
  Plugin plugin;
  // The 32-bit DLL answers exactly the 23 requests it always did; the 64-bit one tells hosts
  // that each of its four parameters may be automated.
  const VstIntPtr parameter = k64Bit ? 1 : 0;
  for (std::int32_t index : {0, 1, 2, 3}) {
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, index), parameter) << index;
  }
  for (std::int32_t index : {-1, 4, 1000}) {
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, index), 0) << index;
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
