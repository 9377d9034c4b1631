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
// Reading takes the state's bytes and no more, so whatever follows it can be read next.
bool writeState(Steinberg_IBStream* stream, const DriveVst3State& state) noexcept;
std::optional<DriveVst3State> readState(Steinberg_IBStream* stream) noexcept;

// The controller's own state is the component's followed by the panel's zoom: "DrVZ", a version
// (uint32, 1) and the zoom the user chose, in percent (uint32, 0 for none). A later version may
// only add fields after these. The zoom is the panel's business alone, so a trailer that is
// missing (a state saved before zooms existed), cut short or otherwise not understood reads as
// no choice, and never costs the parameters the state brings along.
inline constexpr std::uint32_t kZoomTrailerMagic = 0x5A567244;  // "DrVZ" read as little-endian
inline constexpr std::uint32_t kZoomTrailerVersion = 1;
inline constexpr std::size_t kZoomTrailerSize = 4 + 4 + 4;

using ZoomTrailerBytes = std::array<unsigned char, kZoomTrailerSize>;

ZoomTrailerBytes encodeZoomTrailer(std::int32_t zoom) noexcept;
// The chosen zoom, or 0: also for a zoom the panel does not offer.
std::int32_t decodeZoomTrailer(const unsigned char* bytes, std::size_t size) noexcept;
bool writeZoomTrailer(Steinberg_IBStream* stream, std::int32_t zoom) noexcept;
std::int32_t readZoomTrailer(Steinberg_IBStream* stream) noexcept;

}  // namespace vst3
