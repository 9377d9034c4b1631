// Random request sequences against a live effect: any opcode, index, value and float, with a
// zeroed 4 KiB buffer as pointer, mixed with parameter changes and processing. Nothing may crash,
// write past the text lengths hosts allow, or make the output non-finite for finite input.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/vst2/aeffect.h"

extern "C" AEffect* VSTPluginMain(HostCallback hostCallback) noexcept;

namespace {

VstIntPtr quietHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  template <typename T>
  bool take(T& out) {
    if (size < sizeof out) {
      return false;
    }
    std::memcpy(&out, data, sizeof out);
    data += sizeof out;
    size -= sizeof out;
    return true;
  }
};

// How many bytes each text request may write, terminator included.
std::size_t allowedTextBytes(std::int32_t opcode) {
  switch (opcode) {
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
      return 9;
    case effGetProgramName:
      return 24;
    default:
      return 4096;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AEffect* effect = VSTPluginMain(quietHost);
  if (effect == nullptr) {
    std::abort();
  }
  static char buffer[4096];
  float left[64], right[64], outLeft[64], outRight[64];
  float* inputs[] = {left, right};
  float* outputs[] = {outLeft, outRight};

  Reader input{data, size};
  std::uint8_t kind;
  while (input.take(kind)) {
    std::int32_t opcode = 0;
    std::int32_t index = 0;
    std::int32_t value = 0;
    float opt = 0.0f;
    if (!input.take(opcode) || !input.take(index) || !input.take(value) || !input.take(opt)) {
      break;
    }
    switch (kind % 4) {
      case 0: {
        const std::int32_t request = opcode % 100;
        if (request == effClose || request == effSetProgramName) {
          break;  // close ends the instance; names come from well-formed text below
        }
        std::memset(buffer, 0, sizeof buffer);
        effect->dispatcher(effect, request, index, value, buffer, opt);
        const std::size_t allowed = allowedTextBytes(request);
        for (std::size_t i = allowed; i < sizeof buffer && allowed < sizeof buffer; ++i) {
          if (buffer[i] != 0 && request != effEditGetRect) {
            std::abort();
          }
        }
        break;
      }
      case 1:
        effect->setParameter(effect, index % 6, opt);
        break;
      case 2: {
        std::memset(buffer, 'n', sizeof buffer);
        buffer[static_cast<std::uint32_t>(value) % 400] = '\0';
        effect->dispatcher(effect, effSetProgramName, 0, 0, buffer, 0.0f);
        break;
      }
      default: {
        const std::int32_t frames =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(value) % 65);
        const float sample = std::isfinite(opt) ? std::fmod(opt, 4.0f) : 0.0f;
        for (int i = 0; i < 64; ++i) {
          left[i] = sample;
          right[i] = -sample;
          outLeft[i] = outRight[i] = 0.0f;
        }
        bool boundedParameters = true;
        for (std::int32_t p = 0; p < 4; ++p) {
          const float v = effect->getParameter(effect, p);
          boundedParameters = boundedParameters && std::isfinite(v) && std::fabs(v) <= 1e6f;
        }
        effect->processReplacing(effect, inputs, outputs, frames);
        for (std::int32_t i = 0; i < frames && boundedParameters; ++i) {
          if (!std::isfinite(outLeft[i]) || !std::isfinite(outRight[i])) {
            std::abort();
          }
        }
      }
    }
  }
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
