// The drive effect as a host sees it through `main`: descriptor, parameters, programs, texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "effect/drive_effect.h"
#include "tests/native/drive_reference.h"
#include "tests/native/host_recorder.h"

extern "C" AEffect* VSTPluginMain(HostCallback hostCallback) noexcept;

namespace {

// A descriptor from the real entry point, closed through the dispatcher like a host does.
class Instance {
 public:
  explicit Instance(HostCallback callback = HostRecorder::callback)
      : descriptor(VSTPluginMain(callback)) {}
  ~Instance() {
    if (descriptor != nullptr) {
      descriptor->dispatcher(descriptor, effClose, 0, 0, nullptr, 0.0f);
    }
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f) {
    return descriptor->dispatcher(descriptor, opcode, index, value, ptr, opt);
  }
  std::string text(std::int32_t opcode, std::int32_t index = 0) {
    char buffer[kProgramNameSize + 8];
    std::memset(buffer, '#', sizeof buffer);
    dispatch(opcode, index, 0, buffer);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
  }
  float get(std::int32_t index) { return descriptor->getParameter(descriptor, index); }
  void set(std::int32_t index, float value) { descriptor->setParameter(descriptor, index, value); }

  AEffect* descriptor;
};

TEST(DriveEntry, NeedsAHostThatAnswersTheVersion) {
  HostRecorder host;
  host.versionAnswer = 0;
  EXPECT_EQ(VSTPluginMain(HostRecorder::callback), nullptr);
  ASSERT_EQ(host.requests.size(), 1u);
  EXPECT_EQ(host.requests[0].opcode, audioMasterVersion);
  EXPECT_EQ(host.requests[0].effect, nullptr);
  EXPECT_EQ(VSTPluginMain(nullptr), nullptr);
}

TEST(DriveEntry, DescriptorAsAHostSeesIt) {
  HostRecorder host;
  Instance effect;
  const AEffect* d = effect.descriptor;
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->magic, fourCharCode("VstP"));
  EXPECT_EQ(d->numPrograms, 2);
  EXPECT_EQ(d->numParams, 4);
  EXPECT_EQ(d->numInputs, 2);
  EXPECT_EQ(d->numOutputs, 2);
  // The same plug-in as the DLL, panel included: flags 29 and `Wnk2`.
  EXPECT_EQ(d->flags, effFlagsHasEditor | effFlagsHasVu | effFlagsCanMono | effFlagsCanReplacing);
  EXPECT_EQ(d->flags, 29);
  EXPECT_EQ(d->uniqueID, fourCharCode("Wnk2"));
  EXPECT_EQ(d->version, 1);
  EXPECT_EQ(d->ioRatio, 1.0f);
  EXPECT_NE(d->object, nullptr);
}

TEST(DriveEffectParameters, StartFromProgramZero) {
  HostRecorder host;
  Instance effect;
  const float expected[] = {0.5f, 0.5f, 0.5f, 0.2f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(effect.get(i), expected[i]);
  }
  EXPECT_EQ(effect.dispatch(effGetProgram), 0);
  EXPECT_EQ(effect.text(effGetProgramName), "Init");
  effect.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(effect.text(effGetProgramName), "Init");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(effect.get(i), expected[i]);
  }
  EXPECT_EQ(effect.dispatch(effGetVu), 0);
}

TEST(DriveEffectParameters, NamesAndLabels) {
  HostRecorder host;
  Instance effect;
  const char* names[] = {" Boost", " Volume", " ---", " ---"};
  const char* labels[] = {"  X  ", "  X ", "  X ", "  X "};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(effect.text(effGetParamName, i), names[i]);
    EXPECT_EQ(effect.text(effGetParamLabel, i), labels[i]);
  }
  // Unknown indices leave the host's text untouched.
  for (int opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
    for (int index : {-1, 4, 1000}) {
      EXPECT_EQ(effect.text(opcode, index).substr(0, 4), "####");
    }
  }
}

TEST(DriveEffectParameters, ValuesAreStoredUnchangedAndNotReported) {
  HostRecorder host;
  Instance effect;
  host.requests.clear();
  for (float value : {0.0f, 1.0f, -1.0f, 2.0f, 1e9f, 0.123456f}) {
    effect.set(2, value);
    EXPECT_EQ(effect.get(2), value);
  }
  effect.set(4, 1.0f);
  effect.set(-1, 1.0f);
  EXPECT_EQ(effect.get(4), 0.0f);
  EXPECT_EQ(effect.get(-1), 0.0f);
  EXPECT_TRUE(host.requests.empty());
}

TEST(DriveEffectPrograms, EachProgramKeepsItsOwnValues) {
  HostRecorder host;
  Instance effect;
  effect.dispatch(effSetProgram, 0, 1);
  effect.set(1, 0.8f);
  effect.dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(effect.get(1), 0.5f);
  effect.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(effect.get(1), 0.8f);
  EXPECT_EQ(effect.dispatch(effGetProgram), 1);

  // Out-of-range program numbers change nothing.
  for (VstIntPtr program : {2, -1, 1000}) {
    effect.dispatch(effSetProgram, 0, program);
    EXPECT_EQ(effect.dispatch(effGetProgram), 1);
    EXPECT_EQ(effect.get(1), 0.8f);
  }
}

TEST(DriveEffectPrograms, NamesAreCutToTheField) {
  HostRecorder host;
  Instance effect;
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
    effect.dispatch(effSetProgramName, 0, 0, given.data());
    EXPECT_EQ(effect.text(effGetProgramName), c.kept);
  }
  effect.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(effect.text(effGetProgramName), "Init");
}

TEST(DriveEffectInstances, AreIndependent) {
  HostRecorder host;
  Instance first;
  Instance second;
  ASSERT_NE(first.descriptor, second.descriptor);
  first.set(0, 0.9f);
  EXPECT_EQ(second.get(0), 0.5f);
  first.dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(second.dispatch(effGetProgram), 0);
}

TEST(DriveEffectAudio, BothEntriesContinueOneSignalWithTheWorkingValues) {
  // The entries read the working values once per call and share the band states, so a host may
  // switch between them and change parameters between blocks without a break in the signal.
  HostRecorder host;
  Instance effect;
  float parameters[4] = {0.5f, 0.5f, 0.5f, 0.2f};
  BandFilter expectedFilters[kBandFilterCount] = {};

  std::vector<float> left(300), right(300);
  for (std::size_t i = 0; i < left.size(); ++i) {
    left[i] = static_cast<float>(i % 17) / 9.0f - 0.8f;
    right[i] = 0.6f - static_cast<float>(i % 29) / 20.0f;
  }
  std::vector<float> outLeft(300, 0.25f), outRight(300, -0.5f);
  std::vector<float> expectLeft = outLeft, expectRight = outRight;

  std::size_t start = 0;
  for (std::int32_t frames : {1, 64, 0, 35, 200}) {
    const bool accumulate = frames % 2 == 0;
    float* inputs[] = {left.data() + start, right.data() + start};
    float* outputs[] = {outLeft.data() + start, outRight.data() + start};
    (accumulate ? effect.descriptor->process : effect.descriptor->processReplacing)(
        effect.descriptor, inputs, outputs, frames);
    referenceDriveBlock(parameters, expectedFilters, left.data() + start, right.data() + start,
                        expectLeft.data() + start, expectRight.data() + start, frames,
                        accumulate ? OutputMode::accumulating : OutputMode::replacing);
    start += static_cast<std::size_t>(frames);
    parameters[1] = 0.1f * static_cast<float>(frames % 7);
    effect.set(1, parameters[1]);
  }
  EXPECT_EQ(std::memcmp(outLeft.data(), expectLeft.data(), outLeft.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(outRight.data(), expectRight.data(), outRight.size() * sizeof(float)), 0);
}

}  // namespace
