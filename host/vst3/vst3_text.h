// The controls' value texts as the panel's displays show them: the value times ten with one
// decimal, "5.0" for 0.5, truncated as the displays truncate; and such a text read back.
#pragma once

#include <optional>

#include "host/vst3/vst3_api.h"

namespace vst3 {

// At most 16 characters with the terminator: a sign, ten digits, the point and one decimal.
inline constexpr int kDriveTextSize = 16;
void driveValueText(float value, char (&text)[kDriveTextSize]) noexcept;

// The value a text means, within 0..1: "5.0", " 5", "10", "-0.0"; surrounding spaces allowed.
// Empty for anything else.
std::optional<double> driveValueFromText(const Steinberg_char16* text) noexcept;

}  // namespace vst3
