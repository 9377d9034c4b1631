// A Linux host's editor frame: a plain top-level X11 window whose id an editor opens into
// (effEditOpen gets it in the pointer), on the display DISPLAY names, placed in the middle of the
// screen so that the whole editor can be reached with the pointer. It also plays pointer input
// through the XTest extension, as a user's hand would, and reads the window's pixels back.
// xcb, not Xlib, so that an X error is a reply and never ends the process.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>

#include "tools/plughost/rgb_picture.h"

namespace plughost {

class X11HostWindow {
 public:
  // Throws HostError when there is no display or the window cannot be made.
  X11HostWindow(int clientWidth, int clientHeight);
  ~X11HostWindow();
  X11HostWindow(const X11HostWindow&) = delete;
  X11HostWindow& operator=(const X11HostWindow&) = delete;

  xcb_window_t id() const { return window_; }
  // The id as Linux VST 2 hosts pass it to effEditOpen.
  void* parentPointer() const {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the interface carries the id in a pointer
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
  }

  // Waits until the server has handled everything sent so far (and so delivered its events to
  // other clients, the editor's own connection among them).
  void sync();
  // The host's pass of its event loop, as plughost runs it between editor requests.
  void pump() { sync(); }

  // How many windows the editor made in this one.
  int childCount();
  // Puts the frame above every other window of the screen.
  void raise();
  // Makes the client area this size, in the middle of the screen again; the editor's windows
  // inside keep their own size (an editor that asked for this one sizes them itself).
  void resize(int clientWidth, int clientHeight);
  int width() const { return width_; }
  int height() const { return height_; }
  // Asks every child window to paint itself again (an expose of its whole area).
  void exposeChildren();

  // The real pointer: moved to a point of this window's area, the left button pressed or
  // released there. Throws HostError without the XTest extension.
  void pointerTo(int x, int y);
  void leftButton(bool pressed);
  void rightButton(bool pressed);

  // The host destroys its window now, and with it whatever the editor made in it, as a host
  // does when the user closes it. Nothing is drawn or played into it afterwards.
  void destroy();

  // What the window shows of its top-left width x height pixels, children included.
  RgbPicture capture(int width, int height);

 private:
  xcb_connection_t* connection_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
  xcb_window_t window_ = 0;
  int x_ = 0;  // on the root window
  int y_ = 0;
  int width_ = 0;
  int height_ = 0;
  void button(std::uint8_t number, bool pressed);
  void placeInTheMiddle(int clientWidth, int clientHeight);

  bool xtestChecked_ = false;
  bool destroyed_ = false;
};

}  // namespace plughost
