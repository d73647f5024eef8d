// Test support: small WAV files built from a few values, for the header and
// sample-conversion cases; tape audio comes from the cmtgen encoder instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct Chunk {
    std::string id;  // four characters
    std::vector<uint8_t> content;
    int64_t statedsize = -1;  // -1: the content's real size
};

// "RIFF", size, "WAVE", then the chunks as given.
std::vector<uint8_t> riff(const std::vector<Chunk>& chunks);
// A "fmt " chunk of the given fields (16 bytes, or `bytes` long).
Chunk fmtchunk(int channels, int rate, int bits, size_t bytes = 16);
// A canonical mono WAV: fmt, then data holding `data`.
std::vector<uint8_t> monowav(int rate, int bits, const std::vector<uint8_t>& data);
// Sample values packed little-endian, bits / 8 bytes each (the low bytes of
// each value, so negative values come out as two's complement).
std::vector<uint8_t> pcm(int bits, const std::vector<int32_t>& values);

}  // namespace testsupport
