// Audio kernel of the three-band drive: filters, clippers and mix for one block of frames.
#pragma once

#include <cstdint>

#include "effect/band_filter.h"

enum class OutputMode { replacing, accumulating };

// parameters: p0..p3 as read at the start of the call. filters: the six records in slot order,
// advanced in place. Output buffers may be the input buffers. sampleFrames <= 0 touches
// nothing. Frames are read and written strictly in order, one frame at a time, so any
// aliasing between the four buffers behaves as in a plain per-frame loop.
//
// A band whose new input or output is not finite (a NaN or infinite sample, or a value that
// overflows float) restarts from rest: its four fields become 0 and it adds 0 to that frame's
// mix. Every other result is the exact float/double arithmetic of the plain per-frame loop.
void runDriveBlock(const float parameters[4], BandFilter filters[kBandFilterCount],
                   const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::int32_t sampleFrames, OutputMode mode) noexcept;
