// Smoothing filter and hysteresis comparator: one output, 0 or 1, per sample.
// The comparator follows the signal's peaks and troughs and switches when the
// smoothed value moves more than 2 x level away from the opposite anchor.
#pragma once

#include <array>
#include <cstdint>

#include "control/console.h"
#include "control/termination.h"
#include "input/samplestream.h"

namespace cmtgrab {

class Slicer {
public:
    static constexpr int max_noise = 15;

    // noise: smoothing length in samples (0 to 15); level: comparator level
    // (1 to 127); bitdisp: draw every output on standard output.
    Slicer(SampleStream& stream, Console& console, int noise, int level, bool bitdisp);

    // The output for the next sample.
    int slice()
    {
        advance(1);
        return sliced_;
    }

    // Takes outputs while they equal `level` and fewer than `cap` were counted;
    // the output that ends the count is taken too and dropped. Returns the
    // count. Equivalent to that loop over slice(), but walks runs of equal
    // outputs without a call per sample.
    int countrun(int level, int cap);

    const int64_t* bitlength() const { return bitlength_.data(); }
    int upper() const { return upper_; }
    int lower() const { return lower_; }
    int sliced() const { return sliced_; }

private:
    // Processes up to n samples, stopping right after the sample at which the
    // output changes. Returns the number of samples processed.
    int64_t advance(int64_t n);
    // One sample through filter, comparator, run counting and display.
    void step(int sample);
    // The per-sample loop while the output stays at its level. Reads the
    // window's preceding samples directly instead of the history array.
    template <bool Smooth>
    const uint8_t* runfast(const uint8_t* p, const uint8_t* end, bool& switched);
    void endrun();
    // Copies the samples that precede the cursor back into the history array
    // before the window they live in is replaced.
    void keephistory();

    SampleStream& stream_;
    Console& console_;
    const int noise_;
    const int level_;
    const bool bitdisp_;

    std::array<uint8_t, max_noise + 1> history_{};
    bool historystale_ = false;   // history_ lags behind the samples before the cursor
    const uint8_t* winstart_ = nullptr;  // first sample of the current window
    int prevavg_ = 0;
    int upper_ = -1;  // -1 until the first sample has been judged
    int lower_ = -1;
    int sliced_ = 0;
    int prevsliced_ = 0;
    int64_t runlen_ = 0;
    std::array<int64_t, runlength_slots> bitlength_{};
    // (noise + 1) divides the window sum; a table is exact and cheap.
    std::array<uint8_t, (max_noise + 1) * 255 + 1> quotient_{};
};

}  // namespace cmtgrab
