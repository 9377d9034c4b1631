// The snapshot command's pointer script: what --press and --drag accept, the editor bounds, and
// the moves a drag is made of.
#include "tools/plughost/snapshot_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/plughost/test_files.h"
#include "tools/plughost/host_error.h"

namespace {

using namespace plughost;
using plughost_test::errorOf;

TEST(SnapshotScript, ReadsPressesAndDrags) {
  const PointerAction press = parsePressAction("55,30");
  EXPECT_EQ(press.kind, PointerActionKind::press);
  EXPECT_EQ(press.from, (EditorPoint{55, 30}));
  EXPECT_EQ(press.to, (EditorPoint{55, 30}));
  EXPECT_EQ(describeAction(press), "press 55,30");

  const PointerAction drag = parseDragAction("40,43:0,399");
  EXPECT_EQ(drag.kind, PointerActionKind::drag);
  EXPECT_EQ(drag.from, (EditorPoint{40, 43}));
  EXPECT_EQ(drag.to, (EditorPoint{0, 399}));
  EXPECT_EQ(drag.text, "40,43:0,399");
  EXPECT_EQ(describeAction(drag), "drag 40,43:0,399");
  // Leading zeros are still the same number; the description shows it plainly.
  EXPECT_EQ(describeAction(parsePressAction("007,08")), "press 7,8");
}

TEST(SnapshotScript, RefusesMalformedPoints) {
  for (const char* text : {"", "55", "55,", ",30", "55;30", "55,30,1", "-1,30", "+1,30", " 5,30",
                           "5 ,30", "5,30 ", "a,b", "5.5,30", "99999999999,1"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(
        errorOf([&] { parsePressAction(text); }),
        "bad --press '" + std::string(text) + "': expected X,Y (two whole numbers of pixels)");
  }
  for (const char* text :
       {"40,43", "40,43:", ":70,43", "40,43-70,43", "40,43:70,43:1,1", "40,43:70", "40:43,70:43"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(
        errorOf([&] { parseDragAction(text); }),
        "bad --drag '" + std::string(text) + "': expected X1,Y1:X2,Y2 (whole numbers of pixels)");
  }
}

TEST(SnapshotScript, BoundsAreTheEditorsPixels) {
  const std::vector<PointerAction> inside = {parsePressAction("0,0"), parsePressAction("269,399"),
                                             parseDragAction("269,0:0,399")};
  EXPECT_EQ(errorOf([&] { checkActionBounds(inside, 270, 400); }), "(no error)");

  struct Case {
    PointerAction action;
    const char* error;
  };
  const Case cases[] = {
      {parsePressAction("270,30"),
       "bad --press '270,30': x 270 is outside the editor's columns 0 to 269"},
      {parsePressAction("55,400"),
       "bad --press '55,400': y 400 is outside the editor's rows 0 to 399"},
      {parseDragAction("40,43:70,900"),
       "bad --drag '40,43:70,900': y 900 is outside the editor's rows 0 to 399"},
      {parseDragAction("300,43:70,43"),
       "bad --drag '300,43:70,43': x 300 is outside the editor's columns 0 to 269"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action.text);
    // The bad action is found wherever it stands in the script.
    std::vector<PointerAction> script = inside;
    script.insert(script.begin() + 1, c.action);
    EXPECT_EQ(errorOf([&] { checkActionBounds(script, 270, 400); }), c.error);
  }
}

TEST(SnapshotScript, DragMovesInSmallStepsAndEndsOnItsEndPoint) {
  struct Case {
    const char* drag;
    std::size_t moves;
  };
  const Case cases[] = {
      {"40,43:70,43", 8},  // 30 pixels: ceil(30 / 4)
      {"70,43:40,43", 8},  // backwards
      {"10,10:13,11", 4},  // short: still four moves
      {"55,30:55,30", 4},  // standing still
      {"0,0:269,399", 100}, {"218,30:229,57", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drag);
    const PointerAction drag = parseDragAction(c.drag);
    const std::vector<EditorPoint> path = dragPath(drag);
    ASSERT_EQ(path.size(), c.moves);
    EXPECT_EQ(path.back(), drag.to);
    EditorPoint previous = drag.from;
    for (const EditorPoint& p : path) {
      EXPECT_LE(std::abs(p.x - previous.x), kDragStepPixels);
      EXPECT_LE(std::abs(p.y - previous.y), kDragStepPixels);
      // On the segment: never beyond either end on either axis.
      EXPECT_GE(p.x, std::min(drag.from.x, drag.to.x));
      EXPECT_LE(p.x, std::max(drag.from.x, drag.to.x));
      EXPECT_GE(p.y, std::min(drag.from.y, drag.to.y));
      EXPECT_LE(p.y, std::max(drag.from.y, drag.to.y));
      previous = p;
    }
  }
  // A horizontal drag through a knob's centre passes over it: the path is not just its ends.
  const std::vector<EditorPoint> across = dragPath(parseDragAction("40,43:70,43"));
  EXPECT_EQ(across[3], (EditorPoint{55, 43}));
}

}  // namespace

namespace {

TEST(SnapshotScript, ReadsRightPresses) {
  const PointerAction right = parseRightPressAction("100,120");
  EXPECT_EQ(right.kind, PointerActionKind::rightPress);
  EXPECT_EQ(right.from, (EditorPoint{100, 120}));
  EXPECT_EQ(right.to, right.from);
  EXPECT_EQ(describeAction(right), "right-press 100,120");
  EXPECT_EQ(errorOf([] { parseRightPressAction("100"); }),
            "bad --right-press '100': expected X,Y (two whole numbers of pixels)");
  EXPECT_EQ(errorOf([] { checkActionBounds({parseRightPressAction("540,10")}, 540, 800); }),
            "bad --right-press '540,10': x 540 is outside the editor's columns 0 to 539");
}

// A drag written for 100 % and multiplied into a window at k00 % (each point at its block's
// centre) passes over the same panel pixels, in as many moves.
TEST(SnapshotScript, DragOnAGridVisitsThePanelPixelsOfTheUnzoomedDrag) {
  for (const char* text : {"40,43:70,43", "134,30:120,60", "218,30:240,55", "205,50:230,50",
                           "55,30:41,57", "10,10:13,11", "0,0:269,399", "55,30:55,30"}) {
    const PointerAction plain = parseDragAction(text);
    const std::vector<EditorPoint> plainPath = dragPath(plain);
    for (const int k : {2, 3}) {
      SCOPED_TRACE(std::string(text) + " at " + std::to_string(k * 100) + " %");
      auto zoomed = [k](EditorPoint p) { return EditorPoint{p.x * k + k / 2, p.y * k + k / 2}; };
      const PointerAction drag{PointerActionKind::drag, zoomed(plain.from), zoomed(plain.to), ""};
      const std::vector<EditorPoint> path = dragPath(drag, k);
      ASSERT_EQ(path.size(), plainPath.size());
      for (std::size_t i = 0; i < path.size(); ++i) {
        EXPECT_EQ(path[i], zoomed(plainPath[i])) << "move " << i;
      }
      // The grid-free path of the same window pixels would not: more, smaller moves.
      EXPECT_GE(dragPath(drag).size(), path.size());
    }
  }
  // Whatever the start's place in its block, the end is exactly the given point.
  const PointerAction offGrid{PointerActionKind::drag, {81, 87}, {140, 86}, ""};
  const std::vector<EditorPoint> path = dragPath(offGrid, 2);
  EXPECT_EQ(path.size(), 8u);
  EXPECT_EQ(path.front(), (EditorPoint{89, 87}));
  EXPECT_EQ(path.back(), (EditorPoint{140, 86}));
}

}  // namespace
