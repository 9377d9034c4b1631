#include "tools/plughost/host_window_x11.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "tools/plughost/host_error.h"

namespace plughost {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

int lowestBit(std::uint32_t mask) {
  int shift = 0;
  while (shift < 32 && ((mask >> shift) & 1u) == 0) {
    ++shift;
  }
  return shift;
}

const xcb_visualtype_t* rootVisual(const xcb_screen_t& screen) {
  for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      if (visuals.data->visual_id == screen.root_visual) {
        return visuals.data;
      }
    }
  }
  return nullptr;
}

}  // namespace

X11HostWindow::X11HostWindow(int clientWidth, int clientHeight) {
  int screenNumber = 0;
  connection_ = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection_) != 0) {
    xcb_disconnect(connection_);
    const char* display = std::getenv("DISPLAY");
    throw HostError(std::string("cannot open the X display '") +
                    (display != nullptr ? display : "") +
                    "' for the editor's host window (is DISPLAY set?)");
  }
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && screens.rem > 1; ++i) {
    xcb_screen_next(&screens);
  }
  screen_ = screens.data;
  placeInTheMiddle(clientWidth, clientHeight);
  window_ = xcb_generate_id(connection_);
  // No window manager takes part on a private display; override-redirect keeps it so on a
  // desktop too, where a manager would otherwise move or decorate the frame.
  const std::uint32_t values[] = {screen_->black_pixel, 1, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_generic_error_t* error = xcb_request_check(
      connection_,
      xcb_create_window_checked(
          connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, static_cast<std::int16_t>(x_),
          static_cast<std::int16_t>(y_), static_cast<std::uint16_t>(clientWidth),
          static_cast<std::uint16_t>(clientHeight), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
          screen_->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK,
          values));
  if (error != nullptr) {
    std::free(error);
    xcb_disconnect(connection_);
    throw HostError("cannot create a host window for the editor on the X display");
  }
  xcb_map_window(connection_, window_);
  sync();
}

void X11HostWindow::placeInTheMiddle(int clientWidth, int clientHeight) {
  width_ = clientWidth;
  height_ = clientHeight;
  x_ = std::max(0, (screen_->width_in_pixels - clientWidth) / 2);
  y_ = std::max(0, (screen_->height_in_pixels - clientHeight) / 2);
}

void X11HostWindow::resize(int clientWidth, int clientHeight) {
  if (destroyed_) {
    return;
  }
  placeInTheMiddle(clientWidth, clientHeight);
  const std::uint32_t values[] = {static_cast<std::uint32_t>(x_), static_cast<std::uint32_t>(y_),
                                  static_cast<std::uint32_t>(clientWidth),
                                  static_cast<std::uint32_t>(clientHeight)};
  xcb_configure_window(connection_, window_,
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT,
                       values);
  sync();
}

X11HostWindow::~X11HostWindow() {
  if (!destroyed_) {
    xcb_destroy_window(connection_, window_);
  }
  xcb_flush(connection_);
  xcb_disconnect(connection_);
}

void X11HostWindow::destroy() {
  if (!destroyed_) {
    destroyed_ = true;
    xcb_destroy_window(connection_, window_);
    sync();
  }
}

void X11HostWindow::sync() {
  Reply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  // Events of our own (the frame's structure notices) are not needed: drop them.
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    std::free(event);
  }
}

int X11HostWindow::childCount() {
  Reply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window_), nullptr));
  return tree != nullptr ? xcb_query_tree_children_length(tree.get()) : 0;
}

void X11HostWindow::raise() {
  const std::uint32_t above = XCB_STACK_MODE_ABOVE;
  xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  sync();
}

void X11HostWindow::exposeChildren() {
  Reply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window_), nullptr));
  if (tree == nullptr) {
    return;
  }
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
    xcb_clear_area(connection_, 1, children[i], 0, 0, 0, 0);
  }
  sync();
}

void X11HostWindow::pointerTo(int x, int y) {
  if (!xtestChecked_) {
    Reply<xcb_test_get_version_reply_t> version(
        xcb_test_get_version_reply(connection_, xcb_test_get_version(connection_, 2, 2), nullptr));
    if (version == nullptr) {
      throw HostError("the X display has no XTest extension: the pointer cannot be scripted");
    }
    xtestChecked_ = true;
  }
  xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen_->root,
                      static_cast<std::int16_t>(x_ + x), static_cast<std::int16_t>(y_ + y), 0);
  sync();
}

void X11HostWindow::leftButton(bool pressed) {
  button(1, pressed);
}

void X11HostWindow::rightButton(bool pressed) {
  button(3, pressed);
}

void X11HostWindow::button(std::uint8_t number, bool pressed) {
  xcb_test_fake_input(connection_, pressed ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, number,
                      XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  sync();
}

RgbPicture X11HostWindow::capture(int width, int height) {
  Reply<xcb_get_image_reply_t> image(
      xcb_get_image_reply(connection_,
                          xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, 0, 0,
                                        static_cast<std::uint16_t>(width),
                                        static_cast<std::uint16_t>(height), ~std::uint32_t{0}),
                          nullptr));
  const xcb_visualtype_t* visual = rootVisual(*screen_);
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (image == nullptr || visual == nullptr ||
      static_cast<std::size_t>(xcb_get_image_data_length(image.get())) < count * 4) {
    throw HostError("cannot read the editor window's pixels back from the X display");
  }
  const bool lsbFirst = xcb_get_setup(connection_)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  const std::uint8_t* data = xcb_get_image_data(image.get());
  const std::uint32_t masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
  RgbPicture picture{width, height, std::vector<unsigned char>(count * 3)};
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = data + 4 * i;
    const std::uint32_t pixel = lsbFirst
                                    ? (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) |
                                          (std::uint32_t{p[1]} << 8) | p[0]
                                    : (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                          (std::uint32_t{p[2]} << 8) | p[3];
    for (int c = 0; c < 3; ++c) {
      picture.rgb[3 * i + static_cast<std::size_t>(c)] =
          static_cast<unsigned char>((pixel & masks[c]) >> lowestBit(masks[c]));
    }
  }
  return picture;
}

}  // namespace plughost
