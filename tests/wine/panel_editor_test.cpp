// The panel editor built into this test program together with the effect and the bitmap
// resources, so that its process-wide state (open count, window class, bitmap handles, control
// table) can be looked at directly. Runs under Wine in the private display.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "editor/panel_editor.h"
#include "editor/panel_layout.h"
#include "editor/panel_window_win.h"
#include "effect/drive_effect.h"
#include "host/module_instance_win.h"
#include "host/vst2/drive_effect_with_editor.h"
#include "tests/support/host_recorder.h"
#include "tests/wine/panel_test_support.h"

// The library's attach hook sets this; here the resources are the test program's own.
HINSTANCE moduleInstance = GetModuleHandleA(nullptr);

namespace {

using paneltest::expectedPanel;
using paneltest::kNotDrawn;
using paneltest::PanelView;
using paneltest::samePicture;

// The host of every effect in this program, for as long as it runs.
HostRecorder programHost;

bool classRegistered() {
  WNDCLASSA info{};
  return GetClassInfoA(moduleInstance, kPanelWindowClassName, &info) != 0;
}

constexpr PanelBitmap kAllBitmaps[] = {
    PanelBitmap::background,  PanelBitmap::knobIndex,    PanelBitmap::knobIndexMask,
    PanelBitmap::kBlankDigit, PanelBitmap::decimalPoint, PanelBitmap::digit0,
    PanelBitmap::digit1,      PanelBitmap::digit2,       PanelBitmap::digit3,
    PanelBitmap::digit4,      PanelBitmap::digit5,       PanelBitmap::digit6,
    PanelBitmap::digit7,      PanelBitmap::digit8,       PanelBitmap::digit9,
    PanelBitmap::minusMark,   PanelBitmap::plusMark,
};
constexpr const char* kBitmapFiles[] = {
    "bitfond.bmp",  "bitindex.bmp", "bitindmk.bmp", "bitnombd.bmp", "bitnombp.bmp", "bitnomb0.bmp",
    "bitnomb1.bmp", "bitnomb2.bmp", "bitnomb3.bmp", "bitnomb4.bmp", "bitnomb5.bmp", "bitnomb6.bmp",
    "bitnomb7.bmp", "bitnomb8.bmp", "bitnomb9.bmp", "bitmoins.bmp", "bitplus.bmp",
};

std::vector<HBITMAP> bitmapHandles() {
  std::vector<HBITMAP> handles;
  for (PanelBitmap bitmap : kAllBitmaps) {
    handles.push_back(panelBitmapHandle(bitmap));
  }
  return handles;
}

const PanelView kDefaultView{{{21, 9}, {21, 9}, {21, 9}}, {"+ 5.0", "+ 5.0", "+ 5.0", "+ 2.0"}};

class PanelEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetPanelControlTable();
    programHost.requests.clear();
    host = paneltest::createHostWindow(300, 200);
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(openPanelEditorCount(), 0);
  }
  void TearDown() override {
    DestroyWindow(host);
    paneltest::pumpMessages();
    EXPECT_EQ(openPanelEditorCount(), 0);
    EXPECT_FALSE(classRegistered());
  }

  static PanelEditor& editorOf(EffectBase& effect) {
    return *static_cast<PanelEditor*>(effect.getEditor());
  }

  HWND host = nullptr;
};

TEST_F(PanelEditorTest, RectangleOfThePanelAndOfTheBase) {
  DriveEffectWithEditor effect(HostRecorder::callback);
  EditorRect* rect = nullptr;
  EXPECT_EQ(editorOf(effect).getRect(&rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 400);
  EXPECT_EQ(rect->right, 270);
  EXPECT_EQ(effect.getDescriptor()->flags, 29);

  EditorBase base(effect);
  EXPECT_EQ(base.getRect(&rect), 0);
  EXPECT_EQ(rect, nullptr);
  EXPECT_EQ(base.open(host), 0);
}

TEST_F(PanelEditorTest, ClassAndBitmapsAreMadeOnceAndFreedByTheLastClose) {
  DriveEffectWithEditor first(HostRecorder::callback);
  DriveEffectWithEditor second(HostRecorder::callback);
  HWND secondHost = paneltest::createHostWindow(700, 200);
  for (HBITMAP handle : bitmapHandles()) {
    EXPECT_EQ(handle, nullptr);
  }
  EXPECT_FALSE(classRegistered());

  ASSERT_EQ(editorOf(first).open(host), 1);
  EXPECT_EQ(openPanelEditorCount(), 1);
  EXPECT_TRUE(classRegistered());
  const std::vector<HBITMAP> loaded = bitmapHandles();
  // Each handle is a bitmap made from its own resource.
  HDC screen = GetDC(nullptr);
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    SCOPED_TRACE(kBitmapFiles[i]);
    ASSERT_EQ(GetObjectType(loaded[i]), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_TRUE(samePicture(paneltest::readBitmap(screen, loaded[i]),
                            paneltest::loadResourceFile(kBitmapFiles[i])));
  }
  ReleaseDC(nullptr, screen);

  ASSERT_EQ(editorOf(second).open(secondHost), 1);
  EXPECT_EQ(openPanelEditorCount(), 2);
  EXPECT_EQ(bitmapHandles(), loaded);  // not loaded again

  editorOf(first).close();
  EXPECT_EQ(openPanelEditorCount(), 1);
  EXPECT_TRUE(classRegistered());
  EXPECT_EQ(bitmapHandles(), loaded);
  for (HBITMAP handle : loaded) {
    EXPECT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_BITMAP));
  }

  editorOf(second).close();
  EXPECT_EQ(openPanelEditorCount(), 0);
  EXPECT_FALSE(classRegistered());
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    EXPECT_EQ(panelBitmapHandle(kAllBitmaps[i]), nullptr);
    EXPECT_EQ(GetObjectType(loaded[i]), 0u) << kBitmapFiles[i] << " was not deleted";
  }

  ASSERT_EQ(editorOf(second).open(secondHost), 1);
  EXPECT_TRUE(classRegistered());
  for (HBITMAP handle : bitmapHandles()) {
    EXPECT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_BITMAP));
  }
  editorOf(second).close();
  DestroyWindow(secondHost);
}

class CountingEditor final : public PanelEditor {
 public:
  using PanelEditor::PanelEditor;
  void update() override {
    ++updates;
    PanelEditor::update();
  }
  int updates = 0;
};

TEST_F(PanelEditorTest, IdleRunsOneUpdateForAnyNumberOfPosts) {
  DriveEffect effect(HostRecorder::callback);
  auto* editor = new CountingEditor(effect, panelWindowSystem());  // the effect deletes it
  ASSERT_EQ(effect.getEditor(), editor);
  ASSERT_EQ(editor->open(host), 1);
  EXPECT_EQ(editor->updates, 1);  // open draws through update
  paneltest::pumpMessages();      // the first paint
  editor->idle();
  EXPECT_EQ(editor->updates, 1);
  editor->postUpdate();
  editor->postUpdate();
  effect.setParameter(2, 0.75f);
  editor->idle();
  editor->idle();
  EXPECT_EQ(editor->updates, 2);
  // A post from another thread is taken by the next idle.
  std::thread([&effect] { effect.setParameter(0, 0.25f); }).join();
  editor->idle();
  EXPECT_EQ(editor->updates, 3);
  EXPECT_TRUE(samePicture(
      paneltest::captureWindow(panelWindowHandle(*editor)),
      expectedPanel({{{9, 19}, {21, 9}, {32, 19}}, {"+ 2.5", "+ 5.0", "+ 7.5", "+ 2.0"}})));
  EXPECT_TRUE(programHost.automation().empty());
}

TEST_F(PanelEditorTest, SetParameterFromPanelAutomatesOnlyTheFourParameters) {
  DriveEffectWithEditor effect(HostRecorder::callback);
  PanelEditor& editor = editorOf(effect);
  editor.setParameterFromPanel(0.9f, 4);
  editor.setParameterFromPanel(0.9f, -1);
  EXPECT_TRUE(programHost.automation().empty());
  EXPECT_FALSE(editor.isUpdatePending());
  editor.setParameterFromPanel(0.9f, 3);
  EXPECT_EQ(programHost.automation(), (std::vector<AutomationReport>{{3, 0.9f}}));
  EXPECT_EQ(effect.getParameter(3), 0.9f);
  EXPECT_TRUE(editor.isUpdatePending());
}

TEST_F(PanelEditorTest, UpdateWithoutAWindowLeavesTheSharedTableAlone) {
  DriveEffectWithEditor closed(HostRecorder::callback);
  DriveEffectWithEditor shown(HostRecorder::callback);
  ASSERT_EQ(editorOf(closed).open(host), 1);
  editorOf(closed).close();
  ASSERT_EQ(editorOf(shown).open(host), 1);
  shown.setParameter(0, 0.9f);
  shown.getEditor()->idle();
  closed.setParameter(0, 0.1f);
  closed.getEditor()->idle();
  EXPECT_EQ(panelControlTable.value[0], 0.9f);
  // The closed panel shows its effect's value when it opens again.
  editorOf(shown).close();
  ASSERT_EQ(editorOf(closed).open(host), 1);
  paneltest::repaint(panelWindowHandle(editorOf(closed)));
  EXPECT_TRUE(samePicture(
      paneltest::captureWindow(panelWindowHandle(editorOf(closed))),
      expectedPanel({{{11, 27}, {21, 9}, {21, 9}}, {"+ 1.0", "+ 5.0", "+ 5.0", "+ 2.0"}})));
  editorOf(closed).close();
}

// ---- Drawing -----------------------------------------------------------------------------------

TEST_F(PanelEditorTest, DrawCallsRunOnlyWhenTheControlIsExactlyDirty) {
  DriveEffectWithEditor effect(HostRecorder::callback);
  PanelEditor& editor = editorOf(effect);
  ASSERT_EQ(editor.open(host), 1);
  HWND panel = panelWindowHandle(editor);
  paneltest::repaint(panel);
  ASSERT_TRUE(samePicture(paneltest::captureWindow(panel), expectedPanel(kDefaultView)));

  editor.restoreValues();
  panelControlTable.value[0] = 0.25f;
  panelControlTable.value[3] = 0.75f;
  for (std::int32_t flag : {0, 2, -1}) {
    panelControlTable.dirty[0] = flag;
    panelControlTable.dirty[3] = flag;
    editor.drawKnobControl(panelWindowOf(panel), 0);
    drawDisplay(panelWindowOf(panel), 3);
    EXPECT_EQ(panelControlTable.dirty[0], flag);
    EXPECT_EQ(panelControlTable.dirty[3], flag);
    EXPECT_TRUE(samePicture(paneltest::captureWindow(panel), expectedPanel(kDefaultView)));
  }
  panelControlTable.dirty[0] = 1;
  panelControlTable.dirty[3] = 1;
  editor.drawKnobControl(panelWindowOf(panel), 0);
  drawDisplay(panelWindowOf(panel), 3);
  EXPECT_EQ(panelControlTable.dirty[0], 0);
  EXPECT_EQ(panelControlTable.dirty[3], 0);
  EXPECT_TRUE(samePicture(
      paneltest::captureWindow(panel),
      expectedPanel({{{9, 19}, {21, 9}, {21, 9}}, {"+ 2.5", "+ 5.0", "+ 5.0", "+ 7.5"}})));
  // Control 3's knob lies outside the window: only its display changes.
  panelControlTable.value[3] = 0.05f;
  panelControlTable.dirty[3] = 1;
  editor.drawKnobControl(panelWindowOf(panel), 3);
  EXPECT_TRUE(samePicture(
      paneltest::captureWindow(panel),
      expectedPanel({{{9, 19}, {21, 9}, {21, 9}}, {"+ 2.5", "+ 5.0", "+ 5.0", "+ 0.5"}})));
  editor.close();
}

TEST_F(PanelEditorTest, PaintShowsThePanelsOwnValuesWhateverTheTableHolds) {
  DriveEffectWithEditor effect(HostRecorder::callback);
  PanelEditor& editor = editorOf(effect);
  effect.setParameter(0, 0.1f);
  effect.setParameter(1, 0.2f);
  effect.setParameter(2, 0.3f);
  effect.setParameter(3, 0.4f);
  ASSERT_EQ(editor.open(host), 1);
  HWND panel = panelWindowHandle(editor);
  for (std::int32_t i = 0; i < kPanelControlCount; ++i) {
    panelControlTable.value[i] = 0.95f;  // as another panel might leave it
  }
  paneltest::repaint(panel);
  EXPECT_TRUE(samePicture(
      paneltest::captureWindow(panel),
      expectedPanel({{{11, 27}, {9, 21}, {10, 16}}, {"+ 1.0", "+ 2.0", "+ 3.0", "+ 4.0"}})));
  editor.close();
}

TEST_F(PanelEditorTest, WindowWithoutAnEditorStillPaintsAndStepsTheLevel) {
  // A panel window whose user data holds no editor yet.
  acquirePanelResources();
  HWND panel = createPanelWindow(host);
  ASSERT_NE(panel, nullptr);
  panelControlTable.value[0] = 0.25f;
  paneltest::repaint(panel);
  // The background and the level's display; the knobs stay dirty and undrawn.
  PanelView view{{kNotDrawn, kNotDrawn, kNotDrawn}, {nullptr, nullptr, nullptr, "+ 2.0"}};
  EXPECT_TRUE(samePicture(paneltest::captureWindow(panel), expectedPanel(view)));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(panelControlTable.dirty[i], 1);
  }
  paneltest::pressAt(panel, 196, 111);  // level plus
  paneltest::pressAt(panel, 55, 30);    // knob 0 straight up
  EXPECT_EQ(panelControlTable.value[3], static_cast<float>(0.2f + 0.01));
  EXPECT_EQ(panelControlTable.value[0], 0.5f);
  view.displays[3] = "+ 2.1";
  EXPECT_TRUE(samePicture(paneltest::captureWindow(panel), expectedPanel(view)));
  EXPECT_TRUE(programHost.automation().empty());
  DestroyWindow(panel);
  releasePanelResources();
}

}  // namespace
