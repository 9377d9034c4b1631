// The host classes on the fake plug-ins: loading under each entry name, the broken libraries a
// host must refuse, the descriptor and texts, the editor rectangle, automation and processing.
#include "tools/plughost/plugin_instance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/plughost/test_files.h"
#include "tools/plughost/block_processor.h"
#include "tools/plughost/host_error.h"
#include "tools/plughost/plugin_library.h"
#include "tools/plughost/plugin_report.h"

namespace {

using namespace plughost;
using plughost_test::errorOf;

TEST(PluginLibrary, FindsTheEntryUnderEitherName) {
  struct Case {
    const char* path;
    const char* entry;
  };
  for (const Case& c :
       {Case{FAKE_GOOD_PATH, "VSTPluginMain"}, Case{FAKE_NO_VSTPLUGINMAIN_PATH, "main"},
        Case{FAKE_NO_MAIN_PATH, "VSTPluginMain"}}) {
    SCOPED_TRACE(c.path);
    PluginLibrary library(c.path);
    EXPECT_EQ(library.entryName(), c.entry);
    HostCallbackRecorder host;
    PluginInstance plugin(library, host);
    EXPECT_EQ(plugin.effect().uniqueID, fourCharCode("PHts"));
    EXPECT_EQ(host.countOf(audioMasterVersion), 1u) << "the entry asked the host's version";
  }
}

TEST(PluginLibrary, RefusesWhatIsNotAPlugin) {
  EXPECT_NE(errorOf([] {
              PluginLibrary("no/such/plugin.so");
            }).find("plug-in 'no/such/plugin.so': no such file"),
            std::string::npos);
  const auto folder = std::filesystem::path(FAKE_GOOD_PATH).parent_path();
  EXPECT_NE(errorOf([&] { PluginLibrary{folder}; }).find("not a regular file"), std::string::npos);
  EXPECT_NE(errorOf([] {
              PluginLibrary(FAKE_NO_ENTRY_PATH);
            }).find("exports no entry point (neither 'VSTPluginMain' nor 'main')"),
            std::string::npos);
}

TEST(PluginInstance, RefusesANullOrForeignDescriptor) {
  HostCallbackRecorder host;
  PluginLibrary nullLibrary(FAKE_RETURNS_NULL_PATH);
  EXPECT_NE(errorOf([&] {
              PluginInstance(nullLibrary, host);
            }).find("its entry point 'VSTPluginMain' returned no effect (null)"),
            std::string::npos);
  PluginLibrary badMagic(FAKE_BAD_MAGIC_PATH);
  EXPECT_NE(errorOf([&] {
              PluginInstance(badMagic, host);
            }).find("the descriptor's magic is 'XstP' (0x58737450), not 'VstP'"),
            std::string::npos);
}

TEST(PluginInstance, ReportsDescriptorTextsProgramsAndEditor) {
  PluginLibrary library(FAKE_GOOD_PATH);
  HostCallbackRecorder host;
  PluginInstance plugin(library, host);
  plugin.open();
  plugin.setProgram(1);
  PluginReport report = describePlugin(plugin);
  EXPECT_EQ(report.entryName, "VSTPluginMain");
  EXPECT_EQ(report.magic, kEffectMagic);
  EXPECT_EQ(report.version, 7);
  EXPECT_EQ(report.numParams, 2);
  EXPECT_EQ(report.flags, effFlagsHasEditor | effFlagsCanReplacing);
  EXPECT_EQ(report.identify, fourCharCode("TsPl"));
  ASSERT_TRUE(report.editor.has_value());
  EXPECT_EQ(report.editor->bottom, 200);
  EXPECT_EQ(report.editor->right, 320);
  ASSERT_EQ(report.parameters.size(), 2u);
  EXPECT_EQ(report.parameters[1].name, "Tone");
  EXPECT_EQ(report.parameters[1].label, "%");
  EXPECT_EQ(report.parameters[1].value, 0.75f) << "program 1's values";
  EXPECT_EQ(report.parameters[1].display, "75.0");
  EXPECT_EQ(report.parameters[0].display, "0.500") << "program 1's gain, as the factor it applies";
  ASSERT_EQ(report.programs.size(), 2u);
  EXPECT_EQ(report.programs[0].name, "Unity");
  EXPECT_EQ(report.programs[1].name, "Quiet");
  EXPECT_EQ(report.currentProgram, 1);
  EXPECT_EQ(plugin.program(), 1) << "listing the programs keeps the current one";

  auto json = toJson(report);
  EXPECT_EQ(json["uniqueId"]["text"], "PHts");
  EXPECT_EQ(json["parameters"][1]["value"], 0.75);
  EXPECT_EQ(json["editor"]["width"], 320);
}

TEST(PluginInstance, StartTellsTheHostTooAndCloseEndsTheEffectOnce) {
  PluginLibrary library(FAKE_GOOD_PATH);
  HostCallbackRecorder host;
  PluginInstance plugin(library, host);
  plugin.start(48000.0f, 128);
  EXPECT_TRUE(plugin.active());
  EXPECT_EQ(host.handle(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 48000);
  EXPECT_EQ(host.handle(audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), 128);
  EXPECT_EQ(plugin.preferredMode(), ProcessMode::replacing);
  plugin.close();
  EXPECT_FALSE(plugin.alive());
  EXPECT_FALSE(plugin.active());
  // The destructor must not close it again.
}

TEST(PluginInstance, OverlongTextsAreCutNotOverrun) {
  PluginLibrary library(FAKE_LONG_TEXT_PATH);
  HostCallbackRecorder host;
  PluginInstance plugin(library, host);
  EXPECT_EQ(plugin.parameterName(0), std::string(200, 'W'));
  EXPECT_EQ(plugin.programName().size(), 200u);
}

TEST(PluginInstance, RecordsAutomationThePluginReports) {
  PluginLibrary library(FAKE_REPORTS_AUTOMATION_PATH);
  HostCallbackRecorder host;
  PluginInstance plugin(library, host);
  EXPECT_TRUE(host.automation().empty());
  plugin.open();
  auto automation = host.automation();
  ASSERT_EQ(automation.size(), 1u);
  EXPECT_EQ(automation[0].index, 1);
  EXPECT_EQ(automation[0].value, 0.25f);
}

// The fake with its filter out of the path: output = input x (2 x Gain), exactly.
class BlockProcessorTest : public ::testing::Test {
 protected:
  void SetUp() override { plugin.setParameter(1, 1.0f); }
  PluginLibrary library{FAKE_GOOD_PATH};
  HostCallbackRecorder host;
  PluginInstance plugin{library, host};
};

TEST_F(BlockProcessorTest, MonoFeedsBothInputsAndAccumulatingStartsFromSilence) {
  plugin.setParameter(0, 1.0f);  // gain x2
  for (ProcessMode mode : {ProcessMode::replacing, ProcessMode::accumulating}) {
    BlockProcessor processor(plugin, mode, 8);
    const float mono[3] = {0.5f, -0.25f, 0.125f};
    float stereo[6];
    for (int pass = 0; pass < 2; ++pass) {  // the second pass must not add onto the first
      processor.loadInterleaved(mono, 1, 3);
      processor.run(3);
      processor.storeInterleaved(stereo, 2, 3);
      EXPECT_EQ(std::vector<float>(stereo, stereo + 6),
                (std::vector<float>{1.0f, 1.0f, -0.5f, -0.5f, 0.25f, 0.25f}));
    }
  }
}

TEST_F(BlockProcessorTest, InPlaceOutputsAreTheInputsAndAccumulateOntoThem) {
  plugin.setParameter(0, 1.0f);  // gain x2
  BlockProcessor processor(plugin, ProcessMode::accumulating, 4, {true, 3});
  ASSERT_EQ(processor.outputBuffers(), 2);
  for (int c = 0; c < 2; ++c) {
    EXPECT_TRUE(processor.sharesInput(c));
    EXPECT_EQ(processor.output(c), processor.input(c));
    processor.input(c)[4 + 2] = 7.0f;  // the last guard frame is the caller's to use
  }
  const float stereo[4] = {0.5f, -1.0f, 0.25f, 2.0f};
  float out[4];
  processor.loadInterleaved(stereo, 2, 2);
  processor.run(2);
  processor.storeInterleaved(out, 2, 2);
  // Mixing into the input's own buffer: the input plus twice the input, not a cleared buffer.
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1.5f, -3.0f, 0.75f, 6.0f}));
}

TEST_F(BlockProcessorTest, AccumulatingOntoOutputsAddsToWhatTheyHold) {
  plugin.setParameter(0, 1.0f);  // gain x2
  BlockProcessor processor(plugin, ProcessMode::accumulating, 2);
  const float stereo[4] = {0.5f, -1.0f, 0.25f, 2.0f};
  processor.loadInterleaved(stereo, 2, 2);
  for (int c = 0; c < 2; ++c) {
    std::fill_n(processor.output(c), 2, 10.0f);
  }
  processor.runOntoOutputs(2);
  float out[4];
  processor.storeInterleaved(out, 2, 2);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{11.0f, 8.0f, 10.5f, 14.0f}));
}

TEST_F(BlockProcessorTest, StereoSourceKeepsItsChannelsApart) {
  // The default gain of 0.5 passes samples unchanged.
  BlockProcessor processor(plugin, ProcessMode::replacing, 4);
  const float stereo[4] = {0.1f, 0.2f, 0.3f, 0.4f};
  float out[4];
  processor.loadInterleaved(stereo, 2, 2);
  processor.run(2);
  processor.storeInterleaved(out, 2, 2);
  EXPECT_EQ(std::vector<float>(out, out + 4), std::vector<float>(stereo, stereo + 4));
}

}  // namespace
