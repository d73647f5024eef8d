// The command-line reader: options and the WAV file name into the settings,
// the usage screen and the two option errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "control/console.h"
#include "control/settings.h"

namespace cmtgrab {

// Reads the arguments that follow the program name, left to right. Ends the
// run (throws RunEnd) with exit code 0 after the usage screen and with exit
// code 1 on an invalid option or a value out of range.
void readcmdline(const std::vector<std::string>& args, Settings& settings);

// Reads the comma-separated hexadecimal list of -a into `entries` (each kept to
// 32 bits, as signed values). Returns the number of entries, or 0 when the
// text holds a character the list does not accept.
int hexlist(std::string_view text, std::vector<int32_t>& entries);

// The C-style decimal reader of the numeric options: blanks, a sign, digits up
// to the first non-digit; no digits read as 0. Saturates at the 32-bit range.
int32_t readdecimal(std::string_view text);

// Applies the "%x,%x,%x,%x,%s" reading of -q: fields read before the first
// mismatch are stored, later ones keep their values.
void readqheader(std::string_view text, Settings& settings);

// Appends ".wav" when the last path component has no extension.
std::string wavfilename(std::string_view name);

// The usage screen in the language that `codepage` selects.
std::string usagetext(const Settings& settings);

}  // namespace cmtgrab
