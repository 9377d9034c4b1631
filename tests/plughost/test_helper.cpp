// Helper for plughost's end-to-end tests, built for the same platform as plughost:
//   plughost_test_helper reference IN.wav OUT.wav [--program N] [--param I=V]...
//       runs the drive effect's own code in this process, the whole file as one block (cut
//       only where a change "--param I=V@F" falls), and writes what plughost must produce
//       through the plug-in library, whatever its blocks;
//   plughost_test_helper bad-wavs DIR
//       writes the malformed and unsupported WAV files that plughost must refuse.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "effect/drive_effect.h"
#include "tools/plughost/parameter_assignment.h"
#include "tools/plughost/wav_file.h"

namespace {

using namespace std::string_literals;

VstIntPtr hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

int renderReference(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: reference IN.wav OUT.wav [--program N] [--param I=V]...\n");
    return 2;
  }
  wav::AudioData in = wav::readWavFile(argv[2]);
  DriveEffect effect(hostCallback);
  effect.setSampleRate(static_cast<float>(in.format.sampleRate));
  std::vector<plughost::ParameterAssignment> timed;
  for (int i = 4; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--program") == 0) {
      effect.setProgram(std::stoi(argv[i + 1]));
    } else if (std::strcmp(argv[i], "--param") == 0) {
      auto a = plughost::parseParameterAssignment(argv[i + 1]);
      if (a.frame) {
        timed.push_back(a);
      } else {
        effect.setParameter(a.index, a.value);
      }
    }
  }
  std::stable_sort(timed.begin(), timed.end(),
                   [](const auto& x, const auto& y) { return *x.frame < *y.frame; });
  const std::size_t frames = in.frames();
  const int channels = in.format.channels;
  std::vector<float> left(frames), right(frames), outLeft(frames), outRight(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    left[i] = in.samples[i * static_cast<std::size_t>(channels)];
    right[i] = in.samples[i * static_cast<std::size_t>(channels) + (channels == 2 ? 1 : 0)];
  }
  std::size_t start = 0;
  auto next = timed.begin();
  while (start < frames) {
    for (; next != timed.end() && *next->frame <= start; ++next) {
      effect.setParameter(next->index, next->value);
    }
    const std::size_t end = next != timed.end() && *next->frame < frames
                                ? static_cast<std::size_t>(*next->frame)
                                : frames;
    float* inputs[2] = {left.data() + start, right.data() + start};
    float* outputs[2] = {outLeft.data() + start, outRight.data() + start};
    effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(end - start));
    start = end;
  }

  wav::AudioData out;
  out.format = {wav::SampleEncoding::float32, 2, in.format.sampleRate};
  out.samples.resize(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    out.samples[2 * i] = outLeft[i];
    out.samples[2 * i + 1] = outRight[i];
  }
  wav::writeWavFile(argv[3], out);
  return 0;
}

void put16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, unsigned v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// A RIFF/WAVE file with a 16-byte fmt chunk and a data chunk of dataBytes declared bytes, of
// which only storedBytes are present.
std::string wavBytes(unsigned tag, unsigned channels, unsigned bits, unsigned dataBytes,
                     unsigned storedBytes) {
  std::string s = "RIFF";
  put32(s, 36 + dataBytes);
  s += "WAVEfmt ";
  put32(s, 16);
  put16(s, tag);
  put16(s, channels);
  put32(s, 44100);
  put32(s, 44100 * channels * bits / 8);
  put16(s, channels * bits / 8);
  put16(s, bits);
  s += "data";
  put32(s, dataBytes);
  s.append(storedBytes, '\x10');
  return s;
}

int writeBadWavs(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bad-wavs DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[2];
  std::filesystem::create_directories(dir);
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"truncated.wav", wavBytes(3, 2, 32, 8000, 1000)},
      {"malformed.wav", "RIFF\x10\0\0\0AVI LIST\0\0\0\0"s},
      {"pcm8.wav", wavBytes(1, 2, 8, 400, 400)},
      {"float64.wav", wavBytes(3, 2, 64, 1600, 1600)},
      {"adpcm.wav", wavBytes(2, 2, 4, 400, 400)},
      {"three_channels.wav", wavBytes(1, 3, 16, 600, 600)},
  };
  for (const auto& f : files) {
    std::FILE* out = std::fopen((dir / f.name).string().c_str(), "wb");
    if (out == nullptr || std::fwrite(f.bytes.data(), 1, f.bytes.size(), out) != f.bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", f.name);
      return 1;
    }
    std::fclose(out);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc >= 2 && std::strcmp(argv[1], "reference") == 0) {
      return renderReference(argc, argv);
    }
    if (argc >= 2 && std::strcmp(argv[1], "bad-wavs") == 0) {
      return writeBadWavs(argc, argv);
    }
    std::fprintf(stderr, "usage: plughost_test_helper reference|bad-wavs ...\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plughost_test_helper: %s\n", e.what());
    return 1;
  }
}
