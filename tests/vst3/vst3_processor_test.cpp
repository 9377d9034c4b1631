// The built VST 3 processor driven as a host drives it: buses, sample sizes, activation, empty
// and buffer-less calls, and its audio compared byte for byte with the VST 2 plug-in's
// DriveEffect run in blocks split at the same frames as the VST 3 host's parameter changes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "effect/drive_effect.h"
#include "host/vst3/vst3_ids.h"
#include "tests/vst3/vst3_test_host.h"

using vst3test::create;
using vst3test::ParameterChanges;
using vst3test::Ref;

namespace {

using Audio = std::vector<float>;

// Loud enough in places to drive every band into its clipper, with quiet stretches between.
Audio noise(std::size_t frames, std::uint32_t seed) {
  Audio out(frames);
  std::uint32_t state = seed;
  for (std::size_t i = 0; i < frames; ++i) {
    state = state * 1664525u + 1013904223u;
    const float unit = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
    out[i] = unit * ((i / 300) % 3 == 0 ? 1.5f : 0.2f);
  }
  return out;
}

bool sameBytes(const Audio& a, const Audio& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// One processor, initialized, set up for 32-bit realtime processing and active.
class Processor {
 public:
  Processor()
      : component(create<Steinberg_Vst_IComponent>(vst3::kProcessorClassId,
                                                   Steinberg_Vst_IComponent_iid)),
        audio(component.query<Steinberg_Vst_IAudioProcessor>(Steinberg_Vst_IAudioProcessor_iid)) {
    // A test cannot go on without one; gtest reports the exception as its failure.
    if (!component || !audio) {
      throw std::runtime_error("the factory made no processor");
    }
    component.vtbl()->initialize(component.get(), nullptr);
    Steinberg_Vst_ProcessSetup setup{Steinberg_Vst_ProcessModes_kRealtime,
                                     Steinberg_Vst_SymbolicSampleSizes_kSample32, 4096, 44100.0};
    audio.vtbl()->setupProcessing(audio.get(), &setup);
    component.vtbl()->setActive(component.get(), 1);
    audio.vtbl()->setProcessing(audio.get(), 1);
  }
  ~Processor() {
    if (component) {
      audio.vtbl()->setProcessing(audio.get(), 0);
      component.vtbl()->setActive(component.get(), 0);
      component.vtbl()->terminate(component.get());
    }
  }
  Processor(const Processor&) = delete;
  Processor& operator=(const Processor&) = delete;

  // Runs one block in place of the inputs' frames [start, start + frames) into out.
  Steinberg_tresult run(const Audio& inL, const Audio& inR, Audio& outL, Audio& outR,
                        std::size_t start, std::int32_t frames, ParameterChanges* changes,
                        std::uint64_t inputSilence = 0) {
    float* in[2] = {const_cast<float*>(inL.data()) + start, const_cast<float*>(inR.data()) + start};
    float* out[2] = {outL.data() + start, outR.data() + start};
    Steinberg_Vst_AudioBusBuffers input{};
    input.numChannels = 2;
    input.silenceFlags = inputSilence;
    input.Steinberg_Vst_AudioBusBuffers_channelBuffers32 = in;
    Steinberg_Vst_AudioBusBuffers output{};
    output.numChannels = 2;
    output.silenceFlags = 0xF0;  // whatever a host left there
    output.Steinberg_Vst_AudioBusBuffers_channelBuffers32 = out;
    Steinberg_Vst_ProcessData data{};
    data.processMode = Steinberg_Vst_ProcessModes_kRealtime;
    data.symbolicSampleSize = Steinberg_Vst_SymbolicSampleSizes_kSample32;
    data.numSamples = frames;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &input;
    data.outputs = &output;
    data.inputParameterChanges = changes != nullptr ? changes->changes() : nullptr;
    const Steinberg_tresult result = audio.vtbl()->process(audio.get(), &data);
    lastSilenceFlags = output.silenceFlags;
    return result;
  }

  std::vector<unsigned char> state() {
    vst3test::MemoryStream stream;
    component.vtbl()->getState(component.get(), stream.stream());
    return stream.data;
  }

  Ref<Steinberg_Vst_IComponent> component;
  Ref<Steinberg_Vst_IAudioProcessor> audio;
  std::uint64_t lastSilenceFlags = 0;
};

// A parameter change at a frame of the whole signal.
struct Change {
  std::size_t frame;
  Steinberg_Vst_ParamID id;
  double value;
};

struct Rendered {
  Audio left, right;
};

// The VST 3 side: host blocks of blockSize frames, each change sent in the block that holds it.
Rendered renderVst3(const Audio& inL, const Audio& inR, std::int32_t blockSize,
                    const std::vector<Change>& changes) {
  Processor p;
  Rendered out{Audio(inL.size()), Audio(inR.size())};
  for (std::size_t start = 0; start < inL.size(); start += static_cast<std::size_t>(blockSize)) {
    const auto frames = static_cast<std::int32_t>(
        std::min(static_cast<std::size_t>(blockSize), inL.size() - start));
    ParameterChanges block;
    for (const Change& c : changes) {
      if (c.frame >= start && c.frame < start + static_cast<std::size_t>(frames)) {
        block.add(c.id, static_cast<std::int32_t>(c.frame - start), c.value);
      }
    }
    EXPECT_EQ(p.run(inL, inR, out.left, out.right, start, frames, &block), Steinberg_kResultOk);
  }
  return out;
}

// The VST 2 side: the same effect class, its blocks cut at every host block boundary and every
// change, each change set just before the piece that starts at its frame, as a VST 2 host does.
// Bypass is the input itself.
Rendered renderVst2(const Audio& inL, const Audio& inR, std::int32_t blockSize,
                    const std::vector<Change>& changes) {
  DriveEffect effect(nullptr);
  Rendered out{Audio(inL.size()), Audio(inR.size())};
  bool bypass = false;
  std::size_t start = 0;
  while (start < inL.size()) {
    for (const Change& c : changes) {
      if (c.frame == start && c.id == vst3::kProgramId) {
        effect.setProgram(vst3::normalizedToProgram(c.value));
      }
    }
    for (const Change& c : changes) {
      if (c.frame != start) {
        continue;
      }
      if (c.id < 4) {
        effect.setParameter(static_cast<std::int32_t>(c.id), static_cast<float>(c.value));
      } else if (c.id == vst3::kBypassId) {
        bypass = c.value >= 0.5;
      }
    }
    std::size_t end =
        (start / static_cast<std::size_t>(blockSize) + 1) * static_cast<std::size_t>(blockSize);
    end = std::min(end, inL.size());
    for (const Change& c : changes) {
      if (c.frame > start && c.frame < end) {
        end = c.frame;
      }
    }
    const auto frames = static_cast<std::int32_t>(end - start);
    if (bypass) {
      std::memcpy(out.left.data() + start, inL.data() + start, (end - start) * sizeof(float));
      std::memcpy(out.right.data() + start, inR.data() + start, (end - start) * sizeof(float));
    } else {
      float* in[2] = {const_cast<float*>(inL.data()) + start,
                      const_cast<float*>(inR.data()) + start};
      float* o[2] = {out.left.data() + start, out.right.data() + start};
      effect.processReplacing(in, o, frames);
    }
    start = end;
  }
  return out;
}

struct AutomationCase {
  const char* name;
  std::int32_t blockSize;
  std::vector<Change> changes;
};

const AutomationCase kAutomationCases[] = {
    {"no changes", 512, {}},
    {"one change mid-block", 512, {{700, 0, 0.9}}},
    {"changes on block edges and the first frame",
     256,
     {{0, 3, 0.7}, {256, 1, 0.1}, {511, 2, 1.0}, {512, 0, 0.0}}},
    {"two parameters at one frame, then a third",
     333,
     {{100, 0, 0.25}, {100, 3, 0.9}, {101, 2, 0.75}, {1500, 1, 0.95}}},
    {"many points in one queue", 1024, {{10, 3, 0.3}, {20, 3, 0.6}, {30, 3, 0.9}, {40, 3, 0.1}}},
    {"one-frame blocks", 1, {{5, 0, 0.8}, {9, 1, 0.2}}},
    {"bypass on and off mid-block", 512, {{300, 100, 1.0}, {900, 100, 0.0}, {950, 0, 1.0}}},
    {"program change with values after it",
     400,
     {{50, 0, 0.9}, {600, 101, 1.0}, {600, 1, 0.05}, {1200, 101, 0.0}, {1700, 3, 0.6}}},
};

TEST(Vst3Processor, SampleAccurateChangesGiveTheVst2PluginsBytes) {
  const Audio inL = noise(2400, 1);
  const Audio inR = noise(2400, 2);
  for (const AutomationCase& c : kAutomationCases) {
    SCOPED_TRACE(c.name);
    const Rendered vst3 = renderVst3(inL, inR, c.blockSize, c.changes);
    const Rendered vst2 = renderVst2(inL, inR, c.blockSize, c.changes);
    EXPECT_TRUE(sameBytes(vst3.left, vst2.left));
    EXPECT_TRUE(sameBytes(vst3.right, vst2.right));
  }
}

// A change the host places before the frames it has already passed, or after the block's end,
// still takes effect: at once, or for the next block.
TEST(Vst3Processor, OutOfOrderAndLateChangesStillApply) {
  const Audio inL = noise(512, 3);
  const Audio inR = noise(512, 4);
  Processor p;
  Audio outL(512), outR(512);
  ParameterChanges changes;
  changes.add(0, 600, 0.9);  // past the 256-frame block: for the next one
  ASSERT_EQ(p.run(inL, inR, outL, outR, 0, 256, &changes), Steinberg_kResultOk);
  ASSERT_EQ(p.run(inL, inR, outL, outR, 256, 256, nullptr), Steinberg_kResultOk);
  const Rendered expected = renderVst2(inL, inR, 256, {{256, 0, 0.9}});
  EXPECT_TRUE(sameBytes(outL, expected.left));
  EXPECT_TRUE(sameBytes(outR, expected.right));
}

TEST(Vst3Processor, BypassGivesTheInputBitForBit) {
  Audio inL = noise(1000, 5);
  Audio inR = noise(1000, 6);
  // Bit patterns a copy through arithmetic would change.
  inL[3] = -0.0f;
  inR[4] = std::nanf("0x2a");
  inL[5] = 1e-42f;
  const Rendered out = renderVst3(inL, inR, 256, {{0, vst3::kBypassId, 1.0}});
  EXPECT_TRUE(sameBytes(out.left, inL));
  EXPECT_TRUE(sameBytes(out.right, inR));
}

TEST(Vst3Processor, InPlaceBuffersWork) {
  const Audio inL = noise(300, 7);
  const Audio inR = noise(300, 8);
  Processor p;
  Audio left = inL, right = inR;
  ASSERT_EQ(p.run(left, right, left, right, 0, 300, nullptr), Steinberg_kResultOk);
  const Rendered expected = renderVst2(inL, inR, 300, {});
  EXPECT_TRUE(sameBytes(left, expected.left));
  EXPECT_TRUE(sameBytes(right, expected.right));
}

TEST(Vst3Processor, ActivationStartsFromRest) {
  const Audio first = noise(500, 9);
  const Audio second = noise(500, 10);
  Processor used;
  Audio outL(500), outR(500);
  used.run(first, first, outL, outR, 0, 500, nullptr);
  used.component.vtbl()->setActive(used.component.get(), 0);
  used.component.vtbl()->setActive(used.component.get(), 1);
  used.run(second, second, outL, outR, 0, 500, nullptr);

  Processor fresh;
  Audio freshL(500), freshR(500);
  fresh.run(second, second, freshL, freshR, 0, 500, nullptr);
  EXPECT_TRUE(sameBytes(outL, freshL));
  EXPECT_TRUE(sameBytes(outR, freshR));
}

// A flag is set only for a channel whose every sample is zero. The bands' offset keeps the effect's
// own output off zero even for silent input, so only bypassed silence is flagged.
TEST(Vst3Processor, OutputSilenceFlagsMarkExactlyTheZeroChannels) {
  Processor p;
  const Audio zeros(128, 0.0f);
  const Audio loud = noise(128, 11);
  Audio outL(128), outR(128);
  ASSERT_EQ(p.run(zeros, zeros, outL, outR, 0, 128, nullptr, 3), Steinberg_kResultOk);
  EXPECT_EQ(p.lastSilenceFlags, 0u);
  EXPECT_NE(outL[0], 0.0f);

  ParameterChanges bypass;
  bypass.add(vst3::kBypassId, 0, 1.0);
  ASSERT_EQ(p.run(zeros, zeros, outL, outR, 0, 128, &bypass, 3), Steinberg_kResultOk);
  EXPECT_EQ(p.lastSilenceFlags, 3u);
  ASSERT_EQ(p.run(loud, zeros, outL, outR, 0, 128, nullptr, 2), Steinberg_kResultOk);
  EXPECT_EQ(p.lastSilenceFlags, 2u);
  ASSERT_EQ(p.run(zeros, loud, outL, outR, 0, 128, nullptr, 1), Steinberg_kResultOk);
  EXPECT_EQ(p.lastSilenceFlags, 1u);
}

struct ArrangementCase {
  const char* name;
  std::vector<Steinberg_Vst_SpeakerArrangement> inputs, outputs;
  Steinberg_tresult expected;
};

const ArrangementCase kArrangements[] = {
    {"stereo to stereo",
     {Steinberg_Vst_SpeakerArr_kStereo},
     {Steinberg_Vst_SpeakerArr_kStereo},
     Steinberg_kResultTrue},
    {"mono to mono",
     {Steinberg_Vst_SpeakerArr_kMono},
     {Steinberg_Vst_SpeakerArr_kMono},
     Steinberg_kResultFalse},
    {"mono to stereo",
     {Steinberg_Vst_SpeakerArr_kMono},
     {Steinberg_Vst_SpeakerArr_kStereo},
     Steinberg_kResultFalse},
    {"stereo to surround pair",
     {Steinberg_Vst_SpeakerArr_kStereo},
     {Steinberg_Vst_SpeakerArr_kStereoSurround},
     Steinberg_kResultFalse},
    {"two inputs",
     {Steinberg_Vst_SpeakerArr_kStereo, Steinberg_Vst_SpeakerArr_kStereo},
     {Steinberg_Vst_SpeakerArr_kStereo},
     Steinberg_kResultFalse},
    {"no buses", {}, {}, Steinberg_kResultFalse},
};

TEST(Vst3Processor, KeepsStereoWhateverArrangementIsAsked) {
  for (const ArrangementCase& c : kArrangements) {
    SCOPED_TRACE(c.name);
    Processor p;
    auto inputs = c.inputs;
    auto outputs = c.outputs;
    EXPECT_EQ(p.audio.vtbl()->setBusArrangements(
                  p.audio.get(), inputs.data(), static_cast<Steinberg_int32>(inputs.size()),
                  outputs.data(), static_cast<Steinberg_int32>(outputs.size())),
              c.expected);
    for (Steinberg_Vst_BusDirection dir :
         {Steinberg_Vst_BusDirections_kInput, Steinberg_Vst_BusDirections_kOutput}) {
      Steinberg_Vst_SpeakerArrangement arrangement = 0;
      ASSERT_EQ(p.audio.vtbl()->getBusArrangement(p.audio.get(), dir, 0, &arrangement),
                Steinberg_kResultOk);
      EXPECT_EQ(arrangement, Steinberg_Vst_SpeakerArr_kStereo);
    }
  }
}

TEST(Vst3Processor, HasOneStereoBusEachWayAndNoEventBuses) {
  Processor p;
  auto* c = p.component.get();
  auto* v = p.component.vtbl();
  EXPECT_EQ(v->getBusCount(c, Steinberg_Vst_MediaTypes_kAudio, Steinberg_Vst_BusDirections_kInput),
            1);
  EXPECT_EQ(v->getBusCount(c, Steinberg_Vst_MediaTypes_kAudio, Steinberg_Vst_BusDirections_kOutput),
            1);
  EXPECT_EQ(v->getBusCount(c, Steinberg_Vst_MediaTypes_kEvent, Steinberg_Vst_BusDirections_kInput),
            0);
  EXPECT_EQ(v->getBusCount(c, Steinberg_Vst_MediaTypes_kEvent, Steinberg_Vst_BusDirections_kOutput),
            0);
  Steinberg_Vst_BusInfo bus;
  ASSERT_EQ(v->getBusInfo(c, Steinberg_Vst_MediaTypes_kAudio, Steinberg_Vst_BusDirections_kOutput,
                          0, &bus),
            Steinberg_kResultOk);
  EXPECT_EQ(bus.channelCount, 2);
  EXPECT_EQ(bus.busType, Steinberg_Vst_BusTypes_kMain);
  EXPECT_EQ(bus.flags & Steinberg_Vst_BusInfo_BusFlags_kDefaultActive, 1u);
  EXPECT_EQ(v->getBusInfo(c, Steinberg_Vst_MediaTypes_kAudio, Steinberg_Vst_BusDirections_kInput, 1,
                          &bus),
            Steinberg_kInvalidArgument);
  EXPECT_EQ(v->getBusInfo(c, Steinberg_Vst_MediaTypes_kEvent, Steinberg_Vst_BusDirections_kInput, 0,
                          &bus),
            Steinberg_kInvalidArgument);
}

TEST(Vst3Processor, Only32BitSamples) {
  Processor p;
  EXPECT_EQ(p.audio.vtbl()->canProcessSampleSize(p.audio.get(),
                                                 Steinberg_Vst_SymbolicSampleSizes_kSample32),
            Steinberg_kResultTrue);
  EXPECT_EQ(p.audio.vtbl()->canProcessSampleSize(p.audio.get(),
                                                 Steinberg_Vst_SymbolicSampleSizes_kSample64),
            Steinberg_kResultFalse);
  Steinberg_Vst_ProcessSetup setup{Steinberg_Vst_ProcessModes_kRealtime,
                                   Steinberg_Vst_SymbolicSampleSizes_kSample64, 512, 48000.0};
  EXPECT_EQ(p.audio.vtbl()->setupProcessing(p.audio.get(), &setup), Steinberg_kResultFalse);
}

TEST(Vst3Processor, LifecycleCallsInAnyOrderSucceed) {
  Ref<Steinberg_Vst_IComponent> component =
      create<Steinberg_Vst_IComponent>(vst3::kProcessorClassId, Steinberg_Vst_IComponent_iid);
  ASSERT_TRUE(component);
  // Terminated without ever being initialized, then used properly, activated twice over.
  EXPECT_EQ(component.vtbl()->terminate(component.get()), Steinberg_kResultOk);
  EXPECT_EQ(component.vtbl()->initialize(component.get(), nullptr), Steinberg_kResultOk);
  EXPECT_EQ(component.vtbl()->setActive(component.get(), 1), Steinberg_kResultOk);
  EXPECT_EQ(component.vtbl()->setActive(component.get(), 1), Steinberg_kResultOk);
  EXPECT_EQ(component.vtbl()->setActive(component.get(), 0), Steinberg_kResultOk);
  EXPECT_EQ(component.vtbl()->setActive(component.get(), 0), Steinberg_kResultOk);
  EXPECT_EQ(component.vtbl()->terminate(component.get()), Steinberg_kResultOk);
  Steinberg_TUID controller;
  ASSERT_EQ(component.vtbl()->getControllerClassId(component.get(), controller),
            Steinberg_kResultOk);
  EXPECT_EQ(std::memcmp(controller, vst3::kControllerClassId, 16), 0);
}

// A flush (no frames, no buffers) still takes the host's parameter changes.
TEST(Vst3Processor, EmptyAndBufferlessBlocksTakeTheirChanges) {
  Processor p;
  ParameterChanges changes;
  changes.add(3, 0, 0.75);
  Steinberg_Vst_ProcessData flush{};
  flush.symbolicSampleSize = Steinberg_Vst_SymbolicSampleSizes_kSample32;
  flush.inputParameterChanges = changes.changes();
  ASSERT_EQ(p.audio.vtbl()->process(p.audio.get(), &flush), Steinberg_kResultOk);

  // Frames but no buffers, as some hosts send while a track is hidden.
  ParameterChanges more;
  more.add(0, 10, 0.25);
  Steinberg_Vst_ProcessData noBuffers{};
  noBuffers.symbolicSampleSize = Steinberg_Vst_SymbolicSampleSizes_kSample32;
  noBuffers.numSamples = 64;
  noBuffers.numInputs = 1;
  noBuffers.numOutputs = 1;
  noBuffers.inputParameterChanges = more.changes();
  ASSERT_EQ(p.audio.vtbl()->process(p.audio.get(), &noBuffers), Steinberg_kResultOk);
  EXPECT_EQ(p.audio.vtbl()->process(p.audio.get(), nullptr), Steinberg_kInvalidArgument);

  const Audio in = noise(200, 12);
  Audio outL(200), outR(200);
  ASSERT_EQ(p.run(in, in, outL, outR, 0, 200, nullptr), Steinberg_kResultOk);
  const Rendered expected = renderVst2(in, in, 200, {{0, 3, 0.75}, {0, 0, 0.25}});
  EXPECT_TRUE(sameBytes(outL, expected.left));
}

}  // namespace
