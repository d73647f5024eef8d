// The search for the leader in front of a block: the gap, the tape mark and
// the tone end mark. In X1 polarity long and short pulses swap roles.
#pragma once

#include "control/console.h"
#include "signal/pulsereader.h"

namespace cmtgrab {

class MarkSearch {
public:
    static constexpr int gap_pulses = 100;
    static constexpr int header_tmark_pulses = 40;
    static constexpr int body_tmark_pulses = 20;
    // Attempt counts at or below this are not worth a dump line.
    static constexpr int dump_min_count = 10;

    MarkSearch(PulseReader& pulses, Console& console, bool x1mode, bool verbose, bool dumpcode)
        : pulses_(pulses), console_(console), x1mode_(x1mode), verbose_(verbose), dumpcode_(dumpcode)
    {
    }

    // Returns once the tone end mark in front of a block has been consumed;
    // header chooses the longer tape mark of a header block.
    void seekmark(bool header);

private:
    void gapck();
    bool tmark(int pulses);
    // Counts consecutive pulses of one class up to `wanted`; the pulse that
    // breaks the run is consumed.
    int countrun(bool longpulses, int wanted);

    PulseReader& pulses_;
    Console& console_;
    const bool x1mode_;
    const bool verbose_;
    const bool dumpcode_;
};

}  // namespace cmtgrab
