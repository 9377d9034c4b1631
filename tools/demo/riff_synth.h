// A short plucked-string riff (Karplus-Strong strings playing a minor pentatonic pattern),
// synthesised with nothing but additions, multiplications and divisions so that every build
// on every platform produces the same samples bit for bit.
#pragma once

#include <cstdint>
#include <vector>

namespace demo {

// Interleaved stereo frames of `seconds` seconds at sampleRate, peak 0.5.
std::vector<float> synthesizeRiff(double seconds, std::uint32_t sampleRate);

}  // namespace demo
