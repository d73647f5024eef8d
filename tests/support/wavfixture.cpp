// Test support: WAV fixtures.
#include "support/wavfixture.h"

namespace testsupport {

namespace {
void put16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x)
{
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
}  // namespace

std::vector<uint8_t> riff(const std::vector<Chunk>& chunks)
{
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    for (const Chunk& c : chunks) {
        body.insert(body.end(), c.id.begin(), c.id.end());
        put32(body, c.statedsize >= 0 ? static_cast<uint32_t>(c.statedsize) : static_cast<uint32_t>(c.content.size()));
        body.insert(body.end(), c.content.begin(), c.content.end());
    }
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    put32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

Chunk fmtchunk(int channels, int rate, int bits, size_t bytes)
{
    Chunk c{"fmt ", {}, -1};
    int align = channels * ((bits + 7) / 8);
    put16(c.content, 1);
    put16(c.content, static_cast<uint32_t>(channels));
    put32(c.content, static_cast<uint32_t>(rate));
    put32(c.content, static_cast<uint32_t>(rate * align));
    put16(c.content, static_cast<uint32_t>(align));
    put16(c.content, static_cast<uint32_t>(bits));
    c.content.resize(bytes, 0);
    return c;
}

std::vector<uint8_t> monowav(int rate, int bits, const std::vector<uint8_t>& data)
{
    return riff({fmtchunk(1, rate, bits), Chunk{"data", data, -1}});
}

std::vector<uint8_t> pcm(int bits, const std::vector<int32_t>& values)
{
    std::vector<uint8_t> bytes;
    for (int32_t v : values)
        for (int shift_bits = 0; shift_bits < bits; shift_bits += 8)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> shift_bits));
    return bytes;
}

}  // namespace testsupport
