// Writes the panel's bitmap resources: the sixteen small bitmaps from their pixel tables and,
// given the background rendered to PNG, the 24-bit background picture.
//
//   make_bitmaps OUTPUT_FOLDER [--background PANEL_PNG]
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/make_bitmaps/panel_bitmaps.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: make_bitmaps OUTPUT_FOLDER [--background PANEL_PNG]\n");
  return 2;
}

// Returns false (after saying why) when the picture does not fit the panel's layout; the file
// is not written then, so a faulty export never replaces a good one.
bool writeBackground(const std::filesystem::path& png, const std::filesystem::path& folder) {
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi_uc* rgba = stbi_load(png.string().c_str(), &width, &height, &channels, 4);
  if (rgba == nullptr) {
    std::fprintf(stderr, "make_bitmaps: cannot read %s: %s\n", png.string().c_str(),
                 stbi_failure_reason());
    return false;
  }
  const panel_bitmaps::Image background = panel_bitmaps::imageFromRgba(rgba, width, height);
  stbi_image_free(rgba);

  const auto problems = panel_bitmaps::backgroundProblems(background);
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "make_bitmaps: %s: %s\n", png.string().c_str(), problem.c_str());
  }
  if (!problems.empty()) {
    return false;
  }
  const std::filesystem::path path = folder / "bitfond.bmp";
  panel_bitmaps::writeFile(path, panel_bitmaps::encodeBmp(background, 24));
  std::printf("%s\n", path.string().c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    return usage();
  }
  if (argc == 4 && std::string_view(argv[2]) != "--background") {
    return usage();
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const auto& path : panel_bitmaps::writeSmallBitmaps(folder)) {
      std::printf("%s\n", path.string().c_str());
    }
    if (argc == 4 && !writeBackground(argv[3], folder)) {
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_bitmaps: %s\n", error.what());
    return 1;
  }
  return 0;
}
