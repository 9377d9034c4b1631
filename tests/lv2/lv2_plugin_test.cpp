// The LV2 plug-in through its descriptor, as an LV2 host drives it: the same output as the
// DriveEffect object run block by block with the same parameters, whatever the run sizes, with
// in-place buffers and with ports a host left unconnected.
#include <lv2/core/lv2.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "effect/drive_effect.h"
#include "host/lv2/lv2_bundle.h"

namespace {

// Bit for bit: a NaN or a zero's sign counts too.
std::uint32_t bits(float value) {
  return std::bit_cast<std::uint32_t>(value);
}

const LV2_Descriptor& descriptor() {
  return *lv2_descriptor(0);
}

// A varied stereo signal: two unrelated waves and bursts loud enough to reach every clipper.
std::vector<float> testSignal(std::size_t frames, int channel) {
  std::vector<float> samples(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i);
    const double burst = (i / 300) % 3 == 0 ? 0.9 : 0.05;
    samples[i] = static_cast<float>(burst * std::sin(t * (channel == 0 ? 0.031 : 0.173)) +
                                    0.2 * std::sin(t * 0.0009 * (channel + 1)));
  }
  return samples;
}

struct Controls {
  float values[kDriveParameterCount];
};

// The plug-in with its ports wired to buffers of its own.
class Lv2Instance {
 public:
  Lv2Instance() : handle_(descriptor().instantiate(&descriptor(), 48000.0, "/", nullptr)) {
    for (std::uint32_t i = 0; i < kDriveParameterCount; ++i) {
      controls_[i] = kDriveParameters[i].defaultValue;
      descriptor().connect_port(handle_, kLv2PortFirstControl + i, &controls_[i]);
    }
  }
  ~Lv2Instance() { descriptor().cleanup(handle_); }
  Lv2Instance(const Lv2Instance&) = delete;
  Lv2Instance& operator=(const Lv2Instance&) = delete;

  LV2_Handle handle() const { return handle_; }
  float& control(int index) { return controls_[index]; }
  void connect(std::uint32_t port, void* data) { descriptor().connect_port(handle_, port, data); }
  void connectAudio(const float* inLeft, const float* inRight, float* outLeft, float* outRight) {
    connect(kLv2PortInLeft, const_cast<float*>(inLeft));
    connect(kLv2PortInRight, const_cast<float*>(inRight));
    connect(kLv2PortOutLeft, outLeft);
    connect(kLv2PortOutRight, outRight);
  }
  void run(std::uint32_t frames) { descriptor().run(handle_, frames); }

 private:
  LV2_Handle handle_;
  float controls_[kDriveParameterCount] = {};
};

struct Segment {
  std::uint32_t frames;
  Controls controls;
};

// The same input through the LV2 plug-in (one run per segment, its controls set first) and
// through a DriveEffect with the same parameters set before each same-sized block. `zoom`, when
// given, is what the panel's zoom port is connected to.
void expectSameAsEffect(const std::vector<Segment>& segments, bool inPlace, float* zoom = nullptr) {
  std::size_t total = 0;
  for (const Segment& s : segments) {
    total += s.frames;
  }
  const std::vector<float> inLeft = testSignal(total, 0);
  const std::vector<float> inRight = testSignal(total, 1);

  DriveEffect effect(nullptr);
  std::vector<float> expectedLeft(total);
  std::vector<float> expectedRight(total);
  Lv2Instance lv2;
  if (zoom != nullptr) {
    lv2.connect(kLv2PortZoom, zoom);
  }
  std::vector<float> left = inLeft;
  std::vector<float> right = inRight;
  std::vector<float> outLeft(total, 7.0f);
  std::vector<float> outRight(total, 7.0f);

  std::size_t at = 0;
  for (const Segment& s : segments) {
    for (int i = 0; i < kDriveParameterCount; ++i) {
      effect.setParameter(i, s.controls.values[i]);
      lv2.control(i) = s.controls.values[i];
    }
    float* inputs[2] = {const_cast<float*>(&inLeft[at]), const_cast<float*>(&inRight[at])};
    float* outputs[2] = {&expectedLeft[at], &expectedRight[at]};
    effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(s.frames));
    if (inPlace) {
      lv2.connectAudio(&left[at], &right[at], &left[at], &right[at]);
    } else {
      lv2.connectAudio(&left[at], &right[at], &outLeft[at], &outRight[at]);
    }
    lv2.run(s.frames);
    if (zoom != nullptr) {
      *zoom += 50.0f;  // as a host writes the UI's choice while the audio runs
    }
    at += s.frames;
  }
  const std::vector<float>& gotLeft = inPlace ? left : outLeft;
  const std::vector<float>& gotRight = inPlace ? right : outRight;
  for (std::size_t i = 0; i < total; ++i) {
    ASSERT_EQ(bits(gotLeft[i]), bits(expectedLeft[i]))
        << "left frame " << i << ": " << gotLeft[i] << " vs " << expectedLeft[i];
    ASSERT_EQ(bits(gotRight[i]), bits(expectedRight[i]))
        << "right frame " << i << ": " << gotRight[i] << " vs " << expectedRight[i];
  }
}

constexpr Controls kDefaults{{0.5f, 0.5f, 0.5f, 0.2f}};
constexpr Controls kHot{{0.9f, 0.1f, 0.75f, 0.6f}};
constexpr Controls kOdd{{1.0f, 0.0f, -0.25f, 1.5f}};  // hosts may send values outside 0..1

TEST(Lv2Plugin, DescriptorNamesThePluginOnce) {
  ASSERT_NE(lv2_descriptor(0), nullptr);
  EXPECT_STREQ(lv2_descriptor(0)->URI, kLv2PluginUri);
  EXPECT_EQ(lv2_descriptor(1), nullptr);
  EXPECT_EQ(lv2_descriptor(0xffffffffu), nullptr);
  EXPECT_EQ(lv2_descriptor(0)->extension_data(LV2_CORE__hardRTCapable), nullptr);
}

TEST(Lv2Plugin, ActivatedAgainItStartsFromRest) {
  constexpr std::uint32_t kFrames = 3000;
  const std::vector<float> inLeft = testSignal(kFrames, 0);
  const std::vector<float> inRight = testSignal(kFrames, 1);
  std::vector<float> freshLeft(kFrames), freshRight(kFrames), left(kFrames), right(kFrames);

  Lv2Instance fresh;
  descriptor().activate(fresh.handle());
  fresh.connectAudio(inLeft.data(), inRight.data(), freshLeft.data(), freshRight.data());
  fresh.run(kFrames);

  // Loud input, then a deactivation and reactivation: nothing of it may ring on.
  Lv2Instance reused;
  descriptor().activate(reused.handle());
  reused.control(0) = 1.0f;
  reused.connectAudio(inLeft.data(), inRight.data(), left.data(), right.data());
  reused.run(kFrames);
  reused.control(0) = kDefaults.values[0];
  descriptor().activate(reused.handle());
  reused.run(kFrames);

  for (std::uint32_t i = 0; i < kFrames; ++i) {
    ASSERT_EQ(bits(left[i]), bits(freshLeft[i])) << "left frame " << i;
    ASSERT_EQ(bits(right[i]), bits(freshRight[i])) << "right frame " << i;
  }
}

TEST(Lv2Plugin, InstantiatesWithoutAnyFeature) {
  const LV2_Feature* none[] = {nullptr};
  for (const LV2_Feature* const* features : {static_cast<const LV2_Feature* const*>(nullptr),
                                             static_cast<const LV2_Feature* const*>(none)}) {
    LV2_Handle handle = descriptor().instantiate(&descriptor(), 44100.0, "/", features);
    ASSERT_NE(handle, nullptr);
    descriptor().cleanup(handle);
  }
}

struct RunCase {
  const char* name;
  std::vector<Segment> segments;
};

// Test names carry the case's name; the default would print its bytes.
void PrintTo(const RunCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2PluginRuns : public testing::TestWithParam<RunCase> {};

TEST_P(Lv2PluginRuns, MatchTheEffectBitForBit) {
  expectSameAsEffect(GetParam().segments, false);
}

TEST_P(Lv2PluginRuns, MatchTheEffectInPlace) {
  expectSameAsEffect(GetParam().segments, true);
}

std::vector<Segment> oneFrameRuns(std::size_t count, Controls controls) {
  return std::vector<Segment>(count, Segment{1, controls});
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Lv2PluginRuns,
    testing::Values(
        RunCase{"one_block_defaults", {{4096, kDefaults}}},
        RunCase{"one_frame_per_run", oneFrameRuns(3000, kHot)},
        RunCase{
            "odd_sizes_changing_controls",
            {{1, kDefaults}, {127, kHot}, {0, kOdd}, {513, kOdd}, {2, kDefaults}, {1000, kHot}}},
        RunCase{"values_outside_the_range", {{700, kOdd}, {1, kOdd}, {300, kOdd}}}),
    [](const testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

// The zoom port only carries the panel's size for the host to keep: whatever it holds, and
// however it changes between runs, the sound is the effect's with the four parameters alone.
TEST(Lv2Plugin, TheZoomPortNeverReachesTheSound) {
  const std::vector<Segment> segments = {{1, kDefaults}, {127, kHot},    {0, kOdd},
                                         {513, kOdd},    {2, kDefaults}, {1000, kHot}};
  for (const float start : {0.0f, 100.0f, 300.0f, -7.0f, 1.0e9f, std::nanf("")}) {
    SCOPED_TRACE(start);
    float zoom = start;
    expectSameAsEffect(segments, false, &zoom);
  }
}

TEST(Lv2Plugin, ZeroFramesTouchNothing) {
  Lv2Instance lv2;
  float in[4] = {0.5f, -0.5f, 0.25f, 0.0f};
  float out[4] = {3.0f, 3.0f, 3.0f, 3.0f};
  lv2.connectAudio(in, in, out, out);
  lv2.run(0);
  for (float sample : out) {
    EXPECT_EQ(sample, 3.0f);
  }
}

TEST(Lv2Plugin, UnconnectedControlKeepsItsLastValue) {
  const std::vector<float> in = testSignal(64, 0);
  std::vector<float> outA(64);
  std::vector<float> outB(64);
  std::vector<float> scratch(64);

  Lv2Instance a;
  a.control(0) = 0.9f;
  a.connectAudio(in.data(), in.data(), scratch.data(), scratch.data());
  a.run(32);
  a.connect(kLv2PortFirstControl, nullptr);
  a.connectAudio(&in[32], &in[32], outA.data(), scratch.data());
  a.run(32);

  Lv2Instance b;
  b.control(0) = 0.9f;
  b.connectAudio(in.data(), in.data(), scratch.data(), scratch.data());
  b.run(32);
  b.connectAudio(&in[32], &in[32], outB.data(), scratch.data());
  b.run(32);
  for (std::size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(bits(outA[i]), bits(outB[i])) << "frame " << i;
  }
}

TEST(Lv2Plugin, RunWithoutAudioBuffersWritesNothing) {
  Lv2Instance lv2;
  float out[8] = {};
  lv2.connect(kLv2PortOutLeft, out);
  lv2.run(8);  // inputs and the right output were never connected
  for (float sample : out) {
    EXPECT_EQ(sample, 0.0f);
  }
}

TEST(Lv2Plugin, PortsBeyondTheLastAreIgnored) {
  Lv2Instance lv2;
  float stray = 123.0f;
  lv2.connect(kLv2PortCount, &stray);
  lv2.connect(0xffffffffu, &stray);
  float in[2] = {0.001f, 0.0f};
  float left[2] = {};
  float right[2] = {};
  lv2.connectAudio(in, in, left, right);
  lv2.run(2);
  EXPECT_EQ(stray, 123.0f);
  EXPECT_NE(left[0], 0.0f);
}

}  // namespace
