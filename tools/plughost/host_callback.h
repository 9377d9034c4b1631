// The host side of the callback a plug-in receives from `main`: answers as a plain VST 2.4 host
// and records what the plug-in asked, above all every automation report (opcode 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "host/aeffect.h"

namespace plughost {

// Host requests beyond the five the interface header names, by their published numbers.
enum HostOpcode24 : std::int32_t {
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterIOChanged = 13,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetAutomationState = 24,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterCanDo = 37,
  audioMasterGetLanguage = 38,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

struct HostRequest {
  std::int32_t opcode;
  std::int32_t index;
  VstIntPtr value;
  float opt;
};

struct AutomationReport {
  std::int32_t index;
  float value;
};

class HostCallbackRecorder {
 public:
  static constexpr VstIntPtr kHostVersion = 2400;
  // Beyond this many, requests are counted but no longer kept.
  static constexpr std::size_t kMaxRecorded = 1 << 16;

  HostCallbackRecorder() = default;
  ~HostCallbackRecorder();
  HostCallbackRecorder(const HostCallbackRecorder&) = delete;
  HostCallbackRecorder& operator=(const HostCallbackRecorder&) = delete;

  // The function handed to a plug-in's entry point. It finds the recorder by descriptor; calls
  // with a descriptor it does not know yet (during `main`) go to the recorder of the innermost
  // live EntryScope.
  static VstIntPtr callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                            VstIntPtr value, void* ptr, float opt);

  // Routes calls made while a plug-in's entry point runs to this recorder.
  class EntryScope {
   public:
    explicit EntryScope(HostCallbackRecorder& recorder);
    ~EntryScope();
    EntryScope(const EntryScope&) = delete;
    EntryScope& operator=(const EntryScope&) = delete;

   private:
    HostCallbackRecorder* previous_;
  };

  // From attach to detach, calls naming this descriptor reach this recorder.
  void attach(AEffect* effect);
  void detach(AEffect* effect);

  // What the host reports to a plug-in that asks.
  void setSampleRate(float rate) { sampleRate_ = rate; }
  void setBlockSize(std::int32_t frames) { blockSize_ = frames; }

  // The answer to one request, recorded. Public so tests and other hosts can drive it directly.
  VstIntPtr handle(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt);

  std::vector<HostRequest> requests() const;
  std::vector<AutomationReport> automation() const;
  std::size_t requestCount() const;
  // Requests with this opcode; opcodes outside 0..63 are counted together.
  std::size_t countOf(std::int32_t opcode) const;

 private:
  mutable std::mutex mutex_;
  std::vector<HostRequest> requests_;
  std::vector<AutomationReport> automation_;
  std::size_t requestCount_ = 0;
  std::size_t opcodeCounts_[64] = {};
  std::size_t otherOpcodeCount_ = 0;
  float sampleRate_ = 44100.0f;
  std::int32_t blockSize_ = 512;
};

}  // namespace plughost
