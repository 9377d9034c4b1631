// The VST 3 plug-in's classes as the factory makes them. Each answers the interface asked for in
// obj (with one reference, the caller's) or kNoInterface; kOutOfMemory when it cannot be made.
#pragma once

#include "effect/drive_effect.h"
#include "host/vst3/vst3_api.h"
#include "host/vst3/vst3_state.h"

namespace vst3 {

Steinberg_tresult createProcessor(const char* iid, void** obj) noexcept;
Steinberg_tresult createController(const char* iid, void** obj) noexcept;

// The one DriveEffect, as the processor runs it: the VST 2 plug-in's programs, parameters and
// blocks, plus the two things VST 3 asks for that VST 2 never did: starting again from rest
// (setActive) and the whole state in and out in one piece.
class Vst3DriveEffect final : public DriveEffect {
 public:
  Vst3DriveEffect() : DriveEffect(nullptr) {}

  // False when the program table could not be allocated.
  bool complete() const { return programs != nullptr; }
  void clearFilters() { filters = {}; }
  DriveVst3State captureState(bool bypass);
  // The stored programs first, then the current one selected as setProgram does, so that the
  // working values follow it.
  void restoreState(const DriveVst3State& state);
};

}  // namespace vst3
