// What a conversion tells whoever runs it, on the way: the format tag as soon
// as it is read (the front end prints it), and how far the samples have come
// (the front end shows that on a terminal). By default, neither is seen.
#pragma once

#include <cstdint>
#include <optional>

namespace velkoran::wave {

class Observer {
 public:
  virtual ~Observer() = default;
  // wFormatTag has been read, and all that was written before it is in the
  // output; it has not been checked yet.
  virtual void format_tag(std::uint16_t /*tag*/) {}
  // `read` bytes of the input have been read, of `length` where it is known;
  // told at each block of samples.
  virtual void advance(std::uint64_t /*read*/, std::optional<std::uint64_t> /*length*/) {}
  // The output passes what RIFF sizes can state, and is written as RF64.
  virtual void as_rf64() {}
  // An MD5 chunk states a digest that the input's data does not have (the
  // recording changed after its digest was made): the output holds a JUNK
  // chunk in its place.
  virtual void stale_digest() {}
};

}  // namespace velkoran::wave
