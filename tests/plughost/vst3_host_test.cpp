// plughost's VST 3 hosting on the project's own bundle: loading it as hosts find it, what the
// controller lists, and processing compared byte for byte with the VST 2 library run by
// PluginInstance with its blocks split at the same frames.
#include "tools/plughost/vst3_host.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/plughost/test_files.h"
#include "tools/plughost/host_callback.h"
#include "tools/plughost/host_error.h"
#include "tools/plughost/plugin_instance.h"
#include "tools/plughost/plugin_library.h"
#include "tools/plughost/vst3_interfaces.h"

namespace {

using namespace plughost;
using plughost_test::errorOf;

constexpr std::int32_t kBlock = 512;
constexpr int kBypass = 4;
constexpr int kProgram = 5;

// Bit for bit: the same float bits, so that even zeros of opposite signs and NaNs count as
// different or the same as they are.
bool sameBits(const float* a, const float* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) {
      return false;
    }
  }
  return true;
}

// A stereo signal with some of everything the effect's bands see: two tones, a sweep of level
// and a little noise from a fixed generator, so that every run gets the same samples.
struct Stereo {
  std::vector<float> left;
  std::vector<float> right;

  explicit Stereo(std::size_t frames, float fill = 0.0f)
      : left(frames, fill), right(frames, fill) {}
  std::size_t frames() const { return left.size(); }
  bool operator==(const Stereo& other) const {
    return left.size() == other.left.size() &&
           sameBits(left.data(), other.left.data(), left.size()) &&
           sameBits(right.data(), other.right.data(), right.size());
  }
};

Stereo testSignal(std::size_t frames) {
  Stereo s(frames);
  std::uint32_t noise = 12345;
  for (std::size_t i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const double t = static_cast<double>(i) / 44100.0;
    const double level = 0.2 + 0.7 * static_cast<double>(i % 3000) / 3000.0;
    const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.05;
    s.left[i] = static_cast<float>(level * std::sin(2.0 * std::numbers::pi * 110.0 * t) + n);
    s.right[i] = static_cast<float>(level * std::sin(2.0 * std::numbers::pi * 2750.0 * t) - n);
  }
  return s;
}

// What happens to the plug-ins in one block: changes at frames of it, and host changes or
// program selections before it.
struct Block {
  std::vector<ParameterChange> changes;
  std::vector<std::pair<int, float>> before;  // parameter index (or -1 - program) and value
};

// The VST 2 library, as plughost's VST 2 side drives it: changes applied between pieces of a
// block split at their frames.
class Vst2Reference {
 public:
  Vst2Reference() : library_(DRIVE_VST2_PATH), plugin_(library_, host_) {
    plugin_.start(44100.0f, kMaxBlock);
  }

  void before(const std::pair<int, float>& step) {
    if (step.first < 0) {
      plugin_.setProgram(-1 - step.first);
    } else {
      plugin_.setParameter(step.first, step.second);
    }
  }
  void process(float* const* inputs, float* const* outputs, std::int32_t frames,
               std::span<const ParameterChange> changes) {
    processSplitAtChanges(
        inputs, 2, outputs, 2, frames, changes,
        [this](const ParameterChange& c) {
          // The VST 3 program-change parameter is the VST 2 program.
          if (c.index == kProgram) {
            plugin_.setProgram(static_cast<std::int32_t>(std::lround(c.value)));
          } else {
            plugin_.setParameter(c.index, c.value);
          }
        },
        [this](float* const* in, float* const* out, std::int32_t n) {
          plugin_.process(ProcessMode::replacing, const_cast<float**>(in), const_cast<float**>(out),
                          n);
        });
  }
  PluginInstance& plugin() { return plugin_; }

  static constexpr std::int32_t kMaxBlock = 4096;

 private:
  PluginLibrary library_;
  HostCallbackRecorder host_;
  PluginInstance plugin_;
};

// Runs `blocks` of `size` frames of `input` through both plug-ins; the outputs.
std::pair<Stereo, Stereo> runBoth(const Stereo& input, std::int32_t size,
                                  const std::vector<Block>& blocks, Vst3HostedPlugin& vst3,
                                  Vst2Reference& vst2) {
  Stereo out3(input.frames(), -1.0f);
  Stereo out2(input.frames(), -2.0f);
  std::size_t at = 0;
  for (const Block& block : blocks) {
    const auto frames = static_cast<std::int32_t>(
        std::min<std::size_t>(static_cast<std::size_t>(size), input.frames() - at));
    for (const auto& step : block.before) {
      if (step.first < 0) {
        vst3.setProgram(-1 - step.first);
      } else {
        vst3.setParameter(step.first, step.second);
      }
      vst2.before(step);
    }
    float* in[2] = {const_cast<float*>(input.left.data()) + at,
                    const_cast<float*>(input.right.data()) + at};
    float* o3[2] = {out3.left.data() + at, out3.right.data() + at};
    float* o2[2] = {out2.left.data() + at, out2.right.data() + at};
    vst3.process(ProcessMode::replacing, in, o3, frames, block.changes);
    vst2.process(in, o2, frames, block.changes);
    at += static_cast<std::size_t>(frames);
  }
  return {out3, out2};
}

class Vst3Host : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin = std::make_unique<Vst3HostedPlugin>(DRIVE_VST3_BUNDLE);
    plugin->setup(44100.0, Vst2Reference::kMaxBlock);
  }
  std::unique_ptr<Vst3HostedPlugin> plugin;
};

// ---------------------------------------------------------------------------------------------
// Finding and loading the module.

TEST(Vst3Reference, IsAPathEndingInVst3) {
  struct Case {
    const char* reference;
    bool vst3;
  };
  const Case cases[] = {
      {"DriveEffect.vst3", true},
      {"/usr/lib/vst3/DriveEffect.vst3/", true},
      {"C:\\Program Files\\Common Files\\VST3\\DriveEffect.vst3\\", true},
      {"build/Contents/x86_64-win/DRIVEEFFECT.VST3", true},
      {".vst3", false},
      {"DriveEffect.so", false},
      {"DriveEffect.vst3x", false},
      {"urn:uuid:drive-effect", false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isVst3Reference(c.reference), c.vst3) << c.reference;
  }
}

TEST(Vst3Reference, ABundleResolvesToItsModuleForThisPlatform) {
  const std::filesystem::path module = vst3ModulePath(DRIVE_VST3_BUNDLE);
  EXPECT_TRUE(std::filesystem::equivalent(module, DRIVE_VST3_MODULE)) << module;
  EXPECT_TRUE(std::filesystem::equivalent(vst3ModulePath(std::string(DRIVE_VST3_BUNDLE) + "/"),
                                          DRIVE_VST3_MODULE));
  // A module file is loaded as it is.
  EXPECT_EQ(vst3ModulePath(DRIVE_VST3_MODULE), std::filesystem::path(DRIVE_VST3_MODULE));
}

TEST(Vst3Reference, MissingModulesAreClearErrors) {
  const std::filesystem::path empty = plughost_test::scratchDir() / "Empty.vst3";
  std::filesystem::create_directories(empty / "Contents");
#if defined(_WIN32)
  const std::string inside = "Contents/x86_64-win/Empty.vst3";
#else
  const std::string inside = "Contents/x86_64-linux/Empty.so";
#endif
  EXPECT_NE(errorOf([&] { vst3ModulePath(empty.string()); }).find("the bundle has no " + inside),
            std::string::npos);
  EXPECT_NE(errorOf([] {
              Vst3HostedPlugin("no/such/Plugin.vst3");
            }).find("plug-in 'no/such/Plugin.vst3': no such file"),
            std::string::npos);
  // A library that is no VST 3 module: loaded, then refused for want of a factory.
  EXPECT_NE(errorOf([] { Vst3HostedPlugin(DRIVE_VST2_PATH); }).find("exports no GetPluginFactory"),
            std::string::npos);
}

TEST(Vst3Reference, OpensThroughTheFormatNeutralEntry) {
  const std::unique_ptr<Plugin> opened = openVst3Plugin(DRIVE_VST3_BUNDLE);
  EXPECT_EQ(opened->format(), PluginFormat::vst3);
  EXPECT_EQ(opened->name(), "DriveEffect");
}

TEST_F(Vst3Host, IsTheStereoEffectClass) {
  EXPECT_EQ(plugin->name(), "DriveEffect");
  EXPECT_EQ(plugin->inputCount(), 2);
  EXPECT_EQ(plugin->outputCount(), 2);
  EXPECT_EQ(plugin->classId(), "FD68362905E84C88A87ED6AD1B49FBAA");
  EXPECT_TRUE(std::filesystem::equivalent(plugin->modulePath(), DRIVE_VST3_MODULE));
  EXPECT_FALSE(plugin->supports(ProcessMode::accumulating));
  // The module file itself loads the same class.
  const Vst3HostedPlugin direct(DRIVE_VST3_MODULE);
  EXPECT_EQ(direct.classId(), plugin->classId());
}

TEST(Vst3Lifetime, LoadsAndUnloadsAgainAndAgainInAnyState) {
  for (int round = 0; round < 12; ++round) {
    Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
    if (round % 3 >= 1) {
      plugin.setActive(true);
    }
    if (round % 3 == 2) {
      Stereo buffer(kBlock);
      float* io[2] = {buffer.left.data(), buffer.right.data()};
      plugin.setParameter(round % 4, 0.25f);
      plugin.processReplacing(io, io, kBlock);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Parameters and programs, as the controller lists them.

TEST_F(Vst3Host, ListsTheControllersParametersInOrder) {
  ASSERT_EQ(plugin->parameterCount(), 6);
  const char* names[] = {"LOW", "MID", "HIGH", "LEVEL", "Bypass", "Program"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(plugin->parameterName(i), names[i]);
  }
  Vst2Reference vst2;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin->parameter(i), vst2.plugin().parameter(i)) << "default of " << names[i];
  }
  EXPECT_EQ(plugin->parameter(kBypass), 0.0f);
  EXPECT_EQ(plugin->parameterDisplay(kBypass), "Off");
  EXPECT_EQ(plugin->parameterDisplay(kProgram), "Init");
  EXPECT_NE(errorOf([&] { plugin->parameterName(6); }).find("parameter index 6 is out of range"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { plugin->setParameter(-1, 0.5f); }).find("out of range"),
            std::string::npos);
}

TEST_F(Vst3Host, ShowsValuesAsThePanelDoes) {
  struct Case {
    int index;
    float value;
    const char* display;
  };
  const Case cases[] = {{0, 0.5f, "5.0"},
                        {1, 0.0f, "0.0"},
                        {2, 1.0f, "10.0"},
                        {3, 0.2f, "2.0"},
                        {kBypass, 1.0f, "On"}};
  for (const Case& c : cases) {
    plugin->setParameter(c.index, c.value);
    EXPECT_EQ(plugin->parameter(c.index), c.value);
    EXPECT_EQ(plugin->parameterDisplay(c.index), c.display) << c.index << " = " << c.value;
  }
}

TEST_F(Vst3Host, ProgramsAreTheProgramChangeParameter) {
  ASSERT_EQ(plugin->programCount(), 2);
  EXPECT_EQ(plugin->programName(0), "Init");
  EXPECT_EQ(plugin->programName(1), "Init");
  EXPECT_EQ(plugin->program(), 0);

  // Each program keeps its values, as the VST 2 plug-in's do.
  Vst2Reference vst2;
  plugin->setParameter(1, 0.8f);
  vst2.plugin().setParameter(1, 0.8f);
  plugin->setProgram(1);
  vst2.plugin().setProgram(1);
  EXPECT_EQ(plugin->program(), 1);
  EXPECT_EQ(plugin->parameter(kProgram), 1.0f);
  EXPECT_NE(plugin->restartFlags() & Steinberg_Vst_RestartFlags_kParamValuesChanged, 0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin->parameter(i), vst2.plugin().parameter(i)) << "program 1, parameter " << i;
  }
  plugin->setProgram(0);
  EXPECT_EQ(plugin->parameter(1), 0.8f);

  EXPECT_NE(errorOf([&] { plugin->setProgram(2); }).find("program 2 is out of range"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { plugin->programName(-1); }).find("out of range"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Processing: the VST 2 library's bytes for the same blocks.

TEST_F(Vst3Host, ChangesAtFramesGiveTheVst2OutputSplitAtThoseFrames) {
  const Stereo input = testSignal(6 * std::size_t{kBlock});
  // Changes inside blocks, at their first and last frame, two at one frame, one at the end of a
  // block (it applies from the next), host changes and program selections between blocks.
  const std::vector<Block> blocks = {
      {{{0, 0, 0.9f}, {37, 1, 0.8f}, {400, 3, 0.35f}}, {}},
      {{{100, 2, 0.95f}, {100, 0, 0.1f}, {511, 3, 0.7f}}, {}},
      {{{kBlock, 1, 0.3f}}, {{2, 0.4f}}},
      {{{0, 3, 0.5f}, {255, 3, 0.25f}, {256, 3, 0.75f}}, {{-1 - 1, 0.0f}, {0, 0.6f}}},
      {{{10, 1, 0.15f}}, {{1, 0.9f}, {-1 - 0, 0.0f}}},
      {{}, {{3, 0.45f}}},
  };
  plugin->setActive(true);
  Vst2Reference vst2;
  const auto [out3, out2] = runBoth(input, kBlock, blocks, *plugin, vst2);
  EXPECT_TRUE(out3 == out2);
  EXPECT_FALSE(out3 == input);
  // The controller hears what the processor took.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin->parameter(i), vst2.plugin().parameter(i)) << "parameter " << i;
  }
  EXPECT_EQ(plugin->program(), 0);
}

TEST_F(Vst3Host, BlocksOfAnySizeAndFlushesWithoutAudio) {
  const Stereo input = testSignal(5000);
  plugin->setActive(true);
  Vst2Reference vst2;
  // 5000 frames as blocks of 4096 and the rest, with a flush between that changes values.
  std::vector<Block> blocks = {{{{4000, 2, 0.2f}}, {}}, {{{0, 0, 0.05f}}, {}}};
  auto [out3, out2] = runBoth(input, 4096, blocks, *plugin, vst2);
  EXPECT_TRUE(out3 == out2);

  float* none[2] = {nullptr, nullptr};
  const ParameterChange flush[] = {{0, 1, 0.65f}, {0, 3, 0.3f}};
  plugin->process(ProcessMode::replacing, none, none, 0, flush);
  EXPECT_EQ(plugin->parameter(1), 0.65f);
  vst2.plugin().setParameter(1, 0.65f);
  vst2.plugin().setParameter(3, 0.3f);
  std::tie(out3, out2) = runBoth(input, 333, std::vector<Block>(16), *plugin, vst2);
  EXPECT_TRUE(out3 == out2);
}

TEST_F(Vst3Host, MoreChangesThanOneCallCarries) {
  // A change of three parameters at every frame of 2048, and 5000 changes at one frame: more
  // than the queues of one call hold, so the block goes in several.
  const Stereo input = testSignal(4096);
  Block dense;
  for (std::int32_t f = 0; f < 2048; ++f) {
    for (std::int32_t p = 0; p < 3; ++p) {
      dense.changes.push_back({f, p, static_cast<float>((f * 7 + p * 13) % 100) / 100.0f});
    }
  }
  Block pileUp;
  pileUp.changes.push_back({5, 3, 0.9f});
  for (int i = 0; i < 5000; ++i) {
    pileUp.changes.push_back({700, i % 4, static_cast<float>(i % 97) / 96.0f});
  }
  pileUp.changes.push_back({1500, 3, 0.1f});
  plugin->setActive(true);
  Vst2Reference vst2;
  const auto [out3, out2] = runBoth(input, 2048, {dense, pileUp}, *plugin, vst2);
  EXPECT_TRUE(out3 == out2);
}

TEST_F(Vst3Host, AValueSetBeforeAProgramStaysInTheProgramItWasSetIn) {
  const Stereo input = testSignal(3 * std::size_t{kBlock});
  // Changes at one offset cannot say which came first: the host hands them over in order.
  const std::vector<Block> blocks = {
      {{}, {{1, 0.8f}, {-1 - 1, 0.0f}}},
      {{}, {{-1 - 0, 0.0f}, {2, 0.1f}}},
      {{}, {{3, 0.9f}, {-1 - 1, 0.0f}, {0, 0.3f}}},
  };
  plugin->setActive(true);
  Vst2Reference vst2;
  const auto [out3, out2] = runBoth(input, kBlock, blocks, *plugin, vst2);
  EXPECT_TRUE(out3 == out2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin->parameter(i), vst2.plugin().parameter(i)) << "parameter " << i;
  }
}

TEST_F(Vst3Host, AProgramChangeInsideABlockTakesTheValuesAfterIt) {
  const Stereo input = testSignal(3 * std::size_t{kBlock});
  const std::vector<Block> blocks = {
      {{{0, 1, 0.6f}, {10, kProgram, 1.0f}, {100, 1, 0.3f}, {300, 3, 0.9f}}, {}},
      {{{50, kProgram, 0.0f}, {60, 2, 0.05f}}, {}},
      {{}, {}},
  };
  plugin->setActive(true);
  Vst2Reference vst2;
  const auto [out3, out2] = runBoth(input, kBlock, blocks, *plugin, vst2);
  EXPECT_TRUE(out3 == out2);
  // The controller took them in the same order: each program holds what was set in it.
  for (int program : {0, 1, 0}) {
    plugin->setProgram(program);
    vst2.plugin().setProgram(program);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(plugin->parameter(i), vst2.plugin().parameter(i))
          << "program " << program << ", parameter " << i;
    }
  }
}

TEST_F(Vst3Host, BypassGivesTheInputBitForBit) {
  const Stereo input = testSignal(kBlock);
  plugin->setParameter(3, 0.9f);
  plugin->setParameter(kBypass, 1.0f);
  plugin->setActive(true);
  Stereo output(kBlock, 7.0f);
  float* in[2] = {const_cast<float*>(input.left.data()), const_cast<float*>(input.right.data())};
  float* out[2] = {output.left.data(), output.right.data()};
  plugin->processReplacing(in, out, kBlock);
  EXPECT_TRUE(output == input);

  // Off again at frame 200: the effect's output from there.
  const ParameterChange off[] = {{200, kBypass, 0.0f}};
  plugin->process(ProcessMode::replacing, in, out, kBlock, off);
  EXPECT_TRUE(sameBits(output.left.data(), input.left.data(), 200));
  EXPECT_FALSE(sameBits(output.left.data() + 200, input.left.data() + 200, 300));
}

TEST_F(Vst3Host, SwitchingOnStartsFromRest) {
  const Stereo input = testSignal(kBlock);
  float* in[2] = {const_cast<float*>(input.left.data()), const_cast<float*>(input.right.data())};
  Stereo first(kBlock);
  Stereo again(kBlock);
  float* out1[2] = {first.left.data(), first.right.data()};
  float* out2[2] = {again.left.data(), again.right.data()};
  plugin->setActive(true);
  plugin->processReplacing(in, out1, kBlock);
  plugin->setActive(false);
  EXPECT_FALSE(plugin->active());
  plugin->setActive(true);
  plugin->processReplacing(in, out2, kBlock);
  EXPECT_TRUE(first == again);
}

TEST_F(Vst3Host, RefusesWhatNoVst3ProcessCallCanBe) {
  Stereo buffer(kBlock);
  float* io[2] = {buffer.left.data(), buffer.right.data()};
  EXPECT_NE(errorOf([&] { plugin->processReplacing(io, io, kBlock); }).find("while switched off"),
            std::string::npos);
  plugin->setActive(true);
  EXPECT_NE(errorOf([&] {
              plugin->process(ProcessMode::accumulating, io, io, kBlock, {});
            }).find("replacing only"),
            std::string::npos);
  EXPECT_NE(errorOf([&] {
              plugin->processReplacing(io, io, Vst2Reference::kMaxBlock + 1);
            }).find("beyond the set-up size 4096"),
            std::string::npos);
  const ParameterChange bad[] = {{0, 6, 0.5f}};
  EXPECT_NE(errorOf([&] {
              plugin->process(ProcessMode::replacing, io, io, kBlock, bad);
            }).find("parameter index 6 is out of range"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { plugin->setup(0.0, 512); }).find("bad processing setup"),
            std::string::npos);
  // A new setup while on switches off for it, and on again.
  plugin->setup(48000.0, 256);
  EXPECT_TRUE(plugin->active());
  plugin->processReplacing(io, io, 256);
}

TEST_F(Vst3Host, ProcessesWhileOtherThreadsAutomateAndRead) {
  // The audio thread, a thread that automates values and programs, and one that reads: as the
  // validator's thread checks run them. Values read are ones written; the output stays finite.
  const std::vector<float> written = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.2f};
  const Stereo input = testSignal(kBlock);
  plugin->setActive(true);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::atomic<bool> finite{true};
  std::thread audio([&] {
    Stereo output(kBlock);
    float* in[2] = {const_cast<float*>(input.left.data()), const_cast<float*>(input.right.data())};
    float* out[2] = {output.left.data(), output.right.data()};
    while (!stop.load()) {
      const ParameterChange change[] = {{100, 2, written[static_cast<std::size_t>(blocks % 6)]}};
      plugin->process(ProcessMode::replacing, in, out, kBlock, change);
      for (std::size_t i = 0; i < output.frames(); ++i) {
        if (!std::isfinite(output.left[i]) || !std::isfinite(output.right[i])) {
          finite = false;
        }
      }
      ++blocks;
    }
  });
  std::thread automation([&] {
    for (int i = 0; !stop.load(); ++i) {
      if (i % 7 == 0) {
        plugin->setProgram(i % 2);
      } else {
        plugin->setParameter(i % 4, written[static_cast<std::size_t>(i % 6)]);
      }
    }
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  long reads = 0;
  while (std::chrono::steady_clock::now() < end || blocks.load() < 10) {
    const int index = static_cast<int>(reads % 4);
    const float value = plugin->parameter(index);
    EXPECT_NE(std::find(written.begin(), written.end(), value), written.end())
        << "parameter " << index << " read as " << value;
    EXPECT_FALSE(plugin->parameterDisplay(index).empty());
    ++reads;
  }
  stop = true;
  audio.join();
  automation.join();
  EXPECT_TRUE(finite.load());
  EXPECT_GE(blocks.load(), 10);
}

// ---------------------------------------------------------------------------------------------
// What `info` shows.

TEST_F(Vst3Host, DescribesWhatAVst3HostLearns) {
  plugin->setParameter(0, 0.5f);
  std::ostringstream json;
  plugin->describe(json, true);
  const auto r = nlohmann::json::parse(json.str());
  EXPECT_EQ(r["format"], "VST 3");
  EXPECT_EQ(r["class"]["name"], "DriveEffect");
  EXPECT_EQ(r["class"]["category"], "Audio Module Class");
  EXPECT_EQ(r["class"]["subCategories"], "Fx|Distortion");
  EXPECT_EQ(r["class"]["classId"], "FD68362905E84C88A87ED6AD1B49FBAA");
  EXPECT_EQ(r["class"]["version"], "1.0.0");
  EXPECT_NE(r["class"]["sdkVersion"].get<std::string>().find("VST 3"), std::string::npos);
  EXPECT_FALSE(r["factory"]["vendor"].get<std::string>().empty());
  EXPECT_EQ(r["controller"]["classId"], "468F2FA5AF034A84A18BFD2E08CA489D");
  EXPECT_EQ(r["buses"]["inputs"][0]["channels"], 2);
  EXPECT_EQ(r["buses"]["outputs"][0]["type"], "main");
  EXPECT_EQ(r["buses"]["stereoAccepted"], true);
  ASSERT_EQ(r["parameters"].size(), 6u);
  EXPECT_EQ(r["parameters"][0]["title"], "LOW");
  EXPECT_EQ(r["parameters"][0]["value"], 0.5);
  EXPECT_EQ(r["parameters"][0]["display"], "5.0");
  EXPECT_EQ(r["parameters"][0]["flags"]["names"][0], "canAutomate");
  EXPECT_EQ(r["parameters"][3]["default"], 0.2);
  EXPECT_EQ(r["parameters"][4]["id"], 100);
  EXPECT_EQ(r["parameters"][4]["flags"]["names"][1], "bypass");
  EXPECT_EQ(r["parameters"][5]["stepCount"], 1);
  EXPECT_EQ(r["programs"][1]["name"], "Init");
  EXPECT_EQ(r["currentProgram"], 0);
  EXPECT_EQ(r["editor"]["width"], 270);
  EXPECT_EQ(r["editor"]["height"], 400);

  std::ostringstream table;
  plugin->describe(table, false);
  EXPECT_NE(table.str().find("class ID        FD68362905E84C88A87ED6AD1B49FBAA"), std::string::npos)
      << table.str();
  EXPECT_NE(table.str().find("sub-categories  Fx|Distortion"), std::string::npos);
  EXPECT_NE(table.str().find("editor          270 x 400"), std::string::npos);
  EXPECT_NE(table.str().find("LOW"), std::string::npos);
  EXPECT_NE(table.str().find("0   Init  (current)"), std::string::npos) << table.str();
}

TEST_F(Vst3Host, TheEditorIs270By400) {
  const std::optional<EditorRect> rect = plugin->editorRect();
  ASSERT_TRUE(rect.has_value());
  EXPECT_EQ(rect->right - rect->left, 270);
  EXPECT_EQ(rect->bottom - rect->top, 400);
}

}  // namespace
