// Builders for WAVE inputs and the float outputs expected from them. Every
// field is given explicitly, so tests can state wrong ones just as easily.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace velkoran::test {

class Bytes {
 public:
  Bytes() = default;

  Bytes& id(const char (&s)[5]) { return raw(std::string(s, 4)); }
  Bytes& raw(const std::string& s) {
    v_.insert(v_.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& u8(unsigned b) {
    v_.push_back(static_cast<unsigned char>(b));
    return *this;
  }
  Bytes& u16(std::uint32_t x) { return u8(x & 0xFF).u8((x >> 8) & 0xFF); }
  Bytes& u24(std::uint32_t x) { return u16(x & 0xFFFF).u8((x >> 16) & 0xFF); }
  Bytes& u32(std::uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
  // One integer sample of `width` bytes (2 or 3), two's complement.
  Bytes& sample(unsigned width, std::int32_t s) {
    const auto bits = static_cast<std::uint32_t>(s);
    return width == 2 ? u16(bits) : u24(bits);
  }
  Bytes& fill(std::size_t n, unsigned b) {
    v_.insert(v_.end(), n, static_cast<unsigned char>(b));
    return *this;
  }
  Bytes& add(const Bytes& other) {
    v_.insert(v_.end(), other.v_.begin(), other.v_.end());
    return *this;
  }
  // A whole chunk: id, size, body, and the pad byte after an odd body.
  Bytes& chunk(const char (&name)[5], const Bytes& body) {
    unpadded_chunk(name, body);
    return body.size() % 2 != 0 ? u8(0) : *this;
  }
  // A chunk as some writers leave it: no pad byte after an odd body.
  Bytes& unpadded_chunk(const char (&name)[5], const Bytes& body) {
    return id(name).u32(static_cast<std::uint32_t>(body.size())).add(body);
  }

  // Overwrites the 32-bit field at `offset`.
  Bytes& set_u32(std::size_t offset, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
      v_.at(offset + static_cast<std::size_t>(i)) = static_cast<unsigned char>(x >> (8 * i));
    return *this;
  }

  std::size_t size() const { return v_.size(); }
  const std::vector<unsigned char>& data() const { return v_; }
  std::string str() const { return std::string(v_.begin(), v_.end()); }
  Bytes head(std::size_t n) const {
    Bytes b;
    b.v_.assign(v_.begin(), v_.begin() + static_cast<std::ptrdiff_t>(n));
    return b;
  }

 private:
  std::vector<unsigned char> v_;
};

// The format chunk's fields, defaulting to stereo 48 kHz 24-bit PCM. The
// with_ modifiers chain: Format::pcm16().with_channels(1).with_block_align(2).
struct Format {
  std::uint32_t size = 16;  // the format chunk size as declared
  std::uint16_t tag = 1;
  std::uint16_t channels = 2;
  std::uint32_t rate = 48000;
  std::uint32_t byte_rate = 48000 * 6;
  std::uint16_t block_align = 6;
  Bytes tail = Bytes().u16(24);  // wBitsPerSample and whatever follows

  static Format pcm16() {
    return Format().with_byte_rate(48000 * 4).with_block_align(4).with_tail(Bytes().u16(16));
  }
  static Format pcm24() { return Format(); }

  Format with_size(std::uint32_t v) const { return with(&Format::size, v); }
  Format with_tag(std::uint16_t v) const { return with(&Format::tag, v); }
  Format with_channels(std::uint16_t v) const { return with(&Format::channels, v); }
  Format with_rate(std::uint32_t v) const { return with(&Format::rate, v); }
  Format with_byte_rate(std::uint32_t v) const { return with(&Format::byte_rate, v); }
  Format with_block_align(std::uint16_t v) const { return with(&Format::block_align, v); }
  // The tail, and the format chunk size that declares exactly it.
  Format with_tail(const Bytes& t) const {
    return with(&Format::tail, t).with_size(14 + static_cast<std::uint32_t>(t.size()));
  }

 private:
  template <typename T>
  Format with(T Format::*field, T v) const {
    Format f = *this;
    f.*field = v;
    return f;
  }
};

// A LIST chunk of odd size, so followed by its pad byte, whose text ends in
// a byte of value 24 (which some converters once rewrote).
inline Bytes list_chunk() {
  Bytes body;
  body.raw("INFOICMT").u32(5).raw("take").u8(24);
  return Bytes().chunk("LIST", body);
}

// Integer samples of `width` bytes (2 or 3) as an input holds them.
inline Bytes samples(unsigned width, const std::vector<std::int32_t>& values) {
  Bytes b;
  for (std::int32_t s : values) b.sample(width, s);
  return b;
}

// The floats an output must hold for those samples: s / 2^15 or s / 2^23.
inline Bytes floats(unsigned width, const std::vector<std::int32_t>& values) {
  const float scale = width == 2 ? 32768.0f : 8388608.0f;
  Bytes b;
  for (std::int32_t s : values) {
    const float f = static_cast<float>(s) / scale;
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    b.u32(bits);
  }
  return b;
}

// `count` samples that differ from their neighbours and cover the whole range
// of `width` bytes, both signs.
inline std::vector<std::int32_t> varied(unsigned width, std::size_t count) {
  const std::uint32_t bits = width == 2 ? 16 : 24;
  std::vector<std::int32_t> v;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t x = static_cast<std::uint32_t>(i * 2654435761u) >> (32 - bits);
    v.push_back(static_cast<std::int32_t>(x) - (std::int32_t{1} << (bits - 1)));
  }
  return v;
}

// "fmt ", its size and the format fields, exactly as given.
inline Bytes format_chunk(const Format& f) {
  Bytes b;
  b.id("fmt ").u32(f.size);
  b.u16(f.tag).u16(f.channels).u32(f.rate).u32(f.byte_rate).u16(f.block_align).add(f.tail);
  return b;
}

// "RIFF", its size, "WAVE" and the format chunk.
inline Bytes riff_and_format(const Format& f, std::uint32_t riff_size) {
  return Bytes().id("RIFF").u32(riff_size).id("WAVE").add(format_chunk(f));
}

// The output's format fields for an input format: the float tag, 8-byte
// blocks, the given byte rate, and the first two tail bytes stating 32 bits.
inline Format float_format_of(const Format& f, std::uint32_t out_byte_rate) {
  Format o = f;
  o.tag = 3;
  o.byte_rate = out_byte_rate;
  o.block_align = 8;
  o.tail = Bytes();
  const auto& t = f.tail.data();
  for (std::size_t i = 0; i < t.size(); ++i) o.tail.u8(i == 0 ? 32 : i == 1 ? 0 : t[i]);
  return o;
}

// The output expected for a plain input: the float header with true sizes,
// the chunks the input held before its data, the float samples as given,
// then whatever the input held after its data.
inline Bytes float_wave(const Format& in, const Bytes& floats, const Bytes& after = Bytes(),
                        const Bytes& before = Bytes());

// Sets the RIFF size of a whole file to what it holds: its length less 8.
inline Bytes& set_riff_size(Bytes& file) {
  return file.set_u32(4, static_cast<std::uint32_t>(file.size() - 8));
}

// A file of the chunks given, its RIFF size its length less 8.
inline Bytes riff(const Bytes& chunks) {
  Bytes b = Bytes().id("RIFF").u32(0).id("WAVE").add(chunks);
  return set_riff_size(b);
}

// A plain input file: the format chunk, the chunks `before` the data, then
// "data" with the declared size and whatever bytes stand after it (samples,
// pad bytes, later chunks), all inside its RIFF chunk.
inline Bytes pcm_wave(const Format& f, std::uint32_t data_size, const Bytes& after,
                      const Bytes& before = Bytes()) {
  Bytes b = riff_and_format(f, 0).add(before).id("data").u32(data_size).add(after);
  return set_riff_size(b);
}

// The RF64 file velkoran writes where the RIFF output `riff` (with its true
// sizes, its chunks padded) cannot fit: a ds64 chunk right after the form
// type states the RIFF size (the `outside` bytes after the RIFF chunk left
// out), the data size and the frames, and the 32-bit sizes say "look there".
inline Bytes as_rf64(const Bytes& riff, std::size_t outside = 0) {
  const auto& b = riff.data();
  const auto u32 = [&b](std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) |
           (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 3]} << 24);
  };
  std::size_t data = 12;
  while (std::memcmp(&b[data], "data", 4) != 0) data += 8 + u32(data + 4) + u32(data + 4) % 2;
  const std::uint64_t riff_size = riff.size() + 36 - outside - 8;
  const std::uint64_t data_size = u32(data + 4);
  Bytes r;
  r.id("RF64").u32(0xFFFFFFFF).id("WAVE").id("ds64").u32(28);
  for (const std::uint64_t v : {riff_size, data_size, data_size / 8}) {
    r.u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32));
  }
  r.u32(0);
  Bytes rest;
  rest.raw(std::string(b.begin() + 12, b.end()));
  rest.set_u32(data + 4 - 12, 0xFFFFFFFF);
  return r.add(rest);
}

inline Bytes float_wave(const Format& in, const Bytes& floats, const Bytes& after,
                        const Bytes& before) {
  Bytes b = riff_and_format(float_format_of(in, in.rate * 8), 0)
                .add(before)
                .id("data")
                .u32(static_cast<std::uint32_t>(floats.size()))
                .add(floats)
                .add(after);
  return set_riff_size(b);
}

}  // namespace velkoran::test
