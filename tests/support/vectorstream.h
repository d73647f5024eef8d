// Test support: a sample source over samples in memory, handed out in windows
// of a chosen size, and comparator-level pulse tapes written as short texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/samplestream.h"

namespace testsupport {

// Hands the samples out the way a buffered source does: each window is copied
// into one reused buffer, so a window's memory is overwritten by the next fill,
// and the bytes in front of a window are junk that changes with every fill.
// Running out ends the run like the end of a WAV file.
class VectorStream : public cmtgrab::SampleStream {
public:
    explicit VectorStream(std::vector<uint8_t> samples, size_t window_samples = 4096);

    // Index of the next sample.
    int64_t position() const override;
    void close() override { closed_ = true; }

    bool closed() const { return closed_; }

protected:
    void fill() override;

private:
    static constexpr size_t guard_samples = 32;

    std::vector<uint8_t> samples_;
    size_t window_samples_;
    std::vector<uint8_t> buffer_;  // guard_samples of junk, then the window
    size_t windowstart_ = 0;       // index of the window's first sample
    size_t next_ = 0;              // index of the first sample not yet handed out
    unsigned fills_ = 0;
    bool closed_ = false;
};

// Pulse shapes for the slicer at noise 0 and level 48: a sample of 255 is
// output 1 and a sample of 0 is output 0, so each part is as long as written.
struct PulseShape {
    int high_samples;
    int low_samples;
};
constexpr PulseShape short_pulse{6, 6};     // measured about 5 and 5
constexpr PulseShape long_pulse{12, 12};    // measured about 11 and 11
constexpr PulseShape unbalanced_pulse{150, 20};  // parts differ by more than 100
constexpr int tape_level = 48;
constexpr int tape_unittime = 8;  // between the short and the long mean

void appendpulses(std::vector<uint8_t>& samples, PulseShape shape, int count = 1);

struct PulseTape {
    std::vector<uint8_t> samples;
    // Sample index where each '@' stands and where each byte's first pulse starts.
    std::vector<int64_t> marks;
};

// Words separated by spaces: "40l" forty long pulses ("s" short, "u" unbalanced,
// no count for one), "#A5" a byte as eight pulses, most significant bit first
// (1 long, 0 short), "@" a mark. Throws std::invalid_argument on a bad word.
PulseTape pulsetape(std::string_view text);

// Replaces each "{n}" in `text` with marks[n] + 1: a pulse measurement has
// taken the first sample of the pulse after it, so that is where it stands.
std::string withmarks(std::string_view text, const std::vector<int64_t>& marks);

}  // namespace testsupport
