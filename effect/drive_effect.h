// The stereo three-band drive: parameters, programs and processing, without a panel.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "effect/band_filter.h"
#include "effect/drive_dsp.h"
#include "effect/drive_parameters.h"
#include "host/vst2/effect_base.h"

constexpr std::int32_t kDriveProgramCount = 2;

// One parameter set. Values are atomic because the host may set a parameter on one thread while
// another switches programs; each access stays a single 32-bit load or store.
struct DriveProgram {
  DriveProgram();
  std::atomic<float> values[kDriveParameterCount];
  char name[kProgramNameSize];
};

class DriveEffect : public EffectBase {
 public:
  explicit DriveEffect(HostCallback hostCallback);
  ~DriveEffect() override;

  void setParameter(std::int32_t index, float value) override;
  float getParameter(std::int32_t index) override;
  float getVuLevel() override;
  void process(float** inputs, float** outputs, std::int32_t sampleFrames) override;
  void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;
  void setProgram(std::int32_t program) override;
  void setProgramName(char* text) override;
  void getProgramName(char* text) override;
  void getParameterLabel(std::int32_t index, char* text) override;
  void getParameterDisplay(std::int32_t index, char* text) override;
  void getParameterName(std::int32_t index, char* text) override;

 protected:
  DriveProgram* programs = nullptr;
  // Working values: written by parameter calls on any thread, read once per audio block.
  std::atomic<float> parameters[kDriveParameterCount] = {
      kDriveParameters[0].defaultValue, kDriveParameters[1].defaultValue,
      kDriveParameters[2].defaultValue, kDriveParameters[3].defaultValue};
  std::array<BandFilter, kBandFilterCount> filters{};

 private:
  DriveProgram* currentProgramRecord();
  void runBlock(float** inputs, float** outputs, std::int32_t sampleFrames, OutputMode mode);
};
