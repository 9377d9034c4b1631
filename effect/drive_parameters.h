// The effect's four parameters in one table: what VST 2 hosts are told, what the panel and LV2
// hosts call them, and where each starts. Both plug-in formats and the LV2 data generated at
// build time read it, so a value means the same everywhere.
#pragma once

#include <cstdint>

struct DriveParameterInfo {
  const char* vstName;     // the VST 2 name text, kept exactly as hosts have always seen it
  const char* vstLabel;    // the VST 2 label text
  const char* symbol;      // LV2 port symbol: stable, lower case, a C identifier
  const char* panelLabel;  // what the panel prints beside the control
  float defaultValue;
};

inline constexpr std::int32_t kDriveParameterCount = 4;
// The host's range; values outside it are still kept as sent.
inline constexpr float kDriveParameterMinimum = 0.0f;
inline constexpr float kDriveParameterMaximum = 1.0f;

inline constexpr DriveParameterInfo kDriveParameters[kDriveParameterCount] = {
    {" Boost", "  X  ", "low", "LOW", 0.5f},
    {" Volume", "  X ", "mid", "MID", 0.5f},
    {" ---", "  X ", "high", "HIGH", 0.5f},
    {" ---", "  X ", "level", "LEVEL", 0.2f},
};
