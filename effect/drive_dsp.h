// Audio kernel of the three-band drive: filters, clippers and mix for one block of frames.
#pragma once

#include <cstdint>

#include "effect/band_filter.h"

enum class OutputMode { replacing, accumulating };

// parameters: p0..p3 as read at the start of the call. filters: the six records in slot order,
// advanced in place. sampleFrames <= 0 touches nothing. Any output buffer may be any input
// buffer, and the two outputs may be one buffer (the result is then that of a per-frame loop
// that writes left, then right); buffers that overlap at an offset are not supported.
//
// A band whose new input or output is not finite (a NaN or infinite sample, or a value that
// overflows float) restarts from rest: its four fields become 0 and it adds 0 to that frame's
// mix. Every other result is the exact float/double arithmetic of the plain per-frame loop
// (with a non-finite parameter the mix may be a NaN, of unspecified sign and payload).
// No allocation, lock or system call; about 9 KiB of stack.
void runDriveBlock(const float parameters[4], BandFilter filters[kBandFilterCount],
                   const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::int32_t sampleFrames, OutputMode mode) noexcept;
