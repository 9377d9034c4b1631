// RIFF/WAVE reading and writing for plughost: PCM 16, 24 and 32 bit and 32-bit float, mono or
// stereo, streamed in blocks of float frames. 32-bit float data passes through bit for bit, so a
// float file read and written again is byte-identical in its samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace wav {

enum class SampleEncoding { pcm16, pcm24, pcm32, float32 };

struct StreamFormat {
  SampleEncoding encoding = SampleEncoding::float32;
  int channels = 2;
  std::uint32_t sampleRate = 44100;

  int bytesPerSample() const;
  int bytesPerFrame() const { return bytesPerSample() * channels; }
  bool operator==(const StreamFormat&) const = default;
};

// "16-bit PCM", "32-bit float", ...
const char* encodingName(SampleEncoding encoding);
// "stereo 24-bit PCM at 48000 Hz"
std::string describe(const StreamFormat& format);

// Every problem with a WAV file or stream; the message names the file and the problem.
class WavError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a WAV file front to back. The constructor checks the whole header and that the file
// holds every byte its data chunk declares, so a truncated file fails before any audio is used.
class WavReader {
 public:
  explicit WavReader(const std::filesystem::path& path);
  ~WavReader();
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  const StreamFormat& format() const { return format_; }
  std::uint64_t frameCount() const { return frameCount_; }
  std::uint64_t framesLeft() const { return frameCount_ - framesRead_; }

  // Reads up to maxFrames frames as interleaved floats; returns how many were read, 0 at the end.
  std::size_t read(float* interleaved, std::size_t maxFrames);

  // Closes the file early (before the caller replaces it, for instance).
  void close();

 private:
  void parseHeader(std::uint64_t fileSize);
  [[noreturn]] void fail(const std::string& problem) const;

  std::string name_;
  std::FILE* file_ = nullptr;
  StreamFormat format_;
  std::uint64_t frameCount_ = 0;
  std::uint64_t framesRead_ = 0;
  std::vector<unsigned char> raw_;
};

// Writes a WAV stream into a file the caller opened (binary, seekable). The header goes out
// first with provisional sizes; finish() fills them in. Float samples are converted to PCM by
// clamping to -1..1, scaling by 2^(bits-1) and rounding to nearest; a NaN becomes 0.
class WavWriter {
 public:
  WavWriter(std::FILE* file, const StreamFormat& format, std::string name = "output");
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  const StreamFormat& format() const { return format_; }

  void write(const float* interleaved, std::size_t frames);
  void finish();

 private:
  void writeHeader(std::uint32_t dataBytes);
  void put(const void* bytes, std::size_t size);

  std::FILE* file_;
  StreamFormat format_;
  std::string name_;
  std::uint64_t framesWritten_ = 0;
  bool finished_ = false;
  std::vector<unsigned char> raw_;
};

// A whole file in memory, interleaved.
struct AudioData {
  StreamFormat format;
  std::vector<float> samples;
  std::size_t frames() const {
    return format.channels > 0 ? samples.size() / static_cast<std::size_t>(format.channels) : 0;
  }
};

AudioData readWavFile(const std::filesystem::path& path);
// Writes through a temporary file beside path that replaces path only when complete.
void writeWavFile(const std::filesystem::path& path, const AudioData& audio);

}  // namespace wav
