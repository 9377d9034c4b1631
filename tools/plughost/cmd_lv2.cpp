// plughost info and process for LV2 plug-ins, through lilv.
#include "tools/plughost/cmd_lv2.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>

#include <nlohmann/json.hpp>

#include "tools/plughost/host_error.h"
#include "tools/plughost/host_text.h"
#include "tools/plughost/lv2_host.h"
#include "tools/plughost/output_file.h"
#include "tools/plughost/wav_file.h"

namespace plughost {
namespace {

const char* kindName(Lv2PortKind kind) {
  switch (kind) {
    case Lv2PortKind::audioInput:
      return "audio in";
    case Lv2PortKind::audioOutput:
      return "audio out";
    case Lv2PortKind::controlInput:
      return "control in";
    case Lv2PortKind::controlOutput:
      return "control out";
    case Lv2PortKind::other:
      break;
  }
  return "other";
}

}  // namespace

int runLv2Info(const std::string& reference, bool json) {
  Lv2Plugin plugin(reference);
  const std::optional<Lv2Plugin::UiInfo> ui = plugin.x11Ui();
  if (json) {
    nlohmann::ordered_json report;
    report["format"] = "LV2";
    report["uri"] = plugin.uri();
    report["name"] = plugin.name();
    report["class"] = plugin.className();
    report["requiredFeatures"] = plugin.requiredFeatures();
    report["ports"] = nlohmann::json::array();
    for (const Lv2PortInfo& port : plugin.ports()) {
      nlohmann::ordered_json entry;
      entry["index"] = port.index;
      entry["kind"] = kindName(port.kind);
      entry["symbol"] = port.symbol;
      entry["name"] = port.name;
      if (port.kind == Lv2PortKind::controlInput) {
        entry["minimum"] = port.minimum;
        entry["maximum"] = port.maximum;
        entry["default"] = port.defaultValue;
      }
      report["ports"].push_back(entry);
    }
    report["x11Ui"] = ui ? nlohmann::ordered_json(ui->uri) : nlohmann::ordered_json();
    std::cout << report.dump(2) << '\n';
    return 0;
  }
  std::cout << "LV2 plug-in " << plugin.uri() << '\n';
  auto row = [](const char* key, const std::string& value) {
    std::cout << "  " << std::left << std::setw(18) << key << value << '\n';
  };
  row("name", plugin.name());
  row("class", plugin.className());
  std::string features;
  for (const std::string& feature : plugin.requiredFeatures()) {
    features += (features.empty() ? "" : ", ") + feature;
  }
  row("required features", features.empty() ? "none" : features);
  row("X11 UI", ui ? ui->uri : "none");
  std::cout << "  ports:\n";
  for (const Lv2PortInfo& port : plugin.ports()) {
    std::cout << "    " << std::right << std::setw(2) << port.index << "  " << std::left
              << std::setw(12) << kindName(port.kind) << std::setw(12) << port.symbol
              << std::setw(12) << port.name;
    if (port.kind == Lv2PortKind::controlInput) {
      std::cout << shortestFloatText(port.minimum) << " .. " << shortestFloatText(port.maximum)
                << ", default " << shortestFloatText(port.defaultValue);
    }
    std::cout << '\n';
  }
  return 0;
}

int runLv2Process(const Lv2ProcessOptions& o) {
  Lv2Plugin plugin(o.plugin);
  for (const std::string& text : o.parameters) {
    const auto [control, value] = plugin.parseControlAssignment(text);
    plugin.controls()[control] = value;
  }
  const std::size_t inputCount = plugin.portsOf(Lv2PortKind::audioInput).size();
  const std::size_t outputCount = plugin.portsOf(Lv2PortKind::audioOutput).size();
  if (outputCount < 1) {
    throw HostError("the plug-in has no audio outputs");
  }

  wav::WavReader reader(o.input);
  const wav::StreamFormat& in = reader.format();
  const std::uint32_t rate = o.rate.value_or(in.sampleRate);
  const auto channels = static_cast<std::size_t>(in.channels);
  if (channels > 1 && inputCount < channels) {
    throw HostError("'" + o.input + "' has " + std::to_string(channels) +
                    " channels but the plug-in takes " + std::to_string(inputCount) + " inputs");
  }
  const auto block = static_cast<std::size_t>(o.block);
  plugin.instantiate(rate, static_cast<std::uint32_t>(block));

  wav::StreamFormat outFormat;
  outFormat.encoding = o.pcm16   ? wav::SampleEncoding::pcm16
                       : o.pcm24 ? wav::SampleEncoding::pcm24
                                 : wav::SampleEncoding::float32;
  outFormat.channels = outputCount >= 2 ? 2 : 1;
  outFormat.sampleRate = rate;
  const auto outChannels = static_cast<std::size_t>(outFormat.channels);
  AtomicOutputFile outFile(o.output);
  wav::WavWriter writer(outFile.stream(), outFormat, "'" + o.output + "'");

  std::vector<float> interleavedIn(block * channels);
  std::vector<float> interleavedOut(block * outChannels);
  std::vector<std::vector<float>> inputs(inputCount, std::vector<float>(block));
  std::vector<std::vector<float>> outputs(outputCount, std::vector<float>(block));
  std::vector<const float*> inputPointers;
  std::vector<float*> outputPointers;
  inputPointers.reserve(inputCount);
  outputPointers.reserve(outputCount);
  for (auto& buffer : inputs) {
    inputPointers.push_back(buffer.data());
  }
  for (auto& buffer : outputs) {
    outputPointers.push_back(buffer.data());
  }

  std::uint64_t done = 0;
  const auto started = std::chrono::steady_clock::now();
  while (std::size_t frames = reader.read(interleavedIn.data(), block)) {
    // A mono file feeds every input, as the VST 2 side does.
    for (std::size_t c = 0; c < inputCount; ++c) {
      for (std::size_t i = 0; i < frames; ++i) {
        inputs[c][i] = channels == 1 || c < channels
                           ? interleavedIn[i * channels + (channels == 1 ? 0 : c)]
                           : 0.0f;
      }
    }
    plugin.run(inputPointers, outputPointers, static_cast<std::uint32_t>(frames));
    for (std::size_t c = 0; c < outChannels; ++c) {
      for (std::size_t i = 0; i < frames; ++i) {
        interleavedOut[i * outChannels + c] = outputs[c][i];
      }
    }
    writer.write(interleavedOut.data(), frames);
    done += frames;
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  reader.close();
  writer.finish();
  outFile.commit();
  const double audioSeconds = static_cast<double>(done) / static_cast<double>(rate);
  std::printf(
      "wrote %s: %llu frames, %.3f s of audio at %u Hz, processed in %.3f s (%.1fx real "
      "time)\n",
      o.output.c_str(), static_cast<unsigned long long>(done), audioSeconds, rate, elapsed,
      elapsed > 0.0 ? audioSeconds / elapsed : 0.0);
  return 0;
}

}  // namespace plughost
