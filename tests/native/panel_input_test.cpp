#include "editor/panel_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "editor/panel_layout.h"

namespace {

using Calls = std::vector<std::string>;

// Behaves like a panel editor towards the table (restore and save really copy) and logs every
// call in order. A draw may only come while the control is dirty, or the real draw would skip it.
class RecordingEditor final : public PanelEditorActions {
 public:
  explicit RecordingEditor(Calls& log) : log(log) {}
  void restoreValues() override {
    log.push_back("restore");
    for (int i = 0; i < kPanelControlCount; ++i) {
      panelControlTable.value[i] = saved[i];
    }
  }
  void saveValues() override {
    log.push_back("save");
    for (int i = 0; i < kPanelControlCount; ++i) {
      saved[i] = panelControlTable.value[i];
    }
  }
  void setParameterFromPanel(float value, std::int32_t index) override {
    log.push_back("set " + std::to_string(index));
    EXPECT_EQ(value, panelControlTable.value[index]);
    parameters.push_back(value);
  }
  void drawKnobControl(std::int32_t index) override {
    log.push_back("drawKnob " + std::to_string(index));
    EXPECT_EQ(panelControlTable.dirty[index], 1);
  }

  Calls& log;
  float saved[kPanelControlCount] = {0.5f, 0.5f, 0.5f, 0.2f};
  std::vector<float> parameters;
};

void recordDisplay(void* window, std::int32_t index) {
  static_cast<Calls*>(window)->push_back("drawDisplay " + std::to_string(index));
  EXPECT_EQ(panelControlTable.dirty[index], 1);
}

const Calls kKnob0 = {"restore", "set 0", "drawKnob 0", "save"};
const Calls kLevel = {"restore", "drawDisplay 3", "set 3", "save"};
const Calls kNothing = {"restore"};

class PanelInputTest : public ::testing::Test {
 protected:
  void SetUp() override { resetPanelControlTable(); }
  void TearDown() override { resetPanelControlTable(); }

  void press(std::int32_t x, std::int32_t y) { handleLeftButtonDown(context, x, y); }
  void move(std::int32_t x, std::int32_t y, bool button) { handleMouseMove(context, x, y, button); }
  Calls takeLog() { return std::exchange(log, {}); }

  PanelControlTable& table = panelControlTable;
  Calls log;
  RecordingEditor editor{log};
  PanelInputContext context{&editor, &recordDisplay, &log};
};

// Expected values computed as described: atan of dy/dx in double, angle from the two constants,
// scaled by maximum / sweep in double and stored as float.
float knobValue(double angle) {
  return static_cast<float>(1.0 * angle / 5.497787144);
}
const double kRightStart = 5.497787144 - 1.178097245;

TEST_F(PanelInputTest, KnobPressSetsTheValueFromTheDirection) {
  const struct {
    std::int32_t x, y;
    float expected;
    double approximately;
  } cases[] = {
      {55, 30, 0.5f, 0.5},
      {40, 43, knobValue(1.178097245 - std::atan(-0.0)), 0.2142857},
      {70, 43, knobValue(kRightStart - std::atan(0.0)), 0.7857143},
      {45, 33, knobValue(1.178097245 - std::atan(-1.0)), 0.3571429},
      {41, 57, knobValue(1.178097245 - std::atan(1.0)), 0.0714286},
      {69, 57, knobValue(kRightStart - std::atan(-1.0)), 0.9285714},
      {54, 58, 0.0f, 0.0},
      {56, 58, 1.0f, 1.0},
      {55, 43, 0.3f, 0.3},  // on the centre: kept
      {55, 50, 0.3f, 0.3},  // straight below: kept
  };
  for (const auto& c : cases) {
    SetUp();
    editor.saved[0] = 0.3f;
    editor.parameters.clear();
    log.clear();
    table.dirty[0] = 0;
    press(c.x, c.y);
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    EXPECT_EQ(table.value[0], c.expected);
    EXPECT_NEAR(table.value[0], c.approximately, 5e-8);
    EXPECT_EQ(log, kKnob0);
    EXPECT_EQ(editor.parameters, std::vector<float>{c.expected});
    EXPECT_EQ(editor.saved[0], c.expected);
    EXPECT_EQ(table.dirty[0], 1);
    EXPECT_EQ(table.dragging[0], 1);
  }
}

TEST_F(PanelInputTest, KnobBoxBoundsAreStrict) {
  for (const auto& [x, y] : {std::pair{31, 30}, {71, 30}, {55, 19}, {55, 59}}) {
    press(x, y);
    EXPECT_EQ(takeLog(), kNothing) << x << "," << y;
    EXPECT_EQ(table.dragging[0], 0);
    EXPECT_EQ(table.dirty[0], 0);
  }
}

TEST_F(PanelInputTest, KnobPressLimitsARestoredValueOutOfRange) {
  for (const auto& [restored, limited] : {std::pair{1.5f, 1.0f}, {-0.5f, 0.0f}}) {
    table.dragging[0] = 0;
    editor.saved[0] = restored;
    press(55, 43);
    EXPECT_EQ(editor.saved[0], limited);
    // A move while dragging adds no limit of its own.
    editor.saved[0] = restored;
    move(55, 43, true);
    EXPECT_EQ(editor.saved[0], restored);
  }
}

TEST_F(PanelInputTest, ButtonsAndLargeAreasStep) {
  const struct {
    std::int32_t x, y, index;
    float start, expected, approximately;
    const Calls& calls;
  } cases[] = {
      {78, 79, 0, 0.995f, 1.0f, 1.0f, kKnob0},  // held at the maximum
      {78, 88, 0, 0.005f, 0.0f, 0.0f, kKnob0},
      {155, 79, 1, 0.5f, static_cast<float>(double{0.5f} + 0.01), 0.51f,
       Calls{"restore", "set 1", "drawKnob 1", "save"}},
      {236, 88, 2, 0.5f, static_cast<float>(double{0.5f} - 0.01), 0.49f,
       Calls{"restore", "set 2", "drawKnob 2", "save"}},
      {100, 300, 3, 0.2f, static_cast<float>(double{0.2f} + 0.05), 0.25f, kLevel},
      {100, 227, 3, 0.2f, static_cast<float>(double{0.2f} + 0.05), 0.25f, kLevel},
      {100, 303, 3, 0.2f, static_cast<float>(double{0.2f} - 0.05), 0.15f, kLevel},
      {253, 377, 3, 0.2f, static_cast<float>(double{0.2f} - 0.05), 0.15f, kLevel},
      {195, 110, 3, 0.2f, static_cast<float>(double{0.2f} + 0.01), 0.21f, kLevel},
      {195, 120, 3, 0.2f, static_cast<float>(double{0.2f} - 0.01), 0.19f, kLevel},
      // Between or just outside the areas: nothing.
      {100, 301, 3, 0.2f, 0.2f, 0.2f, kNothing},
      {100, 302, 3, 0.2f, 0.2f, 0.2f, kNothing},
      {100, 226, 3, 0.2f, 0.2f, 0.2f, kNothing},
      {100, 378, 3, 0.2f, 0.2f, 0.2f, kNothing},
      {14, 250, 3, 0.2f, 0.2f, 0.2f, kNothing},
      {254, 250, 3, 0.2f, 0.2f, 0.2f, kNothing},
      {78, 83, 0, 0.5f, 0.5f, 0.5f, kNothing},
      {78, 84, 0, 0.5f, 0.5f, 0.5f, kNothing},
      {73, 79, 0, 0.5f, 0.5f, 0.5f, kNothing},
      {83, 79, 0, 0.5f, 0.5f, 0.5f, kNothing},
      {78, 93, 0, 0.5f, 0.5f, 0.5f, kNothing},
  };
  for (const auto& c : cases) {
    SetUp();
    log.clear();
    editor.saved[c.index] = c.start;
    press(c.x, c.y);
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    EXPECT_EQ(table.value[c.index], c.expected);
    EXPECT_FLOAT_EQ(table.value[c.index], c.approximately);
    EXPECT_EQ(editor.saved[c.index], c.expected);
    EXPECT_EQ(log, c.calls);
  }
}

TEST_F(PanelInputTest, DragFollowsThePointerUntilAMoveWithoutTheButton) {
  press(55, 30);
  EXPECT_EQ(takeLog(), kKnob0);
  const struct {
    std::int32_t x, y;
    float expected;
  } moves[] = {{40, 43, knobValue(1.178097245)},
               {500, 43, knobValue(kRightStart)},  // far outside the box: direction only
               {500, 43, knobValue(kRightStart)},  // the same point is reported again
               {55, 0, 0.5f}};
  for (const auto& m : moves) {
    move(m.x, m.y, true);
    EXPECT_EQ(editor.saved[0], m.expected) << m.x << "," << m.y;
    EXPECT_EQ(takeLog(), kKnob0);
  }
  table.dragging[3] = 1;
  move(40, 43, false);
  EXPECT_EQ(takeLog(), Calls{});
  for (int i = 0; i < kPanelControlCount; ++i) {
    EXPECT_EQ(table.dragging[i], 0) << i;
  }
  move(40, 43, true);
  EXPECT_EQ(takeLog(), kNothing);
  EXPECT_EQ(editor.saved[0], 0.5f);
}

TEST_F(PanelInputTest, APressWhileDraggingIsIgnoredOnThatControlOnly) {
  press(55, 30);
  takeLog();
  for (const auto& [x, y] : {std::pair{40, 43}, {78, 79}, {78, 88}}) {
    press(x, y);
    EXPECT_EQ(takeLog(), kNothing) << x << "," << y;
    EXPECT_EQ(editor.saved[0], 0.5f);
  }
  press(119, 43);  // control 1's knob, straight left
  EXPECT_EQ(takeLog(), (Calls{"restore", "set 1", "drawKnob 1", "save"}));
  // Both knobs now follow one move, each from its own centre, in control order.
  move(55, 100, true);
  EXPECT_EQ(takeLog(),
            (Calls{"restore", "set 0", "drawKnob 0", "save", "set 1", "drawKnob 1", "save"}));
  EXPECT_EQ(editor.saved[0], 0.5f);  // straight below its centre: kept
  EXPECT_EQ(editor.saved[1], knobValue(1.178097245 - std::atan(-57.0 / -79.0)));
}

TEST_F(PanelInputTest, ADoubleClickStepsTwice) {
  press(195, 110);
  press(195, 110);
  EXPECT_EQ(takeLog(), (Calls{"restore", "drawDisplay 3", "set 3", "save", "restore",
                              "drawDisplay 3", "set 3", "save"}));
  const float once = static_cast<float>(double{0.2f} + 0.01);
  EXPECT_EQ(editor.saved[3], static_cast<float>(double{once} + 0.01));
}

TEST_F(PanelInputTest, EachPressStartsFromItsOwnPanelsValues) {
  Calls otherLog;
  RecordingEditor other(otherLog);
  other.saved[3] = 0.7f;
  const PanelInputContext otherContext{&other, &recordDisplay, &otherLog};
  press(100, 300);
  handleLeftButtonDown(otherContext, 100, 303);
  EXPECT_EQ(editor.saved[3], static_cast<float>(double{0.2f} + 0.05));
  EXPECT_EQ(other.saved[3], static_cast<float>(double{0.7f} - 0.05));
  EXPECT_EQ(otherLog, kLevel);
}

TEST_F(PanelInputTest, WithoutAnEditorTheTableStillChanges) {
  context.editor = nullptr;
  press(100, 300);
  EXPECT_EQ(takeLog(), Calls{"drawDisplay 3"});
  EXPECT_EQ(table.value[3], static_cast<float>(double{0.2f} + 0.05));
  EXPECT_EQ(table.dirty[3], 1);

  press(40, 43);
  press(78, 88);  // control 0's minus
  EXPECT_EQ(takeLog(), Calls{});
  EXPECT_EQ(table.dragging[0], 1);
  EXPECT_EQ(table.value[0], knobValue(1.178097245));
  EXPECT_EQ(table.dirty[0], 1);

  move(70, 43, true);
  EXPECT_EQ(takeLog(), Calls{});
  EXPECT_EQ(table.value[0], knobValue(kRightStart));
  EXPECT_EQ(editor.saved[0], 0.5f);  // nothing was saved anywhere
}

}  // namespace
