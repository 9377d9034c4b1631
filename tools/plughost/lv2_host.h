// plughost's LV2 side, through lilv: a plug-in found by its URI or its bundle folder, its ports,
// an instance run block by block, and its X11 UI loaded from the UI binary with the features an
// X11 host gives (parent window, idle interface, resize, URID map, the scale factor option),
// port writes recorded.
#pragma once

#include <lilv/lilv.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/plughost/host_callback.h"
#include "tools/plughost/plugin.h"

namespace plughost {

// A plug-in URI (a scheme followed by ':', and no such file) or an existing folder (a bundle).
// Anything else is a VST 2 library.
bool isLv2Reference(const std::string& text);

enum class Lv2PortKind { audioInput, audioOutput, controlInput, controlOutput, other };

struct Lv2PortInfo {
  std::uint32_t index;
  Lv2PortKind kind;
  std::string symbol;
  std::string name;
  float minimum;
  float maximum;
  float defaultValue;
  // A control input the plug-in keeps off hosts' control lists (pprops:notOnGUI): no parameter,
  // connected to a value of the host's that only the plug-in's UI changes.
  bool hidden = false;
};

class Lv2Plugin {
 public:
  // Throws HostError when no plug-in of that URI or in that bundle is found.
  explicit Lv2Plugin(const std::string& reference);
  ~Lv2Plugin();
  Lv2Plugin(const Lv2Plugin&) = delete;
  Lv2Plugin& operator=(const Lv2Plugin&) = delete;

  const std::string& uri() const { return uri_; }
  const std::string& name() const { return name_; }
  const std::string& className() const { return className_; }
  const std::vector<Lv2PortInfo>& ports() const { return ports_; }
  const std::vector<std::string>& requiredFeatures() const { return requiredFeatures_; }
  std::vector<std::uint32_t> portsOf(Lv2PortKind kind) const;
  // The control inputs that are parameters (the hidden ones aside), in port order; a control's
  // number is its place here.
  std::vector<std::uint32_t> controlPorts() const;
  std::vector<std::uint32_t> hiddenControlPorts() const;

  // "I=V" with I a control's number (0 for the first) or its port's symbol; the answer is that
  // control's number. Throws HostError.
  std::pair<std::size_t, float> parseControlAssignment(const std::string& text) const;

  // Control values, one per control in port order, starting at the defaults.
  std::vector<float>& controls() { return controls_; }
  std::string controlList() const;
  // The values of the hidden control inputs, one per port of hiddenControlPorts, starting at
  // their defaults.
  std::vector<float>& hiddenControls() { return hiddenControls_; }

  // The DSP: made with no features (the plug-in must require none), inactive; a second call
  // makes a new instance. Every audio port is connected at each run; inputs beyond
  // `inputCount`, and missing outputs, get scratch buffers.
  void instantiate(double sampleRate, std::uint32_t maximumBlock);
  bool instantiated() const { return instance_ != nullptr; }
  void setActive(bool active);
  bool active() const { return active_; }
  void run(const float* const* inputs, std::size_t inputCount, float* const* outputs,
           std::size_t outputCount, std::uint32_t frames);

  // The plug-in's X11 UI: its URI, binary and bundle path, when it has one.
  struct UiInfo {
    std::string uri;
    std::string binary;
    std::string bundle;
  };
  std::optional<UiInfo> x11Ui() const;

 private:
  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
  void release();

  LilvInstance* instance_ = nullptr;
  bool active_ = false;
  std::string uri_;
  std::string name_;
  std::string className_;
  std::vector<Lv2PortInfo> ports_;
  std::vector<std::string> requiredFeatures_;
  std::vector<float> controls_;
  std::vector<float> hiddenControls_;
  std::vector<float> controlOutputs_;
  std::vector<float> scratch_;
};

// The URIs a host maps to numbers for its plug-ins (urid:map): each its own, from 1, for as
// long as the map lives.
class Lv2UridMap {
 public:
  Lv2UridMap() : feature_{this, map} {}
  Lv2UridMap(const Lv2UridMap&) = delete;
  Lv2UridMap& operator=(const Lv2UridMap&) = delete;

  std::uint32_t id(const char* uri);
  const LV2_URID_Map* feature() const { return &feature_; }

 private:
  static std::uint32_t map(LV2_URID_Map_Handle handle, const char* uri);

  std::vector<std::string> uris_;
  LV2_URID_Map feature_;
};

// An instantiated X11 UI of a plug-in, inside a host window.
class Lv2X11Ui {
 public:
  struct Settings {
    // The host's ui:scaleFactor option (atom:Float); 0 gives none.
    double scale = 0.0;
    // Asked for every size the UI takes through ui:resize; the UI is told whether it may.
    std::function<bool(int width, int height)> resize;
  };

  // Throws HostError when the binary cannot be loaded or the UI refuses to instantiate.
  Lv2X11Ui(Lv2Plugin& plugin, const Lv2Plugin::UiInfo& info, std::uint32_t parentWindow,
           Settings settings);
  ~Lv2X11Ui();
  Lv2X11Ui(const Lv2X11Ui&) = delete;
  Lv2X11Ui& operator=(const Lv2X11Ui&) = delete;

  // The last size of the UI's ui:resize calls the host agreed to, 0 x 0 before any.
  int width() const { return width_; }
  int height() const { return height_; }
  std::uintptr_t widget() const { return widget_; }

  // The host's side of a control change: the UI hears of it through port_event.
  void portEvent(std::uint32_t port, float value);
  // One pass of the UI's idle loop; false once the UI says it has closed.
  bool idle();
  // A new scale factor for the open UI, through its options interface; false when it has none
  // or refuses the option.
  bool setScale(double scale);

  // Control writes from the UI, as {control number, value}; each also changes `controls`.
  const std::vector<AutomationReport>& writes() const { return writes_; }
  // Writes to hidden control inputs, as {place in hiddenControlPorts, value}: no automation,
  // values the host keeps for the plug-in.
  const std::vector<AutomationReport>& hiddenWrites() const { return hiddenWrites_; }

 private:
  static void write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                    std::uint32_t protocol, const void* buffer);
  static int resize(LV2UI_Feature_Handle handle, int width, int height);

  std::vector<float>* controls_;
  std::vector<std::uint32_t> controlPorts_;
  std::vector<std::uint32_t> hiddenPorts_;
  void* library_ = nullptr;
  const LV2UI_Descriptor* descriptor_ = nullptr;
  LV2UI_Handle handle_ = nullptr;
  const LV2UI_Idle_Interface* idle_ = nullptr;
  std::uintptr_t widget_ = 0;
  int width_ = 0;
  int height_ = 0;
  LV2UI_Resize resize_{};
  std::function<bool(int, int)> resizer_;
  Lv2UridMap urids_;
  std::vector<AutomationReport> writes_;
  std::vector<AutomationReport> hiddenWrites_;
};

// An LV2 plug-in behind plughost's one plug-in interface. Its parameters are its control inputs
// with their values as they are (the LV2 ports' own ranges), those it hides from hosts aside; it
// has no programs and no value texts of its own, so a display is the value. The instance is made
// at setup(), and again when the rate changes. Hidden control inputs keep what the UI writes to
// them, as a host's session would, and each new UI is told it.
class Lv2HostedPlugin final : public Plugin {
 public:
  explicit Lv2HostedPlugin(const std::string& reference);
  ~Lv2HostedPlugin() override;

  Lv2Plugin& lv2() { return plugin_; }

  PluginFormat format() const override { return PluginFormat::lv2; }
  std::string name() override { return plugin_.name(); }
  int inputCount() const override { return static_cast<int>(audioInputs_); }
  int outputCount() const override { return static_cast<int>(audioOutputs_); }

  int parameterCount() const override { return static_cast<int>(controlPorts_.size()); }
  int parameterIndex(const std::string& key) override;
  std::string parameterName(int index) override;
  std::string parameterDisplay(int index) override;
  std::string parameterLabel(int /*index*/) override { return {}; }
  float parameter(int index) override;
  void setParameter(int index, float value) override;

  int programCount() override { return 0; }
  int program() override { return 0; }
  void setProgram(int program) override;
  std::string programName(int program) override;

  void setup(double sampleRate, std::int32_t maxFrames) override;
  void setActive(bool active) override;
  bool active() const override { return plugin_.active(); }

  void process(ProcessMode mode, float* const* inputs, float* const* outputs, std::int32_t frames,
               std::span<const ParameterChange> changes) override;

  std::optional<EditorRect> editorRect() override;
  void setEditorScale(double factor) override;
  void openEditor(void* parent) override;
  void idleEditor() override;
  void closeEditor() override;
  std::vector<AutomationReport> automation() const override;

  void describe(std::ostream& out, bool json) override;

 private:
  bool validIndex(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < controlPorts_.size();
  }

  // The UI's writes since the last look, taken in as host changes.
  void takeUiWrites();

  Lv2Plugin plugin_;
  std::vector<std::uint32_t> controlPorts_;
  // The host's side of each control: set from any thread, read into the port (which the
  // plug-in reads while it runs) on the audio thread before the next run.
  std::unique_ptr<std::atomic<float>[]> hostValues_;
  std::unique_ptr<std::atomic<bool>[]> hostChanged_;
  // The same for the hidden control inputs, which only the UI changes.
  std::vector<std::uint32_t> hiddenPorts_;
  std::unique_ptr<std::atomic<float>[]> hiddenValues_;
  std::unique_ptr<std::atomic<bool>[]> hiddenChanged_;
  std::size_t uiWritesTaken_ = 0;
  std::size_t uiHiddenWritesTaken_ = 0;
  double editorScale_ = 0.0;
  std::size_t audioInputs_;
  std::size_t audioOutputs_;
  double sampleRate_ = 0.0;
  std::int32_t maxFrames_ = 0;
  std::unique_ptr<Lv2X11Ui> ui_;
  // The UI's writes of editors already closed.
  std::vector<AutomationReport> closedWrites_;
};

}  // namespace plughost
