// What the panel suite's files share: the panel at rest, the fixture every scenario starts from
// and the checks on the process-wide resources.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "editor/panel_layout.h"
#include "tests/panel/panel_host.h"

namespace panelsuite {

using panelhost::Hosted;
using paneltest::expectedPanel;
using paneltest::PanelView;
using paneltest::samePicture;

inline const PanelView kDefaultView{{{21, 9}, {21, 9}, {21, 9}},
                                    {"+ 5.0", "+ 5.0", "+ 5.0", "+ 2.0"}};

// Where the knob index of a value sits (the sweep itself is tested with the layout).
inline paneltest::KnobOffset at(float value) {
  const KnobIndexOffset offset = knobIndexOffsetFor(value, 1.0f);
  return {offset.x, offset.y};
}

// True where the window system shows whether the panel resources are held and they are as
// expected; where it shows nothing, nothing to check.
inline ::testing::AssertionResult resourcesHeld(bool expected) {
  const std::optional<bool> held = panelhost::panelResourcesHeld();
  if (!held.has_value() || *held == expected) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "the panel resources are " << (*held ? "held" : "not held");
}

inline ::testing::AssertionResult shows(Hosted& hosted, const PanelView& view) {
  return samePicture(hosted.shown(), expectedPanel(view));
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(hosted.plugin->effect, nullptr); }
  void TearDown() override {
    hosted.plugin->close();
    hosted.frame.reset();
    EXPECT_TRUE(resourcesHeld(false)) << "a panel was left open";
  }

  // Opened and shown, as a host's first showing does. The drag table is the whole process's:
  // a button-less move over an empty corner ends any drag an earlier scenario left in it.
  void openShown() {
    ASSERT_EQ(hosted.open(), 1);
    hosted.move(5, 395, false);
    hosted.takeAutomation();
  }

  Hosted hosted;
};

}  // namespace panelsuite
