// The "FOUND" line: a tape file's name converted to characters the console can show.
#pragma once

#include <cstdint>
#include <string>

#include "control/console.h"

namespace cmtgrab {

// The longest name the line shows, in tape bytes (control bytes count too).
constexpr int name_maxbytes = 17;

// The converted name bytes (without "FOUND " and the newline): at most 17 bytes of
// `name` examined, 0x0D ends, bytes below 0x20 print nothing but count.
// tapefmt 1 picks the X1 tables, any other the MZ ones; codepage 932 picks
// Shift-JIS, any other one-byte ASCII.
std::string convertname(const uint8_t* name, int32_t tapefmt, int32_t codepage);

// Prints "FOUND " + converted name + "\n" to the error stream.
void showname(Console& console, const uint8_t* name, int32_t tapefmt, int32_t codepage);

}  // namespace cmtgrab
