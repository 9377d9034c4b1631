// plughost's LV2 side on the built bundle: telling an LV2 plug-in from a VST 2 file, reading the
// ports through lilv, --param by number or symbol, running it, and finding its X11 UI.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/plughost/host_error.h"
#include "tools/plughost/lv2_host.h"

namespace {

using plughost::HostError;
using plughost::Lv2HostedPlugin;
using plughost::Lv2Plugin;
using plughost::Lv2PortKind;
using plughost::ParameterChange;
using plughost::ProcessMode;

struct ReferenceCase {
  const char* text;
  bool lv2;
};

void PrintTo(const ReferenceCase& c, std::ostream* out) {
  *out << '"' << c.text << '"';
}

class IsLv2Reference : public testing::TestWithParam<ReferenceCase> {};

TEST_P(IsLv2Reference, TellsUrisAndBundlesFromLibraries) {
  EXPECT_EQ(plughost::isLv2Reference(GetParam().text), GetParam().lv2);
}

INSTANTIATE_TEST_SUITE_P(Texts, IsLv2Reference,
                         testing::Values(ReferenceCase{"urn:driveeffect:three-band-drive", true},
                                         ReferenceCase{"http://lv2plug.in/plugins/eg-amp", true},
                                         ReferenceCase{DRIVE_LV2_BUNDLE, true},  // a folder
                                         ReferenceCase{DRIVE_SO_PATH, false},    // a file
                                         ReferenceCase{"DriveEffect.so", false},
                                         ReferenceCase{"C:\\VstPlugins\\DriveEffect.dll",
                                                       false},  // a drive letter
                                         ReferenceCase{"a b:c", false}, ReferenceCase{"", false}));

TEST(Lv2PluginInfo, ReadsTheBundlesPortsAndUi) {
  Lv2Plugin plugin(DRIVE_LV2_BUNDLE);
  EXPECT_EQ(plugin.uri(), "urn:driveeffect:three-band-drive");
  EXPECT_EQ(plugin.name(), "DriveEffect");
  EXPECT_TRUE(plugin.requiredFeatures().empty());
  EXPECT_EQ(plugin.portsOf(Lv2PortKind::audioInput), (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(plugin.portsOf(Lv2PortKind::audioOutput), (std::vector<std::uint32_t>{2, 3}));
  EXPECT_EQ(plugin.portsOf(Lv2PortKind::controlInput), (std::vector<std::uint32_t>{4, 5, 6, 7, 8}));
  // The panel's zoom is a control input no host shows: no parameter, the four keep 0..3.
  EXPECT_EQ(plugin.controlPorts(), (std::vector<std::uint32_t>{4, 5, 6, 7}));
  EXPECT_EQ(plugin.hiddenControlPorts(), (std::vector<std::uint32_t>{8}));
  ASSERT_EQ(plugin.ports().size(), 9u);
  EXPECT_EQ(plugin.ports()[7].symbol, "level");
  EXPECT_EQ(plugin.ports()[7].name, "LEVEL");
  EXPECT_EQ(plugin.ports()[7].defaultValue, 0.2f);
  EXPECT_FALSE(plugin.ports()[7].hidden);
  EXPECT_EQ(plugin.ports()[8].symbol, "zoom");
  EXPECT_EQ(plugin.ports()[8].name, "Panel zoom");
  EXPECT_EQ(plugin.ports()[8].defaultValue, 0.0f);
  EXPECT_EQ(plugin.ports()[8].maximum, 300.0f);
  EXPECT_TRUE(plugin.ports()[8].hidden);
  EXPECT_EQ(plugin.controlList(), "parameters 0=0.5 1=0.5 2=0.5 3=0.2");
  EXPECT_EQ(plugin.hiddenControls(), (std::vector<float>{0.0f}));

  const std::optional<Lv2Plugin::UiInfo> ui = plugin.x11Ui();
  ASSERT_TRUE(ui.has_value());
  EXPECT_EQ(ui->uri, "urn:driveeffect:three-band-drive#ui");
  EXPECT_EQ(std::filesystem::path(ui->binary).filename(), "DriveEffect_ui.so");
}

TEST(Lv2PluginInfo, NoPluginInAFolderWithoutBundle) {
  EXPECT_THROW(Lv2Plugin(std::filesystem::temp_directory_path().string()), HostError);
  EXPECT_THROW(Lv2Plugin("urn:driveeffect:no-such-plugin"), HostError);
}

struct AssignmentCase {
  const char* text;
  std::size_t control;  // meaningless when bad
  float value;
  bool bad;
};

void PrintTo(const AssignmentCase& c, std::ostream* out) {
  *out << '"' << c.text << '"';
}

class ControlAssignment : public testing::TestWithParam<AssignmentCase> {};

TEST_P(ControlAssignment, TakesANumberOrASymbol) {
  const Lv2Plugin plugin(DRIVE_LV2_BUNDLE);
  const AssignmentCase& c = GetParam();
  if (c.bad) {
    EXPECT_THROW(plugin.parseControlAssignment(c.text), HostError);
    return;
  }
  const auto [control, value] = plugin.parseControlAssignment(c.text);
  EXPECT_EQ(control, c.control);
  EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ControlAssignment,
    testing::Values(AssignmentCase{"low=0.8", 0, 0.8f, false},
                    AssignmentCase{"level=0", 3, 0.0f, false},
                    AssignmentCase{"2=1", 2, 1.0f, false}, AssignmentCase{"3=.25", 3, 0.25f, false},
                    AssignmentCase{"4=0.5", 0, 0, true},        // four control inputs: 0 to 3
                    AssignmentCase{"zoom=0", 0, 0, true},       // hidden: no parameter
                    AssignmentCase{"in_left=0.5", 0, 0, true},  // an audio port
                    AssignmentCase{"LOW=0.5", 0, 0, true},      // symbols are exact
                    AssignmentCase{"low=1.5", 0, 0, true},      // outside 0..1
                    AssignmentCase{"low=x", 0, 0, true}, AssignmentCase{"low", 0, 0, true},
                    AssignmentCase{"=0.5", 0, 0, true}));

TEST(Lv2HostedPluginParameters, AreTheFourControlsWithoutTheZoom) {
  Lv2HostedPlugin plugin(DRIVE_LV2_BUNDLE);
  ASSERT_EQ(plugin.parameterCount(), 4);
  const char* const names[] = {"LOW", "MID", "HIGH", "LEVEL"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin.parameterName(i), names[i]);
  }
  EXPECT_EQ(plugin.parameterIndex("level"), 3);
  EXPECT_EQ(plugin.parameterIndex("zoom"), -1);
  EXPECT_EQ(plugin.parameterIndex("4"), -1);
}

TEST(Lv2HostedPluginRun, RendersWithTheControlsSet) {
  Lv2HostedPlugin plugin(DRIVE_LV2_BUNDLE);
  plugin.setParameter(3, 0.0f);  // level 0: silence out, whatever goes in
  plugin.setup(48000.0, 64);
  plugin.setActive(true);
  std::vector<float> in(64, 0.5f);
  std::vector<float> left(64, 1.0f);
  std::vector<float> right(64, 1.0f);
  float* inputs[] = {in.data(), in.data()};
  float* outputs[] = {left.data(), right.data()};
  plugin.processReplacing(inputs, outputs, 64);
  for (std::size_t i = 0; i < 64; ++i) {
    EXPECT_EQ(left[i], 0.0f);
    EXPECT_EQ(right[i], 0.0f);
  }
  plugin.setParameter(3, 0.5f);
  plugin.processReplacing(inputs, outputs, 64);
  EXPECT_NE(left[63], 0.0f);
}

// Changes inside a block land at their frames: the same as a host that splits the block there.
TEST(Lv2HostedPluginRun, ChangesTakeEffectAtTheirFrames) {
  constexpr std::int32_t kFrames = 256;
  std::vector<float> in(kFrames);
  for (std::int32_t i = 0; i < kFrames; ++i) {
    in[static_cast<std::size_t>(i)] = 0.6f * std::sin(0.05f * static_cast<float>(i));
  }
  const ParameterChange changes[] = {{0, 0, 0.9f}, {37, 3, 0.1f}, {37, 1, 0.2f}, {200, 3, 0.8f}};
  auto render = [&](bool split) {
    Lv2HostedPlugin plugin(DRIVE_LV2_BUNDLE);
    plugin.setup(48000.0, kFrames);
    plugin.setActive(true);
    std::vector<float> left(kFrames);
    std::vector<float> right(kFrames);
    if (!split) {
      float* inputs[] = {in.data(), in.data()};
      float* outputs[] = {left.data(), right.data()};
      plugin.process(ProcessMode::replacing, inputs, outputs, kFrames, changes);
      return left;
    }
    const std::int32_t cuts[] = {0, 37, 200, kFrames};
    for (std::size_t piece = 0; piece + 1 < std::size(cuts); ++piece) {
      for (const ParameterChange& change : changes) {
        if (change.frame == cuts[piece]) {
          plugin.setParameter(change.index, change.value);
        }
      }
      const auto at = static_cast<std::size_t>(cuts[piece]);
      float* inputs[] = {in.data() + at, in.data() + at};
      float* outputs[] = {left.data() + at, right.data() + at};
      plugin.processReplacing(inputs, outputs, cuts[piece + 1] - cuts[piece]);
    }
    return left;
  };
  const std::vector<float> whole = render(false);
  const std::vector<float> pieces = render(true);
  EXPECT_EQ(std::memcmp(whole.data(), pieces.data(), whole.size() * sizeof(float)), 0);
}

}  // namespace
