// A file described in pieces, read back over the input it was made from:
// every read, across every piece's edge and the reader's buffer refills,
// gives the bytes the description says, and nothing past them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "wave/layout.hpp"

namespace velkoran::wave {
namespace {

std::string random_bytes(std::size_t n) {
  std::string s(n, '\0');
  unsigned x = 12345;
  for (char& c : s) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  return s;
}

std::FILE* file_of(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

// Everything the reader gives, in reads of `step` bytes.
std::string read_all(Reader& r, std::size_t step) {
  std::string got, piece(step, '\0');
  for (;;) {
    const std::size_t k = r.read(reinterpret_cast<unsigned char*>(&piece[0]), step);
    got.append(piece, 0, k);
    if (k < step) return got;
  }
}

TEST(Layout, ReadsBackWhatItDescribes) {
  const std::string input = random_bytes(3 << 20);
  std::FILE* in = file_of(input);
  Layout layout;
  std::string want;  // the same file, built by hand
  auto put = [&](const std::string& s) {
    ASSERT_TRUE(
        layout.put(layout.length(), reinterpret_cast<const unsigned char*>(s.data()), s.size()));
    want += s;
  };
  auto carry = [&](std::size_t from, std::size_t n) {
    layout.carry(from, n);
    want += input.substr(from, n);
  };
  put(std::string("RIFF\0\0\0\0WAVE", 12));
  carry(100, 7);  // a piece shorter than anything read
  put("x");
  carry(1000, (1 << 20) + 3);  // pieces past a block, joined where they meet
  carry(1000 + (1 << 20) + 3, 70000);
  put(std::string(5, '\0'));
  carry(5, 2 << 20);
  // A size set afterwards, over new bytes.
  ASSERT_TRUE(layout.put(4, reinterpret_cast<const unsigned char*>("\x01\x02\x03\x04"), 4));
  want.replace(4, 4, "\x01\x02\x03\x04");
  // Not over the input's bytes, nor past the end.
  EXPECT_FALSE(layout.put(13, reinterpret_cast<const unsigned char*>("zz"), 2));
  EXPECT_FALSE(layout.put(layout.length() + 1, reinterpret_cast<const unsigned char*>("z"), 1));
  ASSERT_EQ(layout.length(), want.size());

  for (std::size_t step : {std::size_t{1} << 20, std::size_t{65537}, std::size_t{3}}) {
    LayoutSource source(layout, in);
    Reader reader(source);
    EXPECT_EQ(read_all(reader, step) == want, true) << step;
    EXPECT_FALSE(reader.failed());
    // Again from a place inside it, then from its start.
    for (std::uint64_t at : {std::uint64_t{12 + 7 + 1 + 500000}, std::uint64_t{0}}) {
      ASSERT_TRUE(reader.seek(at));
      EXPECT_EQ(read_all(reader, step) == want.substr(at), true) << step << " from " << at;
    }
  }
  std::fclose(in);
}

// An input shorter than it was when described is a failed read, not an end;
// a description past its bound cannot be read back.
TEST(Layout, AChangedInputOrAnOverflowFails) {
  std::FILE* in = file_of(random_bytes(1000));
  Layout layout;
  layout.carry(0, 1000);
  layout.carry(0, 2000);
  LayoutSource source(layout, in);
  Reader reader(source);
  EXPECT_EQ(read_all(reader, 4096).size(), 2000u);
  EXPECT_TRUE(reader.failed());

  Layout many;
  for (std::size_t i = 0; !many.overflowed() && i < Layout::kMaxBytes; ++i) many.carry(2 * i, 1);
  EXPECT_TRUE(many.overflowed());
  LayoutSource none(many, in);
  unsigned char b = 0;
  EXPECT_EQ(none.read(&b, 1), 0u);
  EXPECT_TRUE(none.failed());
  EXPECT_FALSE(none.seek(0));
  std::fclose(in);
}

}  // namespace
}  // namespace velkoran::wave
