// The cases of a table test carry their own name: it names the test, and a
// failure prints it instead of the case's bytes.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace velkoran::test {

// The base of every case, whose name then comes first: `struct Case : NamedCase
// { ... }`, and `Case{"Name", ...}`.
struct NamedCase {
  const char* name;
};

inline std::ostream& operator<<(std::ostream& os, const NamedCase& c) {
  return os << c.name;
}

// The name generator of INSTANTIATE_TEST_SUITE_P for such a table.
struct ByName {
  template <class Case>
  std::string operator()(const testing::TestParamInfo<Case>& p) const {
    return p.param.name;
  }
};

}  // namespace velkoran::test
