// The effect a panel edits where the DSP runs apart from it (the LV2 UI, the VST 3 view, often in
// another process): the four control values and nothing else. The host's changes set them as they
// set the real effect's, drawn at the panel's next idle; the panel's own changes are kept for the
// next redraw and handed to a sink, which carries them to the plug-in the format's way.
#pragma once

#include <cstdint>

#include "effect/drive_parameters.h"
#include "host/vst2/effect_base.h"

// Where a panel's change goes: a port write to the LV2 host, an edit to the VST 3 controller.
class PanelEditSink {
 public:
  virtual void editFromPanel(std::int32_t index, float value) = 0;

 protected:
  ~PanelEditSink() = default;
};

class PanelStandIn final : public EffectBase {
 public:
  // Starts at the parameter table's defaults; the sink outlives the stand-in.
  explicit PanelStandIn(PanelEditSink& sink);

  void setParameter(std::int32_t index, float value) override;
  float getParameter(std::int32_t index) override;
  void automateParameter(std::int32_t index, float value) override;
  // The audio runs in the plug-in, never here.
  void process(float** /*inputs*/, float** /*outputs*/, std::int32_t /*sampleFrames*/) override {}

 private:
  PanelEditSink& sink_;
  // The user-interface thread's alone: hosts call the UI, the view and the panel there.
  float values_[kDriveParameterCount];
};
