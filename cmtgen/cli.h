// Command line of cmtgen: option parsing into encoder options and the usage text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "encoder.h"

namespace cmtgen {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Command {
  bool help = false;
  Options options;
  std::string output;               // "-" writes to standard output
  std::vector<std::string> inputs;  // tape images, or one raw body with header values
  bool fromvalues = false;          // --mode/--start/--exec/--name given
  uint8_t mode = 0x01;
  uint16_t start = 0x1200;
  uint16_t exec = 0x1200;
  bool execgiven = false;           // otherwise exec follows start
  std::string name;
};

// args excludes the program name. Throws UsageError with a one-line reason.
Command parsecommand(const std::vector<std::string>& args);

std::string usage();

}  // namespace cmtgen
