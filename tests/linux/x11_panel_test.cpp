// The Linux plug-in's panel in real X11 host windows, loaded the way a Linux host loads it: the
// shared object through dlopen, the host's window id in effEditOpen, the real pointer moved and
// pressed through XTest, and the pixels read back from the display. Runs on a private Xvfb
// display (tests/linux/with_xvfb.sh).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/panel_layout.h"
#include "tests/linux/panel_pictures.h"
#include "tests/support/host_recorder.h"
#include "tests/support/plugin_loader.h"
#include "tools/plughost/host_window_x11.h"

namespace {

using paneltest::expectedPanel;
using paneltest::PanelView;
using paneltest::samePicture;
using plughost::X11HostWindow;
using testhost::Plugin;

// Where the knob index of a value sits (the sweep itself is tested with the layout).
paneltest::KnobOffset at(float value) {
  const KnobIndexOffset offset = knobIndexOffsetFor(value, 1.0f);
  return {offset.x, offset.y};
}

const PanelView kDefaultView{{{21, 9}, {21, 9}, {21, 9}}, {"+ 5.0", "+ 5.0", "+ 5.0", "+ 2.0"}};

// The host of every effect in this program, for as long as it runs.
HostRecorder programHost;

// One effect as a host holds it, with a frame for its editor.
struct HostedEffect {
  std::size_t firstRequest = programHost.requests.size();
  std::unique_ptr<Plugin> plugin = std::make_unique<Plugin>();
  std::unique_ptr<X11HostWindow> frame = std::make_unique<X11HostWindow>(270, 400);

  HostedEffect() {
    EXPECT_NE(plugin->effect, nullptr);
    plugin->dispatch(effOpen);
  }

  // What this effect reported to the host since it was made.
  std::vector<AutomationReport> automation() const {
    return programHost.automation(plugin->effect, firstRequest);
  }

  VstIntPtr open() { return plugin->dispatch(effEditOpen, 0, 0, frame->parentPointer()); }
  void close() { plugin->dispatch(effEditClose); }
  // The host's idle: the editor handles its events and draws, and the frame sees it.
  void idle() {
    frame->sync();
    plugin->dispatch(effEditIdle);
    frame->sync();
  }
  // On top first: frames share the middle of the screen, and a covered window has no pixels.
  paneltest::Image picture() {
    frame->raise();
    idle();
    return paneltest::fromRgb(frame->capture(270, 400));
  }
  // A press and release of the real left button, and a move away and back so that a drag ends.
  void click(int x, int y) {
    frame->raise();
    frame->pointerTo(x, y);
    frame->leftButton(true);
    frame->leftButton(false);
    frame->pointerTo(x + 1, y);
    frame->pointerTo(x, y);
    idle();
  }
};

// Opened, painted and idled: what a user sees once the panel is up.
std::unique_ptr<HostedEffect> shownPanel() {
  auto effect = std::make_unique<HostedEffect>();
  EXPECT_EQ(effect->open(), 1);
  effect->idle();
  return effect;
}

TEST(X11PanelLifecycle, RectangleAndAChildOfTheHostWindow) {
  HostedEffect effect;
  EXPECT_EQ(effect.frame->childCount(), 0);
  ASSERT_EQ(effect.open(), 1);
  EXPECT_EQ(effect.frame->childCount(), 1);
  effect.idle();
  EXPECT_TRUE(samePicture(effect.picture(), expectedPanel(kDefaultView)));
  // Hosts ask again once the panel is open, to size their frame around it.
  EditorRect* rect = nullptr;
  EXPECT_EQ(effect.plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 270);
  EXPECT_EQ(rect->bottom, 400);
  effect.close();
  effect.frame->sync();
  EXPECT_EQ(effect.frame->childCount(), 0);
}

TEST(X11PanelLifecycle, CloseWithoutOpenAndRepeatedClosesChangeNothing) {
  HostedEffect effect;
  effect.close();
  effect.close();
  effect.idle();
  ASSERT_EQ(effect.open(), 1);
  effect.close();
  effect.close();
  effect.frame->sync();
  EXPECT_EQ(effect.frame->childCount(), 0);
  EXPECT_EQ(effect.open(), 1);
  EXPECT_EQ(effect.frame->childCount(), 1);
}

TEST(X11PanelLifecycle, OpenWithoutAParentOrADisplayAnswersZero) {
  HostedEffect effect;
  EXPECT_EQ(effect.plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
  // An id no window has.
  EXPECT_EQ(effect.plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x7ffffff0)), 0);
  const char* shown = std::getenv("DISPLAY");
  ASSERT_NE(shown, nullptr);
  const std::string display = shown;
  unsetenv("DISPLAY");
  EXPECT_EQ(effect.open(), 0);
  setenv("DISPLAY", display.c_str(), 1);
  effect.idle();
  effect.close();
  EXPECT_EQ(effect.frame->childCount(), 0);
  EXPECT_EQ(effect.open(), 1);
}

TEST(X11PanelLifecycle, SecondOpenReplacesTheFirstWindow) {
  HostedEffect effect;
  X11HostWindow other(270, 400);
  ASSERT_EQ(effect.open(), 1);
  ASSERT_EQ(effect.plugin->dispatch(effEditOpen, 0, 0, other.parentPointer()), 1);
  effect.frame->sync();
  EXPECT_EQ(effect.frame->childCount(), 0);
  EXPECT_EQ(other.childCount(), 1);
  effect.close();
  other.sync();
  EXPECT_EQ(other.childCount(), 0);
}

TEST(X11PanelLifecycle, ClosingTheEffectWithItsPanelOpenTakesThePanelAlong) {
  HostedEffect effect;
  ASSERT_EQ(effect.open(), 1);
  effect.plugin.reset();  // effClose with the panel open
  effect.frame->sync();
  EXPECT_EQ(effect.frame->childCount(), 0);
}

TEST(X11PanelLifecycle, HostDestroyingItsWindowFirst) {
  HostedEffect effect;
  ASSERT_EQ(effect.open(), 1);
  effect.idle();
  effect.frame.reset();  // the panel goes with its parent
  effect.plugin->set(0, 0.25f);
  effect.plugin->dispatch(effEditIdle);
  effect.plugin->dispatch(effEditIdle);
  effect.close();
  effect.frame = std::make_unique<X11HostWindow>(270, 400);
  ASSERT_EQ(effect.open(), 1);
  effect.idle();
  EXPECT_TRUE(samePicture(effect.picture(), expectedPanel({{{9, 19}, {21, 9}, {21, 9}},
                                                           {"+ 2.5", "+ 5.0", "+ 5.0", "+ 2.0"}})));
}

// A display that goes away under an open panel (the server ends): idle and close go on
// quietly, and the host survives it, SIGPIPE included.
TEST(X11PanelLifecycle, LostDisplayDoesNotTakeTheHostDown) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t server = fork();
  ASSERT_GE(server, 0);
  if (server == 0) {
    close(ready[0]);
    dup2(ready[1], 3);
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp",
           "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  // The number arrives in more than one write; the pipe stays open until its newline.
  std::string number;
  char c = 0;
  while (read(ready[0], &c, 1) == 1 && c != '\n') {
    number += c;
  }
  close(ready[0]);
  ASSERT_FALSE(number.empty());
  const std::string display = std::getenv("DISPLAY");
  setenv("DISPLAY", (":" + number).c_str(), 1);
  {
    HostedEffect effect;
    ASSERT_EQ(effect.open(), 1);
    effect.idle();
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    for (int i = 0; i < 3; ++i) {
      effect.plugin->set(0, 0.1f * static_cast<float>(i));
      effect.plugin->dispatch(effEditIdle);
    }
    effect.close();
    effect.plugin.reset();
    // The host's own frame lost its display too; the test only needs the plug-in's side.
    effect.frame.release();  // NOLINT(bugprone-unused-return-value): its connection is dead
  }
  setenv("DISPLAY", display.c_str(), 1);
}

TEST(X11PanelDrawing, HostChangesShowAtTheNextIdle) {
  auto effect = shownPanel();
  effect->plugin->set(0, 0.25f);
  effect->plugin->set(3, 0.75f);
  effect->frame->sync();
  // Read back as it is, without the idle that picture() runs.
  EXPECT_TRUE(samePicture(paneltest::fromRgb(effect->frame->capture(270, 400)),
                          expectedPanel(kDefaultView)));
  effect->idle();
  EXPECT_TRUE(samePicture(
      effect->picture(),
      expectedPanel({{{9, 19}, {21, 9}, {21, 9}}, {"+ 2.5", "+ 5.0", "+ 5.0", "+ 7.5"}})));
  // From another thread, as an automation thread would.
  std::thread([&effect] { effect->plugin->set(2, -0.25f); }).join();
  effect->idle();
  EXPECT_TRUE(samePicture(
      effect->picture(),
      expectedPanel({{at(0.25f), {21, 9}, at(-0.25f)}, {"+ 2.5", "+ 5.0", "- 2.5", "+ 7.5"}})));
  EXPECT_TRUE(effect->automation().empty());
}

TEST(X11PanelDrawing, ExposeRepaintsEverything) {
  auto effect = shownPanel();
  effect->plugin->set(1, 1.0f);
  effect->idle();
  const paneltest::Image before = effect->picture();
  effect->frame->exposeChildren();
  effect->idle();
  EXPECT_TRUE(samePicture(effect->picture(), before));
  EXPECT_TRUE(samePicture(
      before, expectedPanel({{{21, 9}, at(1.0f), {21, 9}}, {"+ 5.0", "+10.0", "+ 5.0", "+ 2.0"}})));
}

TEST(X11PanelMouse, KnobDragFollowsThePointerAndReportsEveryMove) {
  auto effect = shownPanel();
  effect->frame->pointerTo(40, 43);  // straight left of knob 0's centre
  effect->frame->leftButton(true);
  effect->frame->pointerTo(55, 20);  // straight up
  effect->frame->pointerTo(70, 43);  // straight right
  effect->frame->leftButton(false);
  effect->idle();
  EXPECT_EQ(effect->plugin->get(0), 0.78571427f);
  const auto reports = effect->automation();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].index, 0);
  EXPECT_FLOAT_EQ(reports[0].value, 0.2142857f);
  EXPECT_EQ(reports[1].value, 0.5f);
  EXPECT_EQ(reports[2].value, 0.78571427f);
  EXPECT_TRUE(samePicture(
      effect->picture(),
      expectedPanel({{at(0.78571427f), {21, 9}, {21, 9}}, {"+ 7.8", "+ 5.0", "+ 5.0", "+ 2.0"}})));
  // Without the button, moves end the drag and change nothing.
  effect->frame->pointerTo(40, 43);
  effect->frame->pointerTo(41, 43);
  effect->idle();
  EXPECT_EQ(effect->plugin->get(0), 0.78571427f);
  EXPECT_EQ(effect->automation().size(), 3u);
}

TEST(X11PanelMouse, PlusAndMinusButtonsOfEveryControl) {
  struct Case {
    int x, y, index;
    float expected;
  };
  const Case cases[] = {
      {78, 79, 0, static_cast<float>(0.5f + 0.01)},   {78, 88, 0, 0.5f},
      {155, 79, 1, static_cast<float>(0.5f + 0.01)},  {236, 88, 2, static_cast<float>(0.5f - 0.01)},
      {195, 110, 3, static_cast<float>(0.2f + 0.01)}, {195, 120, 3, 0.2f},
  };
  auto effect = shownPanel();
  for (const Case& c : cases) {
    effect->click(c.x, c.y);
    EXPECT_EQ(effect->plugin->get(c.index), c.expected) << c.x << "," << c.y;
    ASSERT_FALSE(effect->automation().empty());
    EXPECT_EQ(effect->automation().back().index, c.index);
  }
  EXPECT_EQ(effect->automation().size(), std::size(cases));
  EXPECT_TRUE(samePicture(
      effect->picture(),
      expectedPanel({{{21, 9}, at(0.51f), at(0.49f)}, {"+ 5.0", "+ 5.1", "+ 4.9", "+ 2.0"}})));
}

TEST(X11PanelMouse, TheTwoHalvesOfTheLevelPad) {
  auto effect = shownPanel();
  effect->click(100, 300);
  EXPECT_EQ(effect->plugin->get(3), static_cast<float>(0.2f + 0.05));
  effect->click(100, 301);  // between the halves
  effect->click(100, 302);
  EXPECT_EQ(effect->automation().size(), 1u);
  effect->click(100, 303);
  effect->click(100, 377);
  EXPECT_EQ(effect->automation().size(), 3u);
  EXPECT_EQ(effect->plugin->get(3),
            static_cast<float>(static_cast<float>(static_cast<float>(0.2f + 0.05) - 0.05) - 0.05));
  EXPECT_TRUE(samePicture(
      effect->picture(),
      expectedPanel({{{21, 9}, {21, 9}, {21, 9}}, {"+ 5.0", "+ 5.0", "+ 5.0", "+ 1.5"}})));
}

TEST(X11PanelMouse, TwoInstancesPanelsAtOnceKeepTheirOwnValues) {
  auto first = shownPanel();
  auto second = shownPanel();
  first->plugin->set(0, 0.9f);
  second->plugin->set(0, 0.1f);
  first->idle();
  second->idle();
  first->click(100, 300);
  second->click(78, 88);
  first->frame->exposeChildren();
  first->idle();
  second->frame->exposeChildren();
  second->idle();
  EXPECT_EQ(first->plugin->get(3), static_cast<float>(0.2f + 0.05));
  EXPECT_EQ(second->plugin->get(0), static_cast<float>(0.1f - 0.01));
  EXPECT_TRUE(samePicture(first->picture(), expectedPanel({{at(0.9f), {21, 9}, {21, 9}},
                                                           {"+ 9.0", "+ 5.0", "+ 5.0", "+ 2.5"}})));
  EXPECT_TRUE(samePicture(
      second->picture(),
      expectedPanel({{at(0.09f), {21, 9}, {21, 9}}, {"+ 0.9", "+ 5.0", "+ 5.0", "+ 2.0"}})));
  first->close();
  second->idle();
  EXPECT_EQ(second->frame->childCount(), 1);
}

}  // namespace
