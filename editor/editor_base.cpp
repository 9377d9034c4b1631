#include "editor/editor_base.h"

std::int32_t EditorBase::getRect(EditorRect** rect) {
  if (rect != nullptr) {
    *rect = nullptr;
  }
  return 0;
}

std::int32_t EditorBase::open(void* parent) {
  parentWindow = parent;
  return 0;
}

void EditorBase::idle() {
  // exchange() takes the flag in one step, so a post that races with idle is never lost; its
  // acquire pairs with postUpdate's release, so the update reads the values stored before the
  // post, not older ones.
  if (updatePending.exchange(0, std::memory_order_acquire) != 0) {
    update();
  }
}
