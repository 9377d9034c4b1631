// State of one resonant band of one channel.
#pragma once

struct BandFilter {
  float input;           // scaled input of the latest frame, x[n]
  float previousInput;   // x[n-1]
  float output;          // band output of the latest frame, y[n], before clipping
  float previousOutput;  // y[n-1]
};

static_assert(sizeof(BandFilter) == 16);

// Order of the six records an effect holds.
enum BandFilterSlot : int {
  kBand1Left,
  kBand1Right,
  kBand2Left,
  kBand2Right,
  kBand3Left,
  kBand3Right,
  kBandFilterCount
};
