#include "tools/plughost/host_callback.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

namespace plughost {
namespace {

// Descriptor-to-recorder table shared by every callback call in the process. Plug-ins may call
// from any thread they like, from process calls too, so finding a recorder takes no lock: a
// fixed set of slots, each written (under the mutex, by attach and detach) recorder first and
// descriptor last, and read descriptor first. Descriptors beyond the slots go to a list that
// is only searched, under the mutex, while it holds any.
struct RegistrySlot {
  std::atomic<AEffect*> effect{nullptr};
  std::atomic<HostCallbackRecorder*> recorder{nullptr};
};
constexpr std::size_t kRegistrySlots = 1024;
std::mutex registryMutex;
RegistrySlot registry[kRegistrySlots];
std::vector<std::pair<AEffect*, HostCallbackRecorder*>> overflow;
std::atomic<bool> overflowInUse{false};

// Under registryMutex.
void forget(AEffect* effect, const HostCallbackRecorder* owner) {
  for (RegistrySlot& slot : registry) {
    if ((effect == nullptr || slot.effect.load(std::memory_order_relaxed) == effect) &&
        (owner == nullptr || slot.recorder.load(std::memory_order_relaxed) == owner)) {
      slot.effect.store(nullptr, std::memory_order_release);
      slot.recorder.store(nullptr, std::memory_order_release);
    }
  }
  std::erase_if(overflow, [effect, owner](const auto& entry) {
    return (effect == nullptr || entry.first == effect) &&
           (owner == nullptr || entry.second == owner);
  });
  overflowInUse.store(!overflow.empty(), std::memory_order_release);
}

HostCallbackRecorder* recorderOf(AEffect* effect) {
  for (const RegistrySlot& slot : registry) {
    if (slot.effect.load(std::memory_order_acquire) == effect) {
      // Null when a detach came in between: the call then goes where unknown ones go.
      return slot.recorder.load(std::memory_order_acquire);
    }
  }
  if (overflowInUse.load(std::memory_order_acquire)) {
    std::lock_guard lock(registryMutex);
    for (const auto& [known, owner] : overflow) {
      if (known == effect) {
        return owner;
      }
    }
  }
  return nullptr;
}

thread_local HostCallbackRecorder* entryRecorder = nullptr;

void copyText(void* ptr, const char* text) {
  // Vendor and product buffers hold 64 bytes; these texts are far shorter.
  constexpr std::size_t kHostTextSize = 64;
  if (ptr != nullptr) {
    std::snprintf(static_cast<char*>(ptr), kHostTextSize, "%s", text);
  }
}

}  // namespace

HostCallbackRecorder::~HostCallbackRecorder() {
  std::lock_guard lock(registryMutex);
  forget(nullptr, this);
}

HostCallbackRecorder::EntryScope::EntryScope(HostCallbackRecorder& recorder)
    : previous_(entryRecorder) {
  entryRecorder = &recorder;
}

HostCallbackRecorder::EntryScope::~EntryScope() {
  entryRecorder = previous_;
}

void HostCallbackRecorder::attach(AEffect* effect) {
  std::lock_guard lock(registryMutex);
  forget(effect, nullptr);
  for (RegistrySlot& slot : registry) {
    if (slot.effect.load(std::memory_order_relaxed) == nullptr) {
      slot.recorder.store(this, std::memory_order_release);
      slot.effect.store(effect, std::memory_order_release);
      return;
    }
  }
  overflow.emplace_back(effect, this);
  overflowInUse.store(true, std::memory_order_release);
}

void HostCallbackRecorder::detach(AEffect* effect) {
  std::lock_guard lock(registryMutex);
  forget(effect, this);
}

VstIntPtr HostCallbackRecorder::callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                         VstIntPtr value, void* ptr, float opt) {
  HostCallbackRecorder* recorder = nullptr;
  if (effect != nullptr) {
    recorder = recorderOf(effect);
  }
  if (recorder == nullptr) {
    recorder = entryRecorder;
  }
  if (recorder == nullptr) {
    // A plug-in calling from a thread of its own with a descriptor we never handed out: still
    // a host, so still answer the version.
    return opcode == audioMasterVersion ? kHostVersion : 0;
  }
  return recorder->handle(opcode, index, value, ptr, opt);
}

VstIntPtr HostCallbackRecorder::handle(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                       void* ptr, float opt) {
  requestCount_.fetch_add(1, std::memory_order_relaxed);
  if (opcode >= 0 && opcode < static_cast<std::int32_t>(std::size(opcodeCounts_))) {
    opcodeCounts_[opcode].fetch_add(1, std::memory_order_relaxed);
  } else {
    otherOpcodeCount_.fetch_add(1, std::memory_order_relaxed);
  }
  if (policy_.keepRequests) {
    std::lock_guard lock(mutex_);
    if (requests_.size() < kMaxRecorded) {
      requests_.push_back({opcode, index, value, opt});
    }
    if (opcode == audioMasterAutomate && automation_.size() < kMaxRecorded) {
      automation_.push_back({index, opt});
    }
  }
  return answer(opcode, index, value, ptr);
}

VstIntPtr HostCallbackRecorder::answer(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                       void* ptr) const {
  if (policy_.answers == HostAnswers::silent ||
      (policy_.answers == HostAnswers::versionZero && opcode == audioMasterVersion)) {
    return 0;
  }
  switch (opcode) {
    case audioMasterVersion:
      return kHostVersion;
    case audioMasterPinConnected:
      // 0 means connected.
      return index >= 0 && index < policy_.connectedPins ? 0 : 1;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(sampleRate_.load(std::memory_order_relaxed));
    case audioMasterGetBlockSize:
      return blockSize_.load(std::memory_order_relaxed);
    case audioMasterGetVendorString:
      copyText(ptr, "DriveEffect project");
      return 1;
    case audioMasterGetProductString:
      copyText(ptr, policy_.product);
      return 1;
    case audioMasterGetVendorVersion:
      return 1000;
    case audioMasterGetLanguage:
      return 1;  // English
    case audioMasterSizeWindow: {
      EditorWindowSizer* sizer = editorWindowSizer();
      // The height comes in a pointer-sized field; no window is anywhere near int's range.
      const auto height = static_cast<int>(
          std::clamp<VstIntPtr>(value, 0, std::numeric_limits<std::int32_t>::max()));
      const bool followed =
          sizer != nullptr && index > 0 && height > 0 && sizer->resizeForEditor(index, height);
      return followed ? 1 : 0;
    }
    case audioMasterCanDo:
      return canDo(static_cast<const char*>(ptr));
    default:
      // Automation, idle, current id, time info and the rest: nothing to say.
      return 0;
  }
}

VstIntPtr HostCallbackRecorder::canDo(const char* what) const {
  if (what == nullptr) {
    return 0;
  }
  // 1: can, -1: cannot, 0: the host does not say. Only what the host knows about itself is
  // answered; the plug-in's texts are not to be trusted to end, so the comparison is bounded.
  constexpr char kSizeWindow[] = "sizeWindow";
  if (std::strncmp(what, kSizeWindow, sizeof kSizeWindow) == 0) {
    const EditorWindowSizer* sizer = editorWindowSizer();
    return sizer != nullptr && sizer->followsEditorSize() ? 1 : -1;
  }
  return 0;
}

std::vector<HostRequest> HostCallbackRecorder::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<AutomationReport> HostCallbackRecorder::automation() const {
  std::lock_guard lock(mutex_);
  return automation_;
}

std::size_t HostCallbackRecorder::requestCount() const {
  return requestCount_.load(std::memory_order_relaxed);
}

std::size_t HostCallbackRecorder::countOf(std::int32_t opcode) const {
  if (opcode >= 0 && opcode < static_cast<std::int32_t>(std::size(opcodeCounts_))) {
    return opcodeCounts_[opcode].load(std::memory_order_relaxed);
  }
  return otherOpcodeCount_.load(std::memory_order_relaxed);
}

}  // namespace plughost
