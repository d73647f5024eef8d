// Tape files: splitting a tape image into header/body pairs and making a header from values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cmtgen {

inline constexpr std::size_t headerrecord_bytes = 128;

struct TapeFile {
  std::vector<uint8_t> header;  // the 128-byte header record
  std::vector<uint8_t> body;    // as many bytes as the header's length field says
};

// Body length from header offsets 18-19 (little-endian).
uint16_t bodylength(const std::vector<uint8_t>& header);

// An image is one or more tape files back to back. Throws std::runtime_error
// when the image is empty or ends inside a header record or a body.
std::vector<TapeFile> splitimage(const std::vector<uint8_t>& image);

// A header record built from values, laid out as the machine writes it: the name
// (at most 17 bytes) followed by 0x0D up to the end of the name field, the length
// taken from the body. Throws std::invalid_argument for a longer name or a body
// longer than 65535 bytes.
TapeFile makefile(uint8_t mode, uint16_t start, uint16_t exec, const std::string& name,
                  std::vector<uint8_t> body);

}  // namespace cmtgen
