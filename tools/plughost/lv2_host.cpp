#include "tools/plughost/lv2_host.h"

#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/port-props/port-props.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include <iomanip>
#include <ostream>

#include <nlohmann/json.hpp>

#include "tools/plughost/host_error.h"
#include "tools/plughost/host_text.h"
#include "tools/plughost/parameter_assignment.h"

namespace plughost {
namespace {

const char* kindName(Lv2PortKind kind) {
  switch (kind) {
    case Lv2PortKind::audioInput:
      return "audio in";
    case Lv2PortKind::audioOutput:
      return "audio out";
    case Lv2PortKind::controlInput:
      return "control in";
    case Lv2PortKind::controlOutput:
      return "control out";
    case Lv2PortKind::other:
      break;
  }
  return "other";
}

struct NodeFree {
  void operator()(LilvNode* node) const { lilv_node_free(node); }
};
using Node = std::unique_ptr<LilvNode, NodeFree>;

std::string filePath(const LilvNode* uri) {
  if (uri == nullptr) {
    return {};
  }
  char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
  std::string text = path != nullptr ? path : "";
  lilv_free(path);
  return text;
}

float floatOr(const LilvNode* node, float fallback) {
  return node != nullptr && (lilv_node_is_float(node) || lilv_node_is_int(node))
             ? lilv_node_as_float(node)
             : fallback;
}

// The LV2 core bundle (lv2core.lv2), in LV2_PATH's folders or the standard ones; empty if
// none is installed.
std::string standardCoreBundle() {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("LV2_PATH")) {
    std::string list = path;
    for (std::size_t start = 0; start <= list.size();) {
      const std::size_t end = std::min(list.find(':', start), list.size());
      folders.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  if (const char* home = std::getenv("HOME")) {
    folders.push_back(std::string(home) + "/.lv2");
  }
  folders.emplace_back("/usr/local/lib/lv2");
  folders.emplace_back("/usr/lib/lv2");
  for (const std::string& folder : folders) {
    std::error_code error;
    const std::filesystem::path core = std::filesystem::path(folder) / "core.lv2";
    if (!folder.empty() && std::filesystem::exists(core / "manifest.ttl", error)) {
      return core.string() + "/";
    }
  }
  return {};
}

}  // namespace

bool isLv2Reference(const std::string& text) {
  std::error_code error;
  if (std::filesystem::is_directory(text, error)) {
    return true;
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon < 2 || std::filesystem::exists(text, error)) {
    return false;  // a drive letter (C:\...) or a file
  }
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) {
      return false;
    }
  }
  return true;
}

Lv2Plugin::Lv2Plugin(const std::string& reference) : world_(lilv_world_new()) {
  std::error_code error;
  const bool bundle = std::filesystem::is_directory(reference, error);
  const LilvPlugins* all = nullptr;
  if (bundle &&
      !std::filesystem::exists(std::filesystem::path(reference) / "manifest.ttl", error)) {
    lilv_world_free(world_);
    throw HostError("'" + reference + "' is a folder but not an LV2 bundle (no manifest.ttl)");
  }
  if (bundle) {
    // The bundle alone, and the standard's core for the names of plug-in classes: another copy
    // of the same plug-in installed elsewhere must not be the one found.
    std::string path = std::filesystem::absolute(reference).string();
    if (path.back() != '/') {
      path += '/';
    }
    Node bundleUri(lilv_new_file_uri(world_, nullptr, path.c_str()));
    lilv_world_load_bundle(world_, bundleUri.get());
    const std::string core = standardCoreBundle();
    if (!core.empty()) {
      Node coreUri(lilv_new_file_uri(world_, nullptr, core.c_str()));
      lilv_world_load_bundle(world_, coreUri.get());
    }
    lilv_world_load_specifications(world_);
    lilv_world_load_plugin_classes(world_);
    all = lilv_world_get_all_plugins(world_);
    LILV_FOREACH(plugins, i, all) {
      const LilvPlugin* candidate = lilv_plugins_get(all, i);
      if (lilv_node_equals(lilv_plugin_get_bundle_uri(candidate), bundleUri.get())) {
        plugin_ = candidate;
        break;
      }
    }
  } else {
    lilv_world_load_all(world_);
    all = lilv_world_get_all_plugins(world_);
    Node uri(lilv_new_uri(world_, reference.c_str()));
    plugin_ = lilv_plugins_get_by_uri(all, uri.get());
  }
  if (plugin_ == nullptr) {
    lilv_world_free(world_);
    throw HostError(bundle ? "no LV2 plug-in in the bundle '" + reference + "'"
                           : "no LV2 plug-in with the URI '" + reference +
                                 "' (searched LV2_PATH or the standard LV2 folders)");
  }

  uri_ = lilv_node_as_uri(lilv_plugin_get_uri(plugin_));
  Node name(lilv_plugin_get_name(plugin_));
  name_ = name ? lilv_node_as_string(name.get()) : "";
  const LilvNode* classLabel = lilv_plugin_class_get_label(lilv_plugin_get_class(plugin_));
  className_ = classLabel != nullptr ? lilv_node_as_string(classLabel) : "";
  LilvNodes* required = lilv_plugin_get_required_features(plugin_);
  LILV_FOREACH(nodes, i, required) {
    requiredFeatures_.emplace_back(lilv_node_as_uri(lilv_nodes_get(required, i)));
  }
  lilv_nodes_free(required);

  Node input(lilv_new_uri(world_, LV2_CORE__InputPort));
  Node output(lilv_new_uri(world_, LV2_CORE__OutputPort));
  Node audio(lilv_new_uri(world_, LV2_CORE__AudioPort));
  Node control(lilv_new_uri(world_, LV2_CORE__ControlPort));
  Node notOnGui(lilv_new_uri(world_, LV2_PORT_PROPS__notOnGUI));
  const std::uint32_t count = lilv_plugin_get_num_ports(plugin_);
  for (std::uint32_t i = 0; i < count; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
    Lv2PortInfo info{i, Lv2PortKind::other, {}, {}, 0.0f, 1.0f, 0.0f};
    const bool isInput = lilv_port_is_a(plugin_, port, input.get());
    const bool isOutput = lilv_port_is_a(plugin_, port, output.get());
    if (lilv_port_is_a(plugin_, port, audio.get())) {
      info.kind = isInput ? Lv2PortKind::audioInput
                          : (isOutput ? Lv2PortKind::audioOutput : Lv2PortKind::other);
    } else if (lilv_port_is_a(plugin_, port, control.get())) {
      info.kind = isInput ? Lv2PortKind::controlInput
                          : (isOutput ? Lv2PortKind::controlOutput : Lv2PortKind::other);
    }
    info.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin_, port));
    Node portName(lilv_port_get_name(plugin_, port));
    info.name = portName ? lilv_node_as_string(portName.get()) : info.symbol;
    LilvNode* def = nullptr;
    LilvNode* min = nullptr;
    LilvNode* max = nullptr;
    lilv_port_get_range(plugin_, port, &def, &min, &max);
    info.minimum = floatOr(min, 0.0f);
    info.maximum = floatOr(max, 1.0f);
    info.defaultValue = floatOr(def, info.minimum);
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    info.hidden = info.kind == Lv2PortKind::controlInput &&
                  lilv_port_has_property(plugin_, port, notOnGui.get());
    if (info.kind == Lv2PortKind::controlInput) {
      (info.hidden ? hiddenControls_ : controls_).push_back(info.defaultValue);
    } else if (info.kind == Lv2PortKind::controlOutput) {
      controlOutputs_.push_back(0.0f);
    }
    ports_.push_back(std::move(info));
  }
}

Lv2Plugin::~Lv2Plugin() {
  release();
  lilv_world_free(world_);
}

void Lv2Plugin::release() {
  if (instance_ != nullptr) {
    setActive(false);
    lilv_instance_free(instance_);
    instance_ = nullptr;
  }
}

void Lv2Plugin::setActive(bool active) {
  if (instance_ == nullptr || active == active_) {
    return;
  }
  if (active) {
    lilv_instance_activate(instance_);
  } else {
    lilv_instance_deactivate(instance_);
  }
  active_ = active;
}

std::vector<std::uint32_t> Lv2Plugin::portsOf(Lv2PortKind kind) const {
  std::vector<std::uint32_t> indices;
  for (const Lv2PortInfo& port : ports_) {
    if (port.kind == kind) {
      indices.push_back(port.index);
    }
  }
  return indices;
}

std::vector<std::uint32_t> Lv2Plugin::controlPorts() const {
  std::vector<std::uint32_t> indices;
  for (const Lv2PortInfo& port : ports_) {
    if (port.kind == Lv2PortKind::controlInput && !port.hidden) {
      indices.push_back(port.index);
    }
  }
  return indices;
}

std::vector<std::uint32_t> Lv2Plugin::hiddenControlPorts() const {
  std::vector<std::uint32_t> indices;
  for (const Lv2PortInfo& port : ports_) {
    if (port.hidden) {
      indices.push_back(port.index);
    }
  }
  return indices;
}

std::pair<std::size_t, float> Lv2Plugin::parseControlAssignment(const std::string& text) const {
  const std::size_t equals = text.find('=');
  const std::string key = text.substr(0, equals);
  const std::vector<std::uint32_t> controlPorts = this->controlPorts();
  std::size_t control = controlPorts.size();
  if (equals != std::string::npos && !key.empty() &&
      key.find_first_not_of("0123456789") == std::string::npos) {
    const ParameterAssignment a = parseParameterAssignment(text);
    control = static_cast<std::size_t>(a.index);
    if (control >= controlPorts.size()) {
      throw HostError("bad --param '" + text + "': index " + key +
                      " is out of range (the plug-in has " + std::to_string(controlPorts.size()) +
                      " control inputs)");
    }
    return {control, a.value};
  }
  for (std::size_t i = 0; i < controlPorts.size(); ++i) {
    if (equals != std::string::npos && ports_[controlPorts[i]].symbol == key) {
      control = i;
    }
  }
  if (control == controlPorts.size()) {
    throw HostError("bad --param '" + text + "': expected INDEX=VALUE or SYMBOL=VALUE with a " +
                    "control input's symbol");
  }
  const ParameterAssignment a = parseParameterAssignment("0" + text.substr(equals));
  return {control, a.value};
}

std::string Lv2Plugin::controlList() const {
  std::string text = "parameters";
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    text += ' ' + std::to_string(i) + '=' + shortestFloatText(controls_[i]);
  }
  return text;
}

void Lv2Plugin::instantiate(double sampleRate, std::uint32_t maximumBlock) {
  if (!requiredFeatures_.empty()) {
    throw HostError("the LV2 plug-in '" + uri_ + "' requires the feature " +
                    requiredFeatures_.front() + ", which plughost does not offer");
  }
  // An instance keeps the rate it was made with: a new rate takes a new instance.
  release();
  instance_ = lilv_plugin_instantiate(plugin_, sampleRate, nullptr);
  if (instance_ == nullptr) {
    throw HostError("the LV2 plug-in '" + uri_ + "' did not instantiate");
  }
  scratch_.assign(maximumBlock, 0.0f);
  std::size_t control = 0;
  std::size_t hidden = 0;
  std::size_t controlOutput = 0;
  for (const Lv2PortInfo& port : ports_) {
    if (port.kind == Lv2PortKind::controlInput && port.hidden) {
      lilv_instance_connect_port(instance_, port.index, &hiddenControls_[hidden++]);
    } else if (port.kind == Lv2PortKind::controlInput) {
      lilv_instance_connect_port(instance_, port.index, &controls_[control++]);
    } else if (port.kind == Lv2PortKind::controlOutput) {
      lilv_instance_connect_port(instance_, port.index, &controlOutputs_[controlOutput++]);
    }
  }
}

void Lv2Plugin::run(const float* const* inputs, std::size_t inputCount, float* const* outputs,
                    std::size_t outputCount, std::uint32_t frames) {
  std::size_t input = 0;
  std::size_t output = 0;
  for (const Lv2PortInfo& port : ports_) {
    if (port.kind == Lv2PortKind::audioInput) {
      const float* buffer = input < inputCount ? inputs[input] : scratch_.data();
      ++input;
      lilv_instance_connect_port(instance_, port.index, const_cast<float*>(buffer));
    } else if (port.kind == Lv2PortKind::audioOutput) {
      float* buffer = output < outputCount ? outputs[output] : scratch_.data();
      ++output;
      lilv_instance_connect_port(instance_, port.index, buffer);
    }
  }
  lilv_instance_run(instance_, frames);
}

std::optional<Lv2Plugin::UiInfo> Lv2Plugin::x11Ui() const {
  Node x11(lilv_new_uri(world_, LV2_UI__X11UI));
  LilvUIs* uis = lilv_plugin_get_uis(plugin_);
  std::optional<UiInfo> found;
  LILV_FOREACH(uis, i, uis) {
    const LilvUI* ui = lilv_uis_get(uis, i);
    if (lilv_ui_is_a(ui, x11.get())) {
      found = UiInfo{lilv_node_as_uri(lilv_ui_get_uri(ui)), filePath(lilv_ui_get_binary_uri(ui)),
                     filePath(lilv_ui_get_bundle_uri(ui))};
      break;
    }
  }
  lilv_uis_free(uis);
  return found;
}

std::uint32_t Lv2UridMap::id(const char* uri) {
  for (std::size_t i = 0; i < uris_.size(); ++i) {
    if (uris_[i] == uri) {
      return static_cast<std::uint32_t>(i + 1);
    }
  }
  uris_.emplace_back(uri);
  return static_cast<std::uint32_t>(uris_.size());
}

std::uint32_t Lv2UridMap::map(LV2_URID_Map_Handle handle, const char* uri) {
  return uri != nullptr ? static_cast<Lv2UridMap*>(handle)->id(uri) : 0;
}

Lv2X11Ui::Lv2X11Ui(Lv2Plugin& plugin, const Lv2Plugin::UiInfo& info, std::uint32_t parentWindow,
                   Settings settings)
    : controls_(&plugin.controls()),
      controlPorts_(plugin.controlPorts()),
      hiddenPorts_(plugin.hiddenControlPorts()),
      resizer_(std::move(settings.resize)) {
  library_ = dlopen(info.binary.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char* why = dlerror();
    throw HostError("cannot load the LV2 UI '" + info.binary + "': " + (why ? why : "?"));
  }
  auto* entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library_, "lv2ui_descriptor"));
  for (std::uint32_t i = 0; entry != nullptr; ++i) {
    const LV2UI_Descriptor* candidate = entry(i);
    if (candidate == nullptr) {
      break;
    }
    if (info.uri == candidate->URI) {
      descriptor_ = candidate;
      break;
    }
  }
  if (descriptor_ == nullptr) {
    dlclose(library_);
    throw HostError("the LV2 UI binary '" + info.binary + "' has no UI '" + info.uri + "'");
  }

  resize_.handle = this;
  resize_.ui_resize = resize;
  // ui:parent carries the X11 window id in its pointer.
  const LV2_Feature parent{LV2_UI__parent,
                           reinterpret_cast<void*>(  // NOLINT(performance-no-int-to-ptr)
                               static_cast<std::uintptr_t>(parentWindow))};
  const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
  const LV2_Feature resizeFeature{LV2_UI__resize, &resize_};
  const LV2_Feature mapFeature{LV2_URID__map, const_cast<LV2_URID_Map*>(urids_.feature())};
  // The scale factor, where the command was given one; the list ends with a zeroed option.
  const auto scale = static_cast<float>(settings.scale);
  const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0, urids_.id(LV2_UI__scaleFactor),
                                         sizeof scale, urids_.id(LV2_ATOM__Float), &scale},
                                        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature optionsFeature{
      LV2_OPTIONS__options,
      const_cast<LV2_Options_Option*>(settings.scale > 0.0 ? options : options + 1)};
  const LV2_Feature* features[] = {&parent,     &idleFeature,    &resizeFeature,
                                   &mapFeature, &optionsFeature, nullptr};
  std::string bundle = info.bundle;
  if (bundle.empty() || bundle.back() != '/') {
    bundle += '/';
  }
  LV2UI_Widget widget = nullptr;
  handle_ = descriptor_->instantiate(descriptor_, plugin.uri().c_str(), bundle.c_str(), write, this,
                                     &widget, features);
  if (handle_ == nullptr) {
    dlclose(library_);
    throw HostError("the LV2 UI '" + info.uri + "' did not instantiate");
  }
  widget_ = reinterpret_cast<std::uintptr_t>(widget);
  if (descriptor_->extension_data != nullptr) {
    idle_ = static_cast<const LV2UI_Idle_Interface*>(
        descriptor_->extension_data(LV2_UI__idleInterface));
  }
}

Lv2X11Ui::~Lv2X11Ui() {
  descriptor_->cleanup(handle_);
  dlclose(library_);
}

void Lv2X11Ui::portEvent(std::uint32_t port, float value) {
  if (descriptor_->port_event != nullptr) {
    descriptor_->port_event(handle_, port, sizeof value, 0, &value);
  }
}

bool Lv2X11Ui::idle() {
  return idle_ == nullptr || idle_->idle(handle_) == 0;
}

bool Lv2X11Ui::setScale(double scale) {
  const auto* interface = descriptor_->extension_data != nullptr
                              ? static_cast<const LV2_Options_Interface*>(
                                    descriptor_->extension_data(LV2_OPTIONS__interface))
                              : nullptr;
  if (interface == nullptr || interface->set == nullptr) {
    return false;
  }
  const auto value = static_cast<float>(scale);
  const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0, urids_.id(LV2_UI__scaleFactor),
                                         sizeof value, urids_.id(LV2_ATOM__Float), &value},
                                        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  return interface->set(handle_, options) == LV2_OPTIONS_SUCCESS;
}

void Lv2X11Ui::write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                     std::uint32_t protocol, const void* buffer) {
  auto* self = static_cast<Lv2X11Ui*>(controller);
  if (protocol != 0 || size != sizeof(float) || buffer == nullptr) {
    return;
  }
  float value = 0.0f;
  std::memcpy(&value, buffer, sizeof value);
  for (std::size_t i = 0; i < self->controlPorts_.size(); ++i) {
    if (self->controlPorts_[i] == port) {
      (*self->controls_)[i] = value;
      self->writes_.push_back({static_cast<std::int32_t>(i), value});
    }
  }
  for (std::size_t i = 0; i < self->hiddenPorts_.size(); ++i) {
    if (self->hiddenPorts_[i] == port) {
      self->hiddenWrites_.push_back({static_cast<std::int32_t>(i), value});
    }
  }
}

int Lv2X11Ui::resize(LV2UI_Feature_Handle handle, int width, int height) {
  auto* self = static_cast<Lv2X11Ui*>(handle);
  if (self->resizer_ && !self->resizer_(width, height)) {
    return 1;
  }
  self->width_ = width;
  self->height_ = height;
  return 0;
}

Lv2HostedPlugin::Lv2HostedPlugin(const std::string& reference)
    : plugin_(reference),
      controlPorts_(plugin_.controlPorts()),
      hiddenPorts_(plugin_.hiddenControlPorts()),
      audioInputs_(plugin_.portsOf(Lv2PortKind::audioInput).size()),
      audioOutputs_(plugin_.portsOf(Lv2PortKind::audioOutput).size()) {
  hostValues_ = std::make_unique<std::atomic<float>[]>(controlPorts_.size());
  hostChanged_ = std::make_unique<std::atomic<bool>[]>(controlPorts_.size());
  for (std::size_t i = 0; i < controlPorts_.size(); ++i) {
    hostValues_[i].store(plugin_.controls()[i], std::memory_order_relaxed);
  }
  hiddenValues_ = std::make_unique<std::atomic<float>[]>(hiddenPorts_.size());
  hiddenChanged_ = std::make_unique<std::atomic<bool>[]>(hiddenPorts_.size());
  for (std::size_t i = 0; i < hiddenPorts_.size(); ++i) {
    hiddenValues_[i].store(plugin_.hiddenControls()[i], std::memory_order_relaxed);
  }
  if (audioInputs_ > static_cast<std::size_t>(kMaxChannels) ||
      audioOutputs_ > static_cast<std::size_t>(kMaxChannels)) {
    throw HostError("the LV2 plug-in '" + plugin_.uri() + "' has more than " +
                    std::to_string(kMaxChannels) + " audio ports a side");
  }
}

Lv2HostedPlugin::~Lv2HostedPlugin() {
  ui_.reset();
}

int Lv2HostedPlugin::parameterIndex(const std::string& key) {
  for (std::size_t i = 0; i < controlPorts_.size(); ++i) {
    if (plugin_.ports()[controlPorts_[i]].symbol == key) {
      return static_cast<int>(i);
    }
  }
  return Plugin::parameterIndex(key);
}

std::string Lv2HostedPlugin::parameterName(int index) {
  return validIndex(index) ? plugin_.ports()[controlPorts_[static_cast<std::size_t>(index)]].name
                           : std::string();
}

std::string Lv2HostedPlugin::parameterDisplay(int index) {
  return validIndex(index) ? shortestFloatText(parameter(index)) : std::string();
}

float Lv2HostedPlugin::parameter(int index) {
  return validIndex(index)
             ? hostValues_[static_cast<std::size_t>(index)].load(std::memory_order_relaxed)
             : 0.0f;
}

void Lv2HostedPlugin::setParameter(int index, float value) {
  if (!validIndex(index)) {
    return;
  }
  const auto i = static_cast<std::size_t>(index);
  hostValues_[i].store(value, std::memory_order_relaxed);
  hostChanged_[i].store(true, std::memory_order_release);
  if (ui_) {
    ui_->portEvent(controlPorts_[static_cast<std::size_t>(index)], value);
  }
}

void Lv2HostedPlugin::setProgram(int program) {
  throw HostError("program " + std::to_string(program) + ": an LV2 plug-in has no programs");
}

std::string Lv2HostedPlugin::programName(int /*program*/) {
  return {};
}

void Lv2HostedPlugin::setup(double sampleRate, std::int32_t maxFrames) {
  if (plugin_.instantiated() && sampleRate == sampleRate_ && maxFrames <= maxFrames_) {
    return;
  }
  const bool wasActive = plugin_.active();
  plugin_.instantiate(sampleRate, static_cast<std::uint32_t>(std::max(maxFrames, 1)));
  sampleRate_ = sampleRate;
  maxFrames_ = maxFrames;
  plugin_.setActive(wasActive);
}

void Lv2HostedPlugin::setActive(bool active) {
  if (!plugin_.instantiated()) {
    throw HostError("the LV2 plug-in was switched on before its sample rate was set");
  }
  plugin_.setActive(active);
}

void Lv2HostedPlugin::process(ProcessMode /*mode*/, float* const* inputs, float* const* outputs,
                              std::int32_t frames, std::span<const ParameterChange> changes) {
  const std::size_t ins = std::max<std::size_t>(audioInputs_, 1);
  const std::size_t outs = std::max<std::size_t>(audioOutputs_, 1);
  std::vector<float>& controls = plugin_.controls();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (hostChanged_[i].exchange(false, std::memory_order_acquire)) {
      controls[i] = hostValues_[i].load(std::memory_order_relaxed);
    }
  }
  std::vector<float>& hidden = plugin_.hiddenControls();
  for (std::size_t i = 0; i < hidden.size(); ++i) {
    if (hiddenChanged_[i].exchange(false, std::memory_order_acquire)) {
      hidden[i] = hiddenValues_[i].load(std::memory_order_relaxed);
    }
  }
  std::atomic<float>* hostValues = hostValues_.get();
  processSplitAtChanges(
      inputs, static_cast<int>(ins), outputs, static_cast<int>(outs), frames, changes,
      [&controls, hostValues](const ParameterChange& change) {
        if (change.index >= 0 && static_cast<std::size_t>(change.index) < controls.size()) {
          const auto i = static_cast<std::size_t>(change.index);
          controls[i] = change.value;
          hostValues[i].store(change.value, std::memory_order_relaxed);
        }
      },
      [this, ins, outs](float* const* in, float* const* out, std::int32_t n) {
        plugin_.run(in, ins, out, outs, static_cast<std::uint32_t>(n));
      });
}

std::optional<EditorRect> Lv2HostedPlugin::editorRect() {
  if (ui_) {
    return EditorRect{0, 0, static_cast<std::int16_t>(ui_->height()),
                      static_cast<std::int16_t>(ui_->width())};
  }
  // An LV2 UI gives its size only once it is made (ui:resize).
  return plugin_.x11Ui() ? std::optional<EditorRect>(EditorRect{}) : std::nullopt;
}

void Lv2HostedPlugin::setEditorScale(double factor) {
  editorScale_ = factor;
  if (ui_) {
    ui_->setScale(factor);
  }
}

void Lv2HostedPlugin::openEditor(void* parent) {
  const std::optional<Lv2Plugin::UiInfo> info = plugin_.x11Ui();
  if (!info) {
    throw HostError("the LV2 plug-in '" + plugin_.uri() + "' has no X11 UI");
  }
  closeEditor();
  Lv2X11Ui::Settings settings;
  settings.scale = editorScale_;
  settings.resize = [this](int width, int height) {
    return !hasEditorResizer() || resizeEditorWindow(width, height);
  };
  ui_ = std::make_unique<Lv2X11Ui>(
      plugin_, *info, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(parent)),
      std::move(settings));
  uiWritesTaken_ = 0;
  uiHiddenWritesTaken_ = 0;
  // A host tells a new UI every control's value, the hidden ones' included (a UI's own state,
  // such as its size, comes back this way).
  for (std::size_t i = 0; i < controlPorts_.size(); ++i) {
    ui_->portEvent(controlPorts_[i], hostValues_[i].load(std::memory_order_relaxed));
  }
  for (std::size_t i = 0; i < hiddenPorts_.size(); ++i) {
    ui_->portEvent(hiddenPorts_[i], hiddenValues_[i].load(std::memory_order_relaxed));
  }
  takeUiWrites();
}

void Lv2HostedPlugin::idleEditor() {
  if (ui_) {
    ui_->idle();
    takeUiWrites();
  }
}

void Lv2HostedPlugin::takeUiWrites() {
  const std::vector<AutomationReport>& writes = ui_->writes();
  for (; uiWritesTaken_ < writes.size(); ++uiWritesTaken_) {
    const AutomationReport& write = writes[uiWritesTaken_];
    const auto i = static_cast<std::size_t>(write.index);
    hostValues_[i].store(write.value, std::memory_order_relaxed);
    hostChanged_[i].store(true, std::memory_order_release);
  }
  const std::vector<AutomationReport>& hidden = ui_->hiddenWrites();
  for (; uiHiddenWritesTaken_ < hidden.size(); ++uiHiddenWritesTaken_) {
    const AutomationReport& write = hidden[uiHiddenWritesTaken_];
    const auto i = static_cast<std::size_t>(write.index);
    hiddenValues_[i].store(write.value, std::memory_order_relaxed);
    hiddenChanged_[i].store(true, std::memory_order_release);
  }
}

void Lv2HostedPlugin::closeEditor() {
  if (ui_) {
    takeUiWrites();
    closedWrites_.insert(closedWrites_.end(), ui_->writes().begin(), ui_->writes().end());
    ui_.reset();
  }
}

std::vector<AutomationReport> Lv2HostedPlugin::automation() const {
  std::vector<AutomationReport> all = closedWrites_;
  if (ui_) {
    all.insert(all.end(), ui_->writes().begin(), ui_->writes().end());
  }
  return all;
}

void Lv2HostedPlugin::describe(std::ostream& out, bool json) {
  const Lv2Plugin& plugin = plugin_;
  const std::optional<Lv2Plugin::UiInfo> ui = plugin.x11Ui();
  if (json) {
    nlohmann::ordered_json report;
    report["format"] = "LV2";
    report["uri"] = plugin.uri();
    report["name"] = plugin.name();
    report["class"] = plugin.className();
    report["requiredFeatures"] = plugin.requiredFeatures();
    report["ports"] = nlohmann::json::array();
    for (const Lv2PortInfo& port : plugin.ports()) {
      nlohmann::ordered_json entry;
      entry["index"] = port.index;
      entry["kind"] = kindName(port.kind);
      entry["symbol"] = port.symbol;
      entry["name"] = port.name;
      if (port.kind == Lv2PortKind::controlInput) {
        entry["minimum"] = port.minimum;
        entry["maximum"] = port.maximum;
        entry["default"] = port.defaultValue;
        entry["hidden"] = port.hidden;
      }
      report["ports"].push_back(entry);
    }
    report["x11Ui"] = ui ? nlohmann::ordered_json(ui->uri) : nlohmann::ordered_json();
    out << report.dump(2) << '\n';
    return;
  }
  out << "LV2 plug-in " << plugin.uri() << '\n';
  auto row = [&out](const char* key, const std::string& value) {
    out << "  " << std::left << std::setw(18) << key << value << '\n';
  };
  row("name", plugin.name());
  row("class", plugin.className());
  std::string features;
  for (const std::string& feature : plugin.requiredFeatures()) {
    features += (features.empty() ? "" : ", ") + feature;
  }
  row("required features", features.empty() ? "none" : features);
  row("X11 UI", ui ? ui->uri : "none");
  out << "  ports:\n";
  for (const Lv2PortInfo& port : plugin.ports()) {
    out << "    " << std::right << std::setw(2) << port.index << "  " << std::left << std::setw(12)
        << kindName(port.kind) << std::setw(12) << port.symbol << std::setw(12) << port.name;
    if (port.kind == Lv2PortKind::controlInput) {
      out << shortestFloatText(port.minimum) << " .. " << shortestFloatText(port.maximum)
          << ", default " << shortestFloatText(port.defaultValue)
          << (port.hidden ? ", hidden (no parameter)" : "");
    }
    out << '\n';
  }
}

}  // namespace plughost
