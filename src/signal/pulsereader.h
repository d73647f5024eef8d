// Pulse measurement and bit decision: a pulse is a part of comparator output 1
// followed by a part of output 0; its mean part length against the bit
// threshold makes it a long (1) or short (0) pulse.
#pragma once

#include "signal/slicer.h"

namespace cmtgrab {

class PulseReader {
public:
    // A part stops being counted at this many outputs.
    static constexpr int max_part_outputs = 200;
    // Parts that differ by more than this many outputs make an unbalanced pulse.
    static constexpr int max_imbalance = 100;

    // unittime: bit threshold in samples; reverse: the 0 part comes first.
    PulseReader(Slicer& slicer, int unittime, bool reverse) : slicer_(slicer), unittime_(unittime), reverse_(reverse) {}

    // Measures the next pulse into highlen/lowlen.
    int getpulse()
    {
        if (reverse_) {
            lowlen_ = slicer_.countrun(0, max_part_outputs);
            highlen_ = slicer_.countrun(1, max_part_outputs);
        } else {
            highlen_ = slicer_.countrun(1, max_part_outputs);
            lowlen_ = slicer_.countrun(0, max_part_outputs);
        }
        return 0;
    }

    // 1 for a long pulse, 0 for a short one, -1 for an unbalanced one.
    int pulsebit() const { return classify(highlen_, lowlen_, unittime_); }

    static int classify(int highlen, int lowlen, int unittime)
    {
        if (lowlen - highlen > max_imbalance || highlen - lowlen > max_imbalance) return -1;
        return (highlen + lowlen) / 2 >= unittime ? 1 : 0;
    }

    // Measures the next pulse: true unless it is short. The tape framing only
    // ever asks this, so an unbalanced pulse counts as long there.
    bool longpulse()
    {
        getpulse();
        return pulsebit() != 0;
    }

    int highlen() const { return highlen_; }
    int lowlen() const { return lowlen_; }

private:
    Slicer& slicer_;
    const int unittime_;
    const bool reverse_;
    int highlen_ = 0;
    int lowlen_ = 0;
};

}  // namespace cmtgrab
