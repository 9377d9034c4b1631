// Host threads meeting in one effect without locks: one thread processes audio while another
// sets parameters, switches programs and reads display texts. Built with ThreadSanitizer in its
// own preset, where any data race fails the run.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "host/vst2/aeffect.h"

extern "C" AEffect* VSTPluginMain(HostCallback hostCallback) noexcept;

namespace {

VstIntPtr quietHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Every value the control thread writes; a value read back must be one of these.
constexpr float kWritten[] = {0.0f, 0.25f, 0.5f, 0.2f, 0.75f, 1.0f, 0.125f};

bool isWritten(float value) {
  for (float candidate : kWritten) {
    // Bits, not values: a torn or rounded write must not pass for one that compares equal.
    if (std::bit_cast<std::uint32_t>(candidate) == std::bit_cast<std::uint32_t>(value)) {
      return true;
    }
  }
  return false;
}

TEST(ThreadStress, ProcessingWhileParametersAndProgramsChange) {
  AEffect* effect = VSTPluginMain(quietHost);
  ASSERT_NE(effect, nullptr);
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

  std::atomic<bool> running{true};
  std::atomic<long> nonFinite{0};
  std::atomic<long> blocks{0};
  std::atomic<long> torn{0};

  std::thread audio([&] {
    std::vector<float> left(256), right(256), outLeft(256), outRight(256);
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    unsigned seed = 1;
    while (running.load()) {
      for (std::size_t i = 0; i < left.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        left[i] = static_cast<float>(static_cast<int>(seed >> 8) % 2001 - 1000) / 1000.0f;
        right[i] = -left[i];
      }
      if (blocks.load() % 2 == 0) {
        effect->processReplacing(effect, inputs, outputs, 256);
      } else {
        effect->process(effect, inputs, outputs, 256);
      }
      for (std::size_t i = 0; i < outLeft.size(); ++i) {
        if (!std::isfinite(outLeft[i]) || !std::isfinite(outRight[i])) {
          nonFinite.fetch_add(1);
        }
      }
      blocks.fetch_add(1);
    }
  });

  std::thread control([&] {
    char text[64];
    int step = 0;
    while (running.load()) {
      const std::int32_t index = step % 4;
      effect->setParameter(effect, index, kWritten[step % 7]);
      if (!isWritten(effect->getParameter(effect, (index + 1) % 4))) {
        torn.fetch_add(1);
      }
      effect->dispatcher(effect, effGetParamDisplay, index, 0, text, 0.0f);
      if (step % 5 == 0) {
        effect->dispatcher(effect, effSetProgram, 0, step % 2, nullptr, 0.0f);
        effect->dispatcher(effect, effGetProgramName, 0, 0, text, 0.0f);
      }
      ++step;
    }
  });

  std::this_thread::sleep_for(std::chrono::seconds(2));
  running.store(false);
  audio.join();
  control.join();

  EXPECT_GT(blocks.load(), 10);
  EXPECT_EQ(nonFinite.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
}

}  // namespace
