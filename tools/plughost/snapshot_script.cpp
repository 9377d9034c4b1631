#include "tools/plughost/snapshot_script.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "tools/plughost/host_error.h"

namespace plughost {
namespace {

const char* optionName(PointerActionKind kind) {
  switch (kind) {
    case PointerActionKind::press:
      return "--press";
    case PointerActionKind::rightPress:
      return "--right-press";
    case PointerActionKind::drag:
      break;
  }
  return "--drag";
}

// The block a coordinate lies in; script coordinates are never negative.
int blockOf(int coordinate, int grid) {
  return coordinate / grid;
}

HostError badAction(PointerActionKind kind, const std::string& text, const std::string& problem) {
  std::string message = "bad ";
  message += optionName(kind);
  message += " '" + text + "': " + problem;
  return HostError(message);
}

// "X,Y" with plain decimal digits: no sign, no spaces, nothing after.
bool parsePoint(const std::string& text, EditorPoint& point) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) {
    return false;
  }
  auto number = [](const char* first, const char* last, int& value) {
    if (first == last || *first < '0' || *first > '9') {
      return false;
    }
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
  };
  const char* begin = text.data();
  return number(begin, begin + comma, point.x) &&
         number(begin + comma + 1, begin + text.size(), point.y);
}

}  // namespace

namespace {

PointerAction parsePointAction(PointerActionKind kind, const std::string& text) {
  EditorPoint point{};
  if (!parsePoint(text, point)) {
    throw badAction(kind, text, "expected X,Y (two whole numbers of pixels)");
  }
  return {kind, point, point, text};
}

}  // namespace

PointerAction parsePressAction(const std::string& text) {
  return parsePointAction(PointerActionKind::press, text);
}

PointerAction parseRightPressAction(const std::string& text) {
  return parsePointAction(PointerActionKind::rightPress, text);
}

PointerAction parseDragAction(const std::string& text) {
  const std::size_t colon = text.find(':');
  EditorPoint from{};
  EditorPoint to{};
  if (colon == std::string::npos || !parsePoint(text.substr(0, colon), from) ||
      !parsePoint(text.substr(colon + 1), to)) {
    throw badAction(PointerActionKind::drag, text,
                    "expected X1,Y1:X2,Y2 (whole numbers of pixels)");
  }
  return {PointerActionKind::drag, from, to, text};
}

void checkActionBounds(const std::vector<PointerAction>& actions, int width, int height) {
  for (const PointerAction& action : actions) {
    for (const EditorPoint& p : {action.from, action.to}) {
      if (p.x >= width) {
        throw badAction(action.kind, action.text,
                        "x " + std::to_string(p.x) + " is outside the editor's columns 0 to " +
                            std::to_string(width - 1));
      }
      if (p.y >= height) {
        throw badAction(action.kind, action.text,
                        "y " + std::to_string(p.y) + " is outside the editor's rows 0 to " +
                            std::to_string(height - 1));
      }
    }
  }
}

std::vector<EditorPoint> dragPath(const PointerAction& drag, int grid) {
  grid = std::max(grid, 1);
  const EditorPoint from{blockOf(drag.from.x, grid), blockOf(drag.from.y, grid)};
  const EditorPoint inBlock{drag.from.x - from.x * grid, drag.from.y - from.y * grid};
  const int dx = blockOf(drag.to.x, grid) - from.x;
  const int dy = blockOf(drag.to.y, grid) - from.y;
  const int longer = std::max(std::abs(dx), std::abs(dy));
  const int moves = std::max(kMinDragMoves, (longer + kDragStepPixels - 1) / kDragStepPixels);
  std::vector<EditorPoint> path;
  path.reserve(static_cast<std::size_t>(moves));
  for (int i = 1; i < moves; ++i) {
    const double t = static_cast<double>(i) / moves;
    path.push_back({(from.x + static_cast<int>(std::lround(dx * t))) * grid + inBlock.x,
                    (from.y + static_cast<int>(std::lround(dy * t))) * grid + inBlock.y});
  }
  path.push_back(drag.to);
  return path;
}

std::string describeAction(const PointerAction& action) {
  auto point = [](EditorPoint p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
  if (action.kind == PointerActionKind::press) {
    return "press " + point(action.from);
  }
  if (action.kind == PointerActionKind::rightPress) {
    return "right-press " + point(action.from);
  }
  return "drag " + point(action.from) + ":" + point(action.to);
}

}  // namespace plughost
