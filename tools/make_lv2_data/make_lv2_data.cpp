// Writes the LV2 bundle's data files, manifest.ttl and the plug-in's own, from the parameter
// table and the URIs the plug-in binaries are built with, so the two cannot disagree.
//   make_lv2_data BUNDLE_DIRECTORY
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <string>

#include "effect/drive_parameters.h"
#include "host/lv2/lv2_bundle.h"

namespace {

const char* const kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// Shortest text that reads back as the same float: the data must hold the table's values.
std::string floatText(float value) {
  for (int digits = 1; digits <= 9; ++digits) {
    std::ostringstream text;
    text << std::setprecision(digits) << std::fixed << value;
    if (std::stof(text.str()) == value) {
      return text.str();
    }
  }
  std::ostringstream text;
  text << std::setprecision(9) << value;
  return text.str();
}

std::string manifest() {
  std::ostringstream out;
  out << kPrefixes;
  out << '<' << kLv2PluginUri << ">\n"
      << "    a lv2:Plugin ;\n"
      << "    lv2:binary <" << kLv2DspBinary << "> ;\n"
      << "    rdfs:seeAlso <" << kLv2DataFile << "> .\n\n";
  out << '<' << kLv2UiUri << ">\n"
      << "    a ui:X11UI ;\n"
      << "    ui:binary <" << kLv2UiBinary << "> ;\n"
      << "    rdfs:seeAlso <" << kLv2DataFile << "> .\n";
  return out.str();
}

void audioPort(std::ostream& out, Lv2Port index, const char* direction, const char* symbol,
               const char* name) {
  out << "        a lv2:" << direction << "Port, lv2:AudioPort ;\n"
      << "        lv2:index " << index << " ;\n"
      << "        lv2:symbol \"" << symbol << "\" ;\n"
      << "        lv2:name \"" << name << "\"\n";
}

// The panel's zoom, last: an integer choice among the offered zooms, or 0 to follow the host,
// which no host shows among the controls or automates, and which a host may leave unconnected.
void zoomPort(std::ostream& out) {
  out << "    ] , [\n"
      << "        a lv2:InputPort, lv2:ControlPort ;\n"
      << "        lv2:index " << kLv2PortZoom << " ;\n"
      << "        lv2:symbol \"" << kLv2ZoomSymbol << "\" ;\n"
      << "        lv2:name \"" << kLv2ZoomName << "\" ;\n"
      << "        lv2:default " << kLv2ZoomFollowHost << " ;\n"
      << "        lv2:minimum " << kLv2ZoomFollowHost << " ;\n"
      << "        lv2:maximum " << kLv2Zooms[std::size(kLv2Zooms) - 1] << " ;\n"
      << "        lv2:portProperty lv2:integer, lv2:enumeration, lv2:connectionOptional, "
         "pprops:notOnGUI, pprops:notAutomatic ;\n"
      << "        lv2:scalePoint [ rdfs:label \"Follow the host\" ; rdf:value "
      << kLv2ZoomFollowHost << " ]";
  for (const std::int32_t zoom : kLv2Zooms) {
    out << " ,\n            [ rdfs:label \"" << zoom << " %\" ; rdf:value " << zoom << " ]";
  }
  out << '\n';
}

std::string pluginData() {
  std::ostringstream out;
  out << kPrefixes;
  out << '<' << kLv2PluginUri << ">\n"
      << "    a lv2:Plugin, lv2:DistortionPlugin ;\n"
      << "    doap:name \"DriveEffect\" ;\n"
      << "    doap:license <http://opensource.org/licenses/MIT> ;\n"
      << "    rdfs:comment \"A stereo three-band drive: three fixed resonant bands per channel, "
         "each bent by a soft clipper, mixed with the drive amounts as weights.\" ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
      << "    ui:ui <" << kLv2UiUri << "> ;\n"
      << "    lv2:port [\n";
  audioPort(out, kLv2PortInLeft, "Input", "in_left", "In Left");
  out << "    ] , [\n";
  audioPort(out, kLv2PortInRight, "Input", "in_right", "In Right");
  out << "    ] , [\n";
  audioPort(out, kLv2PortOutLeft, "Output", "out_left", "Out Left");
  out << "    ] , [\n";
  audioPort(out, kLv2PortOutRight, "Output", "out_right", "Out Right");
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    const DriveParameterInfo& p = kDriveParameters[i];
    out << "    ] , [\n"
        << "        a lv2:InputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << kLv2PortFirstControl + static_cast<std::uint32_t>(i) << " ;\n"
        << "        lv2:symbol \"" << p.symbol << "\" ;\n"
        << "        lv2:name \"" << p.panelLabel << "\" ;\n"
        << "        lv2:default " << floatText(p.defaultValue) << " ;\n"
        << "        lv2:minimum " << floatText(kDriveParameterMinimum) << " ;\n"
        << "        lv2:maximum " << floatText(kDriveParameterMaximum) << "\n";
  }
  zoomPort(out);
  out << "    ] .\n\n";
  // The panel needs the host's window to live in and the host's idle calls to handle its
  // events. It asks the host for each size it takes where the host can be told, and opens at the
  // host's scale factor where the host gives one (an option, whose key and type need the URID
  // map), now or later through the options interface.
  out << '<' << kLv2UiUri << ">\n"
      << "    a ui:X11UI ;\n"
      << "    lv2:requiredFeature ui:parent, ui:idleInterface ;\n"
      << "    lv2:optionalFeature ui:resize, ui:noUserResize, opts:options, urid:map ;\n"
      << "    opts:supportedOption ui:scaleFactor ;\n"
      << "    lv2:extensionData ui:idleInterface, opts:interface .\n";
  return out.str();
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    std::fprintf(stderr, "make_lv2_data: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_lv2_data BUNDLE_DIRECTORY\n");
    return 2;
  }
  const std::string bundle = std::string(argv[1]) + "/";
  const bool ok = writeFile(bundle + "manifest.ttl", manifest()) &&
                  writeFile(bundle + kLv2DataFile, pluginData());
  return ok ? 0 : 1;
}
