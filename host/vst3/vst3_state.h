// The component's saved state: what a project stores of one plug-in instance and gives back on
// loading. A fixed little-endian layout with a magic word and a version, read whole into a
// DriveVst3State before anything is applied, so a stream that ends early or holds garbage is
// refused with the instance untouched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "effect/drive_effect.h"
#include "host/vst3/vst3_api.h"

namespace vst3 {

struct DriveVst3Program {
  char name[kProgramNameSize];
  float values[kDriveParameterCount];
};

struct DriveVst3State {
  std::int32_t currentProgram = 0;
  bool bypass = false;
  DriveVst3Program programs[kDriveProgramCount];
};

// "DrV3", then version 1: program (int32), bypass (uint32, 0 or 1), and per program its name
// (24 bytes, terminated) and four values (float bits as uint32).
inline constexpr std::uint32_t kStateMagic = 0x33567244;  // "DrV3" read as little-endian
inline constexpr std::uint32_t kStateVersion = 1;
inline constexpr std::size_t kStateSize =
    4 + 4 + 4 + 4 + kDriveProgramCount * (kProgramNameSize + 4 * kDriveParameterCount);

using StateBytes = std::array<unsigned char, kStateSize>;

StateBytes encodeState(const DriveVst3State& state) noexcept;
// Empty when the bytes are not a state this version wrote: wrong magic or version, a program out of
// range, an unterminated name, a value outside 0..1 or not a number.
std::optional<DriveVst3State> decodeState(const unsigned char* bytes, std::size_t size) noexcept;

// Through a host's stream: false when it takes fewer bytes than given or ends before a whole state.
bool writeState(Steinberg_IBStream* stream, const DriveVst3State& state) noexcept;
std::optional<DriveVst3State> readState(Steinberg_IBStream* stream) noexcept;

}  // namespace vst3
