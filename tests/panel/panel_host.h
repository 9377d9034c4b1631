// The host side of the panel suite, once per window system: a frame window such as a host gives
// an editor, the hand that moves and presses the pointer over it, and the eyes that read its
// pixels back. panel_host_win.cpp does it for the Win32 backend under Wine (over plughost's
// HostWindow), panel_host_x11.cpp for the X11 backend under Xvfb (over X11HostWindow); the
// scenarios in panel_window_test.cpp are written once, on top of this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/vst2/aeffect.h"
#include "tests/support/host_recorder.h"
#include "tests/support/panel_pictures.h"
#include "tests/support/plugin_loader.h"
// Each window system decodes the committed bitmap files by its own means.
#if defined(_WIN32)
#include "tests/wine/panel_test_support.h"
#else
#include "tests/linux/panel_pictures.h"
#endif

namespace panelhost {

using paneltest::Image;

enum class WindowSystem { win32, x11 };
#if defined(_WIN32)
inline constexpr WindowSystem kWindowSystem = WindowSystem::win32;
#else
inline constexpr WindowSystem kWindowSystem = WindowSystem::x11;
#endif

inline constexpr int kPanelWidth = 270;
inline constexpr int kPanelHeight = 400;

struct Area {
  int x, y, width, height;
};

// A host's editor frame, exactly the panel's size, the panel at its top-left corner. Points are
// in the panel's pixels. Pointer input goes to the panel the way the window system delivers it:
// on Win32 a message sent to the panel window and handled before the call returns, on X11 real
// pointer events through XTest that the panel handles at the next effEditIdle.
class Frame {
 public:
  // Frames of slot 0 and 1 open at once stay apart where the window system lets the test
  // place them (Win32); on X11 both sit in the middle of the screen and the one in use is raised.
  static std::unique_ptr<Frame> make(int slot = 0);
  virtual ~Frame() = default;
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  // What effEditOpen gets. Still the same value after destroy(): a parent that names no window.
  virtual void* parent() const = 0;
  // The host destroys its window now, with whatever the editor left in it.
  virtual void destroy() = 0;
  virtual bool alive() = 0;
  // Panel windows the editor made in this frame.
  virtual int panelCount() = 0;
  // The host's event loop once over: Win32 dispatches this thread's messages, X11 waits until the
  // server has handled everything sent so far.
  virtual void pump() = 0;
  // Puts this frame above any other; true when the panel then needs an idle to repaint what was
  // covered (X11, where windows keep no pixels of their own).
  virtual bool toFront() = 0;
  // The panel's area as it shows now: nothing pumped, no idle.
  virtual Image picture() = 0;
  // Paints over part of the panel window straight through the window system, so that a test can
  // see whether a later step draws there again.
  virtual void scribble(const Area& area, std::uint32_t rgb) = 0;
  // The window system asks the panel to paint part of itself: on Win32 painted before this
  // returns, on X11 an expose the panel handles at the next idle.
  virtual void invalidate(const Area& area) = 0;
  virtual void press(int x, int y) = 0;
  virtual void move(int x, int y, bool leftButton) = 0;
  // Two presses and releases through the system's own input path, as a user's double click.
  virtual void doubleClick(int x, int y) = 0;
  // What a user and the system send the frame after the plug-in went away: a redraw, a press,
  // moves.
  virtual void exercise() = 0;

 protected:
  Frame() = default;
};

// The host of every effect in the suite's program, for as long as it runs.
HostRecorder& programHost();

// Whether the process-wide panel resources are held, where the window system shows it: the
// Win32 window class, registered while any panel is open. Nothing shows it on X11.
std::optional<bool> panelResourcesHeld();

// One effect as a host holds it, with a frame for its editor.
class Hosted {
 public:
  explicit Hosted(int slot = 0)
      : plugin(std::make_unique<testhost::Plugin>()), frame(Frame::make(slot)) {}

  // effEditOpen alone: nothing pumped, no idle.
  VstIntPtr openOnly() { return plugin->dispatch(effEditOpen, 0, 0, frame->parent()); }
  // effEditOpen, then what a host does right after: Win32 pumps (the panel paints), X11 idles
  // (the panel handles its first expose).
  VstIntPtr open() {
    const VstIntPtr answer = openOnly();
    settle();
    return answer;
  }
  VstIntPtr close() { return plugin->dispatch(effEditClose); }
  // The host's idle: the editor handles its events and draws, and the frame sees it.
  void idle() {
    // Win32 hosts idle from their message loop, not in it: a pump here would deliver the moves
    // the pointer's warps queued, which end a drag.
    if (kWindowSystem == WindowSystem::x11) {
      frame->pump();
    }
    plugin->dispatch(effEditIdle);
    if (kWindowSystem == WindowSystem::x11) {
      frame->pump();
    }
  }
  // Between whole actions: the host's event loop, and on X11 the idle that handles the events.
  void settle() {
    frame->pump();
    if (kWindowSystem == WindowSystem::x11) {
      plugin->dispatch(effEditIdle);
      frame->pump();
    }
  }

  void press(int x, int y) {
    front();
    frame->press(x, y);
    afterInput();
  }
  void move(int x, int y, bool leftButton) {
    front();
    frame->move(x, y, leftButton);
    afterInput();
  }
  void doubleClick(int x, int y) {
    front();
    frame->doubleClick(x, y);
    afterInput();
  }
  // A paint of part of the panel, asked for by the window system and handled.
  void repaint(const Area& area = {0, 0, kPanelWidth, kPanelHeight}) {
    front();
    frame->invalidate(area);
    afterInput();
  }
  Image shown() {
    front();
    return frame->picture();
  }

  // What this effect reported to the host since the last call.
  std::vector<AutomationReport> takeAutomation() {
    std::vector<AutomationReport> reports = programHost().automation(plugin->effect, seen_);
    seen_ = programHost().requests.size();
    return reports;
  }

  float get(int index) { return plugin->get(index); }
  void set(int index, float value) { plugin->set(index, value); }

  std::unique_ptr<testhost::Plugin> plugin;
  std::unique_ptr<Frame> frame;

 private:
  void front() {
    if (frame->toFront()) {
      idle();
    }
  }
  // Win32 handled the message already; pumping here would also deliver the moves the pointer's
  // warps queued, which end a drag. X11 handles the events in the editor's idle.
  void afterInput() {
    if (kWindowSystem == WindowSystem::x11) {
      idle();
    }
  }

  std::size_t seen_ = programHost().requests.size();
};

// With DRIVE_PANEL_PNG_DIR set, pictures of the panel are written there to be looked at.
void savePicture(const Image& image, const std::string& name);

}  // namespace panelhost
