// Canonical mono PCM WAV output: the 44-byte header and the sample encoding.
#include "wavwriter.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace cmtgen {

namespace {

constexpr uint16_t pcm_tag = 1;
constexpr uint16_t mono_channels = 1;
constexpr uint32_t fmt_chunk_bytes = 16;
// RIFF size counts everything after its own field: "WAVE", the fmt chunk and the data chunk header.
constexpr uint32_t riff_overhead_bytes = 4 + (8 + fmt_chunk_bytes) + 8;

void put(std::vector<uint8_t>& out, const char (&tag)[5]) {
  out.insert(out.end(), tag, tag + 4);
}

void put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

bool validbits(int bits) { return bits == 8 || bits == 16 || bits == 24; }

std::vector<uint8_t> wavheader(int rate_hz, int bits, std::size_t data_bytes) {
  if (rate_hz <= 0) throw std::invalid_argument("sample rate must be positive");
  if (!validbits(bits)) throw std::invalid_argument("sample width must be 8, 16 or 24 bits, not " + std::to_string(bits));
  const uint32_t block_bytes = static_cast<uint32_t>(bits / 8);
  const uint64_t byterate = static_cast<uint64_t>(rate_hz) * block_bytes;
  constexpr uint64_t max32 = std::numeric_limits<uint32_t>::max();
  if (byterate > max32) throw std::length_error("byte rate does not fit the WAV header");
  if (data_bytes > max32 - riff_overhead_bytes) throw std::length_error("audio too long for a WAV file");

  std::vector<uint8_t> out;
  out.reserve(wavheader_bytes);
  put(out, "RIFF");
  put32(out, static_cast<uint32_t>(data_bytes) + riff_overhead_bytes);
  put(out, "WAVE");
  put(out, "fmt ");
  put32(out, fmt_chunk_bytes);
  put16(out, pcm_tag);
  put16(out, mono_channels);
  put32(out, static_cast<uint32_t>(rate_hz));
  put32(out, static_cast<uint32_t>(byterate));
  put16(out, static_cast<uint16_t>(block_bytes));
  put16(out, static_cast<uint16_t>(bits));
  put(out, "data");
  put32(out, static_cast<uint32_t>(data_bytes));
  return out;
}

void appendsample(std::vector<uint8_t>& data, int bits, double level) {
  const double fullscale = std::ldexp(1.0, bits - 1);  // 128, 32768, 8388608
  double scaled = std::round(level * fullscale);
  if (!(scaled >= -fullscale)) scaled = -fullscale;  // also catches NaN
  if (scaled > fullscale - 1) scaled = fullscale - 1;
  const auto value = static_cast<int32_t>(scaled);
  switch (bits) {
    case 8:
      data.push_back(static_cast<uint8_t>(value + 128));  // 8-bit WAV is unsigned around 128
      break;
    case 16:
      put16(data, static_cast<uint16_t>(value));
      break;
    case 24: {
      const auto raw = static_cast<uint32_t>(value);
      data.push_back(static_cast<uint8_t>(raw & 0xFF));
      data.push_back(static_cast<uint8_t>((raw >> 8) & 0xFF));
      data.push_back(static_cast<uint8_t>((raw >> 16) & 0xFF));
      break;
    }
    default:
      throw std::invalid_argument("sample width must be 8, 16 or 24 bits");
  }
}

}  // namespace cmtgen
