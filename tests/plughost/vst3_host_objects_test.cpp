// The host objects plughost hands a VST 3 plug-in, through their interfaces as a plug-in calls
// them: parameter changes in fixed storage, the state stream, the host context and its messages,
// the editor's frame and (on Linux) the run loop; and the text and identifier conversions.
#include "tools/plughost/vst3_host_objects.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tools/plughost/vst3_interfaces.h"
#if !defined(_WIN32)
#include <unistd.h>

#include "tools/plughost/vst3_run_loop.h"
#endif

namespace {

using namespace plughost::vst3;

TEST(Vst3Text, ClassIdsReadTheSameOnEveryPlatform) {
  const Steinberg_TUID id = SMTG_INLINE_UID(0xFD683629, 0x05E84C88, 0xA87ED6AD, 0x1B49FBAA);
  EXPECT_EQ(classIdText(id), "FD68362905E84C88A87ED6AD1B49FBAA");
}

TEST(Vst3Text, Utf16BecomesUtf8) {
  struct Case {
    std::u16string text;
    std::size_t capacity;
    std::string utf8;
  };
  const Case cases[] = {
      {u"LEVEL", 128, "LEVEL"},
      {u"LEVEL", 3, "LEV"},
      {u"\u00e9t\u00e9", 128, "\xc3\xa9t\xc3\xa9"},
      {u"\u20ac", 128, "\xe2\x82\xac"},
      {u"\U0001F600", 128, "\xf0\x9f\x98\x80"},
      // A lone half of a pair, and a pair cut by the field's end.
      {u"a\xd800z", 128, "a\xef\xbf\xbdz"},
      {u"\U0001F600", 1, "\xef\xbf\xbd"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8(c.text.c_str(), c.capacity), c.utf8);
  }
  const char field[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(fieldText(field, sizeof field), "abcd");
  EXPECT_EQ(fieldText("ab\0cd", 5), "ab");
}

TEST(Vst3ParameterChanges, HoldsQueuesInTheRoomSetAside) {
  ParameterChangeList list;
  list.reserve(2, 5, 2);
  Steinberg_Vst_IParameterChanges* changes = list.changes();
  EXPECT_EQ(changes->lpVtbl->getParameterCount(changes), 0);

  const std::int32_t q = list.open(7, 3);
  ASSERT_EQ(q, 0);
  EXPECT_TRUE(list.add(q, 0, 0.25));
  EXPECT_TRUE(list.add(q, 10, 0.5));
  EXPECT_TRUE(list.add(q, 10, 0.75));  // the same offset: the value replaced
  EXPECT_TRUE(list.add(q, 5, 0.8));    // before the last: at its offset
  EXPECT_TRUE(list.add(q, 20, 1.0));
  EXPECT_FALSE(list.add(q, 30, 1.0));  // full
  EXPECT_EQ(list.open(8, 3), -1);      // 3 of the 5 points are the first queue's

  ASSERT_EQ(changes->lpVtbl->getParameterCount(changes), 1);
  Steinberg_Vst_IParamValueQueue* queue = changes->lpVtbl->getParameterData(changes, 0);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(changes->lpVtbl->getParameterData(changes, 1), nullptr);
  EXPECT_EQ(queue->lpVtbl->getParameterId(queue), 7u);
  ASSERT_EQ(queue->lpVtbl->getPointCount(queue), 3);
  const std::pair<Steinberg_int32, double> expected[] = {{0, 0.25}, {10, 0.8}, {20, 1.0}};
  for (int i = 0; i < 3; ++i) {
    Steinberg_int32 offset = -1;
    Steinberg_Vst_ParamValue value = -1.0;
    ASSERT_EQ(queue->lpVtbl->getPoint(queue, i, &offset, &value), Steinberg_kResultOk);
    EXPECT_EQ(offset, expected[i].first);
    EXPECT_EQ(value, expected[i].second);
  }
  Steinberg_int32 offset = 0;
  Steinberg_Vst_ParamValue value = 0.0;
  EXPECT_EQ(queue->lpVtbl->getPoint(queue, 3, &offset, &value), Steinberg_kInvalidArgument);
  EXPECT_EQ(queue->lpVtbl->getPoint(queue, -1, &offset, &value), Steinberg_kInvalidArgument);

  list.clear();
  EXPECT_EQ(changes->lpVtbl->getParameterCount(changes), 0);
  EXPECT_EQ(list.open(8, 5), 0);
}

TEST(Vst3ParameterChanges, APluginAddsWhatItReports) {
  ParameterChangeList list;
  list.reserve(2, 6, 2);
  Steinberg_Vst_IParameterChanges* changes = list.changes();
  const Steinberg_Vst_ParamID id = 42;
  Steinberg_int32 index = -1;
  Steinberg_Vst_IParamValueQueue* queue = changes->lpVtbl->addParameterData(changes, &id, &index);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(index, 0);
  // The same parameter again is the same queue.
  EXPECT_EQ(changes->lpVtbl->addParameterData(changes, &id, &index), queue);
  Steinberg_int32 point = -1;
  EXPECT_EQ(queue->lpVtbl->addPoint(queue, 0, 0.1, &point), Steinberg_kResultOk);
  EXPECT_EQ(point, 0);
  EXPECT_EQ(queue->lpVtbl->addPoint(queue, 5, 0.2, &point), Steinberg_kResultOk);
  EXPECT_EQ(point, 1);
  EXPECT_EQ(queue->lpVtbl->addPoint(queue, 9, 0.3, &point), Steinberg_kResultFalse);  // its share
  EXPECT_EQ(list.pointCount(0), 2);
  EXPECT_EQ(list.point(0, 1).value, 0.2);

  const Steinberg_Vst_ParamID others[] = {43, 44};
  EXPECT_NE(changes->lpVtbl->addParameterData(changes, &others[0], &index), nullptr);
  EXPECT_EQ(changes->lpVtbl->addParameterData(changes, &others[1], &index), nullptr);  // 2 queues
  EXPECT_EQ(changes->lpVtbl->addParameterData(changes, nullptr, &index), nullptr);
  void* unknown = &index;
  EXPECT_EQ(changes->lpVtbl->queryInterface(changes, Steinberg_IBStream_iid, &unknown),
            Steinberg_kNoInterface);
  EXPECT_EQ(unknown, nullptr);
}

TEST(Vst3MemoryStream, ReadsBackWhatWasWritten) {
  MemoryStream memory;
  Steinberg_IBStream* s = memory.stream();
  char bytes[] = "state!";
  Steinberg_int32 done = 0;
  ASSERT_EQ(s->lpVtbl->write(s, bytes, 6, &done), Steinberg_kResultOk);
  EXPECT_EQ(done, 6);
  Steinberg_int64 at = -1;
  EXPECT_EQ(s->lpVtbl->tell(s, &at), Steinberg_kResultOk);
  EXPECT_EQ(at, 6);
  EXPECT_EQ(s->lpVtbl->seek(s, -4, Steinberg_IBStream_IStreamSeekMode_kIBSeekCur, &at),
            Steinberg_kResultOk);
  EXPECT_EQ(at, 2);
  char read[8] = {};
  ASSERT_EQ(s->lpVtbl->read(s, read, 8, &done), Steinberg_kResultOk);
  EXPECT_EQ(done, 4);  // what is left
  EXPECT_EQ(std::string(read, 4), "ate!");
  EXPECT_EQ(s->lpVtbl->read(s, read, 8, &done), Steinberg_kResultOk);
  EXPECT_EQ(done, 0);

  EXPECT_EQ(s->lpVtbl->seek(s, -1, Steinberg_IBStream_IStreamSeekMode_kIBSeekSet, &at),
            Steinberg_kInvalidArgument);
  EXPECT_EQ(s->lpVtbl->seek(s, 2, Steinberg_IBStream_IStreamSeekMode_kIBSeekEnd, &at),
            Steinberg_kResultOk);
  ASSERT_EQ(s->lpVtbl->write(s, bytes, 1, &done), Steinberg_kResultOk);
  EXPECT_EQ(memory.bytes(), (std::vector<unsigned char>{'s', 't', 'a', 't', 'e', '!', 0, 0, 's'}));
  EXPECT_EQ(s->lpVtbl->read(s, nullptr, 4, &done), Steinberg_kInvalidArgument);
}

TEST(Vst3HostApplication, NamesItselfAndMakesMessages) {
  HostApplication host("plughost");
  auto* app = reinterpret_cast<Steinberg_Vst_IHostApplication*>(host.context());
  Steinberg_Vst_String128 name{};
  ASSERT_EQ(app->lpVtbl->getName(app, name), Steinberg_kResultOk);
  EXPECT_EQ(utf8(name, 128), "plughost");

  Steinberg_TUID messageId;
  std::memcpy(messageId, Steinberg_Vst_IMessage_iid, sizeof messageId);
  void* made = nullptr;
  ASSERT_EQ(app->lpVtbl->createInstance(app, messageId, messageId, &made), Steinberg_kResultOk);
  auto* message = static_cast<Steinberg_Vst_IMessage*>(made);
  message->lpVtbl->setMessageID(message, "levels");
  EXPECT_STREQ(message->lpVtbl->getMessageID(message), "levels");
  Steinberg_Vst_IAttributeList* list = message->lpVtbl->getAttributes(message);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->lpVtbl->setInt(list, "count", 3), Steinberg_kResultOk);
  EXPECT_EQ(list->lpVtbl->setFloat(list, "gain", 0.5), Steinberg_kResultOk);
  EXPECT_EQ(list->lpVtbl->setString(list, "name", u"LOW"), Steinberg_kResultOk);
  const unsigned char blob[] = {1, 2, 3};
  EXPECT_EQ(list->lpVtbl->setBinary(list, "blob", blob, 3), Steinberg_kResultOk);
  Steinberg_int64 count = 0;
  double gain = 0.0;
  EXPECT_EQ(list->lpVtbl->getInt(list, "count", &count), Steinberg_kResultOk);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(list->lpVtbl->getFloat(list, "gain", &gain), Steinberg_kResultOk);
  EXPECT_EQ(gain, 0.5);
  EXPECT_EQ(list->lpVtbl->getFloat(list, "count", &gain), Steinberg_kResultFalse);  // an int
  Steinberg_Vst_TChar text[3] = {};
  EXPECT_EQ(list->lpVtbl->getString(list, "name", text, sizeof text), Steinberg_kResultOk);
  EXPECT_EQ(std::u16string(text), u"LO");  // cut to the room given
  const void* data = nullptr;
  Steinberg_uint32 size = 0;
  EXPECT_EQ(list->lpVtbl->getBinary(list, "blob", &data, &size), Steinberg_kResultOk);
  ASSERT_EQ(size, 3u);
  EXPECT_EQ(std::memcmp(data, blob, 3), 0);
  EXPECT_EQ(list->lpVtbl->getInt(list, "missing", &count), Steinberg_kResultFalse);
  EXPECT_EQ(message->lpVtbl->addRef(message), 2u);
  EXPECT_EQ(message->lpVtbl->release(message), 1u);
  EXPECT_EQ(message->lpVtbl->release(message), 0u);

  Steinberg_TUID other;
  std::memcpy(other, Steinberg_IBStream_iid, sizeof other);
  made = &host;
  EXPECT_EQ(app->lpVtbl->createInstance(app, other, other, &made), Steinberg_kNoInterface);
  EXPECT_EQ(made, nullptr);
}

// A view that only takes a size, for the frame to resize.
struct SizedView {
  Steinberg_IPlugView face;
  Steinberg_ViewRect size;
  int calls;
};

Steinberg_tresult SMTG_STDMETHODCALLTYPE onSize(void* self, Steinberg_ViewRect* size) {
  auto* view = static_cast<SizedView*>(self);
  view->size = *size;
  ++view->calls;
  return Steinberg_kResultOk;
}

// What the host's window does with each request: follow it or not. The view hears its new size
// only when the window followed, and before the frame answers.
TEST(Vst3PlugFrame, ResizesThroughTheHostsWindowAndThenTellsTheView) {
  PlugFrame frame(nullptr);
  Steinberg_IPlugFrame* f = frame.frame();
  Steinberg_IPlugViewVtbl vtbl{};
  vtbl.onSize = onSize;
  SizedView view{{&vtbl}, {}, 0};
  std::vector<std::pair<int, int>> asked;
  bool follows = true;
  int callsWhenAsked = -1;
  frame.setResizer([&](int width, int height) {
    asked.emplace_back(width, height);
    callsWhenAsked = view.calls;
    return follows;
  });

  Steinberg_ViewRect wanted{0, 0, 540, 800};
  EXPECT_EQ(f->lpVtbl->resizeView(f, &view.face, &wanted), Steinberg_kResultTrue);
  EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{540, 800}}));
  EXPECT_EQ(callsWhenAsked, 0);
  EXPECT_EQ(view.calls, 1);
  EXPECT_EQ(view.size.right, 540);
  EXPECT_EQ(view.size.bottom, 800);
  EXPECT_TRUE(frame.resized());
  EXPECT_EQ(frame.size().bottom, 800);

  // Sizes are the rectangle's, wherever its corner is.
  follows = false;
  Steinberg_ViewRect moved{10, 20, 415, 620};
  EXPECT_EQ(f->lpVtbl->resizeView(f, &view.face, &moved), Steinberg_kResultFalse);
  EXPECT_EQ(asked.back(), (std::pair<int, int>{405, 600}));
  EXPECT_EQ(view.calls, 1);
  // Asked for, not given: still what the view last asked.
  EXPECT_EQ(frame.size().right, 415);

  // A window that fails on the way is a refusal, and nothing unwinds into the plug-in.
  frame.setResizer([](int, int) -> bool { throw std::runtime_error("no window"); });
  EXPECT_EQ(f->lpVtbl->resizeView(f, &view.face, &wanted), Steinberg_kResultFalse);
  EXPECT_EQ(view.calls, 1);

  Steinberg_ViewRect inverted{10, 0, 0, 0};
  EXPECT_EQ(f->lpVtbl->resizeView(f, &view.face, &inverted), Steinberg_kInvalidArgument);
  EXPECT_EQ(f->lpVtbl->resizeView(f, nullptr, &wanted), Steinberg_kInvalidArgument);
  EXPECT_EQ(asked.size(), 2u);
}

TEST(Vst3PlugFrame, RefusesEveryResizeWithoutAWindowToResize) {
  PlugFrame frame(nullptr);
  Steinberg_IPlugFrame* f = frame.frame();
  Steinberg_IPlugViewVtbl vtbl{};
  vtbl.onSize = onSize;
  SizedView view{{&vtbl}, {}, 0};
  Steinberg_ViewRect wanted{0, 0, 540, 800};
  EXPECT_EQ(f->lpVtbl->resizeView(f, &view.face, &wanted), Steinberg_kResultFalse);
  EXPECT_EQ(view.calls, 0);
  EXPECT_TRUE(frame.resized());
  // Without a run loop (Windows) the frame answers none.
  void* loop = &view;
  EXPECT_EQ(f->lpVtbl->queryInterface(f, Steinberg_Linux_IRunLoop_iid, &loop),
            Steinberg_kNoInterface);
  EXPECT_EQ(loop, nullptr);
}

#if !defined(_WIN32)

// A timer or event handler that counts its calls and references, and may unregister a handler
// from inside its call.
struct CountingHandler {
  union {
    Steinberg_Linux_ITimerHandler timer;
    Steinberg_Linux_IEventHandler events;
  };
  int refs = 1;
  int calls = 0;
  int lastFd = -1;
  Steinberg_Linux_IRunLoop* loop = nullptr;
  CountingHandler* unregisterOnCall = nullptr;
};

Steinberg_uint32 SMTG_STDMETHODCALLTYPE handlerAddRef(void* self) {
  return static_cast<Steinberg_uint32>(++static_cast<CountingHandler*>(self)->refs);
}
Steinberg_uint32 SMTG_STDMETHODCALLTYPE handlerRelease(void* self) {
  return static_cast<Steinberg_uint32>(--static_cast<CountingHandler*>(self)->refs);
}
void SMTG_STDMETHODCALLTYPE onTimer(void* self) {
  auto* h = static_cast<CountingHandler*>(self);
  ++h->calls;
  if (h->unregisterOnCall != nullptr) {
    h->loop->lpVtbl->unregisterTimer(h->loop, &h->unregisterOnCall->timer);
  }
}
void SMTG_STDMETHODCALLTYPE onFdIsSet(void* self, int fd) {
  auto* h = static_cast<CountingHandler*>(self);
  ++h->calls;
  h->lastFd = fd;
  char byte = 0;
  ASSERT_EQ(read(fd, &byte, 1), 1);
}

Steinberg_Linux_ITimerHandlerVtbl timerVtbl = {nullptr, handlerAddRef, handlerRelease, onTimer};
Steinberg_Linux_IEventHandlerVtbl eventVtbl = {nullptr, handlerAddRef, handlerRelease, onFdIsSet};

TEST(Vst3RunLoop, FiresEveryTimerEachPassUntilItGoes) {
  RunLoop runLoop;
  Steinberg_Linux_IRunLoop* loop = runLoop.loop();
  CountingHandler a;
  CountingHandler b;
  a.timer.lpVtbl = &timerVtbl;
  b.timer.lpVtbl = &timerVtbl;
  a.loop = loop;
  EXPECT_EQ(loop->lpVtbl->registerTimer(loop, &a.timer, 16), Steinberg_kResultTrue);
  EXPECT_EQ(loop->lpVtbl->registerTimer(loop, &b.timer, 1000), Steinberg_kResultTrue);
  EXPECT_EQ(loop->lpVtbl->registerTimer(loop, nullptr, 16), Steinberg_kInvalidArgument);
  EXPECT_EQ(a.refs, 2);
  EXPECT_EQ(runLoop.firstTimerInterval(), 16u);
  runLoop.runOnce();
  runLoop.runOnce();
  EXPECT_EQ(a.calls, 2);
  EXPECT_EQ(b.calls, 2);

  // A's call takes B away: B is not called after it in the same pass.
  a.unregisterOnCall = &b;
  runLoop.runOnce();
  EXPECT_EQ(a.calls, 3);
  EXPECT_EQ(b.calls, 2);
  EXPECT_EQ(b.refs, 1);
  EXPECT_EQ(runLoop.timerCount(), 1u);

  // A takes itself away, and lives through its own call.
  a.unregisterOnCall = &a;
  runLoop.runOnce();
  runLoop.runOnce();
  EXPECT_EQ(a.calls, 4);
  EXPECT_EQ(a.refs, 1);
  EXPECT_EQ(loop->lpVtbl->unregisterTimer(loop, &a.timer), Steinberg_kInvalidArgument);
}

TEST(Vst3RunLoop, CallsAHandlerWhenItsDescriptorIsReady) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    RunLoop runLoop;
    Steinberg_Linux_IRunLoop* loop = runLoop.loop();
    CountingHandler h;
    h.events.lpVtbl = &eventVtbl;
    EXPECT_EQ(loop->lpVtbl->registerEventHandler(loop, &h.events, fds[0]), Steinberg_kResultTrue);
    EXPECT_EQ(loop->lpVtbl->registerEventHandler(loop, &h.events, -1), Steinberg_kInvalidArgument);
    runLoop.runOnce();
    EXPECT_EQ(h.calls, 0) << "nothing to read yet";
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    runLoop.runOnce();
    EXPECT_EQ(h.calls, 1);
    EXPECT_EQ(h.lastFd, fds[0]);
    runLoop.runOnce();
    EXPECT_EQ(h.calls, 1) << "read empty again";

    // Whatever is left registered is given back when the loop is cleared.
    EXPECT_EQ(h.refs, 2);
    runLoop.clear();
    EXPECT_EQ(h.refs, 1);
    EXPECT_EQ(runLoop.eventHandlerCount(), 0u);
  }
  close(fds[0]);
  close(fds[1]);
}

TEST(Vst3PlugFrame, HandsOutTheRunLoop) {
  RunLoop runLoop;
  PlugFrame frame(runLoop.loop());
  void* loop = nullptr;
  ASSERT_EQ(
      frame.frame()->lpVtbl->queryInterface(frame.frame(), Steinberg_Linux_IRunLoop_iid, &loop),
      Steinberg_kResultOk);
  EXPECT_EQ(loop, runLoop.loop());
}

#endif

}  // namespace
