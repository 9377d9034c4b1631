// plughost's view of Steinberg's VST 3 C API: the vendored header, and the few pieces every host
// object builds on: interface slots with their owner, identifier comparison and text conversion.
// plughost sees a VST 3 plug-in through this API alone, as any host would.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The generated header defines every constant of the SDK as a static; most go unused here.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wpedantic"
#endif
#include "third_party/vst3/vst3_c_api.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace plughost::vst3 {

using tresult = Steinberg_tresult;

// Identifiers arrive as 16 bytes in the platform's order (COM order on Windows); the header's own
// macro wrote ours in that order too, so a byte comparison is the whole test.
inline bool sameId(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::memcmp(a, b, sizeof(Steinberg_TUID)) == 0;
}

// A class ID as hosts and session files write it: its four 32-bit words in hexadecimal, 32
// characters, the same on every platform (on Windows the bytes are in COM order and are put
// back first).
std::string classIdText(const Steinberg_TUID id);

// A UTF-16 text of at most `capacity` units (ending at the first zero) as UTF-8; unpaired
// surrogates become U+FFFD.
std::string utf8(const Steinberg_char16* text, std::size_t capacity);
// An 8-bit text field of at most `capacity` bytes, up to its first zero.
std::string fieldText(const char* text, std::size_t capacity);
// Copies ASCII text into a String128, cut to fit and always terminated.
void copyText(Steinberg_Vst_String128 field, const char* text);

// One interface of a host object: the interface struct (its vtable pointer) first, so that the
// pointer handed to the plug-in is the slot's address, then the object that answers for it.
template <typename Interface, typename Owner>
struct Slot {
  Interface face;
  Owner* owner;
};

template <typename Interface, typename Owner>
Owner& ownerOf(void* self) {
  return *static_cast<Slot<Interface, Owner>*>(self)->owner;
}

// Turns a member function into the plain function a vtable holds: the interface pointer the
// plug-in passes leads to the slot, and the slot to its object. Members are noexcept, so nothing
// can unwind into the plug-in.
template <typename Interface, auto Method>
struct Thunk;

template <typename Interface, typename Owner, typename Result, typename... Args,
          Result (Owner::*Method)(Args...) noexcept>
struct Thunk<Interface, Method> {
  static Result SMTG_STDMETHODCALLTYPE call(void* self, Args... args) noexcept {
    return (ownerOf<Interface, Owner>(self).*Method)(args...);
  }
};

template <typename Interface, auto Method>
inline constexpr auto thunk = &Thunk<Interface, Method>::call;

// The reference count of an object the host owns and keeps for as long as the plug-in may use
// it: answered, never counted down to a deletion.
inline Steinberg_uint32 SMTG_STDMETHODCALLTYPE hostOwnedAddRef(void* /*self*/) noexcept {
  return 1;
}
inline Steinberg_uint32 SMTG_STDMETHODCALLTYPE hostOwnedRelease(void* /*self*/) noexcept {
  return 1;
}

// The interface pointer of a slot, as the plug-in receives it.
template <typename Interface, typename Owner>
Interface* faceOf(Slot<Interface, Owner>& slot) {
  return &slot.face;
}

// One counted reference to a plug-in's interface, released when it goes: every reference the host
// takes is given back on every path, exceptions included.
template <typename Interface>
class Ref {
 public:
  Ref() = default;
  // Adopts a reference the plug-in already counted (a createInstance or queryInterface result).
  explicit Ref(Interface* face) : face_(face) {}
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : face_(other.face_) { other.face_ = nullptr; }
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      reset();
      face_ = other.face_;
      other.face_ = nullptr;
    }
    return *this;
  }

  Interface* get() const { return face_; }
  auto* vtbl() const { return face_->lpVtbl; }
  explicit operator bool() const { return face_ != nullptr; }
  void reset() {
    if (face_ != nullptr) {
      Interface* face = face_;
      face_ = nullptr;
      face->lpVtbl->release(face);
    }
  }
  // Another interface of the same object, or an empty reference when it has none.
  template <typename Other>
  Ref<Other> query(const Steinberg_TUID iid) const {
    // Written through a plain pointer: a plug-in that refuses may still leave something there.
    void* other = nullptr;
    if (face_ != nullptr &&
        face_->lpVtbl->queryInterface(face_, iid, &other) == Steinberg_kResultOk) {
      return Ref<Other>(static_cast<Other*>(other));
    }
    return Ref<Other>();
  }

 private:
  Interface* face_ = nullptr;
};

// A reference count for host objects the plug-in may keep beyond one call (messages, attribute
// lists): a new object starts with one reference, held by whoever made it.
class RefCount {
 public:
  std::uint32_t add() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  std::uint32_t release() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<std::uint32_t> count_{1};
};

}  // namespace plughost::vst3
