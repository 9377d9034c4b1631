// A VST 3 process call through plughost allocates nothing: the parameter queues, the bus buffers
// and the hand-over of values are all set aside before. The global allocation functions are
// replaced to count, so this is a program of its own.
#include <gtest/gtest.h>

#include <vector>

#include "tests/native/counting_allocator.h"
#include "tools/plughost/vst3_host.h"

namespace {

using namespace plughost;

TEST(Vst3Realtime, ProcessAllocatesNothing) {
  constexpr std::int32_t kFrames = 2048;
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  plugin.setup(44100.0, kFrames);
  plugin.setActive(true);
  std::vector<float> left(kFrames, 0.25f);
  std::vector<float> right(kFrames, -0.25f);
  float* io[2] = {left.data(), right.data()};

  // A few changes; changes at every frame (more than one call carries); one past the end; a
  // flush; and host changes, a program change among them, waiting from between blocks.
  const std::vector<ParameterChange> few = {{0, 0, 0.9f}, {37, 1, 0.8f}, {400, 3, 0.35f}};
  std::vector<ParameterChange> dense;
  for (std::int32_t f = 0; f < kFrames; ++f) {
    for (std::int32_t p = 0; p < 3; ++p) {
      dense.push_back({f, p, static_cast<float>(f % 10) / 10.0f});
    }
  }
  const std::vector<ParameterChange> late = {{kFrames, 2, 0.5f}};
  plugin.process(ProcessMode::replacing, io, io, kFrames, few);

  plugin.setParameter(2, 0.4f);
  plugin.setProgram(1);
  plugin.setParameter(0, 0.7f);
  counting = true;
  allocations = 0;
  plugin.process(ProcessMode::replacing, io, io, kFrames, few);
  plugin.process(ProcessMode::replacing, io, io, kFrames, dense);
  plugin.process(ProcessMode::replacing, io, io, kFrames, late);
  plugin.process(ProcessMode::replacing, io, io, 0, few);
  plugin.processReplacing(io, io, 100);
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
}

}  // namespace
