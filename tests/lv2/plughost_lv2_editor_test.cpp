// plughost's LV2 host with the bundle's UI in its X11 window, on a private display: the scale
// factor it hands the UI (Plugin::setEditorScale), the UI's ui:resize requests going through the
// command's resizer, editorRect following them, and the zoom chosen on the panel kept in the
// hidden zoom port (no parameter, no automation) and told to the next UI.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/plughost/host_window_x11.h"
#include "tools/plughost/lv2_host.h"

namespace {

using plughost::Lv2HostedPlugin;
using plughost::X11HostWindow;

struct Size {
  int width;
  int height;
  friend bool operator==(const Size&, const Size&) = default;
};

void PrintTo(const Size& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}

constexpr Size kAt100{270, 400};
constexpr Size kAt150{405, 600};
constexpr Size kAt200{540, 800};

Size sizeOf(const std::optional<EditorRect>& rect) {
  return rect ? Size{rect->right - rect->left, rect->bottom - rect->top} : Size{-1, -1};
}

// The test's own connection: the editor's window in the host's, and the right mouse button.
class Display {
 public:
  Display() : connection_(xcb_connect(nullptr, nullptr)) {}
  ~Display() { xcb_disconnect(connection_); }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  void sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  // The size of the one window made in `parent`; 0 x 0 without exactly one.
  Size childOf(xcb_window_t parent) {
    sync();
    Size size{0, 0};
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), nullptr);
    if (tree == nullptr) {
      return size;
    }
    if (xcb_query_tree_children_length(tree) == 1) {
      const xcb_window_t child = xcb_query_tree_children(tree)[0];
      if (xcb_get_geometry_reply_t* geometry =
              xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, child), nullptr)) {
        size = {geometry->width, geometry->height};
        std::free(geometry);
      }
    }
    std::free(tree);
    return size;
  }

  void rightClick() {
    for (const std::uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE}) {
      xcb_test_fake_input(connection_, type, 3, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    sync();
  }

 private:
  xcb_connection_t* connection_;
};

// A window large enough for the panel at 200 %, the plug-in and a resizer that records every
// request and answers as `agrees` says.
class Lv2Editor : public testing::Test {
 protected:
  Lv2Editor() : window(560, 820), plugin(DRIVE_LV2_BUNDLE) {}

  void recordResizes(bool (*agrees)(Size)) {
    plugin.setEditorResizer([this, agrees](int width, int height) {
      requests.push_back({width, height});
      return agrees(Size{width, height});
    });
  }
  void open() { plugin.openEditor(window.parentPointer()); }
  // Passes of the host's loop: the UI's events are handled in its idle.
  void settle() {
    for (int i = 0; i < 3; ++i) {
      window.pump();
      plugin.idleEditor();
    }
    window.pump();
  }
  Size shown() {
    settle();
    return display.childOf(window.id());
  }

  X11HostWindow window;
  Lv2HostedPlugin plugin;
  Display display;
  std::vector<Size> requests;
};

bool always(Size /*size*/) {
  return true;
}

struct ScaleCase {
  const char* name;
  double scale;  // 0: setEditorScale is not called
  Size opened;
};

void PrintTo(const ScaleCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2EditorScale : public Lv2Editor, public testing::WithParamInterface<ScaleCase> {};

// The scale reaches the UI as its ui:scaleFactor option: the panel opens at it, asks the
// resizer for that size alone, and editorRect answers it.
TEST_P(Lv2EditorScale, OpensAtTheScaleGiven) {
  const ScaleCase& c = GetParam();
  recordResizes(always);
  if (c.scale > 0.0) {
    plugin.setEditorScale(c.scale);
  }
  open();
  EXPECT_EQ(shown(), c.opened);
  EXPECT_EQ(sizeOf(plugin.editorRect()), c.opened);
  ASSERT_FALSE(requests.empty());
  for (const Size& asked : requests) {
    EXPECT_EQ(asked, c.opened);
  }
  EXPECT_EQ(plugin.parameterCount(), 4);
  EXPECT_TRUE(plugin.automation().empty());
}

// The private display has no Xft.dpi: without a scale the panel is at 100 %.
INSTANTIATE_TEST_SUITE_P(
    Scales, Lv2EditorScale,
    testing::Values(ScaleCase{"scale_1_5", 1.5, kAt150}, ScaleCase{"scale_2", 2.0, kAt200},
                    ScaleCase{"scale_1_4", 1.4, kAt100}, ScaleCase{"no_scale", 0.0, kAt100}),
    [](const testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.name); });

TEST_F(Lv2Editor, ARefusingHostKeepsThePanelAtItsSize) {
  recordResizes([](Size size) { return size == kAt100; });  // a window of one size
  plugin.setEditorScale(2.0);
  open();
  EXPECT_EQ(shown(), kAt100);
  EXPECT_EQ(sizeOf(plugin.editorRect()), kAt100);
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front(), kAt200);  // asked first, refused
}

TEST_F(Lv2Editor, WithoutAResizerEverySizeIsTaken) {
  plugin.setEditorScale(2.0);
  open();
  EXPECT_EQ(shown(), kAt200);
  EXPECT_EQ(sizeOf(plugin.editorRect()), kAt200);
}

TEST_F(Lv2Editor, ScaleChangedWhileOpenResizes) {
  recordResizes(always);
  open();
  EXPECT_EQ(shown(), kAt100);
  plugin.setEditorScale(1.5);
  EXPECT_EQ(shown(), kAt150);
  EXPECT_EQ(sizeOf(plugin.editorRect()), kAt150);
  EXPECT_EQ(requests.back(), kAt150);
}

// The menu's choice reaches the host as a write to the hidden zoom port: no automation, the
// four parameters untouched, the port's value changed for the plug-in's next run and told to the
// next UI, which opens at the host's scale and goes to the saved zoom.
TEST_F(Lv2Editor, MenuChoiceIsKeptInTheZoomPort) {
  recordResizes(always);
  plugin.setup(48000.0, 64);
  plugin.setActive(true);
  open();
  EXPECT_EQ(shown(), kAt100);
  window.raise();
  window.pointerTo(120, 150);
  display.rightClick();
  settle();
  // The menu opens at the click; its third item (200 %) is 28 to 40 rows below its top.
  window.pointerTo(120 + 16, 150 + 2 + 2 * 13 + 6);
  window.leftButton(true);
  window.leftButton(false);
  EXPECT_EQ(shown(), kAt200);
  EXPECT_EQ(requests.back(), kAt200);
  EXPECT_EQ(sizeOf(plugin.editorRect()), kAt200);
  EXPECT_TRUE(plugin.automation().empty());
  const float defaults[] = {0.5f, 0.5f, 0.5f, 0.2f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plugin.parameter(i), defaults[i]) << "parameter " << i;
  }

  std::vector<float> in(64, 0.0f);
  std::vector<float> left(64);
  std::vector<float> right(64);
  float* inputs[] = {in.data(), in.data()};
  float* outputs[] = {left.data(), right.data()};
  plugin.processReplacing(inputs, outputs, 64);
  EXPECT_EQ(plugin.lv2().hiddenControls(), (std::vector<float>{200.0f}));

  plugin.closeEditor();
  open();
  EXPECT_EQ(shown(), kAt200);
  EXPECT_EQ(sizeOf(plugin.editorRect()), kAt200);
  EXPECT_TRUE(plugin.automation().empty());
}

}  // namespace
