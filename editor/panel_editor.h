// The drive effect's bitmap panel, independent of any window system: the editor the host drives,
// the pixels and events of its window, and the interface a window system implements for it.
// A backend (Win32, X11) creates the real window, hands its events to PanelWindow and shows the
// canvas; everything the panel decides happens here.
#pragma once

#include <cstdint>

#include "editor/editor_base.h"
#include "editor/panel_canvas.h"
#include "editor/panel_layout.h"
#include "editor/panel_zoom.h"
#include "editor/panel_zoom_menu.h"

class EffectBase;
class PanelEditor;

// One panel window as the editor sees it. A backend derives its window from this, delivers the
// window's paint, press and move events to the three handlers and shows the rectangles that
// present() is given.
//
// A handler calls out of the plug-in (the host's automation callback), and the host may answer
// by closing the editor or destroying its own window, which takes this window along while the
// handler is still running on it. So a backend never deletes a window itself: it holds an InUse
// for as long as it delivers an event and hands the window to dispose() when the platform's
// window goes. The memory lives on until the outermost InUse ends; meanwhile the window is
// detached and draws nothing, and the handler returns without touching anything of it.
class PanelWindow : private PanelRowSource {
 public:
  // The canvas starts as the panel's background, so that whatever is drawn before the first
  // paint composes onto the pixels the finished panel has there.
  explicit PanelWindow(const PanelBitmapSet& bitmaps, std::int32_t zoom = kPanelZooms[0]);
  virtual ~PanelWindow() = default;
  PanelWindow(const PanelWindow&) = delete;
  PanelWindow& operator=(const PanelWindow&) = delete;

  // Keeps the window's memory alive while a backend delivers one of its events; nests.
  class InUse {
   public:
    explicit InUse(PanelWindow& window) : window_(window) { ++window_.inUse_; }
    ~InUse();
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;

   private:
    PanelWindow& window_;
  };

  // The end of a window whose platform window is gone or going (the backend has let go of it):
  // detached at once, freed now or when its last InUse ends. Windows are made with new.
  static void dispose(PanelWindow* window);
  // Disposed: nothing may be drawn into it or reach its editor any more.
  bool disposed() const { return disposed_; }

  // The editor whose values this window shows; null while none is attached, when paint and the
  // mouse still change the shared table but reach no effect.
  PanelEditor* editor() const { return editor_; }
  void attach(PanelEditor* editor) { editor_ = editor; }

  // Composes the transfers into the canvas and shows the pixels they changed, straight away:
  // each transfer's own clipped rectangle, so that no pixel outside them is shown.
  void drawTransfers(const PanelTransferList& transfers);
  const PanelCanvas& canvas() const { return canvas_; }

  std::int32_t zoom() const { return scale_.zoom(); }
  PanelSize size() const { return scale_.windowSize(); }
  // The platform's window takes the zoom's size (resize), then shows the whole panel again.
  void setZoom(std::int32_t zoom);
  // The window's pixels in a rectangle of it, as they are to be shown: the canvas scaled, with
  // the zoom menu over it while that is open. Rows `stride` pixels apart.
  void composeWindowPixels(const PanelRect& windowRect, std::uint32_t* out,
                           std::int32_t stride) const;
  const PanelZoomMenu& zoomMenu() const { return menu_; }

  // The whole background, then every control from the attached editor's own values.
  void paint();
  // Positions in window pixels, x to the right and y downwards; the panel sees them in its own
  // pixels at every zoom.
  void leftButtonDown(std::int32_t x, std::int32_t y);
  void mouseMove(std::int32_t x, std::int32_t y, bool leftButton);
  // Opens the zoom menu where the editor offers zooms; nothing otherwise.
  void rightButtonDown(std::int32_t x, std::int32_t y);

 protected:
  // Shows a rectangle of window pixels (see composeWindowPixels).
  virtual void present(const PanelRect& windowRect) = 0;
  // Makes the platform's window this size; the picture follows with present.
  virtual void resize(const PanelSize& size) = 0;

 private:
  const std::uint32_t* row(std::int32_t y, std::uint32_t* scratch) const override;
  void presentPanelRect(const PanelRect& panelRect);

  const PanelBitmapSet& bitmaps_;
  PanelEditor* editor_ = nullptr;
  PanelCanvas canvas_;
  PanelScale scale_;
  PanelZoomMenu menu_;
  std::int32_t inUse_ = 0;
  bool disposed_ = false;
};

// What a window system does for the panel. One object per backend, used on the host's
// user-interface thread only.
class PanelWindowSystem {
 public:
  // Made by the first open panel in the process and freed by the last close (window class,
  // bitmaps).
  virtual void acquireResources() = 0;
  virtual void releaseResources() = 0;
  // A child window of the host's window at a zoom's size, or null when none can be made (no
  // parent, no display).
  virtual PanelWindow* createWindow(void* parent, std::int32_t zoom) = 0;
  // The offered zoom the desktop asks for (its dots per inch) where the window goes, or on the
  // display as a whole for a null parent; 100 % where it says nothing.
  virtual std::int32_t desktopZoom(void* parent) = 0;
  // Also for a window the host already destroyed with its parent. The window may be in use (the
  // editor closed from inside one of its handlers): the backend ends it with
  // PanelWindow::dispose, never with delete.
  virtual void destroyWindow(PanelWindow* window) = 0;
  // Handles the window's waiting events; for systems whose host dispatches them itself, nothing.
  virtual void handleEvents(PanelWindow* window) = 0;
  // At the end of an idle: what was drawn has reached the screen when idle returns.
  virtual void finishDrawing(PanelWindow* window) = 0;

 protected:
  ~PanelWindowSystem() = default;
};

// Counts one more user of the process-wide panel resources; the first one makes them.
void acquirePanelResources(PanelWindowSystem& system);
// Counts one fewer; the last one frees them. Extra releases are ignored.
void releasePanelResources(PanelWindowSystem& system);
std::int32_t openPanelEditorCount();

// Redraws one control's numeric display when it is dirty. A null window draws nothing.
void drawDisplay(PanelWindow* window, std::int32_t index);

// How a format's host gives the panel another size. Implemented by the plug-in's adapter.
class PanelZoomHost {
 public:
  // Asks the host to make the editor's window this size; true when the host did.
  virtual bool resizePanel(const PanelSize& size) = 0;
  // The user chose a zoom on the panel: formats with a saved state keep it there.
  virtual void panelZoomChosen(std::int32_t zoom) = 0;

 protected:
  ~PanelZoomHost() = default;
};

class PanelEditor : public EditorBase {
 public:
  PanelEditor(EffectBase& owner, PanelWindowSystem& system);
  // Closes the panel if the host left it open, so that no window keeps a pointer to a freed
  // editor and the last close in the process still frees the shared resources.
  ~PanelEditor() override;

  std::int32_t getRect(EditorRect** rect) override;
  // Answers 0 and holds nothing when the window cannot be created (for example a null parent).
  std::int32_t open(void* parent) override;
  void close() override;
  // The window's waiting events first (where the backend has to fetch them), then the update.
  void idle() override;
  void update() override;

  virtual void restoreValues();
  virtual void saveValues();
  virtual void setParameterFromPanel(float value, std::int32_t index);
  virtual void drawKnobControl(PanelWindow* targetWindow, std::int32_t index);

  PanelWindow* panelWindow() const { return window; }
  bool isOpen() const { return opened; }

  // The backend's notice that the window is gone (its parent destroyed it): the window must not
  // be used again, not even by close.
  void forgetWindow() { window = nullptr; }

  // Zoom. Without a zoom host (the 32-bit Windows VST 2 plug-in) the panel has its one size and
  // no menu. The starting zoom is the user's choice, else the host's own scale factor, else the
  // desktop's; a host's factor replaces the desktop's rather than multiplying it.
  void offerZoom(PanelZoomHost& host) { zoomHost = &host; }
  bool offersZoom() const { return zoomHost != nullptr; }
  // The window's zoom, or the one it opens at.
  std::int32_t zoom();
  // A host's scale factor (1.0 is 100 %), followed at the offered zoom at or below it.
  void setHostScale(double factor);
  // The choice kept in a saved state; 0 (or anything not offered) for none.
  void setChosenZoom(std::int32_t zoom);
  std::int32_t chosenZoom() const { return chosen; }
  // The user's choice from the menu: the host is asked for the size, and the zoom changes
  // only when it agrees. False when it refused.
  bool chooseZoom(std::int32_t zoom);
  // The host gave the window an offered zoom's size itself: the panel takes that zoom.
  void showAtZoom(std::int32_t zoom);

 private:
  std::int32_t startingZoom(void* parent);
  bool requestZoom(std::int32_t zoom);

  PanelWindowSystem& system;
  PanelWindow* window = nullptr;
  PanelZoomHost* zoomHost = nullptr;
  EditorRect rect{0, 0, kPanelHeight, kPanelWidth};
  std::int32_t chosen = 0;
  std::int32_t hostZoom = 0;
  std::int32_t desktopZoomCache = 0;
  // The zoom a host was last told (by getRect or a resize it agreed to); a window that opens at
  // another one asks the host for its size.
  std::int32_t hostKnownZoom = kPanelZooms[0];
  // While the host is being asked for a zoom's size: getRect answers it.
  std::int32_t pendingZoom = 0;
  std::int32_t indexOffsetX[kPanelControlCount] = {22, 22, 22, 22};
  std::int32_t indexOffsetY[kPanelControlCount] = {22, 22, 22, 22};
  float savedValues[kPanelControlCount] = {0.5f, 0.5f, 0.5f, 0.2f};
  // Counted in the process-wide open count; separate from window, which the parent may destroy.
  bool opened = false;
};

// The platform's window system, defined by the backend linked into the plug-in.
PanelWindowSystem& panelWindowSystem();
