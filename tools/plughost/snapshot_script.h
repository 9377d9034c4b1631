// The pointer script of `plughost snapshot`: "--press X,Y", "--right-press X,Y" and
// "--drag X1,Y1:X2,Y2" in the order given, in the pixels of the editor's window (a zoomed editor's
// window pixels, not its panel's). Parsing and the geometry of a drag are portable; performing
// them needs a window (cmd_snapshot.cpp).
#pragma once

#include <string>
#include <vector>

namespace plughost {

struct EditorPoint {
  int x;
  int y;
  friend bool operator==(const EditorPoint&, const EditorPoint&) = default;
};

// A press and a drag are made with the left button; a right press presses and releases the
// right one.
enum class PointerActionKind { press, drag, rightPress };

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
PointerAction parseRightPressAction(const std::string& text);

// Throws HostError naming the option and the coordinate when a point lies outside
// 0..width-1 x 0..height-1.
void checkActionBounds(const std::vector<PointerAction>& actions, int width, int height);

// The pointer positions of a drag after the press, ending exactly on its end point: at most
// kDragStepPixels apart on the longer axis, and never fewer than kMinDragMoves, so that even a
// short drag is seen moving.
//
// A grid of k makes the pixels k x k blocks, as over a panel shown at k times its size: the
// steps are counted and rounded in whole blocks and each position keeps the start's place in
// its block. So a script written for a panel at 100 % and multiplied into a window at k00 %
// (x * k + k / 2) passes over the same panel pixels in the same number of moves; a grid of 1 is
// the plain path.
inline constexpr int kDragStepPixels = 4;
inline constexpr int kMinDragMoves = 4;
std::vector<EditorPoint> dragPath(const PointerAction& drag, int grid = 1);

// "press 55,30", "right-press 55,30" or "drag 40,43:70,43", as the action is reported.
std::string describeAction(const PointerAction& action);

}  // namespace plughost
