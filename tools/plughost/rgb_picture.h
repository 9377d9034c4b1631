// An editor's pixels as plughost reads them back: 8-bit red, green, blue, rows from the top.
#pragma once

#include <vector>

namespace plughost {

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

}  // namespace plughost
