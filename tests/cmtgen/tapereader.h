// Test-side reader for cmtgen output: parses the WAV and turns level runs back into pulses and bytes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace cmtgentest {

struct Wav {
  int rate_hz = 0;
  int bits = 0;
  std::vector<int32_t> samples;  // signed, 0 is the zero line
};

inline uint32_t le(const std::vector<uint8_t>& b, std::size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
  return v;
}

// Accepts only the canonical 44-byte layout the encoder promises.
inline Wav parsewav(const std::vector<uint8_t>& file) {
  if (file.size() < 44 || std::string(file.begin(), file.begin() + 4) != "RIFF" ||
      std::string(file.begin() + 8, file.begin() + 16) != "WAVEfmt " ||
      std::string(file.begin() + 36, file.begin() + 40) != "data") {
    throw std::runtime_error("not a canonical WAV");
  }
  Wav wav;
  wav.rate_hz = static_cast<int>(le(file, 24, 4));
  wav.bits = static_cast<int>(le(file, 34, 2));
  const int bytes = wav.bits / 8;
  const uint32_t data_bytes = le(file, 40, 4);
  if (data_bytes != file.size() - 44) throw std::runtime_error("data size mismatch");
  for (std::size_t at = 44; at + static_cast<std::size_t>(bytes) <= file.size(); at += static_cast<std::size_t>(bytes)) {
    const uint32_t raw = le(file, at, bytes);
    int32_t value = 0;
    if (bytes == 1) {
      value = static_cast<int32_t>(raw) - 128;
    } else {
      const uint32_t sign = 1u << (wav.bits - 1);
      value = static_cast<int32_t>(raw ^ sign) - static_cast<int32_t>(sign);
    }
    wav.samples.push_back(value);
  }
  return wav;
}

// A run of samples on one side of the zero line (level 0 for silence).
struct Run {
  int level = 0;  // +1 high, -1 low, 0 silent
  long samples = 0;
};

inline std::vector<Run> runs(const std::vector<int32_t>& samples) {
  std::vector<Run> out;
  for (int32_t s : samples) {
    const int level = s > 0 ? 1 : (s < 0 ? -1 : 0);
    if (out.empty() || out.back().level != level) out.push_back({level, 0});
    ++out.back().samples;
  }
  return out;
}

struct Pulse {
  long first_samples = 0;   // high part (low part when inverted)
  long second_samples = 0;
};

// Pulses as pairs of runs: first-part level, then the opposite level. A silent run
// shows up as the marker pulse {0, 0}.
inline std::vector<Pulse> pulses(const std::vector<Run>& rs, bool inverted = false) {
  const int first = inverted ? -1 : 1;
  std::vector<Pulse> out;
  for (std::size_t i = 0; i < rs.size(); ++i) {
    if (rs[i].level == 0) {
      out.push_back({0, 0});
    } else if (rs[i].level == first && i + 1 < rs.size() && rs[i + 1].level == -first) {
      out.push_back({rs[i].samples, rs[i + 1].samples});
      ++i;
    } else {
      throw std::runtime_error("unpaired run at " + std::to_string(i));
    }
  }
  return out;
}

// Symbols: 1 long, 0 short, -1 silence; threshold_samples splits short from long.
inline std::vector<int> symbols(const std::vector<Pulse>& ps, double threshold_samples) {
  std::vector<int> out;
  for (const Pulse& p : ps) {
    const long total = p.first_samples + p.second_samples;
    out.push_back(total == 0 ? -1 : (total > threshold_samples ? 1 : 0));
  }
  return out;
}

// Sequential reader over the symbols, with the tape's framing rules.
class TapeCursor {
 public:
  explicit TapeCursor(std::vector<int> symbols) : s_(std::move(symbols)) {}

  bool done() const { return pos_ >= s_.size(); }
  int peek() const { return done() ? -2 : s_[pos_]; }
  int next() {
    if (done()) throw std::runtime_error("tape ended");
    return s_[pos_++];
  }
  // Length of the run of this symbol starting here, consumed.
  long run(int symbol) {
    long n = 0;
    while (!done() && s_[pos_] == symbol) {
      ++pos_;
      ++n;
    }
    return n;
  }

  struct Block {
    std::vector<uint8_t> bytes;
    unsigned checksum = 0;      // as sent, high byte first
    unsigned onebits = 0;       // counted over bytes, mod 65536
    bool framing_ok = true;     // every start bit and the closing pulse were long
  };

  // size data bytes, then two checksum bytes, each after a long start bit, then the closing pulse.
  Block block(std::size_t size) {
    Block b;
    auto readbyte = [&] {
      if (next() != 1) b.framing_ok = false;
      unsigned value = 0;
      for (int i = 0; i < 8; ++i) {
        const int bit = next();
        if (bit < 0) throw std::runtime_error("silence inside a byte");
        value = (value << 1) | static_cast<unsigned>(bit);
      }
      return value;
    };
    for (std::size_t i = 0; i < size; ++i) b.bytes.push_back(static_cast<uint8_t>(readbyte()));
    const unsigned high = readbyte();
    const unsigned low = readbyte();
    b.checksum = high * 256 + low;
    if (next() != 1) b.framing_ok = false;
    for (uint8_t v : b.bytes) {
      for (int i = 0; i < 8; ++i) b.onebits += (v >> i) & 1u;
    }
    b.onebits &= 0xFFFF;
    return b;
  }

 private:
  std::vector<int> s_;
  std::size_t pos_ = 0;
};

}  // namespace cmtgentest
