// How far a conversion has come, told at each block of samples to whoever
// shows it (the front end, on a terminal).
#pragma once

#include <cstdint>
#include <optional>

namespace velkoran::wave {

class Progress {
 public:
  virtual ~Progress() = default;
  // `read` bytes of the input have been read, of `length` where it is known.
  virtual void advance(std::uint64_t read, std::optional<std::uint64_t> length) = 0;
};

}  // namespace velkoran::wave
