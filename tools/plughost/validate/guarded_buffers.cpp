#include "tools/plughost/validate/guarded_buffers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/comparisons.h"

namespace plughost::validate {
namespace {

// Written past every block in every buffer; a plug-in that changes it wrote past the frames it
// was given.
constexpr std::int32_t kTail = BlockRunner::kGuardFrames;
constexpr float kTailGuard = 12345.5f;

}  // namespace

Plugin& BlockRunner::feedable(Plugin& plugin, ProcessMode mode) {
  require(plugin.supports(mode),
          std::string("the effect has no ") + processModeName(mode) + " process entry");
  require(plugin.inputCount() >= 0 && plugin.inputCount() <= BlockProcessor::kMaxChannels &&
              plugin.outputCount() >= 0 && plugin.outputCount() <= BlockProcessor::kMaxChannels,
          "implausible channel counts " + std::to_string(plugin.inputCount()) + " in, " +
              std::to_string(plugin.outputCount()) + " out");
  return plugin;
}

BlockRunner::BlockRunner(Plugin& plugin, std::int32_t maxFrames, ProcessStyle style)
    : style_(style),
      buffers_(feedable(plugin, style.mode), style.mode, maxFrames, {style.inPlace, kTail}) {}

void BlockRunner::run(const Channels& input, Channels& output, std::int32_t offset,
                      std::int32_t frames, std::span<const ParameterChange> changes) {
  // Nothing here allocates unless a check fails: the real-time check counts around this call.
  requireThat(frames <= buffers_.maxFrames(),
              [] { return "internal: block larger than the runner's buffers"; });
  const auto start = static_cast<std::size_t>(offset);
  const auto n = static_cast<std::size_t>(frames);
  const auto guarded = n + kTail;
  for (int c = 0; c < buffers_.inputBuffers(); ++c) {
    float* buffer = buffers_.input(c);
    const auto channel = static_cast<std::size_t>(c);
    if (channel < input.size()) {
      std::copy_n(input[channel].begin() + static_cast<std::ptrdiff_t>(start), n, buffer);
    } else {
      std::fill_n(buffer, n, 0.0f);
    }
    std::fill(buffer + n, buffer + guarded, kTailGuard);
  }
  for (int c = 0; c < buffers_.outputBuffers(); ++c) {
    if (buffers_.sharesInput(c)) {
      continue;  // in place: the input's buffer holds the input
    }
    float* out = buffers_.output(c);
    const auto channel = static_cast<std::size_t>(c);
    // A replacing call that leaves frames unwritten leaves silence, not the block before; an
    // accumulating one starts from silence anyway, cleared by the processor's run, unless it is
    // to add onto the caller's signal.
    if (style_.ontoOutputs && channel < output.size()) {
      std::copy_n(output[channel].begin() + static_cast<std::ptrdiff_t>(start), n, out);
    } else if (style_.mode == ProcessMode::replacing || style_.ontoOutputs) {
      std::fill_n(out, n, 0.0f);
    }
    std::fill(out + n, out + guarded, kTailGuard);
  }

  if (style_.ontoOutputs) {
    buffers_.runOntoOutputs(frames, changes);
  } else {
    buffers_.run(frames, changes);
  }

  for (int c = 0; c < buffers_.inputBuffers(); ++c) {
    const float* buffer = buffers_.input(c);
    for (std::size_t i = n; i < guarded; ++i) {
      requireThat(bitsOf(buffer[i]) == bitsOf(kTailGuard), [&] {
        return "a " + std::to_string(frames) + "-frame " + processModeName(style_.mode) +
               " call wrote past the block's end in buffer " + std::to_string(c);
      });
    }
    const auto channel = static_cast<std::size_t>(c);
    const bool shared = c < buffers_.outputBuffers() && buffers_.sharesInput(c);
    if (!shared && channel < input.size() && c < buffers_.inputCount()) {
      for (std::size_t i = 0; i < n; ++i) {
        requireThat(bitsOf(buffer[i]) == bitsOf(input[channel][start + i]), [&] {
          return std::string("a ") + processModeName(style_.mode) + " call changed input channel " +
                 std::to_string(c) + " at frame " +
                 std::to_string(offset + static_cast<std::int32_t>(i));
        });
      }
    }
  }
  for (int c = 0; c < buffers_.outputBuffers(); ++c) {
    const float* out = buffers_.output(c);
    if (!buffers_.sharesInput(c)) {
      for (std::size_t i = n; i < guarded; ++i) {
        requireThat(bitsOf(out[i]) == bitsOf(kTailGuard), [&] {
          return "a " + std::to_string(frames) + "-frame " + processModeName(style_.mode) +
                 " call wrote past the block's end in output " + std::to_string(c);
        });
      }
    }
    const auto channel = static_cast<std::size_t>(c);
    if (channel < output.size()) {
      std::copy_n(out, n, output[channel].begin() + static_cast<std::ptrdiff_t>(start));
    }
  }
}

Channels render(Plugin& plugin, const Channels& input, const std::vector<std::int32_t>& blocks,
                ProcessStyle style) {
  const std::int32_t total = frameCount(input);
  const std::int32_t largest = blocks.empty() ? 1 : *std::max_element(blocks.begin(), blocks.end());
  BlockRunner runner(plugin, std::max(largest, 1), style);
  Channels output = silence(plugin.outputCount(), total);
  require(std::any_of(blocks.begin(), blocks.end(), [](std::int32_t n) { return n > 0; }),
          "internal: a block schedule without frames");
  std::int32_t position = 0;
  std::size_t next = 0;
  while (position < total) {
    const std::int32_t frames = std::min(blocks[next], total - position);
    next = (next + 1) % blocks.size();
    runner.run(input, output, position, frames);
    position += frames;
  }
  return output;
}

// ---- Guarded buffers --------------------------------------------------------------------------

GuardedBuffer::GuardedBuffer(std::size_t writable) : storage_(kFront + kSize) {
  reset(writable);
}

void GuardedBuffer::reset(std::size_t writable) {
  writable_ = std::min(writable, kSize);
  std::fill(storage_.begin(), storage_.end(), kGuard);
  std::fill_n(storage_.begin() + kFront, writable_, 0);
}

std::optional<std::string> GuardedBuffer::damage() const {
  for (std::size_t i = 0; i < kFront; ++i) {
    if (storage_[i] != kGuard) {
      return "wrote " + std::to_string(kFront - i) + " bytes before the buffer's start";
    }
  }
  std::size_t last = 0;
  std::size_t first = 0;
  for (std::size_t i = kFront + writable_; i < storage_.size(); ++i) {
    if (storage_[i] != kGuard) {
      if (first == 0) {
        first = i;
      }
      last = i;
    }
  }
  if (first == 0) {
    return std::nullopt;
  }
  return "wrote " + std::to_string(last - kFront + 1) + " bytes where the interface allows " +
         std::to_string(writable_) + " (text '" + printable(text()) + "')";
}

bool GuardedBuffer::touched() const {
  for (std::size_t i = 0; i < storage_.size(); ++i) {
    const bool writable = i >= kFront && i < kFront + writable_;
    if (storage_[i] != (writable ? 0 : kGuard)) {
      return true;
    }
  }
  return false;
}

std::string GuardedBuffer::text() const {
  const char* start = data();
  std::size_t length = 0;
  while (length < kSize && start[length] != '\0') {
    ++length;
  }
  return std::string(start, length);
}

bool GuardedBuffer::terminated() const {
  return std::memchr(data(), 0, writable_) != nullptr;
}

std::string printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 80)) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  if (text.size() > 80) {
    out += "...";
  }
  return out;
}

}  // namespace plughost::validate
