// The LV2 UI through its descriptor, as an X11 host drives it: it refuses to start without the
// features it needs, opens the panel in the host's window and asks for the panel's size, shows
// what port_event tells it, and sends what the hand does on the panel as port writes. Its zoom:
// the host's scale factor option (or the desktop's Xft.dpi) at open and later, the sizes asked of
// ui:resize, the menu's choice written to the zoom port, and the saved choice told back.
// Runs on a private display (with_xvfb.sh); the pointer is played through XTest.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>
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
constexpr Size kAt250{675, 1000};
constexpr Size kAt300{810, 1200};

struct Host {
  std::vector<PortWrite> writes;
  // The size of the last ui_resize call the host agreed to; 0 x 0 before any.
  int width = 0;
  int height = 0;
  // Every ui_resize call, agreed or not.
  std::vector<Size> resizeCalls;
  // What ui_resize answers: 0 agrees, anything else refuses.
  int resizeAnswer = 0;

  std::vector<float> zoomWrites() const {
    std::vector<float> values;
    for (const PortWrite& w : writes) {
      if (w.port == kLv2PortZoom) {
        values.push_back(w.value);
      }
    }
    return values;
  }

  static void write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                    std::uint32_t protocol, const void* buffer) {
    float value = 0.0f;
    if (size == sizeof value) {
      value = *static_cast<const float*>(buffer);
    }
    static_cast<Host*>(controller)->writes.push_back({port, size, protocol, value});
  }
  static int resize(LV2UI_Feature_Handle handle, int width, int height) {
    auto* host = static_cast<Host*>(handle);
    host->resizeCalls.push_back({width, height});
    if (host->resizeAnswer == 0) {
      host->width = width;
      host->height = height;
    }
    return host->resizeAnswer;
  }
};

// The host's URID map: each URI its number, counted from 1 in the order asked.
struct UridMap {
  std::vector<std::string> uris;

  LV2_URID id(const char* uri) {
    for (std::size_t i = 0; i < uris.size(); ++i) {
      if (uris[i] == uri) {
        return static_cast<LV2_URID>(i + 1);
      }
    }
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
  }
  static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<UridMap*>(handle)->id(uri);
  }
};

// A connection of the test's own to the display: the panel window's geometry, the desktop's
// resources, and the right mouse button, which the host window's pointer does not play.
class Display {
 public:
  Display() : connection_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~Display() {
    // The next test starts from a desktop without resources.
    setResources("");
    xcb_disconnect(connection_);
  }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  bool usable() const { return xcb_connection_has_error(connection_) == 0; }

  // Waits until the server has handled everything this connection sent.
  void sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  Size sizeOf(xcb_window_t window) {
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    if (geometry == nullptr) {
      return {0, 0};
    }
    const Size size{geometry->width, geometry->height};
    std::free(geometry);
    return size;
  }

  // The root window's resource database (what xrdb loads), empty for none.
  void setResources(std::string_view resources) {
    if (resources.empty()) {
      xcb_delete_property(connection_, root_, XCB_ATOM_RESOURCE_MANAGER);
    } else {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, XCB_ATOM_RESOURCE_MANAGER,
                          XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(resources.size()),
                          resources.data());
    }
    sync();
  }

  // Hears of the windows made in `parent` from now on (several clients may listen).
  void watchChildren(xcb_window_t parent) {
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, parent, XCB_CW_EVENT_MASK, &mask);
    sync();
  }
  // The sizes the windows made in a watched parent were created at, since the last call.
  std::vector<Size> createdChildren() {
    sync();
    std::vector<Size> sizes;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if ((event->response_type & 0x7f) == XCB_CREATE_NOTIFY) {
        const auto* created = reinterpret_cast<const xcb_create_notify_event_t*>(event);
        sizes.push_back({created->width, created->height});
      }
      std::free(event);
    }
    return sizes;
  }

  // A right click where the pointer is.
  void rightClick() {
    for (const std::uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE}) {
      xcb_test_fake_input(connection_, type, 3, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    sync();
  }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
};

// The window pixel at the middle of a panel pixel's block at a zoom.
int windowPixel(int panelPixel, int zoom) {
  return (panelPixel * zoom + zoom / 2) / 100;
}

// Where the zoom menu puts an item, for a right click at panel pixel (x, y) far enough from the
// panel's right and lower edges: the menu's top-left corner is that pixel, and item i fills rows
// 2 + 13 i to 13 i + 14 of it, columns 1 to 32.
struct MenuItemPoint {
  int x;
  int y;
};
MenuItemPoint menuItem(int menuX, int menuY, int zoom) {
  int item = 0;
  for (const std::int32_t offered : kLv2Zooms) {
    if (offered == zoom) {
      break;
    }
    ++item;
  }
  return {menuX + 16, menuY + 2 + 13 * item + 6};
}

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

  // The options feature with one option, the scale factor, of the type given (an atom type's
  // URI); a null type leaves the options empty.
  void scaleOption(const char* type, double factor) {
    scaleFloat = static_cast<float>(factor);
    scaleDouble = factor;
    options[0] = {};
    if (type != nullptr) {
      const bool isDouble = std::strcmp(type, LV2_ATOM__Double) == 0;
      options[0] = {LV2_OPTIONS_INSTANCE,
                    0,
                    urids.id(LV2_UI__scaleFactor),
                    isDouble ? static_cast<std::uint32_t>(sizeof scaleDouble)
                             : static_cast<std::uint32_t>(sizeof scaleFloat),
                    urids.id(type),
                    isDouble ? static_cast<const void*>(&scaleDouble) : &scaleFloat};
    }
  }
  // Everything an X11 host that zooms gives.
  std::vector<const LV2_Feature*> zoomFeatures(bool withResize = true) {
    std::vector<const LV2_Feature*> features = {&parent, &idleFeature, &mapFeature,
                                                &optionsFeature};
    if (withResize) {
      features.push_back(&resizeFeature);
    }
    features.push_back(nullptr);
    return features;
  }

  // The size of the panel's window, as the X server has it once the UI's requests are handled
  // (its idle ends with a round trip).
  Size panelSize(Ui& ui) {
    settle(ui);
    return display.sizeOf(static_cast<xcb_window_t>(reinterpret_cast<std::uintptr_t>(ui.widget())));
  }

  // A right click at window pixel (x, y), and a left click on the item of `choice` in the menu
  // that opens there, the panel being at `zoom`.
  void chooseFromMenu(Ui& ui, int zoom, int panelX, int panelY, int choice) {
    window.pointerTo(windowPixel(panelX, zoom), windowPixel(panelY, zoom));
    display.rightClick();
    settle(ui);
    const MenuItemPoint item = menuItem(panelX, panelY, choice);
    press(windowPixel(item.x, zoom), windowPixel(item.y, zoom));
    settle(ui);
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
  UridMap urids;
  LV2_URID_Map map{&urids, UridMap::map};
  LV2_Feature mapFeature{LV2_URID__map, &map};
  float scaleFloat = 0.0f;
  double scaleDouble = 0.0;
  LV2_Options_Option options[2] = {};  // the last stays zeroed: the end of the list
  LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
  Display display;
};

TEST(Lv2UiDescriptor, NamesTheUiOnce) {
  ASSERT_NE(lv2ui_descriptor(0), nullptr);
  EXPECT_STREQ(lv2ui_descriptor(0)->URI, kLv2UiUri);
  EXPECT_EQ(lv2ui_descriptor(1), nullptr);
  EXPECT_NE(descriptor().extension_data(LV2_UI__idleInterface), nullptr);
  EXPECT_NE(descriptor().extension_data(LV2_OPTIONS__interface), nullptr);
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

// ---- Zoom ----

struct ScaleCase {
  const char* name;
  const char* type;  // the option's atom type; null: no option at all
  double factor;
  Size opened;
};

void PrintTo(const ScaleCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2UiScaleOption : public Lv2UiInWindow, public testing::WithParamInterface<ScaleCase> {};

// The window is made at the offered zoom at or below the host's factor, and ui:resize hears of
// that size alone: the host never sees a 100 % panel first, nor does the screen.
TEST_P(Lv2UiScaleOption, OpensAtTheHostsFactor) {
  const ScaleCase& c = GetParam();
  scaleOption(c.type, c.factor);
  display.watchChildren(window.id());
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), c.opened);
  EXPECT_EQ(display.createdChildren(), std::vector<Size>{c.opened});  // made at it, not resized
  ASSERT_FALSE(host.resizeCalls.empty());
  for (const Size& asked : host.resizeCalls) {
    EXPECT_EQ(asked, c.opened);
  }
  EXPECT_EQ((Size{host.width, host.height}), c.opened);
  EXPECT_TRUE(host.writes.empty());  // the host's factor is no choice of the user's
}

// The private display has no Xft.dpi: without a usable factor the panel is at 100 %.
INSTANTIATE_TEST_SUITE_P(
    Factors, Lv2UiScaleOption,
    testing::Values(ScaleCase{"float_1_5", LV2_ATOM__Float, 1.5, kAt150},
                    ScaleCase{"float_2", LV2_ATOM__Float, 2.0, kAt200},
                    ScaleCase{"double_2_5", LV2_ATOM__Double, 2.5, kAt250},
                    ScaleCase{"float_3", LV2_ATOM__Float, 3.0, kAt300},
                    ScaleCase{"float_1_75_below_200", LV2_ATOM__Float, 1.75, kAt150},
                    ScaleCase{"float_1_25_below_150", LV2_ATOM__Float, 1.25, kAt100},
                    ScaleCase{"float_4_beyond_the_largest", LV2_ATOM__Float, 4.0, kAt300},
                    ScaleCase{"float_0_5_below_the_smallest", LV2_ATOM__Float, 0.5, kAt100},
                    ScaleCase{"negative_refused", LV2_ATOM__Float, -2.0, kAt100},
                    ScaleCase{"int_type_refused", LV2_ATOM__Int, 2.0, kAt100},
                    ScaleCase{"no_option", nullptr, 0.0, kAt100}),
    [](const testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.name); });

struct DesktopCase {
  const char* name;
  const char* resources;  // the root window's resource database
  const char* type;       // the host's scale factor option, if any
  double factor;
  Size opened;
};

void PrintTo(const DesktopCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2UiDesktop : public Lv2UiInWindow, public testing::WithParamInterface<DesktopCase> {};

// Without the host's factor the desktop's Xft.dpi decides (96 is 100 %); a host's factor replaces
// it and is never multiplied by it.
TEST_P(Lv2UiDesktop, FollowsXftDpiUnlessTheHostScales) {
  const DesktopCase& c = GetParam();
  ASSERT_TRUE(display.usable());
  display.setResources(c.resources);
  scaleOption(c.type, c.factor);
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), c.opened);
  EXPECT_EQ((Size{host.width, host.height}), c.opened);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, Lv2UiDesktop,
    testing::Values(
        DesktopCase{"dpi_144", "Xft.dpi:\t144\n", nullptr, 0.0, kAt150},
        DesktopCase{"dpi_192_among_others", "Xft.antialias:\t1\nXft.dpi: 192\nXft.hinting:\t1\n",
                    nullptr, 0.0, kAt200},
        DesktopCase{"dpi_96", "Xft.dpi:\t96\n", nullptr, 0.0, kAt100},
        DesktopCase{"dpi_192_host_factor_1", "Xft.dpi:\t192\n", LV2_ATOM__Float, 1.0, kAt100},
        DesktopCase{"dpi_192_host_factor_1_5", "Xft.dpi:\t192\n", LV2_ATOM__Float, 1.5, kAt150}),
    [](const testing::TestParamInfo<DesktopCase>& info) { return std::string(info.param.name); });

TEST_F(Lv2UiInWindow, OptionsNeedTheUridMap) {
  // Without urid:map the option's key cannot be read: the panel opens as without one.
  scaleOption(LV2_ATOM__Float, 2.0);
  const LV2_Feature* features[] = {&parent, &idleFeature, &resizeFeature, &optionsFeature, nullptr};
  Ui ui(host, features);
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), kAt100);
}

struct MenuCase {
  const char* name;
  double hostFactor;  // 0: no option
  int resizeAnswer;   // what the host's ui_resize answers
  bool withResize;    // whether the host gives ui:resize at all
  int choice;
  Size after;
  std::vector<float> zoomWrites;
};

void PrintTo(const MenuCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2UiZoomMenu : public Lv2UiInWindow, public testing::WithParamInterface<MenuCase> {};

// A right click opens the menu, a left click on an item asks the host for that zoom's size; the
// panel takes it and the choice goes to the zoom port only when the host agreed. A host without
// ui:resize follows the panel's window.
TEST_P(Lv2UiZoomMenu, ChoiceGoesThroughTheHost) {
  const MenuCase& c = GetParam();
  if (c.hostFactor > 0.0) {
    scaleOption(LV2_ATOM__Float, c.hostFactor);
  }
  Ui ui(host, zoomFeatures(c.withResize).data());
  ASSERT_NE(ui.handle(), nullptr);
  const int opened = c.hostFactor > 0.0 ? static_cast<int>(c.hostFactor * 100.0) : 100;
  settle(ui);
  const std::size_t callsBefore = host.resizeCalls.size();
  host.resizeAnswer = c.resizeAnswer;
  chooseFromMenu(ui, opened, 120, 150, c.choice);
  EXPECT_EQ(panelSize(ui), c.after);
  if (c.withResize) {
    // One request, for the chosen zoom's size, whatever the answer.
    ASSERT_EQ(host.resizeCalls.size(), callsBefore + 1);
    const std::int32_t chosen = c.choice;
    const Size asked = host.resizeCalls.back();
    EXPECT_EQ(asked.width, 270 * chosen / 100);
    EXPECT_EQ(asked.height, 400 * chosen / 100);
  }
  EXPECT_EQ(host.zoomWrites(), c.zoomWrites);
  // Nothing but the zoom: the press on the menu is no press on the panel below it.
  EXPECT_EQ(host.writes.size(), c.zoomWrites.size());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, Lv2UiZoomMenu,
    testing::Values(MenuCase{"host_agrees_200", 0.0, 0, true, 200, kAt200, {200.0f}},
                    MenuCase{"host_agrees_300", 0.0, 0, true, 300, kAt300, {300.0f}},
                    MenuCase{"host_refuses", 0.0, 1, true, 200, kAt100, {}},
                    MenuCase{"from_150_back_to_100", 1.5, 0, true, 100, kAt100, {100.0f}},
                    MenuCase{"from_150_refused", 1.5, 1, true, 250, kAt150, {}},
                    MenuCase{"without_ui_resize", 0.0, 0, false, 250, kAt250, {250.0f}}),
    [](const testing::TestParamInfo<MenuCase>& info) { return std::string(info.param.name); });

// The menu's own items are where its drawing says: a click beside the menu closes it and
// chooses nothing, and the panel is usable again afterwards.
TEST_F(Lv2UiInWindow, ClickBesideTheMenuChoosesNothing) {
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  settle(ui);
  const std::size_t callsBefore = host.resizeCalls.size();
  window.pointerTo(120, 150);
  display.rightClick();
  settle(ui);
  press(120 + 40, 150 + 30);  // right of the menu
  settle(ui);
  EXPECT_EQ(host.resizeCalls.size(), callsBefore);
  EXPECT_TRUE(host.writes.empty());
  EXPECT_EQ(panelSize(ui), kAt100);
  press(100, 250);  // the level's pad, as before any menu
  settle(ui);
  ASSERT_EQ(host.writes.size(), 1u);
  EXPECT_EQ(host.writes[0].port, kLv2PortFirstControl + 3);
}

struct SavedZoomCase {
  const char* name;
  float saved;  // the zoom port's value the host tells
  Size shown;
};

void PrintTo(const SavedZoomCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2UiSavedZoom : public Lv2UiInWindow, public testing::WithParamInterface<SavedZoomCase> {};

// A session's zoom comes back through port_event after the UI is made, as hosts tell a new UI
// every port's value; a value that is no offered zoom (an old or hand-edited session) is no
// choice, and the host's factor (here 1.5) holds.
TEST_P(Lv2UiSavedZoom, PortEventResizesToTheSavedZoom) {
  const SavedZoomCase& c = GetParam();
  scaleOption(LV2_ATOM__Float, 1.5);
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), kAt150);
  ui.portEvent(kLv2PortZoom, c.saved);
  EXPECT_EQ(panelSize(ui), c.shown);
  EXPECT_EQ(host.resizeCalls.back(), c.shown);
  EXPECT_EQ((Size{host.width, host.height}), c.shown);
  EXPECT_TRUE(host.writes.empty());  // the host's own value is not written back
}

INSTANTIATE_TEST_SUITE_P(Values, Lv2UiSavedZoom,
                         testing::Values(SavedZoomCase{"zoom_200", 200.0f, kAt200},
                                         SavedZoomCase{"zoom_100", 100.0f, kAt100},
                                         SavedZoomCase{"zoom_300", 300.0f, kAt300},
                                         SavedZoomCase{"nearly_250", 249.6f, kAt250},
                                         SavedZoomCase{"follow_the_host", 0.0f, kAt150},
                                         SavedZoomCase{"not_offered_175", 175.0f, kAt150},
                                         SavedZoomCase{"negative", -100.0f, kAt150},
                                         SavedZoomCase{"huge", 1.0e12f, kAt150},
                                         SavedZoomCase{"not_a_number", std::nanf(""), kAt150}),
                         [](const testing::TestParamInfo<SavedZoomCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Lv2UiInWindow, SavedZoomThenNoneFollowsTheHostAgain) {
  scaleOption(LV2_ATOM__Float, 2.0);
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), kAt200);
  ui.portEvent(kLv2PortZoom, 100.0f);
  EXPECT_EQ(panelSize(ui), kAt100);
  ui.portEvent(kLv2PortZoom, 0.0f);  // a preset without a choice
  EXPECT_EQ(panelSize(ui), kAt200);
  EXPECT_EQ(host.resizeCalls.back(), kAt200);
  EXPECT_TRUE(host.writes.empty());
}

TEST_F(Lv2UiInWindow, SavedZoomRefusedByTheHostKeepsTheSize) {
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), kAt100);
  host.resizeAnswer = 1;
  ui.portEvent(kLv2PortZoom, 200.0f);
  EXPECT_EQ(panelSize(ui), kAt100);
  EXPECT_EQ(host.resizeCalls.back(), kAt200);  // asked, refused
  EXPECT_EQ((Size{host.width, host.height}), kAt100);
}

// The choice written to the zoom port is what the next UI of the same plug-in gets back: it
// opens at the host's factor and goes to the saved zoom.
TEST_F(Lv2UiInWindow, ChoiceSurvivesIntoTheNextUi) {
  float kept = 0.0f;
  {
    Ui ui(host, zoomFeatures().data());
    ASSERT_NE(ui.handle(), nullptr);
    settle(ui);
    chooseFromMenu(ui, 100, 120, 150, 200);
    ASSERT_EQ(host.zoomWrites().size(), 1u);
    kept = host.zoomWrites()[0];
  }
  Host next;
  resize.handle = &next;
  Ui ui(next, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), kAt100);
  ui.portEvent(kLv2PortZoom, kept);
  EXPECT_EQ(panelSize(ui), kAt200);
  EXPECT_EQ((Size{next.width, next.height}), kAt200);
}

const LV2_Options_Interface& optionsInterface() {
  return *static_cast<const LV2_Options_Interface*>(
      descriptor().extension_data(LV2_OPTIONS__interface));
}

// A host that changes its scale later (the window moved to another screen) sets the option
// again: the panel follows unless the user chose a zoom.
TEST_F(Lv2UiInWindow, OptionsInterfaceChangesTheScaleLater) {
  scaleOption(LV2_ATOM__Float, 1.0);
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  EXPECT_EQ(panelSize(ui), kAt100);

  scaleOption(LV2_ATOM__Double, 2.0);
  EXPECT_EQ(optionsInterface().set(ui.handle(), options), LV2_OPTIONS_SUCCESS);
  EXPECT_EQ(panelSize(ui), kAt200);
  EXPECT_EQ((Size{host.width, host.height}), kAt200);

  // What the panel now knows of the host's scale.
  LV2_Options_Option asked[2] = {};
  asked[0] = {LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_UI__scaleFactor), 0, 0, nullptr};
  EXPECT_EQ(optionsInterface().get(ui.handle(), asked), LV2_OPTIONS_SUCCESS);
  ASSERT_NE(asked[0].value, nullptr);
  EXPECT_EQ(asked[0].type, urids.id(LV2_ATOM__Float));
  ASSERT_EQ(asked[0].size, sizeof(float));
  EXPECT_EQ(*static_cast<const float*>(asked[0].value), 2.0f);

  // A chosen zoom outlasts the host's changes.
  ui.portEvent(kLv2PortZoom, 150.0f);
  EXPECT_EQ(panelSize(ui), kAt150);
  scaleOption(LV2_ATOM__Float, 3.0);
  EXPECT_EQ(optionsInterface().set(ui.handle(), options), LV2_OPTIONS_SUCCESS);
  EXPECT_EQ(panelSize(ui), kAt150);
  ui.portEvent(kLv2PortZoom, 0.0f);
  EXPECT_EQ(panelSize(ui), kAt300);
}

struct BadOptionCase {
  const char* name;
  LV2_Options_Context context;
  const char* key;
  const char* type;
  double value;
  std::uint32_t status;
};

void PrintTo(const BadOptionCase& c, std::ostream* out) {
  *out << c.name;
}

class Lv2UiBadOption : public Lv2UiInWindow, public testing::WithParamInterface<BadOptionCase> {};

TEST_P(Lv2UiBadOption, IsRefusedWithItsReasonAndChangesNothing) {
  const BadOptionCase& c = GetParam();
  Ui ui(host, zoomFeatures().data());
  ASSERT_NE(ui.handle(), nullptr);
  settle(ui);
  const std::size_t callsBefore = host.resizeCalls.size();
  scaleOption(c.type, c.value);
  options[0].context = c.context;
  options[0].key = urids.id(c.key);
  EXPECT_EQ(optionsInterface().set(ui.handle(), options), c.status);
  EXPECT_EQ(panelSize(ui), kAt100);
  EXPECT_EQ(host.resizeCalls.size(), callsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Options, Lv2UiBadOption,
    testing::Values(BadOptionCase{"another_key", LV2_OPTIONS_INSTANCE, LV2_UI__updateRate,
                                  LV2_ATOM__Float, 2.0, LV2_OPTIONS_ERR_BAD_KEY},
                    BadOptionCase{"a_port_subject", LV2_OPTIONS_PORT, LV2_UI__scaleFactor,
                                  LV2_ATOM__Float, 2.0, LV2_OPTIONS_ERR_BAD_SUBJECT},
                    BadOptionCase{"zero", LV2_OPTIONS_INSTANCE, LV2_UI__scaleFactor,
                                  LV2_ATOM__Float, 0.0, LV2_OPTIONS_ERR_BAD_VALUE},
                    BadOptionCase{"infinite", LV2_OPTIONS_INSTANCE, LV2_UI__scaleFactor,
                                  LV2_ATOM__Double, HUGE_VAL, LV2_OPTIONS_ERR_BAD_VALUE},
                    BadOptionCase{"an_int", LV2_OPTIONS_INSTANCE, LV2_UI__scaleFactor,
                                  LV2_ATOM__Int, 2.0, LV2_OPTIONS_ERR_BAD_VALUE}),
    [](const testing::TestParamInfo<BadOptionCase>& info) { return std::string(info.param.name); });

}  // namespace
