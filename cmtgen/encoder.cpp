// Tape signal synthesis: pulses, leaders, checksummed blocks and whole recordings as WAV.
#include "encoder.h"

#include <bit>
#include <cmath>
#include <stdexcept>
#include <string>

#include "wavwriter.h"

namespace cmtgen {

namespace {

// MZ pulse parts in nanoseconds; an X1 tape runs every part at half length.
constexpr int64_t long_high_ns = 464'000;
constexpr int64_t long_low_ns = 494'000;
constexpr int64_t short_high_ns = 240'000;
constexpr int64_t short_low_ns = 264'000;

constexpr long standard_headergap_pulses = 22'000;
constexpr long standard_bodygap_pulses = 11'000;
constexpr long header_mark_pulses = 40;
constexpr long body_mark_pulses = 20;
constexpr long copygap_pulses = 256;  // short pulses between the two copies of a block
constexpr std::size_t short_headerblock_bytes = 32;  // X1 and CARRY SOFT send part of the record

bool finite(double value) { return std::isfinite(value); }

void check(bool ok, const std::string& what) {
  if (!ok) throw std::invalid_argument(what);
}

}  // namespace

SignalWriter::SignalWriter(const Options& opt) : opt_(opt), noise_state_(opt.seed) {
  check(opt.rate > 0, "sample rate must be positive");
  check(validbits(opt.bits), "sample width must be 8, 16 or 24 bits");
  check(finite(opt.amplitude) && opt.amplitude >= 0 && opt.amplitude <= 1, "amplitude must be 0 to 1");
  check(finite(opt.noise) && opt.noise >= 0 && opt.noise <= 1, "noise must be 0 to 1");
  check(finite(opt.dc) && opt.dc >= -1 && opt.dc <= 1, "DC offset must be -1 to 1");
  check(finite(opt.speed) && opt.speed > 0, "speed factor must be positive");
  check(finite(opt.silence_s) && opt.silence_s >= 0, "silence must not be negative");
  check(finite(opt.filegap_s) && opt.filegap_s >= 0, "gap between files must not be negative");
  wavheader(opt.rate, opt.bits, 0);  // rejects a rate whose byte rate does not fit the header
}

double SignalWriter::nextnoise() {
  // splitmix64: small, fast and the same on every platform, so a seed always gives the same file.
  noise_state_ += 0x9E3779B97F4A7C15ULL;
  uint64_t z = noise_state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  const double unit = static_cast<double>(z >> 11) * 0x1.0p-53;  // [0, 1)
  return opt_.noise * (2.0 * unit - 1.0);
}

void SignalWriter::level(double fraction, int64_t duration_ns) {
  tape_ns_ += duration_ns;
  // Each edge is rounded from the exact total, never from the previous edge.
  const long double edge = static_cast<long double>(tape_ns_) * opt_.rate /
                           (1e9L * static_cast<long double>(opt_.speed));
  const auto edge_samples = static_cast<std::size_t>(std::llround(edge));
  for (; samples_ < edge_samples; ++samples_) {
    const double noise = opt_.noise > 0 ? nextnoise() : 0.0;
    appendsample(data_, opt_.bits, fraction + opt_.dc + noise);
  }
}

void SignalWriter::pulse(bool longpulse) {
  const int64_t divisor = opt_.format == Format::x1 ? 2 : 1;
  const double high = opt_.invert ? -opt_.amplitude : opt_.amplitude;
  level(high, (longpulse ? long_high_ns : short_high_ns) / divisor);
  level(-high, (longpulse ? long_low_ns : short_low_ns) / divisor);
}

void SignalWriter::pulses(long count, bool longpulse) {
  for (long i = 0; i < count; ++i) pulse(longpulse);
}

void SignalWriter::silence(double seconds) {
  check(finite(seconds) && seconds >= 0, "silence must not be negative");
  level(0.0, std::llround(seconds * 1e9));
}

void SignalWriter::leader(long gap_pulses, long mark_pulses) {
  const bool gap_long = opt_.format == Format::x1;
  pulses(gap_pulses, gap_long);
  pulses(mark_pulses, !gap_long);
  pulses(mark_pulses, gap_long);
  pulse(true);  // ends the tape mark; the block's first start bit follows
}

void SignalWriter::byte(uint8_t value) {
  pulse(true);  // start bit
  for (int bit = 7; bit >= 0; --bit) pulse(((value >> bit) & 1) != 0);
}

void SignalWriter::block(const std::vector<uint8_t>& bytes, bool corrupt) {
  unsigned onebits = 0;
  for (uint8_t value : bytes) onebits += static_cast<unsigned>(std::popcount(value));
  auto checksum = static_cast<uint16_t>(onebits & 0xFFFF);
  std::vector<uint8_t> sent = bytes;
  if (corrupt) {
    // One flipped bit changes the count by one, so the check always fails.
    if (!sent.empty()) {
      sent[0] ^= 0x01;
    } else {
      checksum ^= 0x0001;
    }
  }
  for (uint8_t value : sent) byte(value);
  byte(static_cast<uint8_t>(checksum >> 8));
  byte(static_cast<uint8_t>(checksum & 0xFF));
  pulse(true);  // closing pulse
}

std::vector<uint8_t> SignalWriter::wav() const {
  std::vector<uint8_t> data = data_;
  // An odd data chunk would need a pad byte that naive readers take for a sample;
  // one more silent sample avoids it.
  if (data.size() % 2 != 0) appendsample(data, opt_.bits, opt_.dc);
  std::vector<uint8_t> out = wavheader(opt_.rate, opt_.bits, data.size());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> encode(const std::vector<TapeFile>& files, const Options& opt) {
  for (const Corruption& c : opt.corrupt) {
    check(c.file >= 0 && static_cast<std::size_t>(c.file) < files.size(),
          "corruption names tape file " + std::to_string(c.file) + ", but the tape files are 0 to " +
              std::to_string(static_cast<long>(files.size()) - 1));
  }
  check(opt.headergap >= -1 && opt.bodygap >= -1, "gap pulse counts must not be negative");
  const long headergap = opt.headergap < 0 ? standard_headergap_pulses : opt.headergap;
  const long bodygap = opt.bodygap < 0 ? standard_bodygap_pulses : opt.bodygap;
  const std::size_t headerblock_bytes =
      opt.format == Format::mz ? headerrecord_bytes : short_headerblock_bytes;

  SignalWriter writer(opt);
  writer.silence(opt.silence_s);
  for (std::size_t index = 0; index < files.size(); ++index) {
    const TapeFile& file = files[index];
    check(file.header.size() >= headerblock_bytes,
          "header record of tape file " + std::to_string(index) + " is too short");
    bool corrupt_first[2] = {false, false};  // [header, body]
    bool corrupt_second[2] = {false, false};
    for (const Corruption& c : opt.corrupt) {
      if (static_cast<std::size_t>(c.file) != index) continue;
      const int which = c.header ? 0 : 1;
      corrupt_first[which] = true;
      if (c.both) corrupt_second[which] = true;
    }
    if (index > 0) writer.silence(opt.filegap_s);

    const std::vector<uint8_t> headerblock(file.header.begin(),
                                           file.header.begin() + static_cast<std::ptrdiff_t>(headerblock_bytes));
    writer.leader(headergap, header_mark_pulses);
    writer.block(headerblock, corrupt_first[0]);
    writer.pulses(copygap_pulses, false);
    writer.block(headerblock, corrupt_second[0]);

    writer.leader(bodygap, body_mark_pulses);
    writer.block(file.body, corrupt_first[1]);
    writer.pulses(copygap_pulses, false);
    writer.block(file.body, corrupt_second[1]);
  }
  writer.silence(opt.silence_s);
  return writer.wav();
}

}  // namespace cmtgen
