// The LV2 UI: the VST 2 plug-in's panel (the same PanelEditor and X11 backend) in a child of the
// host's ui:parent window. The UI runs apart from the DSP, often in another process, so the panel
// edits a stand-in effect that holds the four control values: port_event sets them as a host's
// parameter changes do (drawn at the next idle), and the panel's automation goes out through the
// host's write function as port writes.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "editor/panel_editor.h"
#include "editor/panel_window_x11.h"
#include "host/lv2/lv2_bundle.h"
#include "host/panel_stand_in.h"

namespace {

// The panel's changes go to the plug-in's control ports, through the host's write function.
class Lv2PanelUi final : public PanelEditSink {
 public:
  Lv2PanelUi(LV2UI_Write_Function write, LV2UI_Controller controller)
      : write_(write), controller_(controller) {}

  void editFromPanel(std::int32_t index, float value) override {
    if (write_ != nullptr) {
      write_(controller_, kLv2PortFirstControl + static_cast<std::uint32_t>(index), sizeof value, 0,
             &value);
    }
  }

  PanelStandIn effect{*this};
  PanelEditor* editor = nullptr;  // owned by effect

 private:
  LV2UI_Write_Function write_;
  LV2UI_Controller controller_;
};

const void* findFeature(const LV2_Feature* const* features, const char* uri) {
  for (; features != nullptr && *features != nullptr; ++features) {
    if (std::strcmp((*features)->URI, uri) == 0) {
      return (*features)->data;
    }
  }
  return nullptr;
}

bool hasFeature(const LV2_Feature* const* features, const char* uri) {
  for (; features != nullptr && *features != nullptr; ++features) {
    if (std::strcmp((*features)->URI, uri) == 0) {
      return true;
    }
  }
  return false;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* /*pluginUri*/,
                         const char* /*bundlePath*/, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) noexcept {
  // The parent's window id is the feature's data itself; id 0 is no window.
  void* parent = const_cast<void*>(findFeature(features, LV2_UI__parent));
  if (parent == nullptr || !hasFeature(features, LV2_UI__idleInterface)) {
    return nullptr;
  }
  auto* ui = new (std::nothrow) Lv2PanelUi(write, controller);
  if (ui == nullptr) {
    return nullptr;
  }
  ui->editor = new (std::nothrow) PanelEditor(ui->effect, panelWindowSystem());
  if (ui->editor == nullptr || ui->editor->open(parent) == 0) {
    delete ui;
    return nullptr;
  }
  if (widget != nullptr) {
    // An X11 UI's widget is its window id, carried in the pointer.
    *widget =
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(panelWindowId(*ui->editor)));
  }
  if (const auto* resize = static_cast<const LV2UI_Resize*>(findFeature(features, LV2_UI__resize));
      resize != nullptr && resize->ui_resize != nullptr) {
    resize->ui_resize(resize->handle, kPanelWidth, kPanelHeight);
  }
  return ui;
}

void cleanup(LV2UI_Handle handle) noexcept {
  // The effect's destructor deletes the editor, whose destructor closes the panel.
  delete static_cast<Lv2PanelUi*>(handle);
}

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t bufferSize,
               std::uint32_t format, const void* buffer) noexcept {
  if (format != 0 || bufferSize != sizeof(float) || buffer == nullptr ||
      port < kLv2PortFirstControl || port >= kLv2PortParameterEnd) {
    return;
  }
  float value = 0.0f;
  std::memcpy(&value, buffer, sizeof value);
  static_cast<Lv2PanelUi*>(handle)->effect.setParameter(
      static_cast<std::int32_t>(port - kLv2PortFirstControl), value);
}

int idle(LV2UI_Handle handle) noexcept {
  static_cast<Lv2PanelUi*>(handle)->editor->idle();
  return 0;
}

const LV2UI_Idle_Interface kIdleInterface = {idle};

const void* extensionData(const char* uri) noexcept {
  return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdleInterface : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kLv2UiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

// ui.h declares it without noexcept, so it stays so here; it cannot throw.
LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
