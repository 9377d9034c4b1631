// The Linux run loop a VST 3 view finds through its frame (Linux::IRunLoop): the view registers
// the file descriptors it wants read (its X connection's) and the timers it wants fired, and the
// host runs them from its own loop, so that the view needs no thread of its own.
//
// plughost's loop is a sequence of passes (Plugin::idleEditor), one after each thing it does with
// the editor; runOnce is one pass. Every registered timer fires on every pass, whatever interval
// it asked for: plughost's passes are its clock, a scripted snapshot needs each pass to do the
// view's pending work whatever the wall clock says, and a user-interface timer that fires early
// only does its work sooner. The intervals are kept for reports.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/plughost/vst3_interfaces.h"

namespace plughost::vst3 {

class RunLoop {
 public:
  RunLoop();
  // Gives back the references to whatever is still registered.
  ~RunLoop() { clear(); }
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  Steinberg_Linux_IRunLoop* loop() { return faceOf(slot_); }

  // One pass: the registered descriptors that are ready now (polled without waiting) have their
  // handlers called, then every registered timer fires. Handlers may register and unregister
  // during the pass; one unregistered during it is not called after.
  void runOnce();
  // Forgets every registration (after the view was removed, for views that leave some behind).
  void clear();

  std::size_t eventHandlerCount() const { return handlers_.size(); }
  std::size_t timerCount() const { return timers_.size(); }
  // The interval the first registered timer asked for, or 0 without one.
  std::uint64_t firstTimerInterval() const { return timers_.empty() ? 0 : timers_[0].interval; }

 private:
  struct EventHandler {
    Steinberg_Linux_IEventHandler* handler;
    int fd;
    std::uint64_t serial;
  };
  struct Timer {
    Steinberg_Linux_ITimerHandler* handler;
    std::uint64_t interval;
    std::uint64_t serial;
  };

  static Steinberg_Linux_IRunLoopVtbl* vtable();
  tresult queryInterface(const char* iid, void** obj) noexcept;
  tresult registerEventHandler(Steinberg_Linux_IEventHandler* handler, int fd) noexcept;
  tresult unregisterEventHandler(Steinberg_Linux_IEventHandler* handler) noexcept;
  tresult registerTimer(Steinberg_Linux_ITimerHandler* handler, std::uint64_t interval) noexcept;
  tresult unregisterTimer(Steinberg_Linux_ITimerHandler* handler) noexcept;

  bool handlerRegistered(std::uint64_t serial) const;
  bool timerRegistered(std::uint64_t serial) const;

  Slot<Steinberg_Linux_IRunLoop, RunLoop> slot_;
  std::vector<EventHandler> handlers_;
  std::vector<Timer> timers_;
  std::uint64_t nextSerial_ = 1;
};

}  // namespace plughost::vst3
