// The suite's host under Xvfb: plughost's X11HostWindow as the frame, its XTest pointer as the
// user's hand, and a connection of the test's own for what a host never does but a test needs:
// painting over the panel, asking it to repaint, giving the frame a background of its own.
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "tests/panel/panel_host.h"
#include "tools/plughost/host_window_x11.h"

namespace panelhost {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Grey, so that black pixels the panel shows are told apart from the frame's own background.
constexpr std::uint32_t kFrameBackground = 0x808080;

// The pointer and its button belong to the whole display, not to one frame: where they are
// carries over from one frame to the next.
struct PointerState {
  bool known = false;
  int x = 0;
  int y = 0;
  bool leftDown = false;
};
PointerState pointer;

// A point of the frames' area that no frame covers: every frame sits in the middle of the
// screen, so this lies beside all of them.
constexpr int kOutsideX = -30;
constexpr int kOutsideY = -30;

int lowestBit(std::uint32_t mask) {
  int shift = 0;
  while (shift < 32 && ((mask >> shift) & 1u) == 0) {
    ++shift;
  }
  return shift;
}

class X11Frame final : public Frame {
 public:
  X11Frame()
      : window_(std::make_unique<plughost::X11HostWindow>(kPanelWidth, kPanelHeight)),
        id_(window_->id()),
        hand_(xcb_connect(nullptr, nullptr)) {
    top() = this;  // a new window maps above the others
    const std::uint32_t background = pixelOf(kFrameBackground);
    xcb_change_window_attributes(hand_, id_, XCB_CW_BACK_PIXEL, &background);
    xcb_clear_area(hand_, 0, id_, 0, 0, 0, 0);
    syncHand();
  }

  ~X11Frame() override {
    if (top() == this) {
      top() = nullptr;
    }
    if (window_ != nullptr && pointer.leftDown) {
      window_->leftButton(false);
      pointer.leftDown = false;
    }
    window_.reset();
    xcb_disconnect(hand_);
  }

  void* parent() const override {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): Linux hosts pass the window id in the pointer
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(id_));
  }

  void destroy() override { window_.reset(); }

  bool alive() override {
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(hand_, xcb_get_window_attributes(hand_, id_), nullptr));
    return attributes != nullptr;
  }

  int panelCount() override { return window_ != nullptr ? window_->childCount() : 0; }

  void pump() override {
    if (window_ != nullptr) {
      window_->pump();
    }
    syncHand();
  }

  bool toFront() override {
    if (top() == this || window_ == nullptr) {
      return false;
    }
    window_->raise();
    top() = this;
    return true;
  }

  Image picture() override {
    if (window_ == nullptr) {
      return {};
    }
    window_->sync();
    return paneltest::fromRgb(window_->capture(kPanelWidth, kPanelHeight));
  }

  void scribble(const Area& area, std::uint32_t rgb) override {
    const xcb_window_t panel = panelWindow();
    const xcb_gcontext_t gc = xcb_generate_id(hand_);
    const std::uint32_t foreground = pixelOf(rgb);
    xcb_create_gc(hand_, gc, panel, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t rectangle{
        static_cast<std::int16_t>(area.x), static_cast<std::int16_t>(area.y),
        static_cast<std::uint16_t>(area.width), static_cast<std::uint16_t>(area.height)};
    xcb_poly_fill_rectangle(hand_, panel, gc, 1, &rectangle);
    xcb_free_gc(hand_, gc);
    syncHand();
  }

  void invalidate(const Area& area) override {
    // The panel has no background of its own, so the clearing itself leaves its pixels alone.
    xcb_clear_area(hand_, 1, panelWindow(), static_cast<std::int16_t>(area.x),
                   static_cast<std::int16_t>(area.y), static_cast<std::uint16_t>(area.width),
                   static_cast<std::uint16_t>(area.height));
    syncHand();
  }

  // The release itself reaches no panel (it does not ask for releases), but a pointer that
  // moves on the way to the press does: with the button up, that move ends every drag.
  void press(int x, int y) override {
    if (pointer.leftDown) {
      button(false);
    }
    if (!at(x, y)) {
      pointerTo(x, y);
    }
    button(true);
  }

  void move(int x, int y, bool leftButton) override {
    if (leftButton && !pointer.leftDown) {
      // Held down from outside every frame, so that no window gets the press and the panel
      // sees only the move with the button held.
      pointerTo(kOutsideX, kOutsideY);
      button(true);
    } else if (!leftButton && pointer.leftDown) {
      button(false);
    }
    if (at(x, y)) {
      // The server reports no motion to where the pointer already is.
      pointerTo(x + 1, y);
    }
    pointerTo(x, y);
  }

  void doubleClick(int x, int y) override {
    if (pointer.leftDown) {
      button(false);
    }
    if (!at(x, y)) {
      pointerTo(x, y);
    }
    for (int i = 0; i < 2; ++i) {
      button(true);
      button(false);
    }
  }

  void exercise() override {
    if (window_ == nullptr) {
      return;
    }
    pointerTo(40, 40);
    button(true);
    pointerTo(60, 60);
    button(false);
    pointerTo(61, 60);
    window_->exposeChildren();
    pump();
  }

 private:
  static X11Frame*& top() {
    static X11Frame* frame = nullptr;
    return frame;
  }

  bool at(int x, int y) const { return pointer.known && pointer.x == x && pointer.y == y; }

  void pointerTo(int x, int y) {
    window_->pointerTo(x, y);
    pointer = {true, x, y, pointer.leftDown};
  }

  void button(bool down) {
    window_->leftButton(down);
    pointer.leftDown = down;
  }

  void syncHand() {
    std::free(xcb_get_input_focus_reply(hand_, xcb_get_input_focus(hand_), nullptr));
  }

  xcb_window_t panelWindow() {
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(hand_, xcb_query_tree(hand_, id_), nullptr));
    if (tree == nullptr || xcb_query_tree_children_length(tree.get()) == 0) {
      return id_;
    }
    return xcb_query_tree_children(tree.get())[0];
  }

  // 0x00RRGGBB as a pixel of the screen's own true-colour visual.
  std::uint32_t pixelOf(std::uint32_t rgb) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(hand_)).data;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
      for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
           xcb_visualtype_next(&visuals)) {
        const xcb_visualtype_t& v = *visuals.data;
        if (v.visual_id == screen->root_visual) {
          return (((rgb >> 16) & 0xffu) << lowestBit(v.red_mask)) |
                 (((rgb >> 8) & 0xffu) << lowestBit(v.green_mask)) |
                 ((rgb & 0xffu) << lowestBit(v.blue_mask));
        }
      }
    }
    return rgb;
  }

  std::unique_ptr<plughost::X11HostWindow> window_;
  xcb_window_t id_;
  xcb_connection_t* hand_;
};

}  // namespace

std::unique_ptr<Frame> Frame::make(int /*slot*/) {
  return std::make_unique<X11Frame>();
}

std::optional<bool> panelResourcesHeld() {
  return std::nullopt;
}

}  // namespace panelhost
