// Tape signal synthesis: pulses, leaders, checksummed blocks and whole recordings as WAV.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

namespace cmtgen {

enum class Format { mz, x1, carrysoft };

// Which block copies get one data bit flipped (their checksum then fails).
struct Corruption {
  int file = 0;         // tape file, 0-based
  bool header = false;  // the header block, else the body block
  bool both = false;    // both copies, else the first copy only
};

struct Options {
  int rate = 48000;         // Hz
  int bits = 16;            // 8, 16 or 24
  // Fraction of full scale. Near full scale like a real recorder; at 0.75 a
  // perfect square wave sits exactly on the default comparator hysteresis.
  double amplitude = 0.9;
  bool invert = false;      // pulses go low first
  double noise = 0.0;       // peak of uniform white noise, fraction of full scale
  uint32_t seed = 1;        // noise generator seed
  double dc = 0.0;          // offset, fraction of full scale
  double speed = 1.0;       // tape speed factor: 1.03 plays 3% fast (shorter pulses)
  Format format = Format::mz;
  long headergap = -1;      // gap pulses before a header block; -1: 22000
  long bodygap = -1;        // gap pulses before a body block; -1: 11000
  double silence_s = 0.1;   // silence before the first and after the last tape file
  double filegap_s = 1.0;   // silence between tape files
  std::vector<Corruption> corrupt;
};

// Builds the audio one tape element at a time. Edges are placed by accumulating
// exact tape time and rounding each edge to the sample grid, so long recordings
// do not drift. Throws std::invalid_argument for options it cannot render.
class SignalWriter {
 public:
  explicit SignalWriter(const Options& opt);

  void pulse(bool longpulse);  // one pulse at the format's timing (X1: half durations)
  void pulses(long count, bool longpulse);
  void silence(double seconds);
  // The gap, the tape mark and the long pulse that ends it, in the format's
  // polarity (X1: long gap pulses, short run before the long run).
  void leader(long gap_pulses, long mark_pulses);
  // The bytes, the 16-bit one-bit count high byte first and the closing long pulse.
  // corrupt flips one data bit (or, for an empty block, a checksum bit) after the
  // checksum was counted, so the copy fails its check.
  void block(const std::vector<uint8_t>& bytes, bool corrupt = false);

  std::size_t samplecount() const { return samples_; }
  std::vector<uint8_t> wav() const;  // canonical WAV of everything so far

 private:
  void level(double fraction, int64_t duration_ns);
  void byte(uint8_t value);
  double nextnoise();

  Options opt_;
  int64_t tape_ns_ = 0;     // tape time written so far, at nominal speed
  std::size_t samples_ = 0;
  uint64_t noise_state_;
  std::vector<uint8_t> data_;
};

// A complete recording of the tape files: per file a header block (128 bytes,
// 32 for X1 and CARRY SOFT) and a body block, each with its leader and two copies.
// Throws std::invalid_argument for bad options or a corruption of a missing file.
std::vector<uint8_t> encode(const std::vector<TapeFile>& files, const Options& opt);

}  // namespace cmtgen
