// LV2 hosts call run() on their real-time thread: it must not allocate. Every global allocation
// function is replaced here and counts while run() is called.
#include <lv2/core/lv2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "effect/drive_parameters.h"
#include "host/lv2_bundle.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* countedAllocation(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) {
    allocations.fetch_add(1, std::memory_order_relaxed);
  }
  return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

void* operator new(std::size_t size) {
  if (void* p = countedAllocation(size)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return countedAllocation(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

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
