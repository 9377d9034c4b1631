// The controller's editor view: the same PanelEditor as the VST 2 plug-in's, in a child of the
// host's window (an X11 window id on Linux, an HWND on Windows), through the window backend linked
// into the binary. It is shown at the panel's offered zooms only: the host's content scale picks
// the starting one, the panel's menu another, and the host's frame resizes for each.
#pragma once

#include <cstdint>

#include "host/panel_stand_in.h"
#include "host/vst3/vst3_api.h"

namespace vst3 {

// What the view needs from its controller, beside taking the panel's changes (editFromPanel: to the
// controller's values and, as an edit, to the host); the controller outlives every view it made
// (each view holds a reference to it).
class PanelHost : public PanelEditSink {
 public:
  virtual float panelValue(std::int32_t index) = 0;
  // The zoom the user chose for this instance (0: none), which a new view opens at; and the
  // user's new choice on the panel, for the controller to keep in its state.
  virtual std::int32_t chosenZoom() = 0;
  virtual void panelZoomChosen(std::int32_t zoom) = 0;
  virtual void viewGone() = 0;
  virtual Steinberg_FUnknown* hostReference() = 0;

 protected:
  ~PanelHost() = default;
};

class EditorView;

// A new view with one reference, the caller's; null when it cannot be made.
Steinberg_IPlugView* createEditorView(PanelHost& host, EditorView** view) noexcept;
// A value the host or a program change set: shown at the panel's next idle.
void showParameter(EditorView* view, std::int32_t index, float value) noexcept;
// A zoom choice from a state the host set (0: none): an open panel asks the host for its size.
void showChosenZoom(EditorView* view, std::int32_t zoom) noexcept;

}  // namespace vst3
