// The comparator's per-sample work, in a reference step and in a fast loop
// that gives the same outputs, anchors, histogram and display.
#include "signal/slicer.h"

namespace cmtgrab {

Slicer::Slicer(SampleStream& stream, Console& console, int noise, int level, bool bitdisp)
    : stream_(stream), console_(console), noise_(noise), level_(level), bitdisp_(bitdisp)
{
    for (size_t sum = 0; sum < quotient_.size(); ++sum)
        quotient_[sum] = static_cast<uint8_t>(sum / static_cast<size_t>(noise_ + 1));
}

void Slicer::endrun()
{
    if (runlen_ < runlength_slots) ++bitlength_[static_cast<size_t>(runlen_)];
    prevsliced_ = sliced_;
    runlen_ = 0;
}

void Slicer::step(int sample)
{
    int v = sample;
    if (noise_ > 0) {
        // The window sums the current sample and the ones 2 to noise+1 calls
        // back: the sample just before is shifted in only after the sum.
        unsigned sum = static_cast<unsigned>(sample);
        for (int k = 0; k < noise_; ++k) sum += history_[static_cast<size_t>(k)];
        for (int k = 0; k < noise_; ++k) history_[static_cast<size_t>(k)] = history_[static_cast<size_t>(k + 1)];
        history_[static_cast<size_t>(noise_)] = static_cast<uint8_t>(sample);
        v = quotient_[sum];
    }
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

template <bool Smooth>
const uint8_t* Slicer::runfast(const uint8_t* p, const uint8_t* end, bool& switched)
{
    const int n = noise_;
    const int twolevel = 2 * level_;
    const uint8_t* quotient = quotient_.data();
    int up = upper_;
    int lo = lower_;
    int prev = prevavg_;
    unsigned older = 0;  // sum of the samples 2 to n+1 before p
    if constexpr (Smooth)
        for (int k = 2; k <= n + 1; ++k) older += p[-k];
    const uint8_t* start = p;
    switched = false;
    if (sliced_ == 1) {
        while (p < end) {
            int v;
            if constexpr (Smooth) {
                v = quotient[p[0] + older];
                older += static_cast<unsigned>(p[-1]) - p[-n - 1];
            } else {
                v = p[0];
            }
            ++p;
            if (v > prev) {
                up = v;
            } else if (v < up - twolevel) {
                lo = v;
                prev = v;
                switched = true;
                break;
            }
            prev = v;
        }
    } else {
        while (p < end) {
            int v;
            if constexpr (Smooth) {
                v = quotient[p[0] + older];
                older += static_cast<unsigned>(p[-1]) - p[-n - 1];
            } else {
                v = p[0];
            }
            ++p;
            if (v > prev) {
                if (v > lo + twolevel) {
                    up = v;
                    prev = v;
                    switched = true;
                    break;
                }
            } else {
                lo = v;
            }
            prev = v;
        }
    }
    upper_ = up;
    lower_ = lo;
    prevavg_ = prev;
    int64_t taken = p - start;
    if (switched) {
        runlen_ += taken - 1;
        sliced_ ^= 1;
        endrun();
        runlen_ = 1;
    } else {
        runlen_ += taken;
    }
    return p;
}

void Slicer::keephistory()
{
    if (!historystale_) return;
    const uint8_t* p = stream_.cursor();
    for (int k = 0; k <= noise_; ++k) history_[static_cast<size_t>(k)] = p[k - noise_ - 1];
    historystale_ = false;
}

int64_t Slicer::advance(int64_t n)
{
    int64_t done = 0;
    const int startlevel = sliced_;
    while (done < n) {
        const uint8_t* p = stream_.cursor();
        const uint8_t* lim = stream_.limit();
        if (p == lim) {
            keephistory();
            stream_.refill();
            winstart_ = stream_.cursor();
            continue;
        }
        // The fast loop needs noise+1 earlier samples in the same window, and
        // the first sample of all needs the fixed thresholds of step().
        if (bitdisp_ || upper_ < 0 || p - winstart_ <= noise_) {
            stream_.advance(p + 1);
            step(*p);
            ++done;
            if (sliced_ != startlevel) return done;
            continue;
        }
        const uint8_t* end = lim - p > n - done ? p + (n - done) : lim;
        bool switched = false;
        const uint8_t* q = noise_ > 0 ? runfast<true>(p, end, switched) : runfast<false>(p, end, switched);
        stream_.advance(q);
        historystale_ = noise_ > 0;
        done += q - p;
        if (switched) return done;
    }
    return done;
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
        int64_t taken = advance(cap - count + 1);
        if (sliced_ != level) return count + static_cast<int>(taken - 1);
        return cap;
    }
}

}  // namespace cmtgrab
