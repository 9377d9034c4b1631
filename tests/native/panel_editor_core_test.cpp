// The window-system-independent panel editor against a recording window system: the lifecycle
// decisions every backend shares, and what reaches the window's canvas. No display needed.
#include "editor/panel_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
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

class FakeWindow final : public PanelWindow {
 public:
  explicit FakeWindow(const PanelBitmapSet& bitmaps) : PanelWindow(bitmaps) {}
  std::vector<PanelRect> presented;

 protected:
  void present(const PanelRect& changed) override { presented.push_back(changed); }
};

class FakeWindowSystem final : public PanelWindowSystem {
 public:
  std::vector<std::string> log;
  FakeWindow* last = nullptr;
  PanelBitmapSet bitmaps = makeBitmaps();

  void acquireResources() override { log.push_back("acquire"); }
  void releaseResources() override { log.push_back("release"); }
  PanelWindow* createWindow(void* parent) override {
    log.push_back(parent != nullptr ? "create" : "create without parent");
    if (parent == nullptr) {
      return nullptr;
    }
    last = new FakeWindow(bitmaps);
    return last;
  }
  void destroyWindow(PanelWindow* window) override {
    log.push_back(window->editor() == nullptr ? "destroy detached" : "destroy attached");
    delete window;
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
  // The update redraws all four controls; the canvas shows knob 0's index at its new place.
  EXPECT_EQ(window->presented.size(), 4u);
  const KnobIndexOffset at = knobIndexOffsetFor(0.25f, 1.0f);
  EXPECT_EQ(window->canvas().at(31 + at.x, 19 + at.y), 0x0000ffu);
  effect->dispatch(effEditClose, 0, 0, nullptr, 0.0f);
}

TEST_F(PanelEditorCoreTest, AWindowGoneWithItsParentIsNeverTouchedAgain) {
  auto effect = makeEffect();
  effect->dispatch(effEditOpen, 0, 0, &parent, 0.0f);
  PanelEditor& editor = editorOf(*effect);
  // What a backend does when the system destroys the window under an open editor.
  delete editor.panelWindow();
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
  EXPECT_EQ(window->presented.back(), (PanelRect{161, 111, 25, 9}));  // the level display last
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
  EXPECT_EQ(window.presented, (std::vector<PanelRect>{{161, 111, 25, 9}}));
  for (const HostRequest& request : host.requests) {
    EXPECT_NE(request.opcode, audioMasterAutomate);
  }
  releasePanelResources(system);
}

}  // namespace
