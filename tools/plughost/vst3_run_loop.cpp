#include "tools/plughost/vst3_run_loop.h"

#include <poll.h>

#include <algorithm>
#include <new>

namespace plughost::vst3 {

namespace {

// Holds one reference to a handler for the length of a call, so that a handler that unregisters
// itself (dropping the loop's reference) lives until its call returns.
template <typename Handler>
class CallGuard {
 public:
  explicit CallGuard(Handler* handler) : handler_(handler) { handler_->lpVtbl->addRef(handler_); }
  ~CallGuard() { handler_->lpVtbl->release(handler_); }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

 private:
  Handler* handler_;
};

}  // namespace

RunLoop::RunLoop() : slot_{{vtable()}, this} {}

Steinberg_Linux_IRunLoopVtbl* RunLoop::vtable() {
  using I = Steinberg_Linux_IRunLoop;
  static Steinberg_Linux_IRunLoopVtbl table = {thunk<I, &RunLoop::queryInterface>,
                                               hostOwnedAddRef,
                                               hostOwnedRelease,
                                               thunk<I, &RunLoop::registerEventHandler>,
                                               thunk<I, &RunLoop::unregisterEventHandler>,
                                               thunk<I, &RunLoop::registerTimer>,
                                               thunk<I, &RunLoop::unregisterTimer>};
  return &table;
}

tresult RunLoop::queryInterface(const char* iid, void** obj) noexcept {
  if (obj == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  if (sameId(iid, Steinberg_FUnknown_iid) || sameId(iid, Steinberg_Linux_IRunLoop_iid)) {
    *obj = loop();
    return Steinberg_kResultOk;
  }
  *obj = nullptr;
  return Steinberg_kNoInterface;
}

tresult RunLoop::registerEventHandler(Steinberg_Linux_IEventHandler* handler, int fd) noexcept {
  if (handler == nullptr || fd < 0) {
    return Steinberg_kInvalidArgument;
  }
  try {
    handlers_.push_back({handler, fd, nextSerial_++});
  } catch (const std::bad_alloc&) {
    return Steinberg_kOutOfMemory;
  }
  handler->lpVtbl->addRef(handler);
  return Steinberg_kResultTrue;
}

tresult RunLoop::unregisterEventHandler(Steinberg_Linux_IEventHandler* handler) noexcept {
  // Every descriptor the handler registered goes; the references are given back after the list
  // is consistent, since a release may end the handler's object.
  const auto removed =
      std::stable_partition(handlers_.begin(), handlers_.end(),
                            [handler](const EventHandler& e) { return e.handler != handler; });
  const auto count = static_cast<std::size_t>(handlers_.end() - removed);
  handlers_.erase(removed, handlers_.end());
  for (std::size_t i = 0; i < count; ++i) {
    handler->lpVtbl->release(handler);
  }
  return count > 0 ? Steinberg_kResultTrue : Steinberg_kInvalidArgument;
}

tresult RunLoop::registerTimer(Steinberg_Linux_ITimerHandler* handler,
                               std::uint64_t interval) noexcept {
  if (handler == nullptr) {
    return Steinberg_kInvalidArgument;
  }
  try {
    timers_.push_back({handler, interval, nextSerial_++});
  } catch (const std::bad_alloc&) {
    return Steinberg_kOutOfMemory;
  }
  handler->lpVtbl->addRef(handler);
  return Steinberg_kResultTrue;
}

tresult RunLoop::unregisterTimer(Steinberg_Linux_ITimerHandler* handler) noexcept {
  const auto removed = std::stable_partition(
      timers_.begin(), timers_.end(), [handler](const Timer& t) { return t.handler != handler; });
  const auto count = static_cast<std::size_t>(timers_.end() - removed);
  timers_.erase(removed, timers_.end());
  for (std::size_t i = 0; i < count; ++i) {
    handler->lpVtbl->release(handler);
  }
  return count > 0 ? Steinberg_kResultTrue : Steinberg_kInvalidArgument;
}

bool RunLoop::handlerRegistered(std::uint64_t serial) const {
  return std::any_of(handlers_.begin(), handlers_.end(),
                     [serial](const EventHandler& e) { return e.serial == serial; });
}

bool RunLoop::timerRegistered(std::uint64_t serial) const {
  return std::any_of(timers_.begin(), timers_.end(),
                     [serial](const Timer& t) { return t.serial == serial; });
}

void RunLoop::runOnce() {
  // Copies: the handlers may change the lists while they run.
  const std::vector<EventHandler> handlers = handlers_;
  if (!handlers.empty()) {
    std::vector<pollfd> fds;
    fds.reserve(handlers.size());
    for (const EventHandler& e : handlers) {
      fds.push_back({e.fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 0) > 0) {
      for (std::size_t i = 0; i < handlers.size(); ++i) {
        // An error or hang-up is news for the handler as well: it reads and finds out.
        if (fds[i].revents != 0 && handlerRegistered(handlers[i].serial)) {
          CallGuard guard(handlers[i].handler);
          handlers[i].handler->lpVtbl->onFDIsSet(handlers[i].handler, handlers[i].fd);
        }
      }
    }
  }
  const std::vector<Timer> timers = timers_;
  for (const Timer& t : timers) {
    if (timerRegistered(t.serial)) {
      CallGuard guard(t.handler);
      t.handler->lpVtbl->onTimer(t.handler);
    }
  }
}

void RunLoop::clear() {
  std::vector<EventHandler> handlers;
  std::vector<Timer> timers;
  handlers.swap(handlers_);
  timers.swap(timers_);
  for (const EventHandler& e : handlers) {
    e.handler->lpVtbl->release(e.handler);
  }
  for (const Timer& t : timers) {
    t.handler->lpVtbl->release(t.handler);
  }
}

}  // namespace plughost::vst3
