// Command line of cmtgen: option parsing into encoder options and the usage text.
#include "cli.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "wavwriter.h"

namespace cmtgen {

namespace {

// Decimal, or hexadecimal with a 0x prefix (addresses are usually written that way).
long long parseinteger(const std::string& option, const std::string& text, long long min,
                       long long max) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  long long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    throw UsageError("--" + option + ": not a whole number: '" + text + "'");
  }
  if (value < min || value > max) {
    throw UsageError("--" + option + ": " + text + " is outside " + std::to_string(min) + " to " +
                     std::to_string(max));
  }
  return value;
}

double parsereal(const std::string& option, const std::string& text, double min, double max) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) {
    throw UsageError("--" + option + ": not a number: '" + text + "'");
  }
  if (value < min || value > max) {
    throw UsageError("--" + option + ": " + text + " is out of range");
  }
  return value;
}

Format parseformat(const std::string& text) {
  if (text == "mz") return Format::mz;
  if (text == "x1") return Format::x1;
  if (text == "carrysoft") return Format::carrysoft;
  throw UsageError("--format: expected mz, x1 or carrysoft, not '" + text + "'");
}

// FILE:header|body:first|both
Corruption parsecorruption(const std::string& text) {
  const auto colon1 = text.find(':');
  const auto colon2 = colon1 == std::string::npos ? std::string::npos : text.find(':', colon1 + 1);
  if (colon2 == std::string::npos) {
    throw UsageError("--corrupt: expected FILE:header|body:first|both, not '" + text + "'");
  }
  Corruption c;
  c.file = static_cast<int>(
      parseinteger("corrupt", text.substr(0, colon1), 0, std::numeric_limits<int>::max()));
  const std::string block = text.substr(colon1 + 1, colon2 - colon1 - 1);
  const std::string copies = text.substr(colon2 + 1);
  if (block == "header") {
    c.header = true;
  } else if (block != "body") {
    throw UsageError("--corrupt: block must be header or body, not '" + block + "'");
  }
  if (copies == "both") {
    c.both = true;
  } else if (copies != "first") {
    throw UsageError("--corrupt: copies must be first or both, not '" + copies + "'");
  }
  return c;
}

}  // namespace

Command parsecommand(const std::vector<std::string>& args) {
  Command cmd;
  Options& opt = cmd.options;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      cmd.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      cmd.help = true;
      continue;
    }
    // Split "--name=value"; the short options -o, -r and -b take the next argument.
    std::string name;
    std::string value;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      const auto equals = arg.find('=');
      name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        has_value = true;
      }
    } else if (arg == "-o") {
      name = "output";
    } else if (arg == "-r") {
      name = "rate";
    } else if (arg == "-b") {
      name = "bits";
    } else {
      throw UsageError("unknown option '" + arg + "' (see --help)");
    }
    if (name == "invert") {
      if (has_value) throw UsageError("--invert takes no value");
      opt.invert = true;
      continue;
    }
    static const char* const valued[] = {"output", "rate",   "bits",      "amplitude", "noise",
                                         "seed",   "dc",     "speed",     "format",    "headergap",
                                         "bodygap", "silence", "filegap", "corrupt",   "mode",
                                         "start",  "exec",   "name"};
    bool known = false;
    for (const char* candidate : valued) known = known || name == candidate;
    if (!known) throw UsageError("unknown option '" + arg + "' (see --help)");
    if (!has_value) {
      if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
      value = args[++i];
    }

    if (name == "output") {
      if (value.empty()) throw UsageError("--output needs a file name");
      cmd.output = value;
    } else if (name == "rate") {
      opt.rate = static_cast<int>(parseinteger(name, value, 1, std::numeric_limits<int>::max()));
    } else if (name == "bits") {
      const long long bits = parseinteger(name, value, 0, 1000);
      if (!validbits(static_cast<int>(bits))) throw UsageError("--bits: expected 8, 16 or 24, not " + value);
      opt.bits = static_cast<int>(bits);
    } else if (name == "amplitude") {
      opt.amplitude = parsereal(name, value, 0.0, 1.0);
    } else if (name == "noise") {
      opt.noise = parsereal(name, value, 0.0, 1.0);
    } else if (name == "seed") {
      opt.seed = static_cast<uint32_t>(parseinteger(name, value, 0, std::numeric_limits<uint32_t>::max()));
    } else if (name == "dc") {
      opt.dc = parsereal(name, value, -1.0, 1.0);
    } else if (name == "speed") {
      opt.speed = parsereal(name, value, 0.5, 2.0);
    } else if (name == "format") {
      opt.format = parseformat(value);
    } else if (name == "headergap") {
      opt.headergap = static_cast<long>(parseinteger(name, value, 0, 10'000'000));
    } else if (name == "bodygap") {
      opt.bodygap = static_cast<long>(parseinteger(name, value, 0, 10'000'000));
    } else if (name == "silence") {
      opt.silence_s = parsereal(name, value, 0.0, 3600.0);
    } else if (name == "filegap") {
      opt.filegap_s = parsereal(name, value, 0.0, 3600.0);
    } else if (name == "corrupt") {
      opt.corrupt.push_back(parsecorruption(value));
    } else if (name == "mode") {
      cmd.mode = static_cast<uint8_t>(parseinteger(name, value, 0, 0xFF));
      cmd.fromvalues = true;
    } else if (name == "start") {
      cmd.start = static_cast<uint16_t>(parseinteger(name, value, 0, 0xFFFF));
      cmd.fromvalues = true;
    } else if (name == "exec") {
      cmd.exec = static_cast<uint16_t>(parseinteger(name, value, 0, 0xFFFF));
      cmd.execgiven = true;
      cmd.fromvalues = true;
    } else if (name == "name") {
      if (value.size() > 17) throw UsageError("--name: at most 17 characters");
      cmd.name = value;
      cmd.fromvalues = true;
    }
  }
  if (cmd.help) return cmd;
  if (!cmd.execgiven) cmd.exec = cmd.start;
  if (cmd.inputs.empty()) throw UsageError("no input file (see --help)");
  if (cmd.output.empty()) throw UsageError("no output file: give -o FILE.wav (see --help)");
  if (cmd.fromvalues && cmd.inputs.size() != 1) {
    throw UsageError("with --mode/--start/--exec/--name give exactly one raw body file");
  }
  return cmd;
}

std::string usage() {
  return R"(cmtgen: writes a tape image as Sharp MZ / X1 cassette audio (WAV).

Usage: cmtgen [options] -o OUT.wav IMAGE.mzf [IMAGE2.mzt ...]
       cmtgen [options] --name=NAME [--mode=N] [--start=ADDR] [--exec=ADDR] -o OUT.wav BODY.bin

Each image holds one or more tape files (128-byte header record, then the body);
every tape file becomes a header block and a body block, each recorded twice.
With --mode/--start/--exec/--name the single input is a raw body and the header
record is made from these values (length = size of the body).

Output:
  -o, --output=FILE      WAV file to write ("-" for standard output)
  -r, --rate=HZ          sample rate (48000)
  -b, --bits=N           sample width 8, 16 or 24 (16)
      --amplitude=F      level as a fraction of full scale, 0..1 (0.9)
      --invert           invert the phase (pulses go low first)
      --noise=F          peak of added white noise, fraction of full scale (0)
      --seed=N           seed of the noise generator (1)
      --dc=F             DC offset, fraction of full scale, -1..1 (0)
      --silence=S        seconds of silence before and after (0.1)
      --filegap=S        seconds of silence between tape files (1)
Tape:
      --format=F         mz, x1 or carrysoft (mz)
      --speed=F          tape speed factor, 0.5..2; 1.03 plays 3% fast (1)
      --headergap=N      gap pulses before a header block (22000)
      --bodygap=N        gap pulses before a body block (11000)
      --corrupt=FILE:header|body:first|both
                         flip one data bit in the first copy or both copies of
                         a block of tape file FILE (0-based); may be repeated
Header from values:
      --mode=N           mode byte (1)
      --start=ADDR       load address (0x1200)
      --exec=ADDR        execution address (the start address)
      --name=NAME        file name, at most 17 characters (empty)
  -h, --help             this text

Numbers may be written in hexadecimal with a 0x prefix. Exit code 0 on success,
1 on an error (with a message on the error stream).
)";
}

}  // namespace cmtgen
