#include "tools/plughost/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "tools/plughost/output_file.h"

namespace wav {
namespace {

constexpr std::uint16_t kFormatPcm = 0x0001;
constexpr std::uint16_t kFormatFloat = 0x0003;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// Every WAVE_FORMAT_EXTENSIBLE sub-format GUID ends with these 14 bytes; the first two bytes
// carry the plain format tag.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::size_t kIoFrames = 4096;

std::uint16_t le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void putLe16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void putLe32(unsigned char* p, std::uint32_t v) {
  putLe16(p, v);
  putLe16(p + 2, v >> 16);
}

// Built by appending: GCC 12's -Wrestrict misfires on "literal" + std::string on 32-bit targets.
std::string quoted(const std::filesystem::path& path) {
  std::string text(1, '\'');
  text += path.string();
  text += '\'';
  return text;
}

std::string hex16(std::uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(v));
  return text;
}

std::string formatTagName(std::uint16_t tag) {
  switch (tag) {
    case 0x0002:
      return "Microsoft ADPCM";
    case 0x0006:
      return "A-law";
    case 0x0007:
      return "mu-law";
    case 0x0011:
      return "IMA ADPCM";
    case 0x0055:
      return "MPEG layer 3";
    default:
      return "format tag " + hex16(tag);
  }
}

// Full-scale conversion: PCM code c of b bits is c / 2^(b-1); a float x goes back to the nearest
// code of x * 2^(b-1), clamped to the code range.
float pcmToFloat(std::int32_t code, double scale) {
  return static_cast<float>(static_cast<double>(code) / scale);
}
std::int32_t floatToPcm(float x, double scale) {
  if (std::isnan(x)) {
    return 0;
  }
  double v = std::nearbyint(static_cast<double>(x) * scale);
  v = std::clamp(v, -scale, scale - 1.0);
  return static_cast<std::int32_t>(v);
}

}  // namespace

int StreamFormat::bytesPerSample() const {
  switch (encoding) {
    case SampleEncoding::pcm16:
      return 2;
    case SampleEncoding::pcm24:
      return 3;
    case SampleEncoding::pcm32:
    case SampleEncoding::float32:
      return 4;
  }
  return 4;
}

const char* encodingName(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::pcm16:
      return "16-bit PCM";
    case SampleEncoding::pcm24:
      return "24-bit PCM";
    case SampleEncoding::pcm32:
      return "32-bit PCM";
    case SampleEncoding::float32:
      return "32-bit float";
  }
  return "?";
}

std::string describe(const StreamFormat& format) {
  std::string channels = format.channels == 1   ? "mono"
                         : format.channels == 2 ? "stereo"
                                                : std::to_string(format.channels) + "-channel";
  return channels + " " + encodingName(format.encoding) + " at " +
         std::to_string(format.sampleRate) + " Hz";
}

// ---------------------------------------------------------------------------------------------
// Reader

WavReader::WavReader(const std::filesystem::path& path) : name_(quoted(path)) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    fail("no such file");
  }
  if (std::filesystem::is_directory(path, error)) {
    fail("it is a directory");
  }
  file_ = std::fopen(path.string().c_str(), "rb");
  if (file_ == nullptr) {
    fail(std::string("cannot open: ") + std::strerror(errno));
  }
  std::uint64_t size = std::filesystem::file_size(path, error);
  if (error) {
    fail("cannot read its size: " + error.message());
  }
  try {
    parseHeader(size);
  } catch (...) {
    close();
    throw;
  }
  raw_.resize(kIoFrames * static_cast<std::size_t>(format_.bytesPerFrame()));
}

WavReader::~WavReader() {
  close();
}

void WavReader::close() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void WavReader::fail(const std::string& problem) const {
  throw WavError(name_ + ": " + problem);
}

void WavReader::parseHeader(std::uint64_t fileSize) {
  unsigned char riff[12];
  if (std::fread(riff, 1, sizeof riff, file_) != sizeof riff) {
    fail(fileSize == 0 ? "empty file, not a WAV file" : "truncated WAV file: no complete header");
  }
  if (std::memcmp(riff, "RF64", 4) == 0) {
    fail("unsupported WAV variant RF64");
  }
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
    fail("not a RIFF/WAVE file");
  }

  bool haveFormat = false;
  std::uint64_t position = sizeof riff;
  while (true) {
    unsigned char header[8];
    if (position + sizeof header > fileSize ||
        std::fread(header, 1, sizeof header, file_) != sizeof header) {
      fail(haveFormat ? "truncated or malformed WAV file: no data chunk"
                      : "truncated or malformed WAV file: no fmt chunk");
    }
    position += sizeof header;
    std::uint32_t size = le32(header + 4);
    std::uint64_t available = fileSize - position;

    if (std::memcmp(header, "fmt ", 4) == 0) {
      if (size < 16) {
        fail("malformed WAV file: fmt chunk of " + std::to_string(size) + " bytes");
      }
      if (size > available) {
        fail("truncated WAV file: the fmt chunk ends past the end of the file");
      }
      std::vector<unsigned char> fmt(size);
      if (std::fread(fmt.data(), 1, size, file_) != size) {
        fail("truncated WAV file: cannot read the fmt chunk");
      }
      position += size;
      if (size % 2 != 0 && position < fileSize) {
        std::fseek(file_, 1, SEEK_CUR);
        ++position;
      }
      std::uint16_t tag = le16(&fmt[0]);
      std::uint16_t channels = le16(&fmt[2]);
      std::uint32_t rate = le32(&fmt[4]);
      std::uint16_t blockAlign = le16(&fmt[12]);
      std::uint16_t bits = le16(&fmt[14]);
      if (tag == kFormatExtensible) {
        if (size < 40 || le16(&fmt[16]) < 22) {
          fail("malformed WAV file: extensible fmt chunk too short");
        }
        if (std::memcmp(&fmt[26], kSubFormatTail, sizeof kSubFormatTail) != 0) {
          fail("unsupported sample format: unknown extensible sub-format");
        }
        tag = le16(&fmt[24]);
      }
      if (channels == 0) {
        fail("malformed WAV file: 0 channels");
      }
      if (rate == 0) {
        fail("malformed WAV file: sample rate 0");
      }
      if (tag == kFormatPcm) {
        switch (bits) {
          case 16:
            format_.encoding = SampleEncoding::pcm16;
            break;
          case 24:
            format_.encoding = SampleEncoding::pcm24;
            break;
          case 32:
            format_.encoding = SampleEncoding::pcm32;
            break;
          default:
            fail("unsupported sample format: " + std::to_string(bits) +
                 "-bit PCM (16, 24 and 32-bit PCM and 32-bit float are supported)");
        }
      } else if (tag == kFormatFloat) {
        if (bits != 32) {
          fail("unsupported sample format: " + std::to_string(bits) +
               "-bit float (16, 24 and 32-bit PCM and 32-bit float are supported)");
        }
        format_.encoding = SampleEncoding::float32;
      } else {
        fail("unsupported sample format: " + formatTagName(tag) +
             " (16, 24 and 32-bit PCM and 32-bit float are supported)");
      }
      if (channels > 2) {
        fail("unsupported channel count " + std::to_string(channels) +
             " (mono and stereo are supported)");
      }
      format_.channels = channels;
      format_.sampleRate = rate;
      if (blockAlign != format_.bytesPerFrame()) {
        fail("malformed WAV file: block alignment " + std::to_string(blockAlign) + " for " +
             describe(format_));
      }
      haveFormat = true;
    } else if (std::memcmp(header, "data", 4) == 0) {
      if (!haveFormat) {
        fail("malformed WAV file: data chunk before the fmt chunk");
      }
      if (size > available) {
        fail("truncated WAV file: the data chunk declares " + std::to_string(size) +
             " bytes but only " + std::to_string(available) + " follow");
      }
      std::uint32_t frameBytes = static_cast<std::uint32_t>(format_.bytesPerFrame());
      if (size % frameBytes != 0) {
        fail("truncated WAV file: the data chunk of " + std::to_string(size) +
             " bytes ends inside a frame of " + std::to_string(frameBytes) + " bytes");
      }
      frameCount_ = size / frameBytes;
      return;
    } else {
      std::uint64_t skip = size + (size % 2);
      if (skip > available) {
        fail("truncated WAV file: a '" + std::string(reinterpret_cast<char*>(header), 4) +
             "' chunk ends past the end of the file");
      }
      // Chunks up to 4 GiB: seek in steps that fit a long on every platform.
      while (skip > 0) {
        long step = static_cast<long>(std::min<std::uint64_t>(skip, 0x40000000));
        if (std::fseek(file_, step, SEEK_CUR) != 0) {
          fail("cannot read: seek failed");
        }
        skip -= static_cast<std::uint64_t>(step);
        position += static_cast<std::uint64_t>(step);
      }
    }
  }
}

std::size_t WavReader::read(float* interleaved, std::size_t maxFrames) {
  std::size_t done = 0;
  const int channels = format_.channels;
  const std::size_t frameBytes = static_cast<std::size_t>(format_.bytesPerFrame());
  while (done < maxFrames && framesRead_ < frameCount_) {
    std::size_t frames = std::min<std::uint64_t>({maxFrames - done, kIoFrames, framesLeft()});
    if (file_ == nullptr || std::fread(raw_.data(), frameBytes, frames, file_) != frames) {
      fail("truncated WAV file: it ended while reading its samples");
    }
    const unsigned char* p = raw_.data();
    float* out = interleaved + done * static_cast<std::size_t>(channels);
    const std::size_t count = frames * static_cast<std::size_t>(channels);
    switch (format_.encoding) {
      case SampleEncoding::pcm16:
        for (std::size_t i = 0; i < count; ++i, p += 2) {
          out[i] = pcmToFloat(static_cast<std::int16_t>(le16(p)), 32768.0);
        }
        break;
      case SampleEncoding::pcm24:
        for (std::size_t i = 0; i < count; ++i, p += 3) {
          std::uint32_t u = static_cast<std::uint32_t>(p[0]) << 8 |
                            static_cast<std::uint32_t>(p[1]) << 16 |
                            static_cast<std::uint32_t>(p[2]) << 24;
          out[i] = pcmToFloat(static_cast<std::int32_t>(u) / 256, 8388608.0);
        }
        break;
      case SampleEncoding::pcm32:
        for (std::size_t i = 0; i < count; ++i, p += 4) {
          out[i] = pcmToFloat(static_cast<std::int32_t>(le32(p)), 2147483648.0);
        }
        break;
      case SampleEncoding::float32:
        for (std::size_t i = 0; i < count; ++i, p += 4) {
          std::uint32_t bits = le32(p);
          std::memcpy(&out[i], &bits, 4);
        }
        break;
    }
    done += frames;
    framesRead_ += frames;
  }
  return done;
}

// ---------------------------------------------------------------------------------------------
// Writer

WavWriter::WavWriter(std::FILE* file, const StreamFormat& format, std::string name)
    : file_(file), format_(format), name_(std::move(name)) {
  if (format_.channels < 1 || format_.channels > 2) {
    throw WavError(name_ + ": cannot write " + std::to_string(format_.channels) +
                   " channels (mono and stereo are supported)");
  }
  if (format_.sampleRate == 0) {
    throw WavError(name_ + ": cannot write a sample rate of 0");
  }
  raw_.resize(kIoFrames * static_cast<std::size_t>(format_.bytesPerFrame()));
  writeHeader(0);
}

// Plain PCM gets the classic 16-byte fmt chunk; float gets the 18-byte one (cbSize 0) and the
// fact chunk that non-PCM data calls for.
void WavWriter::writeHeader(std::uint32_t dataBytes) {
  const bool isFloat = format_.encoding == SampleEncoding::float32;
  const std::uint32_t fmtSize = isFloat ? 18 : 16;
  const std::uint32_t factSize = isFloat ? 12 : 0;
  const std::uint32_t headerSize = 12 + 8 + fmtSize + factSize + 8;
  unsigned char h[12 + 8 + 18 + 12 + 8] = {};
  unsigned char* p = h;
  std::copy_n("RIFF", 4, p);
  putLe32(p + 4, headerSize - 8 + dataBytes + (dataBytes % 2));
  std::copy_n("WAVE", 4, p + 8);
  p += 12;
  std::copy_n("fmt ", 4, p);
  putLe32(p + 4, fmtSize);
  putLe16(p + 8, isFloat ? kFormatFloat : kFormatPcm);
  putLe16(p + 10, static_cast<std::uint32_t>(format_.channels));
  putLe32(p + 12, format_.sampleRate);
  putLe32(p + 16, format_.sampleRate * static_cast<std::uint32_t>(format_.bytesPerFrame()));
  putLe16(p + 20, static_cast<std::uint32_t>(format_.bytesPerFrame()));
  putLe16(p + 22, static_cast<std::uint32_t>(format_.bytesPerSample() * 8));
  p += 8 + fmtSize;  // cbSize, when present, stays 0
  if (isFloat) {
    std::copy_n("fact", 4, p);
    putLe32(p + 4, 4);
    putLe32(p + 8, static_cast<std::uint32_t>(framesWritten_));
    p += factSize;
  }
  std::copy_n("data", 4, p);
  putLe32(p + 4, dataBytes);
  put(h, headerSize);
}

void WavWriter::put(const void* bytes, std::size_t size) {
  if (std::fwrite(bytes, 1, size, file_) != size) {
    throw WavError("cannot write " + name_ + ": " + std::strerror(errno));
  }
}

void WavWriter::write(const float* interleaved, std::size_t frames) {
  if (finished_) {
    throw WavError(name_ + ": write after finish");
  }
  const std::uint64_t limit = (0xFFFFFFFFull - 64) / static_cast<unsigned>(format_.bytesPerFrame());
  if (framesWritten_ + frames > limit) {
    throw WavError("cannot write " + name_ + ": a WAV file holds at most 4 GiB of samples");
  }
  const int channels = format_.channels;
  while (frames > 0) {
    std::size_t n = std::min(frames, kIoFrames);
    std::size_t count = n * static_cast<std::size_t>(channels);
    unsigned char* p = raw_.data();
    switch (format_.encoding) {
      case SampleEncoding::pcm16:
        for (std::size_t i = 0; i < count; ++i, p += 2) {
          putLe16(p, static_cast<std::uint32_t>(floatToPcm(interleaved[i], 32768.0)));
        }
        break;
      case SampleEncoding::pcm24:
        for (std::size_t i = 0; i < count; ++i, p += 3) {
          auto v = static_cast<std::uint32_t>(floatToPcm(interleaved[i], 8388608.0));
          p[0] = static_cast<unsigned char>(v);
          p[1] = static_cast<unsigned char>(v >> 8);
          p[2] = static_cast<unsigned char>(v >> 16);
        }
        break;
      case SampleEncoding::pcm32:
        for (std::size_t i = 0; i < count; ++i, p += 4) {
          putLe32(p, static_cast<std::uint32_t>(floatToPcm(interleaved[i], 2147483648.0)));
        }
        break;
      case SampleEncoding::float32:
        for (std::size_t i = 0; i < count; ++i, p += 4) {
          std::uint32_t bits;
          std::memcpy(&bits, &interleaved[i], 4);
          putLe32(p, bits);
        }
        break;
    }
    put(raw_.data(), static_cast<std::size_t>(p - raw_.data()));
    interleaved += count;
    frames -= n;
    framesWritten_ += n;
  }
}

void WavWriter::finish() {
  if (finished_) {
    return;
  }
  auto dataBytes =
      static_cast<std::uint32_t>(framesWritten_ * static_cast<unsigned>(format_.bytesPerFrame()));
  if (dataBytes % 2 != 0) {
    put("", 1);  // chunks are padded to an even size
  }
  if (std::fseek(file_, 0, SEEK_SET) != 0) {
    throw WavError("cannot write " + name_ + ": the stream cannot seek");
  }
  writeHeader(dataBytes);
  if (std::fseek(file_, 0, SEEK_END) != 0 || std::fflush(file_) != 0) {
    throw WavError("cannot write " + name_ + ": " + std::strerror(errno));
  }
  finished_ = true;
}

// ---------------------------------------------------------------------------------------------

AudioData readWavFile(const std::filesystem::path& path) {
  WavReader reader(path);
  AudioData audio;
  audio.format = reader.format();
  audio.samples.resize(reader.frameCount() * static_cast<std::size_t>(audio.format.channels));
  reader.read(audio.samples.data(), reader.frameCount());
  return audio;
}

void writeWavFile(const std::filesystem::path& path, const AudioData& audio) {
  plughost::AtomicOutputFile out(path);
  WavWriter writer(out.stream(), audio.format, quoted(path));
  writer.write(audio.samples.data(), audio.frames());
  writer.finish();
  out.commit();
}

}  // namespace wav
