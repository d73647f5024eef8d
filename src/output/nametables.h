// Conversion tables from the MZ and X1 tape character sets to console characters.
#pragma once

#include <array>
#include <cstdint>

namespace cmtgrab {

// The tables cover the codes 0x20..0xFF; a code's entry is at code - nametable_firstcode.
constexpr int nametable_firstcode = 0x20;
constexpr int nametable_entries = 224;

// Two-byte Shift-JIS (code page 932) characters, lead byte in the high half.
extern const std::array<uint16_t, nametable_entries> mzsjis;
extern const std::array<uint16_t, nametable_entries> x1sjis;

// One-byte ASCII stand-ins; '*' where the character set has no counterpart.
extern const std::array<char, nametable_entries> mzascii;
extern const std::array<char, nametable_entries> x1ascii;

}  // namespace cmtgrab
