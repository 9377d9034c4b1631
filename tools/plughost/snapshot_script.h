// The pointer script of `plughost snapshot`: "--press X,Y" and "--drag X1,Y1:X2,Y2" in the
// order given, in the editor's own pixel coordinates. Parsing and the geometry of a drag are
// portable; performing them needs a window (cmd_snapshot.cpp).
#pragma once

#include <string>
#include <vector>

namespace plughost {

struct EditorPoint {
  int x;
  int y;
  friend bool operator==(const EditorPoint&, const EditorPoint&) = default;
};

enum class PointerActionKind { press, drag };

struct PointerAction {
  PointerActionKind kind;
  EditorPoint from;
  EditorPoint to;    // equal to from for a press
  std::string text;  // as given, for messages
};

// Throw HostError ("bad --press '...': ...") for anything but non-negative integers in the
// forms above. Whether the points lie on the editor is checked once its size is known.
PointerAction parsePressAction(const std::string& text);
PointerAction parseDragAction(const std::string& text);

// Throws HostError naming the option and the coordinate when a point lies outside
// 0..width-1 x 0..height-1.
void checkActionBounds(const std::vector<PointerAction>& actions, int width, int height);

// The pointer positions of a drag after the press, ending exactly on its end point: at most
// kDragStepPixels apart on the longer axis, and never fewer than kMinDragMoves, so that even a
// short drag is seen moving.
inline constexpr int kDragStepPixels = 4;
inline constexpr int kMinDragMoves = 4;
std::vector<EditorPoint> dragPath(const PointerAction& drag);

// "press 55,30" or "drag 40,43:70,43", as the action is reported.
std::string describeAction(const PointerAction& action);

}  // namespace plughost
