// LV2 hosts call run() on their real-time thread: it must not allocate. Every global allocation
// function is replaced (counting_allocator.h) and counts while run() is called.
#include <lv2/core/lv2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "effect/drive_parameters.h"
#include "host/lv2/lv2_bundle.h"
#include "tests/native/counting_allocator.h"

namespace {

TEST(Lv2RealTime, RunDoesNotAllocate) {
  const LV2_Descriptor* descriptor = lv2_descriptor(0);
  ASSERT_NE(descriptor, nullptr);
  LV2_Handle handle = descriptor->instantiate(descriptor, 48000.0, "/", nullptr);
  ASSERT_NE(handle, nullptr);
  std::vector<float> in(4096, 0.25f);
  std::vector<float> out(4096);
  float controls[kDriveParameterCount] = {0.9f, 0.2f, 0.7f, 0.5f};
  descriptor->connect_port(handle, kLv2PortInLeft, in.data());
  descriptor->connect_port(handle, kLv2PortInRight, in.data());
  descriptor->connect_port(handle, kLv2PortOutLeft, out.data());
  descriptor->connect_port(handle, kLv2PortOutRight, in.data());  // in place
  for (std::uint32_t i = 0; i < kDriveParameterCount; ++i) {
    descriptor->connect_port(handle, kLv2PortFirstControl + i, &controls[i]);
  }

  counting = true;
  for (std::uint32_t frames : {1u, 0u, 64u, 4096u, 7u}) {
    controls[3] = frames % 2 == 0 ? 0.5f : 0.25f;  // a control change between runs
    descriptor->run(handle, frames);
  }
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  descriptor->cleanup(handle);
}

}  // namespace
