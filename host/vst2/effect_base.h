// Base class of the library's effects: owns the descriptor the host sees, turns dispatcher
// requests into virtual calls, and offers requests to the host and value-to-text helpers.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/vst2/aeffect.h"

class EditorBase;

// Truth values passed between the effect's own operations; nonzero is true.
using TruthValue = std::int16_t;

class EffectBase {
 public:
  EffectBase(HostCallback hostCallback, std::int32_t programCount, std::int32_t parameterCount);
  EffectBase(const EffectBase&) = delete;
  EffectBase& operator=(const EffectBase&) = delete;

  // Slot order matters to no host, but it is kept as the design fixes it.
  virtual ~EffectBase();
  virtual void setParameter(std::int32_t index, float value);
  virtual float getParameter(std::int32_t index);
  virtual void automateParameter(std::int32_t index, float value);
  virtual float getVuLevel();
  virtual void process(float** inputs, float** outputs, std::int32_t sampleFrames) = 0;
  virtual void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames);
  virtual VstIntPtr dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                             float opt);
  virtual void open();
  virtual void close();
  virtual std::int32_t getProgram();
  virtual void setProgram(std::int32_t program);
  virtual void setProgramName(char* text);
  virtual void getProgramName(char* text);
  virtual void getParameterLabel(std::int32_t index, char* text);
  virtual void getParameterDisplay(std::int32_t index, char* text);
  virtual void getParameterName(std::int32_t index, char* text);
  virtual void setSampleRate(float rate);
  virtual void setBlockSize(std::int32_t size);
  virtual void reservedHook();
  virtual void setUniqueId(std::int32_t code);
  virtual void setNumInputs(std::int32_t count);
  virtual void setNumOutputs(std::int32_t count);
  virtual void setHasVu(TruthValue state);
  virtual void setHasClip(TruthValue state);
  virtual void setCanMono(TruthValue state);
  virtual void setCanReplacing(TruthValue state);
  virtual void setRealQualities(std::int32_t count);
  virtual void setOffQualities(std::int32_t count);
  virtual void setInitialDelay(std::int32_t frames);
  virtual float getSampleRate();
  virtual std::int32_t getBlockSize();
  virtual std::int32_t getHostVersion();
  virtual std::int32_t getHostCurrentId();
  virtual std::int32_t hostIdle();
  virtual TruthValue isInputConnected(std::int32_t input);
  virtual TruthValue isOutputConnected(std::int32_t output);
  virtual void formatDecibels(float value, char* text);
  virtual void formatHertz(float samples, char* text);
  virtual void formatMilliseconds(float samples, char* text);
  virtual void formatFloat(float value, char* text);
  virtual void formatInteger(std::int32_t value, char* text);

  AEffect* getDescriptor() { return &descriptor; }
  void setEditor(EditorBase* newEditor);
  EditorBase* getEditor() const { return editor; }

  // Recovers the effect that embeds a descriptor handed out by getDescriptor.
  static EffectBase* fromDescriptor(AEffect* effect) {
    return static_cast<EffectBase*>(effect->object);
  }

 protected:
  void setFlag(std::int32_t bit, TruthValue state);
  VstIntPtr callHost(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                     float opt);

  float sampleRate = 44100.0f;
  EditorBase* editor = nullptr;
  HostCallback hostCallback;
  std::int32_t programCount;
  std::int32_t parameterCount;
  // Read by parameter calls on any host thread while the dispatcher may switch programs.
  std::atomic<std::int32_t> currentProgram{0};
  std::int32_t blockSize = 1024;
  AEffect descriptor;
};

// The 32-bit Windows DLL answers exactly the requests it has always answered. The builds that came
// after it also answer effCanBeAutomated: today's hosts ask it before they record the panel's
// automation, and a 0 makes them mark the parameter "not automatable".
#if defined(_WIN32) && !defined(_WIN64)
inline constexpr bool kAnswersCanBeAutomated = false;
#else
inline constexpr bool kAnswersCanBeAutomated = true;
#endif

// Text limits shared by every effect and host.
constexpr int kParameterTextLength = 8;  // characters, plus a terminating zero
constexpr int kProgramNameSize = 24;     // bytes, terminator included
