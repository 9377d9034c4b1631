#include "tools/plughost/vst3_host_objects.h"

#include <algorithm>
#include <limits>
#include <map>
#include <new>
#include <variant>

namespace plughost::vst3 {

namespace {

// Answers `iid` with `face` (counted) when it is FUnknown or the object's one interface.
tresult answer(const char* iid, void** obj, const char* own, void* face) {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  if (sameId(iid, Steinberg_FUnknown_iid) || sameId(iid, own)) {
    *obj = face;
    return Steinberg_kResultOk;
  }
  *obj = nullptr;
  return Steinberg_kNoInterface;
}

// ---------------------------------------------------------------------------------------------
// Messages and their attribute lists: made for the plug-in, which holds the reference and frees
// them by releasing it.

class AttributeList {
 public:
  AttributeList() : slot_{{vtable()}, this} {}
  AttributeList(const AttributeList&) = delete;
  AttributeList& operator=(const AttributeList&) = delete;

  Steinberg_Vst_IAttributeList* face() { return faceOf(slot_); }

  tresult queryInterface(const char* iid, void** obj) noexcept {
    const tresult result = answer(iid, obj, Steinberg_Vst_IAttributeList_iid, face());
    if (result == Steinberg_kResultOk) {
      addRef();
    }
    return result;
  }
  Steinberg_uint32 addRef() noexcept { return refs_.add(); }
  Steinberg_uint32 release() noexcept {
    const Steinberg_uint32 left = refs_.release();
    if (left == 0) {
      delete this;
    }
    return left;
  }

  tresult setInt(const char* id, Steinberg_int64 value) noexcept { return set(id, value); }
  tresult getInt(const char* id, Steinberg_int64* value) noexcept { return get(id, value); }
  tresult setFloat(const char* id, double value) noexcept { return set(id, value); }
  tresult getFloat(const char* id, double* value) noexcept { return get(id, value); }
  tresult setString(const char* id, const Steinberg_Vst_TChar* text) noexcept {
    if (text == nullptr) {
      return Steinberg_kInvalidArgument;
    }
    try {
      return set(id, std::u16string(text));
    } catch (const std::bad_alloc&) {
      return Steinberg_kOutOfMemory;
    }
  }
  tresult getString(const char* id, Steinberg_Vst_TChar* text,
                    Steinberg_uint32 sizeInBytes) noexcept {
    const auto* found = find<std::u16string>(id);
    const std::size_t room = sizeInBytes / sizeof(Steinberg_Vst_TChar);
    if (found == nullptr || text == nullptr || room == 0) {
      return Steinberg_kResultFalse;
    }
    const std::size_t length = std::min(found->size(), room - 1);
    std::copy_n(found->data(), length, text);
    text[length] = 0;
    return Steinberg_kResultOk;
  }
  tresult setBinary(const char* id, const void* data, Steinberg_uint32 size) noexcept {
    if (data == nullptr && size > 0) {
      return Steinberg_kInvalidArgument;
    }
    try {
      const auto* bytes = static_cast<const unsigned char*>(data);
      return set(id, std::vector<unsigned char>(bytes, bytes + size));
    } catch (const std::bad_alloc&) {
      return Steinberg_kOutOfMemory;
    }
  }
  tresult getBinary(const char* id, const void** data, Steinberg_uint32* size) noexcept {
    const auto* found = find<std::vector<unsigned char>>(id);
    if (found == nullptr || data == nullptr || size == nullptr) {
      return Steinberg_kResultFalse;
    }
    *data = found->data();
    *size = static_cast<Steinberg_uint32>(found->size());
    return Steinberg_kResultOk;
  }

 private:
  using Value = std::variant<Steinberg_int64, double, std::u16string, std::vector<unsigned char>>;

  ~AttributeList() = default;

  static Steinberg_Vst_IAttributeListVtbl* vtable() {
    using I = Steinberg_Vst_IAttributeList;
    static Steinberg_Vst_IAttributeListVtbl table = {
        thunk<I, &AttributeList::queryInterface>, thunk<I, &AttributeList::addRef>,
        thunk<I, &AttributeList::release>,        thunk<I, &AttributeList::setInt>,
        thunk<I, &AttributeList::getInt>,         thunk<I, &AttributeList::setFloat>,
        thunk<I, &AttributeList::getFloat>,       thunk<I, &AttributeList::setString>,
        thunk<I, &AttributeList::getString>,      thunk<I, &AttributeList::setBinary>,
        thunk<I, &AttributeList::getBinary>};
    return &table;
  }

  tresult set(const char* id, Value value) noexcept {
    if (id == nullptr) {
      return Steinberg_kInvalidArgument;
    }
    try {
      values_[id] = std::move(value);
      return Steinberg_kResultOk;
    } catch (const std::bad_alloc&) {
      return Steinberg_kOutOfMemory;
    }
  }
  template <typename T>
  const T* find(const char* id) const {
    if (id == nullptr) {
      return nullptr;
    }
    const auto it = values_.find(id);
    return it != values_.end() ? std::get_if<T>(&it->second) : nullptr;
  }
  template <typename T>
  tresult get(const char* id, T* value) const {
    const T* found = find<T>(id);
    if (found == nullptr || value == nullptr) {
      return Steinberg_kResultFalse;
    }
    *value = *found;
    return Steinberg_kResultOk;
  }

  Slot<Steinberg_Vst_IAttributeList, AttributeList> slot_;
  RefCount refs_;
  std::map<std::string, Value, std::less<>> values_;
};

class Message {
 public:
  Message() : slot_{{vtable()}, this}, attributes_(new AttributeList) {}
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

  Steinberg_Vst_IMessage* face() { return faceOf(slot_); }

  tresult queryInterface(const char* iid, void** obj) noexcept {
    const tresult result = answer(iid, obj, Steinberg_Vst_IMessage_iid, face());
    if (result == Steinberg_kResultOk) {
      addRef();
    }
    return result;
  }
  Steinberg_uint32 addRef() noexcept { return refs_.add(); }
  Steinberg_uint32 release() noexcept {
    const Steinberg_uint32 left = refs_.release();
    if (left == 0) {
      delete this;
    }
    return left;
  }
  const char* getMessageID() noexcept { return id_.c_str(); }
  void setMessageID(const char* id) noexcept {
    try {
      id_ = id != nullptr ? id : "";
    } catch (const std::bad_alloc&) {
      id_.clear();
    }
  }
  // Not counted, as the interface has it: the list lives as long as its message.
  Steinberg_Vst_IAttributeList* getAttributes() noexcept { return attributes_->face(); }

 private:
  ~Message() { attributes_->release(); }

  static Steinberg_Vst_IMessageVtbl* vtable() {
    using I = Steinberg_Vst_IMessage;
    static Steinberg_Vst_IMessageVtbl table = {
        thunk<I, &Message::queryInterface>, thunk<I, &Message::addRef>,
        thunk<I, &Message::release>,        thunk<I, &Message::getMessageID>,
        thunk<I, &Message::setMessageID>,   thunk<I, &Message::getAttributes>};
    return &table;
  }

  Slot<Steinberg_Vst_IMessage, Message> slot_;
  RefCount refs_;
  std::string id_;
  AttributeList* attributes_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

Steinberg_IBStreamVtbl* MemoryStream::vtable() {
  using I = Steinberg_IBStream;
  static Steinberg_IBStreamVtbl table = {thunk<I, &MemoryStream::queryInterface>,
                                         hostOwnedAddRef,
                                         hostOwnedRelease,
                                         thunk<I, &MemoryStream::read>,
                                         thunk<I, &MemoryStream::write>,
                                         thunk<I, &MemoryStream::seek>,
                                         thunk<I, &MemoryStream::tell>};
  return &table;
}

tresult MemoryStream::queryInterface(const char* iid, void** obj) noexcept {
  return answer(iid, obj, Steinberg_IBStream_iid, stream());
}

tresult MemoryStream::read(void* buffer, Steinberg_int32 count, Steinberg_int32* done) noexcept {
  if (count < 0 || (buffer == nullptr && count > 0)) {
    return Steinberg_kInvalidArgument;
  }
  const std::size_t left = bytes_.size() - std::min(position_, bytes_.size());
  const std::size_t n = std::min(static_cast<std::size_t>(count), left);
  if (n > 0) {
    std::memcpy(buffer, bytes_.data() + position_, n);
  }
  position_ += n;
  if (done != nullptr) {
    *done = static_cast<Steinberg_int32>(n);
  }
  return Steinberg_kResultOk;
}

tresult MemoryStream::write(void* buffer, Steinberg_int32 count, Steinberg_int32* done) noexcept {
  if (count < 0 || (buffer == nullptr && count > 0)) {
    return Steinberg_kInvalidArgument;
  }
  const auto n = static_cast<std::size_t>(count);
  try {
    if (position_ + n > bytes_.size()) {
      bytes_.resize(position_ + n);
    }
  } catch (const std::bad_alloc&) {
    return Steinberg_kOutOfMemory;
  }
  if (n > 0) {
    std::memcpy(bytes_.data() + position_, buffer, n);
  }
  position_ += n;
  if (done != nullptr) {
    *done = count;
  }
  return Steinberg_kResultOk;
}

tresult MemoryStream::seek(Steinberg_int64 position, Steinberg_int32 mode,
                           Steinberg_int64* result) noexcept {
  Steinberg_int64 base = 0;
  if (mode == Steinberg_IBStream_IStreamSeekMode_kIBSeekCur) {
    base = static_cast<Steinberg_int64>(position_);
  } else if (mode == Steinberg_IBStream_IStreamSeekMode_kIBSeekEnd) {
    base = static_cast<Steinberg_int64>(bytes_.size());
  } else if (mode != Steinberg_IBStream_IStreamSeekMode_kIBSeekSet) {
    return Steinberg_kInvalidArgument;
  }
  // Past the end is allowed (a write there fills the gap with zeros); before the start is not.
  if (position < -base || position > std::numeric_limits<std::int32_t>::max() - base) {
    return Steinberg_kInvalidArgument;
  }
  position_ = static_cast<std::size_t>(base + position);
  if (result != nullptr) {
    *result = static_cast<Steinberg_int64>(position_);
  }
  return Steinberg_kResultOk;
}

tresult MemoryStream::tell(Steinberg_int64* position) noexcept {
  if (position == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  *position = static_cast<Steinberg_int64>(position_);
  return Steinberg_kResultOk;
}

// ---------------------------------------------------------------------------------------------

HostApplication::HostApplication(std::string name)
    : slot_{{vtable()}, this}, name_(std::move(name)) {}

Steinberg_Vst_IHostApplicationVtbl* HostApplication::vtable() {
  using I = Steinberg_Vst_IHostApplication;
  static Steinberg_Vst_IHostApplicationVtbl table = {
      thunk<I, &HostApplication::queryInterface>, hostOwnedAddRef, hostOwnedRelease,
      thunk<I, &HostApplication::getName>, thunk<I, &HostApplication::createInstance>};
  return &table;
}

tresult HostApplication::queryInterface(const char* iid, void** obj) noexcept {
  return answer(iid, obj, Steinberg_Vst_IHostApplication_iid, faceOf(slot_));
}

tresult HostApplication::getName(Steinberg_char16* name) noexcept {
  if (name == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  copyText(name, name_.c_str());
  return Steinberg_kResultOk;
}

tresult HostApplication::createInstance(char* cid, char* iid, void** obj) noexcept {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  *obj = nullptr;
  if (sameId(cid, Steinberg_Vst_IMessage_iid) && sameId(iid, Steinberg_Vst_IMessage_iid)) {
    auto* message = new (std::nothrow) Message;
    if (message == nullptr) {
      return Steinberg_kOutOfMemory;
    }
    *obj = message->face();
    return Steinberg_kResultOk;
  }
  if (sameId(cid, Steinberg_Vst_IAttributeList_iid) &&
      sameId(iid, Steinberg_Vst_IAttributeList_iid)) {
    auto* list = new (std::nothrow) AttributeList;
    if (list == nullptr) {
      return Steinberg_kOutOfMemory;
    }
    *obj = list->face();
    return Steinberg_kResultOk;
  }
  return Steinberg_kNoInterface;
}

// ---------------------------------------------------------------------------------------------

ComponentHandler::ComponentHandler(ComponentHandlerListener& listener)
    : slot_{{vtable()}, this}, listener_(listener) {}

Steinberg_Vst_IComponentHandlerVtbl* ComponentHandler::vtable() {
  using I = Steinberg_Vst_IComponentHandler;
  static Steinberg_Vst_IComponentHandlerVtbl table = {
      thunk<I, &ComponentHandler::queryInterface>,
      hostOwnedAddRef,
      hostOwnedRelease,
      thunk<I, &ComponentHandler::beginEdit>,
      thunk<I, &ComponentHandler::performEdit>,
      thunk<I, &ComponentHandler::endEdit>,
      thunk<I, &ComponentHandler::restartComponent>};
  return &table;
}

tresult ComponentHandler::queryInterface(const char* iid, void** obj) noexcept {
  return answer(iid, obj, Steinberg_Vst_IComponentHandler_iid, handler());
}

tresult ComponentHandler::beginEdit(Steinberg_Vst_ParamID id) noexcept {
  listener_.beginEdit(id);
  return Steinberg_kResultOk;
}

tresult ComponentHandler::performEdit(Steinberg_Vst_ParamID id,
                                      Steinberg_Vst_ParamValue value) noexcept {
  return listener_.performEdit(id, value);
}

tresult ComponentHandler::endEdit(Steinberg_Vst_ParamID id) noexcept {
  listener_.endEdit(id);
  return Steinberg_kResultOk;
}

tresult ComponentHandler::restartComponent(Steinberg_int32 flags) noexcept {
  listener_.restartComponent(flags);
  return Steinberg_kResultOk;
}

// ---------------------------------------------------------------------------------------------

PlugFrame::PlugFrame(Steinberg_Linux_IRunLoop* runLoop)
    : slot_{{vtable()}, this}, runLoop_(runLoop) {}

Steinberg_IPlugFrameVtbl* PlugFrame::vtable() {
  using I = Steinberg_IPlugFrame;
  static Steinberg_IPlugFrameVtbl table = {thunk<I, &PlugFrame::queryInterface>, hostOwnedAddRef,
                                           hostOwnedRelease, thunk<I, &PlugFrame::resizeView>};
  return &table;
}

tresult PlugFrame::queryInterface(const char* iid, void** obj) noexcept {
  if (obj != nullptr && runLoop_ != nullptr && sameId(iid, Steinberg_Linux_IRunLoop_iid)) {
    // The run loop counts its own references.
    return runLoop_->lpVtbl->queryInterface(runLoop_, iid, obj);
  }
  return answer(iid, obj, Steinberg_IPlugFrame_iid, frame());
}

tresult PlugFrame::resizeView(Steinberg_IPlugView* view, Steinberg_ViewRect* size) noexcept {
  if (view == nullptr || size == nullptr || size->right < size->left || size->bottom < size->top) {
    return Steinberg_kInvalidArgument;
  }
  size_ = *size;
  resized_ = true;
  bool agreed = false;
  try {
    agreed = resizer_ && resizer_(size->right - size->left, size->bottom - size->top);
  } catch (...) {
    // Nothing may unwind through the plug-in that called; a window that failed to follow keeps
    // its size, as a refusal does.
    agreed = false;
  }
  if (!agreed) {
    return Steinberg_kResultFalse;
  }
  // The view learns the size from the host's own rectangle, as it would from a host's window.
  Steinberg_ViewRect given = *size;
  view->lpVtbl->onSize(view, &given);
  return Steinberg_kResultTrue;
}

// ---------------------------------------------------------------------------------------------

Steinberg_Vst_IParameterChangesVtbl* ParameterChangeList::vtable() {
  using I = Steinberg_Vst_IParameterChanges;
  static Steinberg_Vst_IParameterChangesVtbl table = {
      thunk<I, &ParameterChangeList::queryInterface>,
      hostOwnedAddRef,
      hostOwnedRelease,
      thunk<I, &ParameterChangeList::getParameterCount>,
      thunk<I, &ParameterChangeList::getParameterData>,
      thunk<I, &ParameterChangeList::addParameterData>};
  return &table;
}

Steinberg_Vst_IParamValueQueueVtbl* ParameterChangeList::queueVtable() {
  static Steinberg_Vst_IParamValueQueueVtbl table = {
      queueQueryInterface, hostOwnedAddRef, hostOwnedRelease, getParameterId,
      getPointCount,       getPoint,        addPoint};
  return &table;
}

void ParameterChangeList::reserve(std::int32_t queues, std::int32_t points,
                                  std::int32_t pluginShare) {
  clear();
  queues_.clear();
  queues_.resize(index(std::max(queues, 0)));
  for (Queue& queue : queues_) {
    queue = Queue{{{queueVtable()}, &queue}, this, 0, 0, 0, 0};
  }
  points_.assign(index(std::max(points, 0)), Point{0, 0.0});
  pluginShare_ = std::max(pluginShare, 1);
}

std::int32_t ParameterChangeList::open(Steinberg_Vst_ParamID id, std::int32_t capacity) {
  if (queueCount_ >= static_cast<std::int32_t>(queues_.size()) || capacity < 0 ||
      capacity > pointCapacity() - pointsUsed_) {
    return -1;
  }
  Queue& queue = queues_[index(queueCount_)];
  queue.id = id;
  queue.first = pointsUsed_;
  queue.count = 0;
  queue.capacity = capacity;
  pointsUsed_ += capacity;
  return queueCount_++;
}

bool ParameterChangeList::add(std::int32_t queue, Steinberg_int32 offset,
                              Steinberg_Vst_ParamValue value) {
  if (queue < 0 || queue >= queueCount_) {
    return false;
  }
  Queue& q = queues_[index(queue)];
  if (q.count > 0) {
    Point& last = points_[index(q.first + q.count - 1)];
    // A queue's offsets never go back: plug-ins walk them in order.
    offset = std::max(offset, last.offset);
    if (last.offset == offset) {
      last.value = value;
      return true;
    }
  }
  if (q.count >= q.capacity) {
    return false;
  }
  points_[index(q.first + q.count)] = {offset, value};
  ++q.count;
  return true;
}

tresult ParameterChangeList::queryInterface(const char* iid, void** obj) noexcept {
  return answer(iid, obj, Steinberg_Vst_IParameterChanges_iid, changes());
}

Steinberg_Vst_IParamValueQueue* ParameterChangeList::getParameterData(
    Steinberg_int32 queue) noexcept {
  if (queue < 0 || queue >= queueCount_) {
    return nullptr;
  }
  return faceOf(queues_[index(queue)].slot);
}

Steinberg_Vst_IParamValueQueue* ParameterChangeList::addParameterData(
    const Steinberg_Vst_ParamID* id, Steinberg_int32* queue) noexcept {
  if (id == nullptr) {
    return nullptr;
  }
  std::int32_t found = -1;
  for (std::int32_t q = 0; q < queueCount_ && found < 0; ++q) {
    if (queues_[index(q)].id == *id) {
      found = q;
    }
  }
  if (found < 0) {
    found = open(*id, std::min(pluginShare_, pointCapacity() - pointsUsed_));
  }
  if (found < 0) {
    return nullptr;
  }
  if (queue != nullptr) {
    *queue = found;
  }
  return faceOf(queues_[index(found)].slot);
}

tresult SMTG_STDMETHODCALLTYPE ParameterChangeList::queueQueryInterface(void* self,
                                                                        const Steinberg_TUID iid,
                                                                        void** obj) noexcept {
  return answer(iid, obj, Steinberg_Vst_IParamValueQueue_iid, self);
}

Steinberg_Vst_ParamID SMTG_STDMETHODCALLTYPE
ParameterChangeList::getParameterId(void* self) noexcept {
  return queueOf(self).id;
}

Steinberg_int32 SMTG_STDMETHODCALLTYPE ParameterChangeList::getPointCount(void* self) noexcept {
  return queueOf(self).count;
}

tresult SMTG_STDMETHODCALLTYPE
ParameterChangeList::getPoint(void* self, Steinberg_int32 i, Steinberg_int32* offset,
                              Steinberg_Vst_ParamValue* value) noexcept {
  const Queue& queue = queueOf(self);
  if (i < 0 || i >= queue.count || offset == nullptr || value == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  const Point& point = queue.list->points_[index(queue.first + i)];
  *offset = point.offset;
  *value = point.value;
  return Steinberg_kResultOk;
}

tresult SMTG_STDMETHODCALLTYPE ParameterChangeList::addPoint(void* self, Steinberg_int32 offset,
                                                             Steinberg_Vst_ParamValue value,
                                                             Steinberg_int32* i) noexcept {
  Queue& queue = queueOf(self);
  const auto number = static_cast<std::int32_t>(&queue - queue.list->queues_.data());
  if (!queue.list->add(number, offset, value)) {
    return Steinberg_kResultFalse;
  }
  if (i != nullptr) {
    *i = queue.count - 1;
  }
  return Steinberg_kResultOk;
}

}  // namespace plughost::vst3
