// The zoomed panel without a display: which zoom a factor or a screen asks for, the scaled
// picture (replicated, or evenly mixed at 150 % and 250 %), the pointer mapped back, the menu,
// and the editor asking its host for each size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "editor/panel_editor.h"
#include "editor/panel_zoom.h"
#include "effect/drive_effect.h"
#include "tests/support/host_recorder.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Choosing a zoom

struct FactorCase {
  double factor;
  std::int32_t zoom;
};

TEST(PanelZoomChoice, AFactorGivesTheOfferedZoomAtOrBelowIt) {
  const FactorCase cases[] = {
      {0.5, 100},          {1.0, 100},
      {1.25, 100},         {1.4999999, 150},
      {1.5, 150},          {1.75, 150},
      {2.0, 200},          {2.4999, 200},
      {2.5, 250},          {3.0, 300},
      {4.0, 300},          {-1.0, 100},
      {std::nan(""), 100}, {std::numeric_limits<double>::infinity(), 300},
  };
  for (const FactorCase& c : cases) {
    EXPECT_EQ(panelZoomAtOrBelow(c.factor), c.zoom) << "factor " << c.factor;
  }
}

TEST(PanelZoomChoice, AScreensDotsPerInchCountFromNinetySix) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {0, 100},   {-5, 100},  {72, 100},  {96, 100},  {120, 100}, {143, 100},
      {144, 150}, {192, 200}, {240, 250}, {288, 300}, {384, 300},
  };
  for (const auto& [dpi, zoom] : cases) {
    EXPECT_EQ(panelZoomForDpi(dpi), zoom) << dpi << " dpi";
  }
}

TEST(PanelZoomChoice, EveryZoomHasItsSizeAndEverySizeItsZoom) {
  const std::pair<std::int32_t, PanelSize> sizes[] = {
      {100, {270, 400}},  {150, {405, 600}},  {200, {540, 800}},
      {250, {675, 1000}}, {300, {810, 1200}},
  };
  for (const auto& [zoom, size] : sizes) {
    EXPECT_EQ(panelSizeAt(zoom), size) << zoom;
    EXPECT_EQ(panelZoomOfSize(size.width, size.height), zoom);
    EXPECT_EQ(panelZoomOfSize(size.width + 1, size.height), 0);
    EXPECT_EQ(panelZoomFitting(size.width, size.height), zoom);
    EXPECT_EQ(panelZoomFitting(size.width + 30, size.height + 1), zoom);
  }
  EXPECT_EQ(panelZoomFitting(100, 100), 100);
  EXPECT_EQ(panelZoomFitting(5000, 700), 150);  // the aspect stays: the height decides
  EXPECT_FALSE(isPanelZoom(0));
  EXPECT_FALSE(isPanelZoom(125));
}

// ---------------------------------------------------------------------------------------------
// The scaled picture

// A panel picture of random pixels, row by row.
class RandomPanel final : public PanelRowSource {
 public:
  explicit RandomPanel(std::uint32_t seed) : pixels_(std::size_t{kPanelWidth} * kPanelHeight) {
    std::mt19937 random(seed);
    for (std::uint32_t& pixel : pixels_) {
      pixel = random() & 0xffffffu;
    }
  }
  const std::uint32_t* row(std::int32_t y, std::uint32_t* /*scratch*/) const override {
    return &pixels_[static_cast<std::size_t>(y) * kPanelWidth];
  }
  std::uint32_t at(std::int32_t x, std::int32_t y) const { return row(y, nullptr)[x]; }
  void set(std::int32_t x, std::int32_t y, std::uint32_t value) {
    pixels_[static_cast<std::size_t>(y) * kPanelWidth + x] = value;
  }

 private:
  std::vector<std::uint32_t> pixels_;
};

std::vector<std::uint32_t> wholeWindow(std::int32_t zoom, const PanelRowSource& source) {
  const PanelScale scale(zoom);
  const PanelSize size = scale.windowSize();
  std::vector<std::uint32_t> out(static_cast<std::size_t>(size.width) * size.height);
  scalePanelPixels(scale, source, {0, 0, size.width, size.height}, out.data(), size.width);
  return out;
}

std::uint32_t channel(std::uint32_t pixel, int shift) {
  return (pixel >> shift) & 0xffu;
}

TEST(PanelZoomPicture, WholeZoomsReplicateEveryPanelPixelIntoASquare) {
  const RandomPanel panel(7);
  for (const std::int32_t zoom : {100, 200, 300}) {
    const std::int32_t k = zoom / 100;
    const std::vector<std::uint32_t> window = wholeWindow(zoom, panel);
    std::int64_t checked = 0;
    std::int64_t different = 0;
    for (std::int32_t y = 0; y < kPanelHeight * k; ++y) {
      for (std::int32_t x = 0; x < kPanelWidth * k; ++x) {
        ++checked;
        different +=
            window[static_cast<std::size_t>(y) * kPanelWidth * k + x] != panel.at(x / k, y / k);
      }
    }
    EXPECT_EQ(different, 0) << zoom << " %";
    EXPECT_EQ(checked, std::int64_t{kPanelWidth} * kPanelHeight * k * k);
  }
}

// At 150 % two panel pixels become three window pixels, at 250 % five: pure, mixed, pure...
TEST(PanelZoomPicture, HalfZoomsShowPurePixelsAndEvenMixesOfNeighbours) {
  const RandomPanel panel(11);
  for (const std::int32_t zoom : {150, 250}) {
    const PanelScale scale(zoom);
    const PanelSize size = scale.windowSize();
    const std::vector<std::uint32_t> window = wholeWindow(zoom, panel);
    for (std::int32_t y = 0; y < size.height; ++y) {
      for (std::int32_t x = 0; x < size.width; ++x) {
        const std::int32_t x0 = scale.firstHalf(x);
        const std::int32_t x1 = scale.secondHalf(x);
        const std::int32_t y0 = scale.firstHalf(y);
        const std::int32_t y1 = scale.secondHalf(y);
        ASSERT_LE(x1 - x0, 1);
        ASSERT_LE(y1 - y0, 1);
        const std::uint32_t shown = window[static_cast<std::size_t>(y) * size.width + x];
        for (const int shift : {0, 8, 16}) {
          const std::uint32_t sum =
              channel(panel.at(x0, y0), shift) + channel(panel.at(x1, y0), shift) +
              channel(panel.at(x0, y1), shift) + channel(panel.at(x1, y1), shift);
          ASSERT_EQ(channel(shown, shift), (sum + 2) / 4) << zoom << " % at " << x << "," << y;
        }
      }
    }
  }
}

TEST(PanelZoomPicture, AHardEdgeBlursByOneWindowPixelAtMost) {
  // Black left of column 100, white from it on.
  RandomPanel panel(0);
  for (std::int32_t y = 0; y < kPanelHeight; ++y) {
    for (std::int32_t x = 0; x < kPanelWidth; ++x) {
      panel.set(x, y, x < 100 ? 0x000000u : 0xffffffu);
    }
  }
  for (const std::int32_t zoom : kPanelZooms) {
    const PanelSize size = panelSizeAt(zoom);
    const std::vector<std::uint32_t> window = wholeWindow(zoom, panel);
    std::int32_t between = 0;
    for (std::int32_t x = 0; x < size.width; ++x) {
      const std::uint32_t pixel = window[x];
      if (pixel != 0 && pixel != 0xffffffu) {
        ++between;
        EXPECT_EQ(pixel, 0x808080u);
      }
    }
    EXPECT_LE(between, 1) << zoom << " %";
  }
}

TEST(PanelZoomPicture, AnyRectangleRedrawnAloneGivesTheWholePicturesPixels) {
  const RandomPanel panel(3);
  std::mt19937 random(5);
  for (const std::int32_t zoom : kPanelZooms) {
    const PanelScale scale(zoom);
    const PanelSize size = scale.windowSize();
    const std::vector<std::uint32_t> whole = wholeWindow(zoom, panel);
    for (int round = 0; round < 40; ++round) {
      const std::int32_t x = static_cast<std::int32_t>(random() % size.width);
      const std::int32_t y = static_cast<std::int32_t>(random() % size.height);
      const std::int32_t w = 1 + static_cast<std::int32_t>(random() % (size.width - x));
      const std::int32_t h = 1 + static_cast<std::int32_t>(random() % (size.height - y));
      std::vector<std::uint32_t> part(static_cast<std::size_t>(w) * h);
      scalePanelPixels(scale, panel, {x, y, w, h}, part.data(), w);
      for (std::int32_t j = 0; j < h; ++j) {
        for (std::int32_t i = 0; i < w; ++i) {
          ASSERT_EQ(part[static_cast<std::size_t>(j) * w + i],
                    whole[static_cast<std::size_t>(y + j) * size.width + x + i])
              << zoom << " %";
        }
      }
    }
  }
}

// A change to panel pixels shows only in the window rectangle given for them, and every window
// pixel of that rectangle shows some of them.
TEST(PanelZoomPicture, TheWindowRectangleOfAChangeHoldsExactlyThePixelsItChanges) {
  std::mt19937 random(9);
  for (const std::int32_t zoom : kPanelZooms) {
    const PanelScale scale(zoom);
    const PanelSize size = scale.windowSize();
    for (int round = 0; round < 10; ++round) {
      RandomPanel panel(static_cast<std::uint32_t>(round));
      const std::vector<std::uint32_t> before = wholeWindow(zoom, panel);
      const PanelRect changed{static_cast<std::int32_t>(random() % 260),
                              static_cast<std::int32_t>(random() % 390),
                              1 + static_cast<std::int32_t>(random() % 10),
                              1 + static_cast<std::int32_t>(random() % 10)};
      for (std::int32_t y = changed.y; y < changed.y + changed.height; ++y) {
        for (std::int32_t x = changed.x; x < changed.x + changed.width; ++x) {
          panel.set(x, y, ~panel.at(x, y) & 0xffffffu);  // every channel differs
        }
      }
      const std::vector<std::uint32_t> after = wholeWindow(zoom, panel);
      const PanelRect shown = scale.windowRectOf(changed);
      for (std::int32_t y = 0; y < size.height; ++y) {
        for (std::int32_t x = 0; x < size.width; ++x) {
          const bool inside = x >= shown.x && x < shown.x + shown.width && y >= shown.y &&
                              y < shown.y + shown.height;
          const std::size_t i = static_cast<std::size_t>(y) * size.width + x;
          if (!inside) {
            ASSERT_EQ(before[i], after[i]) << zoom << " % at " << x << "," << y;
          } else {
            const bool column = std::max(scale.firstHalf(x), changed.x) <=
                                std::min(scale.secondHalf(x), changed.x + changed.width - 1);
            const bool row = std::max(scale.firstHalf(y), changed.y) <=
                             std::min(scale.secondHalf(y), changed.y + changed.height - 1);
            ASSERT_TRUE(column && row) << zoom << " % at " << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(PanelZoomPointer, AWindowPixelMapsToThePanelPixelUnderItsCentre) {
  struct Case {
    std::int32_t zoom;
    std::int32_t window;
    std::int32_t panel;
  };
  const Case cases[] = {
      {100, 0, 0},     {100, -3, -3}, {100, 269, 269}, {200, 0, 0},   {200, 1, 0},
      {200, 2, 1},     {200, -1, -1}, {200, -2, -1},   {200, -3, -2}, {300, 5, 1},
      {300, 809, 269}, {150, 0, 0},   {150, 1, 1},     {150, 2, 1},   {150, 3, 2},
      {150, -1, -1},   {250, 1, 0},   {250, 2, 1},     {250, 4, 1},   {250, 5, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PanelScale(c.zoom).toPanel(c.window), c.panel)
        << c.zoom << " %, window pixel " << c.window;
  }
  // Every panel pixel is reached, in order, at every zoom.
  for (const std::int32_t zoom : kPanelZooms) {
    const PanelScale scale(zoom);
    std::int32_t expected = 0;
    for (std::int32_t p = 0; p < scale.windowSize().width; ++p) {
      const std::int32_t panel = scale.toPanel(p);
      ASSERT_TRUE(panel == expected || panel == expected + 1) << zoom << " % at " << p;
      expected = panel;
    }
    EXPECT_EQ(expected, kPanelWidth - 1);
  }
}

// ---------------------------------------------------------------------------------------------
// The editor at its zooms, against a window system and a host that record what they are asked

constexpr std::uint32_t kCell[5 * 9] = {0x00ff00};
constexpr std::uint32_t kDot[6 * 6] = {0x0000ff};
std::vector<std::uint32_t> backgroundPixels(std::size_t{kPanelWidth} * kPanelHeight, 0x203040);

PanelBitmapSet makeBitmaps() {
  PanelBitmapSet set;
  for (PanelPixels& bitmap : set.bitmaps) {
    bitmap = {5, 9, kCell};
  }
  set.bitmaps[static_cast<int>(PanelBitmap::background)] = {kPanelWidth, kPanelHeight,
                                                            backgroundPixels.data()};
  set.bitmaps[static_cast<int>(PanelBitmap::knobIndexMask)] = {6, 6, kDot};
  set.bitmaps[static_cast<int>(PanelBitmap::knobIndex)] = {6, 6, kDot};
  return set;
}

// Keeps its size and what it showed, as a screen would.
class ZoomedWindow final : public PanelWindow {
 public:
  ZoomedWindow(const PanelBitmapSet& bitmaps, std::int32_t zoom)
      : PanelWindow(bitmaps, zoom), shownSize(size()) {
    screen.resize(static_cast<std::size_t>(shownSize.width) * shownSize.height);
  }
  PanelSize shownSize;
  std::vector<std::uint32_t> screen;
  std::vector<PanelSize> resizes;

 protected:
  void resize(const PanelSize& newSize) override {
    resizes.push_back(newSize);
    shownSize = newSize;
    screen.assign(static_cast<std::size_t>(newSize.width) * newSize.height, 0);
  }
  void present(const PanelRect& r) override {
    ASSERT_LE(r.x + r.width, shownSize.width);
    ASSERT_LE(r.y + r.height, shownSize.height);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(r.width) * r.height);
    composeWindowPixels(r, pixels.data(), r.width);
    for (std::int32_t y = 0; y < r.height; ++y) {
      std::copy_n(&pixels[static_cast<std::size_t>(y) * r.width], r.width,
                  &screen[static_cast<std::size_t>(r.y + y) * shownSize.width + r.x]);
    }
  }
};

class ZoomWindowSystem final : public PanelWindowSystem {
 public:
  PanelBitmapSet bitmaps = makeBitmaps();
  ZoomedWindow* last = nullptr;
  std::int32_t desktop = 100;   // asked without a parent
  std::int32_t atParent = 100;  // asked with one
  std::vector<std::int32_t> createdAt;

  void acquireResources() override {}
  void releaseResources() override {}
  PanelWindow* createWindow(void* parent, std::int32_t zoom) override {
    if (parent == nullptr) {
      return nullptr;
    }
    createdAt.push_back(zoom);
    last = new ZoomedWindow(bitmaps, zoom);
    return last;
  }
  std::int32_t desktopZoom(void* parent) override { return parent != nullptr ? atParent : desktop; }
  void destroyWindow(PanelWindow* window) override { PanelWindow::dispose(window); }
  void handleEvents(PanelWindow* /*window*/) override {}
  void finishDrawing(PanelWindow* /*window*/) override {}
};

class RecordingZoomHost final : public PanelZoomHost {
 public:
  bool agree = true;
  std::vector<PanelSize> asked;
  std::vector<PanelSize> rectInside;  // what getRect answered while the host was asked
  std::vector<std::int32_t> chosen;
  PanelEditor* editor = nullptr;

  bool resizePanel(const PanelSize& size) override {
    asked.push_back(size);
    if (editor != nullptr) {
      EditorRect* rect = nullptr;
      editor->getRect(&rect);
      rectInside.push_back({rect->right - rect->left, rect->bottom - rect->top});
    }
    return agree;
  }
  void panelZoomChosen(std::int32_t zoom) override { chosen.push_back(zoom); }
};

PanelSize rectSize(PanelEditor& editor) {
  EditorRect* rect = nullptr;
  editor.getRect(&rect);
  return {rect->right - rect->left, rect->bottom - rect->top};
}

// A window pixel whose centre lies in panel pixel p: the middle one of those that do.
std::int32_t windowPixelOf(std::int32_t zoom, std::int32_t p) {
  const PanelScale scale(zoom);
  std::vector<std::int32_t> candidates;
  for (std::int32_t w = p * zoom / 100 - 3; w <= (p + 1) * zoom / 100 + 3; ++w) {
    if (scale.toPanel(w) == p) {
      candidates.push_back(w);
    }
  }
  return candidates.at(candidates.size() / 2);
}

class PanelZoomEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { resetPanelControlTable(); }
  void TearDown() override {
    effect.reset();
    EXPECT_EQ(openPanelEditorCount(), 0);
    resetPanelControlTable();
  }

  PanelEditor& makeEditor(bool offerZoom = true) {
    effect = std::make_unique<DriveEffect>(HostRecorder::callback);
    auto* editor = new PanelEditor(*effect, system);
    if (offerZoom) {
      editor->offerZoom(zoomHost);
    }
    zoomHost.editor = editor;
    return *editor;
  }

  // The right button, then the left one on the item of a zoom, in window pixels.
  static void chooseFromMenu(PanelWindow& window, std::int32_t zoom, std::int32_t atX = 100,
                             std::int32_t atY = 120) {
    const std::int32_t shown = window.zoom();
    window.rightButtonDown(windowPixelOf(shown, atX), windowPixelOf(shown, atY));
    ASSERT_TRUE(window.zoomMenu().isOpen());
    const PanelRect menu = window.zoomMenu().area();
    const std::int32_t item = static_cast<std::int32_t>(
        std::find(std::begin(kPanelZooms), std::end(kPanelZooms), zoom) - std::begin(kPanelZooms));
    const std::int32_t itemY = menu.y + 2 + item * PanelZoomMenu::kItemHeight + 6;
    window.leftButtonDown(windowPixelOf(shown, menu.x + 10), windowPixelOf(shown, itemY));
  }

  HostRecorder host;
  ZoomWindowSystem system;
  RecordingZoomHost zoomHost;
  std::unique_ptr<DriveEffect> effect;
  int parent = 0;
};

TEST_F(PanelZoomEditorTest, WithoutAZoomHostThePanelKeepsItsOneSizeAndIgnoresTheRightButton) {
  system.desktop = 200;
  system.atParent = 200;
  PanelEditor& editor = makeEditor(/*offerZoom=*/false);
  EXPECT_EQ(rectSize(editor), (PanelSize{270, 400}));
  ASSERT_EQ(editor.open(&parent), 1);
  EXPECT_EQ(system.createdAt, (std::vector<std::int32_t>{100}));
  system.last->rightButtonDown(100, 100);
  EXPECT_FALSE(system.last->zoomMenu().isOpen());
  EXPECT_TRUE(zoomHost.asked.empty());
  EXPECT_EQ(rectSize(editor), (PanelSize{270, 400}));
}

TEST_F(PanelZoomEditorTest, TheDesktopsZoomIsTheSizeBeforeOpeningAndTheWindowsAtIt) {
  system.desktop = 200;
  system.atParent = 200;
  PanelEditor& editor = makeEditor();
  EXPECT_EQ(rectSize(editor), (PanelSize{540, 800}));
  ASSERT_EQ(editor.open(&parent), 1);
  EXPECT_EQ(system.createdAt, (std::vector<std::int32_t>{200}));
  // The host sized its window from the rectangle: nothing more to ask.
  EXPECT_TRUE(zoomHost.asked.empty());
  EXPECT_EQ(system.last->shownSize, (PanelSize{540, 800}));
}

TEST_F(PanelZoomEditorTest, AParentOnAnotherScreenAsksTheHostForItsSizeAndARefusalKeepsTheOld) {
  system.desktop = 100;
  system.atParent = 150;
  for (const bool agree : {true, false}) {
    PanelEditor& editor = makeEditor();
    zoomHost.agree = agree;
    zoomHost.asked.clear();
    EXPECT_EQ(rectSize(editor), (PanelSize{270, 400}));
    ASSERT_EQ(editor.open(&parent), 1);
    EXPECT_EQ(zoomHost.asked, (std::vector<PanelSize>{{405, 600}}));
    const PanelSize expected = agree ? PanelSize{405, 600} : PanelSize{270, 400};
    EXPECT_EQ(system.last->shownSize, expected) << (agree ? "agreed" : "refused");
    EXPECT_EQ(rectSize(editor), expected);
    editor.close();
  }
}

TEST_F(PanelZoomEditorTest, AHostsFactorReplacesTheDesktopsAndIsAppliedOnce) {
  system.desktop = 200;
  system.atParent = 200;
  PanelEditor& editor = makeEditor();
  editor.setHostScale(1.5);
  EXPECT_EQ(rectSize(editor), (PanelSize{405, 600}));
  ASSERT_EQ(editor.open(&parent), 1);
  EXPECT_EQ(system.last->zoom(), 150);
  editor.setHostScale(1.5);
  editor.setHostScale(1.5);
  EXPECT_EQ(system.last->zoom(), 150);
  EXPECT_TRUE(zoomHost.asked.empty());
  // Changed while open: the host is asked once for the new size.
  editor.setHostScale(2.0);
  EXPECT_EQ(zoomHost.asked, (std::vector<PanelSize>{{540, 800}}));
  EXPECT_EQ(system.last->zoom(), 200);
  EXPECT_TRUE(zoomHost.chosen.empty());  // the host's factor is not the user's choice
}

TEST_F(PanelZoomEditorTest, TheMenusChoiceResizesThroughTheHostWhichSeesTheNewRectangle) {
  PanelEditor& editor = makeEditor();
  ASSERT_EQ(editor.open(&parent), 1);
  PanelWindow& window = *system.last;
  chooseFromMenu(window, 200);
  EXPECT_EQ(zoomHost.asked, (std::vector<PanelSize>{{540, 800}}));
  EXPECT_EQ(zoomHost.rectInside, (std::vector<PanelSize>{{540, 800}}));
  EXPECT_EQ(window.zoom(), 200);
  EXPECT_FALSE(window.zoomMenu().isOpen());
  EXPECT_EQ(system.last->resizes, (std::vector<PanelSize>{{540, 800}}));
  EXPECT_EQ(editor.chosenZoom(), 200);
  EXPECT_EQ(zoomHost.chosen, (std::vector<std::int32_t>{200}));
  // The choice outlives the window: the next one opens at it, whatever the host's factor.
  editor.setHostScale(1.0);
  editor.close();
  ASSERT_EQ(editor.open(&parent), 1);
  EXPECT_EQ(system.last->zoom(), 200);

  // From 200 % to 300 %, the menu now in window pixels twice as large.
  chooseFromMenu(*system.last, 300);
  EXPECT_EQ(system.last->zoom(), 300);
  EXPECT_EQ(rectSize(editor), (PanelSize{810, 1200}));
}

TEST_F(PanelZoomEditorTest, AHostThatRefusesKeepsTheSizeAndTheChoice) {
  PanelEditor& editor = makeEditor();
  ASSERT_EQ(editor.open(&parent), 1);
  zoomHost.agree = false;
  chooseFromMenu(*system.last, 250);
  EXPECT_EQ(zoomHost.asked, (std::vector<PanelSize>{{675, 1000}}));
  EXPECT_EQ(system.last->zoom(), 100);
  EXPECT_TRUE(system.last->resizes.empty());
  EXPECT_EQ(rectSize(editor), (PanelSize{270, 400}));
  EXPECT_EQ(editor.chosenZoom(), 0);
  EXPECT_TRUE(zoomHost.chosen.empty());
}

TEST_F(PanelZoomEditorTest, ASavedChoiceWinsAndNoChoiceFollowsTheHostAgain) {
  PanelEditor& editor = makeEditor();
  editor.setHostScale(1.5);
  editor.setChosenZoom(250);
  EXPECT_EQ(rectSize(editor), (PanelSize{675, 1000}));
  ASSERT_EQ(editor.open(&parent), 1);
  EXPECT_EQ(system.last->zoom(), 250);
  editor.setChosenZoom(0);  // an old state, saved before zooming existed
  EXPECT_EQ(system.last->zoom(), 150);
  editor.setChosenZoom(123);  // not offered: as none
  EXPECT_EQ(editor.chosenZoom(), 0);
  EXPECT_EQ(system.last->zoom(), 150);
}

TEST_F(PanelZoomEditorTest, APressOffTheMenuClosesItAndReachesNoControl) {
  PanelEditor& editor = makeEditor();
  ASSERT_EQ(editor.open(&parent), 1);
  PanelWindow& window = *system.last;
  window.paint();
  const std::vector<std::uint32_t> before = system.last->screen;
  window.rightButtonDown(60, 60);
  EXPECT_TRUE(window.zoomMenu().isOpen());
  EXPECT_NE(system.last->screen, before);  // the menu is shown
  // On the level's upper pad: with the menu open it only closes the menu.
  const std::size_t requests = host.requests.size();
  window.leftButtonDown(100, 300);
  EXPECT_FALSE(window.zoomMenu().isOpen());
  EXPECT_TRUE(host.automation(nullptr, requests).empty());
  EXPECT_EQ(system.last->screen, before);  // and the panel shows again where it was
  EXPECT_TRUE(zoomHost.asked.empty());
}

TEST_F(PanelZoomEditorTest, TheMenuMarksTheCurrentZoomAndStaysInsideThePanel) {
  PanelEditor& editor = makeEditor();
  ASSERT_EQ(editor.open(&parent), 1);
  PanelWindow& window = *system.last;
  window.rightButtonDown(269, 399);  // the bottom-right corner
  const PanelRect area = window.zoomMenu().area();
  EXPECT_EQ(area.x + area.width, kPanelWidth);
  EXPECT_EQ(area.y + area.height, kPanelHeight);
  // Each item's mark is lit (the displays' lit colour) at the current zoom only.
  std::vector<std::int32_t> lit;
  for (std::int32_t item = 0; item < kPanelZoomCount; ++item) {
    const std::int32_t markX = area.x + 4;
    const std::int32_t markY = area.y + 2 + item * PanelZoomMenu::kItemHeight + 2 + 2 + 2;
    if (system.last->screen[static_cast<std::size_t>(markY) * kPanelWidth + markX] == 0x66e0ffu) {
      lit.push_back(kPanelZooms[item]);
    }
  }
  EXPECT_EQ(lit, (std::vector<std::int32_t>{100}));
}

// The same hand at every zoom: positions scaled into window pixels reach the same panel pixels,
// so the values, the automation and the panel's own picture come out the same.
TEST_F(PanelZoomEditorTest, TheSameActionsInScaledPixelsGiveTheSameValuesAndAutomation) {
  struct Action {
    enum Kind { press, move, release } kind;
    std::int32_t x;
    std::int32_t y;
  };
  const std::vector<Action> script = {
      {Action::press, 55, 30},    {Action::move, 40, 43},    {Action::move, 69, 57},
      {Action::release, 69, 57},  {Action::press, 78, 79},   {Action::press, 78, 88},
      {Action::press, 100, 300},  {Action::press, 100, 303}, {Action::press, 195, 110},
      {Action::press, 195, 120},  {Action::press, 136, 40},  {Action::move, 120, 20},
      {Action::release, 120, 20}, {Action::press, 54, 58},
  };
  std::vector<AutomationReport> atFullSize;
  std::vector<float> valuesAtFullSize;
  std::vector<std::uint32_t> canvasAtFullSize;
  for (const std::int32_t zoom : kPanelZooms) {
    resetPanelControlTable();
    PanelEditor& editor = makeEditor();
    editor.setChosenZoom(zoom);
    ASSERT_EQ(editor.open(&parent), 1);
    PanelWindow& window = *system.last;
    ASSERT_EQ(window.zoom(), zoom);
    const std::size_t from = host.requests.size();
    for (const Action& a : script) {
      const std::int32_t x = windowPixelOf(zoom, a.x);
      const std::int32_t y = windowPixelOf(zoom, a.y);
      if (a.kind == Action::press) {
        window.leftButtonDown(x, y);
      } else {
        window.mouseMove(x, y, a.kind == Action::move);
      }
    }
    std::vector<float> values(4);
    for (std::int32_t i = 0; i < 4; ++i) {
      values[static_cast<std::size_t>(i)] = effect->getParameter(i);
    }
    std::vector<std::uint32_t> canvas;
    for (std::int32_t y = 0; y < kPanelHeight; ++y) {
      canvas.insert(canvas.end(), window.canvas().row(y), window.canvas().row(y) + kPanelWidth);
    }
    const std::vector<AutomationReport> automation = host.automation(effect->getDescriptor(), from);
    if (zoom == 100) {
      atFullSize = automation;
      valuesAtFullSize = values;
      canvasAtFullSize = canvas;
      EXPECT_GE(atFullSize.size(), 10u);
    } else {
      EXPECT_EQ(automation, atFullSize) << zoom << " %";
      EXPECT_EQ(values, valuesAtFullSize) << zoom << " %";
      EXPECT_TRUE(canvas == canvasAtFullSize) << zoom << " %";
    }
    editor.close();
  }
}

}  // namespace
