#include "effect/drive_effect.h"

#include <cstring>
#include <new>

#include "editor/editor_base.h"
#include "effect/drive_dsp.h"

namespace {

bool isParameterIndex(std::int32_t index) {
  return index >= 0 && index < kDriveParameterCount;
}

void copyText(const char* source, char* text) {
  std::memcpy(text, source, std::strlen(source) + 1);
}

}  // namespace

DriveProgram::DriveProgram() : name("Init") {
  for (int i = 0; i < kDriveParameterCount; ++i) {
    values[i].store(kDriveParameters[i].defaultValue, std::memory_order_relaxed);
  }
}

DriveEffect::DriveEffect(HostCallback hostCallback)
    : EffectBase(hostCallback, kDriveProgramCount, kDriveParameterCount) {
  setNumInputs(2);
  setNumOutputs(2);
  setCanMono(1);
  programs = new (std::nothrow) DriveProgram[kDriveProgramCount];
  if (programs != nullptr) {
    // This class's own versions are the ones meant here: nothing derived exists yet.
    setProgram(0);  // NOLINT(clang-analyzer-optin.cplusplus.VirtualCall)
  }
  setHasVu(1);
  setCanReplacing(1);
  setUniqueId(fourCharCode("Wnk1"));
}

DriveEffect::~DriveEffect() {
  delete[] programs;
}

DriveProgram* DriveEffect::currentProgramRecord() {
  if (programs == nullptr) {
    return nullptr;
  }
  const std::int32_t program = currentProgram.load(std::memory_order_relaxed);
  return program >= 0 && program < programCount ? &programs[program] : nullptr;
}

void DriveEffect::setParameter(std::int32_t index, float value) {
  if (isParameterIndex(index)) {
    if (DriveProgram* program = currentProgramRecord()) {
      program->values[index].store(value, std::memory_order_relaxed);
    }
    parameters[index].store(value, std::memory_order_relaxed);
  }
  if (editor != nullptr) {
    editor->postUpdate();
  }
}

float DriveEffect::getParameter(std::int32_t index) {
  return isParameterIndex(index) ? parameters[index].load(std::memory_order_relaxed) : 0.0f;
}

float DriveEffect::getVuLevel() {
  return 0.0f;
}

void DriveEffect::setProgram(std::int32_t program) {
  if (programs == nullptr || program < 0 || program >= programCount) {
    return;
  }
  currentProgram.store(program, std::memory_order_relaxed);
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    // NOLINTNEXTLINE(clang-analyzer-optin.cplusplus.VirtualCall): also runs from the constructor
    setParameter(i, programs[program].values[i].load(std::memory_order_relaxed));
  }
}

void DriveEffect::setProgramName(char* text) {
  DriveProgram* program = currentProgramRecord();
  if (program == nullptr) {
    return;
  }
  // Longer names are cut to fit the field, which always stays terminated.
  const std::size_t length = strnlen(text, kProgramNameSize - 1);
  std::memcpy(program->name, text, length);
  program->name[length] = '\0';
}

void DriveEffect::getProgramName(char* text) {
  if (DriveProgram* program = currentProgramRecord()) {
    copyText(program->name, text);
  } else {
    text[0] = '\0';
  }
}

void DriveEffect::getParameterLabel(std::int32_t index, char* text) {
  if (isParameterIndex(index)) {
    copyText(kDriveParameters[index].vstLabel, text);
  }
}

void DriveEffect::getParameterName(std::int32_t index, char* text) {
  if (isParameterIndex(index)) {
    copyText(kDriveParameters[index].vstName, text);
  }
}

void DriveEffect::getParameterDisplay(std::int32_t index, char* text) {
  if (isParameterIndex(index)) {
    const double shown = static_cast<double>(parameters[index].load(std::memory_order_relaxed));
    formatFloat(static_cast<float>(shown * 10.0), text);
  }
}

void DriveEffect::runBlock(float** inputs, float** outputs, std::int32_t sampleFrames,
                           OutputMode mode) {
  // Hosts may pass no buffers at all with an empty block.
  if (sampleFrames <= 0) {
    return;
  }
  // One read of the working values per call: a change made meanwhile takes effect next block.
  float values[kDriveParameterCount];
  for (int i = 0; i < kDriveParameterCount; ++i) {
    values[i] = parameters[i].load(std::memory_order_relaxed);
  }
  runDriveBlock(values, filters.data(), inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames,
                mode);
}

void DriveEffect::process(float** inputs, float** outputs, std::int32_t sampleFrames) {
  runBlock(inputs, outputs, sampleFrames, OutputMode::accumulating);
}

void DriveEffect::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) {
  runBlock(inputs, outputs, sampleFrames, OutputMode::replacing);
}
