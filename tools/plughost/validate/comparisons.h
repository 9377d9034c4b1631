// Comparing what effects wrote: bit for bit, and for samples that are not finite.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/plughost/validate/signals.h"

namespace plughost::validate {

// "channel 1 frame 377: 0.25 vs 0.2500001" for the first sample whose bits differ, if any.
std::optional<std::string> firstDifference(const Channels& a, const Channels& b);
// The first NaN or infinity at or after `fromFrame`, if any.
std::optional<std::string> firstNonFinite(const Channels& audio, std::int32_t fromFrame = 0);

// A float with every digit it needs to be read back exactly.
std::string floatText(double value);

// The bits of a float: comparisons say "the same" only of identical samples.
std::uint32_t bitsOf(float value);

}  // namespace plughost::validate
