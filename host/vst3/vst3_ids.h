// What VST 3 hosts know the plug-in by: the two class IDs, fixed for good (projects and presets
// refer to them; README.md lists them beside the LV2 URI), the parameter IDs, which are saved in
// host automation and so never change either, and the names shown in a host's plug-in list.
#pragma once

#include <cmath>
#include <cstdint>

#include "effect/drive_effect.h"
#include "effect/drive_parameters.h"
#include "host/vst3/vst3_api.h"

namespace vst3 {

// FD683629-05E84C88-A87ED6AD-1B49FBAA
inline constexpr Steinberg_TUID kProcessorClassId =
    SMTG_INLINE_UID(0xFD683629, 0x05E84C88, 0xA87ED6AD, 0x1B49FBAA);
// 468F2FA5-AF034A84-A18BFD2E-08CA489D
inline constexpr Steinberg_TUID kControllerClassId =
    SMTG_INLINE_UID(0x468F2FA5, 0xAF034A84, 0xA18BFD2E, 0x08CA489D);

// The build passes the project's own name, vendor, version and addresses (CMakeLists.txt), the
// ones the release packages carry.
inline constexpr const char* kPluginName = DRIVE_PRODUCT_NAME;
inline constexpr const char* kVendor = DRIVE_VENDOR;
inline constexpr const char* kVersion = DRIVE_VERSION;
inline constexpr const char* kUrl = DRIVE_URL;
inline constexpr const char* kEmail = DRIVE_EMAIL;
inline constexpr const char* kProcessorCategory = "Audio Module Class";
inline constexpr const char* kControllerCategory = "Component Controller Class";
inline constexpr const char* kSubCategories = "Fx|Distortion";

// The four controls keep their VST 2 indices as IDs: 0..3. Bypass and program change sit apart,
// leaving room for more controls.
inline constexpr Steinberg_Vst_ParamID kBypassId = 100;
inline constexpr Steinberg_Vst_ParamID kProgramId = 101;
inline constexpr std::int32_t kParameterCount = kDriveParameterCount + 2;

inline constexpr Steinberg_Vst_UnitID kRootUnit = 0;
inline constexpr Steinberg_Vst_ProgramListID kProgramListId = 1;

// A program parameter's normalized value for a program index and back: evenly spaced steps.
inline double programToNormalized(std::int32_t program) {
  return static_cast<double>(program) / static_cast<double>(kDriveProgramCount - 1);
}
inline std::int32_t normalizedToProgram(double value) {
  if (!(value > 0.0)) {
    return 0;
  }
  if (value >= 1.0) {
    return kDriveProgramCount - 1;
  }
  return static_cast<std::int32_t>(std::lround(value * (kDriveProgramCount - 1)));
}

}  // namespace vst3
