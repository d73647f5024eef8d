// The comparator's per-sample work: the smoothing filter runs over whole
// windows, the comparator over runs of equal outputs; a reference step keeps
// the first sample and the -b display.
#include "signal/slicer.h"

#include <algorithm>
#include <cstring>

// Unrolling the run loops saves a loop test per sample where the compiler
// supports the request.
#if defined(__GNUC__) && !defined(__clang__)
#define CMTGRAB_UNROLL4 _Pragma("GCC unroll 4")
#else
#define CMTGRAB_UNROLL4
#endif

namespace cmtgrab {

Slicer::Slicer(SampleStream& stream, Console& console, int noise, int level, bool bitdisp)
    : stream_(stream), console_(console), noise_(noise), level_(level), bitdisp_(bitdisp)
{
}

void Slicer::endrun()
{
    if (runlen_ < runlength_slots) ++bitlength_[static_cast<size_t>(runlen_)];
    prevsliced_ = sliced_;
    runlen_ = 0;
}

template <int N>
void Slicer::smooth(const uint8_t* samples, int64_t count)
{
    // The sum holds the current sample and the ones 2 to N+1 back: the sample
    // just before is not part of it. Multiplying by 65536/(N+1), rounded up,
    // and shifting divides exactly for every sum up to 16 x 255.
    constexpr uint32_t scale = (65536u + N) / (N + 1);
    uint8_t* out = smoothbuf_.data();
    const int64_t head = std::min<int64_t>(count, N + 1);
    for (int64_t i = 0; i < head; ++i) {
        uint32_t sum = samples[i];
        for (int k = 2; k <= N + 1; ++k)
            sum += i - k >= 0 ? samples[i - k] : prior_[static_cast<size_t>(max_noise + 1 + i - k)];
        out[i] = static_cast<uint8_t>((sum * scale) >> 16);
    }
    // 16-bit sums and a high-half multiply: the shape that vectorises.
    for (int64_t i = head; i < count; ++i) {
        uint16_t sum = samples[i];
        for (int k = 2; k <= N + 1; ++k) sum = static_cast<uint16_t>(sum + samples[i - k]);
        out[i] = static_cast<uint8_t>((static_cast<uint32_t>(sum) * scale) >> 16);
    }
}

void Slicer::nextwindow()
{
    // Keep the newest raw samples of the window that is used up.
    if (winstart_) {
        const uint8_t* end = stream_.cursor();
        const size_t used = static_cast<size_t>(end - winstart_);
        const size_t keep = prior_.size();
        if (used >= keep) {
            std::memcpy(prior_.data(), end - keep, keep);
        } else {
            std::memmove(prior_.data(), prior_.data() + used, keep - used);
            std::memcpy(prior_.data() + keep - used, winstart_, used);
        }
    }
    // A stream handed over with samples already waiting starts with those.
    if (stream_.cursor() == stream_.limit()) stream_.refill();
    winstart_ = stream_.cursor();
    const int64_t count = stream_.limit() - winstart_;
    if (noise_ == 0) {
        smoothed_ = winstart_;
        return;
    }
    if (smoothbuf_.size() < static_cast<size_t>(count)) smoothbuf_.resize(static_cast<size_t>(count));
    (this->*smoothers()[static_cast<size_t>(noise_)])(winstart_, count);
    smoothed_ = smoothbuf_.data();
}

void Slicer::step(int v)
{
    if (upper_ < 0) {
        // Only the very first sample is judged against fixed thresholds.
        prevavg_ = upper_ = lower_ = v;
        if (v <= 128 - level_) sliced_ = 0;
        if (v >= 128 + level_) sliced_ = 1;
    } else {
        if (v > prevavg_) {
            if (v > lower_ + 2 * level_) sliced_ = 1;
            if (sliced_ == 1) upper_ = v;
        } else {
            if (v < upper_ - 2 * level_) sliced_ = 0;
            if (sliced_ == 0) lower_ = v;
        }
        prevavg_ = v;
    }
    if (sliced_ != prevsliced_) {
        endrun();
        if (bitdisp_) console_.outchar('\n');
    }
    ++runlen_;
    if (bitdisp_) console_.outchar(sliced_ ? '*' : '.');
}

CMTGRAB_HOT_INLINE const uint8_t* Slicer::runfast(const uint8_t* v, const uint8_t* end, bool& switched)
{
    const int twolevel = 2 * level_;
    int up = upper_;
    int lo = lower_;
    int prev = prevavg_;
    const uint8_t* start = v;
    switched = false;
    // Branch-free anchors: a rising value becomes the peak anchor, any other
    // the trough anchor, and only the rare switch takes a branch. Checking
    // after the update is the same test: a value never lies 2 x level away
    // from itself.
    if (sliced_ == 1) {
CMTGRAB_UNROLL4
        while (v < end) {
            const int x = *v++;
            up = x > prev ? x : up;
            prev = x;
            if (x < up - twolevel) {
                lo = x;
                switched = true;
                break;
            }
        }
    } else {
CMTGRAB_UNROLL4
        while (v < end) {
            const int x = *v++;
            lo = x > prev ? lo : x;
            prev = x;
            if (x > lo + twolevel) {
                up = x;
                switched = true;
                break;
            }
        }
    }
    upper_ = up;
    lower_ = lo;
    prevavg_ = prev;
    const int64_t taken = v - start;
    if (switched) {
        runlen_ += taken - 1;
        sliced_ ^= 1;
        endrun();
        runlen_ = 1;
    } else {
        runlen_ += taken;
    }
    return v;
}

CMTGRAB_HOT_INLINE int64_t Slicer::advance(int64_t n)
{
    int64_t done = 0;
    const int startlevel = sliced_;
    while (done < n) {
        const uint8_t* p = stream_.cursor();
        const uint8_t* lim = stream_.limit();
        if (p == lim || !winstart_) {
            nextwindow();
            continue;
        }
        const uint8_t* v = smoothed_ + (p - winstart_);
        // The first sample of all is judged differently, and the display
        // wants every sample: both go through the reference step.
        if (bitdisp_ || upper_ < 0) {
            stream_.advance(p + 1);
            step(*v);
            ++done;
            if (sliced_ != startlevel) return done;
            continue;
        }
        const int64_t room = std::min<int64_t>(lim - p, n - done);
        bool switched = false;
        const int64_t taken = runfast(v, v + room, switched) - v;
        stream_.advance(p + taken);
        done += taken;
        if (switched) return done;
    }
    return done;
}

int Slicer::slice()
{
    advance(1);
    return sliced_;
}

int Slicer::countrun(int level, int cap)
{
    int count = 0;
    for (;;) {
        if (sliced_ != level) {
            advance(1);
            if (sliced_ != level || count == cap) return count;
            ++count;
            continue;
        }
        const int64_t taken = advance(cap - count + 1);
        if (sliced_ != level) return count + static_cast<int>(taken - 1);
        return cap;
    }
}

}  // namespace cmtgrab
