// The stand-in effect the LV2 UI and the VST 3 view hand their panel: host changes are kept and
// drawn, panel changes are kept and sent on, and nothing else reaches the sink.
#include "host/panel_stand_in.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "editor/panel_editor.h"

namespace {

class RecordingSink final : public PanelEditSink {
 public:
  void editFromPanel(std::int32_t index, float value) override { edits.emplace_back(index, value); }
  std::vector<std::pair<std::int32_t, float>> edits;
};

// The effect owns and deletes the editor it is given.
EditorBase& attachEditor(PanelStandIn& effect) {
  auto* editor = new EditorBase(effect);
  effect.setEditor(editor);
  return *editor;
}

std::vector<float> valuesOf(PanelStandIn& effect) {
  std::vector<float> values(kDriveParameterCount);
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    values[i] = effect.getParameter(i);
  }
  return values;
}

struct Change {
  std::int32_t index;
  float value;
};

// Each control, with values in and beyond the host's range: a stand-in keeps what it is sent.
constexpr Change kChanges[] = {{0, 0.0f}, {1, 1.0f}, {2, 0.25f}, {3, 0.75f}, {0, -0.5f}, {3, 2.5f}};
constexpr std::int32_t kNotControls[] = {-1, kDriveParameterCount, INT32_MIN, INT32_MAX};

TEST(PanelStandIn, StartsAtTheParameterTablesDefaults) {
  RecordingSink sink;
  PanelStandIn effect(sink);
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    EXPECT_EQ(effect.getParameter(i), kDriveParameters[i].defaultValue) << "control " << i;
  }
  EXPECT_TRUE(sink.edits.empty());
}

TEST(PanelStandIn, HostChangeIsKeptAndPostedButNeverSentBack) {
  for (const Change& change : kChanges) {
    RecordingSink sink;
    PanelStandIn effect(sink);
    EditorBase& editor = attachEditor(effect);
    std::vector<float> expected = valuesOf(effect);
    expected[change.index] = change.value;

    effect.setParameter(change.index, change.value);

    EXPECT_EQ(valuesOf(effect), expected) << "control " << change.index;
    EXPECT_TRUE(editor.isUpdatePending()) << "control " << change.index;
    EXPECT_TRUE(sink.edits.empty()) << "a host's own change went back to it";
  }
}

TEST(PanelStandIn, PanelChangeIsKeptPostedAndSentOnce) {
  for (const Change& change : kChanges) {
    RecordingSink sink;
    PanelStandIn effect(sink);
    EditorBase& editor = attachEditor(effect);
    std::vector<float> expected = valuesOf(effect);
    expected[change.index] = change.value;

    effect.automateParameter(change.index, change.value);

    EXPECT_EQ(valuesOf(effect), expected) << "control " << change.index;
    EXPECT_TRUE(editor.isUpdatePending()) << "control " << change.index;
    ASSERT_EQ(sink.edits.size(), 1u) << "control " << change.index;
    EXPECT_EQ(sink.edits[0].first, change.index);
    EXPECT_EQ(sink.edits[0].second, change.value);
  }
}

TEST(PanelStandIn, ChangesWithoutAnEditorAreKept) {
  RecordingSink sink;
  PanelStandIn effect(sink);
  effect.setParameter(1, 0.125f);
  effect.automateParameter(2, 0.875f);
  EXPECT_EQ(effect.getParameter(1), 0.125f);
  EXPECT_EQ(effect.getParameter(2), 0.875f);
  ASSERT_EQ(sink.edits.size(), 1u);
  EXPECT_EQ(sink.edits[0].first, 2);
}

TEST(PanelStandIn, IndicesOutsideTheControlsChangeNothingAndReadZero) {
  RecordingSink sink;
  PanelStandIn effect(sink);
  const std::vector<float> before = valuesOf(effect);
  for (const std::int32_t index : kNotControls) {
    effect.setParameter(index, 0.9f);
    effect.automateParameter(index, 0.9f);
    EXPECT_EQ(effect.getParameter(index), 0.0f) << "index " << index;
  }
  EXPECT_EQ(valuesOf(effect), before);
  EXPECT_TRUE(sink.edits.empty());
}

// What both adapters rely on: the panel editor's own change path ends at the sink.
TEST(PanelStandIn, APanelEditorsChangeReachesTheSink) {
  RecordingSink sink;
  PanelStandIn effect(sink);
  // Never opened, so the window system is not touched.
  auto* editor = new PanelEditor(effect, panelWindowSystem());
  ASSERT_EQ(effect.getEditor(), editor);

  editor->setParameterFromPanel(0.625f, 3);

  EXPECT_EQ(effect.getParameter(3), 0.625f);
  ASSERT_EQ(sink.edits.size(), 1u);
  EXPECT_EQ(sink.edits[0].first, 3);
  EXPECT_EQ(sink.edits[0].second, 0.625f);
}

}  // namespace
