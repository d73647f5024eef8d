// Smoothing filter and hysteresis comparator: one output, 0 or 1, per sample.
// The comparator follows the signal's peaks and troughs and switches when the
// smoothed value moves more than 2 x level away from the opposite anchor.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "control/console.h"
#include "control/termination.h"
#include "input/samplestream.h"

// The per-run functions are small and called once per comparator run; making
// them part of their caller saves a call per run of about a dozen samples.
#if defined(_MSC_VER)
#define CMTGRAB_HOT_INLINE __forceinline
#elif defined(__GNUC__)
#define CMTGRAB_HOT_INLINE inline __attribute__((always_inline))
#else
#define CMTGRAB_HOT_INLINE inline
#endif

namespace cmtgrab {

class Slicer {
public:
    static constexpr int max_noise = 15;

    // noise: smoothing length in samples (0 to 15); level: comparator level
    // (1 to 127); bitdisp: draw every output on standard output.
    Slicer(SampleStream& stream, Console& console, int noise, int level, bool bitdisp);

    // The output for the next sample.
    int slice();

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
    // Takes the next window from the stream and smooths all of it at once:
    // the filter depends on the samples alone, so it runs as a block stage.
    void nextwindow();
    template <int N>
    void smooth(const uint8_t* samples, int64_t count);
    using Smoother = void (Slicer::*)(const uint8_t*, int64_t);
    template <size_t... N>
    static constexpr std::array<Smoother, sizeof...(N)> smoothertable(std::index_sequence<N...>)
    {
        return {&Slicer::smooth<static_cast<int>(N)>...};
    }
    static constexpr std::array<Smoother, max_noise + 1> smoothers()
    {
        return smoothertable(std::make_index_sequence<max_noise + 1>());
    }
    // One smoothed value through comparator, run counting and display.
    void step(int v);
    // The per-sample loop while the output stays at its level.
    const uint8_t* runfast(const uint8_t* v, const uint8_t* end, bool& switched);
    void endrun();

    SampleStream& stream_;
    Console& console_;
    const int noise_;
    const int level_;
    const bool bitdisp_;

    // The window being consumed and its smoothed values, index for index.
    const uint8_t* winstart_ = nullptr;
    const uint8_t* smoothed_ = nullptr;
    std::vector<uint8_t> smoothbuf_;
    // The raw samples before the window, newest last; zeros before the first,
    // as the filter's window starts out empty.
    std::array<uint8_t, max_noise + 1> prior_{};

    int prevavg_ = 0;
    int upper_ = -1;  // -1 until the first sample has been judged
    int lower_ = -1;
    int sliced_ = 0;
    int prevsliced_ = 0;
    int64_t runlen_ = 0;
    std::array<int64_t, runlength_slots> bitlength_{};
};

}  // namespace cmtgrab
