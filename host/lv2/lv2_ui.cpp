// The LV2 UI: the VST 2 plug-in's panel (the same PanelEditor and X11 backend) in a child of the
// host's ui:parent window. The UI runs apart from the DSP, often in another process, so the panel
// edits a stand-in effect that holds the four control values: port_event sets them as a host's
// parameter changes do (drawn at the next idle), and the panel's automation goes out through the
// host's write function as port writes.
//
// Zoom: the panel opens at the host's ui:scaleFactor option where there is one (else at the
// desktop's), asks ui:resize for every size it takes, and keeps the user's choice from its menu in
// the zoom port, whose saved value the host hands back through port_event.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include "editor/panel_editor.h"
#include "editor/panel_window_x11.h"
#include "editor/panel_zoom.h"
#include "host/lv2/lv2_bundle.h"
#include "host/panel_stand_in.h"

namespace {

// The bundle's data lists the zoom port's choices from lv2_bundle.h, which the generator can read
// and the panel's own list cannot be: the two must name the same zooms.
constexpr bool bundleListsThePanelsZooms() {
  if (std::size(kLv2Zooms) != static_cast<std::size_t>(kPanelZoomCount)) {
    return false;
  }
  for (std::size_t i = 0; i < std::size(kLv2Zooms); ++i) {
    if (kLv2Zooms[i] != kPanelZooms[i]) {
      return false;
    }
  }
  return true;
}
static_assert(bundleListsThePanelsZooms());

// The panel's changes go to the plug-in's control ports, through the host's write function, and
// its sizes to the host's ui:resize. The zoom the user chooses goes to the zoom port, whose value
// the host keeps with the session and tells the next UI through port_event.
class Lv2PanelUi final : public PanelEditSink, public PanelZoomHost {
 public:
  Lv2PanelUi(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Resize* resize,
             const LV2_URID_Map* map)
      : write_(write),
        controller_(controller),
        resize_(resize != nullptr && resize->ui_resize != nullptr ? resize : nullptr) {
    if (map != nullptr && map->map != nullptr) {
      scaleFactorKey_ = map->map(map->handle, LV2_UI__scaleFactor);
      floatType_ = map->map(map->handle, LV2_ATOM__Float);
      doubleType_ = map->map(map->handle, LV2_ATOM__Double);
    }
  }

  void editFromPanel(std::int32_t index, float value) override {
    if (write_ != nullptr) {
      write_(controller_, kLv2PortFirstControl + static_cast<std::uint32_t>(index), sizeof value, 0,
             &value);
    }
  }

  // Without ui:resize the host fits its window to the panel's own size, whatever it is.
  bool resizePanel(const PanelSize& size) override {
    return resize_ == nullptr || resize_->ui_resize(resize_->handle, size.width, size.height) == 0;
  }

  void panelZoomChosen(std::int32_t zoom) override {
    const auto value = static_cast<float>(zoom);
    if (write_ != nullptr) {
      write_(controller_, kLv2PortZoom, sizeof value, 0, &value);
    }
  }

  // The saved zoom, as the host tells it: the nearest whole number if that is an offered zoom,
  // else none (follow the host).
  void zoomFromHost(float value) {
    const float whole = std::round(value);
    std::int32_t chosen = kLv2ZoomFollowHost;
    // Compared first: a float beyond int's range (or NaN) has no defined conversion.
    if (whole >= 0.0f && whole <= static_cast<float>(kPanelZooms[kPanelZoomCount - 1]) &&
        isPanelZoom(static_cast<std::int32_t>(whole))) {
      chosen = static_cast<std::int32_t>(whole);
    }
    // Hosts echo the UI's own writes and repeat values as they like: only a change is acted on.
    if (chosen != editor->chosenZoom()) {
      editor->setChosenZoom(chosen);
    }
  }

  // The host's options, at instantiation or later through the options interface: the scale
  // factor is the one the panel knows; anything else is refused, each with its reason.
  std::uint32_t setOptions(const LV2_Options_Option* options) {
    std::uint32_t status = LV2_OPTIONS_SUCCESS;
    for (; options != nullptr && options->key != 0; ++options) {
      if (const std::uint32_t refused = notTheScaleFactor(*options);
          refused != LV2_OPTIONS_SUCCESS) {
        status |= refused;
      } else if (const double factor = scaleFactorOf(*options); factor > 0.0) {
        hostScale_ = static_cast<float>(factor);
        editor->setHostScale(factor);
      } else {
        status |= LV2_OPTIONS_ERR_BAD_VALUE;
      }
    }
    return status;
  }

  // Answers the scale factor the host last gave.
  std::uint32_t getOptions(LV2_Options_Option* options) const {
    std::uint32_t status = LV2_OPTIONS_SUCCESS;
    for (; options != nullptr && options->key != 0; ++options) {
      if (const std::uint32_t refused = notTheScaleFactor(*options);
          refused != LV2_OPTIONS_SUCCESS) {
        status |= refused;
      } else if (hostScale_ <= 0.0f) {
        status |= LV2_OPTIONS_ERR_UNKNOWN;
      } else {
        options->size = sizeof hostScale_;
        options->type = floatType_;
        options->value = &hostScale_;
      }
    }
    return status;
  }

  PanelStandIn effect{*this};
  PanelEditor* editor = nullptr;  // owned by effect

 private:
  // Why an option is not this instance's scale factor, the one option the panel knows; success
  // when it is.
  std::uint32_t notTheScaleFactor(const LV2_Options_Option& option) const {
    if (option.context != LV2_OPTIONS_INSTANCE) {
      return LV2_OPTIONS_ERR_BAD_SUBJECT;
    }
    return option.key != scaleFactorKey_ ? LV2_OPTIONS_ERR_BAD_KEY : LV2_OPTIONS_SUCCESS;
  }

  // A positive finite factor of an atom:Float or atom:Double option; 0 for anything else.
  double scaleFactorOf(const LV2_Options_Option& option) const {
    double factor = 0.0;
    if (option.value == nullptr) {
      return 0.0;
    }
    if (option.type == floatType_ && option.size == sizeof(float)) {
      float value = 0.0f;
      std::memcpy(&value, option.value, sizeof value);
      factor = value;
    } else if (option.type == doubleType_ && option.size == sizeof(double)) {
      std::memcpy(&factor, option.value, sizeof factor);
    }
    return std::isfinite(factor) && factor > 0.0 ? factor : 0.0;
  }

  LV2UI_Write_Function write_;
  LV2UI_Controller controller_;
  const LV2UI_Resize* resize_;
  // Mapped when the host gives urid:map; 0 (no URID) otherwise, which no option's key or type is.
  LV2_URID scaleFactorKey_ = 0;
  LV2_URID floatType_ = 0;
  LV2_URID doubleType_ = 0;
  float hostScale_ = 0.0f;
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
  auto* ui = new (std::nothrow) Lv2PanelUi(
      write, controller, static_cast<const LV2UI_Resize*>(findFeature(features, LV2_UI__resize)),
      static_cast<const LV2_URID_Map*>(findFeature(features, LV2_URID__map)));
  if (ui == nullptr) {
    return nullptr;
  }
  ui->editor = new (std::nothrow) PanelEditor(ui->effect, panelWindowSystem());
  if (ui->editor == nullptr) {
    delete ui;
    return nullptr;
  }
  ui->editor->offerZoom(*ui);
  // Before the window exists, so that it is made at the host's scale; options the panel does not
  // know are no reason to refuse.
  ui->setOptions(
      static_cast<const LV2_Options_Option*>(findFeature(features, LV2_OPTIONS__options)));
  if (ui->editor->open(parent) == 0) {
    delete ui;
    return nullptr;
  }
  if (widget != nullptr) {
    // An X11 UI's widget is its window id, carried in the pointer.
    *widget =
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(panelWindowId(*ui->editor)));
  }
  // The host learns the size the panel opened at, also when it was not asked for another one.
  if (const auto* resize = static_cast<const LV2UI_Resize*>(findFeature(features, LV2_UI__resize));
      resize != nullptr && resize->ui_resize != nullptr) {
    const PanelSize size = panelSizeAt(ui->editor->zoom());
    resize->ui_resize(resize->handle, size.width, size.height);
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
      port < kLv2PortFirstControl || port >= kLv2PortCount) {
    return;
  }
  float value = 0.0f;
  std::memcpy(&value, buffer, sizeof value);
  auto* ui = static_cast<Lv2PanelUi*>(handle);
  if (port == kLv2PortZoom) {
    ui->zoomFromHost(value);
  } else {
    ui->effect.setParameter(static_cast<std::int32_t>(port - kLv2PortFirstControl), value);
  }
}

int idle(LV2UI_Handle handle) noexcept {
  static_cast<Lv2PanelUi*>(handle)->editor->idle();
  return 0;
}

const LV2UI_Idle_Interface kIdleInterface = {idle};

std::uint32_t getOptions(LV2_Handle handle, LV2_Options_Option* options) noexcept {
  return static_cast<const Lv2PanelUi*>(handle)->getOptions(options);
}

std::uint32_t setOptions(LV2_Handle handle, const LV2_Options_Option* options) noexcept {
  return static_cast<Lv2PanelUi*>(handle)->setOptions(options);
}

// A host that changes its scale factor while the panel is open (the window moved to another
// screen) tells it here.
const LV2_Options_Interface kOptionsInterface = {getOptions, setOptions};

const void* extensionData(const char* uri) noexcept {
  if (std::strcmp(uri, LV2_UI__idleInterface) == 0) {
    return &kIdleInterface;
  }
  return std::strcmp(uri, LV2_OPTIONS__interface) == 0 ? &kOptionsInterface : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kLv2UiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

// ui.h declares it without noexcept, so it stays so here; it cannot throw.
LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
