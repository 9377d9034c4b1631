// The validator's framework: what every check relies on must itself catch what it claims to.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/isolation.h"
#include "tools/plughost/validate/realtime_probe.h"
#include "tools/plughost/validate/runner.h"
#include "tools/plughost/validate/signals.h"
#include "tools/plughost/vst2_plugin.h"

#ifndef _WIN32
#include <csignal>
#endif

namespace plughost::validate {
namespace {

// ---- Random numbers and levels ----------------------------------------------------------------

TEST(Rng, SameSeedSameSequenceOtherSeedOther) {
  Rng a(7), b(7), c(8);
  for (int i = 0; i < 100; ++i) {
    const std::uint64_t x = a.next();
    EXPECT_EQ(x, b.next());
    EXPECT_NE(x, c.next());
  }
}

TEST(Rng, StaysWithinItsRanges) {
  Rng rng(1);
  std::set<std::int64_t> seen;
  for (int i = 0; i < 10000; ++i) {
    const std::int64_t n = rng.range(-2, 2);
    ASSERT_GE(n, -2);
    ASSERT_LE(n, 2);
    seen.insert(n);
    const float f = rng.uniformFloat(0.25f, 0.5f);
    ASSERT_GE(f, 0.25f);
    ASSERT_LT(f, 0.5f);
  }
  EXPECT_EQ(seen.size(), 5u) << "every value of a small range turns up";
}

TEST(Rng, ChecksGetTheirOwnStableSeeds) {
  EXPECT_EQ(checkSeed(5, "processing.block_sizes"), checkSeed(5, "processing.block_sizes"));
  EXPECT_NE(checkSeed(5, "processing.block_sizes"), checkSeed(5, "processing.split_blocks"));
  EXPECT_NE(checkSeed(5, "processing.block_sizes"), checkSeed(6, "processing.block_sizes"));
}

TEST(Context, ScalesLinearlyFromLowestToHighestLevel) {
  const struct {
    int level;
    int expected;
  } cases[] = {{1, 5}, {10, 50}, {4, 20}, {0, 5}, {11, 50}};
  for (const auto& c : cases) {
    RunOptions options;
    options.level = c.level;
    Context context(options, "x.y");
    EXPECT_EQ(context.scaled(5, 50), c.expected) << "level " << c.level;
  }
}

// ---- Guard bytes ------------------------------------------------------------------------------

TEST(GuardedBuffer, NoticesEveryWriteOutsideTheAllowedBytes) {
  GuardedBuffer buffer(9);
  EXPECT_FALSE(buffer.damage());
  EXPECT_FALSE(buffer.touched());
  std::memcpy(buffer.data(), "12345678", 9);  // 8 characters and the terminator: allowed
  EXPECT_FALSE(buffer.damage());
  EXPECT_TRUE(buffer.touched());
  EXPECT_TRUE(buffer.terminated());
  EXPECT_EQ(buffer.text(), "12345678");

  buffer.reset(9);
  std::memcpy(buffer.data(), "123456789", 10);  // the terminator lands one byte too far
  ASSERT_TRUE(buffer.damage());
  EXPECT_NE(buffer.damage()->find("wrote 10 bytes where the interface allows 9"), std::string::npos)
      << *buffer.damage();

  buffer.reset(9);
  buffer.data()[100] = 0;  // a stray zero far past the text
  EXPECT_TRUE(buffer.damage());

  buffer.reset(9);
  buffer.data()[-1] = 'x';
  ASSERT_TRUE(buffer.damage());
  EXPECT_NE(buffer.damage()->find("before the buffer's start"), std::string::npos);
}

TEST(GuardedBuffer, TellsAnUnterminatedText) {
  GuardedBuffer buffer(4);
  std::memcpy(buffer.data(), "abcd", 4);
  EXPECT_FALSE(buffer.damage());
  EXPECT_FALSE(buffer.terminated());
}

// ---- Comparisons ------------------------------------------------------------------------------

TEST(Comparison, IsBitForBit) {
  const Channels a = {{0.0f, 1.0f}, {0.5f, 0.25f}};
  Channels b = a;
  EXPECT_FALSE(firstDifference(a, b));
  b[1][1] = std::nextafter(0.25f, 1.0f);
  ASSERT_TRUE(firstDifference(a, b));
  EXPECT_NE(firstDifference(a, b)->find("channel 1 frame 1"), std::string::npos);
  b = a;
  b[0][0] = -0.0f;  // equal as numbers, different output
  EXPECT_TRUE(firstDifference(a, b));
}

TEST(Comparison, FindsNonFiniteSamplesFromAFrameOn) {
  Channels audio = {{0.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f},
                    {0.0f, 0.0f, std::numeric_limits<float>::infinity()}};
  ASSERT_TRUE(firstNonFinite(audio));
  EXPECT_NE(firstNonFinite(audio)->find("channel 0 frame 1"), std::string::npos);
  EXPECT_NE(firstNonFinite(audio, 2)->find("channel 1 frame 2"), std::string::npos);
  audio[1][2] = 1e38f;
  EXPECT_FALSE(firstNonFinite(audio, 2));
}

TEST(Signals, AreReproducibleAndWhatTheirNamesSay) {
  const Channels noise = makeSignal(Signal::noise, 2, 4096, 44100.0, 9);
  EXPECT_FALSE(firstDifference(noise, makeSignal(Signal::noise, 2, 4096, 44100.0, 9)));
  EXPECT_NE(noise[0], noise[1]) << "channels get different noise";
  const Channels denormals = makeSignal(Signal::denormals, 1, 4096, 44100.0, 1);
  for (float s : denormals[0]) {
    ASSERT_EQ(std::fpclassify(s), FP_SUBNORMAL);
  }
  const Channels sweep = makeSignal(Signal::sweep, 1, 4096, 8000.0, 1);
  for (float s : sweep[0]) {
    ASSERT_LE(std::fabs(s), 0.9f);
  }
}

// ---- Block runs against fake effects ----------------------------------------------------------

// A gain (2 unless its one parameter says otherwise) whose faults are switched on per test.
struct Fake {
  AEffect descriptor{};
  float gain = 2.0f;
  // Writes this many frames past the block's last, when positive.
  std::int32_t writePastEnd = 0;
  bool writeInput = false;
  int calls = 0;
};
Fake fake;

template <bool accumulate>
void fakeProcess(AEffect*, float** in, float** out, std::int32_t frames) {
  ++fake.calls;
  for (int c = 0; c < 2; ++c) {
    for (std::int32_t i = 0; i < frames; ++i) {
      out[c][i] = (accumulate ? out[c][i] : 0.0f) + fake.gain * in[c][i];
    }
    if (fake.writePastEnd > 0 && frames > 0) {
      out[c][frames + fake.writePastEnd - 1] = 0.0f;
    }
    if (fake.writeInput && frames > 0) {
      in[c][0] = 7.0f;
    }
  }
}

VstIntPtr fakeDispatcher(AEffect*, std::int32_t, std::int32_t, VstIntPtr, void*, float) {
  return 0;
}

void fakeSetParameter(AEffect*, std::int32_t, float value) {
  fake.gain = value;
}

float fakeGetParameter(AEffect*, std::int32_t) {
  return fake.gain;
}

AEffect* fakeMain(HostCallback) {
  fake.descriptor = {};
  fake.descriptor.magic = kEffectMagic;
  fake.descriptor.dispatcher = fakeDispatcher;
  fake.descriptor.processReplacing = fakeProcess<false>;
  fake.descriptor.process = fakeProcess<true>;
  fake.descriptor.setParameter = fakeSetParameter;
  fake.descriptor.getParameter = fakeGetParameter;
  fake.descriptor.numParams = 1;
  fake.descriptor.numInputs = 2;
  fake.descriptor.numOutputs = 2;
  fake.descriptor.flags = effFlagsCanReplacing;
  return &fake.descriptor;
}

class BlockRuns : public ::testing::Test {
 protected:
  void SetUp() override { fake = Fake{}; }
};

TEST_F(BlockRuns, FollowTheScheduleIncludingEmptyCalls) {
  Effect effect(fakeMain, "main");
  Vst2Plugin plugin(effect);
  const Channels input = makeSignal(Signal::noise, 2, 1000, 44100.0, 3);
  const Channels output = render(plugin, input, {0, 300, 7}, {ProcessMode::replacing, false});
  // 1000 frames as 0, 300, 7, 0, 300, 7, 0, 300, 7, 0, 79.
  EXPECT_EQ(fake.calls, 11);
  for (std::size_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(output[1][i], 2.0f * input[1][i]);
  }
}

TEST_F(BlockRuns, InPlaceHandsTheInputBufferAsOutput) {
  Effect effect(fakeMain, "main");
  Vst2Plugin plugin(effect);
  const Channels input = makeSignal(Signal::noise, 2, 600, 44100.0, 3);
  EXPECT_FALSE(firstDifference(render(plugin, input, {64}, {ProcessMode::replacing, true}),
                               render(plugin, input, {64}, {ProcessMode::replacing, false})));
}

TEST_F(BlockRuns, CatchWritesPastTheBlockAndIntoInputs) {
  Effect effect(fakeMain, "main");
  Vst2Plugin plugin(effect);
  const Channels input = makeSignal(Signal::noise, 2, 256, 44100.0, 3);
  // One frame too many, or a loop rounded up to a chunk as large as the guard: each lands in the
  // guard frames and is told.
  for (std::int32_t past : {1, 16, BlockRunner::kGuardFrames}) {
    fake.writePastEnd = past;
    for (ProcessMode mode : {ProcessMode::replacing, ProcessMode::accumulating}) {
      EXPECT_THROW(render(plugin, input, {100}, {mode, false}), Failure) << past;
    }
  }
  fake.writePastEnd = 0;
  fake.writeInput = true;
  EXPECT_THROW(render(plugin, input, {100}, {ProcessMode::replacing, false}), Failure);
  // In place the input is the output: writing it is the point.
  EXPECT_NO_THROW(render(plugin, input, {100}, {ProcessMode::replacing, true}));
}

TEST_F(BlockRuns, AccumulateOntoTheCallersSignalWhenAsked) {
  Effect effect(fakeMain, "main");
  Vst2Plugin plugin(effect);
  const Channels input = makeSignal(Signal::noise, 2, 300, 44100.0, 3);
  const Channels existing = makeSignal(Signal::noise, 2, 300, 44100.0, 4);
  BlockRunner onto(plugin, 128, {ProcessMode::accumulating, false, true});
  BlockRunner fresh(plugin, 128, {ProcessMode::accumulating, false});
  Channels added = existing;
  Channels alone = existing;
  for (std::int32_t position = 0; position < 300; position += 128) {
    const std::int32_t frames = std::min<std::int32_t>(128, 300 - position);
    onto.run(input, added, position, frames);
    fresh.run(input, alone, position, frames);
  }
  for (std::size_t i = 0; i < 300; ++i) {
    ASSERT_EQ(added[0][i], existing[0][i] + 2.0f * input[0][i]) << i;
    ASSERT_EQ(alone[0][i], 2.0f * input[0][i]) << i;
  }
}

TEST_F(BlockRuns, HandChangesToThePlugInAtTheirFrames) {
  Effect effect(fakeMain, "main");
  Vst2Plugin plugin(effect);
  const Channels input = makeSignal(Signal::noise, 2, 256, 44100.0, 3);
  Channels output = silence(2, 256);
  BlockRunner runner(plugin, 256, {ProcessMode::replacing, false});
  const ParameterChange changes[] = {{37, 0, 0.5f}, {200, 0, 3.0f}};
  runner.run(input, output, 0, 256, changes);
  for (std::size_t i = 0; i < 256; ++i) {
    const float gain = i < 37 ? 2.0f : i < 200 ? 0.5f : 3.0f;
    ASSERT_EQ(output[1][i], gain * input[1][i]) << i;
  }
}

TEST_F(BlockRuns, EntryReturningNullOrBadMagicFails) {
  EXPECT_THROW(Effect([](HostCallback) -> AEffect* { return nullptr; }, "main"), Failure);
  EXPECT_THROW(Effect(
                   [](HostCallback h) -> AEffect* {
                     AEffect* e = fakeMain(h);
                     e->magic = 0;
                     return e;
                   },
                   "main"),
               Failure);
}

// ---- Outcomes and report lines ----------------------------------------------------------------

std::string passing(Context& context) {
  context.note("a note");
  return "all good";
}
std::string failing(Context&) {
  require(false, "went wrong");
  return {};
}
std::string skipping(Context&) {
  throw Skipped("not here");
}
std::string throwingOther(Context&) {
  throw std::runtime_error("plug-in would not load");
}

TEST(Outcome, ComesFromReturnAndExceptions) {
  RunOptions options;
  const struct {
    CheckFunction run;
    Status status;
    const char* reason;
  } cases[] = {{passing, Status::pass, "all good"},
               {failing, Status::fail, "went wrong"},
               {skipping, Status::skip, "not here"},
               {throwingOther, Status::fail, "plug-in would not load"}};
  for (const auto& c : cases) {
    const Outcome outcome = runInProcess({"area", "name", c.run}, options);
    EXPECT_EQ(outcome.status, c.status) << c.reason;
    EXPECT_EQ(outcome.reason, c.reason);
  }
  EXPECT_EQ(runInProcess({"area", "name", passing}, options).notes,
            std::vector<std::string>{"a note"});
}

TEST(Needs, AreMetOrSayWhatIsMissing) {
  const Provisions everything;
  Provisions noWindows;
  noWindows.noHostWindow = "no X display (':9') can be opened";
  Provisions noCounting;
  noCounting.noCallCounting = "this build runs under a sanitizer";
  Provisions slowed;
  slowed.noTrueSpeed = "instrumented";
  const struct {
    unsigned needs;
    const Provisions& provisions;
    const char* unmet;
  } cases[] = {
      {kNeedsNothing, noWindows, ""},
      {kNeedsHostWindow, everything, ""},
      {kNeedsHostWindow, noWindows, "needs a host window: no X display (':9') can be opened"},
      {kNeedsHostWindow, noCounting, ""},
      {kNeedsCallCounting, noCounting, "this build runs under a sanitizer"},
      {kNeedsCallCounting, noWindows, ""},
      {kNeedsHostWindow | kNeedsCallCounting, noCounting, "this build runs under a sanitizer"},
      {kNeedsTrueSpeed, noCounting, ""},
      {kNeedsTrueSpeed, slowed, "instrumented"},
      {kNeedsCallCounting, slowed, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(unmetNeeds({"area", "name", passing, c.needs}, c.provisions), c.unmet)
        << "needs " << c.needs;
  }
}

TEST(Report, FailLinesCarryTheWayToReproduce) {
  ValidateOptions options;
  options.level = 7;
  options.seed = 1234;
  Outcome outcome;
  outcome.status = Status::fail;
  outcome.reason = "it broke";
  const std::string line = checkLine({"processing", "in_place", passing}, outcome, options);
  EXPECT_EQ(line.rfind("FAIL processing.in_place: it broke [reproduce: --level 7 --seed 1234 "
                       "--only processing.in_place]",
                       0),
            0u)
      << line;
  outcome.status = Status::pass;
  EXPECT_EQ(checkLine({"processing", "in_place", passing}, outcome, options).find("reproduce"),
            std::string::npos);
}

Tally tallyOf(std::initializer_list<std::pair<CheckKind, Status>> outcomes) {
  Tally tally;
  for (const auto& [kind, status] : outcomes) {
    tally.add(kind, status);
  }
  return tally;
}

TEST(Report, SummaryCountsChecksAndKeepsReportsApart) {
  constexpr auto check = CheckKind::check;
  constexpr auto report = CheckKind::report;
  const struct {
    Tally tally;
    const char* endedBy;
    const char* line;
  } cases[] = {
      {tallyOf({{check, Status::pass}, {check, Status::fail}}), "", "1 passed, 1 failed"},
      {tallyOf({{check, Status::pass}, {check, Status::skip}, {report, Status::pass}}), "",
       "1 passed, 0 failed, 1 skipped; reports: 1 made"},
      {tallyOf({{check, Status::pass}, {report, Status::fail}, {report, Status::skip}}), "",
       "1 passed, 0 failed; reports: 1 failed, 1 skipped"},
      {tallyOf({{check, Status::fail}, {check, Status::skip}, {report, Status::skip}}),
       "parameters.values crashed",
       "0 passed, 1 failed, 1 skipped; reports: 1 skipped; the run ended early: "
       "parameters.values crashed"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(summaryLine(c.tally, c.endedBy), c.line);
  }
  // A report made counts as nothing passed; a failed one still fails the run.
  EXPECT_FALSE(tallyOf({{report, Status::pass}}).anyFailed());
  EXPECT_EQ(tallyOf({{report, Status::pass}}).passed, 0);
  EXPECT_TRUE(tallyOf({{report, Status::fail}}).anyFailed());
  EXPECT_EQ(tallyOf({{report, Status::fail}}).failed, 0);
}

TEST(Report, AMadeReportSaysReportAndAFailedOneHowToReproduce) {
  ValidateOptions options;
  options.seed = 9;
  Outcome outcome;
  outcome.status = Status::pass;
  outcome.reason = "32: 1.00 us/block";
  const Check timing{"timing", "block_times", passing, kNeedsNothing, CheckKind::report};
  EXPECT_EQ(checkLine(timing, outcome, options).rfind("REPORT timing.block_times: 32: 1.00", 0),
            0u);
  outcome.status = Status::fail;
  EXPECT_NE(checkLine(timing, outcome, options).find("FAIL timing.block_times: "),
            std::string::npos);
  EXPECT_NE(checkLine(timing, outcome, options).find("--only timing.block_times]"),
            std::string::npos);
}

// ---- Plug-ins of every format ----------------------------------------------------------------

TEST(Formats, ReferencesAreToldApartWithoutLoading) {
  const struct {
    const char* reference;
    PluginFormat format;
  } cases[] = {
      {"build/DriveEffect.so", PluginFormat::vst2},
      {"DriveEffect.dll", PluginFormat::vst2},
      {"/usr/lib/vst3/DriveEffect.vst3", PluginFormat::vst3},
      {"DriveEffect.VST3/", PluginFormat::vst3},
      {"DriveEffect.vst3x", PluginFormat::vst2},
#ifndef _WIN32
      {"urn:driveeffect:three-band-drive", PluginFormat::lv2},
      {"http://example.org/plugins/eq", PluginFormat::lv2},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(referenceFormat(c.reference), c.format) << c.reference;
  }
#ifndef _WIN32
  EXPECT_EQ(referenceFormat(::testing::TempDir()), PluginFormat::lv2) << "a bundle folder";
#endif
}

TEST(Formats, ChecksOfOtherFormatsAreSkippedSayingWhich) {
  Provisions vst2;
  Provisions lv2;
  lv2.format = PluginFormat::lv2;
  Provisions vst3;
  vst3.format = PluginFormat::vst3;
  Provisions lv2WithoutWindows = lv2;
  lv2WithoutWindows.noHostWindow = "no X display";
  const struct {
    unsigned formats;
    unsigned needs;
    const Provisions& provisions;
    const char* unmet;
  } cases[] = {
      {kEveryFormat, kNeedsNothing, lv2, ""},
      {kEveryFormat, kNeedsNothing, vst3, ""},
      {kVst2Plugins, kNeedsNothing, vst2, ""},
      {kVst2Plugins, kNeedsNothing, lv2, "applies to VST 2 plug-ins only"},
      {kVst2Plugins, kNeedsNothing, vst3, "applies to VST 2 plug-ins only"},
      {kVst2Plugins | kLv2Plugins, kNeedsNothing, lv2, ""},
      {kVst2Plugins | kLv2Plugins, kNeedsNothing, vst3, "applies to VST 2 and LV2 plug-ins only"},
      {kLv2Plugins | kVst3Plugins, kNeedsNothing, vst2, "applies to LV2 and VST 3 plug-ins only"},
      // The format is told first: no window would make the check run on this format either.
      {kVst2Plugins, kNeedsHostWindow, lv2WithoutWindows, "applies to VST 2 plug-ins only"},
      {kEveryFormat, kNeedsHostWindow, lv2WithoutWindows, "needs a host window: no X display"},
  };
  for (const auto& c : cases) {
    const Check check{"area", "name", passing, c.needs, CheckKind::check, c.formats};
    EXPECT_EQ(unmetNeeds(check, c.provisions), c.unmet) << c.formats << " " << c.needs;
  }
}

TEST(Formats, OnlyTheChecksOfVst2sOwnRequestsAreLeftToIt) {
  // The descriptor and the dispatcher are VST 2's alone; every other area checks every format
  // through the one interface.
  std::set<std::string> areasForOthers;
  for (const Check& check : allChecks()) {
    const std::string area = check.area;
    const bool vst2Own = area == "descriptor" || area == "dispatcher";
    EXPECT_NE(check.formats & kVst2Plugins, 0u) << fullName(check);
    if (vst2Own) {
      EXPECT_EQ(check.formats, unsigned{kVst2Plugins}) << fullName(check);
    } else if ((check.formats & kLv2Plugins) != 0 && (check.formats & kVst3Plugins) != 0) {
      areasForOthers.insert(area);
    }
  }
  EXPECT_EQ(areasForOthers, (std::set<std::string>{"loading", "parameters", "processing", "threads",
                                                   "editor", "realtime", "timing"}));
}

// A plug-in of the test's own: a stereo gain whose one parameter is the gain, taking the changes
// handed with a block where it is told to.
enum class ChangesTaken { atTheirFrames, atBlockStart, afterTheBlock };

class GainPlugin final : public Plugin {
 public:
  explicit GainPlugin(ChangesTaken taken) : taken_(taken) {}

  PluginFormat format() const override { return PluginFormat::vst3; }
  std::string name() override { return "gain"; }
  int inputCount() const override { return 2; }
  int outputCount() const override { return 2; }
  int parameterCount() const override { return 1; }
  std::string parameterName(int) override { return "gain"; }
  std::string parameterDisplay(int) override { return std::to_string(gain_); }
  std::string parameterLabel(int) override { return {}; }
  float parameter(int) override { return gain_; }
  void setParameter(int, float value) override { gain_ = value; }
  int programCount() override { return 0; }
  int program() override { return 0; }
  void setProgram(int) override {}
  std::string programName(int) override { return {}; }
  void setup(double, std::int32_t) override {}
  void setActive(bool active) override { active_ = active; }
  bool active() const override { return active_; }
  void process(ProcessMode, float* const* inputs, float* const* outputs, std::int32_t frames,
               std::span<const ParameterChange> changes) override {
    auto apply = [this](const ParameterChange& change) { gain_ = change.value; };
    auto run = [this](float* const* in, float* const* out, std::int32_t n) {
      for (int c = 0; c < 2; ++c) {
        for (std::int32_t i = 0; i < n; ++i) {
          out[c][i] = gain_ * in[c][i];
        }
      }
    };
    switch (taken_) {
      case ChangesTaken::atTheirFrames:
        processSplitAtChanges(inputs, 2, outputs, 2, frames, changes, apply, run);
        break;
      case ChangesTaken::atBlockStart:
        std::for_each(changes.begin(), changes.end(), apply);
        run(inputs, outputs, frames);
        break;
      case ChangesTaken::afterTheBlock:
        run(inputs, outputs, frames);
        std::for_each(changes.begin(), changes.end(), apply);
        break;
    }
  }
  std::optional<EditorRect> editorRect() override { return std::nullopt; }
  void openEditor(void*) override {}
  void idleEditor() override {}
  void closeEditor() override {}
  std::vector<AutomationReport> automation() const override { return {}; }
  void describe(std::ostream&, bool) override {}

 private:
  ChangesTaken taken_;
  float gain_ = 1.0f;
  bool active_ = false;
};

TEST(SampleAccurateChanges, HoldOnlyForAPlugInThatTakesChangesAtTheirFrames) {
  RunOptions options;
  options.level = 1;
  for (std::uint64_t seed : {1u, 2u, 3u}) {
    options.seed = seed;
    for (ChangesTaken taken :
         {ChangesTaken::atTheirFrames, ChangesTaken::atBlockStart, ChangesTaken::afterTheBlock}) {
      Context context(options, "processing.sample_accurate_changes");
      PluginSource source(PluginFormat::vst3,
                          [taken] { return std::make_unique<GainPlugin>(taken); });
      if (taken == ChangesTaken::atTheirFrames) {
        EXPECT_NO_THROW(sampleAccurateChanges(context, source)) << seed;
        EXPECT_TRUE(context.notes().empty()) << "the gain changes reach the sound";
      } else {
        EXPECT_THROW(sampleAccurateChanges(context, source), Failure)
            << "changes taken " << (taken == ChangesTaken::atBlockStart ? "at the start" : "after")
            << ", seed " << seed;
      }
    }
  }
}

TEST(Checks, HaveUniqueNamesAndStartWithInstantiation) {
  const std::vector<Check> checks = allChecks();
  ASSERT_FALSE(checks.empty());
  EXPECT_EQ(fullName(checks.front()), "loading.instantiate");
  std::set<std::string> names;
  std::set<std::string> areas;
  for (const Check& check : checks) {
    EXPECT_TRUE(names.insert(fullName(check)).second) << fullName(check);
    areas.insert(check.area);
  }
  EXPECT_EQ(areas,
            (std::set<std::string>{"loading", "descriptor", "dispatcher", "parameters",
                                   "processing", "threads", "editor", "realtime", "timing"}));
  // Only the timing gives no verdict: its numbers depend on the machine.
  for (const Check& check : checks) {
    EXPECT_EQ(check.kind == CheckKind::report, std::string(check.area) == "timing")
        << fullName(check);
  }
  EXPECT_TRUE(selects("processing", {"processing", "in_place", passing}));
  EXPECT_TRUE(selects("processing.in_place", {"processing", "in_place", passing}));
  EXPECT_FALSE(selects("processing.in", {"processing", "in_place", passing}));
}

#ifndef _WIN32

// ---- Isolation --------------------------------------------------------------------------------

std::string crashing(Context&) {
  std::raise(SIGSEGV);
  return {};
}
std::string hanging(Context&) {
  std::this_thread::sleep_for(std::chrono::seconds(30));
  return {};
}
std::string exiting(Context&) {
  std::_Exit(5);
}

TEST(Isolation, ACrashHangOrExitIsOneFailedCheck) {
  RunOptions options;
  const struct {
    CheckFunction run;
    const char* reason;
  } cases[] = {{crashing, "crashed with signal 11"},
               {hanging, "did not finish within 1 s"},
               {exiting, "ended with exit status 5 before reporting"}};
  for (const auto& c : cases) {
    const Outcome outcome = runIsolated({"area", "name", c.run}, options, 1.0);
    EXPECT_EQ(outcome.status, Status::fail);
    EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
  }
}

TEST(Isolation, CarriesTheOutcomeBack) {
  RunOptions options;
  const Outcome outcome = runIsolated({"area", "name", passing}, options, 10.0);
  EXPECT_EQ(outcome.status, Status::pass);
  EXPECT_EQ(outcome.reason, "all good");
  EXPECT_EQ(outcome.notes, std::vector<std::string>{"a note"});
}

// ---- The real-time probe ----------------------------------------------------------------------

TEST(RealtimeProbe, CountsTheWatchedThreadOnlyAndNotWhilePaused) {
  std::string whyNot;
  if (!probe::available(whyNot)) {
    GTEST_SKIP() << whyNot;
  }
  // The other thread exists before counting starts: making a thread allocates.
  std::atomic<int> step{0};
  std::thread other([&] {
    while (step.load() != 1) {
    }
    void* p = std::malloc(64);
    std::free(p);
    step = 2;
  });
  // Called through pointers the compiler cannot see through, so the pairs are not optimised away.
  void* (*volatile allocate)(std::size_t) = std::malloc;
  void (*volatile release)(void*) = std::free;
  probe::begin();
  release(allocate(64));
  {
    probe::Pause pause;
    release(allocate(64));
  }
  step = 1;
  while (step.load() != 2) {
  }
  std::mutex mutex;
  mutex.lock();
  mutex.unlock();
  const probe::Counts counts = probe::end();
  other.join();
  EXPECT_EQ(counts.heapCalls, 2);
  EXPECT_EQ(counts.lockCalls, 1);
  EXPECT_NE(counts.detail.find("malloc x1"), std::string::npos) << counts.detail;
  EXPECT_NE(counts.detail.find("pthread_mutex_lock x1"), std::string::npos) << counts.detail;
}

// What a check counts is the plug-in's: the host's side of a process call, changes inside the
// block included, neither allocates nor locks.
TEST(RealtimeProbe, CountsNothingOfTheHostsSideOfAProcessCall) {
  std::string whyNot;
  if (!probe::available(whyNot)) {
    GTEST_SKIP() << whyNot;
  }
  fake = Fake{};
  Effect effect(fakeMain, "main");
  Vst2Plugin plugin(effect);
  const Channels input = makeSignal(Signal::noise, 2, 512, 44100.0, 3);
  Channels output = silence(2, 512);
  BlockRunner runner(plugin, 512, {ProcessMode::replacing, false});
  const ParameterChange changes[] = {
      {0, 0, 0.5f}, {100, 0, 1.5f}, {100, 0, 1.0f}, {511, 0, 2.0f}, {600, 0, 0.25f}};
  probe::begin();
  runner.run(input, output, 0, 512, changes);
  runner.run(input, output, 0, 0, changes);
  runner.run(input, output, 0, 512);
  const probe::Counts counts = probe::end();
  EXPECT_EQ(counts.heapCalls, 0) << counts.detail;
  EXPECT_EQ(counts.lockCalls, 0) << counts.detail;
  EXPECT_EQ(fake.calls, 5) << "a call for each piece between changes, and the flush";
}

#endif

}  // namespace
}  // namespace plughost::validate
