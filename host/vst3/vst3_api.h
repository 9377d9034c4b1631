// Steinberg's VST 3 C API, and the few pieces every object of the VST 3 plug-in builds on: the
// COM-style interface slots with their method thunks, identifier comparison and UTF-16 texts.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

namespace vst3 {

using tresult = Steinberg_tresult;

// Identifiers arrive as 16 bytes in the platform's order (COM order on Windows); the API's own
// macro wrote ours in that order too, so a byte comparison is the whole test.
inline bool sameId(const char* a, const char* b) noexcept {
  return a != nullptr && b != nullptr && std::memcmp(a, b, sizeof(Steinberg_TUID)) == 0;
}

// One interface of an object: the interface struct itself (its vtable pointer) first, so the
// pointer handed to the host is this slot's address, then the object that answers for it.
template <typename Interface, typename Owner>
struct Slot {
  Interface face;
  Owner* owner;
};

template <typename Interface, typename Owner>
Owner& ownerOf(void* self) noexcept {
  return *static_cast<Slot<Interface, Owner>*>(self)->owner;
}

// Turns a member function into the plain function a vtable holds: the interface pointer the host
// passes leads to the slot, and the slot to its object. Members are noexcept, so nothing can
// unwind into the host.
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

// Reference counting shared by the plug-in's objects: a new object starts with one reference, held
// by whoever made it.
class RefCount {
 public:
  std::uint32_t add() noexcept { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Acquire-release: the thread that frees the object sees every other thread's last use of it.
  std::uint32_t release() noexcept { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<std::uint32_t> count_{1};
};

// Copies an ASCII or Latin-1 text into a UTF-16 field, cut to fit and always terminated.
template <std::size_t N>
void copyText(Steinberg_char16 (&field)[N], const char* text) noexcept {
  std::size_t i = 0;
  for (; text[i] != '\0' && i + 1 < N; ++i) {
    field[i] = static_cast<Steinberg_char16>(static_cast<unsigned char>(text[i]));
  }
  field[i] = 0;
}

template <std::size_t N>
void copyText(char (&field)[N], const char* text) noexcept {
  const std::size_t length = strnlen(text, N - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

}  // namespace vst3
