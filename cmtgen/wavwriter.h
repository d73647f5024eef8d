// Canonical mono PCM WAV output: the 44-byte header and the sample encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cmtgen {

inline constexpr std::size_t wavheader_bytes = 44;

// True for the sample widths we write: 8 (unsigned), 16 and 24 (signed).
bool validbits(int bits);

// "RIFF", size, "WAVE", a 16-byte "fmt " chunk (PCM, mono) and the "data" chunk
// header for data_bytes bytes of samples. Throws std::invalid_argument for a
// bad rate or width and std::length_error when the sizes do not fit 32 bits.
std::vector<uint8_t> wavheader(int rate_hz, int bits, std::size_t data_bytes);

// Appends one sample; level is a fraction of full scale (-1 to 1, 0 the zero line),
// rounded to the sample grid and clamped to the width's range.
void appendsample(std::vector<uint8_t>& data, int bits, double level);

}  // namespace cmtgen
