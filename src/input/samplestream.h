// The single source of audio for the decoder: unsigned 8-bit samples (128 is
// the zero line), whatever the input. Sources hand out a window of converted
// samples; the decoder walks it with a pointer and calls refill() only when
// the window is used up, so the per-sample path has no call in it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cmtgrab {

class SampleStream {
public:
    virtual ~SampleStream() = default;

    // The next sample, 0 to 255. At the end of the input the run ends (the
    // source throws RunEnd); it never returns "no more data".
    int getsample()
    {
        if (cur_ == lim_) refill();
        return *cur_++;
    }

    // The window for fast loops: samples [cursor(), limit()) may be consumed
    // directly; advance() hands back how far the caller got.
    const uint8_t* cursor() const { return cur_; }
    const uint8_t* limit() const { return lim_; }
    void advance(const uint8_t* p) { cur_ = p; }

    // Makes at least one sample available (or ends the run). Progress lines
    // that fall between two samples are printed here, in sample order.
    void refill()
    {
        accountlevels();
        fill();
        accounted_ = cur_;
    }

    // Extremes of the samples consumed so far (128 before the first).
    int low()
    {
        accountlevels();
        return low_;
    }
    int high()
    {
        accountlevels();
        return high_;
    }

    // Position of the next sample in the source: the file offset of its first
    // byte for a file, the byte offset in the capture buffer while capturing.
    virtual int64_t position() const = 0;

    // Releases the source. A second call does nothing.
    virtual void close() = 0;

protected:
    // Sets cur_ and lim_ to a non-empty window of the next samples, or throws
    // RunEnd. Called only when the window is used up.
    virtual void fill() = 0;

    // An empty window at `at`, for a source that has not delivered anything yet.
    void emptywindow(const uint8_t* at) { cur_ = lim_ = accounted_ = at; }

    const uint8_t* cur_ = nullptr;
    const uint8_t* lim_ = nullptr;

private:
    // Folds the samples consumed since the last call into low/high; done per
    // window rather than per sample to keep the decoder loop short.
    void accountlevels()
    {
        const uint8_t* from = accounted_;
        const size_t count = static_cast<size_t>(cur_ - from);
        uint8_t lo = static_cast<uint8_t>(low_);
        uint8_t hi = static_cast<uint8_t>(high_);
        for (size_t i = 0; i < count; ++i) {
            lo = from[i] < lo ? from[i] : lo;
            hi = from[i] > hi ? from[i] : hi;
        }
        low_ = lo;
        high_ = hi;
        accounted_ = cur_;
    }

    const uint8_t* accounted_ = nullptr;
    int low_ = 128;
    int high_ = 128;
};

}  // namespace cmtgrab
