// The real plug-in's panel in a host's frame, one suite for both window system backends: the
// Win32 panel in the DLL under Wine and the X11 panel in the shared object under Xvfb, each loaded
// through its entry the way a host loads it. Window lifecycle, shared resources, painting, idle
// updates, the mouse and a host that acts from inside its callback, checked on the pixels the
// frame shows and on what reaches the host. Cases only one window system has are in
// panel_window_win32_test.cpp and panel_window_x11_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "tests/panel/panel_suite.h"

namespace panelhost {

HostRecorder& programHost() {
  static HostRecorder recorder;
  return recorder;
}

void savePicture(const Image& image, const std::string& name) {
  const char* folder = std::getenv("DRIVE_PANEL_PNG_DIR");
  if (folder == nullptr || *folder == '\0') {
    return;
  }
  std::vector<unsigned char> rgb;
  rgb.reserve(image.pixels.size() * 3);
  for (std::uint32_t pixel : image.pixels) {
    rgb.push_back(static_cast<unsigned char>(pixel >> 16));
    rgb.push_back(static_cast<unsigned char>(pixel >> 8));
    rgb.push_back(static_cast<unsigned char>(pixel));
  }
  const std::string path = std::string(folder) + "/" + name + ".png";
  EXPECT_NE(stbi_write_png(path.c_str(), image.width, image.height, 3, rgb.data(), image.width * 3),
            0)
      << path;
}

}  // namespace panelhost

namespace panelsuite {
namespace {

using Automation = AutomationReport;
using panelhost::Area;
using panelhost::Frame;
using panelhost::kWindowSystem;
using panelhost::savePicture;
using panelhost::WindowSystem;

// A button step: summed in double, kept as float.
float stepped(float value, double step) {
  return static_cast<float>(static_cast<double>(value) + step);
}

PanelView withKnob(PanelView view, int knob, paneltest::KnobOffset offset, const char* display) {
  view.knobs[knob] = offset;
  view.displays[knob] = display;
  return view;
}

// ---- Window lifecycle and shared resources ----------------------------------------------------

TEST_F(PanelTest, RectangleAndOneChildOfTheHostsWindow) {
  EditorRect* rect = nullptr;
  ASSERT_EQ(hosted.plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 400);
  EXPECT_EQ(rect->right, 270);

  EXPECT_TRUE(resourcesHeld(false));
  EXPECT_EQ(hosted.frame->panelCount(), 0);
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_EQ(hosted.frame->panelCount(), 1);
  EXPECT_TRUE(resourcesHeld(true));
  EXPECT_TRUE(shows(hosted, kDefaultView));
  // Hosts ask again once the panel is open, to size their frame around it.
  rect = nullptr;
  EXPECT_EQ(hosted.plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 270);
  EXPECT_EQ(rect->bottom, 400);

  EXPECT_EQ(hosted.close(), 0);
  hosted.frame->pump();
  EXPECT_EQ(hosted.frame->panelCount(), 0);
  EXPECT_TRUE(resourcesHeld(false));
}

TEST_F(PanelTest, PaintBringsBackTheWholePictureWhateverCoveredIt) {
  openShown();
  EXPECT_TRUE(shows(hosted, kDefaultView));
  savePicture(hosted.shown(), "panel_default");

  // Covered everywhere, asked for all of it or only for a corner: the whole picture comes back.
  const Area corner{260, 390, 10, 10};
  const Area whole{0, 0, 270, 400};
  for (const Area& asked : {whole, corner}) {
    SCOPED_TRACE("asked for " + std::to_string(asked.width) + " x " + std::to_string(asked.height));
    hosted.frame->scribble(whole, 0xff0000);
    hosted.repaint(asked);
    EXPECT_TRUE(shows(hosted, kDefaultView));
  }
  EXPECT_TRUE(hosted.takeAutomation().empty());
}

TEST_F(PanelTest, TwoEffectsShareTheResourcesUntilTheLastCloses) {
  Hosted second(1);
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_TRUE(resourcesHeld(true));
  ASSERT_EQ(second.open(), 1);

  EXPECT_EQ(hosted.close(), 0);
  hosted.frame->pump();
  EXPECT_EQ(hosted.frame->panelCount(), 0);
  EXPECT_TRUE(resourcesHeld(true));
  // The second panel still has its bitmaps.
  second.repaint();
  EXPECT_TRUE(shows(second, kDefaultView));

  EXPECT_EQ(second.close(), 0);
  second.frame->pump();
  EXPECT_EQ(second.frame->panelCount(), 0);
  EXPECT_TRUE(resourcesHeld(false));

  // A later open makes them anew.
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_TRUE(resourcesHeld(true));
  hosted.repaint();
  EXPECT_TRUE(shows(hosted, kDefaultView));
  EXPECT_EQ(hosted.close(), 0);
  EXPECT_TRUE(resourcesHeld(false));
}

TEST_F(PanelTest, OpenWithoutAParentAnswersZeroAndHoldsNothing) {
  EXPECT_EQ(hosted.plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_TRUE(resourcesHeld(false));
  EXPECT_EQ(hosted.plugin->dispatch(effEditIdle), 0);
  EXPECT_EQ(hosted.close(), 0);
  // A destroyed parent is no better.
  auto gone = Frame::make(1);
  gone->destroy();
  gone->pump();
  EXPECT_EQ(hosted.plugin->dispatch(effEditOpen, 0, 0, gone->parent()), 0);
  EXPECT_TRUE(resourcesHeld(false));
  EXPECT_EQ(hosted.plugin->dispatch(effEditIdle), 0);
  // And the count was not raised: one good open and one close give the resources back.
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_TRUE(shows(hosted, kDefaultView));
  EXPECT_EQ(hosted.close(), 0);
  EXPECT_TRUE(resourcesHeld(false));
}

TEST_F(PanelTest, CloseWithoutOpenAndRepeatedClosesChangeNothing) {
  testhost::Plugin other;
  EXPECT_EQ(other.dispatch(effEditClose), 0);  // never opened
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_EQ(other.dispatch(effEditClose), 0);  // must not take this panel's place in the count
  EXPECT_TRUE(resourcesHeld(true));
  hosted.repaint();
  EXPECT_TRUE(shows(hosted, kDefaultView));
  EXPECT_EQ(hosted.close(), 0);
  EXPECT_EQ(hosted.close(), 0);
  hosted.frame->pump();
  EXPECT_EQ(hosted.frame->panelCount(), 0);
  EXPECT_TRUE(resourcesHeld(false));
  // The count did not go below 0: one open takes the resources again, one close gives them back.
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_EQ(hosted.frame->panelCount(), 1);
  EXPECT_TRUE(resourcesHeld(true));
  EXPECT_EQ(hosted.close(), 0);
  EXPECT_TRUE(resourcesHeld(false));
}

TEST_F(PanelTest, SecondOpenReplacesTheFirstWindow) {
  ASSERT_EQ(hosted.open(), 1);
  auto otherFrame = Frame::make(1);
  ASSERT_EQ(hosted.plugin->dispatch(effEditOpen, 0, 0, otherFrame->parent()), 1);
  std::swap(hosted.frame, otherFrame);
  hosted.settle();
  otherFrame->pump();
  EXPECT_EQ(otherFrame->panelCount(), 0);
  EXPECT_EQ(hosted.frame->panelCount(), 1);
  EXPECT_TRUE(shows(hosted, kDefaultView));
  // Counted once.
  EXPECT_EQ(hosted.close(), 0);
  hosted.frame->pump();
  EXPECT_EQ(hosted.frame->panelCount(), 0);
  EXPECT_TRUE(resourcesHeld(false));
}

TEST_F(PanelTest, ClosingTheEffectWithItsPanelOpenTakesThePanelAlong) {
  ASSERT_EQ(hosted.open(), 1);
  ASSERT_EQ(hosted.plugin->close(), 1);  // effClose without effEditClose
  hosted.frame->pump();
  EXPECT_EQ(hosted.frame->panelCount(), 0);
  EXPECT_TRUE(resourcesHeld(false));
  hosted.frame->exercise();
  EXPECT_TRUE(hosted.frame->alive());
}

TEST_F(PanelTest, HostDestroyingItsWindowFirst) {
  ASSERT_EQ(hosted.open(), 1);
  hosted.frame->destroy();
  hosted.frame->pump();
  hosted.set(0, 0.25f);
  EXPECT_EQ(hosted.plugin->dispatch(effEditIdle), 0);  // nothing left to draw on
  EXPECT_EQ(hosted.plugin->dispatch(effEditIdle), 0);
  EXPECT_EQ(hosted.close(), 0);
  EXPECT_TRUE(resourcesHeld(false));
  hosted.frame = Frame::make();
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_TRUE(shows(hosted, withKnob(kDefaultView, 0, {9, 19}, "+ 2.5")));
}

// ---- Idle and posted updates --------------------------------------------------------------

TEST_F(PanelTest, HostChangesShowAtTheNextIdle) {
  openShown();
  struct Change {
    const char* what;
    void (*make)(Hosted&);
    PanelView after;
  };
  const Change changes[] = {
      {"two parameters",
       [](Hosted& h) {
         h.set(0, 0.25f);
         h.set(3, 1.0f);
       },
       {{{9, 19}, {21, 9}, {21, 9}}, {"+ 2.5", "+ 5.0", "+ 5.0", "+10.0"}}},
      {"several posts, one idle: the last values",
       [](Hosted& h) {
         h.set(1, 0.1f);
         h.set(1, 0.9f);
         h.set(2, 0.75f);
       },
       {{{9, 19}, {30, 27}, {32, 19}}, {"+ 2.5", "+ 9.0", "+ 7.5", "+10.0"}}},
      {"a program change", [](Hosted& h) { h.plugin->dispatch(effSetProgram, 0, 1); },
       kDefaultView},
      {"from another thread, as an automation thread would",
       [](Hosted& h) { std::thread([&h] { h.set(2, -0.25f); }).join(); },
       {{{21, 9}, {21, 9}, at(-0.25f)}, {"+ 5.0", "+ 5.0", "- 2.5", "+ 2.0"}}},
  };
  PanelView before = kDefaultView;
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    change.make(hosted);
    hosted.frame->pump();
    EXPECT_TRUE(shows(hosted, before));  // nothing drawn when the value is set
    hosted.idle();
    EXPECT_TRUE(shows(hosted, change.after));
    before = change.after;
  }
  savePicture(hosted.shown(), "panel_host_changes");

  // Nothing posted since: idle draws nothing, so a mark over a display stays.
  hosted.frame->scribble({28 + 27, 79, 5, 9}, 0xff00ff);  // control 0's units cell
  hosted.idle();
  EXPECT_EQ(hosted.shown().at(28 + 29, 83), 0xff00ffu);
  EXPECT_TRUE(hosted.takeAutomation().empty());  // host changes are not reported back
}

// ---- Mouse --------------------------------------------------------------------------------

struct KnobPress {
  int dx, dy;  // from the knob's centre
  float value;
  paneltest::KnobOffset offset;
  const char* display;
};

// Directions around the centre as a person would press them.
const KnobPress kKnobPresses[] = {
    {0, -13, 0.5f, {21, 9}, "+ 5.0"},           // straight above
    {-15, 0, 0.2142857164f, {9, 20}, "+ 2.1"},  // straight left
    {15, 0, 0.7857142687f, {32, 20}, "+ 7.8"},  // straight right
    {-10, -10, 0.3571428657f, {13, 13}, "+ 3.5"},
    {-14, 14, 0.0714285746f, {13, 28}, "+ 0.7"},
    {14, 14, 0.9285714030f, {28, 28}, "+ 9.2"},
    {-1, 15, 0.0f, {16, 31}, "+ 0.0"},  // just left of straight down: the start
    {1, 15, 1.0f, {25, 31}, "+10.0"},   // just right of it: the end
};

TEST_F(PanelTest, KnobPressPointsTheIndexAtThePointer) {
  openShown();
  for (int knob = 0; knob < 3; ++knob) {
    const int centreX = paneltest::kKnobBoxX[knob] + 24;
    const int centreY = paneltest::kKnobBoxY + 24;
    for (const KnobPress& press : kKnobPresses) {
      SCOPED_TRACE("knob " + std::to_string(knob) + " at (" + std::to_string(press.dx) + ", " +
                   std::to_string(press.dy) + ")");
      hosted.move(centreX + press.dx, centreY + press.dy, false);  // ends the last drag
      hosted.press(centreX + press.dx, centreY + press.dy);
      EXPECT_EQ(hosted.get(knob), press.value);
      EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{knob, press.value}}));
      EXPECT_TRUE(shows(hosted, withKnob(kDefaultView, knob, press.offset, press.display)));
    }
    // Back to the default for the next knob.
    hosted.move(centreX, centreY - 13, false);
    hosted.press(centreX, centreY - 13);
    hosted.move(centreX, centreY - 13, false);
    hosted.takeAutomation();
  }
}

TEST_F(PanelTest, KnobPressOnTheCentreKeepsTheValueButReportsIt) {
  openShown();
  hosted.press(45, 33);
  hosted.move(45, 33, false);
  hosted.takeAutomation();
  for (const auto& [x, y] : {std::pair{55, 43}, std::pair{55, 50}}) {  // the centre, below it
    hosted.press(x, y);
    hosted.move(x, y, false);
    EXPECT_EQ(hosted.get(0), 0.3571428657f);
    EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{0, 0.3571428657f}}));
  }
  // Just outside the box (its bounds are strict): nothing at all.
  for (const auto& [x, y] :
       {std::pair{31, 30}, std::pair{71, 30}, std::pair{55, 19}, std::pair{55, 59}}) {
    hosted.press(x, y);
    EXPECT_TRUE(hosted.takeAutomation().empty()) << x << ", " << y;
  }
  EXPECT_TRUE(shows(hosted, withKnob(kDefaultView, 0, {13, 13}, "+ 3.5")));
}

TEST_F(PanelTest, KnobDragFollowsThePointerUntilAMoveWithoutTheButton) {
  openShown();
  hosted.press(55, 30);
  EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{0, 0.5f}}));
  struct Step {
    int x, y;
    float value;
    paneltest::KnobOffset offset;
    const char* display;
  };
  // Around the centre (55, 43), leaving the knob's box and the panel itself on the way.
  const Step steps[] = {
      {20, 43, 0.2142857164f, {9, 20}, "+ 2.1"},     // left, outside the box
      {-40, 43, 0.2142857164f, {9, 20}, "+ 2.1"},    // left, outside the panel
      {-40, -52, 0.3571428657f, {13, 13}, "+ 3.5"},  // up-left, above the panel
      {55, -30, 0.5f, {21, 9}, "+ 5.0"},
      {150, 43, 0.7857142687f, {32, 20}, "+ 7.8"},  // across knob 1, which stays put
      {69, 57, 0.9285714030f, {28, 28}, "+ 9.2"},
      {56, 300, 1.0f, {25, 31}, "+10.0"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(step.x) + ", " + std::to_string(step.y));
    hosted.move(step.x, step.y, true);
    EXPECT_EQ(hosted.get(0), step.value);
    EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{0, step.value}}));
    EXPECT_TRUE(shows(hosted, withKnob(kDefaultView, 0, step.offset, step.display)));
  }
  savePicture(hosted.shown(), "panel_after_drag");

  // The first move without the button ends the drag; later moves with it change nothing.
  hosted.move(40, 43, false);
  hosted.move(40, 43, true);
  hosted.move(55, 30, true);
  EXPECT_EQ(hosted.get(0), 1.0f);
  EXPECT_TRUE(hosted.takeAutomation().empty());
  EXPECT_TRUE(shows(hosted, withKnob(kDefaultView, 0, {25, 31}, "+10.0")));
}

// A press at the same place, so that no move comes between (on X11 the pointer cannot reach
// another place without one; panel_window_win32_test.cpp presses elsewhere).
TEST_F(PanelTest, SecondPressWhileStillDraggingIsIgnored) {
  openShown();
  hosted.press(55, 30);  // knob 0 to 0.5, dragging
  EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{0, 0.5f}}));
  hosted.press(55, 30);
  EXPECT_TRUE(hosted.takeAutomation().empty());
  // The drag goes on.
  hosted.move(40, 43, true);
  EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{0, 0.2142857164f}}));
  hosted.move(40, 43, false);
}

TEST_F(PanelTest, PlusAndMinusButtonsOfEveryControl) {
  openShown();
  struct Buttons {
    int plusX, plusY, minusX, minusY;
  };
  // Middle of each button: plus rows buttonY+1..+7, minus rows buttonY+10..+17.
  const Buttons buttons[4] = {
      {78, 79, 78, 88}, {155, 79, 155, 88}, {236, 79, 236, 88}, {196, 111, 196, 120}};
  PanelView view = kDefaultView;
  const char* knobDisplays[] = {"+ 5.1", "+ 5.0", "+ 4.9"};
  const paneltest::KnobOffset knobOffsets[] = {{21, 9}, {21, 9}, {20, 9}};
  const char* levelDisplays[] = {"+ 2.1", "+ 2.0", "+ 1.9"};
  for (int control = 0; control < 4; ++control) {
    SCOPED_TRACE("control " + std::to_string(control));
    const Buttons& b = buttons[control];
    const float start = hosted.get(control);
    const float up = stepped(start, 0.01);
    const float back = stepped(up, -0.01);
    const float down = stepped(back, -0.01);
    const struct {
      int x, y;
      float value;
    } presses[] = {{b.plusX, b.plusY, up}, {b.minusX, b.minusY, back}, {b.minusX, b.minusY, down}};
    for (int step = 0; step < 3; ++step) {
      hosted.press(presses[step].x, presses[step].y);
      EXPECT_EQ(hosted.get(control), presses[step].value);
      EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{control, presses[step].value}}));
      if (control < 3) {
        view.knobs[control] = knobOffsets[step];
        view.displays[control] = knobDisplays[step];
      } else {
        view.displays[3] = levelDisplays[step];
      }
      EXPECT_TRUE(shows(hosted, view)) << "step " << step;
    }
  }
  // The edges of a button pair: the rows between plus and minus, and outside the columns.
  for (const auto& [x, y] : {std::pair{78, 83}, std::pair{78, 84}, std::pair{73, 79},
                             std::pair{83, 79}, std::pair{78, 75}, std::pair{78, 93}}) {
    hosted.press(x, y);
    EXPECT_TRUE(hosted.takeAutomation().empty()) << x << ", " << y;
  }
  // Held within 0..1.
  hosted.set(0, 0.995f);
  hosted.set(1, 0.005f);
  hosted.idle();
  hosted.press(78, 79);
  hosted.press(155, 88);
  EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{0, 1.0f}, {1, 0.0f}}));
  EXPECT_TRUE(shows(hosted, {{{25, 31}, {16, 31}, {20, 9}}, {"+10.0", "+ 0.0", "+ 4.9", "+ 1.9"}}));
  savePicture(hosted.shown(), "panel_buttons");
}

TEST_F(PanelTest, TheTwoHalvesOfTheLevelPad) {
  openShown();
  struct Press {
    int x, y;
    float value;  // 0 for a press that changes nothing
    const char* display;
  };
  const Press presses[] = {
      {100, 300, 0.25f, "+ 2.5"},                             // upper half, last row
      {100, 301, 0.0f, "+ 2.5"},                              // between the halves
      {100, 302, 0.0f, "+ 2.5"},  {100, 303, 0.2f, "+ 2.0"},  // lower half, first row
      {253, 377, 0.15f, "+ 1.5"},                             // lower half, far corner
      {254, 250, 0.0f, "+ 1.5"},                              // right of the pad
      {14, 250, 0.0f, "+ 1.5"},                               // left of it
      {100, 378, 0.0f, "+ 1.5"},                              // below it
      {100, 226, 0.0f, "+ 1.5"},                              // above it
      {15, 227, 0.2f, "+ 2.0"},                               // upper half, near corner
  };
  for (const Press& press : presses) {
    SCOPED_TRACE(std::to_string(press.x) + ", " + std::to_string(press.y));
    const float before = hosted.get(3);
    hosted.press(press.x, press.y);
    if (press.value == 0.0f) {
      EXPECT_EQ(hosted.get(3), before);
      EXPECT_TRUE(hosted.takeAutomation().empty());
    } else {
      EXPECT_FLOAT_EQ(hosted.get(3), press.value);
      EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{3, hosted.get(3)}}));
    }
    PanelView view = kDefaultView;
    view.displays[3] = press.display;
    EXPECT_TRUE(shows(hosted, view));
  }
  // Down to 0 and no further.
  for (int i = 0; i < 6; ++i) {
    hosted.press(100, 350);
  }
  EXPECT_EQ(hosted.get(3), 0.0f);
  PanelView view = kDefaultView;
  view.displays[3] = "+ 0.0";
  EXPECT_TRUE(shows(hosted, view));
}

// A real double click through the system's input path: the panel asks for no double clicks, so
// it arrives as two presses and a plus button steps twice.
TEST_F(PanelTest, DoubleClickIsTwoPresses) {
  openShown();
  hosted.doubleClick(155, 79);  // plus button of control 1
  const float once = stepped(0.5f, 0.01);
  EXPECT_EQ(hosted.takeAutomation(),
            (std::vector<Automation>{{1, once}, {1, stepped(once, 0.01)}}));
  PanelView view = kDefaultView;
  view.displays[1] = "+ 5.2";
  EXPECT_TRUE(shows(hosted, view));
}

TEST_F(PanelTest, TwoPanelsInOneProcessKeepTheirOwnValues) {
  Hosted second(1);
  openShown();
  ASSERT_EQ(second.open(), 1);
  hosted.takeAutomation();
  second.takeAutomation();
  const std::size_t firstRequest = panelhost::programHost().requests.size();

  hosted.press(40, 43);  // first: knob 0 straight left
  hosted.move(40, 43, false);
  second.press(196, 111);  // second: level plus
  second.press(236, 88);   // second: knob 2 minus
  hosted.press(100, 350);  // first: level pad down
  EXPECT_EQ(hosted.get(0), 0.2142857164f);
  EXPECT_EQ(hosted.get(3), stepped(0.2f, -0.05));
  EXPECT_EQ(hosted.get(2), 0.5f);
  EXPECT_EQ(second.get(0), 0.5f);
  EXPECT_EQ(second.get(3), stepped(0.2f, 0.01));
  EXPECT_EQ(second.get(2), stepped(0.5f, -0.01));
  // Each report from the effect whose panel was pressed, in the order of the presses.
  std::vector<const AEffect*> reporters;
  for (std::size_t i = firstRequest; i < panelhost::programHost().requests.size(); ++i) {
    const HostRequest& request = panelhost::programHost().requests[i];
    EXPECT_EQ(request.opcode, audioMasterAutomate);
    reporters.push_back(request.effect);
  }
  const AEffect* first = hosted.plugin->effect;
  EXPECT_EQ(reporters, (std::vector<const AEffect*>{first, second.plugin->effect,
                                                    second.plugin->effect, first}));

  const PanelView firstView{{{9, 20}, {21, 9}, {21, 9}}, {"+ 2.1", "+ 5.0", "+ 5.0", "+ 1.5"}};
  const PanelView secondView{{{21, 9}, {21, 9}, {20, 9}}, {"+ 5.0", "+ 5.0", "+ 4.9", "+ 2.1"}};
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Each paint and each idle shows the panel's own values, whichever panel went last.
    hosted.repaint();
    second.repaint();
    EXPECT_TRUE(shows(hosted, firstView));
    EXPECT_TRUE(shows(second, secondView));
    hosted.idle();
    second.idle();
  }
  savePicture(hosted.shown(), "panel_two_first");
  savePicture(second.shown(), "panel_two_second");

  // A host change on one reaches only that one.
  second.set(1, 0.25f);
  hosted.idle();
  second.idle();
  hosted.repaint();
  EXPECT_TRUE(shows(hosted, firstView));
  EXPECT_TRUE(shows(second, withKnob(secondView, 1, {9, 19}, "+ 2.5")));
  EXPECT_EQ(second.close(), 0);
}

// ---- Right after open ----------------------------------------------------------------------

// Before any paint or idle, the host's window may show its own background where the panel has
// not painted yet, or the finished panel; anything else (black patches of a canvas drawn before
// its background) flashes at the user.
TEST_F(PanelTest, RightAfterOpenOnlyTheHostsBackgroundOrTheFinishedPanelShows) {
  hosted.frame->pump();
  const paneltest::Image background = hosted.frame->picture();
  ASSERT_EQ(hosted.openOnly(), 1);
  const paneltest::Image justOpened = hosted.frame->picture();
  const paneltest::Image finished = expectedPanel(kDefaultView);
  ASSERT_EQ(justOpened.pixels.size(), finished.pixels.size());
  ASSERT_EQ(background.pixels.size(), finished.pixels.size());
  int backgroundShown = 0;
  int panelShown = 0;
  int neither = 0;
  std::string first;
  for (int y = 0; y < finished.height; ++y) {
    for (int x = 0; x < finished.width; ++x) {
      const std::uint32_t pixel = justOpened.at(x, y);
      if (pixel == finished.at(x, y)) {
        ++panelShown;
      } else if (pixel == background.at(x, y)) {
        ++backgroundShown;
      } else if (++neither <= 4) {
        char line[96];
        std::snprintf(line, sizeof line, "\n  (%d, %d): %06x, background %06x, panel %06x", x, y,
                      pixel, background.at(x, y), finished.at(x, y));
        first += line;
      }
    }
  }
  savePicture(justOpened, "panel_right_after_open");
  EXPECT_EQ(neither, 0) << "of " << finished.pixels.size() << " pixels " << panelShown
                        << " show the panel, " << backgroundShown
                        << " the host's background, and these neither:" << first;
  RecordProperty("pixels_showing_the_panel", panelShown);
  RecordProperty("pixels_showing_the_background", backgroundShown);
  RecordProperty("pixels_showing_neither", neither);
  // The first showing finishes the picture.
  hosted.settle();
  EXPECT_TRUE(shows(hosted, kDefaultView));
}

// ---- A host that acts from inside its callback -------------------------------------------

// Hosts answer audioMasterAutomate on the thread that pressed, and some close the editor or
// destroy its window right there (a "close on touch" script, a project switch). The panel's
// handler is still running on that window when the callback returns.
enum class HostAction { closeEditor, destroyFrame };
enum class Gesture { knobPress, knobDragMove, buttonPress, levelPadPress };

struct Reentry {
  const char* name;
  HostAction action;
  Gesture gesture;
};

struct GestureEffect {
  int index;
  float value;
  PanelView view;  // what a panel opened afterwards shows
};

GestureEffect effectOf(Gesture gesture) {
  switch (gesture) {
    case Gesture::knobPress:
      return {0, 0.2142857164f, withKnob(kDefaultView, 0, {9, 20}, "+ 2.1")};
    case Gesture::knobDragMove:
      return {0, 0.7857142687f, withKnob(kDefaultView, 0, {32, 20}, "+ 7.8")};
    case Gesture::buttonPress:
      return {0, stepped(0.5f, 0.01), withKnob(kDefaultView, 0, {21, 9}, "+ 5.1")};
    case Gesture::levelPadPress: {
      PanelView view = kDefaultView;
      view.displays[3] = "+ 2.5";
      return {3, stepped(0.2f, 0.05), view};
    }
  }
  return {};
}

class PanelReentryTest : public PanelTest, public ::testing::WithParamInterface<Reentry> {};

TEST_P(PanelReentryTest, PanelSurvivesAndOpensAgain) {
  const Reentry& reentry = GetParam();
  openShown();
  if (reentry.gesture == Gesture::knobDragMove) {
    hosted.press(55, 30);  // knob 0 to 0.5, dragging: the action waits for the move
    ASSERT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{0, 0.5f}}));
  }
  bool acted = false;
  panelhost::programHost().atNextAutomation = [this, &acted, action = reentry.action] {
    acted = true;
    if (action == HostAction::closeEditor) {
      EXPECT_EQ(hosted.close(), 0);
    } else {
      hosted.frame->destroy();
    }
  };
  switch (reentry.gesture) {
    case Gesture::knobPress:
      hosted.press(40, 43);  // knob 0 straight left
      break;
    case Gesture::knobDragMove:
      hosted.move(70, 43, true);  // straight right
      break;
    case Gesture::buttonPress:
      hosted.press(78, 79);  // plus button of control 0
      break;
    case Gesture::levelPadPress:
      hosted.press(100, 300);  // upper half
      break;
  }
  panelhost::programHost().atNextAutomation = nullptr;
  // Still here: the host process lived through it.
  ASSERT_TRUE(acted) << "the gesture reached no automation";
  const GestureEffect expected = effectOf(reentry.gesture);
  EXPECT_EQ(hosted.get(expected.index), expected.value);
  EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{expected.index, expected.value}}));

  if (reentry.action == HostAction::closeEditor) {
    hosted.frame->pump();
    EXPECT_TRUE(hosted.frame->alive());
    EXPECT_EQ(hosted.frame->panelCount(), 0);
    EXPECT_TRUE(resourcesHeld(false));
    hosted.frame->exercise();
  } else {
    hosted.frame->pump();
    EXPECT_FALSE(hosted.frame->alive());
    // The editor is still open until the host closes it.
    EXPECT_EQ(hosted.plugin->dispatch(effEditIdle), 0);
    EXPECT_EQ(hosted.close(), 0);
    EXPECT_TRUE(resourcesHeld(false));
    hosted.frame = Frame::make();
  }
  EXPECT_EQ(hosted.plugin->dispatch(effEditIdle), 0);
  EXPECT_EQ(hosted.close(), 0);  // closed already: nothing more

  // A later open works and paints the effect's values.
  ASSERT_EQ(hosted.open(), 1);
  EXPECT_EQ(hosted.frame->panelCount(), 1);
  EXPECT_TRUE(shows(hosted, expected.view));
  hosted.move(5, 395, false);  // ends the drag the gesture began
  EXPECT_EQ(hosted.close(), 0);
  EXPECT_EQ(hosted.plugin->close(), 1);
}

const Reentry kReentries[] = {
    {"CloseEditorAtKnobPress", HostAction::closeEditor, Gesture::knobPress},
    {"CloseEditorAtKnobDragMove", HostAction::closeEditor, Gesture::knobDragMove},
    {"CloseEditorAtButtonPress", HostAction::closeEditor, Gesture::buttonPress},
    {"CloseEditorAtLevelPadPress", HostAction::closeEditor, Gesture::levelPadPress},
    {"DestroyFrameAtKnobPress", HostAction::destroyFrame, Gesture::knobPress},
    {"DestroyFrameAtKnobDragMove", HostAction::destroyFrame, Gesture::knobDragMove},
    {"DestroyFrameAtButtonPress", HostAction::destroyFrame, Gesture::buttonPress},
    {"DestroyFrameAtLevelPadPress", HostAction::destroyFrame, Gesture::levelPadPress},
};

INSTANTIATE_TEST_SUITE_P(HostActsInAutomate, PanelReentryTest, ::testing::ValuesIn(kReentries),
                         [](const ::testing::TestParamInfo<Reentry>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace panelsuite
