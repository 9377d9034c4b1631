// runDriveBlock: the algorithm of effect/drive_kernel.h over the SSE2 lanes of
// effect/drive_lanes.h, which every build we ship has (a target without them does not build).
#include "effect/drive_dsp.h"

#include "effect/drive_kernel.h"
#include "effect/drive_lanes.h"

#if defined(__GNUC__) && defined(__i386__)
// A 32-bit Windows host may call with a stack aligned to 4 bytes only.
__attribute__((force_align_arg_pointer))
#endif
void runDriveBlock(const float parameters[4], BandFilter filters[kBandFilterCount],
                   const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::int32_t sampleFrames, OutputMode mode) noexcept {
  drive_kernel::runDriveBlockWith<drive_kernel::Sse2Lanes>(parameters, filters, inLeft, inRight,
                                                           outLeft, outRight, sampleFrames, mode);
}
