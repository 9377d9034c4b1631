// The VST 3 component's and controller's state readers on arbitrary streams. A stream is either
// taken whole, and then what the component saves reads back to itself, or refused by both with
// the component's state exactly as before. The controller's own state (the component's followed
// by the panel's zoom) is taken exactly when the component's is, whatever follows it, and reads
// back to itself. The first byte sets how many bytes each read hands out, so that streams that
// deliver in pieces are covered too.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/vst3/vst3_plugin.h"
#include "tests/vst3/vst3_test_host.h"

namespace {

using Bytes = std::vector<unsigned char>;

template <typename Interface>
Interface* make(Steinberg_tresult (*create)(const char*, void**), const Steinberg_TUID iid) {
  void* obj = nullptr;
  if (create(iid, &obj) != Steinberg_kResultOk || obj == nullptr) {
    std::abort();
  }
  return static_cast<Interface*>(obj);
}

Bytes save(Steinberg_Vst_IComponent* component) {
  vst3test::MemoryStream stream;
  if (component->lpVtbl->getState(component, stream.stream()) != Steinberg_kResultOk) {
    std::abort();
  }
  return stream.data;
}

Bytes saveOwn(Steinberg_Vst_IEditController* controller) {
  vst3test::MemoryStream stream;
  if (controller->lpVtbl->getState(controller, stream.stream()) != Steinberg_kResultOk ||
      stream.data.size() != vst3::kStateSize + vst3::kZoomTrailerSize) {
    std::abort();
  }
  return stream.data;
}

Steinberg_tresult loadOwn(Steinberg_Vst_IEditController* controller, const Bytes& bytes,
                          std::size_t chunk) {
  vst3test::MemoryStream stream(bytes);
  stream.chunk = chunk;
  return controller->lpVtbl->setState(controller, stream.stream());
}

Steinberg_tresult load(Steinberg_Vst_IComponent* component, const Bytes& bytes, std::size_t chunk) {
  vst3test::MemoryStream stream(bytes);
  stream.chunk = chunk;
  return component->lpVtbl->setState(component, stream.stream());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::size_t chunk = data[0] == 0 ? SIZE_MAX : data[0];
  const Bytes input(data + 1, data + size);

  auto* component =
      make<Steinberg_Vst_IComponent>(vst3::createProcessor, Steinberg_Vst_IComponent_iid);
  auto* controller = make<Steinberg_Vst_IEditController>(vst3::createController,
                                                         Steinberg_Vst_IEditController_iid);
  const Bytes before = save(component);
  const Steinberg_tresult taken = load(component, input, chunk);
  vst3test::MemoryStream forController(input);
  forController.chunk = chunk;
  const Steinberg_tresult controllerTaken =
      controller->lpVtbl->setComponentState(controller, forController.stream());
  if ((taken == Steinberg_kResultOk) != (controllerTaken == Steinberg_kResultOk)) {
    std::abort();
  }
  const Steinberg_tresult ownTaken = loadOwn(controller, input, chunk);
  if ((taken == Steinberg_kResultOk) != (ownTaken == Steinberg_kResultOk)) {
    std::abort();
  }
  if (ownTaken == Steinberg_kResultOk) {
    const Bytes own = saveOwn(controller);
    if (loadOwn(controller, own, SIZE_MAX) != Steinberg_kResultOk || saveOwn(controller) != own) {
      std::abort();
    }
  }
  if (taken == Steinberg_kResultOk) {
    // Saved again, the state reads back to the very same bytes.
    const Bytes after = save(component);
    if (load(component, after, SIZE_MAX) != Steinberg_kResultOk || save(component) != after) {
      std::abort();
    }
  } else if (save(component) != before) {
    std::abort();
  }
  component->lpVtbl->release(component);
  controller->lpVtbl->release(controller);
  return 0;
}
