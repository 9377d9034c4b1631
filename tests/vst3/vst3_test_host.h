// A small VST 3 host for tests, written against the C API alone: loads the built plug-in through
// its exported GetPluginFactory (dlopen or LoadLibrary, DRIVE_VST3_PATH), and gives the plug-in
// the host objects it reads from: a memory stream, parameter changes, a component handler.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/vst3/vst3_api.h"

namespace vst3test {

using tresult = Steinberg_tresult;
using GetFactoryProc = Steinberg_IPluginFactory* (*)();

#if defined(DRIVE_VST3_PATH)
// The library stays loaded for the whole test program, as in a host session.
inline void* exported(const char* name) {
#if defined(_WIN32)
  static const HMODULE library = LoadLibraryA(DRIVE_VST3_PATH);
  if (library == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<void*>(GetProcAddress(library, name));
#else
  static void* const library = dlopen(DRIVE_VST3_PATH, RTLD_NOW | RTLD_LOCAL);
  return library != nullptr ? dlsym(library, name) : nullptr;
#endif
}

// One reference of an interface, released when it goes.
template <typename Interface>
class Ref {
 public:
  Ref() = default;
  explicit Ref(Interface* face) : face_(face) {}
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : face_(other.face_) { other.face_ = nullptr; }

  Interface* get() const { return face_; }
  Interface* operator->() const { return face_; }
  auto* vtbl() const { return face_->lpVtbl; }
  explicit operator bool() const { return face_ != nullptr; }
  void** out() {
    reset();
    return reinterpret_cast<void**>(&face_);
  }
  void reset() {
    if (face_ != nullptr) {
      face_->lpVtbl->release(face_);
      face_ = nullptr;
    }
  }
  // Another interface of the same object, or an empty reference.
  template <typename Other>
  Ref<Other> query(const Steinberg_TUID iid) const {
    Ref<Other> other;
    if (face_ != nullptr) {
      face_->lpVtbl->queryInterface(face_, iid, other.out());
    }
    return other;
  }

 private:
  Interface* face_ = nullptr;
};

#endif

#if defined(DRIVE_VST3_PATH)
inline Ref<Steinberg_IPluginFactory> factory() {
  auto get = reinterpret_cast<GetFactoryProc>(exported("GetPluginFactory"));
  return Ref<Steinberg_IPluginFactory>(get != nullptr ? get() : nullptr);
}

template <typename Interface>
Ref<Interface> create(const Steinberg_TUID cid, const Steinberg_TUID iid) {
  Ref<Interface> made;
  Ref<Steinberg_IPluginFactory> f = factory();
  if (f) {
    f.vtbl()->createInstance(f.get(), cid, iid, made.out());
  }
  return made;
}
#endif

inline std::string narrow(const Steinberg_char16* text) {
  std::string out;
  for (; *text != 0; ++text) {
    out.push_back(static_cast<char>(*text));
  }
  return out;
}

inline std::u16string wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

// The host side of an object: a vtable in the first member, a count that frees nothing (the
// objects live on the test's stack), and queryInterface for the one interface.
template <typename Interface, typename Self>
struct HostObject {
  Interface face;
  Self* self;
  std::atomic<int> refs{1};
};

// IBStream over a byte vector. `chunk` limits what one read hands out; `limit` ends the data
// early (a truncated file); `failWrites` refuses every write.
class MemoryStream {
 public:
  MemoryStream() : object_{{const_cast<Steinberg_IBStreamVtbl*>(&kVtbl)}, this} {}
  explicit MemoryStream(std::vector<unsigned char> bytes) : MemoryStream() {
    data = std::move(bytes);
  }
  Steinberg_IBStream* stream() { return &object_.face; }

  std::vector<unsigned char> data;
  std::size_t position = 0;
  std::size_t chunk = SIZE_MAX;
  bool failWrites = false;

 private:
  static MemoryStream& of(void* self) { return *static_cast<Object*>(self)->self; }
  static tresult SMTG_STDMETHODCALLTYPE queryInterface(void* self, const Steinberg_TUID iid,
                                                       void** obj) {
    if (vst3::sameId(iid, Steinberg_FUnknown_iid) || vst3::sameId(iid, Steinberg_IBStream_iid)) {
      *obj = self;
      return Steinberg_kResultOk;
    }
    *obj = nullptr;
    return Steinberg_kNoInterface;
  }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE addRef(void* /*self*/) { return 1; }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE release(void* /*self*/) { return 1; }
  static tresult SMTG_STDMETHODCALLTYPE read(void* self, void* buffer, Steinberg_int32 numBytes,
                                             Steinberg_int32* numBytesRead) {
    MemoryStream& s = of(self);
    std::size_t n = numBytes < 0 ? 0 : static_cast<std::size_t>(numBytes);
    n = std::min({n, s.chunk, s.data.size() - std::min(s.position, s.data.size())});
    if (n > 0) {
      std::memcpy(buffer, s.data.data() + s.position, n);
    }
    s.position += n;
    if (numBytesRead != nullptr) {
      *numBytesRead = static_cast<Steinberg_int32>(n);
    }
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE write(void* self, void* buffer, Steinberg_int32 numBytes,
                                              Steinberg_int32* numBytesWritten) {
    MemoryStream& s = of(self);
    if (s.failWrites || numBytes < 0) {
      return Steinberg_kResultFalse;
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    s.data.resize(std::max(s.data.size(), s.position + static_cast<std::size_t>(numBytes)));
    std::memcpy(s.data.data() + s.position, bytes, static_cast<std::size_t>(numBytes));
    s.position += static_cast<std::size_t>(numBytes);
    if (numBytesWritten != nullptr) {
      *numBytesWritten = numBytes;
    }
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE seek(void* self, Steinberg_int64 pos, Steinberg_int32 mode,
                                             Steinberg_int64* result) {
    MemoryStream& s = of(self);
    const auto base = mode == Steinberg_IBStream_IStreamSeekMode_kIBSeekCur
                          ? static_cast<Steinberg_int64>(s.position)
                      : mode == Steinberg_IBStream_IStreamSeekMode_kIBSeekEnd
                          ? static_cast<Steinberg_int64>(s.data.size())
                          : 0;
    if (base + pos < 0) {
      return Steinberg_kInvalidArgument;
    }
    s.position = static_cast<std::size_t>(base + pos);
    if (result != nullptr) {
      *result = static_cast<Steinberg_int64>(s.position);
    }
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE tell(void* self, Steinberg_int64* pos) {
    if (pos != nullptr) {
      *pos = static_cast<Steinberg_int64>(of(self).position);
    }
    return Steinberg_kResultOk;
  }

  using Object = HostObject<Steinberg_IBStream, MemoryStream>;
  static constexpr Steinberg_IBStreamVtbl kVtbl = {queryInterface, addRef, release, read,
                                                   write,          seek,   tell};
  Object object_;
};

// IParameterChanges holding a few queues of points, as a host fills them for one block.
class ParameterChanges {
 public:
  struct Point {
    Steinberg_int32 offset;
    Steinberg_Vst_ParamValue value;
  };

  ParameterChanges() : object_{{const_cast<Steinberg_Vst_IParameterChangesVtbl*>(&kVtbl)}, this} {}
  ParameterChanges(const ParameterChanges&) = delete;
  ParameterChanges& operator=(const ParameterChanges&) = delete;

  Steinberg_Vst_IParameterChanges* changes() { return &object_.face; }
  void add(Steinberg_Vst_ParamID id, Steinberg_int32 offset, Steinberg_Vst_ParamValue value) {
    for (Queue& queue : queues_) {
      if (queue.id == id) {
        queue.points.push_back({offset, value});
        return;
      }
    }
    queues_.emplace_back(id);
    queues_.back().points.push_back({offset, value});
  }
  void clear() { queues_.clear(); }
  bool empty() const { return queues_.empty(); }

 private:
  struct Queue {
    explicit Queue(Steinberg_Vst_ParamID queueId)
        : object{{const_cast<Steinberg_Vst_IParamValueQueueVtbl*>(&kQueueVtbl)}, this},
          id(queueId) {}
    Queue(const Queue& other) : Queue(other.id) { points = other.points; }
    Queue& operator=(const Queue&) = delete;
    HostObject<Steinberg_Vst_IParamValueQueue, Queue> object;
    Steinberg_Vst_ParamID id;
    std::vector<Point> points;
  };

  static ParameterChanges& of(void* self) {
    return *static_cast<HostObject<Steinberg_Vst_IParameterChanges, ParameterChanges>*>(self)->self;
  }
  static Queue& queueOf(void* self) {
    return *static_cast<HostObject<Steinberg_Vst_IParamValueQueue, Queue>*>(self)->self;
  }
  static tresult SMTG_STDMETHODCALLTYPE queryInterface(void* /*self*/, const Steinberg_TUID /*iid*/,
                                                       void** obj) {
    *obj = nullptr;
    return Steinberg_kNoInterface;
  }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE addRef(void* /*self*/) { return 1; }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE release(void* /*self*/) { return 1; }
  static Steinberg_int32 SMTG_STDMETHODCALLTYPE getParameterCount(void* self) {
    return static_cast<Steinberg_int32>(of(self).queues_.size());
  }
  static Steinberg_Vst_IParamValueQueue* SMTG_STDMETHODCALLTYPE
  getParameterData(void* self, Steinberg_int32 index) {
    ParameterChanges& c = of(self);
    if (index < 0 || static_cast<std::size_t>(index) >= c.queues_.size()) {
      return nullptr;
    }
    return &c.queues_[static_cast<std::size_t>(index)].object.face;
  }
  static Steinberg_Vst_IParamValueQueue* SMTG_STDMETHODCALLTYPE addParameterData(
      void* /*self*/, const Steinberg_Vst_ParamID* /*id*/, Steinberg_int32* /*index*/) {
    return nullptr;
  }
  static Steinberg_Vst_ParamID SMTG_STDMETHODCALLTYPE getParameterId(void* self) {
    return queueOf(self).id;
  }
  static Steinberg_int32 SMTG_STDMETHODCALLTYPE getPointCount(void* self) {
    return static_cast<Steinberg_int32>(queueOf(self).points.size());
  }
  static tresult SMTG_STDMETHODCALLTYPE getPoint(void* self, Steinberg_int32 index,
                                                 Steinberg_int32* offset,
                                                 Steinberg_Vst_ParamValue* value) {
    Queue& q = queueOf(self);
    if (index < 0 || static_cast<std::size_t>(index) >= q.points.size()) {
      return Steinberg_kInvalidArgument;
    }
    *offset = q.points[static_cast<std::size_t>(index)].offset;
    *value = q.points[static_cast<std::size_t>(index)].value;
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE addPoint(void* /*self*/, Steinberg_int32 /*offset*/,
                                                 Steinberg_Vst_ParamValue /*value*/,
                                                 Steinberg_int32* /*index*/) {
    return Steinberg_kResultFalse;
  }

  static constexpr Steinberg_Vst_IParameterChangesVtbl kVtbl = {
      queryInterface, addRef, release, getParameterCount, getParameterData, addParameterData};
  static constexpr Steinberg_Vst_IParamValueQueueVtbl kQueueVtbl = {
      queryInterface, addRef, release, getParameterId, getPointCount, getPoint, addPoint};

  HostObject<Steinberg_Vst_IParameterChanges, ParameterChanges> object_;
  std::vector<Queue> queues_;
};

// IComponentHandler (and IComponentHandler2's setDirty) that records what the controller tells
// the host, one line per call.
class ComponentHandler {
 public:
  ComponentHandler()
      : object_{{const_cast<Steinberg_Vst_IComponentHandlerVtbl*>(&kVtbl)}, this},
        second_{{const_cast<Steinberg_Vst_IComponentHandler2Vtbl*>(&kVtbl2)}, this} {}
  ComponentHandler(const ComponentHandler&) = delete;
  ComponentHandler& operator=(const ComponentHandler&) = delete;
  Steinberg_Vst_IComponentHandler* handler() { return &object_.face; }
  // Both interfaces count together.
  int references() const { return object_.refs.load(); }

  std::vector<std::string> calls;

 private:
  using Object = HostObject<Steinberg_Vst_IComponentHandler, ComponentHandler>;
  using Object2 = HostObject<Steinberg_Vst_IComponentHandler2, ComponentHandler>;
  // Asked through either interface: both slots keep the handler at the same place.
  static ComponentHandler& of(void* self) { return *static_cast<Object*>(self)->self; }
  static tresult SMTG_STDMETHODCALLTYPE queryInterface(void* self, const Steinberg_TUID iid,
                                                       void** obj) {
    ComponentHandler& host = of(self);
    if (vst3::sameId(iid, Steinberg_FUnknown_iid) ||
        vst3::sameId(iid, Steinberg_Vst_IComponentHandler_iid)) {
      *obj = &host.object_;
    } else if (vst3::sameId(iid, Steinberg_Vst_IComponentHandler2_iid)) {
      *obj = &host.second_;
    } else {
      *obj = nullptr;
      return Steinberg_kNoInterface;
    }
    addRef(self);
    return Steinberg_kResultOk;
  }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE addRef(void* self) {
    return static_cast<Steinberg_uint32>(++of(self).object_.refs);
  }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE release(void* self) {
    return static_cast<Steinberg_uint32>(--of(self).object_.refs);
  }
  static tresult SMTG_STDMETHODCALLTYPE beginEdit(void* self, Steinberg_Vst_ParamID id) {
    of(self).calls.push_back("begin " + std::to_string(id));
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE performEdit(void* self, Steinberg_Vst_ParamID id,
                                                    Steinberg_Vst_ParamValue value) {
    of(self).calls.push_back("perform " + std::to_string(id) + "=" + std::to_string(value));
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE endEdit(void* self, Steinberg_Vst_ParamID id) {
    of(self).calls.push_back("end " + std::to_string(id));
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE restartComponent(void* self, Steinberg_int32 flags) {
    of(self).calls.push_back("restart " + std::to_string(flags));
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE setDirty(void* self, Steinberg_TBool state) {
    of(self).calls.push_back("dirty " + std::to_string(state));
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE requestOpenEditor(void* /*self*/,
                                                          Steinberg_FIDString /*name*/) {
    return Steinberg_kNotImplemented;
  }
  static tresult SMTG_STDMETHODCALLTYPE groupEdit(void* /*self*/) {
    return Steinberg_kNotImplemented;
  }

  static constexpr Steinberg_Vst_IComponentHandlerVtbl kVtbl = {
      queryInterface, addRef, release, beginEdit, performEdit, endEdit, restartComponent};
  static constexpr Steinberg_Vst_IComponentHandler2Vtbl kVtbl2 = {
      queryInterface, addRef, release, setDirty, requestOpenEditor, groupEdit, groupEdit};
  Object object_;
  Object2 second_;
};

// IPlugFrame as hosts give a view: it answers IRunLoop too, as Linux hosts' frames do, and keeps
// the timer the view registers for the test to fire. A resize request is recorded; an accepting
// frame tells the view its new size (onSize) before it answers, as hosts do, a refusing one
// leaves everything as it was.
class PlugFrame {
 public:
  PlugFrame()
      : frame_{{const_cast<Steinberg_IPlugFrameVtbl*>(&kFrameVtbl)}, this},
        loop_{{const_cast<Steinberg_Linux_IRunLoopVtbl*>(&kLoopVtbl)}, this} {}
  PlugFrame(const PlugFrame&) = delete;
  PlugFrame& operator=(const PlugFrame&) = delete;

  Steinberg_IPlugFrame* frame() { return &frame_.face; }
  void fire() {
    if (timer != nullptr) {
      timer->lpVtbl->onTimer(timer);
    }
  }

  bool acceptsResize = true;
  std::vector<Steinberg_ViewRect> resizeRequests;
  Steinberg_Linux_ITimerHandler* timer = nullptr;
  int timersRegistered = 0;
  int timersUnregistered = 0;

 private:
  template <typename Interface>
  using Object = HostObject<Interface, PlugFrame>;
  static PlugFrame& of(void* self) {
    return *static_cast<Object<Steinberg_IPlugFrame>*>(self)->self;
  }
  static PlugFrame& loopOf(void* self) {
    return *static_cast<Object<Steinberg_Linux_IRunLoop>*>(self)->self;
  }
  static tresult SMTG_STDMETHODCALLTYPE queryInterface(void* self, const Steinberg_TUID iid,
                                                       void** obj) {
    // Asked through either interface: both slots keep the frame at the same place.
    PlugFrame& host = of(self);
    if (vst3::sameId(iid, Steinberg_FUnknown_iid) || vst3::sameId(iid, Steinberg_IPlugFrame_iid)) {
      *obj = &host.frame_;
    } else if (vst3::sameId(iid, Steinberg_Linux_IRunLoop_iid)) {
      *obj = &host.loop_;
    } else {
      *obj = nullptr;
      return Steinberg_kNoInterface;
    }
    return Steinberg_kResultOk;
  }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE addRef(void* /*self*/) { return 1; }
  static Steinberg_uint32 SMTG_STDMETHODCALLTYPE release(void* /*self*/) { return 1; }
  static tresult SMTG_STDMETHODCALLTYPE resizeView(void* self, Steinberg_IPlugView* view,
                                                   Steinberg_ViewRect* rect) {
    PlugFrame& host = of(self);
    host.resizeRequests.push_back(*rect);
    if (!host.acceptsResize) {
      return Steinberg_kResultFalse;
    }
    Steinberg_ViewRect given = *rect;
    view->lpVtbl->onSize(view, &given);
    return Steinberg_kResultTrue;
  }
  static tresult SMTG_STDMETHODCALLTYPE registerEventHandler(void* /*self*/,
                                                             Steinberg_Linux_IEventHandler*,
                                                             Steinberg_Linux_FileDescriptor) {
    return Steinberg_kResultFalse;
  }
  static tresult SMTG_STDMETHODCALLTYPE unregisterEventHandler(void* /*self*/,
                                                               Steinberg_Linux_IEventHandler*) {
    return Steinberg_kResultFalse;
  }
  static tresult SMTG_STDMETHODCALLTYPE registerTimer(void* self,
                                                      Steinberg_Linux_ITimerHandler* handler,
                                                      Steinberg_Linux_TimerInterval /*ms*/) {
    PlugFrame& host = loopOf(self);
    host.timer = handler;
    ++host.timersRegistered;
    return Steinberg_kResultOk;
  }
  static tresult SMTG_STDMETHODCALLTYPE unregisterTimer(void* self,
                                                        Steinberg_Linux_ITimerHandler* handler) {
    PlugFrame& host = loopOf(self);
    if (handler == host.timer) {
      host.timer = nullptr;
    }
    ++host.timersUnregistered;
    return Steinberg_kResultOk;
  }

  static constexpr Steinberg_IPlugFrameVtbl kFrameVtbl = {queryInterface, addRef, release,
                                                          resizeView};
  static constexpr Steinberg_Linux_IRunLoopVtbl kLoopVtbl = {
      queryInterface,         addRef,        release,        registerEventHandler,
      unregisterEventHandler, registerTimer, unregisterTimer};
  Object<Steinberg_IPlugFrame> frame_;
  Object<Steinberg_Linux_IRunLoop> loop_;
};

}  // namespace vst3test
