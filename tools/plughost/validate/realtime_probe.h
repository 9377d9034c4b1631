// Counting heap and lock calls made on one thread while it is inside a plug-in's process calls.
// On Linux the executable itself defines the allocation and lock functions (forwarding to the C
// library), so every library in the process reaches the counters; on Windows the loaded
// plug-in's import table is pointed at counting versions of the heap and wait functions.
#pragma once

#include <filesystem>
#include <string>

namespace plughost::validate::probe {

struct Counts {
  long heapCalls = 0;
  long lockCalls = 0;
  // "malloc x2, pthread_mutex_lock x1"; empty when nothing was counted.
  std::string detail;
};

// Whether this build can count; `whyNot` says why not otherwise.
bool available(std::string& whyNot);
// Makes a loaded plug-in's calls countable. Returns what it could not do (empty when all is well).
std::string instrument(const std::filesystem::path& library);
// From now until end, calls made on the calling thread are counted.
void begin();
Counts end();

// While one lives on a thread, that thread's calls are not counted (the host's own work inside a
// host callback is not the plug-in's).
class Pause {
 public:
  Pause();
  ~Pause();
  Pause(const Pause&) = delete;
  Pause& operator=(const Pause&) = delete;
};

}  // namespace plughost::validate::probe
