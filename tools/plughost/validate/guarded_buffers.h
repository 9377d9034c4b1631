// Buffers with guards that notice where a plug-in wrote what it should not: audio blocks with a
// guard tail past the frames handed over, and text regions with guard bytes around the bytes an
// opcode may write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/plughost/block_processor.h"
#include "tools/plughost/plugin.h"
#include "tools/plughost/validate/signals.h"
#include "tools/plughost/vst_opcodes.h"

namespace plughost::validate {

// ---- Audio ------------------------------------------------------------------------------------

// How a render hands buffers to the plug-in.
struct ProcessStyle {
  ProcessMode mode = ProcessMode::replacing;
  // Each output channel with an input of the same number gets that input's buffer.
  bool inPlace = false;
  // Accumulating onto what the caller's output already holds at the block's frames, instead of
  // onto silence.
  bool ontoOutputs = false;
};

// Blocks of these sizes, repeated in order until the input is used up (the last may be shorter).
// A size of 0 makes a call with no frames, which must change nothing.
Channels render(Plugin& plugin, const Channels& input, const std::vector<std::int32_t>& blocks,
                ProcessStyle style);

// The block loop of render, for checks that do something between blocks (parameter changes,
// sample rate changes, timing): the host's buffers, with guard frames past every block.
class BlockRunner {
 public:
  // Frames past every block, filled with a guard value and checked after the call. A plug-in
  // that rounds its loop up to a chunk of up to 64 frames (SIMD widths, unrolled loops, kernels
  // working in fixed chunks) writes into them, not into plughost's heap, and is reported for it.
  static constexpr std::int32_t kGuardFrames = 64;

  BlockRunner(Plugin& plugin, std::int32_t maxFrames, ProcessStyle style);
  // Processes input[.][offset, offset+frames) into output[.][offset, ...), with `changes` at
  // their frames of the block. Throws Failure on writes past the block or into a separate input.
  void run(const Channels& input, Channels& output, std::int32_t offset, std::int32_t frames,
           std::span<const ParameterChange> changes = {});

 private:
  // Checked before the buffers are made, so that a plug-in the runner cannot feed fails in the
  // validator's words.
  static Plugin& feedable(Plugin& plugin, ProcessMode mode);

  ProcessStyle style_;
  BlockProcessor buffers_;
};

// ---- Guarded text buffers ---------------------------------------------------------------------

// A 4 KiB region handed to the plug-in, with guard bytes in front of it and, past the bytes an
// opcode may write, in its tail. The writable bytes start zeroed.
class GuardedBuffer {
 public:
  static constexpr std::size_t kSize = 4096;
  static constexpr std::size_t kFront = 64;
  static constexpr unsigned char kGuard = 0xA5;

  // `writable` bytes from the start are zero, the rest of the 4 KiB and the front hold guards.
  // kSize makes the whole region zero and writable.
  explicit GuardedBuffer(std::size_t writable = kSize);
  void reset(std::size_t writable);

  char* data() { return reinterpret_cast<char*>(storage_.data() + kFront); }
  const char* data() const { return reinterpret_cast<const char*>(storage_.data() + kFront); }

  // Bytes changed outside the writable range, described; nullopt when none.
  std::optional<std::string> damage() const;
  // True when any byte of the region differs from how reset left it.
  bool touched() const;
  // The zero-terminated text in the writable range (or up to the first guard byte).
  std::string text() const;
  // The writable range holds a terminating zero.
  bool terminated() const;

 private:
  std::vector<unsigned char> storage_;
  std::size_t writable_ = kSize;
};

// Printable form of a text a plug-in wrote: control and non-ASCII bytes as \xNN.
std::string printable(const std::string& text);

}  // namespace plughost::validate
