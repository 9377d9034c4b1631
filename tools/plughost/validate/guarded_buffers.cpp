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
constexpr std::int32_t kTail = 16;
constexpr float kTailGuard = 12345.5f;

}  // namespace

BlockRunner::BlockRunner(PluginInstance& effect, std::int32_t maxFrames, ProcessStyle style)
    : effect_(effect), maxFrames_(maxFrames), style_(style) {
  require(effect.supports(style.mode),
          std::string("the effect has no ") + processModeName(style.mode) + " process entry");
  require(effect.inputs() >= 0 && effect.inputs() <= 256 && effect.outputs() >= 0 &&
              effect.outputs() <= 256,
          "implausible channel counts " + std::to_string(effect.inputs()) + " in, " +
              std::to_string(effect.outputs()) + " out");
  const std::size_t size = static_cast<std::size_t>(maxFrames) + kTail;
  inputs_.assign(static_cast<std::size_t>(std::max(effect.inputs(), 1)),
                 std::vector<float>(size, 0.0f));
  outputs_.assign(static_cast<std::size_t>(std::max(effect.outputs(), 1)),
                  std::vector<float>(size, 0.0f));
  for (auto& channel : inputs_) {
    inputPointers_.push_back(channel.data());
  }
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    const bool shared =
        style.inPlace && c < inputs_.size() && static_cast<std::int32_t>(c) < effect.inputs();
    outputPointers_.push_back(shared ? inputs_[c].data() : outputs_[c].data());
  }
}

void BlockRunner::run(const Channels& input, Channels& output, std::int32_t offset,
                      std::int32_t frames) {
  // Nothing here allocates unless a check fails: the real-time check counts around this call.
  requireThat(frames <= maxFrames_,
              [] { return "internal: block larger than the runner's buffers"; });
  const auto start = static_cast<std::size_t>(offset);
  const auto n = static_cast<std::size_t>(frames);
  for (std::size_t c = 0; c < inputs_.size(); ++c) {
    std::vector<float>& buffer = inputs_[c];
    if (c < input.size()) {
      std::copy_n(input[c].begin() + static_cast<std::ptrdiff_t>(start), n, buffer.begin());
    } else {
      std::fill_n(buffer.begin(), n, 0.0f);
    }
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(n), buffer.end(), kTailGuard);
  }
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    float* out = outputPointers_[c];
    if (out != outputs_[c].data()) {
      continue;  // in place: the input's buffer holds the input
    }
    std::fill_n(out, n, 0.0f);
    std::fill(outputs_[c].begin() + static_cast<std::ptrdiff_t>(n), outputs_[c].end(), kTailGuard);
  }

  effect_.process(style_.mode, inputPointers_.data(), outputPointers_.data(), frames);

  for (std::size_t c = 0; c < inputs_.size(); ++c) {
    for (std::size_t i = n; i < n + kTail; ++i) {
      requireThat(bitsOf(inputs_[c][i]) == bitsOf(kTailGuard), [&] {
        return "a " + std::to_string(frames) + "-frame " + processModeName(style_.mode) +
               " call wrote past the block's end in buffer " + std::to_string(c);
      });
    }
    const bool shared = style_.inPlace && static_cast<std::int32_t>(c) < effect_.outputs();
    if (!shared && c < input.size() && static_cast<std::int32_t>(c) < effect_.inputs()) {
      for (std::size_t i = 0; i < n; ++i) {
        requireThat(bitsOf(inputs_[c][i]) == bitsOf(input[c][start + i]), [&] {
          return std::string("a ") + processModeName(style_.mode) + " call changed input channel " +
                 std::to_string(c) + " at frame " +
                 std::to_string(offset + static_cast<std::int32_t>(i));
        });
      }
    }
  }
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    if (outputPointers_[c] == outputs_[c].data()) {
      for (std::size_t i = n; i < n + kTail; ++i) {
        requireThat(bitsOf(outputs_[c][i]) == bitsOf(kTailGuard), [&] {
          return "a " + std::to_string(frames) + "-frame " + processModeName(style_.mode) +
                 " call wrote past the block's end in output " + std::to_string(c);
        });
      }
    }
    if (c < output.size()) {
      std::copy_n(outputPointers_[c], n, output[c].begin() + static_cast<std::ptrdiff_t>(start));
    }
  }
}

Channels render(PluginInstance& effect, const Channels& input,
                const std::vector<std::int32_t>& blocks, ProcessStyle style) {
  const std::int32_t total = frameCount(input);
  const std::int32_t largest = blocks.empty() ? 1 : *std::max_element(blocks.begin(), blocks.end());
  BlockRunner runner(effect, std::max(largest, 1), style);
  Channels output = silence(effect.outputs(), total);
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
