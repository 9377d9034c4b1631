// Value texts for arbitrary numbers: never more than 8 characters and a terminator.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/vst2/effect_base.h"

namespace {

class TextEffect : public EffectBase {
 public:
  TextEffect() : EffectBase(nullptr, 1, 1) {}
  void process(float**, float**, std::int32_t) override {}
};

void checkText(const char* buffer) {
  // The guard bytes behind the 9-byte field must be untouched and the text terminated.
  if (strnlen(buffer, kParameterTextLength + 1) > kParameterTextLength) {
    std::abort();
  }
  for (int i = kParameterTextLength + 1; i < 24; ++i) {
    if (buffer[i] != '#') {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) {
    return 0;
  }
  float value;
  float rate;
  std::int32_t integer;
  std::memcpy(&value, data, 4);
  std::memcpy(&rate, data + 4, 4);
  std::memcpy(&integer, data + 8, 4);

  TextEffect effect;
  effect.setSampleRate(rate);
  char buffer[24];
  const auto run = [&](auto format) {
    std::memset(buffer, '#', sizeof buffer);
    format();
    checkText(buffer);
  };
  run([&] { effect.formatFloat(value, buffer); });
  run([&] { effect.formatDecibels(value, buffer); });
  run([&] { effect.formatHertz(value, buffer); });
  run([&] { effect.formatMilliseconds(value, buffer); });
  run([&] { effect.formatInteger(integer, buffer); });
  return 0;
}
