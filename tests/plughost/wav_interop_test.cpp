// The WAV module against independent implementations: sox (every encoding) and Python's wave
// module (PCM) read what it writes, and it reads what sox writes, sample for sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "test_files.h"
#include "tools/plughost/wav_file.h"

#ifndef _WIN32

namespace {

using plughost_test::readBytes;
using plughost_test::scratchDir;
using wav::SampleEncoding;

bool haveTool(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command and returns its standard output; fails the test on a non-zero status.
std::string run(const std::string& command) {
  std::string output;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return output;
  }
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
    output.append(buffer, n);
  }
  int status = pclose(pipe);
  EXPECT_EQ(status, 0) << command;
  return output;
}

// The samples of a file as sox decodes them, as 32-bit floats.
std::vector<float> soxSamples(const std::filesystem::path& path) {
  std::string raw =
      run("sox -D '" + path.string() + "' -t raw -e floating-point -b 32 -L - 2>/dev/null");
  std::vector<float> samples(raw.size() / 4);
  std::memcpy(samples.data(), raw.data(), samples.size() * 4);
  return samples;
}

std::vector<float> testSignal(int channels, std::size_t frames) {
  std::vector<float> samples;
  for (std::size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      samples.push_back(
          static_cast<float>(0.8 * std::sin(0.01 * static_cast<double>(i) * (c + 1))));
    }
  }
  samples[0] = 1.0f;  // full scale, clamped on PCM
  return samples;
}

// sox carries samples as 32-bit integers and converts with float arithmetic of its own, so
// 32-bit data comes back within a few units of 2^-31 .. 2^-24 rather than bit for bit; 16 and
// 24-bit data come back exactly.
void expectSameSamples(const std::vector<float>& ours, const std::vector<float>& sox,
                       SampleEncoding encoding) {
  ASSERT_EQ(ours.size(), sox.size());
  const bool exact = encoding == SampleEncoding::pcm16 || encoding == SampleEncoding::pcm24;
  for (std::size_t i = 0; i < ours.size(); ++i) {
    if (exact) {
      ASSERT_EQ(ours[i], sox[i]) << "sample " << i;
    } else {
      ASSERT_NEAR(ours[i], sox[i], 2e-7) << "sample " << i;
    }
  }
}

class WavInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveTool("sox") || !haveTool("soxi")) {
      GTEST_SKIP() << "sox is not installed";
    }
  }
};

TEST_F(WavInterop, SoxReadsWhatWeWrite) {
  struct Case {
    SampleEncoding encoding;
    int channels;
    const char* soxEncoding;
  };
  const Case cases[] = {
      {SampleEncoding::pcm16, 1, "Signed Integer PCM"},
      {SampleEncoding::pcm16, 2, "Signed Integer PCM"},
      {SampleEncoding::pcm24, 2, "Signed Integer PCM"},
      {SampleEncoding::pcm32, 1, "Signed Integer PCM"},
      {SampleEncoding::float32, 1, "Floating Point PCM"},
      {SampleEncoding::float32, 2, "Floating Point PCM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(wav::describe({c.encoding, c.channels, 32000}));
    auto path = scratchDir() / "ours.wav";
    wav::writeWavFile(path, {{c.encoding, c.channels, 32000}, testSignal(c.channels, 999)});
    const std::string quoted = "'" + path.string() + "'";
    EXPECT_EQ(run("soxi -c " + quoted), std::to_string(c.channels) + "\n");
    EXPECT_EQ(run("soxi -r " + quoted), "32000\n");
    EXPECT_EQ(run("soxi -s " + quoted), "999\n");
    EXPECT_EQ(run("soxi -b " + quoted),
              std::to_string(wav::StreamFormat{c.encoding, 1, 1}.bytesPerSample() * 8) + "\n");
    EXPECT_NE(run("soxi -e " + quoted).find(c.soxEncoding), std::string::npos);
    // What sox decodes is exactly what our reader decodes.
    expectSameSamples(wav::readWavFile(path).samples, soxSamples(path), c.encoding);
  }
}

TEST_F(WavInterop, PythonWaveReadsOurPcm) {
  if (!haveTool("python3")) {
    GTEST_SKIP() << "python3 is not installed";
  }
  for (SampleEncoding encoding :
       {SampleEncoding::pcm16, SampleEncoding::pcm24, SampleEncoding::pcm32}) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE(wav::describe({encoding, channels, 22050}));
      auto dir = scratchDir();
      wav::writeWavFile(dir / "ours.wav", {{encoding, channels, 22050}, testSignal(channels, 501)});
      std::string out =
          run("python3 -c 'import sys, wave\n"
              "w = wave.open(sys.argv[1])\n"
              "print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())\n"
              "open(sys.argv[2], \"wb\").write(w.readframes(w.getnframes()))' '" +
              (dir / "ours.wav").string() + "' '" + (dir / "frames.raw").string() + "'");
      const int width = wav::StreamFormat{encoding, 1, 1}.bytesPerSample();
      EXPECT_EQ(out, std::to_string(channels) + " " + std::to_string(width) + " 22050 501\n");
      // Python's frames are our data chunk, after the 44-byte canonical PCM header.
      std::string file = readBytes(dir / "ours.wav");
      std::string frames = readBytes(dir / "frames.raw");
      EXPECT_EQ(frames.size(), 501u * static_cast<unsigned>(channels * width));
      EXPECT_EQ(file.compare(44, frames.size(), frames), 0);
    }
  }
}

TEST_F(WavInterop, WeReadWhatSoxWrites) {
  struct Case {
    const char* soxFormat;
    SampleEncoding encoding;
    int channels;
  };
  const Case cases[] = {
      {"-b 16 -e signed-integer -c 1", SampleEncoding::pcm16, 1},
      {"-b 16 -e signed-integer -c 2", SampleEncoding::pcm16, 2},
      {"-b 24 -e signed-integer -c 2", SampleEncoding::pcm24, 2},
      {"-b 32 -e signed-integer -c 1", SampleEncoding::pcm32, 1},
      {"-b 32 -e floating-point -c 2", SampleEncoding::float32, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.soxFormat);
    auto path = scratchDir() / "sox.wav";
    run(std::string("sox -D -n -r 48000 ") + c.soxFormat + " '" + path.string() +
        "' synth 0.05 sine 440 sine 660 vol 0.9 2>/dev/null");
    wav::AudioData audio = wav::readWavFile(path);
    EXPECT_EQ(audio.format, (wav::StreamFormat{c.encoding, c.channels, 48000}));
    EXPECT_EQ(audio.frames(), 2400u);
    expectSameSamples(audio.samples, soxSamples(path), c.encoding);
  }
}

}  // namespace

#endif
