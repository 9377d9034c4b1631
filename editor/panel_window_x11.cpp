#include "editor/panel_window_x11.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "editor/panel_bitmap_data.h"

namespace {

// Writing to the socket of a display that went away raises SIGPIPE, whose default action would
// end the host. Blocked for this thread while the panel talks to the display, and taken back
// if it arrived meanwhile; the host's own handling of the signal is left as it was.
class QuietBrokenPipe {
 public:
  QuietBrokenPipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~QuietBrokenPipe() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{0, 0};
      sigtimedwait(&pipe_, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  QuietBrokenPipe(const QuietBrokenPipe&) = delete;
  QuietBrokenPipe& operator=(const QuietBrokenPipe&) = delete;

 private:
  sigset_t pipe_;
  sigset_t previous_;
  bool wasPending_ = false;
};

// How the window's visual packs a 0x00RRGGBB word into a 32-bit pixel.
struct PixelFormat {
  std::uint8_t depth = 0;
  xcb_visualid_t visual = 0;
  std::uint32_t masks[3] = {};  // red, green, blue
  bool swapBytes = false;       // the server wants the other byte order
};

std::uint32_t channelInto(std::uint32_t value8, std::uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) {
    ++shift;
  }
  int bits = 0;
  while (shift + bits < 32 && ((mask >> (shift + bits)) & 1u) != 0) {
    ++bits;
  }
  const std::uint32_t scaled = bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits);
  return (scaled << shift) & mask;
}

std::uint32_t toPixel(std::uint32_t rgb, const PixelFormat& format) {
  std::uint32_t pixel = channelInto((rgb >> 16) & 0xffu, format.masks[0]) |
                        channelInto((rgb >> 8) & 0xffu, format.masks[1]) |
                        channelInto(rgb & 0xffu, format.masks[2]);
  if (format.swapBytes) {
    pixel = ((pixel & 0xffu) << 24) | ((pixel & 0xff00u) << 8) | ((pixel >> 8) & 0xff00u) |
            (pixel >> 24);
  }
  return pixel;
}

bool nativeIsLittleEndian() {
  const std::uint16_t probe = 1;
  return *reinterpret_cast<const std::uint8_t*>(&probe) == 1;
}

// The screen whose root is `root`, or null.
xcb_screen_t* screenOfRoot(xcb_connection_t* connection, xcb_window_t root) {
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem > 0;
       xcb_screen_next(&it)) {
    if (it.data->root == root) {
      return it.data;
    }
  }
  return nullptr;
}

// The screen's own visual, when it is true colour with 32 bits per pixel (every depth-24 and
// depth-32 display today); nothing otherwise.
bool rootPixelFormat(xcb_connection_t* connection, const xcb_screen_t& screen,
                     PixelFormat& format) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  bool thirtyTwoBits = false;
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    if (it.data->depth == screen.root_depth) {
      thirtyTwoBits = it.data->bits_per_pixel == 32;
    }
  }
  if (!thirtyTwoBits) {
    return false;
  }
  for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t& v = *visuals.data;
      if (v.visual_id == screen.root_visual && v._class == XCB_VISUAL_CLASS_TRUE_COLOR) {
        format.depth = screen.root_depth;
        format.visual = v.visual_id;
        format.masks[0] = v.red_mask;
        format.masks[1] = v.green_mask;
        format.masks[2] = v.blue_mask;
        format.swapBytes =
            (setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) != nativeIsLittleEndian();
        return true;
      }
    }
  }
  return false;
}

class X11PanelWindow final : public PanelWindow {
 public:
  X11PanelWindow(xcb_connection_t* connection, xcb_window_t window, const PixelFormat& format,
                 std::int32_t zoom)
      : PanelWindow(embeddedPanelBitmaps(), zoom),
        connection_(connection),
        window_(window),
        format_(format) {}

  ~X11PanelWindow() override { release(); }

  // The window off the screen and the connection closed, at once, even while a handler still
  // runs on this object (its memory goes later, see PanelWindow::dispose).
  void release() {
    if (connection_ == nullptr) {
      return;
    }
    QuietBrokenPipe quiet;
    if (usable()) {
      // Already gone when the host destroyed its parent first; the error that answers it then
      // is read by nobody.
      xcb_destroy_window(connection_, window_);
      // Gone from the screen when close returns: a host that looks at its window right after
      // must not find the panel there still.
      std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    xcb_disconnect(connection_);
    connection_ = nullptr;
  }

  xcb_window_t id() const { return window_; }

  void handleEvents() {
    QuietBrokenPipe quiet;
    // A handler may close the editor from inside the host's callback: then the connection is
    // gone and the events still queued on it with it.
    while (connection_ != nullptr && xcb_connection_has_error(connection_) == 0) {
      xcb_generic_event_t* event = xcb_poll_for_event(connection_);
      if (event == nullptr) {
        break;
      }
      dispatch(*event);
      std::free(event);
    }
  }

  void finishDrawing() {
    if (drew_ && usable()) {
      QuietBrokenPipe quiet;
      // What was drawn is on the screen before idle returns: one round trip, so that a host
      // (or a test) that reads the window back sees it.
      std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    drew_ = false;
  }

 protected:
  void present(const PanelRect& changed) override {
    if (!usable()) {
      return;
    }
    QuietBrokenPipe quiet;
    // Requests have a size limit, and the scratch holds one panel's worth of pixels: a large
    // rectangle goes in bands of whole rows.
    const std::uint32_t limitBytes = xcb_get_maximum_request_length(connection_) * 4u - 64u;
    const std::uint32_t rowBytes = static_cast<std::uint32_t>(changed.width) * 4u;
    const auto bandRows = static_cast<std::int32_t>(std::max<std::uint32_t>(
        1, std::min<std::uint32_t>(limitBytes / rowBytes,
                                   static_cast<std::uint32_t>(kScratchPixels / changed.width))));
    for (std::int32_t top = 0; top < changed.height; top += bandRows) {
      const std::int32_t rows = std::min(bandRows, changed.height - top);
      composeWindowPixels({changed.x, changed.y + top, changed.width, rows}, scratch_,
                          changed.width);
      for (std::int32_t i = 0; i < rows * changed.width; ++i) {
        scratch_[i] = toPixel(scratch_[i], format_);
      }
      xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, graphics(),
                    static_cast<std::uint16_t>(changed.width), static_cast<std::uint16_t>(rows),
                    static_cast<std::int16_t>(changed.x),
                    static_cast<std::int16_t>(changed.y + top), 0, format_.depth,
                    static_cast<std::uint32_t>(rows) * rowBytes,
                    reinterpret_cast<const std::uint8_t*>(scratch_));
    }
    xcb_flush(connection_);
    drew_ = true;
  }

  void resize(const PanelSize& size) override {
    if (!usable()) {
      return;
    }
    QuietBrokenPipe quiet;
    const std::uint32_t values[] = {static_cast<std::uint32_t>(size.width),
                                    static_cast<std::uint32_t>(size.height)};
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(connection_);
    drew_ = true;
  }

 private:
  bool usable() const {
    return connection_ != nullptr && !gone_ && xcb_connection_has_error(connection_) == 0;
  }

  xcb_gcontext_t graphics() {
    if (graphics_ == 0) {
      graphics_ = xcb_generate_id(connection_);
      xcb_create_gc(connection_, graphics_, window_, 0, nullptr);
    }
    return graphics_;
  }

  void dispatch(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
      case XCB_EXPOSE: {
        const auto& expose = reinterpret_cast<const xcb_expose_event_t&>(event);
        // Every paint redraws everything, so the last of a series is enough.
        if (expose.window == window_ && expose.count == 0) {
          paint();
        }
        break;
      }
      case XCB_BUTTON_PRESS: {
        const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
        // The left button works the panel and the right one opens the zoom menu; the others
        // (the wheel among them) do nothing.
        if (press.event == window_ && press.detail == 1) {
          leftButtonDown(press.event_x, press.event_y);
        } else if (press.event == window_ && press.detail == 3) {
          rightButtonDown(press.event_x, press.event_y);
        }
        break;
      }
      case XCB_MOTION_NOTIFY: {
        const auto& motion = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
        if (motion.event == window_) {
          mouseMove(motion.event_x, motion.event_y,
                    (motion.state & XCB_KEY_BUT_MASK_BUTTON_1) != 0);
        }
        break;
      }
      case XCB_DESTROY_NOTIFY: {
        const auto& destroy = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        if (destroy.window == window_) {
          gone_ = true;  // with its parent: nothing may be drawn into it any more
        }
        break;
      }
      default:
        // Errors of requests nobody waits for (a window destroyed under the panel) and
        // everything else the panel did not ask for.
        break;
    }
  }

  xcb_connection_t* connection_;
  xcb_window_t window_;
  PixelFormat format_;
  xcb_gcontext_t graphics_ = 0;
  bool gone_ = false;
  bool drew_ = false;
  static constexpr std::int32_t kScratchPixels = PanelCanvas::width * PanelCanvas::height;
  std::uint32_t scratch_[kScratchPixels] = {};
};

// The dots per inch the desktop asks fonts and pictures to be drawn at: the `Xft.dpi` resource
// of the display's resource database (the root window's RESOURCE_MANAGER property), 0 when it
// names none.
std::int32_t resourceDpi(xcb_connection_t* connection, xcb_window_t root) {
  xcb_get_property_reply_t* reply =
      xcb_get_property_reply(connection,
                             xcb_get_property(connection, 0, root, XCB_ATOM_RESOURCE_MANAGER,
                                              XCB_ATOM_STRING, 0, 1u << 16),
                             nullptr);
  if (reply == nullptr) {
    return 0;
  }
  const std::string_view resources(static_cast<const char*>(xcb_get_property_value(reply)),
                                   static_cast<std::size_t>(xcb_get_property_value_length(reply)));
  std::int32_t dpi = 0;
  constexpr std::string_view kName = "Xft.dpi:";
  for (std::size_t at = 0; at < resources.size();) {
    std::size_t end = resources.find('\n', at);
    if (end == std::string_view::npos) {
      end = resources.size();
    }
    std::string_view line = resources.substr(at, end - at);
    at = end + 1;
    if (line.substr(0, kName.size()) != kName) {
      continue;
    }
    line.remove_prefix(kName.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      line.remove_prefix(1);
    }
    // Without the locale's decimal point, which a host may have changed.
    double value = 0.0;
    if (std::from_chars(line.data(), line.data() + line.size(), value).ec == std::errc{} &&
        value > 0.0 && value < 10000.0) {
      dpi = static_cast<std::int32_t>(value);
    }
  }
  std::free(reply);
  return dpi;
}

std::int32_t desktopZoomOf(xcb_window_t parent) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  std::int32_t zoom = kPanelZooms[0];
  if (xcb_connection_has_error(connection) == 0) {
    // The resource database lives on the first screen's root; the parent's screen is asked
    // first where it has its own.
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (parent != 0) {
      if (xcb_get_geometry_reply_t* geometry =
              xcb_get_geometry_reply(connection, xcb_get_geometry(connection, parent), nullptr)) {
        root = geometry->root;
        std::free(geometry);
      }
    }
    std::int32_t dpi = resourceDpi(connection, root);
    if (dpi == 0) {
      dpi = resourceDpi(connection, xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root);
    }
    zoom = panelZoomForDpi(dpi);
  }
  xcb_disconnect(connection);
  return zoom;
}

X11PanelWindow* createX11Window(xcb_window_t parent, std::int32_t zoom) {
  // The display the host's environment names; none at all (a headless host) means no panel.
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  // The parent must exist, and tells which screen the panel goes on.
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, parent), nullptr);
  xcb_screen_t* screen = geometry != nullptr ? screenOfRoot(connection, geometry->root) : nullptr;
  std::free(geometry);
  PixelFormat format;
  if (screen == nullptr || !rootPixelFormat(connection, *screen, format)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  const xcb_window_t window = xcb_generate_id(connection);
  // No background: the panel paints every pixel itself, and the server's clearing would flash.
  // Border and colormap are given so that a parent with another visual accepts the child.
  const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0,
                                  XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                      XCB_EVENT_MASK_POINTER_MOTION |
                                      XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                                  screen->default_colormap};
  xcb_generic_error_t* error = xcb_request_check(
      connection,
      xcb_create_window_checked(
          connection, format.depth, window, parent, 0, 0,
          static_cast<std::uint16_t>(panelSizeAt(zoom).width),
          static_cast<std::uint16_t>(panelSizeAt(zoom).height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
          format.visual,
          XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values));
  if (error != nullptr) {
    std::free(error);
    xcb_disconnect(connection);
    return nullptr;
  }
  auto* panel = new (std::nothrow) X11PanelWindow(connection, window, format, zoom);
  if (panel == nullptr) {
    xcb_destroy_window(connection, window);
    xcb_disconnect(connection);
    return nullptr;
  }
  xcb_map_window(connection, window);
  xcb_flush(connection);
  return panel;
}

class X11WindowSystem final : public PanelWindowSystem {
 public:
  // Linux hosts pass their X window id in the pointer.
  static xcb_window_t windowId(void* parent) {
    return static_cast<xcb_window_t>(reinterpret_cast<std::uintptr_t>(parent));
  }

  // The bitmaps are compiled in, and each panel has its own connection: nothing to share.
  void acquireResources() override {}
  void releaseResources() override {}

  PanelWindow* createWindow(void* parent, std::int32_t zoom) override {
    const xcb_window_t parentId = windowId(parent);
    if (parentId == 0) {
      return nullptr;
    }
    QuietBrokenPipe quiet;
    return createX11Window(parentId, zoom);
  }

  std::int32_t desktopZoom(void* parent) override {
    QuietBrokenPipe quiet;
    return desktopZoomOf(windowId(parent));
  }

  void destroyWindow(PanelWindow* window) override {
    static_cast<X11PanelWindow*>(window)->release();
    PanelWindow::dispose(window);
  }

  void handleEvents(PanelWindow* window) override {
    const PanelWindow::InUse inUse(*window);
    static_cast<X11PanelWindow*>(window)->handleEvents();
  }
  void finishDrawing(PanelWindow* window) override {
    static_cast<X11PanelWindow*>(window)->finishDrawing();
  }
};

}  // namespace

PanelWindowSystem& panelWindowSystem() {
  static X11WindowSystem system;
  return system;
}

xcb_window_t panelWindowId(const PanelEditor& editor) {
  const auto* window = static_cast<const X11PanelWindow*>(editor.panelWindow());
  return window != nullptr ? window->id() : 0;
}
