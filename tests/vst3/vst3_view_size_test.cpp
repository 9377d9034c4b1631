// The editor view's size as a host asks for it before any window exists: the host's content
// scale, the sizes a dragged window is held to, and the zoom the user chose, kept in the
// controller's own state (after the component's, which stays as it was).
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "host/vst3/vst3_ids.h"
#include "host/vst3/vst3_state.h"
#include "tests/vst3/vst3_test_host.h"

using vst3test::create;
using vst3test::MemoryStream;
using vst3test::Ref;

namespace {

using Bytes = std::vector<unsigned char>;

struct Size {
  Steinberg_int32 width;
  Steinberg_int32 height;
  friend bool operator==(const Size&, const Size&) = default;
};

void PrintTo(const Size& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}

Size sizeOf(const Ref<Steinberg_IPlugView>& view) {
  Steinberg_ViewRect rect{-1, -1, -1, -1};
  EXPECT_EQ(view.vtbl()->getSize(view.get(), &rect), Steinberg_kResultOk);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The host's content scale, through the view's own interface for it.
void scale(const Ref<Steinberg_IPlugView>& view, float factor) {
  const Ref<Steinberg_IPlugViewContentScaleSupport> support =
      view.query<Steinberg_IPlugViewContentScaleSupport>(
          Steinberg_IPlugViewContentScaleSupport_iid);
  ASSERT_TRUE(support);
  EXPECT_EQ(support.vtbl()->setContentScaleFactor(support.get(), factor), Steinberg_kResultTrue);
}

// The trailer as the controller writes it: magic, version, zoom; each little-endian.
Bytes trailer(const char (&magic)[5], std::uint32_t version, std::uint32_t zoom) {
  Bytes bytes(magic, magic + 4);
  for (const std::uint32_t word : {version, zoom}) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<unsigned char>(word >> shift));
    }
  }
  return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Controller {
  Controller()
      : edit(create<Steinberg_Vst_IEditController>(vst3::kControllerClassId,
                                                   Steinberg_Vst_IEditController_iid)) {
    if (edit) {
      edit.vtbl()->initialize(edit.get(), nullptr);
    }
  }
  ~Controller() {
    if (edit) {
      edit.vtbl()->terminate(edit.get());
    }
  }
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  Bytes state() {
    MemoryStream stream;
    EXPECT_EQ(edit.vtbl()->getState(edit.get(), stream.stream()), Steinberg_kResultOk);
    return stream.data;
  }
  Steinberg_tresult setState(const Bytes& bytes) {
    MemoryStream stream(bytes);
    return edit.vtbl()->setState(edit.get(), stream.stream());
  }
  Steinberg_tresult setComponentState(const Bytes& bytes) {
    MemoryStream stream(bytes);
    return edit.vtbl()->setComponentState(edit.get(), stream.stream());
  }
  // The zoom its state keeps, as the trailer says.
  std::uint32_t savedZoom() {
    const Bytes saved = state();
    EXPECT_EQ(saved.size(), vst3::kStateSize + vst3::kZoomTrailerSize);
    const Bytes end(saved.end() - 4, saved.end());
    return end[0] | end[1] << 8 | end[2] << 16 | static_cast<std::uint32_t>(end[3]) << 24;
  }
  Ref<Steinberg_IPlugView> view() {
    return Ref<Steinberg_IPlugView>(edit.vtbl()->createView(edit.get(), "editor"));
  }
  // A new view's size under a host's scale.
  Size sizeAt(float factor) {
    const Ref<Steinberg_IPlugView> v = view();
    EXPECT_TRUE(v);
    if (!v) {
      return {};
    }
    scale(v, factor);
    return sizeOf(v);
  }
  double normalized(Steinberg_Vst_ParamID id) {
    return edit.vtbl()->getParamNormalized(edit.get(), id);
  }

  Ref<Steinberg_Vst_IEditController> edit;
};

// The component's state with the level at 0.75, as a state saved before zooms existed.
Bytes componentState() {
  vst3::DriveVst3State state;
  for (vst3::DriveVst3Program& program : state.programs) {
    vst3::copyText(program.name, "Init");
    for (float& value : program.values) {
      value = 0.5f;
    }
    program.values[3] = 0.75f;
  }
  const vst3::StateBytes bytes = vst3::encodeState(state);
  return Bytes(bytes.begin(), bytes.end());
}

struct ScaleCase {
  float factor;
  Size size;
};

// The offered zoom at or below the factor; nothing below 100 %, nothing above 300 %.
const ScaleCase kScales[] = {
    {1.0f, {270, 400}},  {1.25f, {270, 400}}, {1.5f, {405, 600}},  {1.7f, {405, 600}},
    {2.0f, {540, 800}},  {2.4f, {540, 800}},  {2.5f, {675, 1000}}, {2.99f, {675, 1000}},
    {3.0f, {810, 1200}}, {4.0f, {810, 1200}}, {0.5f, {270, 400}},
};

TEST(Vst3ViewSize, AContentScaleGivesTheOfferedZoomAtOrBelowIt) {
  Controller c;
  ASSERT_TRUE(c.edit);
  ASSERT_TRUE(c.edit);
  for (const ScaleCase& expected : kScales) {
    SCOPED_TRACE(expected.factor);
    const Ref<Steinberg_IPlugView> view = c.view();
    ASSERT_TRUE(view);
    scale(view, expected.factor);
    EXPECT_EQ(sizeOf(view), expected.size);
    // The same factor again is the same zoom, never the factor applied twice.
    scale(view, expected.factor);
    EXPECT_EQ(sizeOf(view), expected.size);
  }
  // The interface is the view's: it leads back to the view.
  const Ref<Steinberg_IPlugView> view = c.view();
  const Ref<Steinberg_IPlugViewContentScaleSupport> support =
      view.query<Steinberg_IPlugViewContentScaleSupport>(
          Steinberg_IPlugViewContentScaleSupport_iid);
  ASSERT_TRUE(support);
  EXPECT_EQ(support.query<Steinberg_IPlugView>(Steinberg_IPlugView_iid).get(), view.get());
}

struct ConstraintCase {
  Steinberg_ViewRect asked;
  Steinberg_ViewRect given;
};

// The largest offered size inside the asked one, kept at its top-left corner; the smallest when
// none fits.
const ConstraintCase kConstraints[] = {
    {{0, 0, 270, 400}, {0, 0, 270, 400}},     {{0, 0, 269, 400}, {0, 0, 270, 400}},
    {{0, 0, 0, 0}, {0, 0, 270, 400}},         {{0, 0, -5, -5}, {0, 0, 270, 400}},
    {{0, 0, 404, 600}, {0, 0, 270, 400}},     {{0, 0, 405, 600}, {0, 0, 405, 600}},
    {{0, 0, 600, 700}, {0, 0, 405, 600}},     {{0, 0, 540, 1200}, {0, 0, 540, 800}},
    {{0, 0, 1000, 1000}, {0, 0, 675, 1000}},  {{0, 0, 5000, 5000}, {0, 0, 810, 1200}},
    {{10, 20, 710, 920}, {10, 20, 550, 820}}, {{-30, -40, 645, 960}, {-30, -40, 645, 960}},
};

TEST(Vst3ViewSize, ADraggedSizeSnapsToTheLargestOfferedSizeInsideIt) {
  Controller c;
  ASSERT_TRUE(c.edit);
  const Ref<Steinberg_IPlugView> view = c.view();
  ASSERT_TRUE(view);
  scale(view, 1.0f);
  EXPECT_EQ(view.vtbl()->canResize(view.get()), Steinberg_kResultTrue);
  for (const ConstraintCase& expected : kConstraints) {
    SCOPED_TRACE(::testing::Message() << expected.asked.left << "," << expected.asked.top << " "
                                      << expected.asked.right << "," << expected.asked.bottom);
    Steinberg_ViewRect rect = expected.asked;
    ASSERT_EQ(view.vtbl()->checkSizeConstraint(view.get(), &rect), Steinberg_kResultTrue);
    EXPECT_EQ(rect.left, expected.given.left);
    EXPECT_EQ(rect.top, expected.given.top);
    EXPECT_EQ(rect.right, expected.given.right);
    EXPECT_EQ(rect.bottom, expected.given.bottom);
  }
  // Asking changes nothing.
  EXPECT_EQ(sizeOf(view), (Size{270, 400}));
  EXPECT_EQ(view.vtbl()->checkSizeConstraint(view.get(), nullptr), Steinberg_kInvalidArgument);
  EXPECT_EQ(view.vtbl()->getSize(view.get(), nullptr), Steinberg_kInvalidArgument);
  EXPECT_EQ(view.vtbl()->onSize(view.get(), nullptr), Steinberg_kInvalidArgument);
}

TEST(Vst3ZoomState, TheControllersStateEndsWithTheChosenZoom) {
  Controller c;
  ASSERT_TRUE(c.edit);
  ASSERT_TRUE(c.edit);
  const Bytes fresh = c.state();
  ASSERT_EQ(fresh.size(), vst3::kStateSize + vst3::kZoomTrailerSize);
  EXPECT_EQ(Bytes(fresh.end() - 12, fresh.end()), trailer("DrVZ", 1, 0));

  // A choice in a state is the choice of every view made after it, whatever the host's scale.
  ASSERT_EQ(c.setState(componentState() + trailer("DrVZ", 1, 200)), Steinberg_kResultOk);
  EXPECT_EQ(c.normalized(3), 0.75);
  EXPECT_EQ(c.sizeAt(1.0f), (Size{540, 800}));
  EXPECT_EQ(c.sizeAt(3.0f), (Size{540, 800}));
  EXPECT_EQ(c.state(), componentState() + trailer("DrVZ", 1, 200));

  // Into a new controller and its view.
  Controller other;
  ASSERT_TRUE(other.edit);
  ASSERT_EQ(other.setState(c.state()), Steinberg_kResultOk);
  EXPECT_EQ(other.sizeAt(1.5f), (Size{540, 800}));
  EXPECT_EQ(other.savedZoom(), 200u);
}

TEST(Vst3ZoomState, AStateSavedBeforeZoomsOpensAtTheHostsFactor) {
  Controller c;
  ASSERT_TRUE(c.edit);
  ASSERT_EQ(c.setState(componentState() + trailer("DrVZ", 1, 250)), Steinberg_kResultOk);
  EXPECT_EQ(c.sizeAt(1.0f), (Size{675, 1000}));
  // The component's bytes alone, as the controller saved them before it kept a zoom.
  ASSERT_EQ(c.setState(componentState()), Steinberg_kResultOk);
  EXPECT_EQ(c.normalized(3), 0.75);
  EXPECT_EQ(c.sizeAt(1.5f), (Size{405, 600}));
  EXPECT_EQ(c.savedZoom(), 0u);
}

struct TrailerCase {
  const char* name;
  Bytes bytes;
  std::uint32_t zoom;  // what the controller takes from it
};

TEST(Vst3ZoomState, ATrailerNotUnderstoodIsNoChoiceAndTheStateStillLoads) {
  const TrailerCase cases[] = {
      {"cut short", Bytes{'D', 'r', 'V', 'Z', 1, 0, 0, 0, 200, 0}, 0},
      {"magic only", Bytes{'D', 'r', 'V', 'Z'}, 0},
      {"another magic", trailer("DrVX", 1, 200), 0},
      {"version 0", trailer("DrVZ", 0, 200), 0},
      {"a zoom not offered", trailer("DrVZ", 1, 175), 0},
      {"a zoom below 100", trailer("DrVZ", 1, 50), 0},
      {"a zoom that is negative", trailer("DrVZ", 1, 0xFFFFFF38u), 0},
      // A later version adds its fields after the zoom, which reads as before.
      {"a later version", trailer("DrVZ", 2, 150) + Bytes{9, 9, 9, 9}, 150},
      {"more after it", trailer("DrVZ", 1, 300) + Bytes{1, 2, 3}, 300},
  };
  for (const TrailerCase& bad : cases) {
    SCOPED_TRACE(bad.name);
    Controller c;
    ASSERT_TRUE(c.edit);
    ASSERT_EQ(c.setState(componentState() + trailer("DrVZ", 1, 250)), Steinberg_kResultOk);
    ASSERT_EQ(c.setState(componentState() + bad.bytes), Steinberg_kResultOk);
    EXPECT_EQ(c.normalized(3), 0.75);
    EXPECT_EQ(c.savedZoom(), bad.zoom);
    // No choice: the host's factor.
    const auto zoom = static_cast<Steinberg_int32>(bad.zoom == 0 ? 100 : bad.zoom);
    EXPECT_EQ(c.sizeAt(1.0f), (Size{270 * zoom / 100, 400 * zoom / 100}));
  }
  // A bad component state is still refused whole, trailer or not, and the choice stays.
  Controller c;
  ASSERT_TRUE(c.edit);
  ASSERT_EQ(c.setState(componentState() + trailer("DrVZ", 1, 250)), Steinberg_kResultOk);
  Bytes garbage = componentState() + trailer("DrVZ", 1, 150);
  garbage[0] = 'X';
  EXPECT_EQ(c.setState(garbage), Steinberg_kResultFalse);
  EXPECT_EQ(c.savedZoom(), 250u);
}

TEST(Vst3ZoomState, TheComponentsStateLeavesTheChoiceAlone) {
  Controller c;
  ASSERT_TRUE(c.edit);
  ASSERT_EQ(c.setState(componentState() + trailer("DrVZ", 1, 250)), Steinberg_kResultOk);
  Bytes component = componentState();
  vst3::DriveVst3State other = *vst3::decodeState(component.data(), component.size());
  other.programs[0].values[3] = 0.25f;
  const vst3::StateBytes otherBytes = vst3::encodeState(other);
  ASSERT_EQ(c.setComponentState(Bytes(otherBytes.begin(), otherBytes.end())), Steinberg_kResultOk);
  EXPECT_EQ(c.normalized(3), 0.25);
  EXPECT_EQ(c.savedZoom(), 250u);
  EXPECT_EQ(c.sizeAt(1.5f), (Size{675, 1000}));
}

TEST(Vst3ZoomState, AnOpenViewFollowsTheStateTheHostSets) {
  Controller c;
  ASSERT_TRUE(c.edit);
  const Ref<Steinberg_IPlugView> view = c.view();
  ASSERT_TRUE(view);
  scale(view, 1.5f);
  EXPECT_EQ(sizeOf(view), (Size{405, 600}));
  ASSERT_EQ(c.setState(componentState() + trailer("DrVZ", 1, 300)), Steinberg_kResultOk);
  EXPECT_EQ(sizeOf(view), (Size{810, 1200}));
  ASSERT_EQ(c.setState(componentState()), Steinberg_kResultOk);
  EXPECT_EQ(sizeOf(view), (Size{405, 600}));
}

TEST(Vst3ZoomState, TheTrailerCodecKeepsOfferedZoomsOnly) {
  for (const std::int32_t zoom : {0, 100, 150, 200, 250, 300, 175, -100, 1000}) {
    SCOPED_TRACE(zoom);
    const vst3::ZoomTrailerBytes bytes = vst3::encodeZoomTrailer(zoom);
    const bool offered = zoom >= 100 && zoom <= 300 && zoom % 50 == 0;
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()),
              trailer("DrVZ", 1, offered ? static_cast<std::uint32_t>(zoom) : 0));
    EXPECT_EQ(vst3::decodeZoomTrailer(bytes.data(), bytes.size()), offered ? zoom : 0);
    EXPECT_EQ(vst3::decodeZoomTrailer(bytes.data(), bytes.size() - 1), 0);
  }
  EXPECT_EQ(vst3::decodeZoomTrailer(nullptr, vst3::kZoomTrailerSize), 0);
}

}  // namespace
