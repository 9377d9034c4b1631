// The VST 3 processor's audio path must not allocate: the adapter linked into this program, whose
// every global allocation function counts while process runs (counting_allocator.h), with
// parameter changes, program changes and bypass in the blocks.
#include <gtest/gtest.h>

#include <vector>

#include "host/vst3/vst3_ids.h"
#include "host/vst3/vst3_plugin.h"
#include "tests/native/counting_allocator.h"
#include "tests/vst3/vst3_test_host.h"

namespace {

TEST(Vst3RealTime, ProcessDoesNotAllocate) {
  void* obj = nullptr;
  ASSERT_EQ(vst3::createProcessor(Steinberg_Vst_IAudioProcessor_iid, &obj), Steinberg_kResultOk);
  auto* audio = static_cast<Steinberg_Vst_IAudioProcessor*>(obj);
  Steinberg_Vst_ProcessSetup setup{Steinberg_Vst_ProcessModes_kRealtime,
                                   Steinberg_Vst_SymbolicSampleSizes_kSample32, 4096, 48000.0};
  ASSERT_EQ(audio->lpVtbl->setupProcessing(audio, &setup), Steinberg_kResultOk);

  std::vector<float> left(4096, 0.3f), right(4096, -0.7f), outLeft(4096), outRight(4096);
  float* inputs[] = {left.data(), right.data()};
  float* outputs[] = {outLeft.data(), outRight.data()};
  Steinberg_Vst_AudioBusBuffers in{};
  in.numChannels = 2;
  in.Steinberg_Vst_AudioBusBuffers_channelBuffers32 = inputs;
  Steinberg_Vst_AudioBusBuffers out{};
  out.numChannels = 2;
  out.Steinberg_Vst_AudioBusBuffers_channelBuffers32 = outputs;
  vst3test::ParameterChanges changes;
  changes.add(0, 3, 0.9);
  changes.add(0, 700, 0.1);
  changes.add(vst3::kProgramId, 100, 1.0);
  changes.add(vst3::kBypassId, 200, 1.0);
  changes.add(vst3::kBypassId, 300, 0.0);
  changes.add(3, 5000, 0.4);

  allocations = 0;
  counting = true;
  for (std::int32_t frames : {0, 1, 7, 64, 512, 4096}) {
    Steinberg_Vst_ProcessData data{};
    data.symbolicSampleSize = Steinberg_Vst_SymbolicSampleSizes_kSample32;
    data.numSamples = frames;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = changes.changes();
    audio->lpVtbl->process(audio, &data);
  }
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  audio->lpVtbl->release(audio);
}

}  // namespace
