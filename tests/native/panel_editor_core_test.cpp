// The window-system-independent panel editor against a recording window system: the lifecycle
// decisions every backend shares, and what reaches the window's canvas. No display needed.
#include "editor/panel_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "effect/drive_effect.h"
#include "tests/support/host_recorder.h"

namespace {

// A uniform background and one-pixel sprites are enough to see where the panel draws.
constexpr std::uint32_t kBackgroundColour = 0x203040;
std::vector<std::uint32_t> backgroundPixels(std::size_t{kPanelWidth} * std::size_t{kPanelHeight},
                                            kBackgroundColour);
constexpr std::uint32_t kWhite[6 * 6] = {
    0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff,
    0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff,
    0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff,
    0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0xffffff};
constexpr std::uint32_t kIndex[6 * 6] = {0x0000ff};
constexpr std::uint32_t kCell[5 * 9] = {0x00ff00};

PanelBitmapSet makeBitmaps() {
  PanelBitmapSet set;
  for (PanelPixels& bitmap : set.bitmaps) {
    bitmap = {5, 9, kCell};  // digits, point and marks
  }
  set.bitmaps[static_cast<int>(PanelBitmap::background)] = {kPanelWidth, kPanelHeight,
                                                            backgroundPixels.data()};
  set.bitmaps[static_cast<int>(PanelBitmap::knobIndexMask)] = {6, 6, kWhite};
  set.bitmaps[static_cast<int>(PanelBitmap::knobIndex)] = {6, 6, kIndex};
  return set;
}

// Keeps what was presented, as a screen would: the rectangles, and each pixel as it was shown.
class FakeWindow final : public PanelWindow {
 public:
  explicit FakeWindow(const PanelBitmapSet& bitmaps) : PanelWindow(bitmaps) {}
  std::vector<PanelRect> presented;
  std::vector<std::uint32_t> screen = std::vector<std::uint32_t>(kPixels, 0);
  std::vector<bool> shown = std::vector<bool>(kPixels, false);

  static constexpr std::size_t kPixels = std::size_t{kPanelWidth} * std::size_t{kPanelHeight};

 protected:
  void resize(const PanelSize& /*size*/) override {}
  void present(const PanelRect& changed) override {
    presented.push_back(changed);
    for (std::int32_t y = changed.y; y < changed.y + changed.height; ++y) {
      for (std::int32_t x = changed.x; x < changed.x + changed.width; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * kPanelWidth + x;
        screen[i] = canvas().at(x, y);
        shown[i] = true;
      }
    }
  }
};

std::size_t pixelIndex(std::int32_t x, std::int32_t y) {
  return static_cast<std::size_t>(y) * kPanelWidth + static_cast<std::size_t>(x);
}

PanelRect unionOf(const std::vector<PanelRect>& rects) {
  PanelRect all;
  for (const PanelRect& rect : rects) {
    all = unite(all, rect);
  }
  return all;
}

class FakeWindowSystem final : public PanelWindowSystem {
 public:
  std::vector<std::string> log;
  FakeWindow* last = nullptr;
  PanelBitmapSet bitmaps = makeBitmaps();

  void acquireResources() override { log.push_back("acquire"); }
  void releaseResources() override { log.push_back("release"); }
  std::int32_t desktopZoom(void* /*parent*/) override { return 100; }
  PanelWindow* createWindow(void* parent, std::int32_t /*zoom*/) override {
    log.push_back(parent != nullptr ? "create" : "create without parent");
    if (parent == nullptr) {
      return nullptr;
    }
    last = new FakeWindow(bitmaps);
    return last;
  }
  void destroyWindow(PanelWindow* window) override {
    log.push_back(window->editor() == nullptr ? "destroy detached" : "destroy attached");
    PanelWindow::dispose(window);
  }
  void handleEvents(PanelWindow* /*window*/) override { log.push_back("events"); }
  void finishDrawing(PanelWindow* /*window*/) override { log.push_back("finish"); }
};

using Log = std::vector<std::string>;

class PanelEditorCoreTest : public ::testing::Test {
 protected:
  void SetUp() override { resetPanelControlTable(); }
  void TearDown() override {
    EXPECT_EQ(openPanelEditorCount(), 0);
    resetPanelControlTable();
  }

  // An effect with this system's editor; the effect owns and deletes it.
  std::unique_ptr<DriveEffect> makeEffect() {
    auto effect = std::make_unique<DriveEffect>(HostRecorder::callback);
    new PanelEditor(*effect, system);
    return effect;
  }
  static PanelEditor& editorOf(DriveEffect& effect) {
    return *static_cast<PanelEditor*>(effect.getEditor());
  }

  HostRecorder host;
  FakeWindowSystem system;
  int parent = 0;  // any non-null address stands for the host's window
};

TEST_F(PanelEditorCoreTest, OpenWithoutAParentAnswersZeroAndHoldsNothing) {
  auto effect = makeEffect();
  EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(openPanelEditorCount(), 0);
  EXPECT_FALSE(editorOf(*effect).isOpen());
  EXPECT_EQ(system.log, (Log{"acquire", "create without parent", "release"}));
}

TEST_F(PanelEditorCoreTest, SharedResourcesAreMadeByTheFirstOpenAndFreedByTheLastClose) {
  auto first = makeEffect();
  auto second = makeEffect();
  EXPECT_EQ(first->dispatch(effEditOpen, 0, 0, &parent, 0.0f), 1);
  EXPECT_EQ(second->dispatch(effEditOpen, 0, 0, &parent, 0.0f), 1);
  EXPECT_EQ(openPanelEditorCount(), 2);
  first->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
  second->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(system.log, (Log{"acquire", "create", "create", "destroy detached", "destroy detached",
                             "release"}));
}

TEST_F(PanelEditorCoreTest, SecondOpenClosesTheFirstAndCloseWithoutOpenDoesNothing) {
  auto effect = makeEffect();
  effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
  EXPECT_TRUE(system.log.empty());
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  EXPECT_EQ(openPanelEditorCount(), 1);
  EXPECT_EQ(system.log,
            (Log{"acquire", "create", "destroy detached", "release", "acquire", "create"}));
  effect.reset();  // the destructor closes the panel left open
  EXPECT_EQ(system.log.back(), "release");
}

TEST_F(PanelEditorCoreTest, IdleHandlesEventsThenTheUpdateThenFinishesDrawing) {
  auto effect = makeEffect();
  effect->dispatch(effEditIdle, 0, 0, nullptr, 0.0f);  // no window: nothing of the system
  EXPECT_TRUE(system.log.empty());
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  FakeWindow* window = system.last;
  window->presented.clear();
  system.log.clear();
  effect->setParameter(0, 0.25f);
  effect->dispatch(effEditIdle, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(system.log, (Log{"events", "finish"}));
  // The update redraws all four controls; the screen shows knob 0's index at its new place.
  const KnobIndexOffset at = knobIndexOffsetFor(0.25f, 1.0f);
  EXPECT_EQ(window->screen[pixelIndex(31 + at.x, 19 + at.y)], kBackgroundColour ^ 0x0000ffu);
  EXPECT_TRUE(window->shown[pixelIndex(165, 111)]);  // the level display's first digit
  effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
}

TEST_F(PanelEditorCoreTest, AWindowGoneWithItsParentIsNeverTouchedAgain) {
  auto effect = makeEffect();
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  PanelEditor& editor = editorOf(*effect);
  // What a backend does when the system destroys the window under an open editor.
  PanelWindow::dispose(editor.panelWindow());
  editor.forgetWindow();
  effect->setParameter(1, 0.75f);
  effect->dispatch(effEditIdle, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(openPanelEditorCount(), 1);  // still open until the host closes it
  effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(system.log.back(), "release");
  EXPECT_EQ(std::count(system.log.begin(), system.log.end(), "destroy detached"), 0);
}

TEST_F(PanelEditorCoreTest, PaintShowsTheBackgroundAndThePanelsOwnValues) {
  auto effect = makeEffect();
  effect->setParameter(2, 1.0f);
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  FakeWindow* window = system.last;
  panelControlTable.value[2] = 0.0f;  // as another panel might leave the shared table
  window->paint();
  // The level display last.
  EXPECT_EQ(unite(window->presented.back(), {161, 111, 25, 9}), (PanelRect{161, 111, 25, 9}));
  const KnobIndexOffset end = knobIndexOffsetFor(1.0f, 1.0f);
  EXPECT_EQ(window->canvas().at(194 + end.x, 19 + end.y), kBackgroundColour ^ 0x0000ffu);
  EXPECT_EQ(window->canvas().at(0, 0), kBackgroundColour);
  effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
}

TEST_F(PanelEditorCoreTest, MouseOnAWindowWithoutAnEditorStepsTheLevelButReportsNothing) {
  acquirePanelResources(system);
  FakeWindow window(system.bitmaps);
  window.leftButtonDown(100, 300);  // upper half of the pad
  window.leftButtonDown(55, 30);    // knob 0: the table changes, nothing is drawn for it
  EXPECT_EQ(panelControlTable.value[3], static_cast<float>(0.2f + 0.05));
  EXPECT_EQ(panelControlTable.value[0], 0.5f);
  EXPECT_EQ(panelControlTable.dirty[0], 1);
  EXPECT_EQ(unionOf(window.presented), (PanelRect{161, 111, 25, 9}));
  for (const HostRequest& request : host.requests) {
    EXPECT_NE(request.opcode, audioMasterAutomate);
  }
  releasePanelResources(system);
}

// ---- Drawing before the first paint -------------------------------------------------------

TEST_F(PanelEditorCoreTest, DrawsBeforeTheFirstPaintShowOnlyFinishedPanelPixels) {
  auto effect = makeEffect();
  effect->setParameter(0, 0.9f);
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  FakeWindow* window = system.last;
  const std::vector<std::uint32_t> atOpen = window->screen;
  const std::vector<bool> shownAtOpen = window->shown;
  window->paint();
  std::size_t shownCount = 0;
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < FakeWindow::kPixels; ++i) {
    if (shownAtOpen[i]) {
      ++shownCount;
      wrong += atOpen[i] != window->screen[i] ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0u) << "of " << shownCount << " pixels shown at open";
  // Only the controls are drawn at open; the rest waits for the paint.
  EXPECT_GT(shownCount, 0u);
  EXPECT_LT(shownCount, FakeWindow::kPixels / 4);
  effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
}

// ---- A host that answers the panel's report by taking the panel away -------------------------

// What the host does inside audioMasterAutomate.
enum class HostAnswer {
  closeEditor,     // effEditClose
  destroyWindow,   // its own window, and the panel's with it (as the backends report it)
  closeAndReopen,  // effEditClose, then effEditOpen again
  closeTwice,      // effEditClose twice: the second finds nothing open
};

struct PanelAction {
  const char* name;
  void (*play)(PanelWindow& window);
};

// Each delivered as a backend delivers events: the window held in use for the whole event.
const PanelAction kActions[] = {
    {"knob press", [](PanelWindow& w) { w.leftButtonDown(55, 30); }},
    {"knob drag",
     [](PanelWindow& w) {
       panelControlTable.dragging[1] = 1;
       w.mouseMove(160, 40, true);
     }},
    {"plus button", [](PanelWindow& w) { w.leftButtonDown(78, 79); }},
    {"minus button", [](PanelWindow& w) { w.leftButtonDown(78, 88); }},
    {"level pad", [](PanelWindow& w) { w.leftButtonDown(100, 250); }},
};

DriveEffect* answeringEffect = nullptr;
HostAnswer answer = HostAnswer::closeEditor;
int answers = 0;
int reopenParent = 0;

void answerAutomation(std::int32_t opcode) {
  if (opcode != audioMasterAutomate || answeringEffect == nullptr || answers++ > 0) {
    return;
  }
  auto& editor = *static_cast<PanelEditor*>(answeringEffect->getEditor());
  switch (answer) {
    case HostAnswer::closeEditor:
      answeringEffect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
      break;
    case HostAnswer::destroyWindow:
      if (PanelWindow* window = editor.panelWindow()) {
        editor.forgetWindow();
        PanelWindow::dispose(window);
      }
      break;
    case HostAnswer::closeAndReopen:
      answeringEffect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
      answeringEffect->dispatch(effEditOpen, 0, 0, &reopenParent, 0.0f);
      break;
    case HostAnswer::closeTwice:
      answeringEffect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
      answeringEffect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
      break;
  }
}

class PanelTakenAwayTest
    : public PanelEditorCoreTest,
      public ::testing::WithParamInterface<std::tuple<PanelAction, HostAnswer>> {};

TEST_P(PanelTakenAwayTest, TheHandlerReturnsWithoutTouchingTheGoneWindow) {
  const auto& [action, hostAnswer] = GetParam();
  auto effect = makeEffect();
  ASSERT_EQ(effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f), 1);
  PanelEditor& editor = editorOf(*effect);
  PanelWindow* window = editor.panelWindow();
  answeringEffect = effect.get();
  answer = hostAnswer;
  answers = 0;
  host.onRequest = answerAutomation;
  {
    const PanelWindow::InUse inUse(*window);
    action.play(*window);
    EXPECT_TRUE(window->disposed()) << action.name;
  }
  host.onRequest = nullptr;
  answeringEffect = nullptr;
  EXPECT_EQ(answers, 1) << action.name << ": the panel reported once, then was gone";

  if (hostAnswer == HostAnswer::closeAndReopen) {
    EXPECT_TRUE(editor.isOpen());
    ASSERT_NE(editor.panelWindow(), nullptr);
    EXPECT_NE(editor.panelWindow(), window);
  } else if (hostAnswer == HostAnswer::destroyWindow) {
    EXPECT_TRUE(editor.isOpen());  // counted until the host closes it
    EXPECT_EQ(editor.panelWindow(), nullptr);
  } else {
    EXPECT_FALSE(editor.isOpen());
  }
  // The host carries on: idles, a change of its own, a new panel, the end.
  effect->setParameter(2, 0.25f);
  effect->dispatch(effEditIdle, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f), 1);
  effect->dispatch(effEditIdle, 0, 0, nullptr, 0.0f);
  FakeWindow* reopened = system.last;
  reopened->paint();
  const KnobIndexOffset at = knobIndexOffsetFor(0.25f, 1.0f);
  EXPECT_EQ(reopened->screen[pixelIndex(194 + at.x, 19 + at.y)], kBackgroundColour ^ 0x0000ffu);
  effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
}

std::string takenAwayName(
    const ::testing::TestParamInfo<std::tuple<PanelAction, HostAnswer>>& info) {
  static const char* const kAnswerNames[] = {"Close", "DestroyWindow", "CloseAndReopen",
                                             "CloseTwice"};
  std::string name = std::get<0>(info.param).name;
  std::string camel;
  bool upper = true;
  for (char c : name) {
    if (c == ' ') {
      upper = true;
    } else {
      camel += upper ? static_cast<char>(c - 'a' + 'A') : c;
      upper = false;
    }
  }
  return camel + "_" + kAnswerNames[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    EveryPanelReport, PanelTakenAwayTest,
    ::testing::Combine(::testing::ValuesIn(kActions),
                       ::testing::Values(HostAnswer::closeEditor, HostAnswer::destroyWindow,
                                         HostAnswer::closeAndReopen, HostAnswer::closeTwice)),
    takenAwayName);

TEST_F(PanelEditorCoreTest, WindowDisposedOutsideAnyHandlerGoesAtOnce) {
  auto effect = makeEffect();
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  PanelWindow* window = editorOf(*effect).panelWindow();
  {
    const PanelWindow::InUse outer(*window);
    {
      const PanelWindow::InUse inner(*window);
      effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
    }
    // Still here for the outer handler: detached, drawing nothing.
    EXPECT_TRUE(window->disposed());
    EXPECT_EQ(window->editor(), nullptr);
    window->paint();
  }
  EXPECT_EQ(openPanelEditorCount(), 0);
}

}  // namespace
