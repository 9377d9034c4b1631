// The objects a VST 3 host hands a plug-in: a memory stream for state, the host application
// context (with the messages and attribute lists it makes), the component handler that hears the
// controller's edits, the editor's frame, and the parameter changes of a process call.
//
// The host owns these (but messages and attribute lists, which the plug-in may keep): their
// reference counts are answered, and the host keeps each alive for as long as the plug-in may
// use it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/plughost/vst3_interfaces.h"

namespace plughost::vst3 {

// IBStream over bytes in memory, for moving the component's state to the controller.
class MemoryStream {
 public:
  MemoryStream() : slot_{{vtable()}, this} {}
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  Steinberg_IBStream* stream() { return faceOf(slot_); }
  const std::vector<unsigned char>& bytes() const { return bytes_; }
  // Back to the start, to read what was written.
  void rewind() { position_ = 0; }

 private:
  static Steinberg_IBStreamVtbl* vtable();
  tresult queryInterface(const char* iid, void** obj) noexcept;
  tresult read(void* buffer, Steinberg_int32 count, Steinberg_int32* done) noexcept;
  tresult write(void* buffer, Steinberg_int32 count, Steinberg_int32* done) noexcept;
  tresult seek(Steinberg_int64 position, Steinberg_int32 mode, Steinberg_int64* result) noexcept;
  tresult tell(Steinberg_int64* position) noexcept;

  Slot<Steinberg_IBStream, MemoryStream> slot_;
  std::vector<unsigned char> bytes_;
  std::size_t position_ = 0;
};

// IHostApplication: the host's name, and the message and attribute list objects a component and
// its controller exchange through their connection points.
class HostApplication {
 public:
  explicit HostApplication(std::string name);
  HostApplication(const HostApplication&) = delete;
  HostApplication& operator=(const HostApplication&) = delete;

  Steinberg_FUnknown* context() { return reinterpret_cast<Steinberg_FUnknown*>(faceOf(slot_)); }

 private:
  static Steinberg_Vst_IHostApplicationVtbl* vtable();
  tresult queryInterface(const char* iid, void** obj) noexcept;
  tresult getName(Steinberg_char16* name) noexcept;
  tresult createInstance(char* cid, char* iid, void** obj) noexcept;

  Slot<Steinberg_Vst_IHostApplication, HostApplication> slot_;
  std::string name_;
};

// What the controller tells the host through its IComponentHandler.
class ComponentHandlerListener {
 public:
  virtual void beginEdit(Steinberg_Vst_ParamID id) = 0;
  virtual tresult performEdit(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value) = 0;
  virtual void endEdit(Steinberg_Vst_ParamID id) = 0;
  virtual void restartComponent(Steinberg_int32 flags) = 0;

 protected:
  ~ComponentHandlerListener() = default;
};

class ComponentHandler {
 public:
  explicit ComponentHandler(ComponentHandlerListener& listener);
  ComponentHandler(const ComponentHandler&) = delete;
  ComponentHandler& operator=(const ComponentHandler&) = delete;

  Steinberg_Vst_IComponentHandler* handler() { return faceOf(slot_); }

 private:
  static Steinberg_Vst_IComponentHandlerVtbl* vtable();
  tresult queryInterface(const char* iid, void** obj) noexcept;
  tresult beginEdit(Steinberg_Vst_ParamID id) noexcept;
  tresult performEdit(Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue value) noexcept;
  tresult endEdit(Steinberg_Vst_ParamID id) noexcept;
  tresult restartComponent(Steinberg_int32 flags) noexcept;

  Slot<Steinberg_Vst_IComponentHandler, ComponentHandler> slot_;
  ComponentHandlerListener& listener_;
};

// IPlugFrame for an open view: a resize request goes to the host's window through the resizer,
// and where that agrees the view is told its new size (onSize) before the frame answers, as
// hosts do; without a resizer every request is refused. On Linux it also answers the run loop
// the view finds through it (given by the host; null elsewhere).
class PlugFrame {
 public:
  using Resizer = std::function<bool(int width, int height)>;

  explicit PlugFrame(Steinberg_Linux_IRunLoop* runLoop);
  PlugFrame(const PlugFrame&) = delete;
  PlugFrame& operator=(const PlugFrame&) = delete;

  Steinberg_IPlugFrame* frame() { return faceOf(slot_); }
  void setResizer(Resizer resizer) { resizer_ = std::move(resizer); }
  // The size of the last resize the view asked for, if it asked, whether or not it got it.
  bool resized() const { return resized_; }
  Steinberg_ViewRect size() const { return size_; }

 private:
  static Steinberg_IPlugFrameVtbl* vtable();
  tresult queryInterface(const char* iid, void** obj) noexcept;
  tresult resizeView(Steinberg_IPlugView* view, Steinberg_ViewRect* size) noexcept;

  Slot<Steinberg_IPlugFrame, PlugFrame> slot_;
  Steinberg_Linux_IRunLoop* runLoop_;
  Resizer resizer_;
  bool resized_ = false;
  Steinberg_ViewRect size_{};
};

// IParameterChanges with its queues, in storage set aside once (reserve) and reused for every
// process call: filling it, and the plug-in reading or adding to it, allocates nothing.
class ParameterChangeList {
 public:
  struct Point {
    Steinberg_int32 offset;
    Steinberg_Vst_ParamValue value;
  };

  ParameterChangeList() : slot_{{vtable()}, this} {}
  ParameterChangeList(const ParameterChangeList&) = delete;
  ParameterChangeList& operator=(const ParameterChangeList&) = delete;

  // Room for `queues` parameters and `points` points in all (allocates; not while a process call
  // may read the list). `pluginShare` is the room each queue the plug-in opens itself
  // (addParameterData) gets.
  void reserve(std::int32_t queues, std::int32_t points, std::int32_t pluginShare);
  std::int32_t pointCapacity() const { return static_cast<std::int32_t>(points_.size()); }

  // Empties every queue.
  void clear() {
    queueCount_ = 0;
    pointsUsed_ = 0;
  }
  // Opens a queue for `id` with room for `capacity` points: its number, or -1 when the queues or
  // the points are used up.
  std::int32_t open(Steinberg_Vst_ParamID id, std::int32_t capacity);
  // Adds a point at the end of an open queue; false when the queue is full. A point at the same
  // offset as the queue's last replaces its value, as hosts' queues do; one before it is taken
  // as at the same offset.
  bool add(std::int32_t queue, Steinberg_int32 offset, Steinberg_Vst_ParamValue value);

  Steinberg_Vst_IParameterChanges* changes() { return faceOf(slot_); }
  std::int32_t queueCount() const { return queueCount_; }
  Steinberg_Vst_ParamID queueId(std::int32_t queue) const { return queues_[index(queue)].id; }
  std::int32_t pointCount(std::int32_t queue) const { return queues_[index(queue)].count; }
  Point point(std::int32_t queue, std::int32_t i) const {
    return points_[index(queues_[index(queue)].first + i)];
  }

 private:
  struct Queue {
    Slot<Steinberg_Vst_IParamValueQueue, Queue> slot;
    ParameterChangeList* list;
    Steinberg_Vst_ParamID id;
    std::int32_t first;
    std::int32_t count;
    std::int32_t capacity;
  };
  static std::size_t index(std::int32_t i) { return static_cast<std::size_t>(i); }
  static Steinberg_Vst_IParameterChangesVtbl* vtable();
  static Steinberg_Vst_IParamValueQueueVtbl* queueVtable();
  static Queue& queueOf(void* self) { return ownerOf<Steinberg_Vst_IParamValueQueue, Queue>(self); }

  // IParameterChanges
  tresult queryInterface(const char* iid, void** obj) noexcept;
  Steinberg_int32 getParameterCount() noexcept { return queueCount_; }
  Steinberg_Vst_IParamValueQueue* getParameterData(Steinberg_int32 queue) noexcept;
  Steinberg_Vst_IParamValueQueue* addParameterData(const Steinberg_Vst_ParamID* id,
                                                   Steinberg_int32* queue) noexcept;
  // IParamValueQueue, on the queue `self` is
  static tresult SMTG_STDMETHODCALLTYPE queueQueryInterface(void* self, const Steinberg_TUID iid,
                                                            void** obj) noexcept;
  static Steinberg_Vst_ParamID SMTG_STDMETHODCALLTYPE getParameterId(void* self) noexcept;
  static Steinberg_int32 SMTG_STDMETHODCALLTYPE getPointCount(void* self) noexcept;
  static tresult SMTG_STDMETHODCALLTYPE getPoint(void* self, Steinberg_int32 i,
                                                 Steinberg_int32* offset,
                                                 Steinberg_Vst_ParamValue* value) noexcept;
  static tresult SMTG_STDMETHODCALLTYPE addPoint(void* self, Steinberg_int32 offset,
                                                 Steinberg_Vst_ParamValue value,
                                                 Steinberg_int32* i) noexcept;

  Slot<Steinberg_Vst_IParameterChanges, ParameterChangeList> slot_;
  std::vector<Queue> queues_;
  std::vector<Point> points_;
  std::int32_t queueCount_ = 0;
  std::int32_t pointsUsed_ = 0;
  std::int32_t pluginShare_ = 0;
};

}  // namespace plughost::vst3
