// The fuzz target's checks on one input, for libFuzzer and the replay alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkoran::fuzz {

// Converts `data` (with the controls of its trailer, if it has one) and checks
// every invariant, aborting with its message where one breaks. Gives back the
// run's exit status.
int check_one(const std::uint8_t* data, std::size_t size);

}  // namespace velkoran::fuzz
