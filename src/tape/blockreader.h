// Bytes and checksummed blocks: each byte is eight pulses, most significant
// bit first, followed by the start bit of the next; a block is recorded twice
// and the second copy is read only when the first fails.
#pragma once

#include <cstdint>

#include "control/console.h"
#include "input/samplestream.h"
#include "signal/pulsereader.h"
#include "tape/marksearch.h"

namespace cmtgrab {

class BlockReader {
public:
    // Short pulses in a row that mark the gap between the two copies.
    static constexpr int copy_gap_pulses = 100;

    BlockReader(PulseReader& pulses, MarkSearch& marks, SampleStream& stream, Console& console, bool stoperr,
                bool verbose, bool dumpcode)
        : pulses_(pulses), marks_(marks), stream_(stream), console_(console), stoperr_(stoperr), verbose_(verbose),
          dumpcode_(dumpcode)
    {
    }

    // The next byte, or -1 when stoperr is set and its trailing start bit is short.
    int getbyte();

    // Reads `size` bytes into `buffer` from a copy whose checksum matches.
    // When both copies fail the run ends (RunEnd with the level report).
    int readblock(bool header, int size, uint8_t* buffer);

    int32_t onebits() const { return onebits_; }

private:
    void waitstartmark();
    void skiptosecondcopy();

    PulseReader& pulses_;
    MarkSearch& marks_;
    SampleStream& stream_;
    Console& console_;
    const bool stoperr_;
    const bool verbose_;
    const bool dumpcode_;
    int32_t onebits_ = 0;
};

}  // namespace cmtgrab
