// libsndfile, an independent decoder, reads a file the program wrote.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <vector>

#include "program.hpp"

namespace velkoran::test {

struct Decoded {
  SF_INFO info{};
  std::vector<float> samples;
  std::string log;
};

inline Decoded decode(const fs::path& p) {
  Decoded d;
  SNDFILE* f = sf_open(p.string().c_str(), SFM_READ, &d.info);
  if (f == nullptr) {
    ADD_FAILURE() << "libsndfile refuses the output: " << sf_strerror(nullptr);
    return d;
  }
  char log[8192] = {};
  sf_command(f, SFC_GET_LOG_INFO, log, sizeof log);
  d.log = log;
  d.samples.resize(static_cast<std::size_t>(d.info.frames * d.info.channels));
  const sf_count_t got =
      sf_read_float(f, d.samples.data(), static_cast<sf_count_t>(d.samples.size()));
  d.samples.resize(static_cast<std::size_t>(got));
  sf_close(f);
  return d;
}

}  // namespace velkoran::test
