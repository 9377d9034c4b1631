#include "host/vst3/vst3_state.h"

#include <cmath>
#include <cstring>

#include "editor/panel_zoom.h"

namespace vst3 {

namespace {

template <typename Bytes>
class Writer {
 public:
  explicit Writer(Bytes& bytes) : bytes_(bytes) {}
  void u32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes_[at_++] = static_cast<unsigned char>(value >> shift);
    }
  }
  void f32(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    u32(bits);
  }
  void text(const char (&field)[kProgramNameSize]) {
    std::memcpy(&bytes_[at_], field, kProgramNameSize);
    at_ += kProgramNameSize;
  }

 private:
  Bytes& bytes_;
  std::size_t at_ = 0;
};

class Reader {
 public:
  explicit Reader(const unsigned char* bytes) : bytes_(bytes) {}
  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      value |= static_cast<std::uint32_t>(bytes_[at_++]) << shift;
    }
    return value;
  }
  float f32() {
    const std::uint32_t bits = u32();
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  void text(char (&field)[kProgramNameSize]) {
    std::memcpy(field, &bytes_[at_], kProgramNameSize);
    at_ += kProgramNameSize;
  }

 private:
  const unsigned char* bytes_;
  std::size_t at_ = 0;
};

// A stream may hand out fewer bytes per read than asked; it has ended when a read gives none.
// Answers how many bytes it gave, at most `size`.
std::size_t readUpTo(Steinberg_IBStream* stream, unsigned char* bytes, std::size_t size) noexcept {
  std::size_t have = 0;
  while (have < size) {
    Steinberg_int32 got = 0;
    const tresult result =
        stream->lpVtbl->read(stream, bytes + have, static_cast<Steinberg_int32>(size - have), &got);
    if (result != Steinberg_kResultOk || got <= 0 || static_cast<std::size_t>(got) > size - have) {
      break;
    }
    have += static_cast<std::size_t>(got);
  }
  return have;
}

bool writeAll(Steinberg_IBStream* stream, unsigned char* bytes, std::size_t size) noexcept {
  Steinberg_int32 written = 0;
  const tresult result =
      stream->lpVtbl->write(stream, bytes, static_cast<Steinberg_int32>(size), &written);
  return result == Steinberg_kResultOk && written == static_cast<Steinberg_int32>(size);
}

}  // namespace

StateBytes encodeState(const DriveVst3State& state) noexcept {
  StateBytes bytes{};
  Writer<StateBytes> out(bytes);
  out.u32(kStateMagic);
  out.u32(kStateVersion);
  out.u32(static_cast<std::uint32_t>(state.currentProgram));
  out.u32(state.bypass ? 1u : 0u);
  for (const DriveVst3Program& program : state.programs) {
    char name[kProgramNameSize] = {};
    copyText(name, program.name);
    out.text(name);
    for (const float value : program.values) {
      out.f32(value);
    }
  }
  return bytes;
}

std::optional<DriveVst3State> decodeState(const unsigned char* bytes, std::size_t size) noexcept {
  if (bytes == nullptr || size < kStateSize) {
    return std::nullopt;
  }
  Reader in(bytes);
  if (in.u32() != kStateMagic || in.u32() != kStateVersion) {
    return std::nullopt;
  }
  DriveVst3State state;
  const std::uint32_t program = in.u32();
  const std::uint32_t bypass = in.u32();
  if (program >= static_cast<std::uint32_t>(kDriveProgramCount) || bypass > 1) {
    return std::nullopt;
  }
  state.currentProgram = static_cast<std::int32_t>(program);
  state.bypass = bypass == 1;
  for (DriveVst3Program& record : state.programs) {
    in.text(record.name);
    if (std::memchr(record.name, '\0', kProgramNameSize) == nullptr) {
      return std::nullopt;
    }
    for (float& value : record.values) {
      value = in.f32();
      // Also refuses NaN, which fails both comparisons.
      if (!(value >= 0.0f && value <= 1.0f)) {
        return std::nullopt;
      }
    }
  }
  return state;
}

bool writeState(Steinberg_IBStream* stream, const DriveVst3State& state) noexcept {
  if (stream == nullptr) {
    return false;
  }
  StateBytes bytes = encodeState(state);
  return writeAll(stream, bytes.data(), bytes.size());
}

std::optional<DriveVst3State> readState(Steinberg_IBStream* stream) noexcept {
  if (stream == nullptr) {
    return std::nullopt;
  }
  StateBytes bytes{};
  return decodeState(bytes.data(), readUpTo(stream, bytes.data(), bytes.size()));
}

ZoomTrailerBytes encodeZoomTrailer(std::int32_t zoom) noexcept {
  ZoomTrailerBytes bytes{};
  Writer<ZoomTrailerBytes> out(bytes);
  out.u32(kZoomTrailerMagic);
  out.u32(kZoomTrailerVersion);
  out.u32(isPanelZoom(zoom) ? static_cast<std::uint32_t>(zoom) : 0u);
  return bytes;
}

std::int32_t decodeZoomTrailer(const unsigned char* bytes, std::size_t size) noexcept {
  if (bytes == nullptr || size < kZoomTrailerSize) {
    return 0;
  }
  Reader in(bytes);
  if (in.u32() != kZoomTrailerMagic || in.u32() < kZoomTrailerVersion) {
    return 0;
  }
  const auto zoom = static_cast<std::int32_t>(in.u32());
  return isPanelZoom(zoom) ? zoom : 0;
}

bool writeZoomTrailer(Steinberg_IBStream* stream, std::int32_t zoom) noexcept {
  if (stream == nullptr) {
    return false;
  }
  ZoomTrailerBytes bytes = encodeZoomTrailer(zoom);
  return writeAll(stream, bytes.data(), bytes.size());
}

std::int32_t readZoomTrailer(Steinberg_IBStream* stream) noexcept {
  if (stream == nullptr) {
    return 0;
  }
  ZoomTrailerBytes bytes{};
  return decodeZoomTrailer(bytes.data(), readUpTo(stream, bytes.data(), bytes.size()));
}

}  // namespace vst3
