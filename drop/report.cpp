#include "drop/report.hpp"

#include <cstdio>

#include "platform/files.hpp"
#include "platform/quote.hpp"
#include "platform/wtf8.hpp"

namespace velkoran::drop {
namespace {

// How many bytes the UTF-8 sequence at `s[i]` takes, and its code point;
// 0 where it is none. With `surrogates`, the three bytes of a lone
// surrogate (WTF-8, as Windows names are held) count as one.
std::size_t sequence(const std::string& s, std::size_t i, bool surrogates, std::uint32_t& cp) {
  char32_t c = 0;
  const std::size_t n = platform::code_point_at(s, i, c);
  cp = static_cast<std::uint32_t>(c);
  if (n != 0 && cp >= 0xD800 && cp <= 0xDFFF && !surrogates) return 0;
  return n;
}

std::string escape(std::uint32_t unit) {
  char b[8];
  std::snprintf(b, sizeof b, "\\u%04x", static_cast<unsigned>(unit));
  return b;
}

const char* outcome_word(const Result& r, bool dry_run) {
  switch (r.kind) {
    case Result::kConverted:
    case Result::kRelaidAndConverted:
      return "converted";
    case Result::kAlready:
      return "already converted";
    case Result::kPassedOver:
      return "passed over";
    case Result::kCopied:
      return "copied";
    case Result::kAlreadyCopied:
      return "already copied";
    case Result::kWouldConvert:
    case Result::kWouldRelay:
      return "would convert";
    case Result::kWouldCopy:
      return "would copy";
    case Result::kRefused:
    case Result::kFailed:
      return dry_run ? "would not convert" : "not converted";
    case Result::kInterrupted:
      break;
  }
  return "interrupted";
}

std::string number(std::uint64_t n) {
  return std::to_string(n);
}

// The output's path as the recording's is given: beside it, in its folder.
std::string output_path(const Recording& r) {
  if (!r.out_shown.empty()) return output_shown(r);
#if defined(_WIN32)
  const std::size_t sep = r.shown.find_last_of("/\\");
#else
  const std::size_t sep = r.shown.rfind('/');
#endif
  return (sep == std::string::npos ? "" : r.shown.substr(0, sep + 1)) + output_shown(r);
}

}  // namespace

std::string json_string(const std::string& s) {
#if defined(_WIN32)
  const bool surrogates = true;
#else
  const bool surrogates = false;
#endif
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    std::uint32_t cp = 0;
    const std::size_t n = sequence(s, i, surrogates, cp);
    if (n == 0) {
      out += escape(0xDC00u + static_cast<unsigned char>(s[i]));
      ++i;
      continue;
    }
    if (cp == '"' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp < 0x20 || cp == 0x7F || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += escape(cp);
    } else {
      out.append(s, i, n);
    }
    i += n;
  }
  return out + "\"";
}

bool Report::open(const std::string& name, std::FILE* out, std::string& error) {
  if (name == "-") {
    f_ = out;
    return true;
  }
  using Refusal = platform::Replacement::Refusal;
  const std::string shown = platform::shown_name(name);
  // Never in a recording's place.
  if (platform::ends_in_wav(name)) {
    error = "velkoran-drop: the report " + shown + " would take a recording's name\n";
    return false;
  }
  const Refusal refusal = file_.open(name, stdin);
  if (refusal != Refusal::kNone) {
    error = "velkoran-drop: the report " + shown + " could not be written" +
            (refusal == Refusal::kNotOpened
                 ? " (" + file_.why() + ")"
                 : ": what stands there is not a file of its own, and is left as it is") +
            "\n";
    return false;
  }
  f_ = file_.file();
  return true;
}

void Report::write(const std::string& line) {
  if (f_ == nullptr) return;
  // As the run goes: each record whole, at once.
  if (std::fwrite(line.data(), 1, line.size(), f_) != line.size() || std::fflush(f_) != 0) {
    failed_ = true;
  }
}

void Report::record(const Recording& r, const Result& result, bool dry_run) {
  const bool has_output = result.kind != Result::kRefused && result.kind != Result::kFailed &&
                          result.kind != Result::kInterrupted && result.kind != Result::kPassedOver;
  std::string line = "{\"input\":" + json_string(r.shown) +
                     ",\"output\":" + (has_output ? json_string(output_path(r)) : "null") +
                     ",\"outcome\":\"" + outcome_word(result, dry_run) + "\",\"reason\":" +
                     (result.detail.empty() ? "null" : json_string(result.detail));
  if (result.stats) {
    const Stats& s = *result.stats;
    line += ",\"frames\":" + number(s.frames) + ",\"channels\":" + number(s.channels) +
            ",\"bits\":" + number(s.bits) + ",\"rate\":" + number(s.rate) + ",\"relaid\":" +
            (result.kind == Result::kRelaidAndConverted || result.kind == Result::kWouldRelay
                 ? "true"
                 : "false") +
            ",\"rf64\":" + (result.rf64 ? "true" : "false") +
            ",\"verified\":" + (result.verified ? "true" : "false");
  }
  write(line + "}\n");
}

bool Report::finish(const Counts& c, bool dry_run, bool interrupted) {
  write("{\"summary\":{\"version\":1,\"recordings\":" + number(c.all) +
        ",\"converted\":" + number(c.converted) + ",\"already\":" + number(c.already) +
        ",\"not_converted\":" + number(c.not_converted) +
        ",\"not_reached\":" + number(c.not_reached) + ",\"verified\":" + number(c.verified) +
        ",\"dry_run\":" + (dry_run ? "true" : "false") +
        ",\"interrupted\":" + (interrupted ? "true" : "false") + "}}\n");
  if (file_.file() != nullptr && !file_.commit()) failed_ = true;
  return !failed_;
}

}  // namespace velkoran::drop
