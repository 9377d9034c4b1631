// The host side of the callback a plug-in receives from `main`: answers as a plain VST 2.4 host
// and records what the plug-in asked, above all every automation report (opcode 0).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "host/vst2/aeffect.h"
#include "tools/plughost/vst_opcodes.h"

namespace plughost {

// What the host answers. A validator also plays hosts that are too old to count or say nothing.
enum class HostAnswers {
  plain,        // a VST 2.4 host: version, sample rate, block size, vendor and product texts
  silent,       // 0 to every request, the version included
  versionZero,  // 0 to the version request, the rest as plain
};

struct HostPolicy {
  HostAnswers answers = HostAnswers::plain;
  // Keep every request and automation report (under a lock, in growing lists). Without, only
  // the counts are kept, in atomics: the callback then neither allocates nor locks (finding the
  // recorder takes no lock either), so plug-ins may call it from process calls watched for both.
  bool keepRequests = true;
  // The product text; the vendor is always the project.
  const char* product = "plughost";
  // audioMasterPinConnected says "connected" (0) for pins below this.
  std::int32_t connectedPins = 2;
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

// The host's window around a plug-in's editor, as far as the editor may ask it for another size:
// audioMasterSizeWindow (index = width, value = height) and canDo "sizeWindow".
class EditorWindowSizer {
 public:
  // Whether the window follows such requests at all.
  virtual bool followsEditorSize() const = 0;
  // Makes the window width x height pixels; false when it did not.
  virtual bool resizeForEditor(int width, int height) = 0;

 protected:
  ~EditorWindowSizer() = default;
};

class HostCallbackRecorder {
 public:
  static constexpr VstIntPtr kHostVersion = 2400;
  // Beyond this many, requests are counted but no longer kept.
  static constexpr std::size_t kMaxRecorded = 1 << 16;

  HostCallbackRecorder() = default;
  explicit HostCallbackRecorder(const HostPolicy& policy) : policy_(policy) {}
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
  void setSampleRate(float rate) { sampleRate_.store(rate, std::memory_order_relaxed); }
  void setBlockSize(std::int32_t frames) { blockSize_.store(frames, std::memory_order_relaxed); }
  // Where audioMasterSizeWindow goes; null (the start) refuses it, and canDo "sizeWindow" says
  // no. Set while no editor is open: the callback reads it without a lock.
  void setEditorWindowSizer(EditorWindowSizer* sizer) {
    sizer_.store(sizer, std::memory_order_release);
  }
  EditorWindowSizer* editorWindowSizer() const { return sizer_.load(std::memory_order_acquire); }

  // The answer to one request, recorded. Public so tests and other hosts can drive it directly.
  VstIntPtr handle(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt);

  std::vector<HostRequest> requests() const;
  std::vector<AutomationReport> automation() const;
  std::size_t requestCount() const;
  // Requests with this opcode; opcodes outside 0..63 are counted together.
  std::size_t countOf(std::int32_t opcode) const;

 private:
  VstIntPtr answer(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr) const;
  VstIntPtr canDo(const char* what) const;

  HostPolicy policy_;
  mutable std::mutex mutex_;
  std::vector<HostRequest> requests_;
  std::vector<AutomationReport> automation_;
  std::atomic<std::size_t> requestCount_{0};
  std::atomic<std::size_t> opcodeCounts_[64] = {};
  std::atomic<std::size_t> otherOpcodeCount_{0};
  std::atomic<float> sampleRate_{44100.0f};
  std::atomic<std::int32_t> blockSize_{512};
  std::atomic<EditorWindowSizer*> sizer_{nullptr};
};

}  // namespace plughost
