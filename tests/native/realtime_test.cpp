// The audio path must not allocate: every global allocation function is replaced
// (counting_allocator.h) and counts while a process call runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "host/vst2/aeffect.h"
#include "tests/native/counting_allocator.h"

extern "C" AEffect* VSTPluginMain(HostCallback hostCallback) noexcept;

namespace {

VstIntPtr quietHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(RealTime, ProcessCallsDoNotAllocate) {
  AEffect* effect = VSTPluginMain(quietHost);
  ASSERT_NE(effect, nullptr);
  std::vector<float> left(4096, 0.3f), right(4096, -0.7f), outLeft(4096), outRight(4096);
  float* inputs[] = {left.data(), right.data()};
  float* outputs[] = {outLeft.data(), outRight.data()};

  allocations = 0;
  counting = true;
  for (std::int32_t frames : {0, 1, 7, 64, 512, 4096}) {
    effect->processReplacing(effect, inputs, outputs, frames);
    effect->process(effect, inputs, outputs, frames);
    effect->setParameter(effect, 1, 0.9f);
    effect->getParameter(effect, 1);
  }
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST(RealTime, CounterSeesAllocations) {
  // Guards the test above against a replacement that silently stopped counting.
  counting = true;
  void* probe = ::operator new(sizeof(int), std::nothrow);
  counting = false;
  EXPECT_GE(allocations.load(), 1);
  ::operator delete(probe);
  allocations = 0;
}

}  // namespace
