// The LV2 UI through its descriptor, as an X11 host drives it: it refuses to start without the
// features it needs, opens the panel in the host's window and asks for the panel's size, shows
// what port_event tells it, and sends what the hand does on the panel as port writes.
// Runs on a private display (with_xvfb.sh); the pointer is played through XTest.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/lv2/lv2_bundle.h"
#include "tools/plughost/host_window_x11.h"

namespace {

struct PortWrite {
  std::uint32_t port;
  std::uint32_t size;
  std::uint32_t protocol;
  float value;
};

struct Host {
  std::vector<PortWrite> writes;
  int width = 0;
  int height = 0;

  static void write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                    std::uint32_t protocol, const void* buffer) {
    float value = 0.0f;
    if (size == sizeof value) {
      value = *static_cast<const float*>(buffer);
    }
    static_cast<Host*>(controller)->writes.push_back({port, size, protocol, value});
  }
  static int resize(LV2UI_Feature_Handle handle, int width, int height) {
    static_cast<Host*>(handle)->width = width;
    static_cast<Host*>(handle)->height = height;
    return 0;
  }
};

const LV2UI_Descriptor& descriptor() {
  return *lv2ui_descriptor(0);
}

class Ui {
 public:
  Ui(Host& host, const LV2_Feature* const* features)
      : handle_(descriptor().instantiate(&descriptor(), kLv2PluginUri, "/", Host::write, &host,
                                         &widget_, features)) {}
  ~Ui() {
    if (handle_ != nullptr) {
      descriptor().cleanup(handle_);
    }
  }
  Ui(const Ui&) = delete;
  Ui& operator=(const Ui&) = delete;

  LV2UI_Handle handle() const { return handle_; }
  LV2UI_Widget widget() const { return widget_; }
  void portEvent(std::uint32_t port, float value) {
    descriptor().port_event(handle_, port, sizeof value, 0, &value);
  }
  int idle() {
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(
        descriptor().extension_data(LV2_UI__idleInterface));
    return idle->idle(handle_);
  }

 private:
  LV2UI_Widget widget_ = nullptr;
  LV2UI_Handle handle_;
};

// A host window, the features an X11 host gives, and the UI inside.
class Lv2UiInWindow : public testing::Test {
 protected:
  Lv2UiInWindow()
      : window(400, 500),
        // ui:parent carries the X11 window id in its pointer.
        parent{LV2_UI__parent,
               reinterpret_cast<void*>(  // NOLINT(performance-no-int-to-ptr)
                   static_cast<std::uintptr_t>(window.id()))},
        idleFeature{LV2_UI__idleInterface, nullptr},
        resizeFeature{LV2_UI__resize, &resize} {
    resize.handle = &host;
    resize.ui_resize = Host::resize;
  }

  // The host's turn between two actions: the server's events reach the UI at its idle.
  void settle(Ui& ui) {
    window.sync();
    EXPECT_EQ(ui.idle(), 0);
    window.sync();
  }
  void press(int x, int y) {
    window.pointerTo(x, y);
    window.leftButton(true);
    window.leftButton(false);
  }

  plughost::X11HostWindow window;
  Host host;
  LV2UI_Resize resize{};
  LV2_Feature parent;
  LV2_Feature idleFeature;
  LV2_Feature resizeFeature;
};

TEST(Lv2UiDescriptor, NamesTheUiOnce) {
  ASSERT_NE(lv2ui_descriptor(0), nullptr);
  EXPECT_STREQ(lv2ui_descriptor(0)->URI, kLv2UiUri);
  EXPECT_EQ(lv2ui_descriptor(1), nullptr);
  EXPECT_NE(descriptor().extension_data(LV2_UI__idleInterface), nullptr);
  EXPECT_EQ(descriptor().extension_data(LV2_UI__showInterface), nullptr);
}

TEST_F(Lv2UiInWindow, RefusesWithoutParentOrIdle) {
  const LV2_Feature zeroWindow{LV2_UI__parent, nullptr};
  const LV2_Feature* noParent[] = {&idleFeature, nullptr};
  const LV2_Feature* parentZero[] = {&zeroWindow, &idleFeature, nullptr};
  const LV2_Feature* noIdle[] = {&parent, &resizeFeature, nullptr};
  for (const LV2_Feature* const* features : {static_cast<const LV2_Feature* const*>(nullptr),
                                             static_cast<const LV2_Feature* const*>(noParent),
                                             static_cast<const LV2_Feature* const*>(parentZero),
                                             static_cast<const LV2_Feature* const*>(noIdle)}) {
    Ui ui(host, features);
    EXPECT_EQ(ui.handle(), nullptr);
  }
  EXPECT_EQ(window.childCount(), 0);
  EXPECT_TRUE(host.writes.empty());
}

TEST_F(Lv2UiInWindow, OpensThePanelInTheParentAndAsksForItsSize) {
  const LV2_Feature* features[] = {&parent, &idleFeature, &resizeFeature, nullptr};
  {
    Ui ui(host, features);
    ASSERT_NE(ui.handle(), nullptr);
    EXPECT_NE(ui.widget(), nullptr);
    window.sync();
    EXPECT_EQ(window.childCount(), 1);
    EXPECT_EQ(host.width, 270);
    EXPECT_EQ(host.height, 400);
    settle(ui);
  }
  window.sync();
  EXPECT_EQ(window.childCount(), 0);  // cleanup takes the panel's window away
  EXPECT_TRUE(host.writes.empty());   // opening and idling alone write nothing
}

TEST_F(Lv2UiInWindow, ResizeIsOptional) {
  const LV2_Feature* features[] = {&parent, &idleFeature, nullptr};
  Ui ui(host, features);
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(host.width, 0);
}

struct PadCase {
  const char* name;
  float levelFromHost;  // told through port_event before the press
  int x;
  int y;
  float written;
};

void PrintTo(const PadCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2UiPad : public Lv2UiInWindow, public testing::WithParamInterface<PadCase> {};

TEST_P(Lv2UiPad, PressReachesTheHostAsAPortWrite) {
  const PadCase& c = GetParam();
  const LV2_Feature* features[] = {&parent, &idleFeature, &resizeFeature, nullptr};
  Ui ui(host, features);
  ASSERT_NE(ui.handle(), nullptr);
  ui.portEvent(kLv2PortFirstControl + 3, c.levelFromHost);
  settle(ui);
  press(c.x, c.y);
  settle(ui);
  ASSERT_EQ(host.writes.size(), 1u);
  EXPECT_EQ(host.writes[0].port, kLv2PortFirstControl + 3);
  EXPECT_EQ(host.writes[0].size, sizeof(float));
  EXPECT_EQ(host.writes[0].protocol, 0u);
  EXPECT_FLOAT_EQ(host.writes[0].value, c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Lv2UiPad,
    testing::Values(PadCase{"upper_half_from_default", 0.2f, 100, 250, 0.25f},
                    PadCase{"upper_half_from_host_value", 0.5f, 100, 250, 0.55f},
                    PadCase{"lower_half_from_host_value", 0.5f, 100, 350, 0.45f}),
    [](const testing::TestParamInfo<PadCase>& info) { return std::string(info.param.name); });

TEST_F(Lv2UiInWindow, IgnoresEventsOfOtherPortsAndFormats) {
  const LV2_Feature* features[] = {&parent, &idleFeature, &resizeFeature, nullptr};
  Ui ui(host, features);
  ASSERT_NE(ui.handle(), nullptr);
  ui.portEvent(kLv2PortInLeft, 0.9f);  // an audio port: not a parameter
  ui.portEvent(kLv2PortCount, 0.9f);   // beyond the last port
  const double wide = 0.9;             // a control value of the wrong size
  descriptor().port_event(ui.handle(), kLv2PortFirstControl + 3, sizeof wide, 0, &wide);
  const float atom = 0.9f;  // another protocol
  descriptor().port_event(ui.handle(), kLv2PortFirstControl + 3, sizeof atom, 7, &atom);
  settle(ui);
  press(100, 250);
  settle(ui);
  ASSERT_EQ(host.writes.size(), 1u);
  EXPECT_FLOAT_EQ(host.writes[0].value, 0.25f);  // still from the default level
}

}  // namespace
