// Writes the demo's dry signal (or a test input) as a WAV file: the plucked-string riff at a
// chosen length, rate, encoding and channel count.
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "tools/demo/riff_synth.h"
#include "tools/plughost/wav_file.h"

namespace {

int run(int argc, char** argv) {
  CLI::App app{"Writes a deterministic plucked-string riff as a WAV file", "demo-signal"};
  // Paths like /tmp/x.wav are file names, not Windows-style options, on every platform.
  app.allow_windows_style_options(false);
  std::string output;
  double seconds = 10.0;
  std::uint32_t rate = 44100;
  std::string encoding = "float";
  bool mono = false;
  app.add_option("OUT.wav", output, "the WAV file to write")->required();
  app.add_option("--seconds", seconds, "length in seconds")->check(CLI::Range(0.0, 3600.0));
  app.add_option("--rate", rate, "sample rate in Hz")->check(CLI::Range(1000u, 768000u));
  app.add_option("--format", encoding, "sample encoding")
      ->check(CLI::IsMember({"float", "pcm16", "pcm24", "pcm32"}));
  app.add_flag("--mono", mono, "left and right mixed to one channel");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  wav::AudioData audio;
  audio.format.sampleRate = rate;
  audio.format.encoding = encoding == "pcm16"   ? wav::SampleEncoding::pcm16
                          : encoding == "pcm24" ? wav::SampleEncoding::pcm24
                          : encoding == "pcm32" ? wav::SampleEncoding::pcm32
                                                : wav::SampleEncoding::float32;
  audio.samples = demo::synthesizeRiff(seconds, rate);
  if (mono) {
    audio.format.channels = 1;
    for (std::size_t i = 0; i < audio.samples.size() / 2; ++i) {
      audio.samples[i] = (audio.samples[2 * i] + audio.samples[2 * i + 1]) * 0.5f;
    }
    audio.samples.resize(audio.samples.size() / 2);
  }
  wav::writeWavFile(output, audio);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Setting up the command line can throw too, so the whole run is inside the handler.
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo-signal: error: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "demo-signal: error: unknown exception\n");
  }
  return 1;
}
