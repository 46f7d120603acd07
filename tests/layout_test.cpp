// A file described in pieces, read back over the input it was made from:
// every read, across every piece's edge and the reader's buffer refills,
// gives the bytes the description says, and nothing past them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "in_process.hpp"
#include "wave/layout.hpp"

namespace velkoran::wave {
namespace {

std::string random_bytes(std::size_t n) {
  std::string s(n, '\0');
  unsigned x = 12345;
  for (char& c : s) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  return s;
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
  std::FILE* in = test::file_holding(input);
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
  // An input shorter than it was when described is a failed read, not an end.
  Layout past;
  past.carry(input.size() - 1000, 1000);
  past.carry(input.size() - 1000, 2000);
  LayoutSource shorter(past, in);
  Reader cut(shorter);
  EXPECT_EQ(read_all(cut, 4096).size(), 2000u);
  EXPECT_TRUE(cut.failed());
  std::fclose(in);
}

// A description past its bound stops short, and is made again from where a
// read goes on: the whole file reads back, from its start and from inside,
// a carried stretch too, though each description moves the input (as
// re-laying reads it).
TEST(Layout, PastItsBoundItIsDescribedAgainFromThere) {
  constexpr std::size_t kStretch = 16;
  const std::size_t pieces = 3 * Layout::kMaxBytes / 64;  // two new ones, at least
  const std::string input = random_bytes(pieces * kStretch);
  std::FILE* in = test::file_holding(input);
  std::string want;
  const auto describe = [&](Layout& l) {
    std::fseek(in, 0, SEEK_END);
    for (std::size_t i = 0; i < pieces; ++i) {
      const auto b = static_cast<unsigned char>('a' + i % 26);
      if (!l.put(l.length(), &b, 1)) return false;
      l.carry(i * kStretch, kStretch);
    }
    return true;
  };
  for (std::size_t i = 0; i < pieces; ++i) {
    want += static_cast<char>('a' + i % 26);
    want += input.substr(i * kStretch, kStretch);
  }
  Layout layout;
  ASSERT_TRUE(describe(layout));
  ASSERT_LT(layout.described_to(), layout.length());
  int made = 0;
  LayoutSource source(layout, in, [&](Layout& l) { return ++made, describe(l); });
  Reader reader(source);
  EXPECT_TRUE(read_all(reader, 1 << 20) == want);
  EXPECT_GE(made, 2);
  // The start; a byte of a carried stretch past the first description's
  // end, where none of them is held now; near the end.
  const std::uint64_t inside = layout.described_to() + 3 * (kStretch + 1) + 5;
  for (std::uint64_t at : {std::uint64_t{0}, inside, std::uint64_t{want.size() - 100001}}) {
    ASSERT_TRUE(reader.seek(at));
    EXPECT_TRUE(read_all(reader, 65537) == want.substr(at)) << at;
  }
  EXPECT_FALSE(reader.failed());
  // Without a way to describe it again, the rest cannot be read.
  LayoutSource short_of_it(layout, in);
  Reader cut(short_of_it);
  EXPECT_EQ(read_all(cut, 1 << 20).size(), layout.described_to());
  EXPECT_TRUE(cut.failed());
  std::fclose(in);
}

}  // namespace
}  // namespace velkoran::wave
