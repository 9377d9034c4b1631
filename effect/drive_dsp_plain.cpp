// The kernel over the plain C++ lanes, for the tests that hold the SSE2 lanes to the same bits
// and for the benchmark. Nothing in a plug-in refers to it, so no plug-in binary links it.
#include "effect/drive_kernel.h"
#include "effect/drive_lanes.h"

void drive_kernel::runDriveBlockPlain(const float parameters[4],
                                      BandFilter filters[kBandFilterCount], const float* inLeft,
                                      const float* inRight, float* outLeft, float* outRight,
                                      std::int32_t sampleFrames, OutputMode mode) noexcept {
  runDriveBlockWith<PlainLanes>(parameters, filters, inLeft, inRight, outLeft, outRight,
                                sampleFrames, mode);
}
