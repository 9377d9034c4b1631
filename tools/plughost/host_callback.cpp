#include "tools/plughost/host_callback.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace plughost {
namespace {

// Descriptor-to-recorder table shared by every callback call in the process. Plug-ins may call
// from any thread they like, so it is guarded.
std::mutex registryMutex;
std::vector<std::pair<AEffect*, HostCallbackRecorder*>> registry;
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
  std::erase_if(registry, [this](const auto& entry) { return entry.second == this; });
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
  std::erase_if(registry, [effect](const auto& entry) { return entry.first == effect; });
  registry.emplace_back(effect, this);
}

void HostCallbackRecorder::detach(AEffect* effect) {
  std::lock_guard lock(registryMutex);
  std::erase_if(registry, [effect, this](const auto& entry) {
    return entry.first == effect && entry.second == this;
  });
}

VstIntPtr HostCallbackRecorder::callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                         VstIntPtr value, void* ptr, float opt) {
  HostCallbackRecorder* recorder = nullptr;
  if (effect != nullptr) {
    std::lock_guard lock(registryMutex);
    for (const auto& [known, owner] : registry) {
      if (known == effect) {
        recorder = owner;
        break;
      }
    }
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
  return answer(opcode, index, ptr);
}

VstIntPtr HostCallbackRecorder::answer(std::int32_t opcode, std::int32_t index, void* ptr) const {
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
    default:
      // Automation, idle, current id, time info, can-do and the rest: nothing to say.
      return 0;
  }
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
