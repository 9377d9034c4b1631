// The drive effect's audio through the real entry point, against the scalar reference kernel.
// What else a host sees of it is tests/contract/host_contract_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effect/drive_effect.h"
#include "tests/native/drive_reference.h"
#include "tests/support/host_recorder.h"

extern "C" AEffect* VSTPluginMain(HostCallback hostCallback) noexcept;

namespace {

TEST(DriveEffectAudio, BothEntriesContinueOneSignalWithTheWorkingValues) {
  // The entries read the working values once per call and share the band states, so a host may
  // switch between them and change parameters between blocks without a break in the signal.
  HostRecorder host;
  AEffect* effect = VSTPluginMain(HostRecorder::callback);
  ASSERT_NE(effect, nullptr);
  host.requests.clear();
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
    (accumulate ? effect->process : effect->processReplacing)(effect, inputs, outputs, frames);
    referenceDriveBlock(parameters, expectedFilters, left.data() + start, right.data() + start,
                        expectLeft.data() + start, expectRight.data() + start, frames,
                        accumulate ? OutputMode::accumulating : OutputMode::replacing);
    start += static_cast<std::size_t>(frames);
    parameters[1] = 0.1f * static_cast<float>(frames % 7);
    effect->setParameter(effect, 1, parameters[1]);
  }
  // Neither the blocks nor the host's own changes between them call the host.
  EXPECT_TRUE(host.requests.empty());
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(std::memcmp(outLeft.data(), expectLeft.data(), outLeft.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(outRight.data(), expectRight.data(), outRight.size() * sizeof(float)), 0);
}

}  // namespace
