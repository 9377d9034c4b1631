// The real DLL's panel in a host's window under Wine: window lifecycle, shared class, painting,
// idle updates and the mouse, checked on the pixels the window shows and on what reaches the host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "tests/support/host_recorder.h"
#include "tests/support/plugin_loader.h"
#include "tests/wine/panel_test_support.h"

using paneltest::expectedPanel;
using paneltest::PanelView;
using paneltest::samePicture;
using testhost::Plugin;

namespace {

constexpr char kPanelClass[] = "DelayWindowClass";

// Client-area corners of the host windows on the 1280 x 1024 screen, far enough from its edges
// for drags that leave the panel.
constexpr POINT kHostA{300, 200};
constexpr POINT kHostB{700, 200};

const PanelView kDefaultView{{{21, 9}, {21, 9}, {21, 9}}, {"+ 5.0", "+ 5.0", "+ 5.0", "+ 2.0"}};

bool classRegistered() {
  WNDCLASSA info{};
  return GetClassInfoA(testhost::pluginLibrary(), kPanelClass, &info) != 0;
}

HWND panelOf(HWND host) {
  return FindWindowExA(host, nullptr, kPanelClass, nullptr);
}

// The host of every instance in this program, for as long as it runs.
HostRecorder programHost;

using Automation = AutomationReport;

// The automation reports the host received since the last call, taken out of the record.
std::vector<Automation> takeAutomations() {
  std::vector<Automation> reports = programHost.automation();
  programHost.requests.clear();
  return reports;
}

// With DRIVE_PANEL_PNG_DIR set, pictures of the panel are written there to be looked at.
void savePicture(const paneltest::Image& image, const std::string& name) {
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

class PanelWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = paneltest::createHostWindow(kHostA.x, kHostA.y);
    ASSERT_NE(host, nullptr);
    ASSERT_NE(plugin.effect, nullptr);
    programHost.requests.clear();
  }
  void TearDown() override {
    plugin.close();
    DestroyWindow(host);
    paneltest::pumpMessages();
    EXPECT_FALSE(classRegistered()) << "a panel was left open";
  }

  // Opens the panel in the host window and lets it paint, as a host's first showing does.
  HWND open() {
    EXPECT_EQ(plugin.dispatch(effEditOpen, 0, 0, host), 1);
    paneltest::pumpMessages();
    panel = panelOf(host);
    EXPECT_NE(panel, nullptr);
    takeAutomations();
    return panel;
  }

  ::testing::AssertionResult shows(const PanelView& view) {
    return samePicture(paneltest::captureWindow(panel), expectedPanel(view));
  }

  Plugin plugin;
  HWND host = nullptr;
  HWND panel = nullptr;
};

// ---- Window lifecycle and shared resources ----------------------------------------------------

TEST_F(PanelWindowTest, RectangleAndAVisibleChildOfTheHostWindow) {
  EditorRect* rect = nullptr;
  ASSERT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 400);
  EXPECT_EQ(rect->right, 270);

  EXPECT_FALSE(classRegistered());
  open();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(GetParent(panel), host);
  EXPECT_TRUE(IsWindowVisible(panel));
  const LONG style = GetWindowLongA(panel, GWL_STYLE);
  EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_POPUP), WS_CHILD | WS_VISIBLE);
  EXPECT_EQ(GetWindowLongA(panel, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
  char title[32] = {};
  GetWindowTextA(panel, title, sizeof title);
  EXPECT_STREQ(title, "Window");
  RECT client{};
  GetClientRect(panel, &client);
  EXPECT_EQ(client.right, 270);
  EXPECT_EQ(client.bottom, 400);
  POINT origin{0, 0};
  MapWindowPoints(panel, host, &origin, 1);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);

  WNDCLASSA info{};
  ASSERT_NE(GetClassInfoA(testhost::pluginLibrary(), kPanelClass, &info), 0);
  EXPECT_EQ(info.style, 0u);  // no double-click style: a double click is two presses
  EXPECT_EQ(info.hbrBackground, GetSysColorBrush(COLOR_BTNFACE));
  EXPECT_EQ(info.hCursor, nullptr);
  EXPECT_EQ(info.hIcon, nullptr);
  EXPECT_EQ(info.cbWndExtra, 0);
  // The window procedure lives in the plug-in.
  HMODULE owner = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(info.lpfnWndProc), &owner);
  EXPECT_EQ(owner, testhost::pluginLibrary());

  EXPECT_EQ(plugin.dispatch(effEditClose), 0);
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_FALSE(classRegistered());
}

TEST_F(PanelWindowTest, PaintCopiesTheBackgroundAndDrawsEveryControl) {
  open();
  EXPECT_TRUE(shows(kDefaultView));
  savePicture(paneltest::captureWindow(panel), "panel_default");

  // Whatever covered it, a paint brings back the whole picture, not only the invalid part.
  paneltest::scribble(panel, 0, 0, 270, 400, RGB(255, 0, 0));
  RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(shows(kDefaultView));
  paneltest::scribble(panel, 0, 0, 270, 400, RGB(0, 0, 255));
  RECT corner{260, 390, 270, 400};
  RedrawWindow(panel, &corner, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(shows(kDefaultView));

  // The background itself at a few points, straight from the committed file.
  const paneltest::Image background = paneltest::loadResourceFile("bitfond.bmp");
  const paneltest::Image shown = paneltest::captureWindow(panel);
  for (const POINT p : {POINT{0, 0}, POINT{269, 399}, POINT{135, 200}, POINT{100, 300},
                        POINT{55, 43}, POINT{269, 0}, POINT{0, 399}}) {
    EXPECT_EQ(shown.at(p.x, p.y), background.at(p.x, p.y)) << p.x << ", " << p.y;
  }
  EXPECT_TRUE(takeAutomations().empty());
}

TEST_F(PanelWindowTest, TwoEffectsShareTheClassUntilTheLastCloses) {
  Plugin second;
  HWND secondHost = paneltest::createHostWindow(kHostB.x, kHostB.y);
  open();
  EXPECT_TRUE(classRegistered());
  ASSERT_EQ(second.dispatch(effEditOpen, 0, 0, secondHost), 1);
  paneltest::pumpMessages();
  HWND secondPanel = panelOf(secondHost);
  ASSERT_NE(secondPanel, nullptr);

  EXPECT_EQ(plugin.dispatch(effEditClose), 0);
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_TRUE(classRegistered());
  // The second panel still has its bitmaps.
  paneltest::repaint(secondPanel);
  EXPECT_TRUE(samePicture(paneltest::captureWindow(secondPanel), expectedPanel(kDefaultView)));

  EXPECT_EQ(second.dispatch(effEditClose), 0);
  EXPECT_FALSE(IsWindow(secondPanel));
  EXPECT_FALSE(classRegistered());

  // A later open makes class and bitmaps anew.
  open();
  EXPECT_TRUE(classRegistered());
  paneltest::repaint(panel);
  EXPECT_TRUE(shows(kDefaultView));
  EXPECT_EQ(plugin.dispatch(effEditClose), 0);
  EXPECT_FALSE(classRegistered());
  DestroyWindow(secondHost);
}

// ---- Failures the panel must survive ----------------------------------------------------------

TEST_F(PanelWindowTest, OpenWithoutAParentAnswersZeroAndHoldsNothing) {
  EXPECT_EQ(plugin.dispatch(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_FALSE(classRegistered());
  EXPECT_EQ(plugin.dispatch(effEditIdle), 0);
  EXPECT_EQ(plugin.dispatch(effEditClose), 0);
  // A destroyed parent is no better.
  HWND gone = paneltest::createHostWindow(kHostB.x, kHostB.y);
  DestroyWindow(gone);
  EXPECT_EQ(plugin.dispatch(effEditOpen, 0, 0, gone), 0);
  EXPECT_FALSE(classRegistered());
  // And the count was not raised: one good open and one close remove the class again.
  open();
  EXPECT_TRUE(shows(kDefaultView));
  plugin.dispatch(effEditClose);
  EXPECT_FALSE(classRegistered());
}

TEST_F(PanelWindowTest, CloseWithoutOpenAndRepeatedClosesChangeNothing) {
  Plugin other;
  EXPECT_EQ(other.dispatch(effEditClose), 0);  // never opened
  open();
  EXPECT_EQ(other.dispatch(effEditClose), 0);  // must not take this panel's place in the count
  EXPECT_TRUE(classRegistered());
  paneltest::repaint(panel);
  EXPECT_TRUE(shows(kDefaultView));
  EXPECT_EQ(plugin.dispatch(effEditClose), 0);
  EXPECT_EQ(plugin.dispatch(effEditClose), 0);
  EXPECT_FALSE(classRegistered());
  // The count did not go below 0: one open registers the class again, one close removes it.
  open();
  EXPECT_TRUE(classRegistered());
  plugin.dispatch(effEditClose);
  EXPECT_FALSE(classRegistered());
}

TEST_F(PanelWindowTest, SecondOpenReplacesTheFirstWindow) {
  open();
  HWND first = panel;
  HWND otherHost = paneltest::createHostWindow(kHostB.x, kHostB.y);
  ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, otherHost), 1);
  paneltest::pumpMessages();
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(panelOf(host), nullptr);
  panel = panelOf(otherHost);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(shows(kDefaultView));
  // Counted once.
  plugin.dispatch(effEditClose);
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_FALSE(classRegistered());
  DestroyWindow(otherHost);
}

// Sends the host window what a user and the system would after the plug-in went away.
void exerciseHostWindow(HWND host) {
  RedrawWindow(host, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  paneltest::pointerTo(host, 40, 40);
  SendMessageA(host, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
  SendMessageA(host, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 60));
  SendMessageA(host, WM_MOUSEMOVE, 0, MAKELPARAM(60, 60));
  paneltest::pumpMessages();
}

TEST_F(PanelWindowTest, ClosingTheEffectWithItsPanelOpenTakesThePanelAlong) {
  open();
  ASSERT_EQ(plugin.close(), 1);  // effClose without effEditClose
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_EQ(panelOf(host), nullptr);
  EXPECT_FALSE(classRegistered());
  exerciseHostWindow(host);
  EXPECT_TRUE(IsWindow(host));
}

TEST_F(PanelWindowTest, HostDestroyingItsWindowFirst) {
  open();
  DestroyWindow(host);
  EXPECT_FALSE(IsWindow(panel));
  plugin.set(0, 0.25f);
  EXPECT_EQ(plugin.dispatch(effEditIdle), 0);  // nothing left to draw on
  EXPECT_EQ(plugin.dispatch(effEditClose), 0);
  EXPECT_FALSE(classRegistered());
  host = paneltest::createHostWindow(kHostA.x, kHostA.y);
  open();
  EXPECT_TRUE(shows({{{9, 19}, {21, 9}, {21, 9}}, {"+ 2.5", "+ 5.0", "+ 5.0", "+ 2.0"}}));
}

TEST(PanelUnload, UnloadingTheLibraryLeavesNoPanelBehind) {
  // A copy of the library gets a module of its own, which this test can really unload.
  const std::string copy = std::string(DRIVE_PLUGIN_PATH) + ".unload-test.dll";
  ASSERT_NE(CopyFileA(DRIVE_PLUGIN_PATH, copy.c_str(), FALSE), 0);
  HMODULE library = LoadLibraryA(copy.c_str());
  ASSERT_NE(library, nullptr);
  auto entry = reinterpret_cast<testhost::PluginEntry>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "main")));
  ASSERT_NE(entry, nullptr);
  AEffect* effect = entry(HostRecorder::callback);
  ASSERT_NE(effect, nullptr);
  HWND host = paneltest::createHostWindow(kHostA.x, kHostA.y);
  ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, host, 0.0f), 1);
  paneltest::pumpMessages();
  HWND panel = panelOf(host);
  ASSERT_NE(panel, nullptr);
  WNDCLASSA info{};
  EXPECT_NE(GetClassInfoA(library, kPanelClass, &info), 0);

  EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
  // A window left behind would call into the unloaded code: stop before unloading then.
  ASSERT_FALSE(IsWindow(panel));
  ASSERT_EQ(GetClassInfoA(library, kPanelClass, &info), 0);
  ASSERT_NE(FreeLibrary(library), 0);
  EXPECT_EQ(GetModuleHandleA(copy.c_str()), nullptr);

  exerciseHostWindow(host);
  EXPECT_TRUE(IsWindow(host));
  DestroyWindow(host);
  DeleteFileA(copy.c_str());
}

// ---- Idle and posted updates --------------------------------------------------------------

TEST_F(PanelWindowTest, HostChangesShowAtTheNextIdle) {
  open();
  plugin.set(0, 0.25f);
  plugin.set(3, 1.0f);
  EXPECT_TRUE(shows(kDefaultView));  // nothing drawn when the value is set
  plugin.dispatch(effEditIdle);
  const PanelView changed{{{9, 19}, {21, 9}, {21, 9}}, {"+ 2.5", "+ 5.0", "+ 5.0", "+10.0"}};
  EXPECT_TRUE(shows(changed));
  savePicture(paneltest::captureWindow(panel), "panel_host_changes");

  // Nothing posted since: idle draws nothing, so a mark over a display stays.
  paneltest::scribble(panel, 28 + 27, 79, 5, 9, RGB(255, 0, 255));  // control 0's units cell
  plugin.dispatch(effEditIdle);
  const paneltest::Image marked = paneltest::captureWindow(panel);
  EXPECT_EQ(marked.at(28 + 29, 83), 0xff00ffu);

  // Several posts, one idle: the last values show; the program change posts as well.
  plugin.set(1, 0.1f);
  plugin.set(1, 0.9f);
  plugin.set(2, 0.75f);
  plugin.dispatch(effEditIdle);
  EXPECT_TRUE(shows({{{9, 19}, {30, 27}, {32, 19}}, {"+ 2.5", "+ 9.0", "+ 7.5", "+10.0"}}));
  plugin.dispatch(effSetProgram, 0, 1);
  plugin.dispatch(effEditIdle);
  EXPECT_TRUE(shows(kDefaultView));
  EXPECT_TRUE(takeAutomations().empty());  // host changes are not reported back
}

// ---- Mouse --------------------------------------------------------------------------------

// A button step: summed in double, kept as float.
float stepped(float value, double step) {
  return static_cast<float>(static_cast<double>(value) + step);
}

struct KnobPress {
  POINT at;  // relative to knob 0's centre (55, 43)
  float value;
  paneltest::KnobOffset offset;
  const char* display;
};

// Directions around the centre as a person would press them.
const KnobPress kKnobPresses[] = {
    {{0, -13}, 0.5f, {21, 9}, "+ 5.0"},           // straight above
    {{-15, 0}, 0.2142857164f, {9, 20}, "+ 2.1"},  // straight left
    {{15, 0}, 0.7857142687f, {32, 20}, "+ 7.8"},  // straight right
    {{-10, -10}, 0.3571428657f, {13, 13}, "+ 3.5"},
    {{-14, 14}, 0.0714285746f, {13, 28}, "+ 0.7"},
    {{14, 14}, 0.9285714030f, {28, 28}, "+ 9.2"},
    {{-1, 15}, 0.0f, {16, 31}, "+ 0.0"},  // just left of straight down: the start
    {{1, 15}, 1.0f, {25, 31}, "+10.0"},   // just right of it: the end
};

TEST_F(PanelWindowTest, KnobPressPointsTheIndexAtThePointer) {
  open();
  for (int knob = 0; knob < 3; ++knob) {
    const int centreX = paneltest::kKnobBoxX[knob] + 24;
    const int centreY = paneltest::kKnobBoxY + 24;
    for (const KnobPress& press : kKnobPresses) {
      SCOPED_TRACE("knob " + std::to_string(knob) + " at (" + std::to_string(press.at.x) + ", " +
                   std::to_string(press.at.y) + ")");
      paneltest::moveTo(panel, centreX + press.at.x, centreY + press.at.y, false);  // ends a drag
      paneltest::pressAt(panel, centreX + press.at.x, centreY + press.at.y);
      EXPECT_EQ(plugin.get(knob), press.value);
      EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{knob, press.value}}));
      PanelView view = kDefaultView;
      view.knobs[knob] = press.offset;
      view.displays[knob] = press.display;
      EXPECT_TRUE(shows(view));
      if (knob == 0 && press.at.x == 14 && press.at.y == 14) {
        savePicture(paneltest::captureWindow(panel), "panel_knob0_down_right");
      }
    }
    // Back to the default for the next knob.
    paneltest::moveTo(panel, centreX, centreY - 13, false);
    paneltest::pressAt(panel, centreX, centreY - 13);
    paneltest::moveTo(panel, centreX, centreY - 13, false);
    takeAutomations();
  }
}

TEST_F(PanelWindowTest, KnobPressOnTheCentreKeepsTheValueButReportsIt) {
  open();
  paneltest::pressAt(panel, 45, 33);
  paneltest::moveTo(panel, 45, 33, false);
  takeAutomations();
  for (const POINT p : {POINT{55, 43}, POINT{55, 50}}) {  // the centre, straight below it
    paneltest::pressAt(panel, p.x, p.y);
    paneltest::moveTo(panel, p.x, p.y, false);
    EXPECT_EQ(plugin.get(0), 0.3571428657f);
    EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{0, 0.3571428657f}}));
  }
  // Just outside the box (its bounds are strict): nothing at all.
  for (const POINT p : {POINT{31, 30}, POINT{71, 30}, POINT{55, 19}, POINT{55, 59}}) {
    paneltest::pressAt(panel, p.x, p.y);
    EXPECT_TRUE(takeAutomations().empty()) << p.x << ", " << p.y;
  }
  EXPECT_TRUE(shows({{{13, 13}, {21, 9}, {21, 9}}, {"+ 3.5", "+ 5.0", "+ 5.0", "+ 2.0"}}));
}

TEST_F(PanelWindowTest, KnobDragFollowsThePointerUntilAMoveWithoutTheButton) {
  open();
  paneltest::pressAt(panel, 55, 30);
  EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{0, 0.5f}}));
  struct Step {
    POINT to;
    float value;
    paneltest::KnobOffset offset;
    const char* display;
  };
  // Around the centre (55, 43), leaving the knob's box and the panel itself on the way.
  const Step steps[] = {
      {{20, 43}, 0.2142857164f, {9, 20}, "+ 2.1"},     // left, outside the box
      {{-40, 43}, 0.2142857164f, {9, 20}, "+ 2.1"},    // left, outside the panel
      {{-40, -52}, 0.3571428657f, {13, 13}, "+ 3.5"},  // up-left, above the panel
      {{55, -30}, 0.5f, {21, 9}, "+ 5.0"},
      {{150, 43}, 0.7857142687f, {32, 20}, "+ 7.8"},  // across knob 1, which stays put
      {{69, 57}, 0.9285714030f, {28, 28}, "+ 9.2"},
      {{56, 300}, 1.0f, {25, 31}, "+10.0"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(step.to.x) + ", " + std::to_string(step.to.y));
    paneltest::moveTo(panel, step.to.x, step.to.y, true);
    EXPECT_EQ(plugin.get(0), step.value);
    EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{0, step.value}}));
    PanelView view = kDefaultView;
    view.knobs[0] = step.offset;
    view.displays[0] = step.display;
    EXPECT_TRUE(shows(view));
  }
  savePicture(paneltest::captureWindow(panel), "panel_after_drag");

  // The first move without the button ends the drag; later moves with it change nothing.
  paneltest::moveTo(panel, 40, 43, false);
  paneltest::moveTo(panel, 40, 43, true);
  paneltest::moveTo(panel, 55, 30, true);
  EXPECT_EQ(plugin.get(0), 1.0f);
  EXPECT_TRUE(takeAutomations().empty());
  EXPECT_TRUE(shows({{{25, 31}, {21, 9}, {21, 9}}, {"+10.0", "+ 5.0", "+ 5.0", "+ 2.0"}}));
}

TEST_F(PanelWindowTest, SecondPressWhileStillDraggingIsIgnored) {
  open();
  paneltest::pressAt(panel, 55, 30);  // knob 0 to 0.5, dragging
  takeAutomations();
  // Released but not moved since: the knob and its buttons ignore presses.
  paneltest::pressAt(panel, 40, 43);
  paneltest::pressAt(panel, 78, 79);  // plus button of control 0
  paneltest::pressAt(panel, 78, 88);  // minus button of control 0
  EXPECT_TRUE(takeAutomations().empty());
  EXPECT_EQ(plugin.get(0), 0.5f);
  // Another control still answers, and then both knobs follow the pointer together.
  paneltest::pressAt(panel, 119, 43);  // knob 1, straight left of its centre (134, 43)
  EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{1, 0.2142857164f}}));
  paneltest::moveTo(panel, 20, 43, true);  // left of both centres
  EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{0, 0.2142857164f}, {1, 0.2142857164f}}));
  EXPECT_TRUE(shows({{{9, 20}, {9, 20}, {21, 9}}, {"+ 2.1", "+ 2.1", "+ 5.0", "+ 2.0"}}));
  paneltest::moveTo(panel, 20, 43, false);
  paneltest::pressAt(panel, 78, 79);
  EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{0, stepped(0.2142857164f, 0.01)}}));
}

TEST_F(PanelWindowTest, PlusAndMinusButtonsOfEveryControl) {
  open();
  struct Buttons {
    POINT plus;
    POINT minus;
  };
  // Middle of each button: plus rows buttonY+1..+7, minus rows buttonY+10..+17.
  const Buttons buttons[4] = {{{78, 79}, {78, 88}},
                              {{155, 79}, {155, 88}},
                              {{236, 79}, {236, 88}},
                              {{196, 111}, {196, 120}}};
  PanelView view = kDefaultView;
  const char* knobDisplays[] = {"+ 5.1", "+ 5.0", "+ 4.9"};
  const paneltest::KnobOffset knobOffsets[] = {{21, 9}, {21, 9}, {20, 9}};
  const char* levelDisplays[] = {"+ 2.1", "+ 2.0", "+ 1.9"};
  for (int control = 0; control < 4; ++control) {
    SCOPED_TRACE("control " + std::to_string(control));
    const float start = plugin.get(control);
    const float up = stepped(start, 0.01);
    const float back = stepped(up, -0.01);
    const float down = stepped(back, -0.01);
    const std::pair<POINT, float> presses[] = {{buttons[control].plus, up},
                                               {buttons[control].minus, back},
                                               {buttons[control].minus, down}};
    for (int step = 0; step < 3; ++step) {
      paneltest::pressAt(panel, presses[step].first.x, presses[step].first.y);
      EXPECT_EQ(plugin.get(control), presses[step].second);
      EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{control, presses[step].second}}));
      if (control < 3) {
        view.knobs[control] = knobOffsets[step];
        view.displays[control] = knobDisplays[step];
      } else {
        view.displays[3] = levelDisplays[step];
      }
      EXPECT_TRUE(shows(view)) << "step " << step;
    }
  }
  // The edges of a button pair: the rows between plus and minus, and outside the columns.
  for (const POINT p :
       {POINT{78, 83}, POINT{78, 84}, POINT{73, 79}, POINT{83, 79}, POINT{78, 75}, POINT{78, 93}}) {
    paneltest::pressAt(panel, p.x, p.y);
    EXPECT_TRUE(takeAutomations().empty()) << p.x << ", " << p.y;
  }
  // Held within 0..1.
  plugin.set(0, 0.995f);
  plugin.set(1, 0.005f);
  plugin.dispatch(effEditIdle);
  paneltest::pressAt(panel, 78, 79);
  paneltest::pressAt(panel, 155, 88);
  EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{0, 1.0f}, {1, 0.0f}}));
  EXPECT_TRUE(shows({{{25, 31}, {16, 31}, {20, 9}}, {"+10.0", "+ 0.0", "+ 4.9", "+ 1.9"}}));
  savePicture(paneltest::captureWindow(panel), "panel_buttons");
}

TEST_F(PanelWindowTest, TheTwoHalvesOfTheLevelPad) {
  open();
  struct Press {
    POINT at;
    float value;  // 0 for a press that changes nothing
    const char* display;
  };
  const Press presses[] = {
      {{100, 300}, 0.25f, "+ 2.5"},                               // upper half, last row
      {{100, 301}, 0.0f, "+ 2.5"},                                // between the halves
      {{100, 302}, 0.0f, "+ 2.5"},  {{100, 303}, 0.2f, "+ 2.0"},  // lower half, first row
      {{253, 377}, 0.15f, "+ 1.5"},                               // lower half, far corner
      {{254, 250}, 0.0f, "+ 1.5"},                                // right of the pad
      {{14, 250}, 0.0f, "+ 1.5"},                                 // left of it
      {{100, 378}, 0.0f, "+ 1.5"},                                // below it
      {{100, 226}, 0.0f, "+ 1.5"},                                // above it
      {{15, 227}, 0.2f, "+ 2.0"},                                 // upper half, near corner
  };
  for (const Press& press : presses) {
    SCOPED_TRACE(std::to_string(press.at.x) + ", " + std::to_string(press.at.y));
    const float before = plugin.get(3);
    paneltest::pressAt(panel, press.at.x, press.at.y);
    if (press.value == 0.0f) {
      EXPECT_EQ(plugin.get(3), before);
      EXPECT_TRUE(takeAutomations().empty());
    } else {
      EXPECT_FLOAT_EQ(plugin.get(3), press.value);
      EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{3, plugin.get(3)}}));
    }
    PanelView view = kDefaultView;
    view.displays[3] = press.display;
    EXPECT_TRUE(shows(view));
  }
  // Down to 0 and no further.
  for (int i = 0; i < 6; ++i) {
    paneltest::pressAt(panel, 100, 350);
  }
  EXPECT_EQ(plugin.get(3), 0.0f);
  PanelView view = kDefaultView;
  view.displays[3] = "+ 0.0";
  EXPECT_TRUE(shows(view));
}

// A real double click through the system's input queue: without the double-click class style
// it arrives as two presses, so a plus button steps twice.
TEST_F(PanelWindowTest, DoubleClickIsTwoPresses) {
  open();
  paneltest::pointerTo(panel, 155, 79);  // plus button of control 1
  paneltest::pumpMessages();
  INPUT clicks[4] = {};
  const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN,
                          MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 4; ++i) {
    clicks[i].type = INPUT_MOUSE;
    clicks[i].mi.dwFlags = flags[i];
  }
  ASSERT_EQ(SendInput(4, clicks, sizeof(INPUT)), 4u);
  // The presses reach the window through its queue.
  for (int i = 0; i < 50 && plugin.get(1) == 0.5f; ++i) {
    paneltest::pumpMessages();
    Sleep(10);
  }
  paneltest::pumpMessages();
  const float once = stepped(0.5f, 0.01);
  EXPECT_EQ(takeAutomations(), (std::vector<Automation>{{1, once}, {1, stepped(once, 0.01)}}));
  PanelView view = kDefaultView;
  view.displays[1] = "+ 5.2";
  EXPECT_TRUE(shows(view));
}

TEST_F(PanelWindowTest, TwoPanelsInOneProcessKeepTheirOwnValues) {
  Plugin second;
  HWND secondHost = paneltest::createHostWindow(kHostB.x, kHostB.y);
  open();
  ASSERT_EQ(second.dispatch(effEditOpen, 0, 0, secondHost), 1);
  paneltest::pumpMessages();
  HWND secondPanel = panelOf(secondHost);
  ASSERT_NE(secondPanel, nullptr);
  programHost.requests.clear();

  paneltest::pressAt(panel, 40, 43);  // first: knob 0 straight left
  paneltest::moveTo(panel, 40, 43, false);
  paneltest::pressAt(secondPanel, 196, 111);  // second: level plus
  paneltest::pressAt(secondPanel, 236, 88);   // second: knob 2 minus
  paneltest::pressAt(panel, 100, 350);        // first: level pad down
  EXPECT_EQ(plugin.get(0), 0.2142857164f);
  EXPECT_EQ(plugin.get(3), stepped(0.2f, -0.05));
  EXPECT_EQ(plugin.get(2), 0.5f);
  EXPECT_EQ(second.get(0), 0.5f);
  EXPECT_EQ(second.get(3), stepped(0.2f, 0.01));
  EXPECT_EQ(second.get(2), stepped(0.5f, -0.01));
  for (const HostRequest& request : programHost.requests) {
    EXPECT_EQ(request.opcode, audioMasterAutomate);
  }
  ASSERT_EQ(programHost.requests.size(), 4u);
  EXPECT_EQ(programHost.requests[0].effect, plugin.effect);
  EXPECT_EQ(programHost.requests[1].effect, second.effect);
  EXPECT_EQ(programHost.requests[2].effect, second.effect);
  EXPECT_EQ(programHost.requests[3].effect, plugin.effect);

  const PanelView firstView{{{9, 20}, {21, 9}, {21, 9}}, {"+ 2.1", "+ 5.0", "+ 5.0", "+ 1.5"}};
  const PanelView secondView{{{21, 9}, {21, 9}, {20, 9}}, {"+ 5.0", "+ 5.0", "+ 4.9", "+ 2.1"}};
  for (int round = 0; round < 2; ++round) {
    // Each paint and each idle shows the panel's own values, whichever panel went last.
    paneltest::repaint(panel);
    paneltest::repaint(secondPanel);
    EXPECT_TRUE(shows(firstView));
    EXPECT_TRUE(samePicture(paneltest::captureWindow(secondPanel), expectedPanel(secondView)));
    plugin.dispatch(effEditIdle);
    second.dispatch(effEditIdle);
  }
  savePicture(paneltest::captureWindow(panel), "panel_two_first");
  savePicture(paneltest::captureWindow(secondPanel), "panel_two_second");

  // A host change on one reaches only that one.
  second.set(1, 0.25f);
  plugin.dispatch(effEditIdle);
  second.dispatch(effEditIdle);
  paneltest::repaint(panel);
  EXPECT_TRUE(shows(firstView));
  PanelView secondChanged = secondView;
  secondChanged.knobs[1] = {9, 19};
  secondChanged.displays[1] = "+ 2.5";
  EXPECT_TRUE(samePicture(paneltest::captureWindow(secondPanel), expectedPanel(secondChanged)));

  second.dispatch(effEditClose);
  DestroyWindow(secondHost);
}

}  // namespace
